#!/bin/sh
# Runs one Windows program under Wine in the build tree's own prefix:
#
#   wine_run.sh WINE PREFIX PROGRAM [ARGS...]
#
# CTest runs tests in parallel, so the prefix is created once, under a lock, by whichever run comes first;
# the others wait for it. The program's exit status is the wrapper's.
set -eu

wine=$1
prefix=$2
shift 2

WINEPREFIX=$prefix
WINEDEBUG=-all
# Our own xinput1_3.dll, not Wine's; no search for Mono and Gecko while the prefix is made.
WINEDLLOVERRIDES="xinput1_3=n;mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if [ ! -f "$prefix/.brickwright-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.brickwright-ready" ]; then
            if ! "$wine" wineboot -i >"$prefix.log" 2>&1; then
                echo "wine_run.sh: creating the Wine prefix $prefix failed:" >&2
                cat "$prefix.log" >&2
                exit 1
            fi
            # wineboot returns before the prefix is written out; the server exits once it is.
            "$(dirname "$wine")/wineserver" -w
            touch "$prefix/.brickwright-ready"
        fi
    ) 9>"$prefix.lock"
fi

exec "$wine" "$@"
