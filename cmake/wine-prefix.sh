#!/bin/sh
# wine-prefix.sh start|stop PREFIX [x86|x64]
#   start: create the prefix when missing (a pure 32-bit one for x86), then
#          start a persistent Wine server and its helper processes detached
#          from the caller's output.
#   stop:  stop that prefix's server (only that prefix's).
set -eu
action=$1
prefix=$2
arch=${3:-x64}
wine="$(dirname "$0")/wine.sh $arch $prefix"
export WINEPREFIX="$prefix"

case "$action" in
start)
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$prefix"
        $wine wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -p </dev/null >/dev/null 2>&1 || true
    $wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX [x86|x64]" >&2
    exit 2
    ;;
esac
