#!/usr/bin/env bash
# The test command's counting, on a ctest project of known results: expects
# 5 passed (1 script, 3 + 1 program cases), 4 failed (a script, a crash, a
# failed case, a crash with only a stale report), 0 skipped.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$root/tests/counting" -B "$work" >/dev/null || exit 1
sleep 1 # the stale report, written when configuring, is older than the run
since=$(date +%s)
(cd "$work" && ctest --output-junit "$work/junit.xml" >/dev/null 2>&1)
counts=$(python3 "$root/scripts/count-tests.py" "$work/junit.xml" "$work/test-reports" "$since")
if [ "$counts" = "5 4 0" ]; then
  echo "ok: counting: $counts"
else
  echo "FAIL: counting gave '$counts', expected '5 4 0'"
  exit 1
fi
