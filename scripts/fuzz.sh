#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) in build/fuzz and runs each for
# SECONDS (default 300), two at a time, at low priority.  Each run starts from the committed seed
# corpus (tests/fuzz/corpus/<target>) and grows a working copy in build/fuzz/work/<target>; a
# crash, leak or sanitizer report lands in build/fuzz/crashes/<target>/ (copy it into
# tests/fuzz/crashes/<target>/ to keep it as a regression input).  Prints one table line per target.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail

all_targets=(catalogue settings credentials frame_reader channel card_answers site_keys)

usage() {
    cat <<EOF
usage: scripts/fuzz.sh [SECONDS] [TARGET...]
Builds the libFuzzer targets in build/fuzz and fuzzes each for SECONDS (a whole number above 0;
default 300), two at a time (ZUK_FUZZ_PARALLEL), at low priority.  Without TARGET, every target:
  ${all_targets[*]}
Crashes land in build/fuzz/crashes/TARGET/; a table of executions, speed, edges and crashes
follows.  Exits 1 on a crash or a target that did not run, 2 on a bad argument.
EOF
}

seconds=300
if [ "$#" -gt 0 ]; then
    case "$1" in
        -h|--help) usage; exit 0 ;;
        -*) echo "fuzz.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    esac
    if [[ "$1" =~ ^[0-9]+$ ]]; then
        seconds="$1"
        shift
    fi
fi
if [ "$((10#$seconds))" -eq 0 ]; then
    echo "fuzz.sh: SECONDS must be a whole number above 0 (got '$seconds')" >&2
    exit 2
fi
targets=("$@")
for t in "${targets[@]}"; do
    known=0
    for k in "${all_targets[@]}"; do [ "$t" = "$k" ] && known=1; done
    if [ "$known" -eq 0 ]; then
        echo "fuzz.sh: unknown target '$t' (targets: ${all_targets[*]})" >&2
        exit 2
    fi
done
if [ "${#targets[@]}" -eq 0 ]; then
    targets=("${all_targets[@]}")
fi
parallel="${ZUK_FUZZ_PARALLEL:-2}"

source "$(dirname "$0")/lib.sh"
# libFuzzer's runtime comes with libclang-rt-14-dev, which clang only recommends.
ZUK_PACKAGES+=(libclang-rt-14-dev)
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
