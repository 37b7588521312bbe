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

# Whether a half of Wine (32 or 64) is installed: its Windows DLLs, in
# Debian's multiarch folder (/usr/lib/i386-linux-gnu/wine/i386-windows) or in
# one folder beside the loaders (WineHQ's packages, builds from source).
# Debian's 64-bit libwine keeps a stray i386-windows folder of its own, so the
# folder alone says nothing: kernel32.dll must be in it.
wine_half_installed() { # wine_half_installed BITS
  local arch=i386 dir
  [ "$1" = 64 ] && arch=x86_64
  for dir in /usr/lib/*-linux-gnu/wine/$arch-windows /usr/lib/wine/$arch-windows \
    /opt/wine-*/lib*/wine/$arch-windows; do
    [ -f "$dir/kernel32.dll" ] && return 0
  done
  return 1
}

# The halves of Wine installed now: a prefix made without one of them lacks it
# for good (every 32-bit program then fails to load kernel32.dll).
wine_halves() {
  local halves=64
  wine_half_installed 32 && halves="64 32"
  echo "$halves"
}

wine_start() {
  # QUENFOLD_SESSION_PREFIX: another prefix, for tests/check-wine-prefix.sh.
  export WINEPREFIX="${QUENFOLD_SESSION_PREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix}"
  export WINEDEBUG=-all
  [ -z "${WINE_SERVER:-}" ] || return 0
  WINE_SERVER=$(wine_tool server)
  [ -n "$WINE_SERVER" ] || return 1
  local marker="$WINEPREFIX/.quenfold-halves" halves
  halves=$(wine_halves)
  if [ -d "$WINEPREFIX" ] && [ "$(cat "$marker" 2>/dev/null)" != "$halves" ]; then
    echo "   the Wine prefix was made for Wine halves '$(cat "$marker" 2>/dev/null)', now '$halves': made again"
    rm -rf "$WINEPREFIX"
    WINE_PREFIX_REMADE=1
  fi
  "$WINE_SERVER" -p 2>/dev/null || true
  "$(wine_loader 64)" wineboot -i </dev/null >/dev/null 2>&1
  [ -d "$WINEPREFIX" ] && echo "$halves" >"$marker"
  # Scratch directories of a run that was killed midway.
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qf[0-9]*
  return 0
}

# What the probe of a bitness says of itself; its errors go to
# $WINEPREFIX/.quenfold-probe-errors.
wine_probe() { # wine_probe BITS PROBE
  timeout 600 "$(wine_loader "$1")" "$2" </dev/null 2>"$WINEPREFIX/.quenfold-probe-errors" | tr -d '\r'
}

# True when a Windows program of this bitness really runs here: the probe
# built with the plugin must say so itself. A loader that answers --version,
# or exits 0, proves nothing: Debian's wine falls back to the 64-bit loader,
# which ends a 32-bit program at once with exit code 0.
# A probe that cannot load kernel32.dll in a prefix whose system folder of
# that bitness has none was run in a prefix made before that half of Wine was
# installed, wherever it went: the prefix is made again, once, and asked again.
wine_can_run() { # wine_can_run BITS
  local probe system=system32
  probe="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/win$1/bin/wine-probe.exe"
  [ -f "$probe" ] || return 1
  wine_start || return 1
  [ "$(wine_probe "$1" "$probe")" = "quenfold-probe $1" ] && return 0
  [ "$1" = 32 ] && system=syswow64
  if [ -n "${WINE_PREFIX_REMADE:-}" ] || [ -f "$WINEPREFIX/drive_c/windows/$system/kernel32.dll" ] ||
    ! grep -q 'could not load kernel32.dll' "$WINEPREFIX/.quenfold-probe-errors" 2>/dev/null; then
    return 1
  fi
  echo "   the Wine prefix has no ${1}-bit system files, though ${1}-bit Wine is installed: made again"
  WINE_PREFIX_REMADE=1
  wine_stop
  rm -rf "$WINEPREFIX"
  wine_start || return 1
  [ "$(wine_probe "$1" "$probe")" = "quenfold-probe $1" ]
}

wine_stop() {
  [ -n "${WINE_SERVER:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
  WINE_SERVER=
}
