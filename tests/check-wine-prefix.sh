#!/usr/bin/env bash
# A Wine prefix made before 32-bit Wine was installed is made again, once,
# whether 32-bit Wine is found or only its probe fails. Stub Wine (a real
# prefix takes minutes under qemu): wineboot fills only a new prefix, with
# 32-bit system files where HALF_32 is set; the 32-bit probe needs them.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../scripts/wine-session.sh"
wine_tool() { echo "$work/$1"; }
wine_half_installed() { [ "$1" = 64 ] || [ -n "$SEEN_32" ]; }
system='$WINEPREFIX/drive_c/windows/syswow64'
printf '#!/bin/sh\n' >"$work/server"
printf '#!/bin/sh\necho >>"$WINEPREFIX.boots"\n[ -d "$WINEPREFIX" ] && exit\nmkdir -p %s\n[ -z "$HALF_32" ] || : >%s/kernel32.dll\n' "$system" "$system" >"$work/64"
printf '#!/bin/sh\n[ -f %s/kernel32.dll ] && exec echo quenfold-probe 32\necho "wine: could not load kernel32.dll" >&2\n' "$system" >"$work/32"
chmod +x "$work/server" "$work/64" "$work/32"
status=0
# case, 32-bit Wine installed, found -> the probe runs, wineboot runs
while read -r name installed seen expected; do
  export QUENFOLD_SESSION_PREFIX="$work/$name" HALF_32=${installed#-} SEEN_32=${seen#-}
  mkdir -p "$QUENFOLD_SESSION_PREFIX" && echo 64 >"$QUENFOLD_SESSION_PREFIX/.quenfold-halves"
  ran=no
  (WINE_SERVER= && wine_can_run 32) >/dev/null && ran=yes
  got="$ran $(wc -l <"$QUENFOLD_SESSION_PREFIX.boots")"
  [ "$got" = "$expected" ] || status=1
  echo "$name: probe ran, wineboot runs: $got (expected $expected)"
done <<'EOF'
found 1 1 yes 1
not-found 1 - yes 2
not-installed - - no 2
EOF
exit $status
