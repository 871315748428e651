#!/usr/bin/env python3
"""Checks the committed test images against this generator.

    check-test-images.py DATA_DIR                 # STAMP names the current generator
    check-test-images.py DATA_DIR --fresh OUTDIR [--preload LIB]

The first form fails when the generator's sources changed after the images
were packed. With --fresh it also makes every image anew in OUTDIR and
compares the manifests, histories and layouts with the committed ones, field
by field; a modification time is compared only where the generator fixes it
(times before 2020), since the others are the time of writing. Exit 77 when
the guest cannot run here (the check is then skipped, with the reason).
"""

import argparse
import json
import lzma
import os
import subprocess
import sys

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIMES_BEFORE = 1577836800  # 2020-01-01


def generator_hash():
    out = subprocess.run([sys.executable, os.path.join(HERE, "make-test-images.py"),
                          "--print-stamp"], check=True, stdout=subprocess.PIPE, text=True)
    return json.loads(out.stdout)["generator"]


def comparable(text, name):
    if name.endswith(".jsonl"):
        rows = [json.loads(line) for line in text.splitlines() if line.strip()]
    else:
        rows = [json.loads(text)]
    for row in rows:
        if isinstance(row, dict) and row.get("mtime", 0) >= FIXED_TIMES_BEFORE:
            row["mtime"] = "written at make time"
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("--fresh", metavar="OUTDIR")
    ap.add_argument("--preload")
    args = ap.parse_args()

    with open(os.path.join(args.data, "STAMP")) as f:
        stamp = json.load(f)
    if stamp.get("generator") != generator_hash():
        print("the test images in %s were made by another version of the generator: remake "
              "them with tools/make-test-images/pack-test-images.sh" % args.data)
        return 1
    print("STAMP names the current generator")
    if not args.fresh:
        return 0

    cmd = [sys.executable, os.path.join(HERE, "make-test-images.py"), args.fresh]
    if args.preload:
        cmd += ["--preload", args.preload]
    subprocess.run(cmd, check=True)
    if os.path.exists(os.path.join(args.fresh, "UNAVAILABLE")):
        with open(os.path.join(args.fresh, "UNAVAILABLE")) as f:
            print("cannot make fresh images here: " + f.read().strip())
        return 77
    bad = 0
    for packed in sorted(os.listdir(args.data)):
        name = packed[:-3]
        if not packed.endswith(".xz") or not name.endswith((".jsonl", ".json")):
            continue
        with lzma.open(os.path.join(args.data, packed), "rt") as f:
            committed = comparable(f.read(), name)
        with open(os.path.join(args.fresh, name)) as f:
            fresh = comparable(f.read(), name)
        if committed != fresh:
            bad += 1
            print("%s: a fresh make differs from the committed one" % name)
            for a, b in zip(committed, fresh):
                if a != b:
                    print("  committed: %s\n  fresh:     %s" % (a, b))
                    break
            if len(committed) != len(fresh):
                print("  %d rows committed, %d fresh" % (len(committed), len(fresh)))
        else:
            print("%s: same" % name)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
