#!/usr/bin/env python3
"""Writes the small files the format walkers' tests carve, with Python's own
modules (zlib, gzip, bz2, lzma, zipfile, tarfile, wave, sqlite3) or by hand
where no module writes the format. Deterministic: run it again and the files
come out the same. photo.jpg and progressive.jpg were written by Qt's JPEG
writer (baseline and progressive) and are kept as they are.
Usage: make-fixtures.py [DIR]"""
import io
import os
import random
import struct
import sys
import zlib

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
rng = random.Random(2026)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def noise(n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def prose(n):
    words = ("carve block volume leaf tree node item stat data file folder deleted recover "
             "journal bitmap super root key offset length size type name entry").split()
    out = []
    while sum(len(w) + 1 for w in out) < n:
        out.append(rng.choice(words))
    text = ""
    for i, w in enumerate(out):
        text += w + ("\n" if i % 11 == 10 else " ")
    return text[:n]


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def make_png():
    w, h = 64, 48
    rows = b"".join(b"\0" + noise(w * 3) for _ in range(h))
    packed = zlib.compress(rows, 9)
    # Three IDAT chunks, as encoders split the stream.
    third = len(packed) // 3
    idats = [packed[:third], packed[third:2 * third], packed[2 * third:]]
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + png_chunk(b"tEXt", b"Comment\0made for the carving tests")
            + b"".join(png_chunk(b"IDAT", d) for d in idats) + png_chunk(b"IEND", b""))


def gif_lzw(pixels):
    # Codes of 9 bits with a clear code every 254 codes, so that the code
    # table never grows: a valid, uncompressed LZW stream.
    clear, end = 256, 257
    codes = []
    for i, p in enumerate(pixels):
        if i % 254 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 9
        while nbits >= 8:
            out.append(bits & 255)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 255)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + out[i:i + 255] for i in range(0, len(out), 255))
    return b"\x08" + blocks + b"\0"


def make_gif():
    w, h = 60, 50
    palette = noise(256 * 3)
    gif = b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF7, 0, 0) + palette
    gif += b"\x21\xFE" + bytes([17]) + b"carving test file" + b"\0"  # comment
    for frame in range(2):
        gif += b"\x21\xF9\x04\x00\x0A\x00\x00\x00"  # graphic control
        gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, w, h, 0)
        gif += gif_lzw([rng.randrange(256) for _ in range(w * h)])
    return gif + b"\x3B"


def make_bmp():
    w, h = 40, 30
    row = (w * 3 + 3) // 4 * 4
    pixels = b"".join(noise(w * 3) + b"\0" * (row - w * 3) for _ in range(h))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def make_source():
    lines = ["// A source file for the carving tests.", "#include <stdio.h>", ""]
    for i in range(160):
        lines.append("static int step_%d(int v) { return v * %d + %d; /* %s */ }"
                     % (i, rng.randrange(99), rng.randrange(999), prose(20).replace("\n", " ")))
    return ("\n".join(lines) + "\n").encode()


def make_html():
    body = "".join("<p>%s</p>\n" % prose(70) for _ in range(90))
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Carving</title></head>"
            "<body>\n<h1>Caf\u00e9 r\u00e9sum\u00e9</h1>\n%s</body></html>\n" % body).encode()


def gzip_bytes(data, name):
    import gzip
    buf = io.BytesIO()
    with gzip.GzipFile(filename=name, mode="wb", fileobj=buf, mtime=1700000000) as g:
        g.write(data)
    return buf.getvalue()


def zip_bytes(entries, stored_first=None):
    import zipfile
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        if stored_first:
            info = zipfile.ZipInfo(stored_first[0], (2024, 1, 1, 0, 0, 0))
            z.writestr(info, stored_first[1], compress_type=zipfile.ZIP_STORED)
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0))
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED)
    return buf.getvalue()


def make_zips():
    text = prose(5000).encode()
    write("archive.zip", zip_bytes([("notes.txt", text), ("random.bin", noise(5000)),
                                    ("empty/", b"")]))
    write("document.odt", zip_bytes(
        [("content.xml", b"<office:document-content>" + text + b"</office:document-content>"),
         ("META-INF/manifest.xml", b"<manifest/>"), ("Thumbnails/thumbnail.png", make_png())],
        stored_first=("mimetype", b"application/vnd.oasis.opendocument.text")))
    write("document.docx", zip_bytes(
        [("[Content_Types].xml", b"<Types/>"), ("_rels/.rels", b"<Relationships/>"),
         ("word/document.xml", b"<w:document>" + text + b"</w:document>"),
         ("word/media/image1.png", make_png())]))
    write("library.jar", zip_bytes(
        [("META-INF/MANIFEST.MF", b"Manifest-Version: 1.0\r\n\r\n"),
         ("org/example/Main.class", b"\xca\xfe\xba\xbe" + noise(6000))]))
    write("package-1.0-py3-none-any.whl", zip_bytes(
        [("package/__init__.py", text), ("package/data.bin", noise(4000)),
         ("package-1.0.dist-info/WHEEL", b"Wheel-Version: 1.0\n"),
         ("package-1.0.dist-info/RECORD", b"")]))


def make_tar():
    import tarfile
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.GNU_FORMAT) as t:
        for name, data in [("dir/notes.txt", prose(3000).encode()), ("dir/blob.bin", noise(5000)),
                           ("dir/" + "long-name-" * 12 + ".txt", b"x" * 700)]:
            info = tarfile.TarInfo(name)
            info.size, info.mtime = len(data), 1700000000
            t.addfile(info, io.BytesIO(data))
    return buf.getvalue()


def make_pdf():
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>"]
    content = zlib.compress(("BT /F1 12 Tf 72 712 Td (%s) Tj ET" % prose(3000)).encode() + noise(3000))
    objects.append(b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(content) + content
                   + b"\nendstream")
    pdf = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(pdf))
        pdf += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(pdf)
    pdf += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    pdf += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    pdf += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    # An incremental update: a new version of object 3, its own table.
    update = len(pdf)
    pdf += b"3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>\nendobj\n"
    xref2 = len(pdf)
    pdf += b"xref\n3 1\n%010d 00000 n \ntrailer\n<< /Size 5 /Root 1 0 R /Prev %d >>\n" % (update, xref)
    pdf += b"startxref\n%d\n%%%%EOF\n" % xref2
    return pdf


def main():
    text = (prose(9000) + "\n").encode()
    mixed = text + noise(6000)
    write("image.png", make_png())
    write("anim.gif", make_gif())
    write("image.bmp", make_bmp())
    write("source.c", make_source())
    write("page.html", make_html())
    write("data.gz", gzip_bytes(mixed, "data.bin"))
    write("multi.gz", gzip_bytes(mixed[:8000], "a") + gzip_bytes(mixed[8000:], "b"))
    write("data.zlib", zlib.compress(mixed, 6))
    make_zips()
    write("archive.tar", make_tar())
    import bz2
    import lzma
    write("data.bz2", bz2.compress(mixed, 9))
    write("multi.bz2", bz2.compress(mixed[:7000]) + bz2.compress(mixed[7000:]))
    write("data.xz", lzma.compress(mixed, preset=6))
    write("document.pdf", make_pdf())


if __name__ == "__main__":
    main()
