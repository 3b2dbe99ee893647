#!/usr/bin/env bash
# Builds the Windows programs on this Linux machine (MinGW-w64, the `windows` preset, into
# build-windows/) and runs their tests under Wine: the core, fabricor-cli.exe, Progwerk.exe
# without its window and the sample firmware generator. Installs what is missing first
# (scripts/install-deps.sh: the cross compilers, wine64, Debian's sources of pugixml and libcsv).
# Wine runs quietly in a prefix of its own, made anew by each run in build-windows/wine-prefix
# and shut down at the end.
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
stop_wine() { "$wineserver" -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

echo "== Tests of the Windows build under Wine ($("$wine" --version))"
stop_wine
rm -rf "$prefix"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
ctest --preset windows
