#!/usr/bin/env python3
"""dorvak-reiserfs-cli as scripts see it: JSON lines, exit statuses, messages."""
import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

CLI = IMAGES = None


def run(*args, env=None):
    p = subprocess.run([CLI, *args], capture_output=True, timeout=120,
                       env=None if env is None else {**os.environ, **env})
    return p.returncode, p.stdout.decode("utf-8", "surrogateescape"), p.stderr.decode("utf-8", "replace")


def jsonl(text):
    return [json.loads(line) for line in text.splitlines()]


def image(name):
    path = os.path.join(IMAGES, name)
    if not os.path.exists(path):
        reason = path + " missing (the unpack_test_images test puts it there)"
        if os.environ.get("CI", "") not in ("", "0", "false"):
            raise AssertionError(reason)  # CI never passes without the real volumes
        raise unittest.SkipTest(reason)
    return path


def manifest(name):
    with open(os.path.join(IMAGES, name)) as f:
        return [json.loads(line) for line in f]


class Discovery(unittest.TestCase):
    def test_volumes_of_the_partitioned_disk_follow_its_layout(self):
        code, out, _ = run("volumes", image("part-disk.img"))
        self.assertEqual(code, 0)
        with open(os.path.join(IMAGES, "part-disk.layout.json")) as f:
            layout = json.load(f)
        got = jsonl(out)
        want = [{"index": i, "name": "ReiserFS - %d" % i, "startSector": v["startSector"],
                 "sectorCount": v["sectorCount"], "sectorsPerBlock": v["blockSize"] // 512,
                 "rootBlock": v["rootBlock"]} for i, v in enumerate(layout["volumes"])]
        self.assertEqual(got, want)

    def test_gpt_disks_of_512_and_4096_byte_sectors_hold_the_mbr_disks_volumes(self):
        _, mbr, _ = run("volumes", image("part-disk.img"))
        _, mbr_list, _ = run("list", image("part-disk.img"), "--volume", "1")
        for name in ("part-gpt", "part-gpt4k"):
            code, out, err = run("volumes", image(name + ".img"))
            self.assertEqual((code, err), (0, ""), name)
            with open(os.path.join(IMAGES, name + ".layout.json")) as f:
                layout = json.load(f)
            got = jsonl(out)
            self.assertEqual([(v.pop("gptName"), v.pop("typeGuid")) for v in got],
                             [(v["name"], v["typeGuid"]) for v in layout["volumes"]], name)
            self.assertEqual(got, jsonl(mbr), name)
            code, listed, err = run("list", image(name + ".img"), "--volume", "1")
            self.assertEqual((code, listed), (0, mbr_list), name + err)

    def test_a_volume_in_the_fourth_primary_entry_is_found(self):
        # NTFS, FAT and swap, then Linux at sector 30000 holding part-disk's first volume.
        with open(os.path.join(IMAGES, "part-disk.layout.json")) as f:
            vol = json.load(f)["volumes"][0]
        entries = [(0x07, 2048, 8192), (0x0C, 10240, 8192), (0x82, 18432, 8192),
                   (0x83, 30000, vol["sectorCount"])]
        mbr = b"\0" * 446 + b"".join(b"\0" * 4 + bytes([t]) + b"\0" * 3 + struct.pack("<II", a, n)
                                     for t, a, n in entries) + b"\x55\xaa"
        with tempfile.NamedTemporaryFile() as disk, open(image("part-disk.img"), "rb") as src:
            disk.write(mbr)
            src.seek(vol["startSector"] * 512)
            for at in range(0, vol["sectorCount"] * 512, 1 << 20):
                chunk = src.read(1 << 20)
                if chunk.count(0) != len(chunk):  # keep the copy sparse
                    disk.seek(30000 * 512 + at)
                    disk.write(chunk)
            disk.truncate((30000 + vol["sectorCount"]) * 512)
            disk.flush()
            code, out, _ = run("volumes", disk.name)
            _, listed, _ = run("list", disk.name, "--volume", "0")
        self.assertEqual(code, 0)
        self.assertEqual([(v["startSector"], v["rootBlock"]) for v in jsonl(out)],
                         [(30000, vol["rootBlock"])])
        self.assertEqual(listed, run("list", image("part-disk.img"), "--volume", "0")[1])

    def test_a_damaged_primary_gpt_is_read_from_its_backup_and_said(self):
        _, clean, _ = run("volumes", image("part-gpt4k.img"))
        with tempfile.NamedTemporaryFile() as copy:
            subprocess.run(["cp", "--sparse=always", image("part-gpt4k.img"), copy.name],
                           check=True)
            with open(copy.name, "r+b") as f:
                f.seek(4096 + 80)  # the entry count of the primary header
                f.write(b"\x01")
            code, out, err = run("volumes", copy.name)
        self.assertEqual((code, out), (0, clean))
        self.assertIn("backup GPT", err)

    def test_a_changed_entry_of_the_primary_gpt_fails_its_crc_and_the_backup_is_read(self):
        _, clean, _ = run("volumes", image("part-gpt.img"))
        with open(os.path.join(IMAGES, "part-gpt.layout.json")) as f:
            first = json.load(f)["volumes"][0]["partition"]
        with tempfile.NamedTemporaryFile() as copy:
            subprocess.run(["cp", "--sparse=always", image("part-gpt.img"), copy.name],
                           check=True)
            with open(copy.name, "r+b") as f:
                f.seek(512 + 72)  # the header's entry array: where, and how long each
                entries, = struct.unpack("<Q", f.read(8))
                f.seek(512 + 84)
                size, = struct.unpack("<I", f.read(4))
                at = entries * 512 + (first - 1) * size + 32  # its first sector
                f.seek(at)
                start, = struct.unpack("<Q", f.read(8))
                f.seek(at)
                f.write(struct.pack("<Q", start + 8))
            code, out, err = run("volumes", copy.name)
        self.assertEqual((code, out), (0, clean))
        self.assertIn("backup GPT", err)

    def test_a_device_the_user_may_not_read_says_run_it_as_root(self):
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root to drop to an unprivileged user")
        with tempfile.TemporaryDirectory() as d:
            os.chmod(d, 0o755)
            path = os.path.join(d, "disk.img")
            with open(path, "wb") as f:
                f.truncate(1 << 20)
            os.chmod(path, 0o600)
            p = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                CLI, "volumes", path], capture_output=True, timeout=60)
        self.assertEqual(p.returncode, 2)
        self.assertEqual(p.stderr.decode(),
                         "Cannot open %s: Permission denied: run it as root\n" % path)

    def test_search_finds_the_same_volumes(self):
        code, out, err = run("search", image("part-disk.img"), "--quiet")
        self.assertEqual(code, 0, err)
        _, walked, _ = run("volumes", image("part-disk.img"))
        key = lambda v: (v["startSector"], v["rootBlock"], v["sectorsPerBlock"])
        self.assertEqual([key(v) for v in jsonl(out)], [key(v) for v in jsonl(walked)])
        self.assertIn("Partition(s) Found: 3", err)

    def test_nothing_found_is_not_an_error_but_an_unreadable_source_is(self):
        with tempfile.NamedTemporaryFile() as blank:
            blank.truncate(4 << 20)
            code, out, err = run("volumes", blank.name)
            self.assertEqual((code, out), (0, ""))
            self.assertIn("No ReiserFS volume found", err)
            code, _, err = run("list", blank.name)
            self.assertEqual(code, 2)
            self.assertIn("No ReiserFS volume found", err)
        code, _, err = run("volumes", "/nonexistent/disk.img")
        self.assertEqual(code, 2)
        self.assertIn("/nonexistent/disk.img", err)
        with tempfile.NamedTemporaryFile() as empty:
            code, _, err = run("volumes", empty.name)
            self.assertEqual(code, 2)
            self.assertIn("no readable sectors", err)

    def test_a_fifo_or_a_character_device_is_refused_at_once(self):
        # A FIFO would hang the open (no writer) and then every read.
        with tempfile.TemporaryDirectory() as d:
            fifo = os.path.join(d, "source")
            os.mkfifo(fifo)
            for source in (fifo, "/dev/null"):
                for args in (("volumes", source), ("list", source), ("search", source, "-q")):
                    code, out, err = run(*args)  # run() has a timeout
                    self.assertEqual((code, out), (2, ""), args)
                    self.assertEqual(err, "Cannot read %s: it is neither a disk nor a disk "
                                     "image file\n" % source, args)

    def test_disks_lists_an_image_under_its_file_name(self):
        code, out, _ = run("disks", image("v512.img"))
        self.assertEqual(code, 0)
        disk = [d for d in jsonl(out) if d["path"].endswith("v512.img")][0]
        self.assertEqual(disk["model"], "v512.img")
        self.assertEqual(disk["kind"], "image")
        self.assertEqual(disk["totalSectors"], os.path.getsize(image("v512.img")) // 512)
        self.assertEqual(disk["capacity"], "%d MB ( Approx )" % (disk["totalSectors"] // 2048))


def tool(name):
    if shutil.which(name):
        return name
    reason = name + " missing (tools/install-deps.sh installs it)"
    if os.environ.get("CI", "") not in ("", "0", "false"):
        raise AssertionError(reason)
    raise unittest.SkipTest(reason)


class ImageFormats(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Conversions of the partitioned disk, made fresh beside the images.
        cls.raw = image("part-disk.img")
        cls.tmp = tempfile.TemporaryDirectory(dir=os.path.dirname(IMAGES))
        d = cls.tmp.name
        qemu = tool("qemu-img")
        cls.made = {}
        for name, fmt, opts in (("disk.qcow2", "qcow2", []), ("disk.vhd", "vpc", []),
                                ("fixed.vhd", "vpc", ["-o", "subformat=fixed"]),
                                ("disk.vhdx", "vhdx", []), ("disk.vmdk", "vmdk", [])):
            subprocess.run([qemu, "convert", "-O", fmt, *opts, cls.raw, os.path.join(d, name)],
                           check=True, timeout=120)
            cls.made[name] = {"qcow2": "qcow2", "vpc": "VHD", "vhdx": "VHDX", "vmdk": "VMDK"}[fmt]
        # Named without the .E01 a user might have lost: found by content.
        subprocess.run([tool("ewfacquire"), "-u", "-q", "-c", "fast", "-t",
                        os.path.join(d, "acquired"), cls.raw], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        os.rename(os.path.join(d, "acquired.E01"), os.path.join(d, "acquired.bin"))
        cls.made["acquired.bin"] = "E01"

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_container_lists_what_its_raw_image_lists(self):
        _, volumes, _ = run("volumes", self.raw)
        lists = [run("list", self.raw, "--volume", str(i), "-q")[1]
                 for i in range(len(jsonl(volumes)))]
        for name, fmt in self.made.items():
            path = os.path.join(self.tmp.name, name)
            code, out, err = run("volumes", path)
            self.assertEqual((code, out, err), (0, volumes, "Image format: %s\n" % fmt), name)
            for i, want in enumerate(lists):
                code, out, err = run("list", path, "--volume", str(i), "-q")
                self.assertEqual((code, out), (0, want), name + err)
            code, out, _ = run("disks", path)
            disk = [d for d in jsonl(out) if d["path"] == path][0]
            self.assertEqual(disk["format"], fmt, name)
            # qemu-img rounds a VHD up to whole cylinders.
            size = os.path.getsize(self.raw) // 512
            got = disk["totalSectors"]
            self.assertTrue(size <= got < size + 255 * 63 if fmt == "VHD" else got == size,
                            (name, got, size))

    def test_a_damaged_container_is_refused_with_its_format_named(self):
        for name, keep in (("disk.qcow2", 4096), ("acquired.bin", 100000), ("disk.vhdx", 1000)):
            cut = os.path.join(self.tmp.name, "cut-" + name)
            with open(os.path.join(self.tmp.name, name), "rb") as f, open(cut, "wb") as g:
                g.write(f.read(keep))
            code, out, err = run("list", cut)
            self.assertEqual((code, out), (2, ""), name)
            self.assertTrue(err.startswith("Cannot read %s: damaged %s image (" %
                                           (cut, self.made[name])), err)


def write_map(path, size, bad):
    """A ddrescue mapfile of a source of `size` bytes, all read but the
    (pos, size, status) areas of `bad`."""
    lines = ["# Mapfile. Created by GNU ddrescue version 1.27", "0x%08X     +" % size]
    pos = 0
    for start, length, status in sorted(bad):
        if start > pos:
            lines.append("0x%08X  0x%08X  +" % (pos, start - pos))
        lines.append("0x%08X  0x%08X  %s" % (start, length, status))
        pos = start + length
    if pos < size:
        lines.append("0x%08X  0x%08X  +" % (pos, size - pos))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


class Maps(unittest.TestCase):
    def test_recover_reads_nothing_the_map_marks_bad_and_names_the_damaged_bytes(self):
        img = image("v1024.img")
        with open(img, "rb") as f:
            data = f.read()
        # A 64 KiB area three quarters into what the volume holds.
        used = [i for i in range(len(data) // 65536) if any(data[i * 65536:(i + 1) * 65536])]
        bad = used[len(used) * 3 // 4] * 65536
        with tempfile.TemporaryDirectory() as tmp:
            mapfile = os.path.join(tmp, "v.map")
            write_map(mapfile, len(data), [(bad, 32768, "-"), (bad + 32768, 32768, "?")])
            dest, whole = os.path.join(tmp, "out"), os.path.join(tmp, "whole")
            os.mkdir(dest)
            os.mkdir(whole)
            report, trace = os.path.join(tmp, "r.json"), os.path.join(tmp, "strace.log")
            # Under strace: every request the program makes of the source.
            # LeakSanitizer cannot run under ptrace: a sanitizer build leaves
            # its leak check to the other runs.
            env = dict(os.environ)
            env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
            p = subprocess.run([tool("strace"), "-f", "-e", "trace=openat,pread64", "-o", trace,
                                CLI, "recover", img, dest, "-q", "--map", mapfile, "--report",
                                report], capture_output=True, timeout=120, env=env)
            code, out, err = p.returncode, p.stdout.decode(), p.stderr.decode()
            self.assertEqual(code, 3, err)
            self.assertIn("Unreadable sector(s): 128\n", out)
            with open(trace) as f:
                calls = f.read()
            fd = re.search(r'openat\(AT_FDCWD, "%s", [^)]*\) = (\d+)' % re.escape(img), calls)
            reads = [(int(n), int(o)) for n, o in re.findall(
                r"pread64\(%s, .*, (\d+), (\d+)\) = " % fd.group(1), calls)]
            self.assertGreater(len(reads), 10)
            self.assertEqual([r for r in reads if r[1] < bad + 65536 and r[1] + r[0] > bad], [])
            with open(report) as f:
                damaged = json.load(f)["damaged"]
            self.assertTrue(damaged)
            self.assertLessEqual(sum(r["last"] - r["first"] + 1
                                     for d in damaged for r in d["ranges"]), 65536)
            code, out, err = run("recover", img, whole, "-q")  # 3: special files skipped
            self.assertEqual(code, 3, err)
            self.assertIn("Damaged: 0\n", out)
            got, want = tree(dest), tree(whole)
            self.assertEqual(sorted(got), sorted(want))
            ranges = {d["writtenPath"].lstrip("/"): d["ranges"] for d in damaged}
            for name, entry in want.items():
                if entry[0] == "dir":
                    continue
                if name not in ranges:
                    self.assertEqual(got[name][:2], entry[:2], name)
                    if os.path.isfile(os.path.join(whole, name)):
                        self.assertEqual(sha256(os.path.join(dest, name)),
                                         sha256(os.path.join(whole, name)), name)
                    continue
                # Zeros exactly where the report says, the file elsewhere.
                with open(os.path.join(dest, name), "rb") as f:
                    mine = bytearray(f.read())
                with open(os.path.join(whole, name), "rb") as f:
                    expected = bytearray(f.read())
                for r in ranges[name]:
                    self.assertEqual(mine[r["first"]:r["last"] + 1],
                                     bytes(r["last"] - r["first"] + 1), name)
                    expected[r["first"]:r["last"] + 1] = bytes(r["last"] - r["first"] + 1)
                self.assertEqual(mine, expected, name)

    def test_volumes_skips_a_superblock_the_map_marks_bad_and_a_broken_map_is_refused(self):
        img = image("part-disk.img")
        _, all_volumes, _ = run("volumes", img)
        second = jsonl(all_volumes)[1]
        with tempfile.TemporaryDirectory() as tmp:
            mapfile = os.path.join(tmp, "d.map")
            write_map(mapfile, os.path.getsize(img),
                      [((second["startSector"] + 128) * 512, 512, "*")])
            code, out, err = run("volumes", img, "--map", mapfile)
            self.assertEqual(code, 0)
            self.assertEqual([(v["startSector"]) for v in jsonl(out)],
                             [v["startSector"] for v in jsonl(all_volumes)
                              if v != second])
            # Both commands say that the image is read through a map.
            self.assertIn("Read through the map " + mapfile, err)
            code, out, err = run("disks", img, "--map", mapfile)
            self.assertEqual(code, 0, err)
            self.assertEqual([d.get("map") for d in jsonl(out) if d["path"] == img], [mapfile])
            self.assertEqual(run("disks", img, img, "--map", mapfile)[0], 1)
            with open(mapfile, "a") as f:
                f.write("0x00000000  0x00000200  +\n")  # overlaps the first block
            for args in (("volumes", img), ("list", img), ("search", img, "-q"), ("disks", img)):
                code, out, err = run(*args, "--map", mapfile)
                self.assertEqual((code, out), (2, ""), args)
                self.assertRegex(err, r"^Cannot read the map .*d\.map: line \d+: the block "
                                 r"overlaps or precedes the one before it\n$")


def map_blocks(path):
    """The (pos, size, status) lines of a mapfile, after its status line."""
    with open(path) as f:
        lines = [l.split() for l in f if l.strip() and not l.lstrip().startswith("#")]
    return [(int(p, 0), int(n, 0), st) for p, n, st in lines[1:]]


class Imaging(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(dir=os.path.dirname(IMAGES))
        self.addCleanup(self.tmp.cleanup)

    def path(self, name):
        return os.path.join(self.tmp.name, name)

    def test_image_of_a_healthy_disk_is_equal_to_it_and_ddrescue_takes_its_map(self):
        src = image("part-disk.img")
        out, mapfile = self.path("copy.img"), self.path("copy.map")
        code, text, err = run("image", src, out, "--map", mapfile, "-q")
        self.assertEqual(code, 0, err)
        self.assertIn("Bad sector(s): 0\n", text)
        self.assertEqual(sha256(out), sha256(src))
        size = os.path.getsize(src)
        self.assertEqual(map_blocks(mapfile), [(0, size, "+")])
        # ddrescue reads the map as a finished run: nothing left to do.
        p = subprocess.run([tool("ddrescue"), src, out, mapfile], capture_output=True,
                           timeout=120)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(map_blocks(mapfile), [(0, size, "+")])
        # Again with the map: resumed, nothing read; without it: refused.
        code, _, err = run("image", src, out, "--map", mapfile, "-q", "--stats")
        self.assertEqual((code, err), (0, '{"requests":0,"readErrors":0}\n'))
        code, _, err = run("image", src, out, "--map", self.path("other.map"), "-q")
        self.assertEqual(code, 2)
        self.assertIn("exists: give its map to resume that run", err)
        # One volume: its bytes, under a map that --map reads beside it.
        _, volumes, _ = run("volumes", src)
        v = jsonl(volumes)[1]
        vol, volmap = self.path("vol.img"), self.path("vol.map")
        code, _, err = run("image", src, vol, "--map", volmap, "--volume", "1", "-q")
        self.assertEqual(code, 0, err)
        with open(src, "rb") as f:
            f.seek(v["startSector"] * 512)
            self.assertEqual(hashlib.sha256(f.read(v["sectorCount"] * 512)).hexdigest(),
                             sha256(vol))
        self.assertEqual(run("list", vol, "--map", volmap, "-q")[1],
                         run("list", src, "--volume", "1", "-q")[1])

    def test_runs_of_ddrescue_and_of_image_resume_each_other(self):
        src = self.path("small.src")
        with open(image("v1024.img"), "rb") as f, open(src, "wb") as g:
            g.write(f.read(4 << 20))
        # ddrescue copies the first MiB; image takes up the rest, reading
        # only what ddrescue left untried.
        a, amap = self.path("a.img"), self.path("a.map")
        subprocess.run([tool("ddrescue"), "-s", "1MiB", src, a, amap], capture_output=True,
                       check=True, timeout=120)
        code, _, err = run("image", src, a, "--map", amap, "-q", "--stats")
        self.assertEqual(code, 0, err)
        self.assertEqual(json.loads(err)["requests"], (3 << 20) // 65536)
        self.assertEqual(sha256(a), sha256(src))
        self.assertEqual(map_blocks(amap), [(0, 4 << 20, "+")])
        # A run of ours that left a bad sector, areas not trimmed and not
        # scraped, and untried ones: image finishes what it may, ddrescue
        # then retries the bad sector (the file reads fine) and agrees.
        b, bmap = self.path("b.img"), self.path("b.map")
        with open(src, "rb") as f, open(b, "wb") as g:
            g.write(f.read(1 << 20))
        write_map(bmap, 4 << 20, [(0x100000, 0x200, "-"), (0x100200, 0xE00, "/"),
                                   (0x101000, 0x1000, "*"), (0x102000, 0x2FE000, "?")])
        code, out, err = run("image", src, b, "--map", bmap, "-q")
        self.assertEqual(code, 3, err)
        self.assertIn("Bad sector(s): 1\n", out)
        self.assertEqual(map_blocks(bmap), [(0, 0x100000, "+"), (0x100000, 0x200, "-"),
                                            (0x100200, (4 << 20) - 0x100200, "+")])
        p = subprocess.run([tool("ddrescue"), "-r1", src, b, bmap], capture_output=True,
                           timeout=120)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(map_blocks(bmap), [(0, 4 << 20, "+")])
        self.assertEqual(sha256(b), sha256(src))


class Listing(unittest.TestCase):
    def test_list_prints_folders_then_files_with_raw_names(self):
        code, out, err = run("list", image("v4096.img"), "--quiet")
        self.assertEqual(code, 0, err)
        rows = jsonl(out)
        kinds = [r["kind"] != "dir" for r in rows]
        self.assertEqual(kinds, sorted(kinds))  # "dir" rows before the others
        listed = {r["path"]: r for r in rows}
        checked = 0
        for m in manifest("v4096.manifest.jsonl"):
            if m["kind"] not in ("dir", "file") or m["nlink"] > 1:
                continue
            row = listed[m["path"]]  # \\udcXX escapes decode to the same raw bytes
            self.assertEqual((row["objectId"], row["mtime"]), (m["inode"], m["mtime"]))
            if m["kind"] == "file":
                self.assertEqual(row["size"], m["size"])
            checked += 1
        self.assertGreater(checked, 1000)
        self.assertTrue(any("\udcff" in p for p in listed), "a name that is not UTF-8")
        numbers = [r["fileNumber"] for r in rows if r["kind"] != "dir"]
        self.assertEqual(numbers, list(range(1, len(numbers) + 1)))
        self.assertTrue(err.rstrip().endswith("File(s) Found: %d" % len(numbers)))

    def test_volume_choice_by_index_or_start_sector(self):
        disk = image("part-disk.img")
        _, by_index, _ = run("list", disk, "--volume", "2", "--quiet")
        _, by_start, _ = run("list", disk, "--start-sector", "268288", "--quiet")
        self.assertEqual(by_index, by_start)
        self.assertTrue(by_index)
        code, _, err = run("list", disk, "--volume", "7")
        self.assertEqual(code, 2)
        self.assertIn("There is no volume 7", err)
        code, _, err = run("list", disk, "--start-sector", "2048")
        self.assertEqual(code, 2)
        self.assertIn("No ReiserFS superblock", err)

    def test_extensive_list_brings_back_deleted_files(self):
        _, normal, _ = run("list", image("deleted.img"), "--quiet")
        _, extensive, _ = run("list", image("deleted.img"), "--extensive", "--quiet")
        normal_paths = {r["path"] for r in jsonl(normal)}
        extra = {r["path"] for r in jsonl(extensive)} - normal_paths
        for old in manifest("deleted.history.jsonl"):
            if old["event"] == "deleted" and old["kind"] == "file":
                self.assertIn(old["path"], extra)

    def test_carved_files_are_listed_typed_and_left_out_with_no_carve(self):
        _, carved, _ = run("list", image("carve.img"), "--extensive", "--quiet")
        _, plain, _ = run("list", image("carve.img"), "--extensive", "--no-carve", "--quiet")
        rows = [r for r in jsonl(carved) if r["path"].startswith("/Carved Files")]
        files = [r for r in rows if r["kind"] == "file"]
        self.assertTrue(files)
        for r in files:
            self.assertRegex(r["name"], r"^b[0-9]{7,}\.")
            self.assertTrue(r["deleted"] and r["carved"])
        self.assertEqual([r for r in jsonl(carved) if r not in rows], jsonl(plain))
        code, _, _ = run("list", image("deleted.img"), "--no-carve", "--quiet")
        self.assertEqual(code, 0)

    def test_list_one_folder_to_a_depth_or_only_what_was_deleted(self):
        img = image("v4096.img")
        linked = {m["path"] for m in manifest("v4096.manifest.jsonl") if m["kind"] == "file" and m["nlink"] > 1}
        below = lambda p: p.startswith("/docs/") and p not in linked
        for depth in (1, 2, 3):
            with self.subTest(depth=depth):
                code, out, err = run("list", img, "--path", "/docs/", "--depth", str(depth), "-q")
                self.assertEqual(code, 0, err)
                want = {m["path"] for m in manifest("v4096.manifest.jsonl")
                        if below(m["path"]) and m["kind"] in ("dir", "file")
                        and m["path"].count("/") - 1 <= depth}
                self.assertEqual({r["path"] for r in jsonl(out)} - linked, want)
        _, default, _ = run("list", img, "--path", "/docs", "-q")
        _, one, _ = run("list", img, "--path", "/docs", "--depth", "1", "-q")
        self.assertEqual(default, one)
        code, _, err = run("list", img, "--path", "/no/such")
        self.assertEqual(code, 2)
        self.assertIn("No folder at", err)

        code, out, err = run("list", image("deleted.img"), "--deleted", "-q")
        self.assertEqual(code, 0, err)
        rows = jsonl(out)
        # An Extensive listing is the Normal one plus what only the block
        # scan found: exactly those rows.
        _, normal, _ = run("list", image("deleted.img"), "-q")
        _, extensive, _ = run("list", image("deleted.img"), "--extensive", "-q")
        self.assertTrue(rows)
        self.assertTrue(all(r.get("deleted") for r in rows))
        self.assertEqual(len(rows), len(jsonl(extensive)) - len(jsonl(normal)))
        self.assertLessEqual({h["path"] for h in manifest("deleted.history.jsonl")
                              if h["event"] == "deleted" and h["kind"] == "file"},
                             {r["path"] for r in rows})

    def test_find_prints_list_rows_with_names_byte_for_byte(self):
        # Letter case is ignored in the match only; a name that is not UTF-8
        # and one with a tab or a newline must come back as the same bytes.
        code, out, err = run("find", image("v4096.img"), "*.BIN", "--quiet")
        self.assertEqual(code, 0, err)
        rows = jsonl(out)
        want = {m["path"]: m for m in manifest("v4096.manifest.jsonl")
                if m["kind"] == "file" and m["path"].lower().endswith(".bin") and m["nlink"] == 1}
        self.assertTrue(want)
        got = {r["path"]: r for r in rows}
        self.assertLessEqual(set(want), set(got))
        self.assertTrue(all(r["kind"] == "file" and r["path"].lower().endswith(".bin") for r in rows))
        for path, m in want.items():
            self.assertEqual((got[path]["name"], got[path]["objectId"], got[path]["size"]),
                             (path.rpartition("/")[2], m["inode"], m["size"]))
        _, listed, _ = run("list", image("v4096.img"), "--quiet")
        odd = [r for r in jsonl(listed) if r["kind"] == "file" and
               any(ch in r["name"] for ch in "\t\n\udcff")]
        self.assertTrue(odd, "the volume holds names with control bytes or non-UTF-8 bytes")
        for r in odd:
            _, out, _ = run("find", image("v4096.img"), r["name"].encode("utf-8", "surrogateescape"),
                            "--quiet")
            self.assertIn(r, jsonl(out))
        self.assertIn("Files Found: %d" % len(rows), err)


class SavedScans(unittest.TestCase):
    def test_a_saved_scan_lists_finds_and_recovers_as_the_scan_did(self):
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("carve.img", "deleted.img"):
                with self.subTest(image=name):
                    img, saved = image(name), os.path.join(tmp, name + ".scan")
                    code, scanned, err = run("list", img, "--extensive", "--quiet", "--save-scan", saved)
                    self.assertEqual(code, 0, err)
                    self.assertIn("Scan saved to", err)
                    code, loaded, err = run("list", img, "--quiet", "--load-scan", saved)
                    self.assertEqual(code, 0, err)
                    self.assertEqual(loaded, scanned)
                    self.assertTrue(any(r.get("deleted") for r in jsonl(loaded)))
                    self.assertEqual(run("find", img, "*.*", "--quiet", "--load-scan", saved)[1],
                                     run("find", img, "*.*", "--quiet", "--extensive")[1])
                    a, b = os.path.join(tmp, name + ".a"), os.path.join(tmp, name + ".b")
                    os.mkdir(a)
                    os.mkdir(b)
                    run("recover", img, a, "--quiet", "--extensive")
                    code, out, err = run("recover", img, b, "--quiet", "--load-scan", saved)
                    self.assertIn(code, (0, 3), err)
                    files = lambda root: {rel: e for rel, e in tree(root).items() if e[0] != "dir"}
                    self.assertEqual(files(b), files(a))
                    self.assertEqual(tree(b).keys(), tree(a).keys())
                    for rel in files(a):
                        if not os.path.islink(os.path.join(a, rel)):
                            self.assertEqual(sha256(os.path.join(b, rel)), sha256(os.path.join(a, rel)), rel)

    def test_a_scan_of_another_disk_or_volume_or_a_damaged_one_is_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            saved = os.path.join(tmp, "p.scan")
            disk = image("part-disk.img")
            self.assertEqual(run("list", disk, "--extensive", "--quiet", "--save-scan", saved)[0], 0)
            # The volume the scan was made of is chosen when none is named.
            self.assertEqual(run("list", disk, "--quiet", "--load-scan", saved)[1],
                             run("list", disk, "--quiet", "--extensive")[1])
            with open(saved, "rb") as f:
                good = f.read()
            cut, bent = os.path.join(tmp, "cut.scan"), os.path.join(tmp, "bent.scan")
            with open(cut, "wb") as f:
                f.write(good[:len(good) // 2])
            with open(bent, "wb") as f:
                f.write(good[:100] + bytes([good[100] ^ 1]) + good[101:])
            cases = [(["list", disk, "--volume", "1", "--load-scan", saved], "another disk or volume"),
                     (["find", image("v4096.img"), "*", "--load-scan", saved], "another disk or volume"),
                     (["list", disk, "--load-scan", cut], "is damaged"),
                     (["recover", disk, tmp, "--dry-run", "--load-scan", bent], "is damaged")]
            for args, why in cases:
                with self.subTest(args=args[:2] + args[-1:]):
                    code, out, err = run(*args, "--quiet")
                    self.assertEqual(code, 2, err)
                    self.assertEqual(out, "")
                    self.assertIn(why, err)
                    self.assertEqual(len(err.strip().splitlines()), 1, err)
            code, _, err = run("list", disk, "--save-scan", saved)
            self.assertEqual(code, 1)
            self.assertIn("--extensive", err)

    def test_a_stopped_scan_goes_on_from_its_file_to_what_one_whole_scan_lists(self):
        # The test hook stops the block scan at a set share of the volume,
        # the same block every run; going on reads only the rest.
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("carve.img", "deleted.img"):
                with self.subTest(image=name):
                    img, saved = image(name), os.path.join(tmp, name + ".scan")
                    code, whole, err = run("list", img, "--extensive", "--quiet")
                    self.assertEqual(code, 0, err)
                    code, part, err = run("list", img, "--extensive", "--quiet", "--save-scan",
                                          saved, env={"DORVAK_STOP_SCAN_AT": "40"})
                    self.assertIn("the list is partial", err)
                    self.assertIn("Partial scan saved to", err)
                    self.assertNotEqual(part, whole)
                    code, out, err = run("list", img, "--quiet", "--load-scan", saved)
                    self.assertEqual(out, part)
                    self.assertIn("add --extensive to go on", err)
                    code, resumed, err = run("list", img, "--extensive", "--quiet", "--load-scan",
                                             saved, "--save-scan", saved)
                    self.assertEqual(code, 0, err)
                    self.assertNotIn("partial", err)
                    self.assertEqual(resumed, whole)
                    self.assertEqual(run("list", img, "--quiet", "--load-scan", saved)[1], whole)


class CommandLine(unittest.TestCase):
    def test_help_and_version_exit_0_on_stdout(self):
        commands = ["disks", "volumes", "search", "list", "find", "recover", "help"]
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        for c in commands:
            self.assertRegex(out, r"\n  %s " % c)
        cases = [(["-h"], ""), (["help"], ""), *[([c, "--help"], c) for c in commands],
                 *[(["help", c], c) for c in commands]]
        for args, name in cases:
            with self.subTest(args=args):
                code, out, err = run(*args)
                self.assertEqual((code, err), (0, ""))
                self.assertIn(("Usage: dorvak-reiserfs-cli " + name).rstrip(), out)
        code, out, _ = run("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^dorvak-reiserfs-cli \d+\.\d+")

    def test_usage_errors_exit_1_with_the_usage_on_stderr(self):
        img = image("sample.img")
        cases = [
            ([], "Usage: dorvak-reiserfs-cli"),
            (["bogus"], "no command bogus"),
            (["list"], "SOURCE is required"),
            (["list", img, "--volume", "one"], "Usage: dorvak-reiserfs-cli list"),
            (["list", img, "--volume", "-1"], "Usage: dorvak-reiserfs-cli list"),
            (["list", img, "--volume", "1", "--start-sector", "2"], "excludes"),
            (["list", img, "--quiet", "--progress"], "excludes"),
            (["list", img, "--depth", "0"], "Usage: dorvak-reiserfs-cli list"),
            (["search", img, "--run", "101"], "Usage: dorvak-reiserfs-cli search"),
            (["find", img], "PATTERN is required"),
            (["recover", img, "/tmp", "--duplicates", "never"], "Usage: dorvak-reiserfs-cli recover"),
            (["recover", img, "/tmp", "--retries", "11"], "Usage: dorvak-reiserfs-cli recover"),
            (["recover", img, "/tmp", "extra"], "extra"),
            (["help", "bogus"], "No command bogus"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                code, out, err = run(*args)
                self.assertEqual((code, out), (1, ""))
                self.assertIn(message, err)
                self.assertIn("Usage: dorvak-reiserfs-cli", err)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def tree(root):
    """Every entry below root: relative path -> (kind, size, mtime)."""
    out = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            kind = "dir" if os.path.isdir(path) and not os.path.islink(path) else "other"
            out[os.path.relpath(path, root)] = (kind, st.st_size, st.st_mtime_ns)
    return out


def wait_for(process, pattern):
    """Reads progress lines from stderr until one matches; returns them."""
    seen = []
    for line in process.stderr:
        seen.append(line.decode("utf-8", "replace"))
        if re.search(pattern, seen[-1]):
            return seen
    raise AssertionError("the job ended before %r: %s" % (pattern, "".join(seen[-5:])))


class Progress(unittest.TestCase):
    BAR = r"\[[#-]{20}\] +\d+% +\d+\.\d MB/s"

    def test_progress_on_a_terminal_or_when_forced_never_when_quiet(self):
        import pty
        img = image("v4096.img")
        cases = [(["search", img], "Scanning sector"), (["list", img], "Mounting volume"),
                 (["list", img, "--extensive"], "Mounting volume")]
        for args, text in cases:
            with self.subTest(args=args):
                _, _, err = run(*args, "--progress")
                bars = [l for l in err.splitlines() if re.match(self.BAR, l)]
                self.assertTrue(bars, err)
                self.assertTrue(any(text in l for l in bars), err)
                self.assertNotIn("\r", err)  # one line per redraw off a terminal
                _, _, err = run(*args)  # stderr is a pipe
                self.assertFalse(re.search(self.BAR, err), err)
        # On a terminal the bar is drawn over itself and cleared at the end.
        master, slave = pty.openpty()
        p = subprocess.run([CLI, "list", img, "--extensive"], stdout=subprocess.DEVNULL,
                           stderr=slave, timeout=120)
        os.close(slave)
        err = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            err += chunk
        os.close(master)
        self.assertEqual(p.returncode, 0)
        self.assertRegex(err.decode(), "\r" + self.BAR)
        self.assertIn("\r\x1b[K", err.decode())
        p = subprocess.run([CLI, "list", img, "--extensive", "--quiet"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, timeout=120)
        self.assertFalse(re.search(self.BAR, p.stderr.decode()))


class Signals(unittest.TestCase):
    def test_sigint_during_list_prints_what_was_found_and_exits_130(self):
        # v4096 grown to a sparse 64 GiB volume: the Extensive block scan
        # takes long enough to be interrupted whatever the machine.
        with tempfile.TemporaryDirectory() as tmp:
            big = os.path.join(tmp, "big.img")
            with open(image("v4096.img"), "rb") as f, open(big, "wb") as g:
                shutil.copyfileobj(f, g)
                g.truncate(64 << 30)
                g.seek(65536)  # the superblock's block count
                g.write(struct.pack("<I", (64 << 30) // 4096))
            p = subprocess.Popen([CLI, "list", big, "--extensive", "--progress"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                # The block scan is under way: the bar has moved.
                seen = wait_for(p, r"\]\s+[1-9]\d*%")
                p.send_signal(signal.SIGINT)
                out, err = p.communicate(timeout=60)
            finally:
                p.kill()
        err = "".join(seen) + err.decode()
        self.assertEqual(p.returncode, 130, err[-500:])
        self.assertIn("the list is partial", err)
        got = {r["path"] for r in jsonl(out.decode("utf-8", "surrogateescape"))}
        _, whole, _ = run("list", image("v4096.img"), "--quiet")
        self.assertLessEqual({r["path"] for r in jsonl(whole)}, got)

    def test_sigterm_during_recover_leaves_whole_files_only_and_exits_143(self):
        want = {m["path"]: m for m in manifest("v4096.manifest.jsonl") if m["kind"] == "file"}
        with tempfile.TemporaryDirectory() as dest:
            report = os.path.join(dest, "..", os.path.basename(dest) + ".json")
            p = subprocess.Popen([CLI, "recover", image("v4096.img"), dest, "--progress",
                                  "--sectors-per-read", "1", "--report", report],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                wait_for(p, r"Saving the data")
                p.send_signal(signal.SIGTERM)
                out, _ = p.communicate(timeout=60)
            finally:
                p.kill()
            self.assertEqual(p.returncode, 143)
            self.assertIn(b"Stopped:", out)
            with open(report) as f:
                doc = json.load(f)
            os.unlink(report)
            self.assertTrue(doc["stopped"])
            files = {k for k, v in tree(dest).items() if v[0] != "dir"}
            self.assertEqual([f for f in files if ".dorvak-" in f], [])
            self.assertLess(len(files), len(want), "the stop came too late to test anything")
            # Every file at the destination is one the report says was
            # written, whole.
            self.assertEqual(files, {w["writtenPath"].lstrip("/") for w in doc["written"]})
            for w in doc["written"]:
                m = want[w["path"]]
                path = os.path.join(dest, w["writtenPath"].lstrip("/"))
                self.assertEqual(os.path.getsize(path), m["size"], w)
                if m["size"] < (64 << 20):
                    self.assertEqual(sha256(path), m["sha256"], w)


class Recovering(unittest.TestCase):
    def test_dry_run_writes_nothing_and_foretells_the_report_of_the_real_run(self):
        # A destination that is not empty: a file where a file goes (renamed),
        # a link where a folder goes (the folder is numbered, the link is not
        # followed).
        with tempfile.TemporaryDirectory() as tmp:
            dest, elsewhere = os.path.join(tmp, "out"), os.path.join(tmp, "elsewhere")
            os.mkdir(dest)
            os.mkdir(elsewhere)
            with open(os.path.join(dest, "readme.txt"), "w") as f:
                f.write("mine")
            os.symlink(elsewhere, os.path.join(dest, "Documents"))
            before = tree(dest)
            args = ["recover", image("sample.img"), dest, "--extensive", "--quiet"]
            plan_file, real_file = os.path.join(tmp, "plan.json"), os.path.join(tmp, "real.json")
            code, out, err = run(*args, "--dry-run", "--report", plan_file)
            self.assertEqual(code, 0, err)
            self.assertIn("Dry run: nothing was written", out)
            self.assertEqual(tree(dest), before)
            self.assertEqual(os.listdir(elsewhere), [])

            code, out, err = run(*args, "--report", real_file)
            self.assertEqual(code, 0, err)
            self.assertEqual(os.listdir(elsewhere), [])
            with open(plan_file) as f:
                plan = json.load(f)
            with open(real_file) as f:
                real = json.load(f)
            self.assertTrue(plan["dryRun"])
            self.assertFalse(real["dryRun"])
            entries = lambda doc, key: sorted((e["path"], e["writtenPath"]) for e in doc[key])
            for key in ("written", "renamed", "skipped", "failed"):
                self.assertEqual(entries(plan, key), entries(real, key), key)
            self.assertEqual((plan["filesWritten"], plan["bytesWritten"]),
                             (real["filesWritten"], real["bytesWritten"]))
            after = tree(dest)
            self.assertEqual(sorted(plan["foldersCreated"]),
                             sorted("/" + k for k, v in after.items()
                                    if v[0] == "dir" and k not in before))
            # The report says what is on disk: the names, the renamed ones
            # among them, and the contents.
            self.assertIn(("/readme.txt", "/readme (1).txt"), entries(real, "renamed"))
            self.assertIn(("/Documents", "/Documents (1)"), entries(real, "renamed"))
            self.assertEqual(real["filesWritten"], len(real["written"]))
            want = {m["path"]: m for m in manifest("sample.manifest.jsonl")}
            want.update({h["path"]: h for h in manifest("sample.history.jsonl")})
            written = set()
            for w in real["written"]:
                path = os.path.join(dest, w["writtenPath"].lstrip("/"))
                self.assertEqual(sha256(path), want[w["path"]]["sha256"], w)
                written.add(w["writtenPath"].lstrip("/"))
            self.assertEqual(written, {k for k, v in after.items()
                                       if v[0] != "dir" and k not in before})
            self.assertEqual(real["bytesWritten"], sum(want[w["path"]]["size"]
                                                       for w in real["written"]))

    def test_older_versions_never_replace_current_files_and_the_plan_says_so(self):
        # A Normal run, then every deleted version into the same folder under
        # each policy: the current files stay, the versions are numbered (or
        # skipped), and --dry-run foretells exactly that.
        want = {m["path"]: m for m in manifest("deleted.manifest.jsonl")}
        for policy in ("overwrite", "rename", "skip"):
            with tempfile.TemporaryDirectory() as tmp:
                dest = os.path.join(tmp, "out")
                os.mkdir(dest)
                code, _, err = run("recover", image("deleted.img"), dest, "--quiet")
                self.assertEqual(code, 0, err)
                args = ["recover", image("deleted.img"), dest, "--quiet", "--extensive",
                        "--deleted", "only", "--duplicates", policy]
                docs = []
                for extra in (["--dry-run"], []):
                    report = os.path.join(tmp, "r%d.json" % len(docs))
                    code, out, err = run(*args, *extra, "--report", report)
                    self.assertEqual(code, 3 if policy == "skip" else 0, policy + err)
                    with open(report) as f:
                        docs.append(json.load(f))
                plan, real = docs
                for key in ("written", "renamed", "skipped"):
                    entries = lambda doc: sorted((e["path"], e["writtenPath"]) for e in doc[key])
                    self.assertEqual(entries(plan), entries(real), (policy, key))
                self.assertEqual(sha256(os.path.join(dest, "rewrite/shrink.bin")),
                                 want["/rewrite/shrink.bin"]["sha256"], policy)
                renamed = {(r["path"], r["writtenPath"]) for r in real["renamed"]}
                if policy == "skip":
                    self.assertIn("/rewrite/shrink.bin", {s["path"] for s in real["skipped"]})
                else:
                    self.assertIn(("/rewrite/shrink.bin", "/rewrite/shrink (1).bin"), renamed)
                    self.assertIn(("/rewrite/twice.txt", "/rewrite/twice (2).txt"), renamed)
                    self.assertIn("Renamed: %d" % len(renamed), out)

    def test_a_normal_recover_past_damaged_tree_nodes_says_so_and_exits_3(self):
        with tempfile.TemporaryDirectory() as tmp:
            bad = os.path.join(tmp, "bad.img")
            subprocess.run(["cp", "--sparse=always", image("v4096.img"), bad], check=True)
            _, out, _ = run("volumes", bad)
            v = jsonl(out)[0]
            block = lambda n: (v["startSector"] + n * v["sectorsPerBlock"]) * 512
            with open(bad, "r+b") as f:
                f.seek(block(v["rootBlock"]))
                level, count = struct.unpack("<HH", f.read(4))
                self.assertGreater(level, 1)
                # The last child pointer (the first subtree holds the root folder).
                f.seek(block(v["rootBlock"]) + 24 + 16 * count + 8 * count)
                child, = struct.unpack("<I", f.read(4))
                f.seek(block(child))
                f.write(struct.pack("<H", 0x7777))  # a level no node has
            _, _, listed = run("list", bad, "--quiet")
            line = "Damaged or repeated tree nodes skipped: 1"
            self.assertIn(line, listed)
            dest, report = os.path.join(tmp, "out"), os.path.join(tmp, "r.json")
            os.mkdir(dest)
            code, out, err = run("recover", bad, dest, "--quiet", "--report", report)
            self.assertEqual(code, 3, err)
            self.assertIn(line + "\n", out)
            self.assertIn("--extensive", out)
            with open(report) as f:
                doc = json.load(f)
            self.assertEqual(doc["nodesSkipped"], 1)
            self.assertIn("--extensive", doc["advice"])
            self.assertGreater(doc["filesWritten"], 0)  # what it reached is written


class DestinationOnTheSource(unittest.TestCase):
    """Destinations whose writes land on the source, through loop devices and
    overlays: these need root (CI runs as root)."""

    def setUp(self):
        if os.geteuid() != 0:
            reason = "loop devices and mounts need root"
            if os.environ.get("CI", "") not in ("", "0", "false"):
                raise AssertionError(reason)
            self.skipTest(reason)
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.tmp = tmp.name

    def sh(self, *args):
        return subprocess.run(args, check=True, capture_output=True, text=True).stdout.strip()

    def filesystem(self, image, mountpoint, size=16 << 20):
        """A fresh ext4 in `image`, mounted at `mountpoint` through a loop device."""
        with open(image, "wb") as f:
            f.truncate(size)
        self.sh("mkfs.ext4", "-q", image)
        loop = self.sh("losetup", "-f", "--show", image)
        self.addCleanup(subprocess.run, ["losetup", "-d", loop])
        os.mkdir(mountpoint)
        self.sh("mount", loop, mountpoint)
        self.addCleanup(subprocess.run, ["umount", mountpoint])
        return loop

    def test_loop_devices_overlays_and_image_files_on_the_source_are_refused(self):
        t = lambda *p: os.path.join(self.tmp, *p)
        disk = self.filesystem(t("disk.img"), t("disk"))  # the source disk
        self.filesystem(t("disk", "inner.img"), t("inner"), 8 << 20)  # a loop on it
        for d in ("lower", "ov", "disk/up", "disk/work", "elsewhere"):
            os.mkdir(t(d))
        self.sh("mount", "-t", "overlay", "overlay", "-o", "lowerdir=%s,upperdir=%s,workdir=%s"
                % (t("lower"), t("disk", "up"), t("disk", "work")), t("ov"))
        self.addCleanup(subprocess.run, ["umount", t("ov")])
        for source, dest, words in ((disk, t("inner"), "lies on the disk being recovered"),
                                    (disk, t("ov"), "lies on the disk being recovered"),
                                    (t("disk.img"), t("disk"), "stored in the image")):
            code, _, err = run("recover", source, dest, "--quiet")
            self.assertEqual(code, 2, (source, dest))
            self.assertIn(words, err, (source, dest))
            self.assertEqual(err.count("\n"), 1, err)
        code, _, err = run("recover", disk, t("elsewhere"), "--quiet")
        self.assertNotIn("being recovered", err)  # refused for holding no volume only


def main():
    global CLI, IMAGES
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--images", required=True)
    args, rest = parser.parse_known_args()
    CLI, IMAGES = args.cli, args.images
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
