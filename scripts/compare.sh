#!/usr/bin/env bash
# Builds (at most two jobs at a time) and runs bench/compare: tarsasdk next
# to the stock FFmpeg programs, one table. Arguments go to the program
# (--runs N, --heavy-runs N). Exits non-zero only when it cannot build or run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${TARSA_BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j2 --target compare fake_tool >/dev/null
exec "$dir/bin/compare" "$@"
