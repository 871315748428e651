"""Carving benchmark: deleted files of real formats, found on this machine,
brought back by this program's Extensive mount (carving included) and by
PhotoRec on the same volume, in the same run.

Two volumes are made by the kernel (user-mode Linux, as the test images):
"contiguous" writes each file in one go; "fragmented" writes files four at a
time, round-robin in chunks of 8 to 64 KiB, as a busy disk interleaves them.
Then every second file is deleted and 20,000 small files are written,
syncing as they go, over the freed leaves.

Before the deletion the guest records each file's blocks (FIBMAP). Every
file is larger than a block, and the kernel keeps a tail only in files
smaller than a block, so every byte lies in a whole block the list names.
After the fill the host reads those blocks from the image and sorts the
deleted files into three classes: intact in one run, intact in several runs
(fragmented), damaged (a block was taken over).

The fragmented volume also gets files with no name left: a folder holds
1,000 small files that stay and, written after them, 48 more real files
whose stat data and items so fill leaves of their own. After the fill the 48
are deleted: the leaves that the deletion empties are freed and keep their
items (nothing is written to new blocks after them), while the folder's
leaves of names, full of the names that stay, are rewritten in place; then
touching every small file twice, with syncs, cycles the journal (4 MiB)
that held the old names. Each one comes back byte for byte or not, under
"Lost Files" by its object id (the inode number the guest records).

Printed: for each volume and each program, per class, the deleted files that
come back byte for byte (anywhere in the output: this program's deleted, lost
and carved files, PhotoRec's carved ones), the files that come back too long
(a deleted file's bytes followed by more), output files that hold a whole
block of a live file's bytes, and the seconds that carving adds to an
Extensive list."""

import argparse
import hashlib
import importlib.util
import io
import json
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tarfile
import time
import wave
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
GEN = os.path.join(HERE, "..", "tools", "make-test-images", "make-test-images.py")
BLOCK = 4096
# Files found as they are: (kind, where, file name suffixes, how many).
FOUND = [("png", "/usr/share", (".png",), 8), ("jpg", "/usr", (".jpg", ".jpeg"), 6),
         ("gif", "/usr/share", (".gif",), 5), ("pdf", "/usr/share", (".pdf",), 3),
         ("ttf", "/usr/share/fonts", (".ttf", ".otf"), 5),
         ("html", "/usr/share/doc", (".html",), 6), ("gz", "/usr/share", (".gz",), 6),
         ("whl", "/usr", (".whl",), 3), ("mp3", "/usr", (".mp3",), 2),
         ("src", "/usr/include", (".h",), 3), ("src", "/usr/share", (".py",), 3),
         ("elf", "/usr/bin", ("",), 8)]
SMALL = 20000
MIN_SIZE, MAX_SIZE = 4608, 4900 * 1024


def sha(data):
    return hashlib.sha256(data).hexdigest()


def usr_files():
    """Every regular file under /usr of a size to take, walked once."""
    out = []
    for root, _, names in os.walk("/usr"):
        for n in names:
            p = os.path.join(root, n)
            if os.path.isfile(p) and not os.path.islink(p) and \
                    MIN_SIZE <= os.path.getsize(p) <= MAX_SIZE:
                out.append(p)
    return sorted(out)


def found(files, where, suffixes, rng, count, taken):
    fits = [p for p in files if p.startswith(where + "/") and p.endswith(suffixes)
            and p not in taken]
    if suffixes == ("",):  # programs: ELF files directly in the folder
        fits = [p for p in fits if os.path.dirname(p) == where and
                open(p, "rb").read(4) == b"\x7fELF"]
    rng.shuffle(fits)
    return fits[:count]


def made(rng, out, pool):
    """Archives, compressed streams, documents and sound made here from the
    machine's own files, with the tools a user would use."""
    files = []

    def put(name, data):
        if MIN_SIZE <= len(data) <= MAX_SIZE:
            path = os.path.join(out, name)
            with open(path, "wb") as f:
                f.write(data)
            files.append(path)

    def some(n):
        return [pool[rng.randrange(len(pool))] for _ in range(n)]

    def tool(cmd, src):
        return subprocess.run(cmd + [src], check=True, stdout=subprocess.PIPE).stdout

    for i in range(4):
        put("made%02d.tar" % i, subprocess.run(
            ["tar", "-cf", "-", "--absolute-names"] + sorted(set(some(1 + i))), check=True,
            stdout=subprocess.PIPE).stdout)
    for i, src in enumerate(some(4)):
        put("made%02d.bz2" % i, tool(["bzip2", "-c"], src))
    for i, src in enumerate(some(4)):
        put("made%02d.xz" % i, tool(["xz", "-c"], src))
    for i in range(3):
        zip_path = os.path.join(out, "made%02d.zip" % i)
        subprocess.run(["zip", "-q", "-j", zip_path] + sorted(set(some(2 + i))), check=True)
        if MIN_SIZE <= os.path.getsize(zip_path) <= MAX_SIZE:
            files.append(zip_path)
    for i in range(2):
        doc = io.BytesIO()
        with zipfile.ZipFile(doc, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.text",
                       compress_type=zipfile.ZIP_STORED)
            z.writestr("content.xml", open(some(1)[0], "rb").read())
            z.writestr("styles.xml", open(some(1)[0], "rb").read())
            z.writestr("META-INF/manifest.xml", "<manifest/>")
        put("made%02d.odt" % i, doc.getvalue())
    for i in range(4):
        sound = io.BytesIO()
        with wave.open(sound, "wb") as w:
            w.setnchannels(1 + i % 2)
            w.setsampwidth(2)
            w.setframerate(22050)
            frames = rng.randrange(4000, 200000)
            w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(k * (0.01 + i / 50))) +
                                               rng.randrange(-500, 500))
                                   for k in range(frames * (1 + i % 2))))
        put("made%02d.wav" % i, sound.getvalue())
    return files


def real_files(work):
    """Files of 4.5 KiB to 4.9 MiB: found on this machine, and made here from them."""
    rng = random.Random(26)
    chosen, kinds = [], {}
    files = usr_files()
    for kind, where, suffixes, count in FOUND:
        got = found(files, where, suffixes, rng, count, set(chosen))
        chosen += got
        kinds[kind] = kinds.get(kind, 0) + len(got)
    out = os.path.join(work, "made")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    pool = [p for p in chosen if os.path.getsize(p) < 1 << 20]
    extra = made(rng, out, pool)
    for p in extra:
        kinds[p.rsplit(".", 1)[1]] = kinds.get(p.rsplit(".", 1)[1], 0) + 1
    chosen += extra
    rng.shuffle(chosen)
    return chosen, kinds


def lost_files(chosen):
    """Files for the folder whose names go: more real files, none of those
    above and no two alike, each larger than a block (no tail)."""
    rng = random.Random(27)
    fits = [p for p in usr_files() if p not in set(chosen) and
            16 << 10 <= os.path.getsize(p) <= 256 << 10]
    rng.shuffle(fits)
    out, seen = [], {sha(open(p, "rb").read()) for p in chosen}
    for p in fits:
        digest = sha(open(p, "rb").read())
        if digest not in seen and os.path.basename(p) not in {os.path.basename(q) for q in out}:
            seen.add(digest)
            out.append(p)
        if len(out) == 48:
            break
    return out


def write_nameless(mnt, sources):
    """The folder of files whose names will go, with the files that stay."""
    os.makedirs(mnt + "/lost")
    for i in range(1000):
        with open(mnt + "/lost/stays%04d" % i, "wb") as f:
            f.write(os.urandom(100))
    for p in sources:
        with open(mnt + "/lost/" + os.path.basename(p), "wb") as f:
            f.write(open(p, "rb").read())


def make_nameless(mnt, sources, small):
    """Deletes the files, then cycles the journal by touching the small
    files: returns their history entries."""
    lost = []
    for p in sources:
        path = mnt + "/lost/" + os.path.basename(p)
        data = open(p, "rb").read()
        lost.append({"path": path[len(mnt):], "source": p, "size": len(data),
                     "sha256": sha(data), "head": sha(data[:BLOCK]),
                     "objectId": os.stat(path).st_ino, "blocks": block_list(path)})
    for h in lost:
        os.unlink(mnt + h["path"])
    os.sync()
    for round_ in range(2):
        for i in range(small):
            os.utime(mnt + "/small/%05d" % i, (1700000000 + round_, 1700000000 + round_))
            if i % 1000 == 999:
                os.sync()
    return lost


def block_list(path):
    """The file's blocks in order, from FIBMAP (0 for a hole)."""
    import fcntl
    with open(path, "rb") as f:
        count = (os.fstat(f.fileno()).st_size + BLOCK - 1) // BLOCK
        return [struct.unpack("i", fcntl.ioctl(f.fileno(), 1, struct.pack("i", n)))[0]
                for n in range(count)]


def guest_fill(job):
    """Runs in the guest: writes, records block lists, deletes, overwrites;
    writes the history."""
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
    if job.get("lost"):
        write_nameless(mnt, job["lost"])
    os.sync()
    history, live = [], []
    for i, (path, data) in enumerate(targets):
        entry = {"path": path[len(mnt):], "source": files[i], "size": len(data),
                 "sha256": sha(data), "head": sha(data[:BLOCK]), "blocks": block_list(path)}
        (history if i % 2 == 1 else live).append(entry)
    for h in history:
        os.unlink(mnt + h["path"])
    os.sync()
    os.makedirs(mnt + "/small")
    for i in range(SMALL):
        with open(mnt + "/small/%05d" % i, "wb") as f:
            f.write(os.urandom(100))
        if i % 1000 == 999:
            os.sync()
    lost = make_nameless(mnt, job["lost"], SMALL) if job.get("lost") else []
    with open(job["history"], "w") as f:
        json.dump({"deleted": history, "live": live, "lost": lost}, f)
    subprocess.run(["umount", mnt], check=True)


def make_volume(work, mode, files, lost):
    spec = importlib.util.spec_from_file_location("gen", GEN)
    gen = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(gen)
    img = os.path.join(work, mode + ".img")
    with open(img, "wb") as f:
        f.truncate(384 << 20)
    subprocess.run(["mkreiserfs", "-q", "-f", "-b", str(BLOCK), "-s", "1024", img], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    job = {"dev": "/dev/ubda", "mnt": os.path.join(work, "mnt-" + mode), "files": files,
           "mode": mode, "history": os.path.join(work, mode + ".history.json"),
           "lost": lost if mode == "fragmented" else []}
    os.makedirs(job["mnt"], exist_ok=True)
    job_file = os.path.join(work, mode + ".job.json")
    with open(job_file, "w") as f:
        json.dump(job, f)
    guest = gen.Guest(work, 3600)
    guest.boot([img], "@PY@ %s --guest %s" % (os.path.abspath(__file__), job_file))
    with open(job["history"]) as f:
        return img, json.load(f)


def classify(img, history):
    """Sets each deleted file's "class": whether its blocks in the image
    still hold its bytes, in one run or in several."""
    with open(img, "rb") as image:
        for h in history:
            data = open(h["source"], "rb").read()
            intact = len(data) == h["size"] and 0 not in h["blocks"]
            for k, b in enumerate(h["blocks"]):
                if not intact:
                    break
                image.seek(b * BLOCK)
                want = data[k * BLOCK:(k + 1) * BLOCK]
                intact = image.read(len(want)) == want
            runs = 1 + sum(1 for a, b in zip(h["blocks"], h["blocks"][1:]) if b != a + 1)
            h["runs"] = runs
            h["class"] = "damaged" if not intact else "contiguous" if runs == 1 else "fragmented"


def block_hashes(files):
    """The hashes of every whole block of the files' bytes."""
    out = set()
    for h in files:
        data = open(h["source"], "rb").read()
        for k in range(len(data) // BLOCK):
            out.add(sha(data[k * BLOCK:(k + 1) * BLOCK]))
    return out


def live_block_hashes(live, history):
    """The hashes of the live files' blocks that no deleted file holds too
    (files of one kind may share a first block of headers)."""
    return block_hashes(live) - block_hashes(history)


def tally(out_dir, history, live_blocks):
    """Byte-exact deleted files (by path, with the folder each came out of),
    too-long files, and files holding a live file's block, under out_dir."""
    by_sha = {h["sha256"]: h for h in history}
    by_head = {}
    for h in history:
        by_head.setdefault(h["head"], []).append(h)
    exact, long_, foreign = {}, [], []
    for root, _, names in os.walk(out_dir):
        for n in names:
            full = os.path.join(root, n)
            data = open(full, "rb").read()
            s = sha(data)
            where = os.path.relpath(root, out_dir).split(os.sep)[0]
            if s in by_sha:
                exact.setdefault(by_sha[s]["path"], where)
            for h in by_head.get(sha(data[:BLOCK]), []):
                if len(data) > h["size"] and sha(data[:h["size"]]) == h["sha256"]:
                    long_.append(h["path"])
            # A live file's block may lie anywhere in a carved file; PhotoRec
            # and this program both start files at block boundaries.
            if any(sha(data[k:k + BLOCK]) in live_blocks
                   for k in range(0, len(data) - BLOCK + 1, BLOCK)):
                foreign.append(os.path.relpath(full, out_dir))
    return exact, long_, foreign


def timed(cmd, **kw):
    t = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    return time.monotonic() - t


CLASSES = ("contiguous", "fragmented", "damaged")


def report(mode, name, history, exact, long_, foreign, verbose):
    counts = []
    for c in CLASSES:
        members = [h for h in history if h["class"] == c]
        counts.append("%s %d/%d" % (c, sum(1 for h in members if h["path"] in exact),
                                    len(members)))
    # PhotoRec carves the live files too: a live block in its output is no fault.
    print("%-11s %-12s byte-exact: %s   too long %d%s" %
          (mode, name, ", ".join(counts), len(long_),
           "   holding a live block %d" % len(foreign) if name == "this program" else ""))
    if verbose:
        for h in history:
            print("    %-11s %-4s runs %3d %9d  %-40s %s" %
                  (h["class"], "ok" if h["path"] in exact else "-", h["runs"], h["size"],
                   h["path"], exact.get(h["path"], "")))
        for p in long_:
            print("    too long:", p)
        for p in foreign if name == "this program" else []:
            print("    live block in:", p)


def items_survive(img, lost):
    """Sets each nameless file's "items": whether some leaf in the image (a
    block whose head says level 1) still holds its stat data and an indirect
    item, read here from the raw item heads (key: directory id, object id,
    offset and type; 3.6 keys keep the type in the offset's top 4 bits). An
    object id names one object on the volume: the key's directory id (the
    kernel's packing locality, not always the folder's id) is not needed."""
    wanted = {h["objectId"]: h for h in lost}
    found = {key: set() for key in wanted}
    with open(img, "rb") as image:
        while True:
            block = image.read(BLOCK)
            if len(block) < BLOCK:
                break
            level, count = struct.unpack_from("<HH", block, 0)
            if level != 1 or count == 0 or 24 + 24 * count > BLOCK:
                continue
            for i in range(count):
                object_id, offset = struct.unpack_from("<IQ", block, 24 + 24 * i + 4)
                if object_id in found:
                    found[object_id].add(offset >> 60)  # 0 stat data, 1 indirect
    for key, h in wanted.items():
        h["items"] = {0, 1} <= found[key]


def report_lost(mode, img, lost, results, verbose):
    """The files with no name left: how many keep their stat data and items
    in some leaf and every data block, and how many of those each program
    brings back byte for byte."""
    if not lost:
        return
    items_survive(img, lost)
    whole = [h for h in lost if h["class"] != "damaged" and h["items"]]
    intact = [h for h in lost if h["class"] != "damaged"]
    for name, (exact, _, _) in results.items():
        print("%-11s %-12s nameless files byte-exact: %d of %d whose items and data survive, "
              "%d of %d whose data survives (%d made)" %
              (mode, name, sum(1 for h in whole if h["path"] in exact), len(whole),
               sum(1 for h in intact if h["path"] in exact), len(intact), len(lost)))
    if verbose:
        ours = results["this program"][0]
        for h in lost:
            print("    %-11s %-4s object %d %-8s %9d  %-40s %s" %
                  (h["class"], "ok" if h["path"] in ours else "-", h["objectId"],
                   "items" if h["items"] else "no items", h["size"], h["path"],
                   ours.get(h["path"], "")))


def measure(cli, img, history, live, work, mode, verbose, lost):
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
    classify(img, history + lost)
    live_blocks = live_block_hashes(live, history + lost)
    results = {}
    for name, out in (("this program", ours), ("PhotoRec", theirs)):
        results[name] = tally(out, history + lost, live_blocks)
        report(mode, name, history, *results[name], verbose)
    report_lost(mode, img, lost, results, verbose)
    print("%-11s Extensive list %.2f s, with carving %.2f s (+%.0f%%); PhotoRec %.2f s" %
          (mode, plain, carving, 100 * (carving - plain) / plain, photorec))
    if verbose:
        ours_exact, theirs_exact = results["this program"][0], results["PhotoRec"][0]
        for h in history:
            if h["path"] in theirs_exact and h["path"] not in ours_exact:
                print("    PhotoRec only:", h["path"], h["class"])


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--guest":
        with open(sys.argv[2]) as f:
            guest_fill(json.load(f))
        return
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("work")
    ap.add_argument("--reuse", action="store_true",
                    help="measure the volumes a previous run made in WORK")
    ap.add_argument("--verbose", action="store_true", help="list every deleted file")
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    if not args.reuse:
        files, kinds = real_files(work)
        print("%d real files from this machine (%s), every second one deleted" %
              (len(files), ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    for mode in ("contiguous", "fragmented"):
        if args.reuse:
            img = os.path.join(work, mode + ".img")
            with open(os.path.join(work, mode + ".history.json")) as f:
                record = json.load(f)
        else:
            img, record = make_volume(work, mode, files, lost_files(files))
        measure(os.path.abspath(args.cli), img, record["deleted"], record["live"], work, mode,
                args.verbose, record.get("lost", []))


if __name__ == "__main__":
    main()
