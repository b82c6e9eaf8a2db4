#!/usr/bin/env bash
# The demo: builds the library and its installer, installs it into a private Wine prefix, serves a
# simulated PR300 reader with a sample card on a virtual COM port, and lets a host program
# identify the user through ZUKcntrl.dll: open, sense, name and options, the user account with the
# PIN prompt, close.  Then prints the trace log the library wrote.
#
# Without a display (or without ZUK_USE_DISPLAY=1) everything runs under a private Xvfb display
# and the host answers the PIN prompt itself (PIN 1234), saving a picture of the dialog.  With
# ZUK_USE_DISPLAY=1 and a DISPLAY, the PIN dialog appears on that display for a person to type into
# (the sample card's PIN is 1234).  Installs missing Debian packages first.
#
# The installer carries both libraries and installs both into the 64-bit prefix, as on 64-bit
# Windows.  The host is the 32-bit zukcli with the 32-bit library, or, on a machine that cannot
# execute 32-bit code, the 64-bit zukcli with the 64-bit library.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

zuk_install_packages
zuk_build_native
zuk_build_win32
zuk_build_win64

demo="$ZUK_ROOT/build/demo"
mkdir -p "$demo"
export WINEPREFIX_OVERRIDE="$ZUK_ROOT/build/wine-demo"
simpid=""
finish() {
    if [ -n "$simpid" ]; then kill "$simpid" >/dev/null 2>&1 || true; fi
    zuk_wine_stop
}
trap finish EXIT
zuk_wine_start

version="$(sed -n 's/^project(ZUKcntrl VERSION \([0-9.]*\).*/\1/p' "$ZUK_ROOT/CMakeLists.txt")"
if zuk_runs_32bit; then
    bin="$ZUK_ROOT/build/win32/bin"
    setup="$ZUK_ROOT/build/win64/bin/ZUKcntrl-$version-setup.exe"
    install="$WINEPREFIX/drive_c/Program Files (x86)/KORVA/ZUKcntrl"
    folder='C:\Program Files (x86)\KORVA\ZUKcntrl'
else
    bin="$ZUK_ROOT/build/win64/bin"
    setup="$ZUK_ROOT/build/win64/bin/ZUKcntrl-$version-x64-setup.exe"
    install="$WINEPREFIX/drive_c/Program Files/KORVA/ZUKcntrl"
    folder='C:\Program Files\KORVA\ZUKcntrl'
    zuk_log "This machine cannot execute 32-bit code: the demo runs the 64-bit library"
fi
zuk_log "Installing with the silent installer ($(basename "$setup"))"
# Card mode with the reader; user ID and password from the card, nothing remembered.
wine "$setup" /S /MODE=256 /DEVICE=1 /CONFIG=0x3 </dev/null
# The installed INI, pointed at the simulated reader on COM5, tracing every outcome, polling for
# the sample card's system code.
printf '[Card]\r\nPollingInterval=500\r\nVerifyRetry=2\r\n[Device]\r\nPortName=\\\\.\\COM5\r\nDeviceName=PR300\r\n[Log]\r\nMode=3\r\n[FeliCa]\r\nSystemCode=88B4\r\n' \
    > "$install/ZUKcntrl.ini"
rm -f "$install/ZUKcntrl.log"

zuk_log "Simulated PR300 reader on COM5 with the sample card (sim/cards/alice.card)"
rm -f "$WINEPREFIX/dosdevices/com5"
"$ZUK_ROOT/build/native/sim/zuk-reader-sim" --link "$WINEPREFIX/dosdevices/com5" \
    --card "$ZUK_ROOT/sim/cards/alice.card" --log "$demo/reader.log" >"$demo/reader.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$demo/reader.out" && break; sleep 0.05; done
grep '^PTY ' "$demo/reader.out"

picture="$demo/pin-dialog.png"
rm -f "$picture"
answer=(--pin 1234 --screenshot "$(winepath -w "$picture")")
if [ "${ZUK_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    answer=()
    zuk_log "Type the PIN 1234 into the dialog on your display"
fi

zuk_log "A host identifies the user: open, sense, name, options, account (PIN prompt), close"
cd "$install"
status=0
wine ./zukcli.exe version open sense name user-option admin-option \
    account --show-password "${answer[@]}" close </dev/null || status=$?

zuk_log "Trace log ($folder\\ZUKcntrl.log)"
tr -d '\r' < "$install/ZUKcntrl.log"

zuk_log "Files"
echo "  DLL:              $bin/ZUKcntrl.dll"
echo "  header:           $ZUK_ROOT/include/ZUKcntrl.h"
echo "  import libraries: $bin/libZUKcntrl.dll.a (MinGW), $bin/ZUKcntrl.lib (MSVC)"
echo "  installer:        $setup"
echo "  installed into:   $install"
if [ -f "$picture" ]; then echo "  PIN dialog:       $picture"; fi
echo "  reader traffic:   $demo/reader.log"
if [ "$status" -eq 0 ]; then zuk_log "The user was identified from the sample card"; fi
exit "$status"
