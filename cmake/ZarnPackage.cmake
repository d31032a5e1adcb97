# `make package`: a Debian package of what the install rules give. It
# installs under the configured prefix, the one the player's documentation
# link and zarn.pc were made for (configure with -DCMAKE_INSTALL_PREFIX=/usr
# for a system package; the top-level `make package` does).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player and tools for Zarn videos")
set(CPACK_PACKAGE_DESCRIPTION
  "zarnplay plays Zarn videos (.zrn) in a window with their sound; zarn shows\n\
what a video holds, decodes it to YUV4MPEG2, WAV, PNG or raw frames, encodes\n\
one, makes self-playing copies of the player and writes thumbnails for file\n\
managers. Includes libzarn, a C library for decoding Zarn videos.")
set(ZARN_PACKAGE_MAINTAINER "Zarn maintainers <maintainers@zarn.invalid>" CACHE STRING
  "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZARN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The MIME, desktop and icon caches are refreshed by the file triggers that
# shared-mime-info, desktop-file-utils and the icon theme tools declare on
# their folders; recommended, since a server needs no desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
