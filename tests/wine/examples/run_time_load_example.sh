#!/bin/sh
# run_time_load_example.sh RUN_TIME_LOAD.exe INSTALL_DIR
# The run-time loading example of docs/integration.md (ZUKcntrl.dll beside it): the version with
# the library on, "switched off" with Mode 0 (and no prompt waiting).
set -u
example="$1"
install="$(winepath -w "$2" | sed 's/\\*$//')\\"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
view="/reg:${ZUK_REG_VIEW:-32}"
wine reg delete "$key" /f "$view" >/dev/null 2>&1
wine reg add "$key" /v InstallPath /t REG_SZ /d "$install" /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Device /t REG_DWORD /d 0 /f "$view" >/dev/null 2>&1 &&
wine reg add "$key" /v Config /t REG_DWORD /d 0x231 /f "$view" >/dev/null 2>&1 || { echo "cannot write $key"; exit 1; }
status=0
out="$(timeout 60 wine "$example" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in *"ZUKcntrl 30100"*) ;; *) echo "FAIL: no version"; status=1 ;; esac
wine reg add "$key" /v Mode /t REG_DWORD /d 0 /f "$view" >/dev/null 2>&1
out="$(timeout 60 wine "$example" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in *"switched off"*) ;; *) echo "FAIL: Mode 0 not reported"; status=1 ;; esac
wine reg delete "$key" /f "$view" >/dev/null 2>&1
exit "$status"
