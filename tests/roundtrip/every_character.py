#!/usr/bin/env python3
"""Every UTF-16 code unit but U+0000, each in a value between two letters,
grouped in a few files. The expected bytes of each file are built here from the
escaping rules and the table of the Windows runtime's character classes that
the Linux build carries; both platforms' files must be exactly those bytes.

  every_character.py --table RUNS.inc native --tool quorvexcfg --work DIR
      writes each group with quorvexcfg write (its JSON cannot carry a lone high
      surrogate, so that group is left out), compares the bytes, and reads each
      file back with quorvexcfg dump: every value comes back as it was written,
      and a file of the control characters, which take the \\x form, is
      refused at its first value.
  every_character.py --table RUNS.inc compare --files DIR
      compares the files the Windows test wrote with ConfigFile, every group.
"""

import argparse
import json
import os
import re
import subprocess
import sys

VERSION = "1.0"
CNTRL = 0x10
HIGH_SURROGATES = range(0xD800, 0xDC00)
ESCAPE_REFUSED = "Expected: Escaped character (BACKSLASH, N, T, R, QUOTE)"


def controls(table_path):
    """The codes whose classes include CNTRL, from the runs of the table."""
    with open(table_path, encoding="ascii") as table:
        runs = [(int(first, 16), int(classes, 16))
                for first, classes in re.findall(r"\{0x([0-9A-F]{4}), 0x([0-9A-F]{2})\}", table.read())]
    result = set()
    for (first, classes), (end, _) in zip(runs, runs[1:] + [(0x10000, 0)]):
        if classes & CNTRL:
            result.update(range(first, end))
    return result


def groups(control_codes):
    """File name -> the codes it holds, in order. Controls other than TAB, LF
    and CR take the \\x form, which no reader takes back: they have a file of
    their own, as have the high surrogates."""
    escaped = sorted(c for c in control_codes if c not in (0, 0x09, 0x0A, 0x0D))
    result = {}
    for block in range(16):
        result["chars-%X.cfg" % block] = [c for c in range(max(block << 12, 1), (block + 1) << 12)
                                         if c not in control_codes or c in (0x09, 0x0A, 0x0D)
                                         if c not in HIGH_SURROGATES]
    result["high-surrogates.cfg"] = list(HIGH_SURROGATES)
    result["controls.cfg"] = escaped
    return result


def tag_id(code):
    return "0.0.0.%04X" % code


def written(code, control_codes):
    named = {0x09: "\\t", 0x0A: "\\n", 0x0D: "\\r", 0x22: '\\"', 0x5C: "\\\\"}
    if code in named:
        return named[code]
    if code in control_codes:
        return "\\x%04d" % code
    return chr(code)


def expected_bytes(codes, control_codes):
    text = "\ufeff" + VERSION + "\r\n"
    text += "".join('%s="a%sb"\r\n' % (tag_id(c), written(c, control_codes)) for c in codes)
    return text.encode("utf-16-le", "surrogatepass")


def byte_difference(name, actual, expected):
    """Empty when equal, else the lines that differ (the first few)."""
    if actual == expected:
        return []
    lines = [text.decode("utf-16-le", "surrogatepass").split("\r\n") for text in (actual, expected)]
    differing = [(a, e) for a, e in zip(*lines) if a != e]
    shown = "; ".join("%r instead of %r" % pair for pair in differing[:5])
    return ["%s: not the expected bytes (%d lines differ: %s)" % (name, len(differing), shown or "lengths")]


def json_input(codes):
    lines = [json.dumps({"token": "v", "name": VERSION})]
    lines += ['{"token":"p","name":"%s","value":"a\\u%04Xb"}' % (tag_id(c), c) for c in codes]
    return ("\n".join(lines) + "\n").encode("ascii")


def run_native(options, files, control_codes):
    failures = []
    os.makedirs(options.work, exist_ok=True)
    for name, codes in files.items():
        if name == "high-surrogates.cfg":
            continue
        path = os.path.join(options.work, name)
        subprocess.run([options.tool, "write", path], input=json_input(codes), check=True)
        with open(path, "rb") as f:
            failures += byte_difference(name, f.read(), expected_bytes(codes, control_codes))
        dump = subprocess.run([options.tool, "dump", path], capture_output=True)
        records = [json.loads(line) for line in dump.stdout.decode("utf-8").splitlines()]
        if name == "controls.cfg":
            error = records[-1].get("error", {})
            if dump.returncode != 1 or error.get("line") != 2 or error.get("message") != ESCAPE_REFUSED:
                failures.append("%s: not refused at the first \\x: %r" % (name, records[-1]))
            continue
        values = [r.get("value") for r in records[1:]]
        if dump.returncode != 0 or values != ["a" + chr(c) + "b" for c in codes]:
            failures.append("%s: read back differently (exit %d): %r" % (name, dump.returncode, records[-1]))
    return failures, len(files) - 1


def compare(options, files, control_codes):
    failures = []
    for name, codes in files.items():
        path = os.path.join(options.files, name)
        if not os.path.exists(path):
            failures.append("%s: missing (the Windows test writes it)" % name)
            continue
        with open(path, "rb") as f:
            failures += byte_difference(name, f.read(), expected_bytes(codes, control_codes))
    return failures, len(files)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True)
    commands = parser.add_subparsers(dest="command", required=True)
    native = commands.add_parser("native")
    native.add_argument("--tool", required=True)
    native.add_argument("--work", required=True)
    windows = commands.add_parser("compare")
    windows.add_argument("--files", required=True)
    options = parser.parse_args()
    control_codes = controls(options.table)
    files = groups(control_codes)
    check = run_native if options.command == "native" else compare
    failures, count = check(options, files, control_codes)
    for failure in failures:
        print(failure)
    units = sum(len(files[name]) for name in files)
    print("%d files checked of %d code units in %d files, %d failures" % (count, units, len(files), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
