#!/usr/bin/env bash
# Builds and runs every test, then the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
(cd build && ctest -j2 --output-on-failure)
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTARSA_SANITIZE=address
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -L unit -j2 --output-on-failure)
