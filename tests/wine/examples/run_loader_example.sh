#!/bin/sh
# run_loader_example.sh LOADER.exe LIBRARY_DIR
# The loading example of docs/integration.md, run from a folder of its own (no DLL beside it): it
# must find the library of its bitness through InstallPath in its own registry view, and say so
# plainly when that view names none.
set -u
loader="$1"
library="$(winepath -w "$2" | sed 's/\\*$//')\\"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
view="/reg:${ZUK_REG_VIEW:-32}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$loader" "$work/loader.exe"
status=0
wine reg delete "$key" /f "$view" >/dev/null 2>&1
out="$(wine "$work/loader.exe" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"not installed for ${ZUK_REG_VIEW:-32}-bit programs"*) ;;
    *) echo "FAIL: without InstallPath the example did not say the library is not installed"; status=1 ;;
esac
wine reg add "$key" /v InstallPath /t REG_SZ /d "$library" /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Device /t REG_DWORD /d 0 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Config /t REG_DWORD /d 0x231 /f "$view" >/dev/null 2>&1 || { echo "cannot write $key"; exit 1; }
out="$(wine "$work/loader.exe" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"ZUKcntrl.dll (${ZUK_REG_VIEW:-32}-bit): ZUKcntrl 3.1.0"*) ;;
    *) echo "FAIL: the example did not load the library named by InstallPath"; status=1 ;;
esac
wine reg delete "$key" /f "$view" >/dev/null 2>&1
exit "$status"
