"""What goes onto each test volume, and the manifests that describe it.

Runs inside the user-mode Linux guest (as `python3 guest_content.py JOB.json`)
against volumes the guest has mounted, so every byte on the image is written
by the kernel's own ReiserFS driver. The bench tree writer also runs on the
host, into an ordinary folder, for a copy-speed comparison.

Paths are bytes throughout: some names are deliberately not valid UTF-8.
"""

import hashlib
import json
import os
import random
import stat
import subprocess
import sys

# Fixed modification times start here (2010-01-02 03:04:05 UTC) and step by
# an odd number of seconds so that neighbouring objects never share a time.
FIXED_T0 = 1262401445
FIXED_STEP = 3607

ROOT_OBJECT_ID = 2
BENCH_SEED = 4242


class Builder:
    """Creates objects under a mount point and remembers, for every object id,
    the object id of the folder it was created in. That folder's id is the
    first half of the object's key and never changes when the object moves,
    so it has to be captured at creation time."""

    def __init__(self, root):
        self.root = root if isinstance(root, bytes) else os.fsencode(root)
        self.created_in = {}
        self.history = []
        self._dir_times = []
        self._clock = FIXED_T0

    def path(self, rel):
        return self.root + rel

    def next_time(self):
        self._clock += FIXED_STEP
        return self._clock

    def _note(self, rel):
        full = self.path(rel)
        parent = os.path.dirname(full)
        self.created_in[os.lstat(full).st_ino] = os.stat(parent).st_ino

    def _stamp(self, rel, mtime):
        if mtime == "fixed":
            mtime = self.next_time()
        if mtime is not None:
            os.utime(self.path(rel), (mtime, mtime), follow_symlinks=False)

    def mkdir(self, rel, mtime="fixed"):
        os.mkdir(self.path(rel))
        self._note(rel)
        # A folder's time moves whenever an entry is added, so fixed folder
        # times are applied once everything exists (see finish()).
        if mtime is not None:
            self._dir_times.append((rel, self.next_time() if mtime == "fixed" else mtime))

    def makedirs(self, rel, mtime="fixed"):
        parts = [p for p in rel.split(b"/") if p]
        cur = b""
        for part in parts:
            cur += b"/" + part
            if not os.path.isdir(self.path(cur)):
                self.mkdir(cur, mtime)

    def file(self, rel, data, mtime="fixed"):
        with open(self.path(rel), "wb") as f:
            f.write(data)
        self._note(rel)
        self._stamp(rel, mtime)

    def sparse(self, rel, pieces, size, mtime="fixed"):
        """Writes (offset, bytes) pieces into a file of the given size; the
        gaps are holes."""
        with open(self.path(rel), "wb") as f:
            for offset, data in pieces:
                f.seek(offset)
                f.write(data)
            f.truncate(size)
        self._note(rel)
        self._stamp(rel, mtime)

    def symlink(self, rel, target, mtime="fixed"):
        os.symlink(target, self.path(rel))
        self._note(rel)
        self._stamp(rel, mtime)

    def fifo(self, rel, mtime="fixed"):
        os.mkfifo(self.path(rel))
        self._note(rel)
        self._stamp(rel, mtime)

    def chardev(self, rel, major, minor, mtime="fixed"):
        os.mknod(self.path(rel), 0o644 | stat.S_IFCHR, os.makedev(major, minor))
        self._note(rel)
        self._stamp(rel, mtime)

    def hardlink(self, existing, rel):
        os.link(self.path(existing), self.path(rel))

    def finish(self):
        for rel, mtime in self._dir_times:
            os.utime(self.path(rel), (mtime, mtime))
        self._dir_times = []

    # Changes that leave older versions behind; each is written to the history.
    def remember(self, rel, event):
        entry = describe(self.path(rel), rel, self.created_in)
        entry["event"] = event
        self.history.append(entry)

    def delete(self, rel):
        self.remember(rel, "deleted")
        os.unlink(self.path(rel))

    def delete_tree(self, rel):
        # The folder is recorded as it was before its entries went.
        self.remember(rel, "deleted")
        full = self.path(rel)
        for name in sorted(os.listdir(full)):
            child = rel + b"/" + name
            if os.path.isdir(self.path(child)) and not os.path.islink(self.path(child)):
                self.delete_tree(child)
            else:
                self.delete(child)
        os.rmdir(full)

    def rewrite(self, rel, data, mtime="fixed"):
        self.remember(rel, "rewritten")
        with open(self.path(rel), "r+b") as f:
            f.truncate(0)
            f.write(data)
        self._stamp(rel, mtime)


# ---------------------------------------------------------------- manifests

KINDS = [(stat.S_ISDIR, "dir"), (stat.S_ISREG, "file"), (stat.S_ISLNK, "symlink"),
         (stat.S_ISFIFO, "fifo"), (stat.S_ISCHR, "chr"), (stat.S_ISBLK, "blk"),
         (stat.S_ISSOCK, "sock")]


def file_sha256(full):
    h = hashlib.sha256()
    with open(full, "rb") as f:
        while True:
            chunk = f.read(4 << 20)
            if not chunk:
                break
            h.update(chunk)
    return h.hexdigest()


def describe(full, rel, created_in):
    st = os.lstat(full)
    kind = next(name for test, name in KINDS if test(st.st_mode))
    if st.st_ino not in created_in:
        raise RuntimeError("object not made by the builder: %r" % rel)
    return {
        "path": rel.decode("utf-8", "surrogateescape"),
        "kind": kind,
        "size": st.st_size,
        "mtime": int(st.st_mtime),
        "inode": st.st_ino,
        "dirId": created_in[st.st_ino],
        "parentInode": os.stat(os.path.dirname(full)).st_ino,
        "nlink": st.st_nlink,
        "sha256": file_sha256(full) if kind == "file" else None,
    }


def walk(root, rel=b""):
    with os.scandir(root + rel) as it:
        names = sorted(entry.name for entry in it)
    for name in names:
        if rel == b"" and name == b".reiserfs_priv":
            continue
        child = rel + b"/" + name
        yield child
        full = root + child
        if stat.S_ISDIR(os.lstat(full).st_mode):
            yield from walk(root, child)


def write_jsonl(path, entries):
    with open(path, "w", encoding="ascii") as f:
        for entry in entries:
            f.write(json.dumps(entry, ensure_ascii=True) + "\n")


def write_manifest(builder, path):
    os.sync()
    entries = [describe(builder.root + rel, rel, builder.created_in) for rel in walk(builder.root)]
    write_jsonl(path, entries)
    return len(entries)


# ------------------------------------------------------------------ content

def text_lines(rng, count, prefix):
    words = ["reiser", "tree", "leaf", "block", "journal", "key", "item", "node",
             "folder", "file", "tail", "stat", "data", "entry", "hash", "root"]
    return "".join("%s %d: %s\n" % (prefix, i, " ".join(rng.choice(words) for _ in range(8)))
                   for i in range(count)).encode()


def body(rng, tag, size):
    """File contents that compress, yet catch misplaced data: every 512-byte
    sector starts with the file's tag and its own offset, then a filler of 32
    random bytes (one per file) repeated. Small files stay wholly random."""
    if size < 8192:
        return rng.randbytes(size)
    filler = rng.randbytes(32) * 16
    out = bytearray()
    for off in range(0, size, 512):
        stamp = b"%s @%d\n" % (tag, off)
        out += (stamp + filler)[:512]
    return bytes(out[:size])


def put(b, rng, rel, size, **kw):
    b.file(rel, body(rng, rel, size), **kw)


def reput(b, rng, rel, size, **kw):
    b.rewrite(rel, body(rng, rel, size), **kw)


def max_direct(bs):
    # Largest tail one leaf can hold next to the stat data: block size less a
    # block head, two item heads, a new stat data and one block pointer.
    return bs - 24 - 2 * 24 - 44 - 4


def standard_content(b, bs, seed, sparse_over_4g):
    rng = random.Random(seed)
    b.makedirs(b"/docs/reports/2019/q1")
    b.mkdir(b"/docs/reports/2020")
    b.file(b"/docs/reports/2019/q1/summary.txt", text_lines(rng, 40, "summary"))
    put(b, rng, b"/docs/reports/2019/q1/figures.dat", 1000)
    b.file(b"/docs/reports/2019/q1/empty", b"")
    b.file(b"/docs/readme.txt", text_lines(rng, 12, "readme"))
    b.file(b"/empty.txt", b"")

    b.mkdir(b"/tails")
    for size in (1, 77, max_direct(bs) // 2, max_direct(bs)):
        put(b, rng, b"/tails/tail-%d.bin" % size, size)
    b.mkdir(b"/blocks")
    put(b, rng, b"/blocks/one-block.bin", bs)
    put(b, rng, b"/blocks/three-blocks-and-50.bin", 3 * bs + 50)
    put(b, rng, b"/blocks/three-mib-and-123.bin", 3 * 1024 * 1024 + 123)
    put(b, rng, b"/blocks/two-mib.bin", 2 * 1024 * 1024, mtime=None)

    b.mkdir(b"/names")
    b.file(b"/names/with spaces in the name.txt", b"spaces\n")
    b.file("/names/naïve café – ünïcode ✓.txt".encode(), "unicode\n".encode())
    b.file(b"/names/\xff\xfe name.bin", b"not utf-8\n")
    b.file(b"/names/back\\slash\\name.txt", b"backslashes\n")
    b.file(b"/names/" + b"L" * 251 + b".txt", b"a name of 255 bytes\n")
    b.mkdir(b"/names/" + b"D" * 255)
    b.file(b"/names/" + b"D" * 255 + b"/inside.txt", b"inside a folder with a 255-byte name\n")

    b.mkdir(b"/special")
    b.symlink(b"/special/readme-link", b"../docs/readme.txt")
    b.fifo(b"/special/fifo")
    b.chardev(b"/special/null-device", 1, 3)
    b.hardlink(b"/docs/readme.txt", b"/special/readme-hardlink")

    # Enough entries that the folder's directory spans several items and leaves.
    b.mkdir(b"/many", mtime=None)
    for i in range(1600):
        name = b"/many/entry-%04d-%s.txt" % (i, b"x" * (i % 23))
        b.file(name, b"small file %d\n" % i * (1 + i % 5), mtime=None)

    if sparse_over_4g:
        b.mkdir(b"/big")
        five_gib = 5 << 30
        pieces = [(0, rng.randbytes(3 * bs)), (five_gib, rng.randbytes(2 * bs + 300))]
        b.sparse(b"/big/sparse-over-4gib.bin", pieces, five_gib + 2 * bs + 300)
    b.finish()


def v35_content(b, seed, prefix):
    """The root directory only, and names of at least 8 bytes: shorter names
    would make the 3.5 directory item fail the kernel's own leaf check."""
    rng = random.Random(seed)
    b.file(prefix + b"-empty-file", b"")
    b.file(prefix + b"-small-text.txt", text_lines(rng, 5, "v35"))
    put(b, rng, prefix + b"-one-block.bin", 4096)
    put(b, rng, prefix + b"-multi-block.bin", 300 * 1024 + 17)
    b.file(prefix + b"-name with spaces.txt", b"spaces\n", mtime=None)
    b.file(prefix + b"-" + b"N" * 200 + b".txt", b"long name\n")
    b.finish()


def partition_content(b, seed, label):
    rng = random.Random(seed)
    top = b"/" + label
    b.makedirs(top + b"/nested/deeper")
    b.file(top + b"/nested/deeper/note.txt", text_lines(rng, 9, label.decode()))
    put(b, rng, top + b"/data.bin", 100 * 1024 + 7)
    b.file(top + b"/empty", b"")
    b.file(b"/same-name-on-every-volume.txt", b"this copy lives on " + label + b"\n")
    b.finish()


def moved_content(b, seed):
    rng = random.Random(seed)
    for d in (b"/a", b"/b", b"/c", b"/c/d", b"/c/d/inner", b"/e"):
        b.mkdir(d)
    b.file(b"/a/f", text_lines(rng, 10, "f"))
    b.file(b"/a/stays.txt", text_lines(rng, 3, "stays"))
    b.file(b"/b/existing.txt", text_lines(rng, 3, "existing"))
    b.file(b"/c/d/deep.txt", text_lines(rng, 30, "deep"))
    put(b, rng, b"/c/d/inner/leaf.bin", 20000)
    b.file(b"/c/to-root.txt", text_lines(rng, 4, "to root"))
    b.file(b"/rename-me.txt", text_lines(rng, 4, "rename"))
    b.finish()
    os.sync()
    mv = lambda src, dst: os.rename(b.path(src), b.path(dst))
    mv(b"/a/f", b"/b/g")                      # move and rename
    mv(b"/c/d", b"/e/d")                      # a folder with its contents
    mv(b"/c/to-root.txt", b"/to-root.txt")    # into the root
    mv(b"/rename-me.txt", b"/renamed.txt")    # rename in place
    mv(b"/b/existing.txt", b"/b/existing-renamed.txt")


def deleted_phase1(b, seed):
    rng = random.Random(seed)
    for d in (b"/keep", b"/doomed", b"/doomed/sub", b"/rewrite"):
        b.mkdir(d)
    b.file(b"/keep/a.txt", text_lines(rng, 20, "a"))
    put(b, rng, b"/keep/b.bin", 20000)
    put(b, rng, b"/keep/gone-mid.bin", 9000)
    b.file(b"/gone-small.txt", text_lines(rng, 3, "small"))
    put(b, rng, b"/gone-big.bin", 300 * 1024 + 5)
    b.file(b"/doomed/x1.txt", text_lines(rng, 7, "x1"))
    put(b, rng, b"/doomed/x2.bin", 9000)
    put(b, rng, b"/doomed/sub/x3.bin", 50000)
    put(b, rng, b"/rewrite/shrink.bin", 200 * 1024)
    b.file(b"/rewrite/grow.txt", text_lines(rng, 6, "grow"))
    b.file(b"/rewrite/twice.txt", text_lines(rng, 50, "twice"))
    b.finish()


def deleted_phase2(b, seed):
    rng = random.Random(seed + 1)
    b.delete(b"/keep/gone-mid.bin")
    b.delete(b"/gone-small.txt")
    b.delete(b"/gone-big.bin")
    b.delete_tree(b"/doomed")
    reput(b, rng, b"/rewrite/shrink.bin", 1000)
    reput(b, rng, b"/rewrite/grow.txt", 50 * 1024)
    b.rewrite(b"/rewrite/twice.txt", text_lines(rng, 10, "second"))
    os.sync()
    b.rewrite(b"/rewrite/twice.txt", text_lines(rng, 90, "third"))


def sample_phase1(b, seed):
    rng = random.Random(seed)
    b.makedirs(b"/Documents/Letters")
    b.mkdir(b"/Photos")
    b.mkdir(b"/Music")
    b.file(b"/readme.txt", b"A small ReiserFS 3.6 volume for trying out the browser.\n")
    b.file(b"/Documents/Letters/to-bank.txt", text_lines(rng, 30, "letter"))
    b.file(b"/Documents/Letters/old-draft.txt", text_lines(rng, 60, "draft"))
    b.file(b"/Documents/budget 2010.csv", text_lines(rng, 200, "row"))
    b.file(b"/Photos/holiday-001.jpg", rng.randbytes(40 * 1024))
    b.file(b"/Photos/holiday-002.jpg", rng.randbytes(25 * 1024 + 9))
    b.file(b"/Music/playlist.m3u", b"#EXTM3U\nsong-one.ogg\nsong-two.ogg\n")
    b.finish()


def million_tree(b, seed, top=1000, sub=10, files=100):
    """A million small files: 1,000 folders of 10 folders of 100 files each,
    the sizes and contents drawn as in bench_tree()."""
    rng = random.Random(seed)
    blob = rng.randbytes(1 << 20)
    n = 0
    for t in range(top):
        b.mkdir(b"/set-%03d" % t, mtime=None)
        for s in range(sub):
            d = b"/set-%03d/folder-%02d" % (t, s)
            b.mkdir(d, mtime=None)
            for _ in range(files):
                size = rng.randrange(200, 2600)
                start = rng.randrange(0, len(blob) - size)
                b.file(d + b"/file-%07d.dat" % n, blob[start:start + size], mtime=None)
                n += 1
    b.finish()


def sample_phase2(b, seed):
    b.delete(b"/Documents/Letters/old-draft.txt")


def bench_tree(b, seed, folders=1100, files=110000):
    """Many small files whose data stays in the leaves, so the tree grows tall."""
    rng = random.Random(seed)
    top = [b"/set-%02d" % i for i in range(20)]
    for t in top:
        b.mkdir(t)
    dirs = [t + b"/folder-%04d" % i for i, t in ((i, top[i % len(top)]) for i in range(folders))]
    for d in dirs:
        b.mkdir(d)
    blob = rng.randbytes(1 << 20)
    for i in range(files):
        size = rng.randrange(200, 2600)
        start = rng.randrange(0, len(blob) - size)
        b.file(dirs[i % folders] + b"/file-%06d.dat" % i, blob[start:start + size], mtime=None)
    b.finish()


def bench_spread_tree(b, seed, folders=1000, files=100000):
    """Files of every size from empty to 9,000 bytes, written one after
    another into folders taken in turn: most files own one or two whole
    blocks and a tail, so their data does not fill the blocks it lies in,
    and neighbouring keys lie far apart on the disk."""
    rng = random.Random(seed)
    top = [b"/part-%02d" % i for i in range(10)]
    for t in top:
        b.mkdir(t)
    dirs = [top[i % len(top)] + b"/dir-%04d" % i for i in range(folders)]
    for d in dirs:
        b.mkdir(d)
    blob = rng.randbytes(1 << 20)
    for i in range(files):
        size = rng.randrange(0, 9001)
        start = rng.randrange(0, len(blob) - size)
        b.file(dirs[i % folders] + b"/f-%06d.bin" % i, blob[start:start + size], mtime=None)
    b.finish()


# --------------------------------------------------------------- the guest

def sh(*args):
    subprocess.run(list(args), check=True)


class Volume:
    def __init__(self, job):
        self.dev = job["dev"]
        self.mnt = job["mnt"]

    def mount(self):
        sh("mount", "-t", "reiserfs", self.dev, self.mnt)
        if os.stat(self.mnt).st_ino != ROOT_OBJECT_ID:
            raise RuntimeError("root of %s is not object %d" % (self.dev, ROOT_OBJECT_ID))

    def remount(self):
        self.umount()
        self.mount()

    def umount(self):
        os.sync()
        sh("umount", self.mnt)


def fill(job):
    vol = Volume(job)
    vol.mount()
    b = Builder(vol.mnt)
    content, seed = job["content"], job["seed"]
    if content == "standard":
        standard_content(b, job["blockSize"], seed, job.get("sparseOver4G", False))
    elif content == "v35":
        v35_content(b, seed, job["prefix"].encode())
    elif content == "partition":
        partition_content(b, seed, job["label"].encode())
    elif content == "moved":
        moved_content(b, seed)
    elif content in ("deleted", "sample"):
        phase1, phase2 = {"deleted": (deleted_phase1, deleted_phase2),
                          "sample": (sample_phase1, sample_phase2)}[content]
        phase1(b, seed)
        vol.remount()
        phase2(b, seed)
        write_jsonl(job["history"], b.history)
    elif content == "carve":
        import guest_carve
        contents = guest_carve.carve_phase1(b, seed)
        vol.remount()
        guest_carve.carve_phase2(b, seed, contents)
        write_jsonl(job["history"], b.history)
    elif content == "versions":
        import guest_carve
        guest_carve.versions_content(b, seed)
        write_jsonl(job["history"], b.history)
    elif content == "bench":
        bench_tree(b, BENCH_SEED)
    elif content == "bench-spread":
        bench_spread_tree(b, BENCH_SEED)
    elif content == "million":
        million_tree(b, BENCH_SEED)
    else:
        raise RuntimeError("unknown content " + content)
    count = write_manifest(b, job["manifest"])
    vol.umount()
    print("guest: %s filled, %d objects" % (job["dev"], count), flush=True)


def main():
    trees = {"--bench-tree": bench_tree, "--bench-spread-tree": bench_spread_tree}
    if len(sys.argv) == 3 and sys.argv[1] in trees:
        # Host side: a bench tree in an ordinary folder.
        os.makedirs(sys.argv[2], exist_ok=True)
        trees[sys.argv[1]](Builder(os.path.abspath(sys.argv[2])), BENCH_SEED)
        return
    with open(sys.argv[1]) as f:
        plan = json.load(f)
    for job in plan["volumes"]:
        fill(job)


if __name__ == "__main__":
    main()
