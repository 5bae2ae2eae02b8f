#!/bin/sh
# Installs what is missing, builds every target and runs every test:
# Linux unit tests (plain and with ASan/UBSan), the fuzzer for a bounded time,
# and the Windows tests under Wine for both architectures (the 32-bit ones where
# the machine can run 32-bit programs; elsewhere the run says why not).
set -eu
cd "$(dirname "$0")/.."
[ "${QUORVEX_SKIP_INSTALL:-}" = 1 ] || scripts/install-deps.sh

for preset in native native-sanitize windows-x64 windows-x86; do
    echo "=== $preset ==="
    scripts/build.sh "$preset"
    ctest --preset "$preset" --output-on-failure
done

echo "=== demo ==="
examples/run-demo.sh
