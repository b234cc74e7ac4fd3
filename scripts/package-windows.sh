#!/usr/bin/env bash
# Packs the Windows build (building first if needed) into
# DIR/tarsasdk-VERSION-win64.zip (DIR defaults to build-win) and checks the zip:
#   bin/      tarsasdk.dll, tarsa.exe, the tool layer (ffmpeg.exe, ffprobe.exe,
#             once built for Windows), tf.ttf, and every DLL those import that
#             is not a Windows system DLL (FFmpeg's, libwinpthread-1.dll)
#   lib/      libtarsasdk.dll.a, the import library
#   include/  tarsasdk.h
#   licenses/ FFmpeg's (LGPL 2.1), mingw-w64's (winpthreads), the font's
#   README.txt
# The stock ffmpeg.exe/ffprobe.exe the tool layer runs are not included (their
# licences differ): README.md ("Windows") says where they go.
# The check: the zip holds those files; every DLL a packed program or DLL
# imports is packed or is a system DLL; a C program (tests/windows/dll_host.c)
# compiles and links against the unpacked header and import library, and,
# when wine is installed, it and tarsa.exe run from the unpacked bin/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
bin="$dir/bin"
cc=x86_64-w64-mingw32-gcc-posix
objdump=x86_64-w64-mingw32-objdump
ffprefix=${TARSA_FFMPEG_MINGW:-$PWD/.cache/ffmpeg-mingw}
font_licence=/usr/share/doc/fonts-dejavu-core/copyright
mingw_licence=/usr/share/doc/mingw-w64-common/copyright

if [ ! -f "$bin/tarsasdk.dll" ] || [ ! -f "$bin/tarsa.exe" ]; then
  scripts/build-windows.sh "$dir"
else
  cmake --build "$dir" -j2 --target tarsasdk tarsa >/dev/null
fi
version=$(sed -n 's/^project(tarsasdk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="tarsasdk-$version-win64"
stage="$dir/package/$name"
rm -rf "$dir/package"
mkdir -p "$stage/bin" "$stage/lib" "$stage/include" "$stage/licenses"

# Windows' own DLLs (and the API sets): what a packed file may import
# without the package carrying it.
is_system_dll() {
  case "${1,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|ntdll.dll) return 0 ;;
    bcrypt.dll|ws2_32.dll|secur32.dll|crypt32.dll|shlwapi.dll|psapi.dll|version.dll|winmm.dll|mfplat.dll) return 0 ;;
    api-ms-win-*|ucrtbase.dll|d3d11.dll|dxgi.dll|d3d9.dll|dxva2.dll|userenv.dll|ncrypt.dll) return 0 ;;
  esac
  return 1
}
imports_of() { "$objdump" -p "$1" | awk '/DLL Name:/{print $3}'; }

# The programs and DLLs of the build that go into bin/, then whatever they
# import from the build's bin/ (FFmpeg's DLLs, winpthread), transitively.
packed=(tarsasdk.dll tarsa.exe ffmpeg.exe ffprobe.exe ffshim_av.dll)
for f in "${packed[@]}"; do [ -f "$bin/$f" ] || { echo "package-windows: $bin/$f is missing (build first)" >&2; exit 1; }; done
queue=("${packed[@]}")
while [ ${#queue[@]} -gt 0 ]; do
  f=${queue[0]}; queue=("${queue[@]:1}")
  cp "$bin/$f" "$stage/bin/"
  # This build's own programs and DLL without their debugging sections.
  if printf '%s\n' "${packed[@]}" | grep -x "$f" >/dev/null; then x86_64-w64-mingw32-strip --strip-debug "$stage/bin/$f"; fi
  for dll in $(imports_of "$bin/$f"); do
    found=$(find "$bin" -maxdepth 1 -iname "$dll" -printf '%f\n' | head -1)
    if [ -n "$found" ] && [ ! -f "$stage/bin/$found" ] && ! printf '%s\n' "${queue[@]}" | grep -x "$found" >/dev/null; then
      queue+=("$found")
    fi
  done
done
# The watermark font: the build's tf.ttf, else the font it is made from.
if [ -f "$bin/tf.ttf" ]; then cp "$bin/tf.ttf" "$stage/bin/"; else cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$stage/bin/tf.ttf"; fi
cp "$bin/libtarsasdk.dll.a" "$stage/lib/"
cp include/tarsasdk.h "$stage/include/"
cp "$ffprefix/LICENSE.md" "$stage/licenses/FFmpeg-LICENSE.md"
cp "$ffprefix/COPYING.LGPLv2.1" "$stage/licenses/FFmpeg-COPYING.LGPLv2.1"
[ -f "$stage/bin/libwinpthread-1.dll" ] && cp "$mingw_licence" "$stage/licenses/mingw-w64-winpthreads.txt"
cp "$font_licence" "$stage/licenses/tf.ttf-DejaVu-fonts.txt"
tools_line="bin\\ffmpeg.exe, bin\\ffprobe.exe  the tool layer the library runs (see stock\\ below)"
[ -f "$stage/bin/ffmpeg.exe" ] || tools_line="(the tool layer ffmpeg.exe/ffprobe.exe is not part of this build)"
sed 's/$/\r/' >"$stage/README.txt" <<EOF
tarsasdk $version for 64-bit Windows

bin\\tarsasdk.dll      the library; keep every file of bin\\ together
bin\\tarsa.exe         the command-line program (tarsa --help)
$tools_line
bin\\tf.ttf            the watermark font (DejaVu Sans)
bin\\av*.dll           FFmpeg 5.1 libraries (LGPL 2.1, licenses\\), built from
                      Debian's ffmpeg source package by scripts/build-ffmpeg-mingw.sh
lib\\libtarsasdk.dll.a import library (MinGW)
include\\tarsasdk.h    the header

The stock FFmpeg programs are not included. Install the npm packages
@ffmpeg-installer/win32-x64 and @ffprobe-installer/win32-x64 and copy their
ffmpeg.exe and ffprobe.exe into a folder named "stock" inside bin\\
(bin\\stock\\ffmpeg.exe, bin\\stock\\ffprobe.exe), or name their folder in the
environment variable TARSASDK_FFMPEG_DIR.

Build a C or C++ host with MinGW:
  gcc host.c -Iinclude -Llib -ltarsasdk -o host.exe
and run it with bin\\ on the PATH or next to the DLL.
EOF

zip="$dir/$name.zip"
rm -f "$zip"
(cd "$dir/package" && zip -qr9 "../$name.zip" "$name")
echo "package-windows: $zip ($(du -k "$zip" | cut -f1) KiB)"

# ---- the check, on a fresh unpack
fail=0
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
unzip -q "$zip" -d "$check"
root="$check/$name"
for f in bin/tarsasdk.dll bin/tarsa.exe bin/tf.ttf lib/libtarsasdk.dll.a include/tarsasdk.h README.txt \
         licenses/FFmpeg-LICENSE.md licenses/FFmpeg-COPYING.LGPLv2.1 licenses/tf.ttf-DejaVu-fonts.txt; do
  [ -s "$root/$f" ] || { echo "package-windows: $f missing"; fail=1; }
done
ls "$root"/bin/avformat-*.dll "$root"/bin/avcodec-*.dll "$root"/bin/avutil-*.dll >/dev/null || fail=1
for f in "$root"/bin/*.exe "$root"/bin/*.dll; do
  for dll in $(imports_of "$f"); do
    if [ -z "$(find "$root/bin" -maxdepth 1 -iname "$dll")" ] && ! is_system_dll "$dll"; then
      echo "package-windows: $(basename "$f") imports $dll, which is neither packed nor a system DLL"; fail=1
    fi
  done
done
if [ -f "$root/bin/libwinpthread-1.dll" ] && [ ! -f "$root/licenses/mingw-w64-winpthreads.txt" ]; then fail=1; fi
# A C host built from the unpacked header and import library only.
if "$cc" -std=c99 -Wall -Werror tests/windows/dll_host.c -I"$root/include" -L"$root/lib" -ltarsasdk \
     -o "$root/bin/dll_host.exe"; then
  echo "package-windows: dll_host.c links against the unpacked import library"
  if command -v wine >/dev/null; then
    export WINEDEBUG=-all WINEPREFIX="$(realpath -m "$dir")/wineprefix-package" WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1 || true
    if wine "$root/bin/dll_host.exe" >"$check/dll_host.out" 2>&1; then
      echo "package-windows: dll_host.exe runs from the unpacked bin ($(tail -n 1 "$check/dll_host.out"))"
    else
      echo "package-windows: dll_host.exe failed in the unpacked bin:"; cat "$check/dll_host.out"; fail=1
    fi
    if wine "$root/bin/tarsa.exe" --version >"$check/tarsa.out" 2>&1; then
      echo "package-windows: tarsa.exe runs from the unpacked bin ($(tr -d '\r' <"$check/tarsa.out"))"
    else
      echo "package-windows: tarsa.exe failed in the unpacked bin"; fail=1
    fi
    wineserver -k 2>/dev/null || true
  fi
else
  echo "package-windows: dll_host.c does not link against the unpacked import library"; fail=1
fi
[ $fail -eq 0 ] && echo "package-windows: contents checked" || echo "package-windows: check FAILED"
exit $fail
