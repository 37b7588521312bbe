#!/bin/sh
# Prints the Wine loader for a bitness: wine-loader.sh 32|64. The one place
# that knows where Debian puts them.
if [ "$1" = 32 ]; then
    loader=/usr/lib/wine/wine
else
    loader=/usr/lib/wine/wine64
fi
[ -x "$loader" ] || loader=$(command -v wine)
echo "$loader"
