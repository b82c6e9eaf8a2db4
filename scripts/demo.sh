#!/usr/bin/env bash
# The demo: builds the library, installs it with its catalogue and settings into a private Wine
# prefix, and lets a host program load ZUKcntrl.dll and call it.  Installs missing Debian packages
# first.  With ZUK_USE_DISPLAY=1 and a DISPLAY set, prompts appear on that display; otherwise a
# private Xvfb display is used.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

zuk_install_packages
zuk_build_native
zuk_build_win32

export WINEPREFIX_OVERRIDE="$ZUK_ROOT/build/wine-demo"
trap zuk_wine_stop EXIT
zuk_wine_start

# Install: the DLL and host next to the catalogue and settings, as an installer would.
bin="$ZUK_ROOT/build/win32/bin"
install="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
mkdir -p "$install"
cp "$bin/ZUKcntrl.dll" "$bin/zukcli.exe" "$ZUK_ROOT"/dist/ZukLang* "$install/"
printf '[Card]\r\nPollingInterval=1000\r\nVerifyRetry=3\r\n[Device]\r\nDeviceName=PR300\r\n[Log]\r\nMode=3\r\n' \
    > "$install/ZUKcntrl.ini"
rm -f "$install/ZUKcntrl.log"
key='HKLM\SOFTWARE\KORVA\ZUKLib'
wine reg add "$key" /v InstallPath /t REG_SZ /d 'C:\Program Files\KORVA\ZUKcntrl\' /f >/dev/null 2>&1
wine reg add "$key" /v Mode /t REG_DWORD /d 256 /f >/dev/null 2>&1
wine reg add "$key" /v Device /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$key" /v Config /t REG_DWORD /d 0x231 /f >/dev/null 2>&1

zuk_log "A host loads ZUKcntrl.dll under Wine and asks for its version and mode"
wine "$install/zukcli.exe" version mode

zuk_log "Trace log ($(basename "$install")/ZUKcntrl.log)"
tr -d '\r' < "$install/ZUKcntrl.log"

zuk_log "Built files"
echo "  DLL:              $bin/ZUKcntrl.dll"
echo "  header:           $ZUK_ROOT/include/ZUKcntrl.h"
echo "  import libraries: $bin/libZUKcntrl.dll.a (MinGW), $bin/ZUKcntrl.lib (MSVC)"
echo "  installed into:   $install"
