"""The carving test volume: real file formats written, some deleted, then
many small files written with syncs so that new leaves take over freed
blocks; and files written together in small appends, then deleted, so that
their blocks interleave and the leaves keep many versions of each.

Every format is made here with the standard library (PNG through zlib,
gzip, bzip2, xz, zip, tar, WAV), plus an ELF program copied from the host and
plain text. The history of the deleted files carries, beside the whole
file's SHA-256, the SHA-256 of each prefix of whole 4096-byte blocks, so a
carved file cut short can be checked too."""

import bz2
import gzip
import hashlib
import io
import lzma
import os
import random
import shutil
import struct
import tarfile
import wave
import zipfile
import zlib

BLOCK = 4096


def text(rng, count, tag):
    words = ["carve", "block", "leaf", "run", "format", "signature", "chunk", "stream",
             "footer", "header", "record", "sector", "volume", "fragment", "tail", "end"]
    return "".join("%s %d: %s\n" % (tag, i, " ".join(rng.choice(words) for _ in range(9)))
                   for i in range(count)).encode()


def png(rng, width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    # Rows of noise with a gradient: compresses a little, as photographs do.
    rows = b"".join(b"\0" + bytes((x * 3 + y + rng.randrange(64)) & 0xFF
                                  for x in range(width * 3)) for y in range(height))
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows, 6))
            + chunk(b"IEND", b""))


def wav(rng, frames):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"".join(struct.pack("<h", rng.randrange(-3000, 3000))
                               for _ in range(frames)))
    return out.getvalue()


def zip_of(files):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(2010, 1, 2, 3, 4, 6))
            z.writestr(info, data)
    return out.getvalue()


def tar_of(files):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as t:
        for name, data in files:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 1262401446
            t.addfile(info, io.BytesIO(data))
    return out.getvalue()


def noisy_text(rng, count, tag):
    # Text with random tokens: the archives made of it do not shrink to nothing.
    return "".join("%s %d %s\n" % (tag, i, rng.randbytes(24).hex()) for i in range(count)).encode()


def formats(rng):
    """(name, bytes) of one file of every format."""
    elf = open(shutil.which("true"), "rb").read()
    return [
        ("picture.png", png(rng, 96, 80)),
        ("notes.txt.gz", gzip.compress(noisy_text(rng, 900, "gz"), mtime=1262401447)),
        ("table.csv.bz2", bz2.compress(noisy_text(rng, 700, "bz"))),
        ("log.xz", lzma.compress(noisy_text(rng, 800, "xz"))),
        ("bundle.zip", zip_of([("a.txt", noisy_text(rng, 300, "za")),
                               ("b.txt", noisy_text(rng, 200, "zb"))])),
        ("bundle.tar", tar_of([("t/one.txt", text(rng, 200, "t1")),
                               ("t/two.bin", rng.randbytes(5000))])),
        ("tone.wav", wav(rng, 12000)),
        ("program.elf", elf),
        ("readme.txt", text(rng, 300, "readme")),
    ]


def prefixes(data):
    return [hashlib.sha256(data[:k * BLOCK]).hexdigest()
            for k in range(1, (len(data) + BLOCK - 1) // BLOCK)]


def carve_phase1(b, seed):
    rng = random.Random(seed)
    for d in (b"/keep", b"/gone", b"/together"):
        b.mkdir(d)
    # The same formats live: carving must leave their blocks alone.
    for name, data in formats(rng):
        b.file(b"/keep/" + name.encode(), data)
    contents = {}
    for name, data in formats(rng):
        rel = b"/gone/" + name.encode()
        b.file(rel, data)
        contents[rel] = data
    b.finish()
    return contents


def written_together(b, rng, contents):
    """Three files appended round-robin in small chunks, each round synced:
    their blocks interleave and stale leaves keep a version per round."""
    together = [(b"/together/drone.wav", wav(rng, 30000)),
                (b"/together/render.png", png(rng, 120, 90)),
                (b"/together/journal.txt", text(rng, 500, "journal"))]
    handles = [open(b.path(rel), "wb") for rel, _ in together]
    for rel, _ in together:
        b._note(rel)
    chunk = 8192
    for start in range(0, max(len(d) for _, d in together), chunk):
        for f, (_, data) in zip(handles, together):
            if start < len(data):
                f.write(data[start:start + chunk])
                f.flush()
                os.fsync(f.fileno())
    for f in handles:
        f.close()
    for rel, data in together:
        b._stamp(rel, "fixed")
        contents[rel] = data


def carve_phase2(b, seed, contents, small_files=3000):
    rng = random.Random(seed + 1)
    written_together(b, rng, contents)
    os.sync()
    for rel in sorted(contents):
        b.remember(rel, "deleted")
        b.history[-1]["prefixSha256"] = prefixes(contents[rel])
        os.unlink(b.path(rel))
    os.sync()
    b.mkdir(b"/small")
    for i in range(small_files):
        b.file(b"/small/s%05d.txt" % i, rng.randbytes(50).hex().encode(), mtime=None)
        if i % 100 == 99:
            os.sync()
    b.finish()


def versions_content(b, seed):
    """Files written at the same time in small appends, each round synced,
    then deleted, and nothing written after: every leaf that ever held them
    stays, so the volume keeps a version of each file per round, the final
    one among them. The history gives each file's final content."""
    rng = random.Random(seed)
    b.mkdir(b"/together")
    together = [(b"/together/drone.wav", wav(rng, 60000)),
                (b"/together/render.png", png(rng, 160, 120)),
                (b"/together/journal.txt", text(rng, 1500, "journal")),
                (b"/together/small.txt", text(rng, 20, "small"))]
    handles = [open(b.path(rel), "wb") for rel, _ in together]
    for rel, _ in together:
        b._note(rel)
    chunk = 4096 + 512  # not whole blocks: each round leaves a tail to move
    for start in range(0, max(len(d) for _, d in together), chunk):
        for f, (_, data) in zip(handles, together):
            if start < len(data):
                f.write(data[start:start + chunk])
                f.flush()
                os.fsync(f.fileno())
    for f in handles:
        f.close()
    # The files keep the kernel's times: versions a second apart or in the
    # same second, as on a busy disk, so the size decides among the latest.
    b.finish()
    os.sync()
    for rel, _ in together:
        b.delete(rel)
