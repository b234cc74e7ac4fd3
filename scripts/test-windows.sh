#!/usr/bin/env bash
# Runs the Windows build's checks under Wine (building first if needed):
#  1. tarsasdk.dll exports exactly the header's tarsa_* functions and imports
#     only system DLLs and the FFmpeg DLLs (no libstdc++/libgcc/winpthread);
#  2. the plain C host (dll_host.exe) loads the DLL through its import library,
#     and the host program (tarsa.exe) answers --version and refuses bad input
#     with its exit statuses;
#  3. the unit tests. The last line printed is GoogleTest's summary.
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

if [ ! -f "$bin/tarsa_unit_tests.exe" ] || [ ! -f "$bin/dll_host.exe" ] || [ ! -f "$bin/tarsa.exe" ]; then
  scripts/build-windows.sh "$dir"
else
  cmake --build "$dir" -j"$(nproc)" --target tarsasdk tarsa tarsa_unit_tests win_child dll_host >/dev/null
fi

export WINEDEBUG=-all WINEPREFIX="$PWD/$dir/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
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
sysdir="$WINEPREFIX/drive_c/windows/system32"
for dll in $(awk '/DLL Name:/{print $3}' <<<"$dump"); do
  case "${dll,,}" in
    avformat-*.dll|avcodec-*.dll|avutil-*.dll) [ -f "$bin/$dll" ] || { echo "imports: $dll not beside the DLL"; fail=1; } ;;
    libstdc++*|libgcc*|libwinpthread*) echo "imports: runtime DLL $dll"; fail=1 ;;
    *) [ -n "$(find "$sysdir" -maxdepth 1 -iname "$dll")" ] || { echo "imports: $dll is not a system DLL"; fail=1; } ;;
  esac
done
echo "imports: $(awk '/DLL Name:/{printf "%s ", $3}' <<<"$dump")"

# 2. The C host, and the host program's answers that need no tool: its
#    version, a usage error (2), a source that does not exist (1).
if wine "$bin/dll_host.exe"; then echo "dll_host: exit 0"; else echo "dll_host: failed ($?)"; fail=1; fi
version=$(sed -n 's/^project(tarsasdk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tfail=0
tarsa_rc() { set +e; wine "$bin/tarsa.exe" "$@" >"$dir/tarsa.out" 2>&1; echo $?; set -e; }
[ "$(tarsa_rc --version)" = 0 ] && tr -d '\r' <"$dir/tarsa.out" | grep -qx "tarsa $version" ||
  { echo "tarsa.exe --version: wrong"; tfail=1; }
[ "$(tarsa_rc convert only-one.mp4)" = 2 ] || { echo "tarsa.exe: a usage error does not exit 2"; tfail=1; }
[ "$(tarsa_rc probe 'C:\no\such file.mp4')" = 1 ] && grep -q 'no\\such file.mp4 does not exist' "$dir/tarsa.out" ||
  { echo "tarsa.exe: a missing source does not exit 1 with its reason"; tfail=1; }
if [ $tfail -eq 0 ]; then echo "tarsa.exe: --version, usage error 2, missing source 1"; else fail=1; fi

# 3. The unit tests.
log="$dir/unit-tests.log"
set +e
# From the build directory, where the fixtures' relative source paths hold.
(cd "$dir" && wine bin/tarsa_unit_tests.exe --gtest_filter="$filter") >"$log" 2>&1
rc=$?
set -e
grep -av '^\[  PASSED  \]' "$log" | grep -aE '^\[  (FAILED|SKIPPED) |^\[==========\]' || true
[ $rc -eq 0 ] || fail=1
wineserver -k 2>/dev/null || true
trap - EXIT
if [ $fail -ne 0 ] && [ $rc -eq 0 ]; then echo "test-windows: DLL checks failed"; fi
tail -n 1 < <(grep -aE '^\[  PASSED  \]|FAILED TESTS?$' "$log" || echo "no GoogleTest summary (exit $rc)")
exit $fail
