#!/usr/bin/env python3
"""Kills a process in the middle of ConfigFile::Write at random instants and
checks that the configuration file is then exactly its old text or exactly the
new one. Prints how many kills left each; fails on any other content.
"""

import argparse
import collections
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

OLD_SEED, NEW_SEED = 1, 2


def start_child(options, path, seed):
    environment = dict(os.environ, QUORVEX_KILL_PATH="Z:" + path.replace("/", "\\"),
                       QUORVEX_KILL_COUNT=str(options.tags), QUORVEX_KILL_SEED=str(seed))
    child = subprocess.Popen([options.wine_run, options.child, "--gtest_filter=WriteTest.ChildOfTheKillTest"],
                             env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    expect_line(child, b"writing")
    return child


def expect_line(child, line):
    """Reads the child's output up to line, past what the test framework says."""
    while True:
        said = child.stdout.readline()
        assert said, (line, child.stderr.read())
        if said.strip() == line:  # the child's stdio ends lines in CR LF
            return


def write_whole(options, path, seed):
    """Writes the collection of this seed to path; gives the text and how long Write took."""
    child = start_child(options, path, seed)
    begun = time.monotonic()
    expect_line(child, b"written")
    took = time.monotonic() - begun
    assert child.wait(timeout=120) == 0
    with open(path, "rb") as f:
        return f.read(), took


def kill_rounds(options, folder, old, new, write_seconds, rounds, rng, counts, lock):
    """Kills Writes over the old text at random instants, each in a fresh folder:
    the Wine server closes a killed process's handles (deleting its temporary
    file) a little later, and the next Write must not meet them."""
    for round_number in range(rounds):
        path = os.path.join(folder + "-%d" % round_number, "radio.cfg")
        os.mkdir(os.path.dirname(path))
        with open(path, "wb") as f:
            f.write(old)
        child = start_child(options, path, NEW_SEED)
        time.sleep(rng.uniform(0, write_seconds * 1.05))
        child.send_signal(signal.SIGKILL)
        child.wait()
        with open(path, "rb") as f:
            text = f.read()
        with lock:
            counts["old" if text == old else "new" if text == new else "mixed"] += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--child", required=True)
    parser.add_argument("--tags", type=int, default=200000)
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--jobs", type=int, default=4, help="children killed at the same time, each in its folder")
    parser.add_argument("--seed", type=int, default=None)
    options = parser.parse_args()
    seed = options.seed if options.seed is not None else random.randrange(1 << 30)
    print("random seed %d, %d tags over %d others, %d kills" % (seed, options.tags, options.tags, options.kills))

    root = tempfile.mkdtemp(prefix="quorvex-kill-")
    try:
        path = os.path.join(root, "radio.cfg")
        new, _ = write_whole(options, path, NEW_SEED)
        old, _ = write_whole(options, path, OLD_SEED)
        assert old != new
        counts = collections.Counter({"old": 0, "new": 0, "mixed": 0})
        lock = threading.Lock()
        with ThreadPoolExecutor(options.jobs) as pool:
            # How long Write takes while as many children run as will be killed at once.
            write_seconds = max(pool.map(lambda job: write_whole(
                options, os.path.join(root, "calibration-%d.cfg" % job), NEW_SEED)[1], range(options.jobs)))
            print("Write takes %.3f s; old text %d bytes, new text %d bytes" % (write_seconds, len(old), len(new)))
            workers = [pool.submit(kill_rounds, options, os.path.join(root, str(job)), old, new, write_seconds,
                                   options.kills // options.jobs + (job < options.kills % options.jobs),
                                   random.Random(seed + job), counts, lock) for job in range(options.jobs)]
            for worker in workers:
                worker.result()  # raises what went wrong in it
        print(", ".join("%s: %d" % item for item in counts.items()))
        return 1 if counts["mixed"] or counts["old"] + counts["new"] != options.kills else 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
