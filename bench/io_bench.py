#!/usr/bin/env python3
"""The read pattern of each job on one volume, costed for real disks.

    bench/io_bench.py CLI IMAGE [--only recover]

Page-cached timings hide what matters on the rotating disks this program is
for: every read that does not start where the previous one ended costs a
seek. For `list`, `list --extensive` and `recover` (Recover All, Normal) the
figures come from the program's own --stats line; for `reiserfsck --check`
from its system calls, taken with strace (read after lseek, and pread64, on
the image). Each job is costed with two models, seeks x latency + bytes /
throughput:

    rotating disk  8 ms per seek, 150 MB/s
    SSD            0.1 ms per seek, 500 MB/s

and printed as a ratio to one sequential pass over the whole volume (one
seek, every byte) under the same model.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

MODELS = {"rotating": (0.008, 150e6), "ssd": (0.0001, 500e6)}


def cost(model, seeks, nbytes):
    latency, rate = MODELS[model]
    return seeks * latency + nbytes / rate


def ours(cmd):
    proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    for line in reversed(proc.stderr.splitlines()):
        if line.startswith("{") and '"seeks"' in line:
            s = json.loads(line)
            return s["requests"], s["seeks"], s["bytes"]
    raise SystemExit("no --stats line from %s:\n%s" % (" ".join(cmd), proc.stderr[-600:]))


def traced(cmd, image):
    """Requests, seeks and bytes of the reads `cmd` makes on `image`."""
    with tempfile.NamedTemporaryFile(prefix="dorvak-strace-", delete=False) as t:
        trace = t.name
    try:
        subprocess.run(["strace", "-f", "-e", "trace=openat,open,read,pread64,lseek,_llseek,close,dup,dup2,dup3",
                        "-o", trace, *cmd], input="Yes\n", text=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        fds, pos = set(), {}
        requests = seeks = nbytes = 0
        last_end = None
        real = os.path.realpath(image)
        for line in open(trace, errors="replace"):
            m = re.search(r'open(?:at)?\((?:AT_FDCWD, )?"([^"]*)".*\) = (\d+)', line)
            if m:
                fd = int(m.group(2))
                if os.path.realpath(m.group(1)) == real:
                    fds.add(fd)
                    pos[fd] = 0
                else:
                    fds.discard(fd)
                continue
            m = re.search(r'close\((\d+)\)', line)
            if m:
                fds.discard(int(m.group(1)))
                continue
            m = re.search(r'lseek\((\d+), (-?\d+), SEEK_(SET|CUR|END)\)\s+= (\d+)', line)
            if m and int(m.group(1)) in fds:
                pos[int(m.group(1))] = int(m.group(4))
                continue
            m = re.search(r'\b(read|pread64)\((\d+), .*?(?:, (\d+))?\)\s+= (\d+)', line)
            if m and int(m.group(2)) in fds:
                fd, got = int(m.group(2)), int(m.group(4))
                offset = int(m.group(3)) if m.group(1) == "pread64" else pos[fd]
                if got == 0:
                    continue
                requests += 1
                nbytes += got
                if offset != last_end:
                    seeks += 1
                last_end = offset + got
                if m.group(1) == "read":
                    pos[fd] = offset + got
        return requests, seeks, nbytes
    finally:
        os.unlink(trace)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("image")
    ap.add_argument("--only", choices=["recover"], help="only Recover All")
    args = ap.parse_args()
    cli, img = args.cli, args.image
    size = os.path.getsize(img)
    jobs = []
    if not args.only:
        jobs.append(("list (Normal)", ours([cli, "list", img, "--quiet", "--stats"])))
        jobs.append(("list --extensive", ours([cli, "list", img, "--extensive", "--quiet", "--stats"])))
    # Only the read pattern counts here: the files go to memory when it can
    # hold them, so that writing and removing a million of them on a disk
    # does not take longer than the run.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    if shm and shutil.disk_usage(shm).free < 2 * size:
        shm = None
    out = tempfile.mkdtemp(prefix="dorvak-io-", dir=shm)
    try:
        jobs.append(("recover (Recover All)", ours([cli, "recover", img, out, "--quiet", "--stats"])))
    finally:
        shutil.rmtree(out, ignore_errors=True)
    if not args.only:
        jobs.append(("reiserfsck --check", traced(["reiserfsck", "--check", "-y", "-q", img], img)))

    passes = {m: cost(m, 1, size) for m in MODELS}
    print("image: %s (%.0f MiB); one sequential pass: %.1f s rotating, %.2f s SSD"
          % (img, size / 2**20, passes["rotating"], passes["ssd"]))
    print("goal: recover at most 2.5x one pass (rotating)")
    print("%-24s %9s %9s %9s %11s %7s %9s %7s" % ("job", "requests", "seeks", "MiB read", "rotating", "ratio",
                                                  "SSD", "ratio"))
    for name, (requests, seeks, nbytes) in jobs:
        r, s = cost("rotating", seeks, nbytes), cost("ssd", seeks, nbytes)
        print("%-24s %9d %9d %9.0f %9.1f s %6.2fx %7.2f s %6.2fx"
              % (name, requests, seeks, nbytes / 2**20, r, r / passes["rotating"], s, s / passes["ssd"]))


if __name__ == "__main__":
    sys.exit(main())
