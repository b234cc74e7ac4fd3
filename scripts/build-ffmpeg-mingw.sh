#!/usr/bin/env bash
# Cross-builds the FFmpeg libraries (avformat, avcodec, avutil; shared, LGPL)
# for x86_64-w64-mingw32 from Debian's own FFmpeg source package, with what
# stream inspection, trial decodes and hardware detection need. The result is
# cached in $TARSA_FFMPEG_MINGW (default .cache/ffmpeg-mingw) and reused.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${TARSA_FFMPEG_MINGW:-$PWD/.cache/ffmpeg-mingw}
if [ -f "$prefix/.complete" ]; then echo "ffmpeg-mingw: cached in $prefix"; exit 0; fi
SUDO=""; if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
if ! apt-get source --help >/dev/null 2>&1 || ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list; then
  $SUDO tee /etc/apt/sources.list.d/tarsa-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $SUDO apt-get update -qq
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only ffmpeg >/dev/null 2>&1 && tar xf ffmpeg_*.orig.tar.xz)
src=$(find "$work" -maxdepth 1 -type d -name 'ffmpeg-*' | head -1)
start=$(date +%s)
cd "$src"
./configure --prefix="$prefix" --target-os=mingw32 --arch=x86_64 \
  --cross-prefix=x86_64-w64-mingw32- --enable-cross-compile \
  --enable-shared --disable-static --disable-programs --disable-doc --disable-debug \
  --disable-avdevice --disable-swscale --disable-swresample --disable-postproc --disable-avfilter \
  --disable-network --disable-everything \
  --enable-protocol=file,pipe \
  --enable-demuxer=mov,matroska,avi,flv,mpegts,mpegps,h264,hevc,asf,mp3,aac,wav,m4v,mpegvideo \
  --enable-parser=h264,hevc,aac,mpegaudio,mpeg4video,mpegvideo \
  --enable-decoder=h264,hevc,mpeg4,mpeg2video,aac,mp3 \
  --enable-bsf=h264_mp4toannexb,hevc_mp4toannexb \
  --enable-d3d11va --enable-dxva2 --enable-hwaccel=h264_d3d11va,hevc_d3d11va,h264_dxva2,hevc_dxva2 \
  >/dev/null
make -j"$(nproc)" >/dev/null
make install >/dev/null
cp LICENSE.md COPYING.LGPLv2.1 "$prefix/" 2>/dev/null || true
touch "$prefix/.complete"
echo "ffmpeg-mingw: built in $(( $(date +%s) - start )) s into $prefix"
