# Install layout (PREFIX = the install prefix, LIBDIR = GNUInstallDirs' libdir):
#   PREFIX/include/tarsasdk.h
#   PREFIX/LIBDIR/tarsasdk/libtarsasdk.so.X.Y.Z    the library's real file, and
#   PREFIX/LIBDIR/tarsasdk/{ffmpeg,ffprobe,ffshim_av.so,tf.ttf}  (ffprobe links to ffmpeg)
#                                                  the tools it runs from its own directory
#   PREFIX/LIBDIR/libtarsasdk.so.N, libtarsasdk.so relative symlinks into tarsasdk/
#   PREFIX/LIBDIR/pkgconfig/tarsasdk.pc, PREFIX/LIBDIR/cmake/tarsasdk/
#   PREFIX/bin/tarsa, PREFIX/share/man/man1/tarsa.1
# The library resolves the symlink of its own file, so hosts link and load it
# from the usual library directory while the tools stay out of it and out of
# PATH. Every path between installed files is relative: the tree may be
# installed under any prefix (cmake --install build --prefix P) and moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(TARSA_LINK_SYSTEM_FONT
  "Install tf.ttf as a symlink to the watermark font instead of a copy (for packages that depend on the font)" OFF)

set(TARSA_INSTALL_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/tarsasdk)
set(TARSA_SONAME libtarsasdk.so.${PROJECT_VERSION_MAJOR})

install(FILES ${PROJECT_SOURCE_DIR}/include/tarsasdk.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(TARGETS tarsasdk
  LIBRARY DESTINATION ${TARSA_INSTALL_PRIVATE_DIR} NAMELINK_SKIP)

# The links in the library directory, made once in the build tree and
# installed as links.
set(_links ${CMAKE_CURRENT_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
file(CREATE_LINK tarsasdk/${TARSA_SONAME} ${_links}/${TARSA_SONAME} SYMBOLIC)
file(CREATE_LINK ${TARSA_SONAME} ${_links}/libtarsasdk.so SYMBOLIC)
install(FILES ${_links}/${TARSA_SONAME} ${_links}/libtarsasdk.so DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(TARGETS ffshim RUNTIME DESTINATION ${TARSA_INSTALL_PRIVATE_DIR})
# One program under both names: it acts by the name it was started as.
file(CREATE_LINK ffmpeg ${_links}/ffprobe SYMBOLIC)
install(FILES ${_links}/ffprobe DESTINATION ${TARSA_INSTALL_PRIVATE_DIR})
install(TARGETS ffshim_av LIBRARY DESTINATION ${TARSA_INSTALL_PRIVATE_DIR})
if(TARSA_LINK_SYSTEM_FONT)
  file(CREATE_LINK ${TARSA_WATERMARK_FONT} ${_links}/tf.ttf SYMBOLIC)
  install(FILES ${_links}/tf.ttf DESTINATION ${TARSA_INSTALL_PRIVATE_DIR})
else()
  install(FILES ${TARSA_OUT_DIR}/tf.ttf DESTINATION ${TARSA_INSTALL_PRIVATE_DIR})
endif()

if(TARGET tarsa)
  # The program finds the library in the library directory of its own prefix.
  file(RELATIVE_PATH _bin_to_lib /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(tarsa PROPERTIES INSTALL_RPATH "\$ORIGIN/${_bin_to_lib}")
  install(TARGETS tarsa RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(EXISTS ${PROJECT_SOURCE_DIR}/host/tarsa.1)
    install(FILES ${PROJECT_SOURCE_DIR}/host/tarsa.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()

# pkg-config: the prefix is found from the .pc file's own place.
file(RELATIVE_PATH TARSA_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarsasdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tarsasdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarsasdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: find_package(tarsasdk) gives the target tarsasdk::tarsasdk.
set(TARSA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarsasdk)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarsasdkConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarsasdkConfig.cmake
  INSTALL_DESTINATION ${TARSA_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tarsasdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarsasdkConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tarsasdkConfigVersion.cmake
  DESTINATION ${TARSA_CMAKE_DIR})
