#!/bin/sh
# Runs the write tests' disk-limit cases in a folder where a file cannot grow
# past 1 MiB: "fsize" by the process's file size limit (the write that crosses
# it comes back short, SIGXFSZ being ignored), "tmpfs" on a 1 MiB tmpfs
# (needs root; skipped with status 77 otherwise).
#   limited_disk.sh fsize|tmpfs WINE_RUN write_tests.exe
set -u
mode=$1 wine_run=$2 tests=$3
folder=$(mktemp -d /tmp/quorvex-limited-XXXXXX) || exit 1
cleanup() { [ "$mode" = tmpfs ] && umount "$folder" 2>/dev/null; rmdir "$folder"; }
trap cleanup EXIT
export QUORVEX_LIMITED_FOLDER="Z:$folder"
filter=--gtest_filter='DiskLimit*'
case $mode in
fsize)
    trap '' XFSZ
    prlimit --fsize=1048576 "$wine_run" "$tests" "$filter"
    ;;
tmpfs)
    [ "$(id -u)" = 0 ] || { echo "not root: no tmpfs"; exit 77; }
    mount -t tmpfs -o size=1m quorvex-limited "$folder" || { echo "cannot mount a tmpfs here"; exit 77; }
    "$wine_run" "$tests" "$filter"
    ;;
esac
