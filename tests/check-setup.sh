#!/usr/bin/env bash
# The set-up on a machine whose package mirror is caught mid-sync: stand-ins
# for apt-get, dpkg and dpkg-query earlier in PATH, where every index update
# fails and one package (32-bit Wine) cannot be had. The set-up must install
# the rest, exit 0 for the test command and say what is missing; the main job
# must not even ask for 32-bit Wine, and must fail when 64-bit Wine is missing.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
# Every package is installed but those named in $ABSENT.
grep -qx "$3" "$ABSENT" || echo 'install ok installed'
exit 0
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/bin/sh
echo i386
STANDIN
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "apt-get $*" >>"$LOG"
case $1 in update) echo "E: Some index files failed to download"; exit 100 ;; esac
shift 4 # install -y -q --no-install-recommends
for p in "$@"; do grep -qx "$p" "$UNAVAILABLE" && { echo "E: cannot install $p"; exit 100; }; done
for p in "$@"; do grep -vx "$p" "$ABSENT" >"$ABSENT.new"; mv "$ABSENT.new" "$ABSENT"; done
STANDIN
chmod +x "$work/bin/"*

# Installed: every package but clang-format (to come) and 32-bit Wine (cannot).
export ABSENT=$work/absent LOG=$work/log UNAVAILABLE=$work/unavailable
export PATH="$work/bin:$PATH" QUENFOLD_APT_RETRY_SECONDS=0
printf '%s\n' clang-format wine32:i386 >"$ABSENT"
echo wine32:i386 >"$UNAVAILABLE"

output=$(bash "$root/scripts/setup.sh" test 2>&1)
status=$?
[ $status -eq 0 ] || fail "set-up for the tests exited $status: $output"
! grep -qx clang-format "$ABSENT" || fail "clang-format was not installed"
[ "$(grep -c '^apt-get update' "$LOG")" -eq 2 ] || fail "the failed index update was not tried exactly twice"
printf '%s\n' "$output" | grep -q 'going on with the lists at hand' || fail "no word of the failed update"
printf '%s\n' "$output" | grep -q 'missing 32-bit Wine (wine32:i386): the 32-bit DLL is checked as an image only' ||
  fail "no word of the missing 32-bit Wine: $output"

: >"$LOG"
output=$(bash "$root/scripts/setup.sh" main 2>&1)
[ $? -eq 0 ] || fail "set-up for the main job failed: $output"
[ ! -s "$LOG" ] || fail "the main job's set-up asked for packages it does not need: $(cat "$LOG")"

echo wine64 >>"$ABSENT"
echo wine64 >>"$UNAVAILABLE"
output=$(bash "$root/scripts/setup.sh" main 2>&1)
[ $? -eq 1 ] || fail "set-up for the main job without 64-bit Wine did not fail"
printf '%s\n' "$output" | grep -q 'MISSING 64-bit Wine (wine64)' || fail "no word of the missing 64-bit Wine: $output"

[ $failed -eq 0 ] && echo "ok: set-up goes on past a failed index and a missing package"
exit $failed
