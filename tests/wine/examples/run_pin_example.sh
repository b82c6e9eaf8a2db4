#!/bin/bash
# run_pin_example.sh ANSWER_PIN.exe INSTALL_DIR CARD   (run by run_with_sim.sh, which gives the
# simulator's COM port and control port in ZUK_SIM_COM and ZUK_SIM_CONTROL_PORT)
# The PIN-answering example of docs/integration.md against the simulated reader.  The PIN is given
# once per call: a wrong PIN ends the call with 3 after one failure counted on the card (the
# wrong-PIN notice dismissed, or not shown when unattended, and the prompt asking again
# cancelled), never a hang and never the same PIN typed until the card locks; the right PIN
# identifies the sample card's user.
set -u
example="$1"
install_unix="$2"
card="$3"
# The sample card on the simulated reader.
exec 3<>"/dev/tcp/127.0.0.1/$ZUK_SIM_CONTROL_PORT" || { echo "no simulator control port"; exit 1; }
echo "card $card" >&3
read -r reply <&3
[ "${reply%$'\r'}" = OK ] || { echo "the simulator did not take the card: $reply"; exit 1; }
# The card's PIN control block: "LIMIT COUNT" in hexadecimal (block 1's first two bytes).
pin_counts() {
    local line first="" second=""
    echo "dump 1" >&3
    while read -r line <&3; do
        line="${line%$'\r'}"
        [ "$line" = END ] && break
        if [ -n "$first" ] && [ -z "$second" ]; then second="$line"; fi
        [ -z "$first" ] && first="$line"
    done
    echo "${second:0:5}"
}
install="$(winepath -w "$install_unix" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
printf '[Device]\r\nPortName=\\\\.\\%s\r\n[FeliCa]\r\nSystemCode=88B4\r\n' "$ZUK_SIM_COM" >"$install_unix/ZUKcntrl.ini"
zuk_machine_values "$install" 256 1 0x3
status=0
# PIN, unattended, the lines the run must print, the card's limit and count afterwards.
while IFS='|' read -r pin unattended expected counts; do
    out="$(ZUK_UNATTENDED="$unattended" timeout 30 wine "$example" "$pin" </dev/null 2>&1 | tr -d '\r')"
    echo "== PIN $pin, ZUK_UNATTENDED=$unattended"
    echo "$out"
    IFS=';' read -ra lines <<<"$expected"
    for line in "${lines[@]}"; do
        case "$out" in
            *"$line"*) ;;
            *) echo "FAIL: missing '$line'"; status=1 ;;
        esac
    done
    got="$(pin_counts)"
    [ "$got" = "$counts" ] || { echo "FAIL: the card's PIN limit and count are '$got', not '$counts'"; status=1; }
done <<'RUNS'
9999|0|ZUKGetUserAccount failed: 3;PIN prompts answered: 1, cancelled: 1|03 01
9999|1|ZUKGetUserAccount failed: 3;PIN prompts answered: 1, cancelled: 1|03 02
1234|0|user: alice (password of 11 bytes);PIN prompts answered: 1, cancelled: 0|03 00
RUNS
rm -f "$install_unix/ZUKcntrl.ini"
zuk_forget_machine_values
exit "$status"
