#!/usr/bin/env bash
# Builds and runs every test, then the unit tests (and the repeated hardware
# detection) again under AddressSanitizer + UndefinedBehaviorSanitizer, then
# the jobs' concurrency, stop and shared-pipe tests under ThreadSanitizer,
# and last the fuzz targets, 20 s each.
set -euo pipefail
cd "$(dirname "$0")/.."
# The layering of src/ (upward includes, include circles, platform headers
# outside the platform layer), and proof that the check can fail.
python3 scripts/check_layers.py
scratch=$(mktemp -d)
cp -r src "$scratch/" && mkdir -p "$scratch/host"
echo '#include "job/job_records.h"' >> "$scratch/src/media/fmt_table.cpp"
if python3 scripts/check_layers.py "$scratch" >/dev/null; then
  echo "layering check missed an upward include"; rm -rf "$scratch"; exit 1
fi
rm -rf "$scratch"
python3 scripts/line_counts.py --max 0.35
scripts/build.sh build
(cd build && ctest -j2 --output-on-failure)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSA_SANITIZE=address >/dev/null
cmake --build build-asan -j"$(nproc)" --target tarsa_unit_tests tarsa_integration_tests fuzz_replays
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -L unit -j2 --output-on-failure)
# Hardware detection, repeated, must not leak.
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 bin/tarsa_integration_tests --gtest_filter='HwdDetect.*:HwdTrialDecode.*')
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSA_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$(nproc)" --target tarsa_integration_tests
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  bin/tarsa_integration_tests --gtest_filter='JobLoop.*:JobApi.*')
scripts/fuzz.sh 20
