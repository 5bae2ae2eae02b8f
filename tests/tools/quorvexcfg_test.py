#!/usr/bin/env python3
"""Runs the real quorvexcfg (natively or under an emulator such as Wine) over
files this script writes, and compares exit status, standard output (or the
file `write` makes) and standard error with the expected ones, one table row
per case; then a dump -> write round trip and, with --git, the tool as git's
diff driver in a throwaway repository."""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile


def utf16(text, mark=True):
    return (b"\xff\xfe" if mark else b"") + text.encode("utf-16-le", "surrogatepass")


def config(version, *lines):
    return utf16(version + "\r\n" + "".join(line + "\r\n" for line in lines))


def json_lines(*records):
    return "".join(r + "\n" for r in records).encode("utf-8")


V = '{"token":"v","name":"1.4.2"}'
W = ["write", "out.cfg"]
IN = "quorvexcfg: standard input line 2:"

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
    ("dump of the worked example", ["dump", "examples/worked-example.cfg"], 0, WORKED_EXAMPLE_DUMP, ""),
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
    ("dump of a file with a non-ASCII name", ["dump", "t\u00e9st.cfg"], 0, '{"token":"v","name":"1.0"}\n', ""),
    ("dump of a missing file", ["dump", "missing.cfg"], 2, "",
     "quorvexcfg: missing.cfg: file not found (0x80070002)\n"),
    ("dump of a folder", ["dump", "folder"], 2, "", "quorvexcfg: folder: access denied (0x80070005)\n"),
    ("dump without a file", ["dump"], 2, "", ("starts", "Usage: quorvexcfg dump FILE\n")),
    ("dump of two files", ["dump", "valid.cfg", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("check of valid files is silent", ["check", "valid.cfg", "also-valid.cfg", "examples/worked-example.cfg"], 0,
     "", ""),
    ("check reports each refused file", ["check", "valid.cfg", "unclosed.cfg", "newer.cfg"], 1, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
     "newer.cfg:3: Section is not understood\n!OPTIONS MUST_UNDERSTAND\n"),
    ("check with an unreadable file", ["check", "unclosed.cfg", "missing.cfg", "valid.cfg"], 2, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
     "quorvexcfg: missing.cfg: file not found (0x80070002)\n"),
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
    ("diff of one file", ["diff", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("help", ["--help"], 0, ("contains", "check FILE..."), ""),
    ("no command", [], 2, "", ("starts", "Usage:")),
    ("unknown command", ["list", "valid.cfg"], 2, "", ("starts", "quorvexcfg: unknown command list\nUsage:")),
    # write: standard input ends the arguments, and the output is the bytes of out.cfg (None: none is left).
    ("write: version only", W + [json_lines(V)], 0, config("1.4.2"), ""),
    ("write: value cut at a null", W + [json_lines(V, r'{"token":"p","name":"1.0.0.1","value":"ab\u0000cd"}')], 0,
     config("1.4.2", '1.0.0.1="ab"'), ""),
    ("write: non-ASCII, pairs and lone surrogates as themselves",
     W + [json_lines(V, '{"token":"p","name":"1.0.0.1","value":"\u00e9\\uD83D\\uDE00\\uDC00\u4e2d"}')], 0,
     config("1.4.2", '1.0.0.1="\u00e9\U0001F600\udc00\u4e2d"'), ""),
    ("write: comments, ignored and test lines skipped",
     W + [json_lines(V, '{"token":";","name":" c"}', '{"token":"i","name":"x"}', '{"token":"t","name":"y"}',
                     '{"token":"s","name":"1.0.0.1"}')], 0, config("1.4.2", "1.0.0.1="), ""),
    ("write: identifier and version as given",
     W + [json_lines('{"token":"v","name":"not a version"}', '{"token":"s","name":"not an id"}')], 0,
     config("not a version", "not an id="), ""),
    ("write: members in any order, blank lines and CR LF input",
     W + [b'{"name":"1.0","token":"v"}\r\n\r\n{ "value" : "v" , "name" : "1.0.0.1" , "token" : "p" }\r\n'], 0,
     config("1.0", '1.0.0.1="v"'), ""),
    ("write: empty input", W + [b""], 1, None, ("starts", "quorvexcfg: standard input: no version record")),
    ("write: tag before the version", W + [json_lines('{"token":"s","name":"1.0.0.1"}', V)], 1, None,
     ("starts", "quorvexcfg: standard input line 1:")),
    ("write: no file named", ["write", json_lines(V)], 2, None, ("starts", "Usage:")),
    ("write: two files named", ["write", "a.cfg", "b.cfg", json_lines(V)], 2, None, ("starts", "Usage:")),
    ("write: file in a missing folder", ["write", "missing/out.cfg", json_lines(V)], 2, None,
     ("starts", "quorvexcfg: missing/out.cfg: cannot be written")),
]

# Records write refuses on line 2, after a good version record.
for refused_name, record in [
        ("second version", V), ("not JSON", '1.0.0.1="x"'), ("unterminated string", '{"token":"s","name":"1.0'),
        ("dump of a refused file", '{"error":{"kind":"parse","line":2,"text":"x","message":"m"}}'),
        ("bad \\u escape", r'{"token":"p","name":"1","value":"\u12G4"}'),
        ("p without value", '{"token":"p","name":"1.0.0.1"}'), ("number member", '{"token":"s","name":1}'),
        ("s with value", '{"token":"s","name":"1.0.0.1","value":"x"}'),
        ("unknown token", '{"token":"q","name":"1.0.0.1"}')]:
    CASES.append(("write: " + refused_name, W + [json_lines(V, record)], 1, None, ("starts", IN)))


def matches(expected, actual):
    if isinstance(expected, tuple):
        how, text = expected
        return actual.startswith(text) if how == "starts" else text in actual
    return actual == expected


def run_case(command, work, args, status, stdout, stderr):
    """The problems of one row, if any."""
    stdin = args.pop() if args and isinstance(args[-1], bytes) else b""
    out_file = os.path.join(work, "out.cfg")
    run = subprocess.run(command + args, cwd=work, input=stdin, capture_output=True, timeout=120)
    out, err = run.stdout.decode("utf-8", "replace"), run.stderr.decode("utf-8", "replace")
    problems = []
    if run.returncode != status:
        problems.append("exit status %d, expected %d" % (run.returncode, status))
    if args[:1] == ["write"]:
        written = open(out_file, "rb").read() if os.path.exists(out_file) else None
        if written != stdout:
            problems.append("out.cfg holds %r, expected %r" % (written, stdout))
        if written is not None:
            os.remove(out_file)
    elif not matches(stdout, out):
        problems.append("standard output:\n%s\nexpected:\n%s" % (out, stdout))
    if not matches(stderr, err):
        problems.append("standard error:\n%s\nexpected:\n%s" % (err, stderr))
    return problems


def round_trip(command, work):
    """write(dump(file)) gives a file in the writer's own form back byte for byte."""
    original = config("1.4.2", r'1.0.2A.FF="data\\in\tend \"q\" \r\n"', "1.0.2A.100=", '1.0.2B.1="\u00e9"')
    with open(os.path.join(work, "own.cfg"), "wb") as f:
        f.write(original)
    dump = subprocess.run(command + ["dump", "own.cfg"], cwd=work, capture_output=True, timeout=120)
    subprocess.run(command + ["write", "again.cfg"], cwd=work, input=dump.stdout, timeout=120)
    with open(os.path.join(work, "again.cfg"), "rb") as f:
        return [] if f.read() == original else ["own.cfg: written bytes differ from the original"]


def git_diff(command, work):
    """A committed file, one tag changed by write: git diff shows that tag's line and no other."""
    env = dict(os.environ, HOME=work, GIT_CONFIG_NOSYSTEM="1")

    def git(*args):
        return subprocess.run(["git"] + list(args), cwd=work, env=env, capture_output=True, check=True).stdout

    git("init", "-q")
    git("config", "user.name", "Quorvex test")
    git("config", "user.email", "test@example.invalid")
    git("config", "diff.quorvexcfg.textconv", " ".join(map(shlex.quote, command)) + " dump")
    with open(os.path.join(work, ".gitattributes"), "w") as f:
        f.write("*.cfg diff=quorvexcfg\n")
    tags = json_lines(V, '{"token":"p","name":"1.0.2A.FF","value":"pump 1"}', '{"token":"s","name":"1.0.2A.100"}')
    subprocess.run(command + ["write", "plant.cfg"], cwd=work, input=tags)
    git("add", "plant.cfg", ".gitattributes")
    git("commit", "-q", "-m", "plant")
    subprocess.run(command + ["write", "plant.cfg"], cwd=work, input=tags.replace(b"pump 1", b"pump 2"))
    diff = git("diff").decode()
    changed = [l for l in diff.splitlines() if l[:1] in "+-" and not l.startswith(("+++", "---"))]
    expected = ['-{"token":"p","name":"1.0.2A.FF","value":"pump 1"}', '+{"token":"p","name":"1.0.2A.FF","value":"pump 2"}']
    return [] if changed == expected else ["git diff shows\n%s\nexpected the lines %s" % (diff, expected)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--examples", required=True)
    parser.add_argument("--golden", required=True, help="folder of golden.jsonl and golden.cfg")
    parser.add_argument("--git", action="store_true", help="also check the tool as git's diff driver")
    options = parser.parse_args()
    # The component's write test under Wine compares its own output with the same golden.cfg.
    with open(os.path.join(options.golden, "golden.jsonl"), "rb") as f, \
            open(os.path.join(options.golden, "golden.cfg"), "rb") as g:
        CASES.append(("write: golden.jsonl gives golden.cfg", W + [f.read()], 0, g.read(), ""))

    work = tempfile.mkdtemp(prefix="quorvexcfg-test-")
    try:
        # The samples are copied so that the tool sees the same relative paths everywhere.
        shutil.copytree(options.examples, os.path.join(work, "examples"))
        os.mkdir(os.path.join(work, "folder"))
        for name, data in FILES.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)

        command = ([options.emulator] if options.emulator else []) + [options.tool]
        results = [(name, run_case(command, work, list(args), status, stdout, stderr))
                   for name, args, status, stdout, stderr in CASES]
        results.append(("round trip", round_trip(command, work)))
        if options.git:
            results.append(("git diff driver", git_diff(command, work)))
        failures = [(name, problems) for name, problems in results if problems]
        for name, problems in failures:
            print("FAIL: %s\n  %s" % (name, "\n  ".join(problems)))
        print("%d of %d cases failed" % (len(failures), len(results)))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
