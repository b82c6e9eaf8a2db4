#!/bin/sh
# msi_test.sh PACKAGE.msi WORKDIR ARCH SOURCE_TREE ZUKMSI_DLL SIMULATOR BIN32 [BIN64]
# An MSI package (dist/msi) in a fresh 64-bit Wine prefix of its own, through msiexec /qn:
#   1. every invalid option is refused with 1603 before anything is written;
#   2. a first installation: the files of each library in its folder (the Group Policy templates
#      in PolicyDefinitions beside the 32-bit library), the machine values in each
#      library's registry view, PORT and SYSTEMCODE in each INI, zukcard not installed, and the
#      installed library identifying the simulated reader's card user;
#   3. values changed and the issuing tool added on the installed version; a removal: no file, no
#      machine value, the users' remembered credentials (HKCU) kept;
#   4. upgrades through packages of lower versions built here from the same files (3.0.0, 3.0.1):
#      values, edited INI and the ZukCard feature kept, options replacing their values, a move to
#      another folder, a downgrade refused, and the final removal;
#   5. a setup program's installation (BIN32's or BIN64's setup program) is not taken over.
# Site keys: a key file made by the build's zukcli, refused before anything is written when it is
# damaged, missing or not named by its full path; stored by a reinstallation with SITEKEYS as
# zukcli keys status shows; a failure to store them fails the installation with zukcli's reason
# and changes nothing; kept by reinstallations, upgrades and a removal without REMOVESITEKEYS=1.
# ARCH x86 (32-bit library, 32-bit view) or x64 (also the 64-bit library and view).  The other
# arguments build the older packages (dist/msi/build_msi.sh) and run the simulated reader.
set -u
package="$1" arch="$3" source="$4" actions="$5" sim="$6" bin32="$7" bin64="${8:-}"
base="$(mktemp -d "$2/msi.XXXXXX")"
export WINEPREFIX="$base/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
folder="$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl"
folder64="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
views="32"
[ "$arch" = x64 ] && views="32 64"
failures=0
simpid=""

cleanup() {
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
    wineserver -k >/dev/null 2>&1
    # ZUK_KEEP_MSI_TEST=1 keeps the prefix and msiexec's logs for a look afterwards.
    [ "${ZUK_KEEP_MSI_TEST:-0}" = 1 ] || rm -rf "$base"
}
trap cleanup EXIT
fail() { printf "FAIL: %s\n" "$*"; failures=$((failures + 1)); }
check() {  # description command...
    what="$1"; shift
    if "$@"; then printf "ok: %s\n" "$what"; else fail "$what"; fi
}
has() {  # file pattern...: every pattern is in the file
    file="$1"; shift
    for pattern in "$@"; do grep -q -- "$pattern" "$file" || return 1; done
}
lacks() {  # file pattern...: no pattern is in the file
    file="$1"; shift
    for pattern in "$@"; do ! grep -q -- "$pattern" "$file" || return 1; done
}
values() {  # view file: the machine values of one registry view
    wine reg query "$key" "/reg:$1" 2>&1 | tr -d '\r' >"$2"
    echo "($1-bit view)"; cat "$2"
}
folder_of() {  # view
    if [ "$1" = 64 ]; then echo "$folder64"; else echo "$folder"; fi
}
templates="ZUKcntrl.admx en-US/ZUKcntrl.adml ja-JP/ZUKcntrl.adml"
has_templates() {  # folder step: the Group Policy templates in the folder's PolicyDefinitions
    for f in $templates; do
        check "$2: PolicyDefinitions/$f is the source tree's dist/policy/$f" \
            cmp -s "$source/dist/policy/$f" "$1/PolicyDefinitions/$f"
    done
}
# Wine hands on the low 8 bits of a program's exit code: 1603 (ERROR_INSTALL_FAILURE) arrives as 67.
failure=$((1603 % 256))
msi() {  # log-name msiexec-arguments...: runs msiexec, leaves its exit code in $rc
    name="$1"; shift
    for attempt in 1 2; do
        rm -f "$base/$name.log"
        wine msiexec "$@" /qn /l*v "$base/$name.log" </dev/null >/dev/null 2>&1
        rc=$?
        # An msiexec that ends before it opens its log never reached the package (under load Wine
        # now and then fails to start it, exit code 1): that one run is repeated.
        [ -s "$base/$name.log" ] && break
        echo "note: msiexec ($name) ended with $rc without a log (attempt $attempt)"
    done
}
# Installed ZUKcntrl packages: their entries in the programs list (under their product codes; the
# setup program's entry is Uninstall\ZUKcntrl).
products() {
    for view in 32 64; do
        wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$view" 2>/dev/null
    done | tr -d '\r' | awk '/^HKEY/ { key = $0 } /DisplayName    REG_SZ    ZUKcntrl / && key ~ /}$/ { n++ } END { print n + 0 }'
}
nothing_installed() {  # step: no file, no value, no product
    for view in 32 64; do
        check "$1: no machine value ($view-bit view)" \
            sh -c "! wine reg query '$key' /reg:$view >/dev/null 2>&1"
    done
    check "$1: no installation folder" sh -c "[ ! -e '$folder' ] && [ ! -e '$folder64' ]"
    check "$1: no KORVA folder" \
        sh -c "[ ! -e '$WINEPREFIX/drive_c/Program Files (x86)/KORVA' ] && [ ! -e '$WINEPREFIX/drive_c/Program Files/KORVA' ]"
    check "$1: no product in the programs list" [ "$(products)" -eq 0 ]
    check "$1: no event source" sh -c "! wine reg query '$events' /reg:64 >/dev/null 2>&1"
}
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZUKcntrl'

echo "prefix: $WINEPREFIX"
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wineserver -p >"$base/wineserver.log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

cp "$package" "$base/current.msi"
# A site key file from the build's zukcli (of the package's bitness), in a folder with a blank, and
# a copy with one hexadecimal digit of a key changed.
cli_build="$bin32/zukcli.exe"
[ "$arch" = x64 ] && cli_build="$bin64/zukcli.exe"
keys="$WINEPREFIX/drive_c/site keys"
mkdir -p "$keys"
wine "$cli_build" keys generate 'C:\site keys\site.txt' </dev/null >"$base/generate.txt" 2>&1
check "zukcli keys generate writes the site key file" [ -s "$keys/site.txt" ]
awk '/^initial/ && !done { d = substr($3, 1, 1); sub(/= ./, "= " (d == "0" ? "1" : "0")); done = 1 } { print }' \
    "$keys/site.txt" >"$keys/damaged.txt"
check "the damaged copy differs from the file in one digit" \
    [ "$(cmp -l "$keys/site.txt" "$keys/damaged.txt" | wc -l)" -eq 1 ]
# Each key's check value as zukcli shows it (keys check, keys status), without the issuing table.
key_checks() { tr -d '\r' | grep -E '^    (initial|operational|reader|mask) '; }
wine "$cli_build" keys check 'C:\site keys\site.txt' </dev/null 2>&1 | key_checks >"$base/file-checks.txt"
check "the file's check values are known" [ "$(wc -l <"$base/file-checks.txt")" -eq 14 ]
site_keys() {  # view file: the stored SiteKeys value of one registry view, empty when there is none
    wine reg query "$key" /v SiteKeys "/reg:$1" 2>/dev/null | tr -d '\r' | grep SiteKeys >"$2"
}
kept_only() {  # view: the library key holds SiteKeys alone
    [ "$(wine reg query "$key" "/reg:$1" 2>/dev/null | tr -d '\r' | grep -c '^    ')" -eq 1 ] &&
        wine reg query "$key" /v SiteKeys "/reg:$1" >/dev/null 2>&1
}
# Older packages of the same product for the upgrades, and the current one's version.
version="$(msiinfo export "$package" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')"
for old in 3.0.0 3.0.1; do
    sh "$source/dist/msi/build_msi.sh" "$base/$old.msi" "$old" "$arch" "$source" "$actions" "$bin32" $bin64 \
        >"$base/build-$old.log" 2>&1 || { cat "$base/build-$old.log"; echo "FAIL: package $old not built"; exit 1; }
done

# 1. Invalid options: refused with 1603 (ERROR_INSTALL_FAILURE), the reason in the log, nothing
#    written.  Windows Installer takes each property whole: a value with a blank is one value.
long="C:\\$(printf 'a%.0s' $(seq 120))\\$(printf 'b%.0s' $(seq 90))"
refused=0
while IFS='|' read -r option reason; do
    [ -z "$option" ] && continue
    refused=$((refused + 1))
    msi "refused$refused" /i "$base/current.msi" "$option"
    check "$option is refused with 1603 (got $rc)" [ "$rc" -eq "$failure" ]
    check "$option: the log gives the reason" \
        sh -c "iconv -f UTF-16LE -t UTF-8 '$base/refused$refused.log' 2>/dev/null | grep -qF '$reason' ||
               grep -qF '$reason' '$base/refused$refused.log'"
done <<CASES
MODE=abc|MODE must be 0
MODE=5|MODE must be 0
MODE=0256|MODE must be 0
MODE=4294967552|MODE must be 0
MODE=0x1000|MODE must be 0
DEVICE=2|DEVICE must be 0 (no reader) or 1
DEVICE=01|DEVICE must be 0 (no reader) or 1
CONFIG=zz|CONFIG must be a number
CONFIG=0x231x|CONFIG must be a number
CONFIG=0x5|CONFIG must be a number
CONFIG=0x3F|CONFIG must be a number
CONFIG=0x100003|CONFIG must be a number
CONFIG=-3|CONFIG must be a number
CONFIG=4294967347|CONFIG must be a number
CONFIG=0xFFFFFFFF|CONFIG must be a number
FELICA=idm|FELICA must be IDM
FELICA=None|FELICA must be IDM
PORT=LPT1|PORT must name
PORT=COM0|PORT must name
PORT=COM257|PORT must name
PORT=COM01|PORT must name
PORT=COM0x1|PORT must name
SYSTEMCODE=88B|SYSTEMCODE must be one to five
SYSTEMCODE=88B4,|SYSTEMCODE must be one to five
SYSTEMCODE=1,2|SYSTEMCODE must be one to five
SYSTEMCODE=88B4, 8165|SYSTEMCODE must be one to five
SYSTEMCODE=8165,8165,8165,8165,8165,8165|SYSTEMCODE must be one to five
INSTALLDIR=$long|INSTALLDIR is longer than 200 characters
SITEKEYS=C:\site keys\damaged.txt|is not a valid site key file: line
SITEKEYS=C:\site keys\absent.txt|absent.txt does not exist
SITEKEYS=C:\windows\win.ini|is not a valid site key file
SITEKEYS=site.txt|SITEKEYS must name the site key file with its full path
CASES
if [ "$arch" = x64 ]; then
    msi refused-dir64 /i "$base/current.msi" "INSTALLDIR64=$long"
    check "INSTALLDIR64 of ${#long} characters is refused with 1603" [ "$rc" -eq "$failure" ]
fi
nothing_installed "after the refused installations"

# A first installation whose site keys cannot be stored (the machine's MachineGuid, which the
# protection needs, taken away) fails with 1603 and is rolled back without a trace: no
# ZUKcntrl.reg, no folder, no key.
crypto='HKLM\SOFTWARE\Microsoft\Cryptography'
guid="$(wine reg query "$crypto" /v MachineGuid /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *MachineGuid *REG_SZ *//p')"
check "the machine has a MachineGuid" [ -n "$guid" ]
wine reg delete "$crypto" /v MachineGuid /f /reg:64 >/dev/null 2>&1
msi fresh-failed /i "$base/current.msi" FELICA=IDM 'SITEKEYS=C:\site keys\site.txt'
wine reg add "$crypto" /v MachineGuid /t REG_SZ /d "$guid" /f /reg:64 >/dev/null 2>&1
check "a first installation whose site keys cannot be stored fails with 1603 (got $rc)" [ "$rc" -eq "$failure" ]
nothing_installed "after the failed first installation"

# 2. A first installation with the reader options.
msi install /i "$base/current.msi" PORT=COM5 SYSTEMCODE=88B4,8165
check "the installation exits with 0" [ "$rc" -eq 0 ]
check "one product in the programs list" [ "$(products)" -eq 1 ]
for view in $views; do
    dir="$(folder_of "$view")"
    for f in ZUKcntrl.dll zukcli.exe LICENSE ZUKcntrl.ini ZUKcntrl.reg ZukLang.csv ZukLang_0409.txt \
             ZukLang_0411.txt include/ZUKcntrl.h lib/libZUKcntrl.dll.a lib/ZUKcntrl.lib; do
        check "installed ${dir#"$WINEPREFIX/drive_c/"}/$f" [ -f "$dir/$f" ]
    done
    check "zukcard (the ZukCard feature) is not installed unless asked for ($view-bit)" [ ! -e "$dir/zukcard.exe" ]
    tr -d '\r' <"$dir/ZUKcntrl.ini" >"$base/ini$view.txt"
    check "PORT and SYSTEMCODE are in the INI, the shipped keys kept ($view-bit)" \
        has "$base/ini$view.txt" '^PortName=COM5$' '^SystemCode=88B4,8165$' '^PollingInterval=1000$' '^Unattended=0$'
    regpath='C:\\Program Files (x86)\\KORVA\\ZUKcntrl\\'
    [ "$view" = 64 ] && regpath='C:\\Program Files\\KORVA\\ZUKcntrl\\'
    tr -d '\r' <"$dir/ZUKcntrl.reg" >"$base/reg$view.txt"
    check "ZUKcntrl.reg names its own folder and view ($view-bit)" \
        sh -c "grep -qF 'reg import ZUKcntrl.reg /reg:$view' '$base/reg$view.txt' &&
               grep -qF '\"InstallPath\"=\"$regpath\"' '$base/reg$view.txt'"
done
has_templates "$folder" "the first installation"
# The event source: the package's own library holds the message table.
eventdll='Program Files (x86)\\KORVA\\ZUKcntrl\\ZUKcntrl.dll'
[ "$arch" = x64 ] && eventdll='Program Files\\KORVA\\ZUKcntrl\\ZUKcntrl.dll'
wine reg query "$events" /reg:64 2>/dev/null | tr -d '\r' >"$base/event-source.txt"
check "the event source names the package's library ($arch)" \
    sh -c "grep -q 'EventMessageFile.*$eventdll' '$base/event-source.txt' && grep -q 'TypesSupported.*0x7' '$base/event-source.txt'"
check "one copy of the Group Policy templates, beside the 32-bit library" [ ! -e "$folder64/PolicyDefinitions" ]
if [ "$arch" = x64 ]; then
    check "the 64-bit folder holds the 64-bit library" \
        sh -c "objdump -f '$folder64/ZUKcntrl.dll' 2>/dev/null | grep -q 'pei-x86-64'"
    check "the 32-bit folder holds the 32-bit library" \
        sh -c "objdump -f '$folder/ZUKcntrl.dll' 2>/dev/null | grep -q 'pei-i386'"
else
    check "no 64-bit folder without the 64-bit library" [ ! -e "$folder64" ]
    check "no machine value in the 64-bit view without the 64-bit library" \
        sh -c "! wine reg query '$key' /reg:64 >/dev/null 2>&1"
fi
for view in $views; do
    values "$view" "$base/values$view.txt"
    path='C:\\Program Files (x86)\\KORVA\\ZUKcntrl\\$'
    [ "$view" = 64 ] && path='C:\\Program Files\\KORVA\\ZUKcntrl\\$'
    check "InstallPath names the library's folder, with a backslash at the end ($view-bit view)" \
        has "$base/values$view.txt" "InstallPath    REG_SZ    $path"
    check "Mode, Device and Config have their defaults ($view-bit view)" \
        has "$base/values$view.txt" 'Mode    REG_DWORD    0x100$' 'Device    REG_DWORD    0x1$' 'Config    REG_DWORD    0x3$'
    check "no FeliCa unless asked for ($view-bit view)" lacks "$base/values$view.txt" FeliCa
done
for view in 32 64; do
    site_keys "$view" "$base/nokeys$view.txt"
    check "without SITEKEYS no site keys are stored ($view-bit view)" [ ! -s "$base/nokeys$view.txt" ]
done

# The installed library of this machine's bitness identifies the user of the simulated reader's
# card (on COM5, as PORT says).
cli="$folder"
[ "$arch" = x64 ] && cli="$folder64"
"$sim" --link "$WINEPREFIX/dosdevices/com5" --control-port 0 --card "$source/sim/cards/alice.card" \
    --log "$base/sim.log" >"$base/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$base/sim.out" && break; sleep 0.05; done
cd "$cli" || exit 1
wine ./zukcli.exe version </dev/null 2>&1 | tr -d '\r' >"$base/version.txt"
cat "$base/version.txt"
check "installed zukcli reports version $version" grep -q "release: $version" "$base/version.txt"
wine ./zukcli.exe status </dev/null 2>&1 | tr -d '\r' >"$base/status.txt"
rc=$?
cat "$base/status.txt"
check "installed zukcli status finds the installation in order (the reader on COM5 included)" \
    sh -c "! grep -q '^  error:' '$base/status.txt'"
wine ./zukcli.exe --cancel-prompts open sense account --show-password --pin 1234 close </dev/null 2>&1 |
    tr -d '\r' >"$base/account.txt"
cat "$base/account.txt"
check "the installed library identifies the card's user (alice)" \
    has "$base/account.txt" 'ZUKGetUserAccount: ZUK_OK (0)' 'alice' 's3cret-pass'
kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null; simpid=""

# The site keys, stored by a reinstallation with SITEKEYS (after the card above: the simulated
# reader holds the built-in keys).
msi sitekeys /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=mus 'SITEKEYS=C:\site keys\site.txt'
check "a reinstallation with SITEKEYS exits with 0 (got $rc)" [ "$rc" -eq 0 ]
wine ./zukcli.exe keys status </dev/null >"$base/keys.txt" 2>&1
rc=$?
tr -d '\r' <"$base/keys.txt"
check "installed zukcli keys status exits with 0" [ "$rc" -eq 0 ]
for view in 32 64; do
    check "keys status: the site keys are in use ($view-bit view)" \
        sh -c "tr -d '\r' <'$base/keys.txt' | grep -q '^  $view-bit view: the site keys (keys check [0-9A-F]\{16\})$'"
done
key_checks <"$base/keys.txt" >"$base/stored-checks.txt"
check "keys status shows the file's check values" cmp -s "$base/file-checks.txt" "$base/stored-checks.txt"
# One keys check for the file (keys generate, keys check), the stored keys (keys status) and the
# installation's log; the file check (the file's check line, over the issuing table too) is named
# apart.
keys_check="$(tr -d '\r' <"$base/generate.txt" | sed -n 's/^  keys check: \([0-9A-F]\{16\}\)$/\1/p')"
check "keys generate shows a keys check" [ -n "$keys_check" ]
check "keys check shows the same keys check" \
    sh -c "wine '$cli_build' keys check 'C:\\site keys\\site.txt' </dev/null 2>&1 | tr -d '\r' | grep -q '^  keys check: $keys_check\$'"
for view in 32 64; do
    check "keys status shows that keys check ($view-bit view)" \
        sh -c "tr -d '\r' <'$base/keys.txt' | grep -q '^  $view-bit view: the site keys (keys check $keys_check)\$'"
done
check "the installation's log shows that keys check" \
    sh -c "grep -aq 'zukcli:   keys check: $keys_check' '$base/sitekeys.log' ||
           iconv -f UTF-16LE -t UTF-8 '$base/sitekeys.log' 2>/dev/null | grep -q 'zukcli:   keys check: $keys_check'"
check "the file check is another value, named apart" \
    sh -c "tr -d '\r' <'$base/generate.txt' | grep -q '^  file check: [0-9A-F]\{16\}\$' &&
           ! tr -d '\r' <'$base/generate.txt' | grep -q '^  file check: $keys_check\$'"
for view in 32 64; do site_keys "$view" "$base/keys$view.txt"; done
# A failure to store them (the machine's MachineGuid, which the protection needs, taken away)
# fails the installation with zukcli's reason and leaves the stored keys and files as they were.
crypto='HKLM\SOFTWARE\Microsoft\Cryptography'
guid="$(wine reg query "$crypto" /v MachineGuid /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *MachineGuid *REG_SZ *//p')"
check "the machine has a MachineGuid" [ -n "$guid" ]
wine reg delete "$crypto" /v MachineGuid /f /reg:64 >/dev/null 2>&1
msi sitekeys-failed /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=mus 'SITEKEYS=C:\site keys\site.txt'
check "site keys that cannot be stored fail the installation with 1603 (got $rc)" [ "$rc" -eq "$failure" ]
wine reg add "$crypto" /v MachineGuid /t REG_SZ /d "$guid" /f /reg:64 >/dev/null 2>&1
for text in 'were not stored (zukcli keys install ended with 1)' 'zukcli: .*cannot be stored'; do
    check "the log says why: $text" \
        sh -c "iconv -f UTF-16LE -t UTF-8 '$base/sitekeys-failed.log' 2>/dev/null | grep -q '$text' ||
               grep -q '$text' '$base/sitekeys-failed.log'"
done
for view in 32 64; do
    site_keys "$view" "$base/after-failure$view.txt"
    check "the failed installation changed no stored key ($view-bit view)" \
        sh -c "[ -s '$base/keys$view.txt' ] && cmp -s '$base/keys$view.txt' '$base/after-failure$view.txt'"
done
check "the failed installation leaves the library installed" [ -f "$cli/ZUKcntrl.dll" ]
cd "$base" || exit 1

# The installed version: a value changed by a reinstallation of the registry entries, a bad one
# refused without a change, and the issuing tool added.  The revocation list (zukcli revoke) and a
# value written by hand stay through every reinstallation and a repair.
revoked="$key\RevokedCards"
revoked_kept() {  # view step
    check "$2 keeps the revocation list ($1-bit view)" \
        sh -c "wine reg query '$revoked' /v card1 /reg:$1 2>/dev/null | tr -d '\r' | grep -q '0123456789ABCDEF'"
    check "$2 keeps a value written by hand ($1-bit view)" \
        sh -c "wine reg query '$key' /v Handwritten /reg:$1 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    kept'"
}
hand_values() {
    for view in $views; do
        wine reg add "$revoked" /v card1 /t REG_SZ /d 0123456789ABCDEF /f /reg:$view >/dev/null 2>&1
        wine reg add "$key" /v Handwritten /t REG_SZ /d kept /f /reg:$view >/dev/null 2>&1
    done
}
hand_values
# A repair as msiexec /fomus makes it (Wine's msiexec /f ends with 1 before it opens a log).
msi repair /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=omus
check "a repair exits with 0 (got $rc)" [ "$rc" -eq 0 ]
for view in $views; do revoked_kept "$view" "a repair"; done
msi reinstall /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=mus MODE=768 CONFIG=0x13
check "a reinstallation with MODE and CONFIG exits with 0" [ "$rc" -eq 0 ]
msi reinstall-refused /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=mus MODE=768 DEVICE=0 CONFIG=0x5
check "a reinstallation with a bad CONFIG is refused with 1603 (got $rc)" [ "$rc" -eq "$failure" ]
for view in $views; do
    values "$view" "$base/reinstalled$view.txt"
    check "the reinstallation changes Mode and Config, the refused one nothing ($view-bit view)" \
        has "$base/reinstalled$view.txt" 'Mode    REG_DWORD    0x300$' 'Config    REG_DWORD    0x13$' \
            'Device    REG_DWORD    0x1$'
    check "the reinstallation keeps the INI's reader options ($view-bit)" \
        sh -c "tr -d '\r' <'$(folder_of "$view")/ZUKcntrl.ini' | grep -q '^PortName=COM5$'"
done
for view in 32 64; do
    site_keys "$view" "$base/reinstalled-keys$view.txt"
    check "a reinstallation without SITEKEYS keeps the stored keys ($view-bit view)" \
        cmp -s "$base/keys$view.txt" "$base/reinstalled-keys$view.txt"
done
# Values at the edges of what the rules take, each in a reinstallation: where it lands (the
# machine values of each view, or each INI) and what is there afterwards.
accepted=0
while IFS='|' read -r option where expected; do
    [ -z "$option" ] && continue
    accepted=$((accepted + 1))
    msi "accepted$accepted" /i "$base/current.msi" REINSTALL=ALL REINSTALLMODE=mus "$option"
    check "$option is taken (got $rc)" [ "$rc" -eq 0 ]
    for view in $views; do
        if [ "$where" = ini ]; then
            tr -d '\r' <"$(folder_of "$view")/ZUKcntrl.ini" >"$base/accepted.txt"
        else
            wine reg query "$key" "/reg:$view" 2>&1 | tr -d '\r' >"$base/accepted.txt"
        fi
        check "$option gives $expected ($view-bit)" grep -qixF -- "$expected" "$base/accepted.txt"
    done
done <<'CASES'
MODE=0|reg|    Mode    REG_DWORD    0x0
MODE=0X300|reg|    Mode    REG_DWORD    0x300
MODE=0x00000100|reg|    Mode    REG_DWORD    0x100
CONFIG=1|reg|    Config    REG_DWORD    0x1
CONFIG=0xFFF33|reg|    Config    REG_DWORD    0xfff33
CONFIG=1048371|reg|    Config    REG_DWORD    0xfff33
DEVICE=0|reg|    Device    REG_DWORD    0x0
FELICA=IDM|reg|    FeliCa    REG_SZ    IDM
PORT=\\.\COM256|ini|PortName=\\.\COM256
PORT=com9|ini|PortName=com9
SYSTEMCODE=8165,88b4,0003,FFFF,1234|ini|SystemCode=8165,88b4,0003,FFFF,1234
CASES

for view in $views; do revoked_kept "$view" "the reinstallations"; done
msi addlocal /i "$base/current.msi" ADDLOCAL=ZukCard
check "ADDLOCAL=ZukCard on the installed version exits with 0" [ "$rc" -eq 0 ]
for view in $views; do
    check "ADDLOCAL=ZukCard adds zukcard ($view-bit)" [ -f "$(folder_of "$view")/zukcard.exe" ]
done

# 3. Removal: files and machine values go; a user's remembered credentials stay.
wine reg add 'HKCU\SOFTWARE\KORVA\ZUKLib' /v UserID /t REG_SZ /d alice /f >/dev/null 2>&1
printf 'trace\r\n' >"$folder/ZUKcntrl.log"
msi remove /x "$base/current.msi"
check "the removal exits with 0" [ "$rc" -eq 0 ]
check "the removal does not claim to keep the settings file it deletes" \
    sh -c "! grep -aq 'keeping the settings file' '$base/remove.log' &&
           ! iconv -f UTF-16LE -t UTF-8 '$base/remove.log' 2>/dev/null | grep -q 'keeping the settings file'"
check "the removal logs what stays" \
    sh -c "grep -aq 'the stored site keys and the revocation list stay' '$base/remove.log' ||
           iconv -f UTF-16LE -t UTF-8 '$base/remove.log' 2>/dev/null | grep -q 'the stored site keys and the revocation list stay'"
for f in $templates; do
    check "the removal deletes PolicyDefinitions/$f" [ ! -e "$folder/PolicyDefinitions/$f" ]
done
# The stored site keys stay, alone (REMOVESITEKEYS=1 removes them: the final removal below).
for view in 32 64; do
    check "after the removal: the machine values are gone, the site keys kept ($view-bit view)" kept_only "$view"
done
for view in 32 64; do
    site_keys "$view" "$base/removed-keys$view.txt"
    check "after the removal: the kept site keys are the stored ones ($view-bit view)" \
        cmp -s "$base/keys$view.txt" "$base/removed-keys$view.txt"
done
check "after the removal: no installation folder" sh -c "[ ! -e '$folder' ] && [ ! -e '$folder64' ]"
for view in $views; do
    check "after the removal: the revocation list stays with the site keys ($view-bit view)" \
        sh -c "wine reg query '$revoked' /v card1 /reg:$view 2>/dev/null | grep -q 0123456789ABCDEF"
done
check "after the removal: no product in the programs list" [ "$(products)" -eq 0 ]
check "the removal leaves the users' remembered credentials (HKCU)" \
    sh -c "wine reg query 'HKCU\\SOFTWARE\\KORVA\\ZUKLib' /v UserID 2>/dev/null | grep -q alice"

# 4. Upgrades.  3.0.0 with the issuing tool and FeliCa; then the machine is configured by hand.
msi old /i "$base/3.0.0.msi" ADDLOCAL=ALL FELICA=IDM DEVICE=0
check "3.0.0 installs with ADDLOCAL=ALL FELICA=IDM DEVICE=0" [ "$rc" -eq 0 ]
for view in $views; do
    dir="$(folder_of "$view")"
    check "ADDLOCAL installs zukcard ($view-bit)" [ -f "$dir/zukcard.exe" ]
    values "$view" "$base/old$view.txt"
    check "FELICA=IDM and DEVICE=0 are written ($view-bit view)" \
        has "$base/old$view.txt" 'FeliCa    REG_SZ    IDM$' 'Device    REG_DWORD    0x0$'
    wine reg add "$key" /v Mode /t REG_DWORD /d 768 /f "/reg:$view" >/dev/null 2>&1
    wine reg add "$key" /v Config /t REG_DWORD /d 0x233 /f "/reg:$view" >/dev/null 2>&1
    printf '[Card]\r\nPollingInterval=250\r\n' >"$dir/ZUKcntrl.ini"
done
hand_values

# 3.0.1 without options replaces 3.0.0 and keeps everything.
msi upgrade /i "$base/3.0.1.msi"
check "the upgrade to 3.0.1 exits with 0" [ "$rc" -eq 0 ]
check "the upgrade leaves one product" [ "$(products)" -eq 1 ]
for view in $views; do
    dir="$(folder_of "$view")"
    values "$view" "$base/upgraded$view.txt"
    check "the upgrade keeps Mode, Device, Config and FeliCa ($view-bit view)" \
        has "$base/upgraded$view.txt" 'Mode    REG_DWORD    0x300$' 'Device    REG_DWORD    0x0$' \
            'Config    REG_DWORD    0x233$' 'FeliCa    REG_SZ    IDM$'
    check "the upgrade keeps the edited INI ($view-bit)" \
        sh -c "grep -q 'PollingInterval=250' '$dir/ZUKcntrl.ini' && ! grep -q 'PortName' '$dir/ZUKcntrl.ini'"
    check "the upgrade keeps zukcard installed ($view-bit)" [ -f "$dir/zukcard.exe" ]
    check "the upgrade installed the library ($view-bit)" [ -f "$dir/ZUKcntrl.dll" ]
    revoked_kept "$view" "the upgrade"
done

# The current version with options, into another folder for the 32-bit library.
moved="$WINEPREFIX/drive_c/Moved/ZUK"
msi options /i "$base/current.msi" CONFIG=0x13 FELICA=NONE MODE=0x100 SYSTEMCODE=8165 'INSTALLDIR=C:\Moved\ZUK'
check "the upgrade with options exits with 0" [ "$rc" -eq 0 ]
check "the upgrade with options leaves one product" [ "$(products)" -eq 1 ]
for view in $views; do
    values "$view" "$base/changed$view.txt"
    check "the options replace their values, the rest stays ($view-bit view)" \
        has "$base/changed$view.txt" 'Mode    REG_DWORD    0x100$' 'Config    REG_DWORD    0x13$' \
            'Device    REG_DWORD    0x0$'
    check "FELICA=NONE removes FeliCa ($view-bit view)" lacks "$base/changed$view.txt" FeliCa
    revoked_kept "$view" "the upgrade with options"
done
check "the library is in the new folder" [ -f "$moved/ZUKcntrl.dll" ]
check "the edited INI moved along, with SYSTEMCODE written into it" \
    sh -c "tr -d '\r' <'$moved/ZUKcntrl.ini' | grep -q '^PollingInterval=250$' &&
           tr -d '\r' <'$moved/ZUKcntrl.ini' | grep -q '^SystemCode=8165$'"
check "the old 32-bit folder is gone" [ ! -e "$folder" ]
has_templates "$moved" "the upgrade into another folder"
check "InstallPath names the new folder" has "$base/changed32.txt" 'InstallPath    REG_SZ    C:\\Moved\\ZUK\\$'
if [ "$arch" = x64 ]; then
    check "the 64-bit library stays in its folder, with its edited INI" \
        sh -c "[ -f '$folder64/ZUKcntrl.dll' ] && grep -q 'PollingInterval=250' '$folder64/ZUKcntrl.ini'"
fi
for view in 32 64; do
    site_keys "$view" "$base/upgraded-keys$view.txt"
    check "the upgrades keep the stored site keys ($view-bit view)" cmp -s "$base/keys$view.txt" "$base/upgraded-keys$view.txt"
done
folder="$moved"

# An older package does not replace a newer one.
msi downgrade /i "$base/3.0.0.msi"
check "an older package is refused with 1603 (got $rc)" [ "$rc" -eq "$failure" ]
check "the refusal says why" grep -qF 'A newer version of ZUKcntrl is installed already' "$base/downgrade.log"
check "the newer installation stays" [ -f "$folder/ZUKcntrl.dll" ]

msi final /x "$base/current.msi" REMOVESITEKEYS=1
check "the final removal (REMOVESITEKEYS=1) exits with 0" [ "$rc" -eq 0 ]
check "the moved folder is gone" [ ! -e "$moved" ]
nothing_installed "after the final removal"

# 5. A setup program's installation is not taken over.
setup="$bin32/ZUKcntrl-$version-x86-setup.exe"
[ "$arch" = x64 ] && setup="$bin64/ZUKcntrl-$version-x64-setup.exe"
wine "$setup" /S /MODE=768 </dev/null
check "the setup program installs (exit code $?)" [ -f "$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl/uninstall.exe" ]
msi over-setup /i "$base/current.msi"
check "the package refuses to install over the setup program's installation (got $rc)" [ "$rc" -eq "$failure" ]
check "the refusal says why" grep -qF 'installed by its setup program' "$base/over-setup.log"
values 32 "$base/setup32.txt"
check "the setup program's installation is left as it was" has "$base/setup32.txt" 'Mode    REG_DWORD    0x300$'
check "no package is installed beside it" [ "$(products)" -eq 0 ]

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
