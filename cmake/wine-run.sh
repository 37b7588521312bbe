#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh BITS PROGRAM [ARGS...].
# The prefix comes from WINEPREFIX (the build tree's own, set by the tests).
bits=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
exec "$(sh "$(dirname "$0")/wine-loader.sh" "$bits")" "$@"
