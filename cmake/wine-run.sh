#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh BITS PROGRAM [ARGS...].
# The prefix comes from WINEPREFIX (the build tree's own, set by the tests).
bits=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
if [ "$bits" = 32 ]; then
    loader=/usr/lib/wine/wine
else
    loader=/usr/lib/wine/wine64
fi
[ -x "$loader" ] || loader=$(command -v wine)
exec "$loader" "$@"
