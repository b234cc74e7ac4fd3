#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang into build-fuzz/ and runs
# each for $1 seconds (default 20). A target's corpus lives in
# tests/fuzz/corpus/<target> (its checked-in seeds and regression inputs);
# its dictionary in tests/fuzz/<target>.dict;
# what a run adds goes to build-fuzz/corpus/<target>. A crash stops the
# script with the input saved as build-fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTARSA_FUZZ=ON -DTARSA_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target fuzz_targets
for target in $(cd "$dir/bin" && ls fuzz_* | sed "s/^fuzz_//"); do  # the targets CMake lists
  seeds=tests/fuzz/corpus/$target
  dict=tests/fuzz/$target.dict
  mkdir -p "$dir/corpus/$target"
  echo "fuzz: $target for $seconds s"
  UBSAN_OPTIONS=print_stacktrace=1 "$dir/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus/$target" \
    $( [ -f "$dict" ] && echo "-dict=$dict" ) \
    $( [ -d "$seeds" ] && echo "$seeds" ) 2>"$dir/fuzz_$target.log" ||
    { tail -n 40 "$dir/fuzz_$target.log"; exit 1; }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|^Done' "$dir/fuzz_$target.log"
done
