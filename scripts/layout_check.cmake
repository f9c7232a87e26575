# Checks that the source folders include one way down:
#   cmake -DSOURCE_DIR=src -P scripts/layout_check.cmake
# Every quoted include "folder/..." of a file in SOURCE_DIR/<own>/ must name
# <own> or a folder of a lower rank. Folders of one rank are siblings and do
# not include each other. A folder missing from the table fails the check too,
# so a new folder gets its place in the order before it gets code.
# CONTRIBUTING.md draws the order.
cmake_minimum_required(VERSION 3.25)

set(ranks
    engine=0
    persist=1
    platform=2
    widgets=3
    controls=4
    mini=5
    shell=5
    desktop=5
    main_window=6
    app=7)

if(NOT SOURCE_DIR OR NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "layout_check: give -DSOURCE_DIR=<the src folder>")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

function(rank_of folder out)
  set(rank "")
  foreach(entry ${ranks})
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 name)
    if(name STREQUAL folder)
      list(GET pair 1 rank)
    endif()
  endforeach()
  set(${out} "${rank}" PARENT_SCOPE)
endfunction()

# The folders a folder may include, for the message.
function(allowed_below folder out)
  rank_of(${folder} own)
  set(allowed "")
  foreach(entry ${ranks})
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 name)
    list(GET pair 1 rank)
    if(rank LESS own)
      list(APPEND allowed ${name})
    endif()
  endforeach()
  list(JOIN allowed ", " text)
  if(text STREQUAL "")
    set(text "its own files")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
list(SORT sources)
set(faults "")
foreach(source ${sources})
  string(REGEX REPLACE "/.*" "" own "${source}")
  if(own STREQUAL source)
    continue() # a file at the top (none today) belongs to no folder
  endif()
  rank_of(${own} ownRank)
  if(ownRank STREQUAL "")
    list(APPEND faults "${source}: the folder ${own}/ has no place in the order")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*/")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"]*\"([^\"/]*)/.*" "\\1" target "${line}")
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*" "\\1" path "${line}")
    if(target STREQUAL own)
      continue()
    endif()
    rank_of(${target} targetRank)
    if(targetRank STREQUAL "" OR NOT targetRank LESS ownRank)
      allowed_below(${own} allowed)
      list(APPEND faults "${source} includes ${path}: ${own}/ may include only ${allowed}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "layout_check: includes against the one-way order:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "layout_check: ${count} files include one way down")
