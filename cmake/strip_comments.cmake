# Run by CPack after it installed the package's files, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS): removes the compiler's .comment section from the
# programs and libraries, as Debian's own strip does.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS files)
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46") # ELF
    execute_process(COMMAND "${CPACK_TARN_OBJCOPY}" --remove-section=.comment "${file}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
