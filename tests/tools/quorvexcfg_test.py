#!/usr/bin/env python3
"""Runs the real quorvexcfg (natively or under an emulator such as Wine) over
files this script writes, and compares exit status, standard output (or the
file `write` makes) and standard error with the expected ones, one table row
per case; then the merge table, and, with --git, pipes and FIFOs as inputs and
git keeping the files as text or using the tool as its diff and merge driver,
each in a throwaway repository."""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile


def component_form(text):
    """UTF-16LE with the mark and CR LF line ends, as the component writes."""
    return b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le", "surrogatepass")


def config(version, *lines):
    return component_form(version + "\n" + "".join(line + "\n" for line in lines))


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

EMULATED = False  # set from --emulator

FILES = {
    "valid.cfg": b'1.0\r\n1.0.0.1="a"\r\n',
    "also-valid.cfg": component_form('2.0.1\n1.0.0.1=\n'),
    "unclosed.cfg": b'1.0\r\n1.0.0.1="abc\r\n',
    "escapes.cfg": component_form('1.0\n1.0.0.1="q\\"b\\\\t\\t\u00e9\U0001F600\ud800x"\n'),
    "newer.cfg": b"1.0\r\n1.0.0.1=\r\n!OPTIONS MUST_UNDERSTAND\r\n!END\r\n",
    "end-directive.cfg": b"1.0\r\n!TEST END\r\n",
    "t\u00e9st.cfg": b"1.0\r\n",
    "~alid.cfg": b'1.0\r\n1.0.0.1="a',
    "valid-utf16.cfg": component_form('1.0\n; note\n1.0.0.1="a"\n'),
    "changed.cfg": b'1.0\r\n1.0.0.1="b"\r\n1.0.0.2=""\r\n',
    "empty-value.cfg": component_form('2.0.1\n1.0.0.1=""\n'),
}

# The system's words for a missing file, a missing folder and a folder; the Linux
# build uses Windows' own texts, Wine has words of its own (only the form is checked).
REASONS = {"missing": "The system cannot find the file specified.",
           "no-folder": "The system cannot find the path specified.", "folder": "Access is denied."}


def unreadable(name, reason):
    return ("reason", "quorvexcfg: %s: %s\n" % (name, REASONS[reason]))


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
    ("dump of a missing file", ["dump", "missing.cfg"], 2, "", unreadable("missing.cfg", "missing")),
    ("dump of a folder", ["dump", "folder"], 2, "", unreadable("folder", "folder")),
    ("dump of standard input", ["dump", "-", FILES["valid.cfg"]], 0,
     '{"token":"v","name":"1.0"}\n{"token":"p","name":"1.0.0.1","value":"a"}\n', ""),
    ("check of standard input", ["check", "-", FILES["unclosed.cfg"]], 1, "",
     '-:2: Expected: Closing quote\n1.0.0.1="abc\n'),
    ("dump without a file", ["dump"], 2, "", ("starts", "Usage: quorvexcfg dump FILE\n")),
    ("dump of two files", ["dump", "valid.cfg", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("check reports each refused file", ["check", "valid.cfg", "unclosed.cfg", "newer.cfg"], 1, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
     "newer.cfg:3: Section is not understood\n!OPTIONS MUST_UNDERSTAND\n"),
    ("check with an unreadable file", ["check", "unclosed.cfg", "missing.cfg", "valid.cfg"], 2, "",
     ("reason", 'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'
      "quorvexcfg: missing.cfg: %s\n" % REASONS["missing"])),
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
     unreadable("missing/out.cfg", "no-folder")),
    ("write: - is standard output", ["write", "-", json_lines(V)], 0, config("1.4.2"), ""),
    ("version", ["--version"], 0, ("version", ""), ""),
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


# ---- merge ---------------------------------------------------------------------------

CONFLICT = "<<<<<<< ours\n%s||||||| base\n%s=======\n%s>>>>>>> theirs\n"
BASE = '1.0\n1.0.0.1="a"\n1.0.0.2="b"\n1.0.0.3="c"\n'
COMMENTED = '1.0\n; top\n1.0.0.1="a";why\n!TEST CAN_IGNORE\ncheck\n!END\n1.0.0.2="b"\n1.0.0.3="c"\n'


def conflict_line(what, base, ours, theirs):
    return "quorvexcfg: conflict: %s: base %s, ours %s, theirs %s\n" % (what, base, ours, theirs)


# (name, base, ours, theirs, merged text, standard error, exit status); texts with LF
# line ends, written in the component's form (UTF-16LE, mark, CR LF) and in git's
# repository form (UTF-8, LF).
MERGES = [
    ("added on one side, removed on the other", BASE, BASE + '1.0.0.4=\n', BASE.replace('1.0.0.2="b"\n', ""),
     BASE.replace('1.0.0.2="b"\n', "") + "1.0.0.4=\n", "", 0),
    ("the same change on both sides is taken once", BASE, BASE.replace('"c"', '"C"') + '1.0.0.5="e"\n',
     BASE.replace('"c"', '"C"') + '1.0.0.5="e"\n', BASE.replace('"c"', '"C"') + '1.0.0.5="e"\n', "", 0),
    ("a tag theirs added goes after the tag before it in theirs", BASE, BASE.replace('"c"', '"C"'),
     BASE.replace('1.0.0.2="b"\n', '1.0.0.2="b"\n1.0.0.2A="new"\n'),
     BASE.replace('1.0.0.2="b"\n', '1.0.0.2="b"\n1.0.0.2A="new"\n').replace('"c"', '"C"'), "", 0),
    ("the version merges as a tag does", BASE, BASE.replace('"a"', '"A"'), BASE.replace("1.0\n", "1.1\n", 1),
     BASE.replace("1.0\n", "1.1\n", 1).replace('"a"', '"A"'), "", 0),
    ("neighbouring tags changed on each side, non-ASCII values and escapes", BASE,
     BASE.replace('"a"', '"\u00fc\u20ac \\"q\\" \\\\"'), BASE.replace('"b"', '"\U0001F600\\t\u4e2d"'),
     BASE.replace('"a"', '"\u00fc\u20ac \\"q\\" \\\\"').replace('"b"', '"\U0001F600\\t\u4e2d"'), "", 0),
    ("comments, test lines and sections of ours stay; a comment only theirs has is left out", COMMENTED,
     COMMENTED.replace('"b"', '"B"'), COMMENTED.replace('"a"', '"A"').replace("; top\n", "; top\n; theirs\n"),
     COMMENTED.replace('"b"', '"B"').replace('1.0.0.1="a";why', '1.0.0.1="A";why'),
     "quorvexcfg: merge: 1 comment, test or ignored line(s) that only THEIRS has are left out\n", 0),
    ("conflict: a tag changed differently", BASE, BASE.replace('"b"', '"\u00fcrs"'), BASE.replace('"b"', '"theirs"'),
     BASE.replace('1.0.0.2="b"\n', CONFLICT % ('1.0.0.2="\u00fcrs"\n', '1.0.0.2="b"\n', '1.0.0.2="theirs"\n')),
     conflict_line("1.0.0.2", '"b"', '"\\u00FCrs"', '"theirs"'), 1),
    ("conflict: changed on one side, removed on the other", BASE, BASE.replace('1.0.0.3="c"\n', ""),
     BASE.replace('"c"', '"C"'), BASE.replace('1.0.0.3="c"\n', CONFLICT % ("", '1.0.0.3="c"\n', '1.0.0.3="C"\n')),
     conflict_line("1.0.0.3", '"c"', "(absent)", '"C"'), 1),
    ("conflict: no value against an empty one, and the version", BASE,
     BASE.replace("1.0\n", "1.1\n", 1).replace('1.0.0.1="a"', "1.0.0.1="),
     BASE.replace("1.0\n", "1.2\n", 1).replace('"a"', '""'),
     BASE.replace("1.0\n", CONFLICT % ("1.1\n", "1.0\n", "1.2\n"), 1).replace(
         '1.0.0.1="a"\n', CONFLICT % ("1.0.0.1=\n", '1.0.0.1="a"\n', '1.0.0.1=""\n')),
     conflict_line("version", '"1.0"', '"1.1"', '"1.2"') + conflict_line("1.0.0.1", '"a"', "(no value)", '""'), 1),
]


def merge_files(command, work):
    """Each merge row with files in the component's form and in git's repository form."""
    problems = []
    for name, base, ours, theirs, merged, stderr, status in MERGES:
        for form_name, form in [("component form", component_form), ("repository form", str.encode)]:
            for side, text in [("base.cfg", base), ("ours.cfg", ours), ("theirs.cfg", theirs)]:
                with open(os.path.join(work, side), "wb") as f:
                    f.write(form(text))
            run = subprocess.run(command + ["merge", "base.cfg", "ours.cfg", "theirs.cfg", "-o", "merged.cfg"],
                                 cwd=work, capture_output=True, timeout=120)
            with open(os.path.join(work, "merged.cfg"), "rb") as f:
                written = f.read()
            label = "%s (%s)" % (name, form_name)
            if run.returncode != status:
                problems.append("%s: exit status %d, expected %d" % (label, run.returncode, status))
            if written != form(merged):
                problems.append("%s: merged file holds %r, expected %r" % (label, written, form(merged)))
            if run.stderr.decode("utf-8", "replace") != stderr:
                problems.append("%s: standard error %r, expected %r" % (label, run.stderr, stderr))
            if status == 1 and form is component_form:  # what git gives back on checkout
                check = subprocess.run(command + ["check", "merged.cfg"], cwd=work, capture_output=True, timeout=120)
                marker = merged.split("\n").index("<<<<<<< ours") + 1
                if not check.stderr.decode().startswith("merged.cfg:%d: " % marker):
                    problems.append("%s: check of the conflicted file says %r, expected line %d" %
                                    (label, check.stderr, marker))
    return problems


MERGE_CASES = [
    ("merge: a missing input", ["merge", "valid.cfg", "missing.cfg", "valid.cfg"], 2, "",
     unreadable("missing.cfg", "missing")),
    ("merge: a refused input", ["merge", "valid.cfg", "unclosed.cfg", "valid.cfg"], 2, "",
     'unclosed.cfg:2: Expected: Closing quote\n1.0.0.1="abc\n'),
    ("merge: two files only", ["merge", "valid.cfg", "valid.cfg"], 2, "", ("starts", "Usage:")),
    ("merge: to standard output, in the form ours came in", ["merge", "valid.cfg", "changed.cfg", "valid.cfg", "-o", "-"], 0,
     '1.0\r\n1.0.0.1="b"\r\n1.0.0.2=""\r\n', ""),
]
CASES.extend(MERGE_CASES)


# ---- git and streams -------------------------------------------------------------------

class Repository:
    def __init__(self, work, name):
        self.path = os.path.join(work, name)
        os.mkdir(self.path)
        self.env = dict(os.environ, HOME=self.path, GIT_CONFIG_NOSYSTEM="1", LC_ALL="C")
        self.git("init", "-q", "-b", "main")
        self.git("config", "user.name", "Quorvex test")
        self.git("config", "user.email", "test@example.invalid")

    def git(self, *args, check=True):
        run = subprocess.run(["git"] + list(args), cwd=self.path, env=self.env, capture_output=True)
        if check and run.returncode != 0:
            raise RuntimeError("git %s: %s" % (" ".join(args), run.stderr.decode()))
        return run

    def write(self, name, data):
        with open(os.path.join(self.path, name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(os.path.join(self.path, name), "rb") as f:
            return f.read()

    def commit(self, message, *files):
        self.git("add", *files)
        self.git("commit", "-q", "--allow-empty", "-m", message)

    def branches(self, base, ours, theirs):
        """plant.cfg as base on main, then ours on main and theirs on branch other."""
        self.write("plant.cfg", base)
        self.commit("base", "plant.cfg", ".gitattributes")
        self.git("checkout", "-q", "-b", "other")
        self.write("plant.cfg", theirs)
        self.commit("theirs", "plant.cfg")
        self.git("checkout", "-q", "main")
        self.write("plant.cfg", ours)
        self.commit("ours", "plant.cfg")
        return self.git("merge", "-q", "--no-edit", "other", check=False)


TEXT_ATTRIBUTES = b"*.cfg text working-tree-encoding=UTF-16LE-BOM eol=crlf\n"
PUMP = json_lines(V, '{"token":"p","name":"1.0.2A.FF","value":"pump \\u00FC\\t1"}', '{"token":"s","name":"1.0.2A.100"}')
# (.gitattributes, what git stores of the file written from PUMP, the lines git diff shows once its 1 is a 2):
# the files kept as UTF-8 text, and kept as they are with the tool's dump as git's textconv.
GIT_DIFFS = [
    (TEXT_ATTRIBUTES, '1.4.2\n1.0.2A.FF="pump \u00fc\\t1"\n1.0.2A.100=\n'.encode("utf-8"),
     ['-1.0.2A.FF="pump \u00fc\\t1"', '+1.0.2A.FF="pump \u00fc\\t2"']),
    (b"*.cfg diff=quorvexcfg\n", config("1.4.2", '1.0.2A.FF="pump \u00fc\\t1"', "1.0.2A.100="),
     ['-{"token":"p","name":"1.0.2A.FF","value":"pump \\u00FC\\u00091"}',
      '+{"token":"p","name":"1.0.2A.FF","value":"pump \\u00FC\\u00092"}']),
]


def git_diffs(command, work):
    """A file written by the tool, committed and written again with one value changed: git stores it as
    the attributes say, git diff shows that tag's line and no other, and checkout gives the same bytes back."""
    problems = []
    for number, (attributes, stored, shown) in enumerate(GIT_DIFFS):
        repo = Repository(work, "diff-repo-%d" % number)
        repo.write(".gitattributes", attributes)
        repo.git("config", "diff.quorvexcfg.textconv", " ".join(map(shlex.quote, command)) + " dump")  # diff=quorvexcfg
        write = command + ["write", os.path.join(repo.path, "plant.cfg")]
        subprocess.run(write, input=PUMP, check=True, timeout=120)
        written = repo.read("plant.cfg")
        repo.commit("plant", ".gitattributes", "plant.cfg")
        subprocess.run(write, input=PUMP.replace(b"\\t1", b"\\t2"), check=True, timeout=120)
        if repo.git("show", "HEAD:plant.cfg").stdout != stored:
            problems.append("%s: git stores %r" % (attributes, repo.git("show", "HEAD:plant.cfg").stdout))
        changed = [line for line in repo.git("diff").stdout.decode().splitlines()
                   if line[:1] in "+-" and not line.startswith(("+++", "---"))]
        if changed != shown:
            problems.append("%s: git diff shows %r" % (attributes, changed))
        repo.git("checkout", "--", "plant.cfg")
        if repo.read("plant.cfg") != written:
            problems.append("%s: checkout gave %r, committed %r" % (attributes, repo.read("plant.cfg"), written))
    return problems


def git_merges(command, work):
    """Each merge row through a real git merge with quorvexcfg as the merge driver, and tags far apart
    through git's own line merge."""
    problems = []
    for number, (name, base, ours, theirs, merged, stderr, status) in enumerate(MERGES):
        repo = Repository(work, "merge-repo-%d" % number)
        repo.write(".gitattributes", TEXT_ATTRIBUTES + b"*.cfg merge=quorvexcfg\n")
        repo.git("config", "merge.quorvexcfg.driver", " ".join(map(shlex.quote, command)) + " merge %O %A %B")
        result = repo.branches(component_form(base), component_form(ours), component_form(theirs))
        if (result.returncode != 0) != (status != 0):
            problems.append("%s: git merge exit status %d" % (name, result.returncode))
        if repo.read("plant.cfg") != component_form(merged):
            problems.append("%s: git merge left %r, expected %r" % (name, repo.read("plant.cfg"), component_form(merged)))
        if stderr and stderr not in result.stderr.decode("utf-8", "replace") + result.stdout.decode("utf-8", "replace"):
            problems.append("%s: git's output %r lacks %r" % (name, result.stdout + result.stderr, stderr))
    # Kept as UTF-8 text, the files merge line by line where no driver is set up.
    repo = Repository(work, "line-merge-repo")
    repo.write(".gitattributes", TEXT_ATTRIBUTES)
    base = "1.0\n" + "".join('1.0.0.%X="v%d"\n' % (i, i) for i in range(1, 9))
    result = repo.branches(component_form(base), component_form(base.replace('"v1"', '"first"')),
                           component_form(base.replace('"v8"', '"last"')))
    if result.returncode != 0 or repo.read("plant.cfg") != component_form(
            base.replace('"v1"', '"first"').replace('"v8"', '"last"')):
        problems.append("line merge of tags far apart: git %d, left %r" % (result.returncode, repo.read("plant.cfg")))
    return problems


def stream_inputs(command, work):
    """A pipe (process substitution) and a FIFO as the files of dump, check and diff."""
    problems = []
    tool = " ".join(map(shlex.quote, command))
    dumped = '{"token":"v","name":"1.0"}\n{"token":"p","name":"1.0.0.1","value":"a"}\n'
    changed = '~ 1.0.0.1 "a" -> "b"\n+ 1.0.0.2 ""\n'
    fifo = "cat valid.cfg > plant.fifo & " + tool
    os.mkfifo(os.path.join(work, "plant.fifo"))
    for script, want in [(tool + " dump <(cat valid.cfg)", (0, dumped)), (tool + " check <(cat unclosed.cfg)", (1, "")),
                         (tool + " diff <(cat valid.cfg) changed.cfg", (1, changed)),
                         (fifo + " dump plant.fifo", (0, dumped)), (fifo + " check plant.fifo", (0, "")),
                         (fifo + " diff plant.fifo changed.cfg", (1, changed))]:
        run = subprocess.run(["bash", "-c", script], cwd=work, capture_output=True, timeout=120)
        if (run.returncode, run.stdout.decode()) != want:
            problems.append("%s: %d %r %r" % (script, run.returncode, run.stdout, run.stderr))
    return problems


def matches(expected, actual):
    if isinstance(expected, tuple):
        how, text = expected
        if how == "reason":  # the system's words natively; under an emulator any words but a bare code
            if not EMULATED:
                return actual == text
            pattern = re.escape(text)
            for reason in REASONS.values():
                pattern = pattern.replace(re.escape(reason), "[^\\n0]+[^\\n]*")
            return re.fullmatch(pattern, actual) is not None
        if how == "version":
            return re.fullmatch(r"quorvexcfg \d+\.\d+\.\d+\.\d+\n", actual) is not None
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
    if args[:2] == ["write", "-"]:
        if run.stdout != stdout:
            problems.append("standard output %r, expected %r" % (run.stdout, stdout))
    elif args[:1] == ["write"]:
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--examples", required=True)
    parser.add_argument("--golden", required=True, help="folder of golden.jsonl and golden.cfg")
    parser.add_argument("--git", action="store_true",
                        help="also check pipes and FIFOs, and git with the tool as its diff and merge driver")
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

        global EMULATED
        EMULATED = bool(options.emulator)
        command = ([options.emulator] if options.emulator else []) + [options.tool]
        results = [(name, run_case(command, work, list(args), status, stdout, stderr))
                   for name, args, status, stdout, stderr in CASES]
        results.append(("merge table", merge_files(command, work)))
        if options.git:
            results.append(("git diff", git_diffs(command, work)))
            results.append(("git merge", git_merges(command, work)))
            results.append(("pipes and FIFOs", stream_inputs(command, work)))
        failures = [(name, problems) for name, problems in results if problems]
        for name, problems in failures:
            print("FAIL: %s\n  %s" % (name, "\n  ".join(problems)))
        print("%d of %d cases failed" % (len(failures), len(results)))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
