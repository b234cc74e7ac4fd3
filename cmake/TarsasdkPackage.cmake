# One Debian package with the library, its tools, the host program and the
# development files (scripts/package-deb.sh builds it). Configure with
# CMAKE_INSTALL_PREFIX=/usr so that the library lands in the multiarch
# library directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarsasdk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "tarsasdk developers")
set(CPACK_PACKAGE_CONTACT "tarsasdk developers <tarsasdk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "probe media files and run conversion, cut and merge jobs through FFmpeg")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "tarsasdk is a library with a plain-C interface that probes media files and
runs conversion, cut and merge jobs with progress, stop and events, by running
the FFmpeg programs as child processes. Includes the header, pkg-config and
CMake files and the command-line host program tarsa.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The tool layer runs the stock programs; the watermark font is a link to
# DejaVu Sans. dpkg-shlibdeps adds what the binaries link, with versions:
# libavformat59, libavcodec59, libavutil57 and the C and C++ runtime.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tarsasdk)
# A shlibs file for packages built against the library, and the trigger
# that refreshes the loader cache.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
