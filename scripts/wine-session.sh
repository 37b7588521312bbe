# Sourced by the scripts: one Wine prefix for every build and both bitnesses
# (build/wineprefix), one persistent wineserver for the whole run, and the
# prefix booted once, before any test starts, so that Wine's own services never
# hold a test's output open. Under qemu every 32-bit process start costs half a
# minute, so the prefix is booted once.
# usage: wine_start; wine_can_run BITS && ...; wine_stop
wine_tool() {
  sh "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-loader.sh" "$1"
}
wine_loader() {
  wine_tool "$1"
}

# The halves of Wine installed now: a prefix made without one of them lacks it
# for good (every 32-bit program then fails to load kernel32.dll).
wine_halves() {
  local halves=64
  [ -d /usr/lib/wine/i386-windows ] && halves="64 32"
  echo "$halves"
}

wine_start() {
  export WINEPREFIX="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix"
  export WINEDEBUG=-all
  [ -z "${WINE_SERVER:-}" ] || return 0
  WINE_SERVER=$(wine_tool server)
  [ -n "$WINE_SERVER" ] || return 1
  local marker="$WINEPREFIX/.quenfold-halves" halves
  halves=$(wine_halves)
  if [ -d "$WINEPREFIX" ] && [ "$(cat "$marker" 2>/dev/null)" != "$halves" ]; then
    echo "   the Wine prefix was made for Wine halves '$(cat "$marker" 2>/dev/null)', now '$halves': made again"
    rm -rf "$WINEPREFIX"
  fi
  "$WINE_SERVER" -p 2>/dev/null || true
  "$(wine_loader 64)" wineboot -i </dev/null >/dev/null 2>&1
  [ -d "$WINEPREFIX" ] && echo "$halves" >"$marker"
  # Scratch directories of a run that was killed midway.
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qf[0-9]*
  return 0
}

# True when a Windows program of this bitness really runs here: the probe
# built with the plugin must say so itself. A loader that answers --version,
# or exits 0, proves nothing: Debian's wine falls back to the 64-bit loader,
# which ends a 32-bit program at once with exit code 0.
wine_can_run() { # wine_can_run BITS
  local probe
  probe="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/win$1/bin/wine-probe.exe"
  [ -f "$probe" ] || return 1
  wine_start || return 1
  local said
  said=$(timeout 600 "$(wine_loader "$1")" "$probe" </dev/null 2>/dev/null | tr -d '\r')
  [ "$said" = "quenfold-probe $1" ]
}

wine_stop() {
  [ -n "${WINE_SERVER:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
  WINE_SERVER=
}
