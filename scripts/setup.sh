#!/usr/bin/env bash
# Installs what tarsasdk needs to build and test on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ make pkg-config clang libclang-rt-14-dev \
  libgtest-dev googletest \
  ffmpeg libavformat-dev libavcodec-dev libavutil-dev \
  fonts-dejavu-core python3 ca-certificates >/dev/null
