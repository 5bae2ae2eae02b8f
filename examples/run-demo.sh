#!/bin/sh
# The main job: Quorvex3 at work in a client application, under Wine, for the
# 32-bit component (the target) and the 64-bit one, each in its own prefix:
#  1. registers TagServer.dll and Quorvex3.dll in the build's private prefix;
#  2. QuorvexDemo fills a collection through the tag server and writes it;
#  3. quorvexcfg dump shows the file the component wrote;
#  4. QuorvexDemo reads it back into a new collection, reporting QueryLoad's
#     two versions, and prints what it loaded;
# then the tour of the format and its errors on the sample files.
# Builds are the caller's (native, windows-x86 and windows-x64 presets). Build
# folders can be overridden: QUORVEX_NATIVE_BUILD, QUORVEX_WINDOWS_BUILDS.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
native_build=${QUORVEX_NATIVE_BUILD:-build/native}
windows_builds=${QUORVEX_WINDOWS_BUILDS:-build/windows-x86 build/windows-x64}
work=$(mktemp -d)
prefix=

stop() {
    [ -z "$prefix" ] || cmake/wine-prefix.sh stop "$prefix"
    rm -rf "$work"
}
trap stop EXIT

# demo_component BUILD: the component of one Windows build, in its own prefix.
demo_component() {
    build="$root/$1"
    bin="$build/bin"
    arch=${1##*-}  # build/windows-x86 -> x86
    prefix="$build/wineprefix"
    wine_run="$root/cmake/wine.sh $arch $prefix"
    echo "######## The $arch component ($1)"
    if ! reason=$($wine_run --version 2>&1); then
        echo "Not shown: this machine cannot run the $arch Wine loader: $reason"
        prefix=
        echo
        return
    fi
    cmake/wine-prefix.sh start "$prefix" "$arch"
    windows_path() { $wine_run winepath -w "$1" 2>/dev/null; }

    echo "===== Registering the tag server and Quorvex3 in $prefix"
    for dll in TagServer.dll Quorvex3.dll; do
        (cd "$bin" && $wine_run regsvr32 /s "$(windows_path "$bin/$dll")")
        echo "registered $dll"
    done

    config="$work/plant-$arch.cfg"
    echo
    echo "===== QuorvexDemo write: a collection through the tag server, into a configuration file"
    (cd "$bin" && $wine_run QuorvexDemo.exe write "$(windows_path "$config")")

    echo
    echo "===== quorvexcfg dump: the file as the reader sees it ($(wc -c <"$config") bytes, UTF-16 with mark)"
    "$native_build/bin/quorvexcfg" dump "$config"

    echo
    echo "===== QuorvexDemo read: the file back into a new collection"
    (cd "$bin" && $wine_run QuorvexDemo.exe read "$(windows_path "$config")")
    cmake/wine-prefix.sh stop "$prefix"
    prefix=
    echo
}

for build in $windows_builds; do
    demo_component "$build"
done
QUORVEX_NATIVE_BUILD=$native_build QUORVEX_WINDOWS_BUILD=build/windows-x64 examples/format-tour.sh
