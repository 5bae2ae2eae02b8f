#!/usr/bin/env python3
"""Packs the Linux build with cpack, unpacks the .deb into a scratch root
(dpkg -x, as an install would lay it out) and runs the installed program:
the package holds exactly quorvexcfg and its man page, --version names the
project's version, and the man page shows --help's text."""

import argparse
import gzip
import os
import subprocess
import sys
import tempfile

EXPECTED_FILES = ["./usr/bin/quorvexcfg", "./usr/share/man/man1/quorvexcfg.1.gz"]


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, check=True, timeout=300, **kwargs).stdout.decode()


def check(build, version):
    problems = []
    with tempfile.TemporaryDirectory(prefix="quorvexcfg-package-") as scratch:
        run("cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", scratch)
        package = os.path.join(scratch, "quorvexcfg_%s_amd64.deb" % version)
        if not os.path.exists(package):
            return ["no %s among %s" % (os.path.basename(package), os.listdir(scratch))]
        files = sorted(line.split()[-1] for line in run("dpkg-deb", "-c", package).splitlines()
                       if not line.startswith("d"))
        if files != EXPECTED_FILES:
            problems.append("the package holds %s" % files)
        root = os.path.join(scratch, "root")
        run("dpkg", "-x", package, root)
        program = os.path.join(root, "usr/bin/quorvexcfg")
        shown = run(program, "--version")
        if shown != "quorvexcfg %s\n" % version:
            problems.append("--version prints %r" % shown)
        help_text = run(program, "--help")
        with gzip.open(os.path.join(root, "usr/share/man/man1/quorvexcfg.1.gz"), "rb") as f:
            page = f.read()
        rendered = run("man", "-l", "-", input=page, env=dict(os.environ, MANWIDTH="200", MAN_KEEP_FORMATTING="0"))
        rendered_lines = [line.strip() for line in rendered.splitlines()]
        missing = [line for line in help_text.splitlines() if line.strip() and line.strip() not in rendered_lines]
        if missing:
            problems.append("man quorvexcfg lacks the --help lines %s" % missing)
        for needed in ["Exit status", "working-tree-encoding=UTF-16LE-BOM", "merge.quorvexcfg.driver"]:
            if needed not in help_text:
                problems.append("--help does not mention %s" % needed)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    options = parser.parse_args()
    problems = check(options.build, options.version)
    for problem in problems:
        print("FAIL: " + problem)
    print("package: %d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
