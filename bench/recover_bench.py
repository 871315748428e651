#!/usr/bin/env python3
"""Times Recover All against `cp -a` of an identical tree in one run.

    bench/recover_bench.py CLI IMAGE TREE [--runs N] [--out DIR]

`CLI recover IMAGE OUT` writes every file of the volume; `cp -a TREE OUT`
copies the same files from this machine's disk. Both write into fresh folders
under --out (default: beside the image, so on the same file system), both
read sources already in the page cache, and each output is synced before the
clock stops, so both pay for the writes. Times are the best of N runs. The
recovered tree is then compared with TREE (names, sizes, bytes).
"""
import argparse
import filecmp
import os
import shutil
import subprocess
import sys
import time


def timed(cmd, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"])
    start = time.perf_counter()
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    subprocess.run(["sync", "-f", out])
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed (%d): %s%s" % (cmd[0], proc.returncode, proc.stdout[-2000:], proc.stderr[-2000:]))
    return wall, proc.stdout


def warm(path):
    for root, _, files in os.walk(path):
        for f in files:
            with open(os.path.join(root, f), "rb") as fh:
                fh.read()


def same_tree(a, b):
    """Differences between two trees (a list of paths; empty when equal)."""
    diffs = []
    cmp = filecmp.dircmp(a, b, ignore=[".reiserfs_priv"])
    stack = [("", cmp)]
    while stack:
        rel, c = stack.pop()
        diffs += [os.path.join(rel, n) for n in c.left_only + c.right_only + c.funny_files]
        _, mismatch, errors = filecmp.cmpfiles(c.left, c.right, c.common_files, shallow=False)
        diffs += [os.path.join(rel, n) for n in mismatch + errors]
        stack += [(os.path.join(rel, n), s) for n, s in c.subdirs.items()]
    return diffs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("image")
    ap.add_argument("tree")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--out", default=None)
    args = ap.parse_args()
    out = args.out or os.path.join(os.path.dirname(os.path.abspath(args.image)), "bench-out")
    mine, theirs = os.path.join(out, "recovered"), os.path.join(out, "copied")

    subprocess.run(["dd", "if=" + args.image, "of=/dev/null", "bs=1M"], capture_output=True)
    warm(args.tree)
    recover = [args.cli, "recover", args.image, mine, "--quiet"]
    copy = ["cp", "-a", args.tree + "/.", theirs]
    r_times, c_times = [], []
    summary = ""
    for _ in range(args.runs):  # interleaved, so both see the same machine
        t, summary = timed(recover, mine)
        r_times.append(t)
        c_times.append(timed(copy, theirs)[0])
    r, c = min(r_times), min(c_times)
    files = sum(len(f) for _, _, f in os.walk(args.tree))
    print("files in the tree:   %d" % files)
    print("recover (best of %d): %.3f s   runs: %s" % (args.runs, r, " ".join("%.3f" % x for x in r_times)))
    print("cp -a   (best of %d): %.3f s   runs: %s" % (args.runs, c, " ".join("%.3f" % x for x in c_times)))
    print("ratio recover / cp -a: %.2fx (target at most 2x)" % (r / c))
    print(summary.strip().splitlines()[0] if summary.strip() else "")
    diffs = same_tree(args.tree, mine)
    print("recovered tree equals the copied tree: %s" % ("yes" if not diffs else "NO, %d differences, e.g. %s" % (len(diffs), diffs[:5])))
    shutil.rmtree(out, ignore_errors=True)
    return 0 if not diffs else 1


if __name__ == "__main__":
    sys.exit(main())
