#!/usr/bin/env bash
# The performance benchmark.  Every export of the library, called as a host calls it, against the
# simulated reader paced to real line time (11 bit times a byte each way at the line speed, plus
# the reader's and the card's processing time): wall time per call beside its wire bound, the
# library's CPU time and heap allocations per call, how cost grows with the password and the
# system codes, and DES against OpenSSL.  Under Wine also the DLL itself against
# zuk-reader-sim --pace, and its attach time beside an empty DLL's.
# Writes build/bench/report.md, report.json and ratios.png, and prints the report.
#   scripts/bench.sh [CALLS]     (default 30 calls per export; as many loads per attach case, without
#                                and with site keys stored)
# Environment:
#   ZUK_BENCH_BEFORE=REF   also measure the library as of git REF with the same bench, side by
#                          side in the same run (rounds alternate between the two)
#   ZUK_BENCH_BEFORE_OWN=1 measure REF with its own bench programs and simulator instead (when
#                          the library's internal interfaces the bench calls have changed since)
#   ZUK_BENCH_BEFORE_DLL=PATH  under Wine, also load that earlier build of the DLL in turn with this
#                          one and the empty DLL: its attach time side by side
#   ZUK_BENCH_ROUNDS=N     rounds of the native measurements (default 3): the spread is reported
#   ZUK_BENCH_LOADS=N      loads per attach case under Wine (default CALLS): with a small CALLS, a
#                          quick run that still measures the attach (ZUK_BENCH_ROUNDS=1
#                          ZUK_BENCH_LOADS=30 scripts/bench.sh 2)
#   ZUK_BENCH_OUT=DIR      write there instead of build/bench
# A benchmark, not a test: it asserts nothing about times.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
CALLS="${1:-30}"
ROUNDS="${ZUK_BENCH_ROUNDS:-3}"
LOADS="${ZUK_BENCH_LOADS:-$CALLS}"
BEFORE="${ZUK_BENCH_BEFORE:-}"
OUT="${ZUK_BENCH_OUT:-$ZUK_ROOT/build/bench}"
BIN="$ZUK_ROOT/build/win32/bin"

zuk_install_packages
rm -rf "$OUT"
mkdir -p "$OUT"

# An optimised native tree of the bench programs (the test trees are debug builds).
bench_tree() {  # SOURCE BUILD
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DZUK_WERROR=OFF >/dev/null
    cmake --build "$2" -j "$ZUK_JOBS" --target zuk_native_bench zuk_des_bench zuk-reader-sim >/dev/null
}
zuk_log "Building the bench programs (Release) in build/bench-native"
bench_tree "$ZUK_ROOT" "$ZUK_ROOT/build/bench-native"
labels=(after)
if [ -n "$BEFORE" ]; then
    # The library as of REF, measured by this bench: REF's library sources with today's bench
    # programs and simulator laid over them.
    zuk_log "Building the library as of $BEFORE with the same bench programs"
    src="$OUT/before-src"
    mkdir -p "$src"
    git -C "$ZUK_ROOT" archive "$BEFORE" | tar -x -C "$src"
    if [ "${ZUK_BENCH_BEFORE_OWN:-0}" != 1 ]; then
        rm -rf "$src/sim" "$src/tools/bench"
        cp -r "$ZUK_ROOT/sim" "$src/sim"
        cp -r "$ZUK_ROOT/tools/bench" "$src/tools/bench"
        cp "$ZUK_ROOT/CMakeLists.txt" "$src/CMakeLists.txt"
    fi
    bench_tree "$src" "$OUT/before-native"
    labels+=(before)
fi
tree_of() { if [ "$1" = after ]; then echo "$ZUK_ROOT/build/bench-native"; else echo "$OUT/before-native"; fi; }

zuk_log "Native: $ROUNDS rounds of $CALLS calls per export (${labels[*]})"
for round in $(seq "$ROUNDS"); do
    for label in "${labels[@]}"; do
        tree="$(tree_of "$label")"
        "$tree/tools/bench/zuk_native_bench" "$CALLS" >"$OUT/native-$label-$round.jsonl"
        "$tree/tools/bench/zuk_des_bench" >"$OUT/des-$label-$round.jsonl"
    done
done

# Under Wine: the DLL itself, the 32-bit one where this machine executes 32-bit code (as most
# hosts load it, under WOW64), the 64-bit one where it cannot.
if ! zuk_runs_32bit; then
    BIN="$ZUK_ROOT/build/win64/bin"
    BENCH_VIEW=64
else
    BENCH_VIEW=32
fi
if [ -x "$BIN/zukbench.exe" ]; then
    zuk_log "Wine: the ${BENCH_VIEW}-bit library (${BIN#"$ZUK_ROOT"/})"
    echo "$BENCH_VIEW" >"$OUT/wine-bitness.txt"
    source "$ZUK_ROOT/tools/bench/wine_bench.sh"
else
    zuk_log "${BIN#"$ZUK_ROOT"/} is not built: no Wine measurements"
    echo "no Wine measurements: ${BIN#"$ZUK_ROOT"/}/zukbench.exe is not built" >"$OUT/wine-skipped.txt"
fi

python3 "$ZUK_ROOT/tools/bench/report.py" "$OUT" "$ROUNDS" "${labels[@]}"
cat "$OUT/report.md"
