#!/usr/bin/env python3
"""Makes the ReiserFS test images with the real kernel driver.

Each volume is created on the host with mkreiserfs, then filled by a
user-mode Linux guest (the program `linux`) that mounts it through a ubd
device and runs guest_content.py, which also writes the manifests. Partitioned
disks are assembled on the host afterwards.

    make-test-images.py OUTDIR [--only NAME ...] [--bench] [--bench-spread] [--million]

An image is made once: OUTDIR/NAME.stamp records a hash of this folder's
sources, and an image whose stamp matches is left alone. When the machine
cannot run the guest at all, OUTDIR/UNAVAILABLE says why and the exit status
is 0, so that tests skip with that reason instead of failing.
"""

import argparse
import fcntl
import hashlib
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.abspath(__file__))
GUEST_PROGRAM = os.path.join(HERE, "guest_content.py")
MARKER = "DORVAK-GUEST-FINISHED"
MIB = 1 << 20
SECTOR = 512
SUPERBLOCK_OFFSET = 65536


def source_hash():
    h = hashlib.sha256()
    for name in sorted(os.listdir(HERE)):
        if name.endswith(".py"):
            h.update(name.encode() + b"\0")
            with open(os.path.join(HERE, name), "rb") as f:
                h.update(f.read())
    return h.hexdigest()


class GuestFailure(Exception):
    def __init__(self, message, console_tail=""):
        super().__init__(message)
        self.console_tail = console_tail


def run(cmd, **kw):
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    if proc.returncode != 0:
        raise GuestFailure("%s failed (%d): %s" % (cmd[0], proc.returncode, proc.stdout.strip()))
    return proc.stdout


# ------------------------------------------------------------- superblock

def read_superblock(path, offset=0):
    with open(path, "rb") as f:
        f.seek(offset + SUPERBLOCK_OFFSET)
        sb = f.read(SECTOR)
    magic = sb[52:62].rstrip(b"\0")
    fmt = {b"ReIsErFs": "3.5", b"ReIsEr2Fs": "3.6"}.get(magic)
    if fmt is None:
        raise GuestFailure("no ReiserFS superblock at byte %d of %s" % (offset, path))
    return {"blockCount": struct.unpack_from("<I", sb, 0)[0],
            "rootBlock": struct.unpack_from("<I", sb, 8)[0],
            "blockSize": struct.unpack_from("<H", sb, 44)[0],
            "treeHeight": struct.unpack_from("<H", sb, 68)[0],
            "format": fmt}


def pad_35_root(path):
    """Pads the names "." and ".." of a fresh 3.5 root directory to 8 bytes.

    mkreiserfs writes them unpadded (a 35-byte item for two entries), and the
    kernel's leaf check rejects a directory item shorter than 24 bytes per
    entry, so the volume would not mount. Growing the item by 13 bytes into
    the leaf's free space makes it 48 bytes; readers stop a name at its first
    zero byte, so the names themselves do not change.
    """
    sb = read_superblock(path)
    bs, root = sb["blockSize"], sb["rootBlock"]
    with open(path, "r+b") as f:
        f.seek(root * bs)
        blk = bytearray(f.read(bs))
        level, count, free = struct.unpack_from("<HHH", blk, 0)
        heads = [struct.unpack_from("<IIIIHHHH", blk, 24 + 24 * i) for i in range(count)]
        # Item head: dir id, object id, offset, type, entry count, length, location, format.
        found = [i for i, h in enumerate(heads) if h[:2] == (1, 2) and h[3] == 500]
        sd = [i for i, h in enumerate(heads) if h[:2] == (1, 2) and h[3] == 0]
        if level != 1 or len(found) != 1 or len(sd) != 1:
            raise GuestFailure("unexpected 3.5 root leaf in " + path)
        i = found[0]
        _, _, off, typ, entries, length, loc, fmt = heads[i]
        grow = 48 - length
        if entries != 2 or length != 35 or loc != min(h[6] for h in heads) \
                or free < grow or loc - grow < 24 + 24 * count:
            raise GuestFailure("3.5 root directory item is not the fresh one mkreiserfs writes")
        body = blk[loc:loc + length]
        dot, dotdot = bytearray(body[0:16]), bytearray(body[16:32])
        struct.pack_into("<H", dot, 12, 40)
        struct.pack_into("<H", dotdot, 12, 32)
        new_body = bytes(dot) + bytes(dotdot) + b"..".ljust(8, b"\0") + b".".ljust(8, b"\0")
        blk[loc:loc + length] = bytes(length)
        blk[loc - grow:loc - grow + 48] = new_body
        struct.pack_into("<HHHH", blk, 24 + 24 * i + 16, entries, 48, loc - grow, fmt)
        struct.pack_into("<H", blk, 4, free - grow)
        # The old stat data keeps the directory's size (the item length) at byte 8.
        sd_loc = heads[sd[0]][6]
        struct.pack_into("<I", blk, sd_loc + 8, 48)
        f.seek(root * bs)
        f.write(blk)


# ------------------------------------------------------------------ guest

class Guest:
    """Boots user-mode Linux with some volume files attached and runs the
    guest side on them."""

    # LD_PRELOAD for `linux` when the plain guest cannot boot on this host
    # (see tools/uml-xstate); set once by unavailable_reason().
    preload = None

    def __init__(self, work, timeout, memory="512M"):
        self.work = work
        self.timeout = timeout
        self.memory = memory
        self.console = os.path.join(work, "console.log")

    def _script(self, body):
        py = sys.executable
        path = os.path.join(self.work, "guest.sh")
        with open(path, "w") as f:
            f.write("#!/bin/sh\n"
                    "PATH=%s:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin\n"
                    "export PATH PYTHONDONTWRITEBYTECODE=1 LC_ALL=C.UTF-8\n"
                    "mount -t proc proc /proc\n"
                    "if %s; then sync; echo %s; fi\n"
                    "halt -f\n" % (os.path.dirname(py), body.replace("@PY@", py), MARKER))
        os.chmod(path, 0o755)
        return path

    def boot(self, files, body):
        init = self._script(body)
        cmd = ["linux", "mem=" + self.memory, "root=/dev/root", "rootfstype=hostfs", "rootflags=/", "rw",
               "init=" + init]
        cmd += ["ubd%d=%s" % (i, f) for i, f in enumerate(files)]
        cmd += ["con=null", "con0=fd:0,fd:1"]
        with open(self.console, "wb") as out:
            env = dict(os.environ)
            if Guest.preload:
                env["LD_PRELOAD"] = Guest.preload
            proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=out, env=env,
                                    stderr=subprocess.STDOUT, start_new_session=True)
            try:
                proc.wait(timeout=self.timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        with open(self.console, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        if MARKER not in text.splitlines():
            tail = "\n".join(text.splitlines()[-40:])
            raise GuestFailure("the guest did not finish (see %s)" % self.console, tail)
        return text

    def fill(self, jobs):
        job_file = os.path.join(self.work, "job.json")
        for i, job in enumerate(jobs):
            job["dev"] = "/dev/ubd" + "abcdefgh"[i]
            job["mnt"] = os.path.join(self.work, "mnt%d" % i)
            os.makedirs(job["mnt"], exist_ok=True)
        with open(job_file, "w") as f:
            json.dump({"volumes": jobs}, f, indent=1)
        return self.boot([j["file"] for j in jobs], "@PY@ %s %s" % (GUEST_PROGRAM, job_file))


# ----------------------------------------------------------------- images

class Context:
    def __init__(self, name, work, timeout):
        self.name = name
        self.work = work
        self.guest = Guest(work, timeout)

    def path(self, name):
        return os.path.join(self.work, name)

    def volume(self, file_name, size, block_size, fmt="3.6", journal=None):
        path = self.path(file_name)
        with open(path, "wb") as f:
            f.truncate(size)
        cmd = ["mkreiserfs", "-q", "-f", "-b", str(block_size), "--format", fmt]
        if journal:
            cmd += ["-s", str(journal)]
        run(cmd + [path])
        if fmt == "3.5":
            pad_35_root(path)
        return path

    def job(self, file, content, seed, manifest, **extra):
        job = {"file": file, "content": content, "seed": seed, "manifest": self.path(manifest)}
        job.update(extra)
        return job


def plain_image(block_size, size_mib, content="standard", fmt="3.6", journal=None, **extra):
    def make(ctx):
        name = ctx.name
        img = ctx.volume(name + ".img", size_mib * MIB, block_size, fmt, journal)
        outputs = [name + ".img", name + ".manifest.jsonl"]
        job = ctx.job(img, content, seed=block_size + size_mib, manifest=outputs[1],
                        blockSize=block_size, **extra)
        if content in ("deleted", "sample", "carve", "versions"):
            outputs.append(name + ".history.jsonl")
            job["history"] = ctx.path(outputs[-1])
        ctx.guest.fill([job])
        return outputs
    return make


def partition_disk(path, size, script):
    with open(path, "wb") as f:
        f.truncate(size)
    run(["sfdisk", "--quiet", "--no-reread", "--no-tell-kernel", path], input=script)
    table = json.loads(run(["sfdisk", "--json", path]))["partitiontable"]["partitions"]
    for p in table:
        p["number"] = int(p["node"][len(path):])
    return table


def copy_into(disk, volume, start_sector):
    run(["dd", "if=" + volume, "of=" + disk, "bs=1M", "conv=notrunc,sparse",
         "oflag=seek_bytes", "seek=%d" % (start_sector * SECTOR), "status=none"])


def layout_entry(disk, part, manifest):
    sb = read_superblock(disk, part["start"] * SECTOR)
    return {"partition": part["number"], "startSector": part["start"],
            "sectorCount": part["size"], "blockSize": sb["blockSize"],
            "rootBlock": sb["rootBlock"], "format": sb["format"], "manifest": manifest}


def make_part_disk(ctx):
    # Primary 1: junk; primary 2: 3.6/4096; 3: extended with a 3.5 and a 3.6/1024 volume.
    disk = ctx.path("part-disk.img")
    table = partition_disk(disk, 200 * MIB, "label: dos\nunit: sectors\n"
                           "start=2048, size=32768, type=7\n"
                           "start=34816, size=131072, type=83\n"
                           "start=165888, type=5\n"
                           "size=98304, type=83\n"
                           "size=98304, type=83\n")
    parts = {p["number"]: p for p in table}
    plan = [(2, 4096, "3.6", "partition"), (5, 4096, "3.5", "v35"), (6, 1024, "3.6", "partition")]
    jobs = []
    for number, bs, fmt, content in plan:
        vol = ctx.volume("p%d.vol" % number, parts[number]["size"] * SECTOR, bs, fmt)
        jobs.append(ctx.job(vol, content, seed=number, blockSize=bs,
                              manifest="part-disk.p%d.manifest.jsonl" % number,
                              prefix="/logical%d" % number, label="volume-p%d" % number))
    ctx.guest.fill(jobs)

    # Not a file system: every sector names itself, then 32 random bytes
    # repeated, so it compresses and a sector read from the wrong place shows.
    filler = random.Random(7).randbytes(32) * 16
    junk = b"".join((b"junk sector %d\n" % n + filler)[:SECTOR]
                    for n in range(parts[1]["size"]))
    with open(disk, "r+b") as f:
        f.seek(parts[1]["start"] * SECTOR)
        f.write(junk)
    for (number, *_), job in zip(plan, jobs):
        copy_into(disk, job["file"], parts[number]["start"])
    layout = {"diskSectors": 200 * MIB // SECTOR,
              "junk": {"partition": 1, "startSector": parts[1]["start"],
                       "sectorCount": parts[1]["size"]},
              "volumes": [layout_entry(disk, parts[n], os.path.basename(s["manifest"]))
                          for (n, *_), s in zip(plan, jobs)]}
    with open(ctx.path("part-disk.layout.json"), "w") as f:
        json.dump(layout, f, indent=1)
    outputs = ["part-disk.img", "part-disk.layout.json"]

    # The same junk and volumes at the same byte offsets under a GPT, with
    # 512- and 4096-byte logical sectors.
    volumes = [(parts[1], None, "junk")] + \
        [(parts[n], job["file"], "volume-p%d" % n) for (n, *_), job in zip(plan, jobs)]
    for name, sector_size in (("part-gpt", 512), ("part-gpt4k", 4096)):
        gpt = ctx.path(name + ".img")
        gpt_parts = gpt_disk(gpt, 200 * MIB, sector_size, volumes)
        with open(gpt, "r+b") as f:
            f.seek(parts[1]["start"] * SECTOR)
            f.write(junk)
        for part, file, _ in volumes[1:]:
            copy_into(gpt, file, part["start"])
        gpt_layout = {"diskSectors": 200 * MIB // SECTOR, "sectorSize": sector_size,
                      "junk": gpt_parts[0],
                      "volumes": [dict(layout_entry(gpt, {"number": v["partition"],
                                                          "start": v["startSector"],
                                                          "size": v["sectorCount"]},
                                                    os.path.basename(s["manifest"])),
                                       name=v["name"], typeGuid=v["typeGuid"], uuid=v["uuid"])
                                  for v, s in zip(gpt_parts[1:], jobs)]}
        with open(ctx.path(name + ".layout.json"), "w") as f:
            json.dump(gpt_layout, f, indent=1)
        outputs += [name + ".img", name + ".layout.json"]
    return outputs + [os.path.basename(s["manifest"]) for s in jobs]


GPT_TYPES = {"junk": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",  # basic data
             "volume": "0FC63DAF-8483-4772-8E79-3D69D8477DE4"}  # Linux file system


def gpt_disk(path, size, sector_size, volumes):
    """Writes a GPT with one entry per (partition, file, name) of `volumes`,
    at the same byte offsets as the 512-byte partitions given, with fixed
    GUIDs so that a remake gives the same bytes. util-linux 2.38's sfdisk
    cannot be told a sector size for an image file; fdisk -b can, and applies
    the same script (its I command)."""
    with open(path, "wb") as f:
        f.truncate(size)
    factor = sector_size // SECTOR
    lines = ["label: gpt", "label-id: 6D6F7644-4B52-4F41-8000-%012X" % sector_size,
             "unit: sectors", "sector-size: %d" % sector_size]
    expected = []
    for i, (part, _, name) in enumerate(volumes):
        start, count = part["start"], part["size"]
        if start % factor or count % factor:
            raise GuestFailure("partition at %d is not aligned to %d" % (start, sector_size))
        kind = GPT_TYPES["junk" if name == "junk" else "volume"]
        guid = "6D6F7644-4B52-4F41-8%03X-%012X" % (i + 1, sector_size)
        lines.append('start=%d, size=%d, type=%s, uuid=%s, name="%s"'
                     % (start // factor, count // factor, kind, guid, name))
        expected.append({"partition": i + 1, "startSector": start, "sectorCount": count,
                         "name": name, "typeGuid": kind, "uuid": guid})
    script = path + ".sfdisk"
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    if sector_size == SECTOR:
        run(["sfdisk", "--quiet", "--no-reread", "--no-tell-kernel", path],
            input="\n".join(lines) + "\n")
    else:
        run(["fdisk", "--sector-size", str(sector_size), path],
            input="I\n%s\nw\n" % script)
    # Read back as the kernel would see the disk: at its own sector size.
    listing = run(["fdisk", "--sector-size", str(sector_size), "-l", "-o",
                   "Device,Start,Sectors,Name", path])
    rows = [line.split() for line in listing.splitlines() if line.startswith(path)]
    got = [(int(r[1]) * factor, int(r[2]) * factor, r[3]) for r in rows]
    if "Disklabel type: gpt" not in listing or \
            got != [(e["startSector"], e["sectorCount"], e["name"]) for e in expected]:
        raise GuestFailure("%s: the GPT written is not the one asked for: %s" % (path, got))
    os.unlink(script)
    return expected


def make_sample(ctx):
    disk = ctx.path("sample.img")
    table = partition_disk(disk, 48 * MIB, "label: dos\nunit: sectors\nstart=2048, type=83\n")
    part = table[0]
    vol = ctx.volume("p1.vol", part["size"] * SECTOR, 4096)
    job = ctx.job(vol, "sample", seed=11, manifest="sample.manifest.jsonl",
                    history=ctx.path("sample.history.jsonl"))
    ctx.guest.fill([job])
    copy_into(disk, vol, part["start"])
    layout = {"diskSectors": 48 * MIB // SECTOR, "junk": None,
              "volumes": [layout_entry(disk, part, "sample.manifest.jsonl")]}
    with open(ctx.path("sample.layout.json"), "w") as f:
        json.dump(layout, f, indent=1)
    return ["sample.img", "sample.manifest.jsonl", "sample.history.jsonl", "sample.layout.json"]


def bench_maker(content):
    def make(ctx):
        outputs = plain_image(4096, 1024, content=content)(ctx)
        sb = read_superblock(ctx.path(ctx.name + ".img"))
        print("%s.img: tree height %d, root block %d" % (ctx.name, sb["treeHeight"], sb["rootBlock"]))
        with open(ctx.path(ctx.name + ".info.json"), "w") as f:
            json.dump(sb, f, indent=1)
        return outputs + [ctx.name + ".info.json"]
    return make


IMAGES = {
    "v4096": (plain_image(4096, 64, sparseOver4G=True), 900),
    "v1024": (plain_image(1024, 48), 900),
    "v512": (plain_image(512, 48), 900),
    "v35": (plain_image(4096, 48, content="v35", fmt="3.5", prefix="/root-only"), 600),
    "moved": (plain_image(4096, 48, content="moved"), 600),
    "deleted": (plain_image(4096, 48, content="deleted"), 600),
    # A small journal: the kernel keeps leaves in the volume's first tenth
    # and data after it, as on a large volume, where the default journal
    # would fill that tenth.
    "carve": (plain_image(4096, 48, content="carve", journal=1024), 600),
    # Files written together in small appends, then deleted, nothing after.
    "versions": (plain_image(4096, 32, content="versions", journal=1024), 600),
    "part-disk": (make_part_disk, 900),
    "sample": (make_sample, 600),
}
def make_million(ctx):
    # The guest's manifest of a million files needs more than the usual memory.
    ctx.guest.memory = "2048M"
    outputs = plain_image(4096, 4096, content="million")(ctx)
    sb = read_superblock(ctx.path("million.img"))
    print("million.img: tree height %d, root block %d" % (sb["treeHeight"], sb["rootBlock"]))
    return outputs


BENCH = {"bench": (bench_maker("bench"), 3600), "bench-spread": (bench_maker("bench-spread"), 3600),
         "million": (make_million, 4 * 3600)}


# ------------------------------------------------------------------- main

def package_version(name):
    proc = subprocess.run(["dpkg-query", "-W", "-f=${Version}", name],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return proc.stdout.strip() or None


def generator_stamp():
    """What made a set of committed images: this generator's sources and the
    kernel and mkreiserfs that ran."""
    return {"generator": source_hash(),
            "user-mode-linux": package_version("user-mode-linux"),
            "reiserfsprogs": package_version("reiserfsprogs")}


def up_to_date(outdir, name, digest):
    try:
        with open(os.path.join(outdir, name + ".stamp")) as f:
            stamp = json.load(f)
    except (OSError, ValueError):
        return False
    return stamp.get("source") == digest and \
        all(os.path.exists(os.path.join(outdir, o)) for o in stamp.get("outputs", []))


def build(outdir, name, maker, timeout, digest):
    work = os.path.join(outdir, ".work", name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    stamp = os.path.join(outdir, name + ".stamp")
    if os.path.exists(stamp):
        os.unlink(stamp)
    started = time.monotonic()
    outputs = maker(Context(name, work, timeout))
    for o in outputs:
        os.replace(os.path.join(work, o), os.path.join(outdir, o))
    with open(stamp, "w") as f:
        json.dump({"source": digest, "outputs": outputs}, f)
    shutil.rmtree(work, ignore_errors=True)
    print("%s: made in %.0f s" % (name, time.monotonic() - started), flush=True)


def boots(work):
    """None when a guest boots, else the last line of its console."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        Guest(work, 120).boot([], "true")
    except GuestFailure as e:
        return (e.console_tail.strip().splitlines()[-1:] or ["no console output"])[0]
    shutil.rmtree(work, ignore_errors=True)
    return None


def unavailable_reason(outdir, preload, always_preload):
    for tool in ("linux", "mkreiserfs", "sfdisk"):
        if shutil.which(tool) is None:
            return "%s is not installed (user-mode-linux, reiserfsprogs, fdisk)" % tool
    work = os.path.join(outdir, ".work", "probe")
    if always_preload and preload:
        Guest.preload = preload
    failure = boots(work)
    if failure and preload and not Guest.preload:
        # Hosts with a large XSAVE area (AMX) make the 6.1 guest panic with
        # "ptrace set fp regs failed"; the preload library mends that.
        Guest.preload = preload
        second = boots(work)
        if second is None:
            print("the guest needs %s on this host (%s)" % (os.path.basename(preload), failure))
            return None
        failure = "%s; with %s: %s" % (failure, os.path.basename(preload), second)
    if failure:
        return "user-mode Linux does not boot here: " + failure
    return None


def raise_map_count(wanted=1048576):
    """A guest with a million files needs more memory mappings on the host than
    the default allows ("UML ran out of memory on the host side")."""
    path = "/proc/sys/vm/max_map_count"
    try:
        with open(path) as f:
            if int(f.read()) >= wanted:
                return
        with open(path, "w") as f:
            f.write(str(wanted))
    except (OSError, ValueError) as e:
        print("note: could not raise vm.max_map_count to %d (%s)" % (wanted, e))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir", nargs="?")
    ap.add_argument("--print-stamp", action="store_true",
                    help="print the stamp that names this generator and its tools, and exit")
    ap.add_argument("--only", nargs="+", metavar="NAME", choices=sorted({**IMAGES, **BENCH}))
    ap.add_argument("--bench", action="store_true", help="also make bench.img and bench-tree/")
    ap.add_argument("--bench-spread", action="store_true",
                    help="also make bench-spread.img and bench-spread-tree/ (files of 0 to 9,000 bytes)")
    ap.add_argument("--million", action="store_true",
                    help="also make million.img, a volume of 1,000,000 files (about 45 minutes)")
    ap.add_argument("--preload", metavar="LIB",
                    help="uml-xstate-preload.so, used when the plain guest does not boot")
    ap.add_argument("--always-preload", action="store_true",
                    help="start every guest with --preload's library")
    args = ap.parse_args()
    if args.print_stamp:
        print(json.dumps(generator_stamp(), indent=1))
        return 0
    if not args.outdir:
        ap.error("OUTDIR is required")

    outdir = os.path.abspath(args.outdir)
    os.makedirs(outdir, exist_ok=True)
    lock = open(os.path.join(outdir, ".lock"), "w")
    fcntl.flock(lock, fcntl.LOCK_EX)  # a second build directory may share the images

    wanted = dict(IMAGES)
    if args.bench:
        wanted["bench"] = BENCH["bench"]
    if args.bench_spread:
        wanted["bench-spread"] = BENCH["bench-spread"]
    if args.million:
        wanted["million"] = BENCH["million"]
    if args.only:
        wanted = {n: v for n, v in {**IMAGES, **BENCH}.items() if n in args.only}
    digest = source_hash()
    todo = [n for n in wanted if not up_to_date(outdir, n, digest)]
    unavailable = os.path.join(outdir, "UNAVAILABLE")
    if todo:
        reason = unavailable_reason(outdir, args.preload, args.always_preload)
        if reason:
            with open(unavailable, "w") as f:
                f.write(reason + "\n")
            print("test images unavailable: " + reason)
            return 0
    if os.path.exists(unavailable):
        os.unlink(unavailable)

    if set(todo) & set(BENCH):
        raise_map_count()
    failed = []
    for name in wanted:
        if name not in todo:
            print("%s: up to date" % name)
            continue
        maker, timeout = wanted[name]
        try:
            build(outdir, name, maker, timeout, digest)
        except GuestFailure as e:
            failed.append(name)
            print("%s: FAILED: %s" % (name, e), file=sys.stderr)
            if e.console_tail:
                print("---- guest console (last lines) ----\n%s\n----" % e.console_tail,
                      file=sys.stderr)
    for name in ("bench", "bench-spread"):
        if name not in wanted or name in failed:
            continue
        tree = os.path.join(outdir, name + "-tree")
        if not os.path.isdir(tree):
            started = time.monotonic()
            subprocess.run([sys.executable, "-B", GUEST_PROGRAM, "--%s-tree" % name, tree], check=True)
            print("%s-tree: written in %.0f s" % (name, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
