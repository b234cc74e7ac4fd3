# Cross-build for 64-bit Windows with mingw-w64 (Debian's posix-threads
# variant, which C++ threads need). libgcc, libstdc++ and winpthread are
# linked statically so the products need only system DLLs and FFmpeg's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARSA_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TARSA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARSA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARSA_MINGW_PREFIX}-windres)
set(CMAKE_AR ${TARSA_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TARSA_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${TARSA_MINGW_PREFIX}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${TARSA_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TARSA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static applies to the toolchain's own libraries only: the FFmpeg
# libraries are found as import libraries by full path.
set(_tarsa_static_rt "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_tarsa_static_rt}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_tarsa_static_rt}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_tarsa_static_rt}")

# Programs built here run under Wine (test discovery, try_run).
find_program(TARSA_WINE wine)
if(TARSA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARSA_WINE})
endif()
