#!/usr/bin/env bash
# Sets up, builds and runs the host program on generated sample media.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DTARSA_BUILD_TESTS=OFF
build/bin/tarsa demo
