#!/usr/bin/env python3
"""Runs the real `quorvexcfg write` (natively or under an emulator such as
Wine): the bytes it writes for given JSON lines, its refusals of bad input,
and the round trip dump -> write -> dump over files the script makes; with
--git also `quorvexcfg dump` as git's diff driver in a throwaway repository."""

import argparse
import os
import random
import shlex
import shutil
import subprocess
import sys
import tempfile

MARK = b"\xff\xfe"
CRLF = "\r\n"


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


def config(version, *lines):
    return MARK + utf16(version + CRLF + "".join(line + CRLF for line in lines))


def json_lines(*records):
    return "".join(r + "\n" for r in records).encode("utf-8")


V = '{"token":"v","name":"1.4.2"}'

# (name, standard input, expected file bytes)
WRITTEN = [
    ("version only", json_lines(V), config("1.4.2")),
    ("tag with and without value", json_lines(V, '{"token":"p","name":"1.0.2A.FF","value":"x"}',
                                              '{"token":"s","name":"1.0.2A.100"}'),
     config("1.4.2", '1.0.2A.FF="x"', "1.0.2A.100=")),
    ("empty value keeps its quotes", json_lines(V, '{"token":"p","name":"1.0.0.1","value":""}'),
     config("1.4.2", '1.0.0.1=""')),
    ("named escapes", json_lines(V, r'{"token":"p","name":"1.0.0.1","value":"a\tb\nc\rd\"e\\f"}'),
     config("1.4.2", r'1.0.0.1="a\tb\nc\rd\"e\\f"')),
    ("other controls in decimal", json_lines(V, r'{"token":"p","name":"1.0.0.1","value":"\u0001\u001b\u007f"}'),
     config("1.4.2", r'1.0.0.1="\x0001\x0027\x0127"')),
    ("value cut at a null", json_lines(V, r'{"token":"p","name":"1.0.0.1","value":"ab\u0000cd"}'),
     config("1.4.2", '1.0.0.1="ab"')),
    ("non-ASCII, pairs and lone surrogates as themselves",
     json_lines(V, '{"token":"p","name":"1.0.0.1","value":"\u00e9\\uD83D\\uDE00\\uDC00\u4e2d"}'),
     config("1.4.2", '1.0.0.1="\u00e9\U0001F600\udc00\u4e2d"')),
    ("comments, ignored and test lines skipped",
     json_lines(V, '{"token":";","name":" c"}', '{"token":"i","name":"x"}', '{"token":"t","name":"y"}',
                '{"token":"s","name":"1.0.0.1"}'),
     config("1.4.2", "1.0.0.1=")),
    ("identifier and version as given", json_lines('{"token":"v","name":"not a version"}',
                                                   '{"token":"s","name":"not an id"}'),
     config("not a version", "not an id=")),
    ("members in any order, blank lines and CR LF input",
     b'{"name":"1.0","token":"v"}\r\n\r\n{ "value" : "v" , "name" : "1.0.0.1" , "token" : "p" }\r\n',
     config("1.0", '1.0.0.1="v"')),
]

# (name, arguments, standard input, exit status, start of standard error)
REFUSED = [
    ("empty input", ["out.cfg"], b"", 1, "quorvexcfg: standard input: no version record"),
    ("tag before the version", ["out.cfg"], json_lines('{"token":"s","name":"1.0.0.1"}', V), 1,
     "quorvexcfg: standard input line 1:"),
    ("second version", ["out.cfg"], json_lines(V, V), 1, "quorvexcfg: standard input line 2:"),
    ("dump of a refused file", ["out.cfg"],
     json_lines(V, '{"error":{"kind":"parse","line":2,"text":"x","message":"m"}}'), 1,
     "quorvexcfg: standard input line 2:"),
    ("not JSON", ["out.cfg"], json_lines(V, "1.0.0.1=\"x\""), 1, "quorvexcfg: standard input line 2:"),
    ("unterminated string", ["out.cfg"], json_lines(V, '{"token":"s","name":"1.0'), 1,
     "quorvexcfg: standard input line 2:"),
    ("bad \\u escape", ["out.cfg"], json_lines(V, r'{"token":"p","name":"1","value":"\u12G4"}'), 1,
     "quorvexcfg: standard input line 2:"),
    ("p without value", ["out.cfg"], json_lines(V, '{"token":"p","name":"1.0.0.1"}'), 1,
     "quorvexcfg: standard input line 2:"),
    ("s with value", ["out.cfg"], json_lines(V, '{"token":"s","name":"1.0.0.1","value":"x"}'), 1,
     "quorvexcfg: standard input line 2:"),
    ("unknown token", ["out.cfg"], json_lines(V, '{"token":"q","name":"1.0.0.1"}'), 1,
     "quorvexcfg: standard input line 2:"),
    ("number member", ["out.cfg"], json_lines(V, '{"token":"s","name":1}'), 1, "quorvexcfg: standard input line 2:"),
    ("no file named", [], json_lines(V), 2, "Usage:"),
    ("two files named", ["a.cfg", "b.cfg"], json_lines(V), 2, "Usage:"),
    ("file in a missing folder", ["missing/out.cfg"], json_lines(V), 2, "quorvexcfg: missing/out.cfg: cannot be written"),
]


def random_text(rng):
    pieces = ["a", "Z", " ", "\t", "\r", "\n", '"', "\\", "=", ";", "\u00e9", "\u4e2d", "\U0001F600", "x" * 30]
    return "".join(rng.choice(pieces) for _ in range(rng.randint(0, 12)))


def escaped(text):
    table = {"\t": "\\t", "\n": "\\n", "\r": "\\r", '"': '\\"', "\\": "\\\\"}
    return "".join(table.get(c, c) for c in text)


def round_trip_files():
    """Files in the writer's own form: write(dump(file)) must give them back byte for byte."""
    rng = random.Random(6)
    files = {"worked.cfg": config("1.4.2", '1.0.2A.FF="data\\\\in\\tend"', "1.0.2A.100=", '1.0.2B.1="-1"')}
    for n in range(3):
        lines = []
        for i in range(rng.randint(0, 300)):
            tag = "%X.%X.%X.%X" % (rng.randrange(16), rng.randrange(256), rng.randrange(4096), i)
            lines.append(tag + "=" if rng.random() < 0.1 else tag + '="' + escaped(random_text(rng)) + '"')
        files["random%d.cfg" % n] = config("%d.%d.%d" % (n, rng.randrange(10), rng.randrange(100)), *lines)
    return files


class Runner:
    def __init__(self, command, work):
        self.command, self.work = command, work

    def run(self, args, stdin=b""):
        return subprocess.run(self.command + args, cwd=self.work, input=stdin, capture_output=True, timeout=120)

    def path(self, name):
        return os.path.join(self.work, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def check_written(runner):
    failures = []
    for name, stdin, expected in WRITTEN:
        run = runner.run(["out.cfg"], stdin)
        actual = runner.read("out.cfg") if run.returncode == 0 else None
        if run.returncode != 0 or actual != expected:
            failures.append("%s: exit %d, %s\n  got      %r\n  expected %r"
                            % (name, run.returncode, run.stderr.decode(errors="replace"), actual, expected))
        if os.path.exists(runner.path("out.cfg")):
            os.remove(runner.path("out.cfg"))
    return failures, len(WRITTEN)


def check_refused(runner):
    failures = []
    for name, args, stdin, status, err in REFUSED:
        run = runner.run(args, stdin)
        text = run.stderr.decode(errors="replace")
        if run.returncode != status or not text.startswith(err) or os.path.exists(runner.path("out.cfg")):
            failures.append("%s: exit %d (expected %d), stderr %r, file left: %s"
                            % (name, run.returncode, status, text, os.path.exists(runner.path("out.cfg"))))
    return failures, len(REFUSED)


def check_round_trip(runner):
    failures = []
    files = round_trip_files()
    for name, data in files.items():
        with open(runner.path(name), "wb") as f:
            f.write(data)
        dump = runner.run(["dump", name])
        write = runner.run(["write", "again-" + name], dump.stdout)
        if dump.returncode != 0 or write.returncode != 0:
            failures.append("%s: dump exit %d, write exit %d: %s" % (name, dump.returncode, write.returncode,
                                                                      write.stderr.decode(errors="replace")))
        elif runner.read("again-" + name) != data:
            failures.append("%s: written bytes differ from the original" % name)
    # A hand-made file with comments and sections: its tags survive, the rest is dropped.
    dump = runner.run(["dump", "examples/worked-example.cfg"])
    write = runner.run(["write", "worked-again.cfg"], dump.stdout)
    again = runner.run(["dump", "worked-again.cfg"])
    tags_only = b"".join(l + b"\n" for l in dump.stdout.splitlines() if b'"token":"v"' in l or b'"token":"p"' in l
                         or b'"token":"s"' in l)
    if write.returncode != 0 or again.stdout != tags_only:
        failures.append("worked example: second dump\n%s\nexpected\n%s" % (again.stdout.decode(), tags_only.decode()))
    return failures, len(files) + 1


def check_golden(runner, folder):
    """The component's test under Wine compares its own output with the same golden.cfg."""
    with open(os.path.join(folder, "golden.jsonl"), "rb") as f:
        run = runner.run(["golden.cfg"], f.read())
    with open(os.path.join(folder, "golden.cfg"), "rb") as f:
        expected = f.read()
    if run.returncode != 0 or runner.read("golden.cfg") != expected:
        return ["golden.jsonl does not give golden.cfg: exit %d %s" % (run.returncode, run.stderr.decode(errors="replace"))]
    return []


def check_git_diff(runner):
    """A committed file, one tag changed by write: git diff shows that tag's line and no other."""
    env = dict(os.environ, HOME=runner.work, GIT_CONFIG_NOSYSTEM="1")

    def git(*args):
        return subprocess.run(["git"] + list(args), cwd=runner.work, env=env, capture_output=True, check=True).stdout

    git("init", "-q")
    git("config", "user.name", "Quorvex test")
    git("config", "user.email", "test@example.invalid")
    git("config", "diff.quorvexcfg.textconv", " ".join(map(shlex.quote, runner.command[:-1])) + " dump")
    with open(runner.path(".gitattributes"), "w") as f:
        f.write("*.cfg diff=quorvexcfg\n")
    tags = json_lines(V, '{"token":"p","name":"1.0.2A.FF","value":"pump 1"}', '{"token":"s","name":"1.0.2A.100"}')
    runner.run(["plant.cfg"], tags)
    git("add", "plant.cfg", ".gitattributes")
    git("commit", "-q", "-m", "plant")
    runner.run(["plant.cfg"], tags.replace(b"pump 1", b"pump 2"))
    diff = git("diff").decode()
    changed = [l for l in diff.splitlines() if l[:1] in "+-" and not l.startswith(("+++", "---"))]
    expected = ['-{"token":"p","name":"1.0.2A.FF","value":"pump 1"}', '+{"token":"p","name":"1.0.2A.FF","value":"pump 2"}']
    return ([] if changed == expected else ["git diff shows\n%s\nexpected the lines %s" % (diff, expected)]), 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--examples", required=True)
    parser.add_argument("--golden", required=True, help="folder of golden.jsonl and golden.cfg")
    parser.add_argument("--git", action="store_true", help="also check the tool as git's diff driver")
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="quorvexcfg-write-test-")
    try:
        shutil.copytree(options.examples, os.path.join(work, "examples"))
        command = ([options.emulator] if options.emulator else []) + [options.tool]
        written = Runner(command + ["write"], work)
        plain = Runner(command, work)
        total_failures, total = [], 0
        for check, runner in ((check_written, written), (check_refused, written), (check_round_trip, plain)):
            failures, count = check(runner)
            total_failures += failures
            total += count
        total_failures += check_golden(written, options.golden)
        total += 1
        if options.git:
            failures, count = check_git_diff(written)
            total_failures += failures
            total += count
        for failure in total_failures:
            print("FAIL: " + failure)
        print("%d of %d cases failed" % (len(total_failures), total))
        return 1 if total_failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
