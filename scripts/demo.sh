#!/bin/sh
# Installs what is missing, builds, and runs the demo.
set -eu
cd "$(dirname "$0")/.."
[ "${QUORVEX_SKIP_INSTALL:-}" = 1 ] || scripts/install-deps.sh
scripts/build.sh native windows-x86 windows-x64
examples/run-demo.sh
