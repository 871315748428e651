#!/usr/bin/env python3
"""What a user installs: validators, the install tree and the Debian package."""
import argparse
import gzip
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = SOURCE = CLI = None
GUI = False
DIST = None
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256, 512)


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)


def parser_view():
    """Commands and their long options as the program's own help gives them."""
    out = run(CLI, "--help").stdout
    commands = re.findall(r"^  ([a-z]+) ", out.split("Subcommands:")[1], re.M)
    options = {}
    for c in commands:
        text = run(CLI, c, "--help").stdout
        options[c] = set(re.findall(r"(--[a-z][a-z-]*)", text.split("Options:")[1]))
    return commands, options


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", head[16:24])


GUIDE = "share/doc/dorvak-reiserfs/guide"


def check_guide(test, folder):
    """The guide's pages are all there and every link and picture they name is."""
    pages = sorted(f for f in os.listdir(folder) if f.endswith(".html"))
    test.assertIn("index.html", pages)
    test.assertGreaterEqual(len(pages), 8)
    pictures = 0
    for page in pages:
        with open(os.path.join(folder, page), encoding="utf-8") as f:
            html = f.read()
        for target in re.findall(r'(?:href|src)="([^"#:]+)"', html):
            test.assertTrue(os.path.isfile(os.path.join(folder, target)), (page, target))
            if target.endswith(".png"):
                test.assertGreater(png_size(os.path.join(folder, target))[0], 100, target)
                pictures += 1
    test.assertGreater(pictures, 10)


def sample_image(tmp):
    path = os.path.join(tmp, "sample.img")
    with gzip.open(os.path.join(SOURCE, "resources", "sample", "sample.img.gz")) as f, \
            open(path, "wb") as g:
        shutil.copyfileobj(f, g)
    return path


class Validators(unittest.TestCase):
    def test_desktop_entry_metainfo_and_manual_page_pass_their_validators(self):
        p = run("desktop-file-validate", os.path.join(DIST, "org.dorvak.reiserfs.desktop"))
        self.assertEqual((p.returncode, p.stdout + p.stderr), (0, ""))
        p = run("appstreamcli", "validate", "--no-net", "--pedantic",
                os.path.join(BUILD, "dist", "org.dorvak.reiserfs.metainfo.xml"))
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        p = run("groff", "-man", "-ww", "-z", os.path.join(DIST, "dorvak-reiserfs-cli.1"))
        self.assertEqual((p.returncode, p.stderr), (0, ""))

    def test_manual_and_completion_know_every_command_and_option(self):
        commands, options = parser_view()
        self.assertIn("recover", commands)
        with open(os.path.join(DIST, "dorvak-reiserfs-cli.1")) as f:
            manual = f.read().replace("\\-", "-")
        completion = os.path.join(DIST, "dorvak-reiserfs-cli.bash")
        script = ("source /usr/share/bash-completion/bash_completion; source %s; "
                  "COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); "
                  "COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}; "
                  "_dorvak_reiserfs_cli; printf '%%s\\n' \"${COMPREPLY[@]}\"" % completion)
        complete = lambda *words: set(run("bash", "-c", script, "x", "dorvak-reiserfs-cli",
                                          *words).stdout.split())
        self.assertLessEqual(set(commands), complete(""))
        for c in commands:
            with self.subTest(command=c):
                self.assertRegex(manual, r"\.B %s\b" % c)
                offered = complete(c, "-")
                for o in options[c]:
                    self.assertIn(o, manual)
                    self.assertIn(o, offered)
        self.assertEqual(complete("recover", "x", "y", "--duplicates", ""),
                         {"rename", "overwrite", "skip"})


class Installing(unittest.TestCase):
    def test_install_tree(self):
        with tempfile.TemporaryDirectory() as root:
            p = run("cmake", "--install", BUILD, "--prefix", root)
            self.assertEqual(p.returncode, 0, p.stderr)
            want = ["bin/dorvak-reiserfs-cli", "share/man/man1/dorvak-reiserfs-cli.1.gz",
                    "share/bash-completion/completions/dorvak-reiserfs-cli"]
            if GUI:
                want += ["bin/dorvak-reiserfs", "share/applications/org.dorvak.reiserfs.desktop",
                         "share/metainfo/org.dorvak.reiserfs.metainfo.xml"]
            for w in want:
                self.assertTrue(os.path.isfile(os.path.join(root, w)), w)
            icons = os.path.join(root, "share/icons/hicolor")
            if GUI:
                for n in ICON_SIZES:
                    path = os.path.join(icons, "%dx%d/apps/dorvak-reiserfs.png" % (n, n))
                    self.assertEqual(png_size(path), (n, n))
            with gzip.open(os.path.join(root, want[1]), "rt") as f:
                self.assertTrue(f.read().startswith(".\\\""))
            check_guide(self, os.path.join(root, GUIDE))

    def test_debian_package_installs_and_runs(self):
        with tempfile.TemporaryDirectory() as tmp:
            p = run("cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                    "-B", tmp)
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
            debs = [f for f in os.listdir(tmp) if f.endswith(".deb")]
            self.assertEqual(len(debs), 1, os.listdir(tmp))
            deb = os.path.join(tmp, debs[0])
            # Dependencies read from the binaries, each one a package this
            # machine has, since the programs ran here.
            depends = run("dpkg-deb", "-f", deb, "Depends").stdout.strip()
            names = [d.strip().split()[0] for d in depends.split(",") if d.strip()]
            self.assertIn("libc6", names)
            self.assertIn("libstdc++6", names)
            for n in names:
                self.assertEqual(run("dpkg-query", "-W", n).returncode, 0, n)
            root = os.path.join(tmp, "root")
            self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
            cli = os.path.join(root, "usr/bin/dorvak-reiserfs-cli")
            for path in ("usr/share/man/man1/dorvak-reiserfs-cli.1.gz",
                         "usr/share/bash-completion/completions/dorvak-reiserfs-cli"):
                self.assertTrue(os.path.isfile(os.path.join(root, path)), path)
            if GUI:
                self.assertTrue(os.path.isfile(os.path.join(root, "usr/bin/dorvak-reiserfs")))
            check_guide(self, os.path.join(root, "usr", GUIDE))

            p = run(cli, "--version")
            self.assertEqual((p.returncode, p.stdout), (0, run(CLI, "--version").stdout))
            img = sample_image(tmp)
            p = run(cli, "list", img, "--quiet")
            self.assertEqual(p.returncode, 0, p.stderr)
            rows = [json.loads(line) for line in p.stdout.splitlines()]
            self.assertIn("/Documents/Letters/to-bank.txt", {r["path"] for r in rows})
            self.assertEqual(p.stdout, run(CLI, "list", img, "--quiet").stdout)


def main():
    global BUILD, SOURCE, CLI, GUI, DIST
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--gui", default="0")
    args, rest = parser.parse_known_args()
    BUILD, SOURCE, CLI, GUI = args.build, args.source, args.cli, args.gui == "1"
    DIST = os.path.join(SOURCE, "dist")
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
