#!/bin/sh
# Shows the configuration format and its errors: runs `quorvexcfg dump` and
# `quorvexcfg check` on the sample files, with the Linux build and, when it
# has been built, the 64-bit Windows build under Wine. Builds are the caller's.
#
# The samples:
#   worked-example.cfg   UTF-16 with byte-order mark: tags, an empty tag, a
#                        comment, an ignored section and a test section (valid)
#   newer-version.cfg    UTF-16: a MUST_UNDERSTAND section this reader does not
#                        know, so a newer application is required (refused)
#   unclosed-quote.cfg   8-bit text: a value whose closing quote is missing (refused)
#
# Build folders can be overridden: QUORVEX_NATIVE_BUILD, QUORVEX_WINDOWS_BUILD.
set -u
cd "$(dirname "$0")/.."
native_build=${QUORVEX_NATIVE_BUILD:-build/native}
windows_build=${QUORVEX_WINDOWS_BUILD:-build/windows-x64}
valid="examples/worked-example.cfg"
refused="examples/newer-version.cfg examples/unclosed-quote.cfg"
failures=0

# expect STATUS COMMAND...: runs the command and notes a different exit status.
expect() {
    wanted=$1
    shift
    "$@"
    status=$?
    if [ "$status" -ne "$wanted" ]; then
        echo "!! exit status $status, expected $wanted: $*" >&2
        failures=$((failures + 1))
    fi
}

# demo LABEL COMMAND...: the whole tour with one build of the tool.
demo() {
    label=$1
    shift
    echo "===== quorvexcfg, $label ====="
    for file in $valid; do
        echo "--- dump $file (valid: exit 0)"
        expect 0 "$@" dump "$file"
    done
    for file in $refused; do
        echo "--- dump $file (refused: exit 1)"
        expect 1 "$@" dump "$file"
    done
    echo "--- check $valid $refused (exit 1, refused files on standard error)"
    expect 1 "$@" check $valid $refused 2>&1
    echo
}

if [ -x "$native_build/bin/quorvexcfg" ]; then
    demo "Linux ($native_build)" "$native_build/bin/quorvexcfg"
else
    echo "no $native_build/bin/quorvexcfg: build the native preset first" >&2
    failures=$((failures + 1))
fi

if [ -f "$windows_build/bin/quorvexcfg.exe" ] && [ -x "$windows_build/wine-run" ]; then
    demo "Windows x64 under Wine ($windows_build)" "$windows_build/wine-run" "$windows_build/bin/quorvexcfg.exe"
else
    echo "(no $windows_build/bin/quorvexcfg.exe: the Windows part of the demo is skipped)"
fi

if [ "$failures" -ne 0 ]; then
    echo "demo: $failures unexpected result(s)" >&2
    exit 1
fi
echo "demo: every sample gave the expected result"
