#!/bin/sh
# run_time_load_example.sh RUN_TIME_LOAD.exe INSTALL_DIR
# The run-time loading example of docs/integration.md (ZUKcntrl.dll beside it): the version with
# the library on, "switched off" with Mode 0 (and no prompt waiting).
set -u
example="$1"
install="$(winepath -w "$2" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
zuk_machine_values "$install" 768 0 0x231
status=0
out="$(timeout 60 wine "$example" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in *"ZUKcntrl 30100"*) ;; *) echo "FAIL: no version"; status=1 ;; esac
zuk_set_value Mode 0
out="$(timeout 60 wine "$example" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in *"switched off"*) ;; *) echo "FAIL: Mode 0 not reported"; status=1 ;; esac
zuk_forget_machine_values
exit "$status"
