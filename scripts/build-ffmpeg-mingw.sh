#!/usr/bin/env bash
# Cross-builds the FFmpeg libraries (avformat, avcodec, avutil; shared, LGPL)
# for x86_64-w64-mingw32 from Debian's own FFmpeg source package (with Debian's
# patches applied), with what stream inspection, trial decodes and hardware
# detection need. The result is cached in $TARSA_FFMPEG_MINGW (default
# .cache/ffmpeg-mingw) and reused; the build log stays next to it.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${TARSA_FFMPEG_MINGW:-$PWD/.cache/ffmpeg-mingw}
if [ -f "$prefix/.complete" ]; then echo "ffmpeg-mingw: cached in $prefix"; exit 0; fi
SUDO=""; if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

need=()
for p in gcc-mingw-w64-x86-64-posix nasm make pkg-config xz-utils dpkg-dev; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

# A fresh machine may lack a deb-src line: add one for the configured mirror
# and release (one-line or deb822 sources both count as present).
if ! grep -rqsE '^(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  . /etc/os-release
  mirror=$(grep -rhsE '^URIs:[[:space:]]*http' /etc/apt/sources.list.d/debian.sources | head -1 | awk '{print $2}')
  $SUDO tee /etc/apt/sources.list.d/tarsa-deb-src.sources >/dev/null <<SRC
Types: deb-src
URIs: ${mirror:-http://deb.debian.org/debian}
Suites: ${VERSION_CODENAME:-bookworm} ${VERSION_CODENAME:-bookworm}-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $SUDO apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$prefix"
log="$prefix.log"
# The source index may be missing even when the line exists (no update yet).
if ! (cd "$work" && apt-get source -qq ffmpeg >"$log" 2>&1); then
  $SUDO apt-get update -qq
  (cd "$work" && apt-get source -qq ffmpeg >"$log" 2>&1) || { cat "$log"; exit 1; }
fi
src=$(find "$work" -maxdepth 1 -type d -name 'ffmpeg-*' | head -1)
[ -n "$src" ] || { echo "ffmpeg-mingw: no source tree unpacked" >&2; exit 1; }
start=$(date +%s)
cd "$src"
echo "ffmpeg-mingw: building $(basename "$src") (this takes a while; log: $log)"
# nvenc/cuvid need the ffnvcodec headers and qsv needs libmfx, which Debian does
# not ship for mingw: the DLL finds those kinds absent, as on a machine without them.
if ! ./configure --prefix="$prefix" --target-os=mingw32 --arch=x86_64 \
  --cross-prefix=x86_64-w64-mingw32- --enable-cross-compile \
  --enable-shared --disable-static --disable-programs --disable-doc --disable-debug \
  --disable-avdevice --disable-swscale --disable-swresample --disable-postproc --disable-avfilter \
  --disable-network --disable-everything --enable-w32threads --disable-pthreads \
  --extra-ldflags=-static-libgcc \
  --enable-protocol=file,pipe \
  --enable-demuxer=mov,matroska,avi,flv,mpegts,mpegps,h264,hevc,asf,mp3,aac,wav,m4v,mpegvideo \
  --enable-parser=h264,hevc,aac,mpegaudio,mpeg4video,mpegvideo \
  --enable-decoder=h264,hevc,mpeg4,mpeg2video,aac,mp3 \
  --enable-bsf=h264_mp4toannexb,hevc_mp4toannexb \
  --enable-d3d11va --enable-dxva2 --enable-hwaccel=h264_d3d11va,hevc_d3d11va,h264_dxva2,hevc_dxva2 \
  >>"$log" 2>&1; then
  tail -30 ffbuild/config.log >&2; exit 1
fi
make -j"$(nproc)" >>"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
make install >>"$log" 2>&1
cp LICENSE.md COPYING.LGPLv2.1 "$prefix/"
touch "$prefix/.complete"
echo "ffmpeg-mingw: built in $(( $(date +%s) - start )) s into $prefix"
