#!/usr/bin/env bash
# scripts/fuzz.sh checks its arguments before it installs or builds anything: --help prints the
# usage, and a bad option, time or target name ends at once with exit code 2.
set -u
fuzz="$(dirname "$0")/../../scripts/fuzz.sh"
failures=0
expect() {  # exit-code  text-in-output  arguments...
    local code="$1" text="$2"
    shift 2
    local out rc
    out="$(timeout 20 bash "$fuzz" "$@" 2>&1)"
    rc=$?
    if [ "$rc" -ne "$code" ] || ! grep -q -- "$text" <<<"$out"; then
        echo "FAIL: fuzz.sh $* gave $rc (want $code, output with '$text'):"
        echo "$out" | head -5
        failures=$((failures + 1))
    fi
}
expect 0 "usage: scripts/fuzz.sh" --help
expect 0 "usage: scripts/fuzz.sh" -h
expect 2 "unknown option" --time=5
expect 2 "whole number above 0" 0
expect 2 "unknown target" 5 no_such_target
expect 2 "unknown target" settings --help
if [ "$failures" -eq 0 ]; then echo "fuzz.sh arguments: all cases passed"; fi
exit "$failures"
