# Sourced by the scripts: one Wine prefix for every build and both bitnesses
# (build/wineprefix), one persistent wineserver for the whole run, and the
# prefix booted once, before any test starts, so that Wine's own services never
# hold a test's output open. Under qemu every 32-bit process start costs half a
# minute, so the prefix is booted once, by whichever bitness comes first.
# usage: wine_start BITS; ...; wine_stop
wine_tool() {
  sh "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-loader.sh" "$1"
}
wine_loader() {
  wine_tool "$1"
}

# True when this machine can run Wine at this bitness at all.
wine_can_run() {
  "$(wine_loader "$1")" --version >/dev/null 2>&1
}

wine_start() {
  export WINEPREFIX="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix"
  export WINEDEBUG=-all
  if [ -z "${WINE_SERVER:-}" ]; then
    WINE_SERVER=$(wine_tool server)
    "$WINE_SERVER" -p 2>/dev/null || true
    "$(wine_loader "$1")" wineboot -i </dev/null >/dev/null 2>&1
    # Scratch directories of a run that was killed midway.
    rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qf[0-9]*
  fi
}

wine_stop() {
  [ -n "${WINE_SERVER:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
  WINE_SERVER=
}
