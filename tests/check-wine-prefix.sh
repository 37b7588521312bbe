#!/usr/bin/env bash
# A Wine prefix made before 32-bit Wine was installed is made again, once:
# when the halves it records differ from those found, or when a 32-bit probe
# cannot load kernel32.dll in it. Wine is played by stubs (a real prefix takes
# minutes under qemu): wineboot, like Wine's, fills a new prefix only and
# makes its 32-bit system folder only where the 32-bit half "is installed";
# the 32-bit probe runs only in a prefix that has that folder.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/scripts/wine-session.sh"
wine_tool() { echo "$work/$1"; }
wine_half_installed() { [ "$1" = 64 ] || [ -n "$SEEN_32" ]; }
printf '#!/bin/sh\n' >"$work/server"
printf '#!/bin/sh\necho >>"$WINEPREFIX.boots"\n[ -d "$WINEPREFIX" ] && exit
mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
[ -z "$HALF_32" ] || : >"$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll"\n' >"$work/64"
printf '#!/bin/sh\n[ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && exec echo quenfold-probe 32
echo "wine: could not load kernel32.dll, status c0000135" >&2\nexit 53\n' >"$work/32"
chmod +x "$work/server" "$work/64" "$work/32"

status=0
# case: 32-bit half installed, found where looked for -> runs, wineboot runs
while read -r name installed seen runs boots; do
  export QUENFOLD_SESSION_PREFIX="$work/$name" HALF_32=${installed#-} SEEN_32=${seen#-}
  mkdir -p "$QUENFOLD_SESSION_PREFIX/drive_c/windows/syswow64"
  echo 64 >"$QUENFOLD_SESSION_PREFIX/.quenfold-halves"
  ran=no
  (WINE_SERVER= && wine_can_run 32) >/dev/null && ran=yes
  made=$(wc -l <"$QUENFOLD_SESSION_PREFIX.boots")
  if [ "$ran $made" = "$runs $boots" ]; then
    echo "ok: $name: 32-bit probe ran: $ran, wineboot runs: $made"
  else
    echo "FAIL: $name: 32-bit probe ran: $ran, wineboot runs: $made; expected $runs, $boots"
    status=1
  fi
done <<'EOF'
recorded-without-32-bit 1 1 yes 1
installed-where-not-looked-for 1 - yes 2
not-installed - - no 2
EOF
exit $status
