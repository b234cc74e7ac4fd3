#!/usr/bin/env bash
# Puts the stock FFmpeg programs for Windows that the tests run under Wine
# into DIR/bin/stock (default build-win): ffmpeg.exe 4.1 and ffprobe.exe 5.1
# from the npm packages @ffmpeg-installer/win32-x64 and
# @ffprobe-installer/win32-x64. The packages are fetched once with npm and
# kept in $TARSA_STOCK_CACHE (default /var/cache/tarsasdk/npm-stock when
# writable, else .cache/npm-stock).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
stock="$dir/bin/stock"
if [ -z "${TARSA_STOCK_CACHE:-}" ]; then
  if mkdir -p /var/cache/tarsasdk/npm-stock 2>/dev/null && [ -w /var/cache/tarsasdk/npm-stock ]; then
    TARSA_STOCK_CACHE=/var/cache/tarsasdk/npm-stock
  else
    TARSA_STOCK_CACHE=$PWD/.cache/npm-stock
  fi
fi
cache=$TARSA_STOCK_CACHE
packages=("@ffmpeg-installer/win32-x64@4.1.0:ffmpeg.exe" "@ffprobe-installer/win32-x64@5.1.0:ffprobe.exe")

if ! command -v npm >/dev/null; then
  SUDO=""; if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm
fi

mkdir -p "$cache" "$stock"
for entry in "${packages[@]}"; do
  pkg=${entry%%:*} exe=${entry##*:}
  if [ ! -f "$cache/$exe" ]; then
    # npm pack fetches the package as it is (an install would refuse a
    # package made for another system).
    work=$(mktemp -d)
    (cd "$work" && npm pack --silent "$pkg" >/dev/null)
    tar -xzf "$work"/*.tgz -C "$work" "package/$exe"
    mv "$work/package/$exe" "$cache/$exe.part" && mv "$cache/$exe.part" "$cache/$exe"
    rm -rf "$work"
  fi
  cp -u "$cache/$exe" "$stock/$exe"
done
echo "stock-windows: $(ls "$stock" | tr '\n' ' ')in $stock"
