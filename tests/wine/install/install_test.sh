#!/bin/sh
# install_test.sh SETUP.exe WORKDIR
# A silent install into a fresh Wine prefix of its own (a machine that never saw ZUKcntrl), the
# installed zukcli's version and status, then a silent removal that must leave no file and no value.
set -u
setup="$1"
base="$(mktemp -d "$2/install.XXXXXX")"
export WINEPREFIX="$base/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
folder="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
failures=0

cleanup() {
    wineserver -k >/dev/null 2>&1
    rm -rf "$base"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # description command...
    what="$1"; shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

echo "prefix: $WINEPREFIX"
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wineserver -p >"$base/wineserver.log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

cp "$setup" "$base/setup.exe"
wine "$base/setup.exe" /S </dev/null
check "the installer exits with 0" [ $? -eq 0 ]
for f in ZUKcntrl.dll zukcli.exe ZUKcntrl.ini ZUKcntrl.reg ZukLang.csv ZukLang_0409.txt ZukLang_0411.txt \
         include/ZUKcntrl.h lib/libZUKcntrl.dll.a lib/ZUKcntrl.lib uninstall.exe; do
    check "installed $f" [ -f "$folder/$f" ]
done
check "the issuing tool (an optional component) is not installed by default" [ ! -e "$folder/zukcard.exe" ]
wine reg query "$key" /reg:32 2>&1 | tr -d '\r' >"$base/values.txt"
cat "$base/values.txt"
check "InstallPath names the folder, with a backslash at the end" \
    grep -q 'InstallPath    REG_SZ    C:\\Program Files\\KORVA\\ZUKcntrl\\$' "$base/values.txt"
check "Mode, Device and Config written" \
    sh -c "grep -q 'Mode    REG_DWORD    0x100' '$base/values.txt' &&
           grep -q 'Device    REG_DWORD    0x1' '$base/values.txt' &&
           grep -q 'Config    REG_DWORD    0x231' '$base/values.txt'"

cd "$folder" || exit 1
wine ./zukcli.exe version </dev/null >"$base/version.txt" 2>&1
rc=$?
tr -d '\r' <"$base/version.txt"
check "installed zukcli version exits with 0" [ $rc -eq 0 ]
check "installed zukcli version reports 3.1.0" grep -q 'release: 3.1.0' "$base/version.txt"
wine ./zukcli.exe status </dev/null >"$base/status.txt" 2>&1
rc=$?
tr -d '\r' <"$base/status.txt"
check "installed zukcli status exits with 0" [ $rc -eq 0 ]
check "installed zukcli status reports a healthy configuration" grep -q '^  healthy:' "$base/status.txt"
cd "$base" || exit 1

# The uninstaller copies itself away and runs from there: wait for its work to show.
wine "$folder/uninstall.exe" /S </dev/null
for _ in $(seq 150); do
    [ -e "$folder" ] || break
    sleep 0.2
done
check "the installation folder is gone" [ ! -e "$folder" ]
check "the KORVA folder is gone" [ ! -e "$WINEPREFIX/drive_c/Program Files/KORVA" ]
check "the machine values are gone" sh -c "! wine reg query '$key' /reg:32 >/dev/null 2>&1"
check "the programs list entry is gone" \
    sh -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZUKcntrl' >/dev/null 2>&1"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
