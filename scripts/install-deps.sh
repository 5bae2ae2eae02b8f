#!/bin/sh
# Installs what the builds, tests, demo and benchmarks need (Debian 12), and
# only what is missing: with everything present the package manager is never
# called.
set -eu
PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev python3 git dpkg-dev man-db
    googletest libbenchmark-dev rapidjson-dev
    wine wine64 wine32:i386 wixl msitools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    mingw-w64-tools libwine-dev binutils-mingw-w64-x86-64 binutils-mingw-w64-i686"

missing=
for package in $PACKAGES; do
    # A package dpkg knows but has removed is listed with another status.
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing="$missing $package"
done
if [ -z "$missing" ]; then
    echo "All required packages are installed; nothing to install."
    exit 0
fi
echo "Installing missing packages:$missing"

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture: added only when it is not there.
case "$missing" in
*:i386*) dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386 ;;
esac
$SUDO apt-get update
# Never removes a package to make room for another.
# shellcheck disable=SC2086 # one word per package
$SUDO apt-get install -y --no-remove $missing
