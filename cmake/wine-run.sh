#!/bin/sh
# Runs a Windows program under Wine for CTest. The Wine session (WINEPREFIX,
# DISPLAY, the Japanese locale) is set up by scripts/wine_session.sh; this
# only pins the program to the core of the wine server, where cross-process
# calls are fastest.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec taskset -c 0 wine "$@"
