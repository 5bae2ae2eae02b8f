#!/bin/sh
# wine-prefix.sh start|stop PREFIX
#   start: create the prefix when missing, then start a persistent Wine server
#          and its helper processes detached from the caller's output.
#   stop:  stop that prefix's server (only that prefix's).
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export LC_ALL=C.UTF-8

case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
