#!/usr/bin/env bash
# Checks every include against the floor plan (scripts/check-includes.py), installs what is
# missing, builds with warnings as errors and runs the whole test suite; then builds the Windows
# programs and runs their tests under Wine (scripts/test-windows.sh); then fuzzes every input
# reader for a bounded time and runs the whole suite once more in a build with AddressSanitizer
# and UndefinedBehaviorSanitizer (build-asan), where any report fails.
#   --quick   the normal build and its tests only (for a fast check while developing)
# FABRICOR_FUZZ_SECONDS sets the time given to each fuzz target (default 45).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for argument in "$@"; do
    case "$argument" in
        --quick) quick=1 ;;
        *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
    esac
done

# No include may point up a floor (docs/architecture.md); checked before anything is built.
python3 scripts/check-includes.py

bash scripts/install-deps.sh
bash scripts/build.sh ci
ctest --preset ci
[ "$quick" -eq 1 ] && exit 0

bash scripts/test-windows.sh

bash scripts/fuzz.sh --seconds "${FABRICOR_FUZZ_SECONDS:-45}"

echo "== Whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
bash scripts/build.sh sanitizers
ctest --preset sanitizers
