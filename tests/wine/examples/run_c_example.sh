#!/bin/sh
# run_c_example.sh HOST.exe INSTALL_DIR
# Runs the C example of docs/integration.md under Wine with a machine configuration without a
# reader (Device 0): the queries, then open and close.
set -u
host="$1"
install="$(winepath -w "$2" | sed 's/\\*$//')\\"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
view="/reg:${ZUK_REG_VIEW:-32}"  # the registry view of the library's bitness
wine reg delete "$key" /f "$view" >/dev/null 2>&1
wine reg add "$key" /v InstallPath /t REG_SZ /d "$install" /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Device /t REG_DWORD /d 0 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Config /t REG_DWORD /d 0x231 /f "$view" >/dev/null 2>&1 || { echo "cannot write $key"; exit 1; }

out="$(wine "$host" reader </dev/null 2>&1 | tr -d '\r')"
echo "$out"
status=0
for expected in "ZUKcntrl 3.1.0" "mode: account from a card or typed" \
                "buffers: user ID 128 bytes, password 256 bytes" "configured without a reader"; do
    case "$out" in
        *"$expected"*) ;;
        *) echo "FAIL: missing '$expected'"; status=1 ;;
    esac
done
wine "$host" </dev/null >/dev/null 2>&1 || { echo "FAIL: the example exits non-zero"; status=1; }

# Switched off (Mode 0): the example asks the mode first and stops there, so no prompt waits.
wine reg add "$key" /v Mode /t REG_DWORD /d 0 /f "$view" >/dev/null 2>&1
out="$(timeout 60 wine "$host" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"mode: switched off"*) ;;
    *) echo "FAIL: with Mode 0 the example did not stop at the mode (a prompt waiting?)"; status=1 ;;
esac
exit "$status"
