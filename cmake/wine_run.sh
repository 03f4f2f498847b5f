#!/bin/sh
# Runs one Windows program under Wine in the build tree's own prefix:
#
#   wine_run.sh WINE PREFIX PROGRAM [ARGS...]
#   wine_run.sh WINE PREFIX --hold
#   wine_run.sh WINE PREFIX --stop
#
# CTest runs tests in parallel, so the prefix is created once, under a lock, by whichever run comes first;
# the others wait for it. The program's exit status is the wrapper's.
#
# --hold starts the prefix's Wine server for good (--stop ends it). A server left to itself exits a
# moment after its last program, and a program that connects just then can die with "wine client
# error:0: recvmsg: Connection reset by peer" before it runs: `./brickwright test` holds one server
# from the first Windows test to the last. --stop ends that server and whatever it still runs; harmless
# when none is running.
set -eu

wine=$1
prefix=$2
shift 2

WINEPREFIX=$prefix
WINEDEBUG=-all
# Our own xinput1_3.dll, not Wine's; no search for Mono and Gecko while the prefix is made; no debugger
# on a crash (with it, a crash in a freshly started Wine can exit 0).
WINEDLLOVERRIDES="xinput1_3=n;mscoree,mshtml=;winedbg.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
wineserver="$(dirname "$wine")/wineserver"

if [ "$1" = --stop ]; then
    "$wineserver" -k 2>/dev/null || true
    exit 0
fi

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
            "$wineserver" -w
            touch "$prefix/.brickwright-ready"
        fi
    ) 9>"$prefix.lock"
fi

case $1 in
--hold)
    # Status 2: a server of this prefix is already running (an earlier run's, say), which is as good.
    status=0
    "$wineserver" -p || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 2 ]
    # The first program of a server starts Wine's own services, which live as long as the server and
    # keep whatever output they were given open: started here they hold nobody's pipe, where the
    # first test's would keep CTest waiting for the end of its output until the timeout.
    exec "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
    ;;
*)
    exec "$wine" "$@"
    ;;
esac
