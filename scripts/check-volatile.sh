#!/usr/bin/env bash
# Credentials kept in the Volatile key must end with the user's session, those in NonVolatile
# must stay: write both, restart the wineserver (the registry's session), and look again.
# Needs the environment of scripts/test.sh (WINEPREFIX, DISPLAY).
#   check-volatile.sh [win32|win64]   the build tree whose test program runs (default win32)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="$root/build/${1:-win32}/bin/zuk_wine_tests.exe"
export ZUK_VOLATILE_PHASE=1
wine "$exe" --gtest_filter=VolatileAcrossRestart.Write
# SIGTERM lets the server save the registry first (it writes it to disk lazily).
wineserver -k15
wineserver -w
wineserver -p >"$WINEPREFIX/wineserver.log" 2>&1 </dev/null
wine wineboot </dev/null >/dev/null 2>&1 || true
wine "$exe" --gtest_filter=VolatileAcrossRestart.Check
