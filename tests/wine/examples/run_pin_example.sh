#!/bin/bash
# run_pin_example.sh ANSWER_PIN.exe INSTALL_DIR CARD   (run by run_with_sim.sh, which gives the
# simulator's COM port and control port in ZUK_SIM_COM and ZUK_SIM_CONTROL_PORT)
# The PIN-answering example of docs/integration.md against the simulated reader: it must identify
# the sample card's user, its hook having typed the PIN into the library's prompt.
set -u
example="$1"
install_unix="$2"
card="$3"
# The sample card on the simulated reader.
exec 3<>"/dev/tcp/127.0.0.1/$ZUK_SIM_CONTROL_PORT" || { echo "no simulator control port"; exit 1; }
echo "card $card" >&3
read -r reply <&3
[ "${reply%$'\r'}" = OK ] || { echo "the simulator did not take the card: $reply"; exit 1; }
install="$(winepath -w "$install_unix" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
printf '[Device]\r\nPortName=\\\\.\\%s\r\n[FeliCa]\r\nSystemCode=88B4\r\n' "$ZUK_SIM_COM" >"$install_unix/ZUKcntrl.ini"
zuk_machine_values "$install" 256 1 0x3
out="$(timeout 90 wine "$example" 1234 </dev/null 2>&1 | tr -d '\r')"
echo "$out"
status=0
for expected in "user: alice (password of 11 bytes)" "PIN prompts answered: 1"; do
    case "$out" in
        *"$expected"*) ;;
        *) echo "FAIL: missing '$expected'"; status=1 ;;
    esac
done
rm -f "$install_unix/ZUKcntrl.ini"
zuk_forget_machine_values
exit "$status"
