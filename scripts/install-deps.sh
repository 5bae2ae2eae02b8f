#!/bin/sh
# Installs everything the builds, tests, demo and benchmarks need (Debian 12).
set -eu
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y \
    cmake ninja-build g++ clang libclang-rt-14-dev python3 git \
    googletest libbenchmark-dev rapidjson-dev \
    wine wine64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
    mingw-w64-tools libwine-dev binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
