#!/usr/bin/env bash
# Configures and builds with one of the presets of CMakePresets.json:
#   scripts/build.sh [PRESET] [CMAKE_ARGUMENT...]
# PRESET is development (the default), ci, sanitizers or fuzzing. A build folder name is taken
# for the preset that builds into it (build, build-asan, build-fuzz); another folder gets the
# development preset built there. Further arguments go to the configure step (-DNAME=VALUE).
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:-development}"
shift || true
folder=()
case "$target" in
    development|ci|sanitizers|fuzzing) preset="$target" ;;
    build) preset=development ;;
    build-asan) preset=sanitizers ;;
    build-fuzz) preset=fuzzing ;;
    *) preset=development; folder=(-B "$target") ;;
esac
cmake --preset "$preset" "${folder[@]}" "$@" >/dev/null
if [ ${#folder[@]} -eq 0 ]; then
    cmake --build --preset "$preset"
else
    cmake --build "$target"
fi
