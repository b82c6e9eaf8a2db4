#!/bin/sh
# Runs one Wine link test program against a fresh zuk-reader-sim:
#   run_with_sim.sh SIMULATOR comN PROGRAM.exe [arguments...]
# The simulator's terminal becomes $WINEPREFIX/dosdevices/comN; the program finds the port and the
# simulator's loopback control port in ZUK_SIM_COM and ZUK_SIM_CONTROL_PORT.
set -u
sim="$1"; port="$2"; program="$3"; shift 3
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
    echo "run_with_sim.sh: WINEPREFIX must name a prepared Wine prefix" >&2
    exit 1
fi
work="$(mktemp -d)"
"$sim" --link "$WINEPREFIX/dosdevices/$port" --control-port 0 --log "$work/sim.log" \
    >"$work/out" 2>&1 &
simpid=$!
control=""
for _ in $(seq 100); do
    control="$(sed -n 's/^CONTROL //p' "$work/out")"
    if [ -n "$control" ] && grep -q '^PTY ' "$work/out"; then break; fi
    sleep 0.05
done
if [ -z "$control" ]; then
    echo "run_with_sim.sh: the simulator did not start" >&2
    cat "$work/out" >&2
    kill "$simpid" 2>/dev/null
    exit 1
fi
# A shell script stands for a test that sets up more than a program does; it runs Wine itself.
runner=wine
case "$program" in *.sh) runner=bash ;; esac
ZUK_SIM_COM="$(echo "$port" | tr 'a-z' 'A-Z')" ZUK_SIM_CONTROL_PORT="$control" \
    "$runner" "$program" "$@"
rc=$?
kill "$simpid" 2>/dev/null
wait "$simpid" 2>/dev/null
echo "---- simulator log ----"
cat "$work/sim.log"
rm -rf "$work"
exit "$rc"
