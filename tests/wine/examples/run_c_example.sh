#!/bin/sh
# run_c_example.sh HOST.exe INSTALL_DIR
# Runs the C example of docs/integration.md under Wine with a machine configuration without a
# reader (Device 0): the queries, then open and close.  ZUK_VERSION: the build's version.
set -u
host="$1"
install="$(winepath -w "$2" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
zuk_machine_values "$install" 768 0 0x231

out="$(wine "$host" reader </dev/null 2>&1 | tr -d '\r')"
echo "$out"
status=0
for expected in "ZUKcntrl $ZUK_VERSION" "mode: account from a card or typed" \
                "buffers: user ID 128 bytes, password 256 bytes" "configured without a reader"; do
    case "$out" in
        *"$expected"*) ;;
        *) echo "FAIL: missing '$expected'"; status=1 ;;
    esac
done
wine "$host" </dev/null >/dev/null 2>&1 || { echo "FAIL: the example exits non-zero"; status=1; }

# Switched off (Mode 0): the example asks the mode first and stops there, so no prompt waits.
zuk_set_value Mode 0
out="$(timeout 60 wine "$host" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"mode: switched off"*) ;;
    *) echo "FAIL: with Mode 0 the example did not stop at the mode (a prompt waiting?)"; status=1 ;;
esac
exit "$status"
