#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite; then
# fuzzes every input reader for a bounded time and runs the whole suite once more in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan), where any report fails.
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

bash scripts/install-deps.sh
bash scripts/build.sh build -DFABRICOR_WERROR=ON
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
[ "$quick" -eq 1 ] && exit 0

bash scripts/fuzz.sh --seconds "${FABRICOR_FUZZ_SECONDS:-45}"

echo "== Whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
bash scripts/build.sh build-asan -DFABRICOR_WERROR=ON -DFABRICOR_SANITIZE=ON
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
