#!/bin/sh
# Prints the Wine loader for a bitness, or the wineserver:
# wine-loader.sh 32|64|server. The one place that knows where Debian puts them.
case "$1" in
32) tool=/usr/lib/wine/wine fallback=wine ;;
server) tool=/usr/lib/wine/wineserver fallback=wineserver ;;
*) tool=/usr/lib/wine/wine64 fallback=wine64 ;;
esac
[ -x "$tool" ] || tool=$(command -v "$fallback")
echo "$tool"
