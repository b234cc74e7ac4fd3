#!/usr/bin/env bash
# Builds the Debian package into build-deb/ (or $1) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-build-deb}")
log="$dir/package-deb.log"
mkdir -p "$dir"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
run() { "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "package-deb: failed: $*" >&2; exit 1; }; }
: >"$log"
run cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARSA_BUILD_TESTS=OFF -DTARSA_LINK_SYSTEM_FONT=ON "${launcher[@]}"
targets=(tarsasdk ffshim_tools)
[ -f host/CMakeLists.txt ] && targets+=(tarsa)
run cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
rm -f "$dir"/tarsasdk_*.deb
(cd "$dir" && run cpack -G DEB)
ls "$dir"/tarsasdk_*.deb
