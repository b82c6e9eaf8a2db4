#!/usr/bin/env bash
# scripts/check-skips.sh on a made-up ctest run: each way a test can go unrun is caught, a test on
# the allow-list passes, and a failed test or a passing one is not taken for a skip.
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-skips.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat >"$work/ctest.txt" <<'OUT'
 1/7 Test #1: passes ...........................   Passed    0.01 sec
100% tests passed, 0 tests failed out of 5

The following tests did not run:
	  2 - ctest.skipped (Skipped)
	  3 - ctest.disabled (Disabled)
	  4 - allowed.one (Skipped)

The following tests FAILED:
	  5 - fails (Failed)
OUT
cat >"$work/LastTest.log" <<'OUT'
1/7 Test: passes
Output:
[  PASSED  ] 3 tests.
Test Passed.
6/7 Test: gtest.inside
Output:
[ RUN      ] Suite.Case
[  SKIPPED ] Suite.Case (0 ms)
Test Passed.
7/7 Test: python.inside
Output:
test_reader (zukcli_test.WithReader) ... skipped 'no zuk-reader-sim'
OK (skipped=1)
Test Passed.
OUT
printf '# allowed for a reason\nallowed.*\n' >"$work/allowed.txt"

status=0
output="$(ZUK_ALLOWED_SKIPS="$work/allowed.txt" "$check" "$work/ctest.txt" "$work/LastTest.log")" || status=$?
echo "$output"
fail() { echo "FAIL: $*"; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, not 1"
for name in ctest.skipped ctest.disabled gtest.inside python.inside; do
    grep -qx "SKIPPED, which fails the run (not in .*): $name" <<<"$output" || fail "$name not reported"
done
grep -qx "skipped (allowed in .*): allowed.one" <<<"$output" || fail "allowed.one not allowed"
if grep -q ": passes$\|: fails$" <<<"$output"; then fail "a passing or failing test taken for a skip"; fi

# Nothing unrun but what the list allows: the check passes.
printf '\nThe following tests did not run:\n\t  4 - allowed.one (Skipped)\n' >"$work/ctest.txt"
printf '1/1 Test: passes\nOutput:\nTest Passed.\n' >"$work/LastTest.log"
ZUK_ALLOWED_SKIPS="$work/allowed.txt" "$check" "$work/ctest.txt" "$work/LastTest.log" >/dev/null ||
    fail "an allowed skip failed the check"
echo "check-skips: all cases behave"
