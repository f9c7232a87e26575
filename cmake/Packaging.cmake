# The Debian package: cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr, so that the player's module folder is the
# multiarch lib/<triplet>/tarn-player it is built to look in.
# scripts/package.sh builds it and checks it with lintian.
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn-player)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(TARN_DEB_MAINTAINER "Tarn Player developers <${TARN_REPORT_ADDRESS}>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARN_DEB_MAINTAINER}")
set(CPACK_PACKAGE_CONTACT "${TARN_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, fast audio player for playlists of MP3, WMA and WAV")
# CPack puts the summary before it, as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tarn Player plays a playlist of MP3, WMA and WAV files (and the other
formats FFmpeg decodes): play, pause, stop, next, back, seek, volume and
repeat. Playlists are saved to and loaded from .TPL files, and M3U lists
open too.
.
A compact view shows only the transport, and a thin, always-on-top mini
player strip stands in for the window. The keyboard's media keys and the
desktop's media controls (MPRIS) drive the player.")

# The libraries the player and its modules link, from dpkg-shlibdeps; then
# what is only loaded at run time: the fonts its windows are laid out for
# (Arial's metrics), and Qt's platform plugin for a Wayland session without
# XWayland. Qt's SVG icon engine comes with libqt6svg6, which the player links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-wayland")
set(CPACK_STRIP_FILES ON)
set(CPACK_TARN_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip_comments.cmake)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian's own documents of a package: its copyright and its changelog, and
# lintian's overrides. They belong to the package only, so a plain cmake
# --install leaves them out.
set(TARN_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tarn-player)
string(TIMESTAMP TARN_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC) # honours SOURCE_DATE_EPOCH
configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in
               ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
                   COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/debian/changelog.Debian
                   DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian)
add_custom_target(tarn-debian-docs ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright
              ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${TARN_DEB_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tarn-player
        COMPONENT debian EXCLUDE_FROM_ALL)
# One package of everything: the ordinary install rules and the documents.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)

include(CPack)
