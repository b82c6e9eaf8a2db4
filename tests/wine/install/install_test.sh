#!/bin/sh
# install_test.sh SETUP.exe WORKDIR [--with64]
# A silent install into a fresh 64-bit Wine prefix of its own (a machine that never saw ZUKcntrl),
# the installed zukcli's version and status, an upgrade, then a silent removal that must leave no
# file and no value.  The Group Policy templates (dist/policy) go into PolicyDefinitions beside the
# 32-bit library, as they are in the source tree.  The 32-bit library goes to Program Files (x86) with its values in the 32-bit
# registry view; with --with64 the setup also carries the 64-bit library, which goes to Program
# Files with its values in the 64-bit view.  Site keys: a key file made by the build's zukcli is
# checked before anything is written (a damaged or missing one is refused), stored with /SITEKEYS
# (in a folder with a blank) for both libraries as zukcli keys status shows, kept by upgrades
# without the option and by the removal unless it is given /REMOVESITEKEYS; a failure to store
# them ends the installer with exit code 3 and changes no stored key.  ZUK_VERSION: the build's
# version, which the installed zukcli must report.
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
# A site key file from the build's own zukcli (of the setup's bitness, beside it), in a folder with
# a blank, and a copy with one hexadecimal digit of a key changed.
keys="$WINEPREFIX/drive_c/site keys"
mkdir -p "$keys"
wine "$(dirname "$setup")/zukcli.exe" keys generate 'C:\site keys\site.txt' </dev/null >"$base/generate.txt" 2>&1
check "zukcli keys generate writes the site key file" [ -s "$keys/site.txt" ]
awk '/^initial/ && !done { d = substr($3, 1, 1); sub(/= ./, "= " (d == "0" ? "1" : "0")); done = 1 } { print }' \
    "$keys/site.txt" >"$keys/damaged.txt"
check "the damaged copy differs from the file in one digit" \
    [ "$(cmp -l "$keys/site.txt" "$keys/damaged.txt" | wc -l)" -eq 1 ]
# Each key's check value as zukcli shows it (keys check, keys status), without the issuing table.
key_checks() { tr -d '\r' | grep -E '^    (initial|operational|reader|mask) '; }
wine "$(dirname "$setup")/zukcli.exe" keys check 'C:\site keys\site.txt' </dev/null 2>&1 | key_checks >"$base/file-checks.txt"
check "the file's check values are known" [ "$(wc -l <"$base/file-checks.txt")" -eq 14 ]
# The installer started by a batch file, so that its command line is exactly the line given (wine
# quotes each word with a blank again).  Exit code in $rc.
setup_line() {  # command line after setup.exe
    printf '"%s" %s\r\nexit %%ERRORLEVEL%%\r\n' "$(winepath -w "$base/setup.exe" | tr -d '\r')" "$1" >"$base/setup.bat"
    wine cmd /c "$(winepath -w "$base/setup.bat" | tr -d '\r')" </dev/null >/dev/null 2>&1
    rc=$?
}
site_keys() {  # view file: the stored SiteKeys value of one registry view, empty when there is none
    wine reg query "$key" /v SiteKeys "/reg:$1" 2>/dev/null | tr -d '\r' | grep SiteKeys >"$2"
}

# Invalid options stop the installer with exit code 2 before it writes anything.
for bad in /MODE=abc /MODE=5 /MODE=0256 /MODE= /DEVICE=2 /DEVICE=01 /CONFIG=zz /CONFIG=0x231x \
           /CONFIG=0x5 /CONFIG=0x3F /CONFIG=0x100003 /CONFIG=-3 /FELICA=idm \
           /MODE=4294967552 /CONFIG=4294967347 /CONFIG=0xFFFFFFFF /CONFG=0x33 "/MODE= 768" /mode \
           /PORT=LPT1 /PORT=COM0 /PORT=COM257 /PORT=COM01 /PORT= /SYSTEMCODE=88B /SYSTEMCODE=88B4, \
           /SYSTEMCODE=1,2 "/SYSTEMCODE=88B4, 8165" /SYSTEMCODE=8165,8165,8165,8165,8165,8165 \
           'D=C:\Moved\ZUK' /SITEKEYS= '/SITEKEYS=C:\missing\site.txt' '/SITEKEYS=C:\windows' \
           '/SITEKEYS=C:\Windows\win.ini'; do
    wine "$base/setup.exe" /S "$bad" </dev/null
    check "$bad is refused with exit code 2" [ $? -eq 2 ]
done
# A folder the library could not be loaded from (its files' paths would pass 259 characters).
long="C:\\$(printf 'a%.0s' $(seq 120))\\$(printf 'b%.0s' $(seq 170))"
wine "$base/setup.exe" /S "/D=$long" </dev/null
check "a folder of ${#long} characters is refused with exit code 2" [ $? -eq 2 ]
setup_line '/S /SITEKEYS="C:\site keys\damaged.txt"'
check "a site key file with one digit changed is refused with exit code 2" [ "$rc" -eq 2 ]
# An option given twice would have one of its values taken without a word.
for twice in '/S /DEVICE=0 /DEVICE=1' '/S /MODE=256 /mode=768' '/S /S'; do
    setup_line "$twice"
    check "$twice (an option given twice) is refused with exit code 2 (got $rc)" [ "$rc" -eq 2 ]
done
# A key file with weak keys (a mask of zeros would leave remembered passwords in the clear), with
# a right check value: refused before anything is written.
python3 - "$keys/site.txt" "$keys/weak.txt" <<'PY'
import hashlib, sys
lines = [l.strip() for l in open(sys.argv[1], encoding="utf-8-sig").read().splitlines()]
values = dict((n.strip(), v.replace(" ", "")) for n, v in (l.split("=", 1) for l in lines if "=" in l and not l.startswith("#")))
values["mask"] = "00" * 64
names = [n for n in ("initial", "operational", "reader", "mask", "issuer") if n in values]
canonical = "ZUKcntrl site keys 1\n" + "".join("%s = %s\n" % (n, values[n].upper()) for n in names)
check = hashlib.sha256(canonical.encode()).hexdigest()[:16].upper()
open(sys.argv[2], "w").write(canonical + "check = " + check + "\n")
PY
setup_line '/S /SITEKEYS="C:\site keys\weak.txt"'
check "a site key file with a mask of zeros is refused with exit code 2 (got $rc)" [ "$rc" -eq 2 ]
for view in $views; do
    check "a refused install wrote no value ($view-bit view)" \
        sh -c "! wine reg query '$key' /reg:$view >/dev/null 2>&1"
done
check "a refused install wrote no file" [ ! -e "$folder" ]
check "a refused install wrote no 64-bit file" [ ! -e "$folder64" ]

wine "$base/setup.exe" /S /PORT=COM7 /SYSTEMCODE=88B4,8165 </dev/null
check "the installer exits with 0" [ $? -eq 0 ]
# The event source names the library of the machine's bitness as its message file.
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZUKcntrl'
wine reg query "$events" /reg:64 2>/dev/null | tr -d '\r' >"$base/event-source.txt"
check "the event source is registered with the 64-bit library's message table" \
    sh -c "grep -q 'EventMessageFile.*Program Files\\\\KORVA\\\\ZUKcntrl\\\\ZUKcntrl.dll' '$base/event-source.txt' &&
           grep -q 'TypesSupported.*0x7' '$base/event-source.txt'"
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
for view in 32 64; do
    site_keys "$view" "$base/nokeys$view.txt"
    check "without /SITEKEYS no site keys are stored ($view-bit view)" [ ! -s "$base/nokeys$view.txt" ]
done
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
check "installed zukcli version reports the build's $ZUK_VERSION" grep -qF "release: $ZUK_VERSION" "$base/version.txt"
wine ./zukcli.exe status </dev/null >"$base/status.txt" 2>&1
rc=$?
tr -d '\r' <"$base/status.txt"
# The settings are complete; the one thing missing on this machine is the reader itself.
check "installed zukcli status exits with 1 without a reader" [ $rc -eq 1 ]
check "installed zukcli status names the missing reader port (COM7, from /PORT) as its only error" \
    sh -c "grep -q \"^  error: the port 'COM7' cannot be opened\" '$base/status.txt' &&
           [ \$(grep -c '^  error:' '$base/status.txt') -eq 1 ] && ! grep -q '^  warning:' '$base/status.txt'"

# The site keys, stored by an upgrade with /SITEKEYS (the file's name in quotes: it holds a blank).
setup_line '/S /SITEKEYS="C:\site keys\site.txt"'
check "an upgrade with /SITEKEYS exits with 0 (got $rc)" [ "$rc" -eq 0 ]
wine ./zukcli.exe keys status </dev/null >"$base/keys.txt" 2>&1
rc=$?
tr -d '\r' <"$base/keys.txt"
check "installed zukcli keys status exits with 0" [ $rc -eq 0 ]
for view in $views; do
    check "keys status: the site keys are in use ($view-bit view)" \
        sh -c "tr -d '\r' <'$base/keys.txt' | grep -q '^  $view-bit view: the site keys (keys check [0-9A-F]\{16\})$'"
done
key_checks <"$base/keys.txt" >"$base/stored-checks.txt"
check "keys status shows the file's check values" cmp -s "$base/file-checks.txt" "$base/stored-checks.txt"
for view in 32 64; do site_keys "$view" "$base/keys$view.txt"; done
# A failure to store them (the machine's MachineGuid, which the protection needs, taken away)
# ends the installer with exit code 3 and leaves the stored keys as they were.
crypto='HKLM\SOFTWARE\Microsoft\Cryptography'
guid="$(wine reg query "$crypto" /v MachineGuid /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *MachineGuid *REG_SZ *//p')"
check "the machine has a MachineGuid" [ -n "$guid" ]
wine reg delete "$crypto" /v MachineGuid /f /reg:64 >/dev/null 2>&1
setup_line '/S /SITEKEYS="C:\site keys\site.txt"'
check "site keys that cannot be stored end the installer with exit code 3 (got $rc)" [ "$rc" -eq 3 ]
wine reg add "$crypto" /v MachineGuid /t REG_SZ /d "$guid" /f /reg:64 >/dev/null 2>&1
for view in 32 64; do
    site_keys "$view" "$base/after-failure$view.txt"
    check "the failed storing changed no stored key ($view-bit view)" \
        sh -c "[ -s '$base/keys$view.txt' ] && cmp -s '$base/keys$view.txt' '$base/after-failure$view.txt'"
done
cd "$base" || exit 1

# An upgrade keeps each view's values and an edited INI unless the command line sets them, and
# every other machine value: the revocation list (zukcli revoke) and a value written by hand.
revoked="$key\RevokedCards"
revoked_kept() {  # view step
    check "$2 keeps the revocation list ($1-bit view)" \
        sh -c "wine reg query '$revoked' /v card1 /reg:$1 2>/dev/null | tr -d '\r' | grep -q '0123456789ABCDEF'"
}
for view in $views; do
    wine reg add "$revoked" /v card1 /t REG_SZ /d 0123456789ABCDEF /f /reg:$view >/dev/null 2>&1
    wine reg add "$key" /v Handwritten /t REG_SZ /d kept /f /reg:$view >/dev/null 2>&1
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
for view in $views; do
    revoked_kept "$view" "the upgrade"
    check "the upgrade keeps a value written by hand ($view-bit view)" has "$base/upgraded$view.txt" 'Handwritten    REG_SZ    kept$'
done
for view in 32 64; do
    site_keys "$view" "$base/upgraded-keys$view.txt"
    check "an upgrade without /SITEKEYS keeps the stored keys ($view-bit view)" \
        cmp -s "$base/keys$view.txt" "$base/upgraded-keys$view.txt"
done
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
for view in $views; do revoked_kept "$view" "the upgrades with options and into another folder"; done
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
# The removal keeps the stored site keys, and nothing else of the machine values.
kept_only() {  # view: the library key holds SiteKeys alone
    [ "$(wine reg query "$key" "/reg:$1" 2>/dev/null | tr -d '\r' | grep -c '^    ')" -eq 1 ] &&
        wine reg query "$key" /v SiteKeys "/reg:$1" >/dev/null 2>&1
}
for view in 32 64; do
    for _ in $(seq 50); do kept_only "$view" && break; sleep 0.2; done
    check "the machine values are gone, the site keys kept ($view-bit view)" kept_only "$view"
    site_keys "$view" "$base/removed-keys$view.txt"
    check "the kept site keys are the stored ones ($view-bit view)" cmp -s "$base/keys$view.txt" "$base/removed-keys$view.txt"
done
for view in $views; do revoked_kept "$view" "the removal (without /REMOVESITEKEYS)"; done
check "the programs list entry is gone" \
    sh -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZUKcntrl' /reg:32 >/dev/null 2>&1"
check "the event source is gone" sh -c "! wine reg query '$events' /reg:64 >/dev/null 2>&1"

# Installed again, then removed with /REMOVESITEKEYS: nothing stays, the revocation list neither.
wine "$base/setup.exe" /S </dev/null
check "the installation over kept site keys exits with 0" [ $? -eq 0 ]
folder="$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl"
wine "$folder/uninstall.exe" /S /REMOVESITEKEYS </dev/null
gone() { ! wine reg query "$key" "/reg:$1" >/dev/null 2>&1; }
for view in 32 64; do
    for _ in $(seq 75); do gone "$view" && break; sleep 0.2; done
    check "a removal with /REMOVESITEKEYS leaves no machine value ($view-bit view)" gone "$view"
done
check "the KORVA keys are gone" \
    sh -c "! wine reg query 'HKLM\\SOFTWARE\\KORVA' /reg:32 >/dev/null 2>&1 && ! wine reg query 'HKLM\\SOFTWARE\\KORVA' /reg:64 >/dev/null 2>&1"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
