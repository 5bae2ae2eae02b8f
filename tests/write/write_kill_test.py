#!/usr/bin/env python3
"""Kills a process in the middle of ConfigFile::Write at random instants and
checks that the configuration file is then exactly its old text or exactly the
new one. Prints how many kills left each; fails on any other content.

  write_kill_test.py --wine-run WINE_RUN --child write_child.exe [--tags N] [--kills K]
"""

import argparse
import glob
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

OLD_SEED, NEW_SEED = 1, 2


def start_child(options, path, seed):
    return subprocess.Popen([options.wine_run, options.child, "Z:" + path, str(options.tags), str(seed)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def write_whole(options, path, seed):
    """Writes the collection of this seed to path; gives how long Write took."""
    child = start_child(options, path, seed)
    assert child.stdout.readline() == b"writing\n", child.stderr.read()
    begun = time.monotonic()
    assert child.stdout.readline() == b"written\n", child.stderr.read()
    took = time.monotonic() - begun
    assert child.wait(timeout=120) == 0
    with open(path, "rb") as f:
        return f.read(), took


def wait_for_wine_to_close_handles(folder):
    # The Wine server closes a killed process's handles a little later; the
    # temporary file is deleted then, unless the kill came after its mark was
    # taken back (it then stays, as a killed process may leave it).
    deadline = time.monotonic() + 2
    while glob.glob(os.path.join(folder, "~*")) and time.monotonic() < deadline:
        time.sleep(0.02)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--child", required=True)
    parser.add_argument("--tags", type=int, default=200000)
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--seed", type=int, default=None)
    options = parser.parse_args()
    seed = options.seed if options.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    print("random seed %d, %d tags over %d others, %d kills" % (seed, options.tags, options.tags, options.kills))

    folder = tempfile.mkdtemp(prefix="quorvex-kill-")
    path = os.path.join(folder, "radio.cfg")
    try:
        new, _ = write_whole(options, path, NEW_SEED)
        old, write_seconds = write_whole(options, path, OLD_SEED)
        assert old != new
        print("Write takes %.3f s; old text %d bytes, new text %d bytes" % (write_seconds, len(old), len(new)))

        counts = {"old": 0, "new": 0, "mixed": 0, "left a ~ file": 0}
        for _ in range(options.kills):
            with open(path, "wb") as f:
                f.write(old)
            child = start_child(options, path, NEW_SEED)
            assert child.stdout.readline() == b"writing\n", child.stderr.read()
            time.sleep(rng.uniform(0, write_seconds * 1.05))
            child.send_signal(signal.SIGKILL)
            child.wait()
            wait_for_wine_to_close_handles(folder)
            with open(path, "rb") as f:
                text = f.read()
            counts["old" if text == old else "new" if text == new else "mixed"] += 1
            leftovers = glob.glob(os.path.join(folder, "~*"))
            if leftovers:
                counts["left a ~ file"] += 1
                for leftover in leftovers:
                    os.remove(leftover)
        print(", ".join("%s: %d" % item for item in counts.items()))
        return 1 if counts["mixed"] else 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
