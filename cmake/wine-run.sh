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
exec wine "$@"
