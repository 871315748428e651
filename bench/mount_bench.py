#!/usr/bin/env python3
"""Times the reader against reference tools on the same image in one run.

    bench/mount_bench.py CLI IMAGE [--runs N]

Prints, for a kernel-made volume: `list` (Normal) against `reiserfsck
--check`; `list --extensive` against `reiserfsck --rebuild-tree
--scan-whole-partition` on a copy and against reading the whole image with
dd (the physical floor); the peak memory of both lists; and `search` over the
whole image against dd of the same range. Times are the best of N runs, with
the image in the page cache for every tool alike (each tool reads it once
before it is timed).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def timed(cmd):
    """Wall time and peak RSS (KiB) of one command. reiserfsck asks for a typed
    "Yes" before it rebuilds, even with -y: every command gets it on stdin."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "MAXRSS %M", *cmd], input="Yes\n",
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    m = re.search(r"MAXRSS (\d+)", proc.stderr)
    return wall, int(m.group(1)) if m else 0, proc.returncode, proc.stderr


def best(cmd, runs, prepare=None):
    results = []
    for _ in range(runs):
        if prepare:
            prepare()
        results.append(timed(cmd))
    return min(r[0] for r in results), max(r[1] for r in results), results[-1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("image")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    img, cli, runs = args.image, args.cli, args.runs
    size = os.path.getsize(img)
    sectors = size // 512

    subprocess.run(["dd", "if=" + img, "of=/dev/null", "bs=1M"], capture_output=True)  # warm the cache
    dd, _, _ = best(["dd", "if=" + img, "of=/dev/null", "bs=1M"], runs)

    normal, normal_rss, last = best([cli, "list", img, "--quiet"], runs)
    files = re.search(r"File\(s\) Found: (\d+)", last[3])
    folders = re.search(r"Folder\(s\) Found: (\d+)", last[3])
    fsck, _, _ = best(["reiserfsck", "--check", "-y", "-q", img], runs)

    extensive, ext_rss, last_ext = best([cli, "list", img, "--extensive", "--quiet"], runs)
    ext_files = re.search(r"File\(s\) Found: (\d+)", last_ext[3])

    work = tempfile.mkdtemp(prefix="dorvak-bench-")
    copy = os.path.join(work, "copy.img")
    try:
        def fresh_copy():
            subprocess.run(["cp", "--sparse=always", img, copy], check=True)
        rebuild, _, last_rebuild = best(["reiserfsck", "--rebuild-tree", "--scan-whole-partition", "-y", "-q", copy],
                             max(1, runs - 1), prepare=fresh_copy)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if last_rebuild[2] != 0:
        print("reiserfsck --rebuild-tree failed: " + last_rebuild[3][-400:], file=sys.stderr)

    search, _, _ = best([cli, "search", img, "--quiet"], runs)

    print("image: %s (%.0f MiB), %s folders, %s files (Normal), %s files (Extensive)"
          % (img, size / 2**20, folders.group(1) if folders else "?", files.group(1) if files else "?",
             ext_files.group(1) if ext_files else "?"))
    print("dd bs=1M of the whole image:               %8.3f s" % dd)
    print("list (Normal):                             %8.3f s  = %.2fx reiserfsck --check (%.3f s)  [target <= 1.0x]"
          % (normal, normal / fsck, fsck))
    print("list --extensive:                          %8.3f s  = %.3fx reiserfsck --rebuild-tree -S (%.3f s)  [target <= 0.25x]"
          % (extensive, extensive / rebuild, rebuild))
    print("                                                       = %.2fx dd  [target <= 10x]" % (extensive / dd))
    print("peak memory: list %.1f MiB, list --extensive %.1f MiB  [target < 64 MiB]"
          % (normal_rss / 1024, ext_rss / 1024))
    print("search over %d sectors:                  %8.3f s  = %.2fx dd  [target <= 5x]" % (sectors, search, search / dd))


if __name__ == "__main__":
    sys.exit(main())
