#!/usr/bin/env python3
"""Runs the real quorvexcfg (natively or under an emulator such as Wine) over
files this script writes, and compares exit status, standard output and
standard error with the expected ones. One table row per case."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def utf16(text, mark=True):
    return (b"\xff\xfe" if mark else b"") + text.encode("utf-16-le", "surrogatepass")


WORKED_EXAMPLE_DUMP = (
    '{"token":"v","name":"1.4.2"}\n'
    '{"token":"p","name":"1.0.2A.FF","value":"data\\\\in\\u0009end"}\n'
    '{"token":"s","name":"1.0.2A.100"}\n'
    '{"token":";","name":" added by hand"}\n'
    '{"token":"p","name":"1.0.2B.1","value":"-1"}\n'
    '{"token":"i","name":"color = blue"}\n'
    '{"token":"t","name":"check point 1"}\n'
)

FILES = {
    "valid.cfg": b'1.0\r\n1.0.0.1="a"\r\n',
    "also-valid.cfg": utf16('2.0.1\r\n1.0.0.1=\r\n'),
    "unclosed.cfg": b'1.0\r\n1.0.0.1="abc\r\n',
    "escapes.cfg": utf16('1.0\r\n1.0.0.1="q\\"b\\\\t\\t\u00e9\U0001F600\ud800x"\r\n'),
    "newer.cfg": b"1.0\r\n1.0.0.1=\r\n!OPTIONS MUST_UNDERSTAND\r\n!END\r\n",
    "end-directive.cfg": b"1.0\r\n!TEST END\r\n",
    "comment-first.cfg": b"; c\r\n1.0\r\n",
    "t\u00e9st.cfg": b"1.0\r\n",
    "~alid.cfg": b'1.0\r\n1.0.0.1="a',
    "valid-utf16.cfg": utf16('1.0\r\n; note\r\n1.0.0.1="a"\r\n'),
    "changed.cfg": b'1.0\r\n1.0.0.1="b"\r\n1.0.0.2=""\r\n',
    "empty-value.cfg": utf16('2.0.1\r\n1.0.0.1=""\r\n'),
}

REFUSED_UNCLOSED = '{"error":{"kind":"parse","line":2,"text":"1.0.0.1=\\"abc","message":"Expected: Closing quote"}}\n'

# (name, arguments, exit status, standard output, standard error)
# An output given as ("starts", text) or ("contains", text) is matched loosely.
CASES = [
    ("dump of the worked example", ["dump", "{examples}/worked-example.cfg"], 0, WORKED_EXAMPLE_DUMP, ""),
    ("dump of a valid 8-bit file", ["dump", "valid.cfg"], 0,
     '{"token":"v","name":"1.0"}\n{"token":"p","name":"1.0.0.1","value":"a"}\n', ""),
    ("dump escapes quotes, backslashes and everything beyond ASCII", ["dump", "escapes.cfg"], 0,
     '{"token":"v","name":"1.0"}\n'
     '{"token":"p","name":"1.0.0.1","value":"q\\"b\\\\t\\u0009\\u00E9\\uD83D\\uDE00\\uD800x"}\n', ""),
    ("dump of a refused file ends with the error", ["dump", "unclosed.cfg"], 1,
     '{"token":"v","name":"1.0"}\n' + REFUSED_UNCLOSED, ""),
    ("dump names a newer version", ["dump", "newer.cfg"], 1,
     '{"token":"v","name":"1.0"}\n{"token":"s","name":"1.0.0.1"}\n'
     '{"error":{"kind":"newer-version","line":3,"text":"!OPTIONS MUST_UNDERSTAND","message":"Section is not understood"}}\n',
     ""),
    ("dump names an unexpected directive", ["dump", "end-directive.cfg"], 1,
     '{"token":"v","name":"1.0"}\n'
     '{"error":{"kind":"unexpected","line":2,"text":"!TEST END","message":"Unexpected directive"}}\n', ""),
    ("dump refuses before any token", ["dump", "comment-first.cfg"], 1,
     '{"error":{"kind":"parse","line":1,"text":";","message":"Expected: Numeric digit"}}\n', ""),
    ("dump of a file with a non-ASCII name", ["dump", "t\u00e9st.cfg"], 0, '{"token":"v","name":"1.0"}\n', ""),
    ("dump of a missing file", ["dump", "missing.cfg"], 2, "",
     "quorvexcfg: missing.cfg: file not found (0x80070002)\n"),
    ("dump of a folder", ["dump", "folder"], 2, "", "quorvexcfg: folder: access denied (0x80070005)\n"),
    ("dump without a file", ["dump"], 2, "", ("starts", "Usage: quorvexcfg dump FILE\n")),
    ("dump of two files", ["dump", "valid.cfg", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("check of valid files is silent", ["check", "valid.cfg", "also-valid.cfg", "{examples}/worked-example.cfg"], 0,
     "", ""),
    ("check reports each refused file", ["check", "valid.cfg", "unclosed.cfg", "newer.cfg"], 1, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
     "newer.cfg:3: Section is not understood\n!OPTIONS MUST_UNDERSTAND\n"),
    ("check with an unreadable file", ["check", "unclosed.cfg", "missing.cfg", "valid.cfg"], 2, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
     "quorvexcfg: missing.cfg: file not found (0x80070002)\n"),
    ("check of the refused samples", ["check", "{examples}/newer-version.cfg", "{examples}/unclosed-quote.cfg"], 1, "",
     "{examples}/newer-version.cfg:4: Section is not understood\n!ALARMS MUST_UNDERSTAND\n"
     '{examples}/unclosed-quote.cfg:3: Expected: Closing quote\n1.0.2A.101="pump 2\n'),
    ("check without files", ["check"], 2, "", ("starts", "Usage:")),
    ("check skips a temporary file left by a cut-off write", ["check", "valid.cfg", "~alid.cfg", "folder/../~alid.cfg"], 0,
     "", "quorvexcfg: ~alid.cfg: skipped, the temporary file of a write that was cut off\n"
     "quorvexcfg: folder/../~alid.cfg: skipped, the temporary file of a write that was cut off\n"),
    ("dump refuses a temporary file", ["dump", "~alid.cfg"], 2, "",
     "quorvexcfg: ~alid.cfg: skipped, the temporary file of a write that was cut off\n"),
    ("diff of equal files in either encoding", ["diff", "valid.cfg", "valid-utf16.cfg"], 0, "", ""),
    ("diff: changed and added", ["diff", "valid.cfg", "changed.cfg"], 1, '~ 1.0.0.1 "a" -> "b"\n+ 1.0.0.2 ""\n', ""),
    ("diff: changed and removed", ["diff", "changed.cfg", "valid.cfg"], 1, '~ 1.0.0.1 "b" -> "a"\n- 1.0.0.2 ""\n', ""),
    ("diff tells no value from an empty one", ["diff", "also-valid.cfg", "empty-value.cfg"], 1,
     '~ 1.0.0.1 (no value) -> ""\n', ""),
    ("diff reports the version first", ["diff", "valid.cfg", "also-valid.cfg"], 1,
     'version "1.0" -> "2.0.1"\n~ 1.0.0.1 "a" -> (no value)\n', ""),
    ("diff --json", ["diff", "--json", "changed.cfg", "also-valid.cfg"], 1,
     '{"change":"version","old":"1.0","new":"2.0.1"}\n{"change":"changed","id":"1.0.0.1","old":"b","new":null}\n'
     '{"change":"removed","id":"1.0.0.2","old":""}\n', ""),
    ("diff with a refused file", ["diff", "valid.cfg", "unclosed.cfg"], 2, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'),
    ("diff with a missing file", ["diff", "missing.cfg", "valid.cfg"], 2, "",
     "quorvexcfg: missing.cfg: file not found (0x80070002)\n"),
    ("diff of one file", ["diff", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("help", ["--help"], 0, ("contains", "check FILE..."), ""),
    ("no command", [], 2, "", ("starts", "Usage:")),
    ("unknown command", ["list", "valid.cfg"], 2, "", ("starts", "quorvexcfg: unknown command list\nUsage:")),
]


def matches(expected, actual):
    if isinstance(expected, tuple):
        how, text = expected
        return actual.startswith(text) if how == "starts" else text in actual
    return actual == expected


def substitute(value, examples):
    if isinstance(value, tuple):
        return (value[0], value[1].replace("{examples}", examples))
    return value.replace("{examples}", examples)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--examples", required=True)
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="quorvexcfg-test-")
    try:
        # The samples are copied so that the tool sees the same relative paths everywhere.
        shutil.copytree(options.examples, os.path.join(work, "examples"))
        os.mkdir(os.path.join(work, "folder"))
        for name, data in FILES.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)

        command = ([options.emulator] if options.emulator else []) + [options.tool]
        failures = 0
        for name, args, status, stdout, stderr in CASES:
            args = [substitute(a, "examples") for a in args]
            stdout, stderr = substitute(stdout, "examples"), substitute(stderr, "examples")
            run = subprocess.run(command + args, cwd=work, capture_output=True, timeout=120)
            out = run.stdout.decode("utf-8", "replace")
            err = run.stderr.decode("utf-8", "replace")
            problems = []
            if run.returncode != status:
                problems.append("exit status %d, expected %d" % (run.returncode, status))
            if not matches(stdout, out):
                problems.append("standard output:\n%s\nexpected:\n%s" % (out, stdout))
            if not matches(stderr, err):
                problems.append("standard error:\n%s\nexpected:\n%s" % (err, stderr))
            if problems:
                failures += 1
                print("FAIL: %s (%s)\n  %s" % (name, " ".join(args), "\n  ".join(problems)))
            else:
                print("ok: %s" % name)
        print("%d of %d cases failed" % (failures, len(CASES)))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
