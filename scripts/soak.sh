#!/usr/bin/env bash
# The soak: identifications (open, sense, name, the account with its PIN prompt answered, close)
# in one process of the 64-bit library under Wine, against zuk-reader-sim, with a fault injected
# every few cycles: an answer cut on the line, answers in pieces, the reader silent for a while, a
# busy answer, a changed byte (strict link checking on), the card taken away, the card revoked on
# the machine (an event in the Application log).  The seven come in a shuffled order drawn from
# SEED, so a run repeats exactly.  The cycle after every fault must identify the user, the
# process's memory (and handles, GDI and USER objects where Wine reports them) must stay flat from
# the first sample to the last, and every trace line must be whole.
# Prints the report; exits 0 only when the run is clean.
#   scripts/soak.sh [CYCLES] [SEED] [EVERY] [SECONDS]
#                       (defaults 10000, 1, a fault every 3 cycles, no time limit; with SECONDS
#                       the run ends after that time with the cycles done so far)
# The test command runs a short one (CTest wine.soak.short).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
CYCLES="${1:-10000}"
SEED="${2:-1}"
EVERY="${3:-3}"
SECONDS_LIMIT="${4:-0}"
for value in "$CYCLES" "$SEED" "$EVERY" "$SECONDS_LIMIT"; do
    if ! [[ "$value" =~ ^[0-9]+$ ]]; then
        echo "usage: scripts/soak.sh [CYCLES] [SEED] [EVERY] [SECONDS]  (whole numbers; EVERY at least 2)" >&2
        exit 2
    fi
done

zuk_install_packages
zuk_build_native
zuk_build_win32
zuk_build_win64
trap zuk_wine_stop EXIT
zuk_wine_start
zuk_log "Soak: $CYCLES identifications, seed $SEED, a fault every $EVERY cycles (build/win64)"
sh "$ZUK_ROOT/tests/wine/link/run_with_sim.sh" "$ZUK_ROOT/build/native/sim/zuk-reader-sim" com35 \
    "$ZUK_ROOT/build/win64/bin/zuk_soak.exe" "$CYCLES" "$SEED" "$EVERY" "$SECONDS_LIMIT" \
    >"$ZUK_ROOT/build/soak.log" 2>&1 && status=0 || status=$?
# The simulator's frame log follows the report in the output: print the report alone.
sed -n '1,/^---- simulator log ----$/p' "$ZUK_ROOT/build/soak.log" | grep -v '^---- simulator log ----$'
echo "(the whole output, with the simulator's log: build/soak.log)"
exit "$status"
