#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) in build/fuzz and runs each for
# SECONDS (default 300), two at a time, at low priority.  Each run starts from the committed seed
# corpus (tests/fuzz/corpus/<target>) and grows a working copy in build/fuzz/work/<target>; a
# crash, leak or sanitizer report lands in build/fuzz/crashes/<target>/ (copy it into
# tests/fuzz/crashes/<target>/ to keep it as a regression input).  Prints one table line per target.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

seconds="${1:-300}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(catalogue settings credentials frame_reader channel card_answers)
fi
parallel="${ZUK_FUZZ_PARALLEL:-2}"

zuk_install_packages
dir="$ZUK_ROOT/build/fuzz"
zuk_log "Building the fuzz targets in build/fuzz"
CC=clang CXX=clang++ cmake -S "$ZUK_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUK_FUZZ=ON \
    -DZUK_WERROR=OFF >/dev/null
cmake --build "$dir" -j "$ZUK_JOBS" --target $(printf 'fuzz_%s ' "${targets[@]}")

run_one() {
    local t="$1" work="$dir/work/$1" crashes="$dir/crashes/$1" log="$dir/logs/$1.log"
    mkdir -p "$work" "$crashes" "$dir/logs"
    cp -n "$ZUK_ROOT/tests/fuzz/corpus/$t/"* "$work/" 2>/dev/null || true
    # The time-out is generous: at the lowest priority on a busy machine a run can be starved for
    # seconds, which is not a hang of the code.
    nice -n 19 "$dir/tests/fuzz/fuzz_$t" "$work" -max_total_time="$seconds" -timeout=60 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$crashes/" \
        >"$log" 2>&1 || true
}

zuk_log "Fuzzing ${targets[*]} for ${seconds} s each, ${parallel} at a time"
running=0
for t in "${targets[@]}"; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then wait -n; running=$((running - 1)); fi
done
wait

printf '\n%-14s %14s %10s %8s %8s\n' target executions exec/s edges crashes
status=0
for t in "${targets[@]}"; do
    log="$dir/logs/$t.log"
    execs=$(grep 'stat::number_of_executed_units:' "$log" | awk '{print $2}' | tail -1 || true)
    rate=$(grep 'stat::average_exec_per_sec:' "$log" | awk '{print $2}' | tail -1 || true)
    edges=$(grep -o 'cov: [0-9]*' "$log" | awk '{print $2}' | tail -1 || true)
    found=$(find "$dir/crashes/$t" -type f | wc -l)
    printf '%-14s %14s %10s %8s %8s\n' "$t" "${execs:-?}" "${rate:-?}" "${edges:-?}" "$found"
    if [ "$found" -ne 0 ] || [ -z "$execs" ]; then status=1; fi
done
exit "$status"
