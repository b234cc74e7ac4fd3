#!/usr/bin/env bash
# Cross-builds tarsasdk.dll for 64-bit Windows with mingw-w64: the FFmpeg
# libraries (scripts/build-ffmpeg-mingw.sh, cached), then the DLL, its import
# library, the tool layer (ffmpeg.exe, ffprobe.exe, ffshim_av.dll, tf.ttf),
# the unit and integration tests and the C host test. Everything lands in
# DIR/bin (default build-win), with the FFmpeg DLLs the DLL needs copied
# beside it and the stock programs for the tests in DIR/bin/stock
# (scripts/stock-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
SUDO=""; if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

need=()
for p in g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix cmake ninja-build pkg-config googletest nasm wine wine64 fonts-dejavu-core; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

scripts/build-ffmpeg-mingw.sh
ffprefix=${TARSA_FFMPEG_MINGW:-$PWD/.cache/ffmpeg-mingw}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DTARSA_FFMPEG_MINGW="$ffprefix" "${launcher[@]}"
fi
cmake --build "$dir" -j"$(nproc)" --target tarsasdk tarsa ffshim_tools tarsa_unit_tests tarsa_integration_tests win_child dll_host

# The FFmpeg DLLs the library imports (avformat, avcodec, avutil), and the
# toolchain's winpthread DLL that avutil imports for its time functions.
cp -u "$ffprefix"/bin/av*.dll "$dir/bin/"
cp -u /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$dir/bin/"
scripts/stock-windows.sh "$dir"
ls "$dir/bin"/tarsasdk.dll "$dir/bin"/libtarsasdk.dll.a >/dev/null
echo "build-windows: $dir/bin ready"
