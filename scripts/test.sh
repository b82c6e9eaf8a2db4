#!/usr/bin/env bash
# Runs every test: the native tests (plain and with AddressSanitizer + UBSan) and the Wine tests
# of the 64-bit and the 32-bit library in a private 64-bit prefix with its own display (the 32-bit
# library under WOW64, as on 64-bit Windows).  Installs missing Debian packages first.
# A test that did not run fails the run too, unless tests/allowed-skips.txt names it with its
# reason.  Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# Runs ctest in build tree $1 (further arguments go to ctest), then checks that every test ran.
run_ctest() {
    local dir="$1"
    shift
    local out="$dir/ctest-output.log" result=0
    rm -f "$out" "$dir/Testing/Temporary/LastTest.log"
    (cd "$dir" && ctest --output-on-failure "$@" | tee "$out") || result=1
    "$ZUK_ROOT/scripts/check-skips.sh" "$out" "$dir/Testing/Temporary/LastTest.log" || result=1
    return "$result"
}

zuk_install_packages
zuk_build_native
zuk_build_native asan
zuk_build_win32
zuk_build_win64

status=0
zuk_log "Native tests"
run_ctest "$ZUK_ROOT/build/native" -j "$ZUK_JOBS" || status=1
zuk_log "Native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
run_ctest "$ZUK_ROOT/build/native-asan" -j "$ZUK_JOBS" || status=1

# The sources keep the layout of .clang-format (scripts/format.sh lays them out).
zuk_log "Source layout (clang-format)"
"$ZUK_ROOT/scripts/format.sh" --check || status=1

# The benchmark still works (two calls per export, one round; nothing about times is checked).
zuk_log "Benchmark, quick run"
ZUK_BENCH_ROUNDS=1 ZUK_BENCH_OUT="$ZUK_ROOT/build/bench-quick" "$ZUK_ROOT/scripts/bench.sh" 2 \
    >"$ZUK_ROOT/build/bench-quick.log" 2>&1 || { cat "$ZUK_ROOT/build/bench-quick.log"; status=1; }

trap zuk_wine_stop EXIT
zuk_wine_start
trees=(win64)
if zuk_runs_32bit; then
    trees+=(win32)
else
    zuk_log "This machine cannot execute 32-bit x86 code (no 32-bit user mode): the 32-bit library" \
            "was built and linked but its Wine tests cannot run here; the 64-bit library's run them"
fi
for tree in "${trees[@]}"; do
    zuk_log "Wine tests of build/$tree (prefix ${WINEPREFIX#"$ZUK_ROOT"/}, display $DISPLAY)"
    run_ctest "$ZUK_ROOT/build/$tree" || status=1
    # Volatile credential keys must not survive the user's session: write them, restart the
    # wineserver, and look again.
    zuk_log "Volatile keys across a wineserver restart (build/$tree)"
    "$ZUK_ROOT/scripts/check-volatile.sh" "$tree" || status=1
done

# The product built as docs/security.md tells a site to build it, in fresh folders, with keys of its
# own: it must identify a user against a simulated reader holding the same keys.
zuk_log "The deployment build of docs/security.md (fresh folders, the site's own keys)"
python3 "$ZUK_ROOT/tests/scripts/deployment_build_test.py" "$ZUK_ROOT" "$ZUK_ROOT/build/deploy" \
    "$ZUK_ROOT/build/native/sim/zuk-reader-sim" "$ZUK_ROOT/build/win64/bin" || status=1

if [ "$status" -eq 0 ]; then zuk_log "All tests passed"; else zuk_log "Some tests FAILED"; fi
exit "$status"
