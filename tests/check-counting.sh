#!/usr/bin/env bash
# The test command's counting, on a ctest project of known results: expects
# 5 passed (1 script, 3 + 1 program cases), 5 failed (a script, a crash, a
# failed case, a crash with only a stale report, a program that exited 0
# without a report), 0 skipped.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$root/tests/counting" -B "$work" >/dev/null || exit 1
sleep 1 # the stale report, written when configuring, is older than the run
since=$(date +%s)
(cd "$work" && ctest --output-junit "$work/junit.xml" >/dev/null 2>&1)
counts=$(python3 "$root/scripts/count-tests.py" "$work/junit.xml" "$work/test-reports" "$since" \
  "$work/gtest-programs.txt" 2>/dev/null)
if [ "$counts" = "5 5 0" ]; then
  echo "ok: counting: $counts"
else
  echo "FAIL: counting gave '$counts', expected '5 5 0'"
  exit 1
fi
