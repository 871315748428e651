#!/usr/bin/env python3
"""dorvak-reiserfs-cli as scripts see it: JSON lines, exit statuses, messages."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = IMAGES = None


def run(*args):
    p = subprocess.run([CLI, *args], capture_output=True, timeout=120)
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

    def test_disks_lists_an_image_under_its_file_name(self):
        code, out, _ = run("disks", image("v512.img"))
        self.assertEqual(code, 0)
        disk = [d for d in jsonl(out) if d["path"].endswith("v512.img")][0]
        self.assertEqual(disk["model"], "v512.img")
        self.assertEqual(disk["kind"], "image")
        self.assertEqual(disk["totalSectors"], os.path.getsize(image("v512.img")) // 512)
        self.assertEqual(disk["capacity"], "%d MB ( Approx )" % (disk["totalSectors"] // 2048))


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

    def test_find_prints_upper_case_names_backslash_paths_and_sizes(self):
        code, out, err = run("find", image("v4096.img"), "*.bin", "--quiet")
        self.assertEqual(code, 0, err)
        lines = [l.split("\t") for l in out.splitlines()]
        want = [m for m in manifest("v4096.manifest.jsonl")
                if m["kind"] == "file" and m["path"].lower().endswith(".bin") and m["nlink"] == 1]
        self.assertTrue(want)
        for m in want:
            folder, _, name = m["path"].rpartition("/")
            row = [name.upper(), folder.replace("/", "\\") or "\\", str(m["size"])]
            self.assertIn(row, lines)
        self.assertIn("Files Found: %d" % len(lines), err)


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
