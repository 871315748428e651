#!/usr/bin/env python3
"""Times the reader against reference tools on the same image in one run.

    bench/mount_bench.py CLI IMAGE [--runs N]

Prints, for a kernel-made volume: `list` (Normal) against `reiserfsck
--check -y -q`; `list --extensive` against `reiserfsck --rebuild-tree
--scan-whole-partition` on a copy and against reading the whole volume with
dd (the physical floor), both on a dense copy of the image (every block
allocated, so dd cannot skip holes); the peak memory of both lists; and
`search` over the whole image against dd of the same range; and `list
--load-scan` of a saved Extensive scan against that scan, with its rows and
without them (`--deleted` on a volume with nothing deleted). The image is in
the page cache for every tool alike (each reads it once before it is
timed). Our command and its reference run in turn, N pairs; each figure is
the median of the N (the best in brackets).
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def timed(cmd):
    """Wall time, peak RSS (KiB), exit status, stderr and CPU time (user and
    system, seconds) of one command. reiserfsck asks for a typed "Yes" before
    it rebuilds, even with -y: every command gets it on stdin."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "MAXRSS %M", *cmd], input="Yes\n",
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    m = re.search(r"MAXRSS (\d+)", proc.stderr)
    return wall, int(m.group(1)) if m else 0, proc.returncode, proc.stderr, cpu


def best(cmd, runs, prepare=None):
    results = []
    for _ in range(runs):
        if prepare:
            prepare()
        results.append(timed(cmd))
    return min(r[0] for r in results), max(r[1] for r in results), results[-1]


def paired(ours, theirs, runs):
    """Our command and the reference in turn, `runs` times each: the median
    and best wall time of each, our peak RSS and our last run."""
    mine, ref = [], []
    for _ in range(runs):
        mine.append(timed(ours))
        ref.append(timed(theirs))
    med = lambda rs: statistics.median(r[0] for r in rs)
    cpu = lambda rs: statistics.median(r[4] for r in rs)
    return {"ours": med(mine), "ours_best": min(r[0] for r in mine), "ref": med(ref),
            "ref_best": min(r[0] for r in ref), "rss": max(r[1] for r in mine), "last": mine[-1],
            "ours_cpu": cpu(mine), "ref_cpu": cpu(ref)}


def dense_copy(img):
    """A copy of the image with every block allocated, kept beside it."""
    dense = os.path.splitext(img)[0] + ".dense"
    if not os.path.exists(dense) or os.path.getmtime(dense) < os.path.getmtime(img):
        subprocess.run(["cp", "--sparse=never", img, dense + ".part"], check=True)
        os.replace(dense + ".part", dense)
    return dense


def saved_scan(cli, image, runs):
    """`list --load-scan` of a scan saved by `list --extensive --save-scan`,
    against that scan, in turn: the load must cost a small part of the scan."""
    work = tempfile.mkdtemp(prefix="dorvak-bench-")
    try:
        scan = os.path.join(work, "volume.scan")
        subprocess.run([cli, "list", image, "--extensive", "--quiet", "--save-scan", scan],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        listed = paired([cli, "list", image, "--quiet", "--load-scan", scan],
                        [cli, "list", image, "--extensive", "--quiet"], runs)
        # The same with the rows left out (--deleted: a volume with nothing
        # deleted prints none), which both commands print alike: the load
        # against the scan alone.
        alone = paired([cli, "list", image, "--quiet", "--deleted", "--load-scan", scan],
                       [cli, "list", image, "--extensive", "--deleted", "--quiet"], runs)
        return listed, alone
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("image")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    img, cli, runs = args.image, args.cli, args.runs
    size = os.path.getsize(img)
    sectors = size // 512

    dense = dense_copy(img)
    for f in (img, dense):  # warm the cache
        subprocess.run(["dd", "if=" + f, "of=/dev/null", "bs=1M"], capture_output=True)
    dd, _, _ = best(["dd", "if=" + img, "of=/dev/null", "bs=1M"], runs)

    n = paired([cli, "list", img, "--quiet"], ["reiserfsck", "--check", "-y", "-q", img], runs)
    normal, normal_rss, fsck, last = n["ours"], n["rss"], n["ref"], n["last"]
    files = re.search(r"File\(s\) Found: (\d+)", last[3])
    folders = re.search(r"Folder\(s\) Found: (\d+)", last[3])

    e = paired([cli, "list", dense, "--extensive", "--quiet"],
               ["dd", "if=" + dense, "of=/dev/null", "bs=1M"], runs)
    extensive, ext_rss, dd_dense, last_ext = e["ours"], e["rss"], e["ref"], e["last"]
    ext_files = re.search(r"File\(s\) Found: (\d+)", last_ext[3])

    work = tempfile.mkdtemp(prefix="dorvak-bench-")
    copy = os.path.join(work, "copy.img")
    try:
        def fresh_copy():
            subprocess.run(["cp", "--sparse=always", img, copy], check=True)
        rebuild, _, last_rebuild = best(["reiserfsck", "--rebuild-tree", "--scan-whole-partition", "-y", "-q", copy],
                             min(2, runs), prepare=fresh_copy)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if last_rebuild[2] != 0:
        print("reiserfsck --rebuild-tree failed: " + last_rebuild[3][-400:], file=sys.stderr)

    search, _, _ = best([cli, "search", img, "--quiet"], runs)
    loaded, alone = saved_scan(cli, dense, runs)

    print("image: %s (%.0f MiB), %s folders, %s files (Normal), %s files (Extensive)"
          % (img, size / 2**20, folders.group(1) if folders else "?", files.group(1) if files else "?",
             ext_files.group(1) if ext_files else "?"))
    print("dd bs=1M of the whole image:               %8.3f s (sparse file); of a dense copy %.3f s"
          % (dd, dd_dense))
    print("list (Normal):                             %8.3f s  = %.2fx reiserfsck --check -y -q (%.3f s)  [target <= 0.5x]"
          "  (best %.3f / %.3f s)" % (normal, normal / fsck, fsck, n["ours_best"], n["ref_best"]))
    print("list --extensive:                          %8.3f s  = %.3fx reiserfsck --rebuild-tree -S (%.3f s)  [target <= 0.25x]"
          % (extensive, extensive / rebuild, rebuild))
    print("                                                       = %.2fx dd bs=1M of the dense copy  [target <= 2.5x]"
          "  (best %.3f / %.3f s)" % (extensive / dd_dense, e["ours_best"], e["ref_best"]))
    print("peak memory: list %.1f MiB, list --extensive %.1f MiB  [target: list at most 150 MiB]"
          % (normal_rss / 1024, ext_rss / 1024))
    print("list --load-scan (the scan saved):         %8.3f s  = %.3fx list --extensive (%.3f s)  [target <= 0.1x]"
          "  (CPU %.3f s vs %.3f s = %.3fx)"
          % (loaded["ours"], loaded["ours"] / loaded["ref"], loaded["ref"], loaded["ours_cpu"],
             loaded["ref_cpu"], loaded["ours_cpu"] / loaded["ref_cpu"]))
    print("  the same without the rows (--deleted):   %8.3f s  = %.3fx list --extensive --deleted (%.3f s)"
          "  (CPU %.3f s vs %.3f s = %.3fx)"
          % (alone["ours"], alone["ours"] / alone["ref"], alone["ref"], alone["ours_cpu"],
             alone["ref_cpu"], alone["ours_cpu"] / alone["ref_cpu"]))
    print("search over %d sectors:                  %8.3f s  = %.2fx dd  [target <= 5x]" % (sectors, search, search / dd))


if __name__ == "__main__":
    sys.exit(main())
