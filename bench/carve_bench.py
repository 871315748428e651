"""Carving benchmark: deleted files of real formats, found on this machine,
brought back by this program's Extensive mount (carving included) and by
PhotoRec on the same volume, in the same run.

Two volumes are made by the kernel (user-mode Linux, as the test images):
"contiguous" writes each file in one go; "fragmented" writes files four at a
time, round-robin in chunks of 8 to 64 KiB, as a busy disk interleaves them.
Then every second file is deleted and 20,000 small files are written,
syncing as they go, over the freed leaves.

Printed: for each volume and each program, the deleted files that come back
byte for byte (anywhere in the output: this program's deleted, lost and
carved files, PhotoRec's carved ones), the files that come back too long (a
deleted file's bytes followed by more), and the seconds that carving adds to
an Extensive list. Which deleted files still have every data block is not
measured: the counts are out of all deleted files."""

import argparse
import glob
import hashlib
import importlib.util
import json
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
GEN = os.path.join(HERE, "..", "tools", "make-test-images", "make-test-images.py")
PATTERNS = ["/usr/share/**/*.png", "/usr/share/**/*.jpg", "/usr/share/**/*.gif",
            "/usr/share/**/*.gz", "/usr/share/**/*.bz2", "/usr/share/**/*.xz",
            "/usr/share/**/*.zip", "/usr/share/**/*.pdf", "/usr/share/**/*.ttf",
            "/usr/share/**/*.wav", "/usr/share/**/*.html", "/usr/bin/*"]
SMALL = 20000


def sha(data):
    return hashlib.sha256(data).hexdigest()


def real_files(count):
    """Files of 4.5 KiB to 4.9 MiB found on this machine, a few of each kind."""
    rng = random.Random(26)
    chosen = []
    for pattern in PATTERNS:
        found = sorted(p for p in glob.glob(pattern, recursive=True)
                       if os.path.isfile(p) and not os.path.islink(p)
                       and 4608 <= os.path.getsize(p) <= 4900 * 1024)
        rng.shuffle(found)
        chosen += found[:max(1, count // len(PATTERNS))]
    return chosen[:count]


def guest_fill(job):
    """Runs in the guest: writes, deletes, overwrites; writes the history."""
    mnt, files, mode = job["mnt"], job["files"], job["mode"]
    subprocess.run(["mount", "-t", "reiserfs", job["dev"], mnt], check=True)
    os.makedirs(mnt + "/files")
    targets = [(mnt + "/files/%03d-%s" % (i, os.path.basename(p)), open(p, "rb").read())
               for i, p in enumerate(files)]
    if mode == "contiguous":
        for path, data in targets:
            with open(path, "wb") as f:
                f.write(data)
    else:
        rng = random.Random(7)
        for g in range(0, len(targets), 4):
            group = targets[g:g + 4]
            outs = [open(p, "wb") for p, _ in group]
            done = [0] * len(group)
            while any(d < len(data) for d, (_, data) in zip(done, group)):
                for k, (_, data) in enumerate(group):
                    n = rng.randrange(8, 65) * 1024
                    outs[k].write(data[done[k]:done[k] + n])
                    done[k] += n
                    outs[k].flush()
                    os.fsync(outs[k].fileno())
            for f in outs:
                f.close()
    os.sync()
    history = []
    for i, (path, data) in enumerate(targets):
        if i % 2 == 1:
            history.append({"path": path[len(mnt):], "size": len(data), "sha256": sha(data),
                            "head": sha(data[:4096])})
            os.unlink(path)
    os.sync()
    os.makedirs(mnt + "/small")
    for i in range(SMALL):
        with open(mnt + "/small/%05d" % i, "wb") as f:
            f.write(os.urandom(100))
        if i % 1000 == 999:
            os.sync()
    with open(job["history"], "w") as f:
        json.dump(history, f)
    subprocess.run(["umount", mnt], check=True)


def make_volume(work, mode, files):
    spec = importlib.util.spec_from_file_location("gen", GEN)
    gen = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(gen)
    img = os.path.join(work, mode + ".img")
    with open(img, "wb") as f:
        f.truncate(384 << 20)
    subprocess.run(["mkreiserfs", "-q", "-f", "-b", "4096", "-s", "1024", img], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    job = {"dev": "/dev/ubda", "mnt": os.path.join(work, "mnt-" + mode), "files": files,
           "mode": mode, "history": os.path.join(work, mode + ".history.json")}
    os.makedirs(job["mnt"], exist_ok=True)
    job_file = os.path.join(work, mode + ".job.json")
    with open(job_file, "w") as f:
        json.dump(job, f)
    guest = gen.Guest(work, 1800)
    guest.boot([img], "@PY@ %s --guest %s" % (os.path.abspath(__file__), job_file))
    with open(job["history"]) as f:
        return img, json.load(f)


def tally(out_dir, history):
    """Byte-exact and too-long files among everything under out_dir."""
    by_sha = {h["sha256"]: h for h in history}
    by_head = {}
    for h in history:
        by_head.setdefault(h["head"], []).append(h)
    exact, long_ = set(), 0
    for root, _, names in os.walk(out_dir):
        for n in names:
            data = open(os.path.join(root, n), "rb").read()
            s = sha(data)
            if s in by_sha:
                exact.add(by_sha[s]["path"])
                continue
            for h in by_head.get(sha(data[:4096]), []):
                if len(data) > h["size"] and sha(data[:h["size"]]) == h["sha256"]:
                    long_ += 1
    return exact, long_


def timed(cmd, **kw):
    t = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    return time.monotonic() - t


def measure(cli, img, history, work, mode):
    ours = os.path.join(work, mode + "-ours")
    theirs = os.path.join(work, mode + "-photorec")
    for d in (ours, theirs):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    plain = min(timed([cli, "list", img, "--extensive", "--no-carve"]) for _ in range(2))
    carving = min(timed([cli, "list", img, "--extensive"]) for _ in range(2))
    subprocess.run([cli, "recover", img, ours, "--extensive", "--deleted", "only"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    photorec = timed(["photorec", "/d", os.path.join(theirs, "recup"), "/cmd", img,
                      "partition_none,options,paranoid,fileopt,everything,enable,search"],
                     cwd=work)
    for name, out in (("this program", ours), ("PhotoRec", theirs)):
        exact, long_ = tally(out, history)
        print("%-11s %-12s byte-exact %3d of %3d   too long %2d" %
              (mode, name, len(exact), len(history), long_))
    print("%-11s Extensive list %.2f s, with carving %.2f s (+%.0f%%); PhotoRec %.2f s" %
          (mode, plain, carving, 100 * (carving - plain) / plain, photorec))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--guest":
        with open(sys.argv[2]) as f:
            guest_fill(json.load(f))
        return
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("work")
    ap.add_argument("--files", type=int, default=84)
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    files = real_files(args.files)
    print("%d real files from this machine, every second one deleted" % len(files))
    for mode in ("contiguous", "fragmented"):
        img, history = make_volume(os.path.abspath(args.work), mode, files)
        measure(os.path.abspath(args.cli), img, history, os.path.abspath(args.work), mode)


if __name__ == "__main__":
    main()
