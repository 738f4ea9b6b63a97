#!/usr/bin/env bash
# Long fuzz runs: builds the libFuzzer targets with clang into build/fuzz, runs each named target
# (default: all) for SECONDS (default 600) on as many processes as there are cores, from the
# committed seed corpus, and prints per target the executions, the coverage reached and the
# crashes found (with the files that reproduce them).
#
#   tools/fuzz/long-run.sh [-t SECONDS] [-j JOBS] [TARGET...]
#
# New inputs collect in build/fuzz/corpus/TARGET (kept between runs); crashes, leaks and
# time-outs in build/fuzz/artifacts/TARGET. Reproduce one with: build/fuzz/tools/fuzz/TARGET FILE
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${QUORIN_BUILD_DIR:-$ROOT/build}/fuzz"
SECONDS_PER_TARGET=600
JOBS="$(nproc)"
while getopts "t:j:" opt; do
    case "$opt" in
        t) SECONDS_PER_TARGET="$OPTARG" ;;
        j) JOBS="$OPTARG" ;;
        *) sed -n '2,10p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
TARGETS=("$@")
# Default: every target that tools/fuzz/CMakeLists.txt lists.
[ ${#TARGETS[@]} -eq 0 ] &&
    read -r -a TARGETS <<<"$(sed -n 's/^set(QUORIN_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/tools/fuzz/CMakeLists.txt")"

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORIN_BUILD_GUI=OFF -DQUORIN_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"

summary=()
for target in "${TARGETS[@]}"; do
    corpus="$BUILD/corpus/$target"
    artifacts="$BUILD/artifacts/$target"
    logs="$BUILD/logs/$target"
    mkdir -p "$corpus" "$artifacts" "$logs"
    rm -f "$logs"/*.log
    echo "== $target: $SECONDS_PER_TARGET s on $JOBS processes"
    (cd "$logs" && "$BUILD/tools/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" \
        -jobs="$JOBS" -workers="$JOBS" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" "$ROOT/tools/fuzz/corpus/$target" \
        >/dev/null 2>&1) || true
    runs=0
    for log in "$logs"/fuzz-*.log; do
        [ -f "$log" ] || continue
        n=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
        runs=$((runs + ${n:-0}))
    done
    cov=$(cat "$logs"/fuzz-*.log 2>/dev/null | grep -o 'cov: [0-9]*' | awk '{print $2}' | sort -n | tail -1)
    crashes=$(find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    line="$target: executions $runs, coverage ${cov:-0} edges, corpus $(ls "$corpus" | wc -l) inputs, crashes $crashes"
    echo "$line"
    [ "$crashes" -gt 0 ] && find "$artifacts" -type f | sed 's/^/    /'
    summary+=("$line")
done
echo "== summary"
printf '%s\n' "${summary[@]}"
