#!/bin/sh
# credprov_install_test.sh setup|msi PACKAGE WORKDIR
# The credential provider as an optional feature of an installer (the setup program's /CREDPROV,
# the MSI package's CREDPROV=1), in a fresh 64-bit Wine prefix of its own: not installed or
# registered without the option; with it, ZUKCredProv.dll beside each library and registered in
# each library's registry view (Credential Providers\{CLSID}, CLSID\{CLSID}\InprocServer32 naming
# that DLL, ThreadingModel Apartment); an upgrade of the setup program without the option keeps
# it; the removal takes the files and the registration from both views.
set -u
kind="$1" package="$2"
base="$(mktemp -d "$3/credprov.XXXXXX")"
export WINEPREFIX="$base/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
folder32="$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl"
folder64="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
clsid='{aa050858-7c63-48e9-8e8c-84676b7fb3ac}'
providers="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\$clsid"
server="HKLM\\SOFTWARE\\Classes\\CLSID\\$clsid\\InprocServer32"
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
query() {  # key view [value arguments...]: the key's lines, CR removed; fails when reg.exe does
    key="$1" view="$2"; shift 2
    lines="$(wine reg query "$key" "$@" "/reg:$view" 2>/dev/null)" || return 1
    printf '%s\n' "$lines" | tr -d '\r'
}
registered() {  # view windows-folder: the provider registered in the view, naming the folder's DLL
    query "$providers" "$1" >/dev/null || return 1
    query "$server" "$1" /ve | grep -qF "$2\\ZUKCredProv.dll" || return 1
    query "$server" "$1" /v ThreadingModel | grep -q 'ThreadingModel    REG_SZ    Apartment'
}
unregistered() {  # view
    ! query "$providers" "$1" >/dev/null && ! query "HKLM\\SOFTWARE\\Classes\\CLSID\\$clsid" "$1" >/dev/null
}
install() {  # with-provider(0|1)
    if [ "$kind" = setup ]; then
        if [ "$1" = 1 ]; then wine "$base/package" /S /CREDPROV </dev/null; else wine "$base/package" /S </dev/null; fi
    else
        if [ "$1" = 1 ]; then set -- CREDPROV=1; else set --; fi
        wine msiexec /i "$(winepath -w "$base/package" | tr -d '\r')" "$@" /qn </dev/null >/dev/null 2>&1
    fi
}
remove() {
    if [ "$kind" = setup ]; then
        wine "$folder32/uninstall.exe" /S </dev/null
    else
        wine msiexec /x "$(winepath -w "$base/package" | tr -d '\r')" /qn </dev/null >/dev/null 2>&1
    fi
    # The uninstaller copies itself away and runs from there: wait for its work to show.
    for _ in $(seq 150); do
        [ -e "$folder32" ] || [ -e "$folder64" ] || break
        sleep 0.2
    done
}

wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wineserver -p >"$base/wineserver.log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
cp "$package" "$base/package"

install 0
check "installed without the option: the library is there" [ -e "$folder64/ZUKcntrl.dll" ]
for view in 32 64; do
    check "without the option nothing is registered ($view-bit view)" unregistered "$view"
done
check "without the option no ZUKCredProv.dll" sh -c "[ ! -e '$folder32/ZUKCredProv.dll' ] && [ ! -e '$folder64/ZUKCredProv.dll' ]"

if [ "$kind" = msi ]; then
    # A package installed already takes no new feature from CREDPROV=1 (ADDLOCAL=ZukCredProv adds
    # it there): the provider is asked for at a first installation.
    remove
fi
install 1
check "with the option: the 32-bit provider beside the 32-bit library" [ -e "$folder32/ZUKCredProv.dll" ]
check "with the option: the 64-bit provider beside the 64-bit library" [ -e "$folder64/ZUKCredProv.dll" ]
check "registered in the 32-bit view, naming the 32-bit DLL" registered 32 'C:\Program Files (x86)\KORVA\ZUKcntrl'
check "registered in the 64-bit view, naming the 64-bit DLL" registered 64 'C:\Program Files\KORVA\ZUKcntrl'
query "$server" 64 /ve

if [ "$kind" = setup ]; then
    install 0
    check "an upgrade without the option keeps the registration (64-bit view)" \
        registered 64 'C:\Program Files\KORVA\ZUKcntrl'
    check "an upgrade without the option keeps the 64-bit DLL" [ -e "$folder64/ZUKCredProv.dll" ]
fi

remove
for view in 32 64; do
    check "the removal takes the registration ($view-bit view)" unregistered "$view"
done
check "the removal takes both DLLs" sh -c "[ ! -e '$folder32/ZUKCredProv.dll' ] && [ ! -e '$folder64/ZUKCredProv.dll' ]"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
