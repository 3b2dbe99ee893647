#!/usr/bin/env bash
# Builds the Windows programs on this Linux machine (MinGW-w64, the `windows` preset, into
# build-windows/) and runs their tests under Wine: the core, fabricor-cli.exe, Progwerk.exe
# without its window and the sample firmware generator. Installs what is missing first
# (scripts/install-deps.sh: the cross compilers, wine64, Debian's sources of pugixml and libcsv).
# Wine runs quietly in a prefix of its own, made anew by each run in build-windows/wine-prefix
# and shut down at the end. In that prefix COM8 is one end of a socat pseudo-terminal pair, so
# the flash tool sends to a real serial line under Wine; what the other end receives is recorded
# for the test to compare.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== Windows build (MinGW-w64) into build-windows"
cmake --preset windows >/dev/null
cmake --build --preset windows

prefix="$PWD/build-windows/wine-prefix"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64)"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
socat_pid=""
reader_pid=""
stop_wine() {
    "$wineserver" -k >/dev/null 2>&1 || true
    [ -z "$reader_pid" ] || kill "$reader_pid" 2>/dev/null || true
    [ -z "$socat_pid" ] || kill "$socat_pid" 2>/dev/null || true
}
trap stop_wine EXIT

echo "== Tests of the Windows build under Wine ($("$wine" --version))"
stop_wine
rm -rf "$prefix"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
# One wineserver for the whole run instead of one per test program, and Wine's own background
# processes started now with nothing to write to: started by a test program they would keep
# its output open after it ended, and ctest would wait for them.
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot >/dev/null 2>&1

lines="$PWD/build-windows/com-lines"
rm -rf "$lines"
mkdir -p "$lines"
socat pty,raw,echo=0,link="$lines/peer" pty,raw,echo=0,link="$lines/com8" 2>/dev/null &
socat_pid=$!
for _ in $(seq 100); do
    [ -e "$lines/peer" ] && [ -e "$lines/com8" ] && break
    sleep 0.1
done
ln -sfn "$(readlink -f "$lines/com8")" "$prefix/dosdevices/com8"
: >"$lines/received.bin"
cat "$lines/peer" >>"$lines/received.bin" &
reader_pid=$!
received="$lines/received.bin"
export FABRICOR_COM8_RECEIVED="Z:${received//\//\\}"

ctest --preset windows
