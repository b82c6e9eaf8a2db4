#!/bin/sh
# install_test.sh SETUP.exe WORKDIR [--with64]
# A silent install into a fresh 64-bit Wine prefix of its own (a machine that never saw ZUKcntrl),
# the installed zukcli's version and status, an upgrade, then a silent removal that must leave no
# file and no value.  The Group Policy templates (dist/policy) go into PolicyDefinitions beside the
# 32-bit library, as they are in the source tree.  The 32-bit library goes to Program Files (x86) with its values in the 32-bit
# registry view; with --with64 the setup also carries the 64-bit library, which goes to Program
# Files with its values in the 64-bit view.
set -u
source="$(cd "$(dirname "$0")/../../.." && pwd)"
setup="$1"
with64=0
[ "${3:-}" = --with64 ] && with64=1
base="$(mktemp -d "$2/install.XXXXXX")"
export WINEPREFIX="$base/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
folder="$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl"
folder64="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
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
views="32"
[ "$with64" -eq 1 ] && views="32 64"
values() {  # view file: the machine values of one registry view
    wine reg query "$key" "/reg:$1" 2>&1 | tr -d '\r' >"$2"
    echo "($1-bit view)"; cat "$2"
}
has() {  # file pattern...: every pattern is a line of the file
    file="$1"; shift
    for pattern in "$@"; do grep -q "$pattern" "$file" || return 1; done
}
templates="ZUKcntrl.admx en-US/ZUKcntrl.adml ja-JP/ZUKcntrl.adml"
has_templates() {  # folder step: the Group Policy templates in the folder's PolicyDefinitions
    for f in $templates; do
        check "$2: PolicyDefinitions/$f is the source tree's dist/policy/$f" \
            cmp -s "$source/dist/policy/$f" "$1/PolicyDefinitions/$f"
    done
}

echo "prefix: $WINEPREFIX"
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wineserver -p >"$base/wineserver.log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

cp "$setup" "$base/setup.exe"
# Invalid options stop the installer with exit code 2 before it writes anything.
for bad in /MODE=abc /MODE=5 /MODE=0256 /MODE= /DEVICE=2 /DEVICE=01 /CONFIG=zz /CONFIG=0x231x \
           /CONFIG=0x5 /CONFIG=0x3F /CONFIG=0x100003 /CONFIG=-3 /FELICA=idm \
           /MODE=4294967552 /CONFIG=4294967347 /CONFIG=0xFFFFFFFF /CONFG=0x33 "/MODE= 768" /mode \
           /PORT=LPT1 /PORT=COM0 /PORT=COM257 /PORT=COM01 /PORT= /SYSTEMCODE=88B /SYSTEMCODE=88B4, \
           /SYSTEMCODE=1,2 "/SYSTEMCODE=88B4, 8165" /SYSTEMCODE=8165,8165,8165,8165,8165,8165 \
           'D=C:\Moved\ZUK'; do
    wine "$base/setup.exe" /S "$bad" </dev/null
    check "$bad is refused with exit code 2" [ $? -eq 2 ]
done
# A folder the library could not be loaded from (its files' paths would pass 259 characters).
long="C:\\$(printf 'a%.0s' $(seq 120))\\$(printf 'b%.0s' $(seq 170))"
wine "$base/setup.exe" /S "/D=$long" </dev/null
check "a folder of ${#long} characters is refused with exit code 2" [ $? -eq 2 ]
for view in $views; do
    check "a refused install wrote no value ($view-bit view)" \
        sh -c "! wine reg query '$key' /reg:$view >/dev/null 2>&1"
done
check "a refused install wrote no file" [ ! -e "$folder" ]
check "a refused install wrote no 64-bit file" [ ! -e "$folder64" ]

wine "$base/setup.exe" /S /PORT=COM7 /SYSTEMCODE=88B4,8165 </dev/null
check "the installer exits with 0" [ $? -eq 0 ]
folder_of() {  # view: the folder of that view's library
    if [ "$1" = 64 ]; then echo "$folder64"; else echo "$folder"; fi
}
for view in $views; do
    dir="$(folder_of "$view")"
    for f in ZUKcntrl.dll zukcli.exe LICENSE ZUKcntrl.ini ZUKcntrl.reg ZukLang.csv ZukLang_0409.txt \
             ZukLang_0411.txt include/ZUKcntrl.h lib/libZUKcntrl.dll.a lib/ZUKcntrl.lib; do
        check "installed ${dir#"$WINEPREFIX/drive_c/"}/$f" [ -f "$dir/$f" ]
    done
    check "the issuing tool (an optional component) is not installed by default ($view-bit)" \
        [ ! -e "$dir/zukcard.exe" ]
    check "/PORT and /SYSTEMCODE are in the INI ($view-bit)" \
        sh -c "tr -d '\r' <'$dir/ZUKcntrl.ini' | grep -q '^PortName=COM7$' &&
               tr -d '\r' <'$dir/ZUKcntrl.ini' | grep -q '^SystemCode=88B4,8165$'"
    regpath='C:\\Program Files (x86)\\KORVA\\ZUKcntrl\\'
    [ "$view" = 64 ] && regpath='C:\\Program Files\\KORVA\\ZUKcntrl\\'
    check "ZUKcntrl.reg names its own folder and view ($view-bit)" \
        sh -c "tr -d '\r' <'$dir/ZUKcntrl.reg' | grep -qF 'reg import ZUKcntrl.reg /reg:$view' &&
               tr -d '\r' <'$dir/ZUKcntrl.reg' | grep -qF '\"InstallPath\"=\"$regpath\"'"
done
check "one uninstaller, beside the 32-bit library" [ -f "$folder/uninstall.exe" ]
has_templates "$folder" "the first install"
check "one copy of the Group Policy templates, beside the 32-bit library" [ ! -e "$folder64/PolicyDefinitions" ]
if [ "$with64" -eq 1 ]; then
    check "the 64-bit folder holds the 64-bit library" \
        sh -c "objdump -f '$folder64/ZUKcntrl.dll' 2>/dev/null | grep -q 'pei-x86-64'"
    check "the 32-bit folder holds the 32-bit library" \
        sh -c "objdump -f '$folder/ZUKcntrl.dll' 2>/dev/null | grep -q 'pei-i386'"
else
    check "no 64-bit folder without the 64-bit library" [ ! -e "$folder64" ]
fi
for view in $views; do
    values "$view" "$base/values$view.txt"
    path='C:\\Program Files (x86)\\KORVA\\ZUKcntrl\\$'
    [ "$view" = 64 ] && path='C:\\Program Files\\KORVA\\ZUKcntrl\\$'
    check "InstallPath names the library's folder, with a backslash at the end ($view-bit view)" \
        has "$base/values$view.txt" "InstallPath    REG_SZ    $path"
    check "Mode, Device and Config written ($view-bit view)" \
        has "$base/values$view.txt" 'Mode    REG_DWORD    0x100$' 'Device    REG_DWORD    0x1$' \
            'Config    REG_DWORD    0x3$'
done

# The installed zukcli of the library this machine runs (the 64-bit one where it is installed).
cli="$folder"
[ "$with64" -eq 1 ] && cli="$folder64"
cd "$cli" || exit 1
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
check "installed zukcli status names the missing reader port (COM7, from /PORT) as its only error" \
    sh -c "grep -q \"^  error: the port 'COM7' cannot be opened\" '$base/status.txt' &&
           [ \$(grep -c '^  error:' '$base/status.txt') -eq 1 ] && ! grep -q '^  warning:' '$base/status.txt'"
cd "$base" || exit 1

# An upgrade keeps each view's values and an edited INI unless the command line sets them.
for view in $views; do
    wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f /reg:$view >/dev/null 2>&1
    wine reg add "$key" /v Config /t REG_DWORD /d 0x233 /f /reg:$view >/dev/null 2>&1
    wine reg add "$key" /v FeliCa /t REG_SZ /d IDM /f /reg:$view >/dev/null 2>&1
done
printf '[Card]\r\nPollingInterval=250\r\n' >"$folder/ZUKcntrl.ini"
wine "$base/setup.exe" /S </dev/null
check "the upgrade exits with 0" [ $? -eq 0 ]
for view in $views; do
    values "$view" "$base/upgraded$view.txt"
    check "the upgrade keeps Mode, Config and FeliCa ($view-bit view)" \
        has "$base/upgraded$view.txt" 'Mode    REG_DWORD    0x300$' 'Config    REG_DWORD    0x233$' \
            'FeliCa    REG_SZ    IDM$'
done
check "the upgrade keeps the edited INI" grep -q 'PollingInterval=250' "$folder/ZUKcntrl.ini"
wine "$base/setup.exe" /S /CONFIG=0x13 /FELICA=NONE /MODE=0x100 </dev/null
check "an upgrade with options exits with 0" [ $? -eq 0 ]
for view in $views; do
    values "$view" "$base/changed$view.txt"
    check "the options given replace their values, the rest stays ($view-bit view)" \
        sh -c "grep -q 'Mode    REG_DWORD    0x100$' '$base/changed$view.txt' &&
               grep -q 'Config    REG_DWORD    0x13$' '$base/changed$view.txt' &&
               grep -q 'Device    REG_DWORD    0x1$' '$base/changed$view.txt' &&
               ! grep -q FeliCa '$base/changed$view.txt'"
done
check "InstallPath still names the folder" \
    has "$base/changed32.txt" 'InstallPath    REG_SZ    C:\\Program Files (x86)\\KORVA\\ZUKcntrl\\$'

# An upgrade into another folder moves the installation there, with its edited INI.
moved="$WINEPREFIX/drive_c/Moved/ZUK"
wine "$base/setup.exe" /S '/D=C:\Moved\ZUK' </dev/null
check "an upgrade into another folder exits with 0" [ $? -eq 0 ]
check "the library is in the new folder" [ -f "$moved/ZUKcntrl.dll" ]
check "the edited INI moved along" grep -q 'PollingInterval=250' "$moved/ZUKcntrl.ini"
check "the old folder is gone" [ ! -e "$folder" ]
has_templates "$moved" "the upgrade into another folder"
values 32 "$base/moved32.txt"
check "InstallPath names the new folder" has "$base/moved32.txt" 'InstallPath    REG_SZ    C:\\Moved\\ZUK\\$'
folder="$moved"

# The uninstaller copies itself away and runs from there: wait for its work to show.
wine "$folder/uninstall.exe" /S </dev/null
for _ in $(seq 150); do
    [ -e "$folder" ] || [ -e "$folder64" ] || break
    sleep 0.2
done
for f in $templates; do
    check "the removal deletes PolicyDefinitions/$f" [ ! -e "$folder/PolicyDefinitions/$f" ]
done
check "the installation folder is gone" [ ! -e "$folder" ]
check "the old 32-bit folder stays gone" [ ! -e "$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl" ]
check "the 64-bit installation folder is gone" [ ! -e "$folder64" ]
check "the KORVA folders are gone" \
    sh -c "[ ! -e '$WINEPREFIX/drive_c/Program Files (x86)/KORVA' ] && [ ! -e '$WINEPREFIX/drive_c/Program Files/KORVA' ]"
for view in 32 64; do
    check "the machine values are gone ($view-bit view)" \
        sh -c "! wine reg query '$key' /reg:$view >/dev/null 2>&1"
done
check "the programs list entry is gone" \
    sh -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZUKcntrl' /reg:32 >/dev/null 2>&1"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
