#!/usr/bin/env python3
"""Every UTF-16 code unit but U+0000 in a value between two letters, in a few
files. Their bytes are built here from the escaping rules and the table of the
Windows runtime's character classes; each platform's files must be those bytes.

  every_character.py --table RUNS.inc native --tool quorvexcfg --work DIR
      writes the files with quorvexcfg write (whose JSON cannot carry a lone
      high surrogate: that file is left out) and reads them back with dump.
  every_character.py --table RUNS.inc compare --files DIR
      checks the files that ConfigFile wrote in the Windows test."""

import argparse
import json
import os
import re
import subprocess
import sys

NAMED = {0x09: "\\t", 0x0A: "\\n", 0x0D: "\\r", 0x22: '\\"', 0x5C: "\\\\"}
ESCAPE_REFUSED = "Expected: Escaped character (BACKSLASH, N, T, R, QUOTE)"


def controls(table_path):
    with open(table_path, encoding="ascii") as table:
        runs = [(int(a, 16), int(b, 16)) for a, b in re.findall(r"\{0x(\w{4}), 0x(\w{2})\}", table.read())]
    return {c for (first, classes), (end, _) in zip(runs, runs[1:] + [(0x10000, 0)]) if classes & 0x10
            for c in range(first, end)}


def files(control_codes):
    """File name -> its codes. The controls that take the \\x form, which no
    reader takes back, and the high surrogates have files of their own."""
    x_form = control_codes - set(NAMED)
    high = range(0xD800, 0xDC00)
    result = {"chars-%X.cfg" % block: [c for c in range(max(block << 12, 1), (block + 1) << 12)
                                      if c not in x_form and c not in high] for block in range(16)}
    result["high-surrogates.cfg"] = list(high)
    result["controls.cfg"] = sorted(x_form - {0})
    return result


def expected_bytes(codes, control_codes):
    def written(c):
        return NAMED.get(c) or ("\\x%04d" % c if c in control_codes else chr(c))
    text = "\ufeff1.0\r\n" + "".join('0.0.0.%04X="a%sb"\r\n' % (c, written(c)) for c in codes)
    return text.encode("utf-16-le", "surrogatepass")


def byte_failures(name, path, codes, control_codes):
    if not os.path.exists(path):
        return ["%s: missing" % name]
    with open(path, "rb") as f:
        actual = f.read().decode("utf-16-le", "surrogatepass").split("\r\n")
    expected = expected_bytes(codes, control_codes).decode("utf-16-le", "surrogatepass").split("\r\n")
    differing = [(a, e) for a, e in zip(actual, expected) if a != e]
    if actual == expected:
        return []
    return ["%s: %d lines differ, %d lines for %d: %s" % (name, len(differing), len(actual), len(expected),
                                                         "; ".join("%r, not %r" % d for d in differing[:5]))]


def native(options, groups, control_codes):
    failures = []
    os.makedirs(options.work, exist_ok=True)
    for name, codes in groups.items():
        if name == "high-surrogates.cfg":
            continue
        path = os.path.join(options.work, name)
        records = ['{"token":"v","name":"1.0"}'] + ['{"token":"p","name":"0.0.0.%04X","value":"a\\u%04Xb"}' % (c, c)
                                                   for c in codes]
        subprocess.run([options.tool, "write", path], input="\n".join(records).encode(), check=True)
        failures += byte_failures(name, path, codes, control_codes)
        dump = subprocess.run([options.tool, "dump", path], capture_output=True)
        read = [json.loads(line) for line in dump.stdout.decode().splitlines()]
        if name == "controls.cfg":
            if dump.returncode != 1 or read[-1] != {"error": {"kind": "parse", "line": 2, "text": '0.0.0.0001="a\\x',
                                                              "message": ESCAPE_REFUSED}}:
                failures.append("%s: not refused at its first \\x: %r" % (name, read[-1]))
        elif dump.returncode != 0 or [r.get("value") for r in read[1:]] != ["a%cb" % c for c in codes]:
            failures.append("%s: read back otherwise (exit %d, last %r)" % (name, dump.returncode, read[-1]))
    return failures


def compare(options, groups, control_codes):
    return [failure for name, codes in groups.items()
            for failure in byte_failures(name, os.path.join(options.files, name), codes, control_codes)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True)
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("native").add_argument("--tool", required=True)
    commands.choices["native"].add_argument("--work", required=True)
    commands.add_parser("compare").add_argument("--files", required=True)
    options = parser.parse_args()
    control_codes = controls(options.table)
    groups = files(control_codes)
    failures = (native if options.command == "native" else compare)(options, groups, control_codes)
    print("\n".join(failures + ["%d code units in %d files, %d failures" %
                                (sum(map(len, groups.values())), len(groups), len(failures))]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
