#!/bin/sh
# Runs a Windows program of ours under Wine, quietly, in a Wine prefix of its
# own (made on first use), without Wine's offers to install Mono or Gecko.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/velnari-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver --wait
fi
# Wine's services start with the first program of a session and hold that
# program's output open until the session ends. Kept 60 s past its last
# program (a server already running just refuses), one session lasts a whole
# test run, whose first program (the tests' fixture) prints nowhere.
wineserver -p60 </dev/null >/dev/null 2>&1 || :
exec wine "$@"
