#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz and runs each for a bounded time, two at a time.
#   scripts/fuzz.sh [--seconds N] [TARGET...]      TARGET e.g. pargen (default: all)
# Seeds come from fuzz/seeds/TARGET and from the matching files of tests/data; what a run
# learns is kept in build-fuzz/corpus/TARGET for the next run. A failing input is saved as
# build-fuzz/artifacts/TARGET-crash-* and the run fails. Prints executions and coverage.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        -*) echo "usage: scripts/fuzz.sh [--seconds N] [TARGET...]" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done

bash scripts/install-deps.sh
echo "== Fuzzing, ${seconds} s per target (build-fuzz)"
# A build-fuzz configured from fuzz/ alone, as it was before the presets, is configured afresh.
if grep -qs '^CMAKE_HOME_DIRECTORY:INTERNAL=.*/fuzz$' build-fuzz/CMakeCache.txt; then
    rm -rf build-fuzz/CMakeCache.txt build-fuzz/CMakeFiles
fi
bash scripts/build.sh fuzzing

all=()
for binary in build-fuzz/fuzz_*; do
    [ -x "$binary" ] && all+=("${binary#build-fuzz/fuzz_}")
done
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

# Which test data seeds which target.
seed_patterns() {
    case "$1" in
        pargen) echo "pargen*.xml *.xml" ;;
        var) echo "var*.xml *.xml" ;;
        image) echo "" ;;
        settings) echo "*.ini" ;;
        merge) echo "*.sx *.s19 *.srec" ;;
        csv) echo "*.csv" ;;
        *) echo "" ;;
    esac
}
dictionary() {
    case "$1" in
        pargen|var|image) echo "-dict=fuzz/xml.dict" ;;
        merge) echo "-dict=fuzz/srec.dict" ;;
        *) echo "" ;;
    esac
}

mkdir -p build-fuzz/logs build-fuzz/artifacts
run_one() {
    local target="$1"
    local corpus="build-fuzz/corpus/$target" seeds="build-fuzz/seeds/$target"
    rm -rf "$seeds"
    mkdir -p "$corpus" "$seeds"
    [ -d "fuzz/seeds/$target" ] && cp fuzz/seeds/"$target"/* "$seeds"/ 2>/dev/null || true
    local pattern file
    for pattern in $(set -f; seed_patterns "$target"); do
        [ -d tests/data ] || break
        while IFS= read -r file; do
            cp "$file" "$seeds/$(echo "$file" | tr '/' '_')"
        done < <(find tests/data -type f -name "$pattern" -size -1M)
    done
    # shellcheck disable=SC2046
    "build-fuzz/fuzz_$target" "$corpus" "$seeds" $(dictionary "$target") \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
        >"build-fuzz/logs/$target.log" 2>&1
}

declare -A status
running=()
for target in "${targets[@]}"; do
    [ -x "build-fuzz/fuzz_$target" ] || { echo "no fuzz target $target" >&2; exit 2; }
    run_one "$target" &
    running+=("$!:$target")
    if [ ${#running[@]} -ge 2 ]; then
        entry="${running[0]}"; running=("${running[@]:1}")
        if wait "${entry%%:*}"; then status[${entry#*:}]=ok; else status[${entry#*:}]=FAILED; fi
    fi
done
for entry in "${running[@]}"; do
    if wait "${entry%%:*}"; then status[${entry#*:}]=ok; else status[${entry#*:}]=FAILED; fi
done

failed=0
printf '%-14s %12s %10s %14s %8s %8s  %s\n' target executions exec/s "cov (edges)" features corpus result
for target in "${targets[@]}"; do
    log="build-fuzz/logs/$target.log"
    touch "$log"
    executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    total=$(sed -n 's/.*Loaded 1 modules *(\([0-9]*\) inline 8-bit counters.*/\1/p' "$log" | head -1)
    line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    cov=$(echo "$line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    features=$(echo "$line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$line" | sed -n 's/.*corp: \([0-9]*\).*/\1/p')
    printf '%-14s %12s %10s %14s %8s %8s  %s\n' "$target" "${executions:-?}" "${speed:-?}" \
        "${cov:-?}/${total:-?}" "${features:-?}" "${corpus:-?}" "${status[$target]}"
    if [ "${status[$target]}" != ok ]; then
        failed=1
        echo "---- $log (last lines)"
        tail -40 "$log"
    fi
done
exit "$failed"
