#!/bin/sh
# wine.sh x86|x64 PREFIX PROGRAM [ARGS...]
# Runs a Windows program under Wine in PREFIX with the loader of the given
# architecture. Once wine32 is installed, /usr/bin/wine is the 32-bit loader,
# and built-in programs it starts by name (cmd, cscript, reg, regsvr32) are
# 32-bit even in a 64-bit prefix: 64-bit runs go through the 64-bit loader.
# x86 runs use a pure 32-bit prefix (WINEARCH=win32).
set -eu
arch=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG="${QUORVEX_WINEDEBUG:--all}"
export WINEDLLOVERRIDES='mscoree,mshtml='
# Wine's number formats follow the locale: keep them fixed.
export LC_ALL=C.UTF-8
case "$arch" in
x86) export WINEARCH=win32; exec wine "$@" ;;
x64) export WINEARCH=win64; exec /usr/lib/wine/wine64 "$@" ;;
*) echo "usage: $0 x86|x64 PREFIX PROGRAM [ARGS...]" >&2; exit 2 ;;
esac
