#!/bin/sh
# run_loader_example.sh LOADER.exe LIBRARY_DIR
# The loading example of docs/integration.md, run from a folder of its own (no DLL beside it): it
# must find the library of its bitness through InstallPath in its own registry view, and say so
# plainly when that view names none.  ZUK_VERSION: the build's version.
set -u
loader="$1"
library="$(winepath -w "$2" | sed 's/\\*$//')\\"
. "$(dirname "$0")/machine_values.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$loader" "$work/loader.exe"
status=0
zuk_forget_machine_values
out="$(wine "$work/loader.exe" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"not installed for ${ZUK_REG_VIEW:-32}-bit programs"*) ;;
    *) echo "FAIL: without InstallPath the example did not say the library is not installed"; status=1 ;;
esac
zuk_machine_values "$library" 768 0 0x231
out="$(wine "$work/loader.exe" </dev/null 2>&1 | tr -d '\r')"
echo "$out"
case "$out" in
    *"ZUKcntrl.dll (${ZUK_REG_VIEW:-32}-bit): ZUKcntrl $ZUK_VERSION"*) ;;
    *) echo "FAIL: the example did not load the library named by InstallPath"; status=1 ;;
esac
zuk_forget_machine_values
exit "$status"
