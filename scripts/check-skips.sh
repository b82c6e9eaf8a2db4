#!/usr/bin/env bash
# Fails when a test of a build tree did not really run: ctest's "did not run" list (Skipped,
# Disabled, Not Run) and, in the output of each test ctest counted as passed, GoogleTest's
# "[  SKIPPED ]" and Python unittest's skips.  Tests named in tests/allowed-skips.txt may skip.
#   check-skips.sh CTEST_OUTPUT LAST_TEST_LOG
# CTEST_OUTPUT is what ctest printed; LAST_TEST_LOG is Testing/Temporary/LastTest.log of the
# same run (every test's full output).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
allowed_file="${ZUK_ALLOWED_SKIPS:-$root/tests/allowed-skips.txt}"
ctest_output="$1"
last_log="$2"

allowed=()
while IFS= read -r line; do
    line="${line%%#*}"
    line="${line//[[:space:]]/}"
    [ -n "$line" ] && allowed+=("$line")
done <"$allowed_file"

# The lines "  12 - wine.install.x (Disabled)" that follow "The following tests did not run:".
not_run="$(awk '
    /^The following tests did not run:/ { listed = 1; next }
    listed && /^[[:space:]]*[0-9]+ - .* \([^)]*\)$/ {
        sub(/^[[:space:]]*[0-9]+ - /, ""); sub(/ \([^)]*\)$/, ""); print; next }
    { listed = 0 }' "$ctest_output")"
# The test whose output a line belongs to is named by the "N/M Test: NAME" line before it.
skipped_inside="$(awk '
    /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); next }
    name != "" && (/^\[  SKIPPED \] / || /^(OK|FAILED) \(.*skipped=[0-9]+/ || / \.\.\. skipped /) {
        print name }' "$last_log")"

status=0
while IFS= read -r name; do
    [ -n "$name" ] || continue
    ok=0
    for pattern in "${allowed[@]}"; do
        # shellcheck disable=SC2053  # the pattern is a wildcard on purpose
        if [[ "$name" == $pattern ]]; then ok=1; break; fi
    done
    if [ "$ok" -eq 1 ]; then
        echo "skipped (allowed in ${allowed_file#"$root"/}): $name"
    else
        echo "SKIPPED, which fails the run (not in ${allowed_file#"$root"/}): $name"
        status=1
    fi
done < <(printf '%s\n%s\n' "$not_run" "$skipped_inside" | sort -u)
exit "$status"
