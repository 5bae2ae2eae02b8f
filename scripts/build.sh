#!/bin/sh
# build.sh PRESET...: configures and builds each preset.
set -eu
cd "$(dirname "$0")/.."
for preset in "$@"; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
