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
# Invalid options stop the installer with exit code 2 before it writes anything.
for bad in /MODE=abc /MODE=5 /MODE=0256 /MODE= /DEVICE=2 /DEVICE=01 /CONFIG=zz /CONFIG=0x231x \
           /CONFIG=0x5 /CONFIG=0x3F /CONFIG=0x100003 /CONFIG=-3 /FELICA=idm; do
    wine "$base/setup.exe" /S "$bad" </dev/null
    check "$bad is refused with exit code 2" [ $? -eq 2 ]
done
check "a refused install wrote no value" sh -c "! wine reg query '$key' /reg:32 >/dev/null 2>&1"
check "a refused install wrote no file" [ ! -e "$folder" ]

wine "$base/setup.exe" /S </dev/null
check "the installer exits with 0" [ $? -eq 0 ]
for f in ZUKcntrl.dll zukcli.exe LICENSE ZUKcntrl.ini ZUKcntrl.reg ZukLang.csv ZukLang_0409.txt ZukLang_0411.txt \
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
           grep -q 'Config    REG_DWORD    0x3$' '$base/values.txt'"

cd "$folder" || exit 1
wine ./zukcli.exe version </dev/null >"$base/version.txt" 2>&1
rc=$?
tr -d '\r' <"$base/version.txt"
check "installed zukcli version exits with 0" [ $rc -eq 0 ]
check "installed zukcli version reports 3.1.0" grep -q 'release: 3.1.0' "$base/version.txt"
wine ./zukcli.exe status </dev/null >"$base/status.txt" 2>&1
rc=$?
tr -d '\r' <"$base/status.txt"
# The settings are complete; the one thing missing on this machine is the reader itself.
check "installed zukcli status exits with 1 without a reader" [ $rc -eq 1 ]
check "installed zukcli status names the missing reader port as its only error" \
    sh -c "grep -q '^  error: no reader port found' '$base/status.txt' &&
           [ \$(grep -c '^  error:' '$base/status.txt') -eq 1 ] && ! grep -q '^  warning:' '$base/status.txt'"
cd "$base" || exit 1

# An upgrade keeps the machine's values and an edited INI unless the command line sets them.
wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v Config /t REG_DWORD /d 0x233 /f /reg:32 >/dev/null 2>&1
wine reg add "$key" /v FeliCa /t REG_SZ /d IDM /f /reg:32 >/dev/null 2>&1
printf '[Card]\r\nPollingInterval=250\r\n' >"$folder/ZUKcntrl.ini"
wine "$base/setup.exe" /S </dev/null
check "the upgrade exits with 0" [ $? -eq 0 ]
wine reg query "$key" /reg:32 2>&1 | tr -d '\r' >"$base/upgraded.txt"
cat "$base/upgraded.txt"
check "the upgrade keeps Mode, Config and FeliCa" \
    sh -c "grep -q 'Mode    REG_DWORD    0x300$' '$base/upgraded.txt' &&
           grep -q 'Config    REG_DWORD    0x233$' '$base/upgraded.txt' &&
           grep -q 'FeliCa    REG_SZ    IDM$' '$base/upgraded.txt'"
check "the upgrade keeps the edited INI" grep -q 'PollingInterval=250' "$folder/ZUKcntrl.ini"
wine "$base/setup.exe" /S /CONFIG=0x13 /FELICA=NONE /MODE=0x100 </dev/null
check "an upgrade with options exits with 0" [ $? -eq 0 ]
wine reg query "$key" /reg:32 2>&1 | tr -d '\r' >"$base/changed.txt"
cat "$base/changed.txt"
check "the options given replace their values, the rest stays" \
    sh -c "grep -q 'Mode    REG_DWORD    0x100$' '$base/changed.txt' &&
           grep -q 'Config    REG_DWORD    0x13$' '$base/changed.txt' &&
           grep -q 'Device    REG_DWORD    0x1$' '$base/changed.txt' &&
           ! grep -q FeliCa '$base/changed.txt'"
check "InstallPath still names the folder" \
    grep -q 'InstallPath    REG_SZ    C:\\Program Files\\KORVA\\ZUKcntrl\\$' "$base/changed.txt"

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
