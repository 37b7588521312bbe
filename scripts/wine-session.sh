# Sourced by the scripts: one Wine prefix per build tree, one persistent
# wineserver for the whole run, the prefix booted before any test starts (so
# that Wine's own services never hold a test's output open).
# usage: wine_start BUILD_DIR BITS; ...; wine_stop
wine_loader() {
  sh "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-loader.sh" "$1"
}

# True when this machine can run Wine at this bitness at all.
wine_can_run() {
  "$(wine_loader "$1")" --version >/dev/null 2>&1
}

wine_start() {
  export WINEPREFIX="$1/wineprefix" WINEDEBUG=-all
  local server=/usr/lib/wine/wineserver
  [ -x "$server" ] || server=$(command -v wineserver)
  "$server" -p 2>/dev/null || true
  "$(wine_loader "$2")" wineboot -i </dev/null >/dev/null 2>&1
  # Scratch directories of a run that was killed midway.
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qf[0-9]*
  WINE_SERVER=$server
}

wine_stop() {
  [ -n "${WINE_SERVER:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
}
