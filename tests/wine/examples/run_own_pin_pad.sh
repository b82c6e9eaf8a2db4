#!/bin/bash
# run_own_pin_pad.sh OWN_PIN_PAD.exe INSTALL_DIR CARD   (run by run_with_sim.sh, which gives the
# simulator's COM port and control port in ZUK_SIM_COM and ZUK_SIM_CONTROL_PORT)
# The own-PIN-entry example of docs/integration.md against the simulated reader: the right PIN
# identifies the sample card's user; wrong PINs return at once with the tries left until the one
# that locks the card; the locked card is refused; a card wait is ended by a cancel from another
# thread.  Attended (no ZUK_UNATTENDED): the host-driven calls show no window either way, and a
# window would leave the run waiting until its time-out.
set -u
example="$1"
install_unix="$2"
card="$3"
exec 3<>"/dev/tcp/127.0.0.1/$ZUK_SIM_CONTROL_PORT" || { echo "no simulator control port"; exit 1; }
sim() {
    local reply
    echo "$1" >&3
    read -r reply <&3
    [ "${reply%$'\r'}" = OK ] || { echo "the simulator refused '$1': $reply"; exit 1; }
}
install="$(winepath -w "$install_unix" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
printf '[Device]\r\nPortName=\\\\.\\%s\r\n[FeliCa]\r\nSystemCode=88B4\r\n[Card]\r\nPollingInterval=100\r\n' \
    "$ZUK_SIM_COM" >"$install_unix/ZUKcntrl.ini"
zuk_machine_values "$install" 256 1 0x3
sim "card $card"
status=0
# Simulator command before the run (- for none), the arguments, the lines the run must print.
while IFS='|' read -r command args expected; do
    [ "$command" = - ] || sim "$command"
    # shellcheck disable=SC2086  # the arguments are words
    out="$(timeout 30 wine "$example" $args </dev/null 2>&1 | tr -d '\r')"
    echo "== own_pin_pad $args"
    echo "$out"
    IFS=';' read -ra lines <<<"$expected"
    for line in "${lines[@]}"; do
        case "$out" in
            *"$line"*) ;;
            *) echo "FAIL: missing '$line'"; status=1 ;;
        esac
    done
done <<'RUNS'
-|1234|PIN tries left: 3 of 3;user: alice (password of 11 bytes)
-|0000 0000 0000 1234|wrong PIN, 2 tries left;wrong PIN, 1 tries left;wrong PIN: the card is locked now
-|1234|PIN tries left: 0 of 3;the card is locked
remove|cancel|(cancelled)
RUNS
rm -f "$install_unix/ZUKcntrl.ini"
zuk_forget_machine_values
exit "$status"
