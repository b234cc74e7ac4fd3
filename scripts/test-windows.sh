#!/usr/bin/env bash
# Runs the Windows build's checks under Wine (building first if needed):
#  1. tarsasdk.dll exports exactly the header's tarsa_* functions and imports
#     only system DLLs and the FFmpeg DLLs (no libstdc++/libgcc/winpthread);
#  2. the plain C host (dll_host.exe) loads the DLL through its import library,
#     and the host program (tarsa.exe) answers --version and refuses bad input
#     with its exit statuses;
#  3. the unit tests;
#  4. the integration tests, with the tool layer (ffmpeg.exe, ffprobe.exe)
#     running the stock programs of bin/stock.
# Each suite's summary line is printed; the last line is the time taken.
# Wine runs with WINEDEBUG=-all in a fresh prefix under DIR, ended with
# `wineserver -k`.
#
# Tests left out here (and why), besides the POSIX-only files that
# tests/CMakeLists.txt leaves out of the Windows build:
#   HwdVaapi.*      VA-API (render nodes, driver directories) exists on Linux only
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
bin="$dir/bin"
filter='-HwdVaapi.*'

start=$(date +%s)
if [ ! -f "$bin/tarsa_integration_tests.exe" ] || [ ! -f "$bin/dll_host.exe" ] || [ ! -f "$bin/tarsa.exe" ]; then
  scripts/build-windows.sh "$dir"
else
  cmake --build "$dir" -j"$(nproc)" --target tarsasdk tarsa ffshim_tools tarsa_unit_tests tarsa_integration_tests \
    win_child dll_host >/dev/null
  scripts/stock-windows.sh "$dir" >/dev/null
fi

export WINEDEBUG=-all WINEPREFIX="$(realpath -m "$dir")/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true  # the new prefix is complete only once wineboot has ended

fail=0
# 1. Export and import tables.
dump=$(x86_64-w64-mingw32-objdump -p "$bin/tarsasdk.dll")
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} {t=0}' <<<"$dump" | sort)
declared=$(grep -o 'TARSA_API [^(]*(' include/tarsasdk.h | grep -o 'tarsa_[a-z0-9_]*' | sort)
if [ "$exports" = "$declared" ] && [ "$(wc -l <<<"$exports")" = 37 ]; then
  echo "exports: the 37 tarsa_* functions"
else
  echo "exports: differ from the header's 37 functions:"; diff <(echo "$declared") <(echo "$exports") || true; fail=1
fi
# 2. The C host.
if wine "$bin/dll_host.exe"; then echo "dll_host: exit 0"; else echo "dll_host: failed ($?)"; fail=1; fi

# The system DLLs, looked up once Wine has surely set the prefix up.
sysdir="$WINEPREFIX/drive_c/windows/system32"
for dll in $(awk '/DLL Name:/{print $3}' <<<"$dump"); do
  case "${dll,,}" in
    avformat-*.dll|avcodec-*.dll|avutil-*.dll) [ -f "$bin/$dll" ] || { echo "imports: $dll not beside the DLL"; fail=1; } ;;
    libstdc++*|libgcc*|libwinpthread*) echo "imports: runtime DLL $dll"; fail=1 ;;
    *) [ -n "$(find "$sysdir" -maxdepth 1 -iname "$dll")" ] || { echo "imports: $dll is not a system DLL"; fail=1; } ;;
  esac
done
echo "imports: $(awk '/DLL Name:/{printf "%s ", $3}' <<<"$dump")"

# The host program's answers that need no tool: its
#    version, a usage error (2), a source that does not exist (1).
version=$(sed -n 's/^project(tarsasdk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tfail=0
tarsa_rc() { set +e; wine "$bin/tarsa.exe" "$@" >"$dir/tarsa.out" 2>&1; echo $?; set -e; }
[ "$(tarsa_rc --version)" = 0 ] && tr -d '\r' <"$dir/tarsa.out" | grep -x "tarsa $version" >/dev/null ||
  { echo "tarsa.exe --version: wrong"; tfail=1; }
[ "$(tarsa_rc convert only-one.mp4)" = 2 ] || { echo "tarsa.exe: a usage error does not exit 2"; tfail=1; }
[ "$(tarsa_rc probe 'C:\no\such file.mp4')" = 1 ] && grep -q 'no\\such file.mp4 does not exist' "$dir/tarsa.out" ||
  { echo "tarsa.exe: a missing source does not exit 1 with its reason"; tfail=1; }
if [ $tfail -eq 0 ]; then echo "tarsa.exe: --version, usage error 2, missing source 1"; else fail=1; fi

# 3. and 4. The test suites, from the build directory, where the fixtures'
# relative source paths hold.
summary() {  # suite log exit-status
  grep -av '^\[  PASSED  \]' "$2" | grep -aE '^\[  (FAILED|SKIPPED) ' || true
  echo "$1: $(grep -aE '^\[==========\] .* ran|^\[  PASSED  \]|FAILED TESTS?$' "$2" | tr '\n' ' ')(exit $3)"
}
rc_all=0
for suite in unit integration; do
  log="$dir/$suite-tests.log"
  args=()
  [ $suite = unit ] && args=(--gtest_filter="$filter")
  set +e
  (cd "$dir" && wine "bin/tarsa_${suite}_tests.exe" "${args[@]}") >"$log" 2>&1
  rc=$?
  set -e
  summary $suite "$log" $rc
  [ $rc -eq 0 ] || rc_all=1
done
# 5. tarsa.exe end to end on media made here by the stock Debian ffmpeg:
#    MP4 -> FLV with progress, a cut, a merge of three sources; each result is
#    checked with the Debian ffprobe (format and length).
media=$(mktemp -d)
tarsa_exe=$(realpath "$bin/tarsa.exe")
gen() { ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=25:duration=$3" -f lavfi -i "sine=duration=$3" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$media/$1"; }
gen a.mp4 320x240 4 && gen b.mp4 320x240 2 && gen c.mp4 320x240 3
length() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$media/$1" | cut -d. -f1; }
format() { ffprobe -v error -show_entries format=format_name -of csv=p=0 "$media/$1"; }
efail=0
(cd "$media" && wine "$tarsa_exe" convert a.mp4 a.flv >tarsa-convert.out 2>&1) &&
  [ "$(format a.flv)" = flv ] && [ "$(length a.flv)" -ge 3 ] || { echo "tarsa.exe convert: failed"; efail=1; }
(cd "$media" && wine "$tarsa_exe" cut --start 1 --length 2 a.mp4 cut.mp4 >tarsa-cut.out 2>&1) &&
  [ "$(length cut.mp4)" -ge 1 ] && [ "$(length cut.mp4)" -le 3 ] || { echo "tarsa.exe cut: failed"; efail=1; }
(cd "$media" && wine "$tarsa_exe" merge abc.mp4 a.mp4 b.mp4 c.mp4 >tarsa-merge.out 2>&1) &&
  [ "$(length abc.mp4)" -ge 8 ] && [ "$(length abc.mp4)" -le 10 ] || { echo "tarsa.exe merge: failed"; efail=1; }
if [ $efail -eq 0 ]; then
  echo "tarsa.exe: convert MP4 -> FLV, cut 2 s, merge of three sources (9 s)"
else
  tail -n 5 "$media"/tarsa-*.out; fail=1
fi
rm -rf "$media"

wineserver -k 2>/dev/null || true
trap - EXIT
[ $rc_all -eq 0 ] || fail=1
echo "test-windows: $([ $fail -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - start )) s"
exit $fail
