#!/usr/bin/env bash
# Runs every test: the native tests (plain and with AddressSanitizer + UBSan) and the Wine tests
# in a private 32-bit prefix with its own display.  Installs missing Debian packages first.
# Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

zuk_install_packages
zuk_build_native
zuk_build_native asan
zuk_build_win32

status=0
zuk_log "Native tests"
(cd "$ZUK_ROOT/build/native" && ctest --output-on-failure -j "$ZUK_JOBS") || status=1
zuk_log "Native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
(cd "$ZUK_ROOT/build/native-asan" && ctest --output-on-failure -j "$ZUK_JOBS") || status=1

# The benchmark still works (two calls per export, one round; nothing about times is checked).
zuk_log "Benchmark, quick run"
ZUK_BENCH_ROUNDS=1 ZUK_BENCH_OUT="$ZUK_ROOT/build/bench-quick" "$ZUK_ROOT/scripts/bench.sh" 2 \
    >"$ZUK_ROOT/build/bench-quick.log" 2>&1 || { cat "$ZUK_ROOT/build/bench-quick.log"; status=1; }

trap zuk_wine_stop EXIT
zuk_wine_start
zuk_log "Wine tests (prefix ${WINEPREFIX#"$ZUK_ROOT"/}, display $DISPLAY)"
(cd "$ZUK_ROOT/build/win32" && ctest --output-on-failure) || status=1

# Volatile credential keys must not survive the user's session: write them, restart the
# wineserver, and look again.
if [ -x "$ZUK_ROOT/scripts/check-volatile.sh" ]; then
    zuk_log "Volatile keys across a wineserver restart"
    "$ZUK_ROOT/scripts/check-volatile.sh" || status=1
fi

if [ "$status" -eq 0 ]; then zuk_log "All tests passed"; else zuk_log "Some tests FAILED"; fi
exit "$status"
