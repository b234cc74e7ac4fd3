#!/usr/bin/env bash
# Builds the Debian package, installs it, builds and runs the C examples
# against it (pkg-config and CMake), installs the Python package into a venv
# and runs its tests, then removes the package and checks that nothing of it
# is left. Run as root on Debian 12. Quiet except for failures and a summary.
#   scripts/package-test.sh [BUILD_DIR]      (default: build-pkg)
set -uo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=$(realpath -m "${1:-build-pkg}")
work=$(mktemp -d /tmp/tarsasdk-package-test.XXXXXX)
log="$work/log"
passed=0 failed=0
started=$(date +%s)
trap 'rm -rf "$work"' EXIT
export TARSASDK_LOG=off DEBIAN_FRONTEND=noninteractive PYTHONDONTWRITEBYTECODE=1
unset TARSASDK_LIBRARY

check() {  # check NAME COMMAND...: runs COMMAND, counts it, shows its output on failure
    local name=$1; shift
    if "$@" >"$log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name"
        tail -n 30 "$log" | sed 's/^/    /'
    fi
}
summary() {
    echo "package tests: $passed passed, $failed failed ($(( $(date +%s) - started )) s)"
    [ "$failed" -eq 0 ]
    exit
}

# What the steps need, installed only when missing.
need=(cmake ninja-build g++ gcc pkg-config dpkg-dev ccache ffmpeg libavformat-dev libavcodec-dev
      libavutil-dev fonts-dejavu-core python3-venv python3-pytest python3-setuptools python3-pip)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    check "apt-get install ${missing[*]}" sh -c \
        "apt-get update -q && apt-get install -y -q --no-install-recommends ${missing[*]}"
fi
# A package left by an earlier run.
dpkg -s tarsasdk >/dev/null 2>&1 && dpkg -r tarsasdk >/dev/null 2>&1

check "build the package" scripts/package-deb.sh "$build"
deb=$(ls "$build"/tarsasdk_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || summary
depends_ok() {
    local d; d=$(dpkg-deb -f "$deb" Depends)
    for p in ffmpeg libavformat59 libavcodec59 libavutil57 fonts-dejavu-core; do
        grep -Eq "(^|, )$p( |,|$)" <<<"$d" || { echo "Depends lacks $p: $d"; return 1; }
    done
}
check "package Depends" depends_ok
# Installed under another prefix (before the package, so nothing in /usr can
# stand in): the library finds its tools beside its own file, through the
# library's symbolic links.
prefix_ok() {
    cmake --install "$build" --prefix "$work/prefix" >/dev/null &&
    /usr/bin/ffmpeg -v error -f lavfi -i testsrc2=size=160x120:duration=2 -pix_fmt yuv420p "$work/p.mp4" &&
    "$work/prefix/bin/tarsa" convert "$work/p.mp4" "$work/p.flv" >/dev/null &&
    "$work/prefix/bin/tarsa" probe "$work/p.flv" | grep flv >/dev/null && rm -rf "$work/prefix"
}
check "install under another prefix" prefix_ok
check "install the package" apt-get install -y -q "$deb"

libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
layout_ok() {
    local f
    for f in /usr/include/tarsasdk.h "$libdir/libtarsasdk.so.0" "$libdir/libtarsasdk.so" \
             "$libdir"/tarsasdk/{ffmpeg,ffprobe,ffshim_av.so,tf.ttf} "$libdir/cmake/tarsasdk/tarsasdkConfig.cmake"; do
        [ -e "$f" ] || { echo "missing $f"; return 1; }
    done
    readelf -d "$libdir/libtarsasdk.so.0" | grep 'SONAME.*\[libtarsasdk\.so\.0\]' >/dev/null || { echo "SONAME"; return 1; }
    [ "$(pkg-config --modversion tarsasdk)" = "$(dpkg-deb -f "$deb" Version)" ] || { echo "pkg-config"; return 1; }
    # The package's ldconfig trigger updates the loader cache. Once, in a CI
    # run, the cache lacked the library right after the install (and had it
    # on every run since): wait a little; the step's log tells the wait.
    local tries=0
    until ldconfig -p | grep 'libtarsasdk\.so\.0 ' >/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -le 5 ] || { echo "not in the loader cache"; ls -l "$libdir"/libtarsasdk*; return 1; }
        sleep 1
    done
    [ "$tries" -eq 0 ] || echo "package test: the loader cache had the library after $tries s" >&2
}
check "installed layout" layout_ok

# Media made by the stock ffmpeg.
media() {  # media NAME SIZE SECONDS VIDEO-CODEC
    /usr/bin/ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=25:duration=$3" \
        -f lavfi -i "sine=frequency=440:duration=$3" -c:v "$4" -pix_fmt yuv420p -c:a aac -shortest "$work/$1"
}
# long.mp4 is MPEG-4 Part 2, so its conversion re-encodes (and lasts).
check "generate media" eval 'media in.mp4 160x120 4 libx264 && media long.mp4 640x480 20 mpeg4'

[ -f host/CMakeLists.txt ] && check "installed tarsa probes" eval '/usr/bin/tarsa probe "$work/in.mp4" | grep 160x120 >/dev/null'

# The C examples: built with pkg-config and with CMake, run on the media.
run_examples() {  # run_examples DIR_WITH_probe_AND_convert
    local d=$1
    "$d/probe" "$work/in.mp4" | grep '160x120' >/dev/null || { echo "probe output wrong"; return 1; }
    ! "$d/probe" "$src/README.md" || { echo "probe accepted a text file"; return 1; }
    rm -f "$work/out.avi"
    "$d/convert" "$work/in.mp4" "$work/out.avi" | grep '^done' >/dev/null && "$d/probe" "$work/out.avi" | grep avi >/dev/null
}
stop_example() {  # Ctrl-C stops the conversion: status 130 and no tool left
    local d=$1 pid st
    "$d/convert" "$work/long.mp4" "$work/stop.avi" >"$work/stop.out" & pid=$!
    for _ in $(seq 300); do grep -q progress "$work/stop.out" && break; sleep 0.1; done  # running
    kill -INT "$pid"; wait "$pid"; st=$?
    [ "$st" -eq 130 ] || { echo "status $st"; return 1; }
    for _ in $(seq 30); do  # the tools are killed; give them a moment to go
        grep -lsq "TARSASDK_HOST=$pid:" /proc/[0-9]*/environ || return 0
        sleep 0.1
    done
    echo "tools left"; return 1
}
pc_build() {
    mkdir -p "$work/pc" &&
    cc -Wall -Wextra -Werror "$src/examples/probe/probe.c" $(pkg-config --cflags --libs tarsasdk) -o "$work/pc/probe" &&
    cc -Wall -Wextra -Werror "$src/examples/convert/convert.c" $(pkg-config --cflags --libs tarsasdk) -o "$work/pc/convert"
}
check "examples build with pkg-config" pc_build
check "examples run (pkg-config build)" run_examples "$work/pc"
check "example stops on Ctrl-C" stop_example "$work/pc"
cmake_build() {
    cmake -S "$src/examples" -B "$work/cm" -G Ninja -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" &&
    cmake --build "$work/cm" && mkdir -p "$work/cm/bin" && cp "$work/cm/probe/probe" "$work/cm/convert/convert" "$work/cm/bin/"
}
check "examples build with CMake" cmake_build
check "examples run (CMake build)" run_examples "$work/cm/bin"

# Python: a venv over the system's site-packages, the package, the README
# snippet exactly as written, the tests.
py() { "$work/venv/bin/python" "$@"; }
check "create venv" /usr/bin/python3 -m venv --system-site-packages "$work/venv"
# From a copy: a build leaves its files where it runs.
check "pip install bindings/python" eval 'cp -r "$src/bindings/python" "$work/pysrc" &&
    py -m pip install -q --no-index --no-build-isolation "$work/pysrc"'
snippet() {
    sed -n '/<!-- python-example/,/^```$/p' "$src/README.md" | sed '1,2d;$d' >"$work/snippet.py"
    grep -q tarsasdk "$work/snippet.py" && (cd "$work" && py snippet.py) &&
    [ -s "$work/out.flv" ] && [ -s "$work/both.mp4" ]
}
check "README Python example" snippet
pytests() { (cd "$work" && py -m pytest -q -p no:cacheprovider "$src/bindings/python/tests"); }
check "python tests" pytests
grep -Eo '[0-9]+ passed.*' "$log" | tail -n 1 | sed 's/^/  pytest: /'

# Removal leaves nothing of the package behind.
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||')
check "remove the package" dpkg -r tarsasdk
removed_ok() {
    local f left=0
    for f in $files; do
        case $f in */) continue ;; esac  # shared directories stay; ours are checked below
        if [ -e "$f" ] || [ -L "$f" ]; then echo "left: $f"; left=1; fi
    done
    for f in "$libdir/tarsasdk" "$libdir/cmake/tarsasdk"; do
        [ -e "$f" ] && { echo "left: $f"; left=1; }
    done
    dpkg -s tarsasdk >/dev/null 2>&1 && { echo "still known to dpkg"; left=1; }
    pkg-config --exists tarsasdk && { echo "pkg-config still finds it"; left=1; }
    return $left
}
check "nothing left after removal" removed_ok
summary
