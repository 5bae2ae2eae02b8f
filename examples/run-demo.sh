#!/bin/sh
# The main job: Quorvex3 at work in a client application, under Wine.
#  1. registers TagServer.dll and Quorvex3.dll in the build's private prefix;
#  2. QuorvexDemo fills a collection through the tag server and writes it;
#  3. quorvexcfg dump shows the file the component wrote;
#  4. QuorvexDemo reads it back into a new collection, reporting QueryLoad's
#     two versions, and prints what it loaded;
#  5. the tour of the format and its errors on the sample files.
# Builds are the caller's (native and windows-x64 presets). Build folders can be
# overridden: QUORVEX_NATIVE_BUILD, QUORVEX_WINDOWS_BUILD.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
native_build=${QUORVEX_NATIVE_BUILD:-build/native}
windows_build=${QUORVEX_WINDOWS_BUILD:-build/windows-x64}
bin="$root/$windows_build/bin"
prefix="$root/$windows_build/wineprefix"
wine_run="$root/$windows_build/wine-run"
work=$(mktemp -d)

stop() {
    cmake/wine-prefix.sh stop "$prefix" x64
    rm -rf "$work"
}
trap stop EXIT
cmake/wine-prefix.sh start "$prefix" x64

windows_path() { "$wine_run" winepath -w "$1" 2>/dev/null; }

echo "===== Registering the tag server and Quorvex3 in $prefix"
for dll in TagServer.dll Quorvex3.dll; do
    (cd "$bin" && "$wine_run" regsvr32 /s "$(windows_path "$bin/$dll")")
    echo "registered $dll"
done

config="$work/plant.cfg"
echo
echo "===== QuorvexDemo write: a collection through the tag server, into a configuration file"
(cd "$bin" && "$wine_run" QuorvexDemo.exe write "$(windows_path "$config")")

echo
echo "===== quorvexcfg dump: the file as the reader sees it ($(wc -c <"$config") bytes, UTF-16 with mark)"
"$native_build/bin/quorvexcfg" dump "$config"

echo
echo "===== QuorvexDemo read: the file back into a new collection"
(cd "$bin" && "$wine_run" QuorvexDemo.exe read "$(windows_path "$config")")

echo
QUORVEX_NATIVE_BUILD=$native_build QUORVEX_WINDOWS_BUILD=$windows_build examples/format-tour.sh
