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


def make_zip_variants():
    import zipfile
    # ZIP64 local headers (sizes in the extra field), stored.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        with z.open(zipfile.ZipInfo("big.bin", (2024, 1, 1, 0, 0, 0)), "w", force_zip64=True) as f:
            f.write(noise(6000))
        z.writestr(zipfile.ZipInfo("notes.txt", (2024, 1, 1, 0, 0, 0)), prose(3000).encode(),
                   compress_type=zipfile.ZIP_DEFLATED)
    write("zip64.zip", buf.getvalue())

    # Written to a stream that cannot seek: sizes and CRCs in data descriptors.
    class Stream(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)
    out = Stream()
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED) as z:
        deflated = zipfile.ZipInfo("notes.txt", (2024, 1, 1, 0, 0, 0))
        deflated.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(deflated, prose(3000).encode())
        with z.open(zipfile.ZipInfo("blob.bin", (2024, 1, 1, 0, 0, 0)), "w") as f:  # stored
            f.write(noise(6000))
    write("streamed.zip", bytes(out.data))


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


def make_wav():
    import wave
    buf = io.BytesIO()
    with wave.open(buf, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(noise(12000))
    return buf.getvalue()


def riff_chunk(cid, data):
    return cid + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def make_avi():
    avih = struct.pack("<14I", 40000, 0, 0, 0x10, 20, 0, 1, 0, 32, 24, 0, 0, 0, 0)
    strh = b"vidsMJPG" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, 25, 0, 20, 0, 0, 0, 0, 0, 32, 24)
    strf = struct.pack("<IiiHHIIiiII", 40, 32, 24, 1, 24, 0x47504A4D, 0, 0, 0, 0, 0)
    hdrl = riff_chunk(b"LIST", b"hdrl" + riff_chunk(b"avih", avih)
                      + riff_chunk(b"LIST", b"strl" + riff_chunk(b"strh", strh) + riff_chunk(b"strf", strf)))
    frames = [noise(300 + rng.randrange(300)) for _ in range(20)]
    movi = riff_chunk(b"LIST", b"movi" + b"".join(riff_chunk(b"00dc", f) for f in frames))
    index, offset = b"", 4
    for f in frames:
        index += b"00dc" + struct.pack("<III", 0x10, offset, len(f))
        offset += 8 + len(f) + len(f) % 2
    body = b"AVI " + hdrl + movi + riff_chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def make_mp3():
    # ID3v2.3 with a title, then MPEG-1 layer III frames of 128 kbit/s at
    # 44.1 kHz (417 bytes each), the first an Info frame giving the audio's
    # length, then an ID3v1 tag.
    title = b"\0Carving test"
    frame = b"TIT2" + struct.pack(">IH", len(title), 0) + title
    size = len(frame) + 200  # padding
    syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
    tag = b"ID3\3\0\0" + syncsafe + frame + b"\0" * 200
    count = 30
    header = b"\xFF\xFB\x90\x40"
    info = header + b"\0" * 32 + b"Info" + struct.pack(">III", 3, count, count * 417)
    frames = [info + b"\0" * (417 - len(info))]
    frames += [header + noise(413) for _ in range(count - 1)]
    v1 = b"TAG" + b"Carving test".ljust(30, b"\0") + b"\0" * 94 + b"\xFF"
    return tag + b"".join(frames) + v1


def ogg_crc(data):
    crc = 0
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def ogg_page(flags, granule, serial, seq, packet):
    lacing = []
    n = len(packet)
    while n >= 255:
        lacing.append(255)
        n -= 255
    lacing.append(n)
    head = b"OggS\0" + struct.pack("<BqIII", flags, granule, serial, seq, 0) + bytes([len(lacing)]) + bytes(lacing)
    page = head + packet
    crc = ogg_crc(page)
    return page[:22] + struct.pack("<I", crc) + page[26:]


def make_ogg():
    serial = 0x1234
    pages = [ogg_page(2, 0, serial, 0, b"\x01vorbis" + noise(22))]
    for seq in range(1, 12):
        pages.append(ogg_page(4 if seq == 11 else 0, seq * 1024, serial, seq, noise(700 + rng.randrange(400))))
    return b"".join(pages)


def crc8(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x8005) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc


def make_flac():
    # Mono, 16 bits, 8 kHz, fixed blocks of 576 samples stored verbatim.
    block, frames = 576, 9
    total = block * (frames - 1) + 100
    frame_size = 6 + 1 + 1 + 1152 + 2
    info = struct.pack(">HH", block, block) + (frame_size - 60).to_bytes(3, "big") + (frame_size + 8).to_bytes(3, "big")
    info += ((8000 << 44) | (0 << 41) | (15 << 36) | total).to_bytes(8, "big") + noise(16)
    flac = b"fLaC" + bytes([0]) + (34).to_bytes(3, "big") + info
    pad = b"\0" * 64
    flac += bytes([0x81]) + len(pad).to_bytes(3, "big") + pad  # the last block: PADDING
    for n in range(frames):
        size = block if n < frames - 1 else 100
        code = 0x20 if size == block else 0x70  # 576, or a 16-bit size at the end
        head = bytes([0xFF, 0xF8, code | 0x04, 0x08, n])  # 8 kHz, mono, 16 bits
        if code == 0x70:
            head += struct.pack(">H", size - 1)
        head += bytes([crc8(head)])
        body = head + b"\x02" + noise(2 * size)  # verbatim subframe
        flac += body + struct.pack(">H", crc16(body))
    return flac


def make_sqlite():
    import sqlite3
    import tempfile
    path = os.path.join(tempfile.mkdtemp(), "t.db")
    db = sqlite3.connect(path)
    db.execute("pragma page_size=1024")
    db.execute("create table notes(id integer primary key, body text)")
    db.executemany("insert into notes(body) values (?)", [(prose(200),) for _ in range(40)])
    db.commit()
    db.close()
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def make_tiff():
    # Little-endian, 48x40 RGB in 4 strips after the IFD, with an EXIF IFD.
    w, h, strips = 48, 40, 4
    strip = [noise(w * 3 * (h // strips)) for _ in range(strips)]
    ifd_at = 8
    entries = 11
    ifd_len = 2 + 12 * entries + 4
    offs_at = ifd_at + ifd_len
    counts_at = offs_at + 4 * strips
    bits_at = counts_at + 4 * strips
    exif_at = bits_at + 6
    exif = struct.pack("<H", 1) + struct.pack("<HHII", 0x9000, 7, 4, 0x30333230) + struct.pack("<I", 0)
    data_at = exif_at + len(exif)
    offsets, pos = [], data_at
    for s in strip:
        offsets.append(pos)
        pos += len(s)

    def e(tag, typ, count, value):
        return struct.pack("<HHII", tag, typ, count, value)
    ifd = struct.pack("<H", entries) + b"".join([
        e(256, 3, 1, w), e(257, 3, 1, h), e(258, 3, 3, bits_at), e(259, 3, 1, 1), e(262, 3, 1, 2),
        e(273, 4, strips, offs_at), e(277, 3, 1, 3), e(278, 3, 1, h // strips),
        e(279, 4, strips, counts_at), e(284, 3, 1, 1), e(34665, 4, 1, exif_at)]) + struct.pack("<I", 0)
    return (b"II*\0" + struct.pack("<I", ifd_at) + ifd + struct.pack("<%dI" % strips, *offsets)
            + struct.pack("<%dI" % strips, *[len(s) for s in strip]) + struct.pack("<3H", 8, 8, 8)
            + exif + b"".join(strip))


def box(kind, data):
    return struct.pack(">I", 8 + len(data)) + kind + data


def make_mp4():
    ftyp = box(b"ftyp", b"isom" + struct.pack(">I", 512) + b"isomiso2avc1mp41")
    mdat = box(b"mdat", noise(7000))
    stbl = box(b"stbl", box(b"stsd", b"\0" * 8) + box(b"stts", b"\0" * 8) + box(b"stsc", b"\0" * 8)
               + box(b"stsz", b"\0" * 12) + box(b"stco", struct.pack(">III", 0, 1, len(ftyp) + 8)))
    minf = box(b"minf", box(b"vmhd", b"\0" * 12) + box(b"dinf", box(b"dref", b"\0" * 8)) + stbl)
    mdia = box(b"mdia", box(b"mdhd", b"\0" * 24) + box(b"hdlr", b"\0" * 8 + b"vide" + b"\0" * 13) + minf)
    trak = box(b"trak", box(b"tkhd", b"\0" * 84) + mdia)
    moov = box(b"moov", box(b"mvhd", b"\0" * 100) + trak + box(b"udta", box(b"\xa9too", noise(3000))))
    write("movie.mov", box(b"wide", b"") + mdat + moov)
    return ftyp + mdat + moov + box(b"free", b"\0" * 100)


def make_otf():
    # An OpenType font's layout: the table directory, tables 4-byte aligned
    # with their checksums, the last table's length not a multiple of 4 and
    # padded, as fonts are.
    def checksum(data):
        data += b"\0" * (-len(data) % 4)
        return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF
    tables = {b"CFF ": noise(5000), b"cmap": noise(800), b"head": noise(54), b"name": noise(1001)}
    count = len(tables)
    offset = 12 + 16 * count
    directory, body = b"", b""
    for tag in sorted(tables):
        data = tables[tag]
        sum_data = data[:8] + b"\0\0\0\0" + data[12:] if tag == b"head" else data
        directory += tag + struct.pack(">III", checksum(sum_data), offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    return b"OTTO" + struct.pack(">HHHH", count, 64, 2, count * 16 - 64) + directory + body


def make_multi_picture():
    # photo.jpg with an APP2 "MPF" index after its APP0, and progressive.jpg
    # as the second picture after its EOI, as phones store them.
    with open(os.path.join(OUT, "photo.jpg"), "rb") as f:
        first = f.read()
    with open(os.path.join(OUT, "progressive.jpg"), "rb") as f:
        second = f.read()
    app0_end = 4 + struct.unpack(">H", first[4:6])[0]
    ifd = struct.pack("<H", 3) + struct.pack("<HHI4s", 0xB000, 7, 4, b"0100")
    ifd += struct.pack("<HHII", 0xB001, 4, 1, 2) + struct.pack("<HHII", 0xB002, 7, 32, 8 + 2 + 36 + 4)
    ifd += struct.pack("<I", 0)
    tiff_len = 8 + len(ifd) + 32
    app2_len = 2 + 4 + tiff_len
    main_size = len(first) + 2 + app2_len
    tiff_start = app0_end + 8
    entries = struct.pack("<IIIHH", 0x20030000, main_size, 0, 0, 0)
    entries += struct.pack("<IIIHH", 0x00020002, len(second), main_size - tiff_start, 0, 0)
    app2 = b"\xFF\xE2" + struct.pack(">H", app2_len) + b"MPF\0" + b"II*\0" + struct.pack("<I", 8) + ifd + entries
    return first[:app0_end] + app2 + first[app0_end:] + second


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
    write("sound.wav", make_wav())
    write("movie.avi", make_avi())
    write("song.mp3", make_mp3())
    write("sound.ogg", make_ogg())
    write("sound.flac", make_flac())
    write("notes.sqlite", make_sqlite())
    write("image.tif", make_tiff())
    write("movie.mp4", make_mp4())
    write("font.otf", make_otf())
    write("multi-picture.jpg", make_multi_picture())
    make_zip_variants()
    # Last, so that the files above draw the same random bytes as before: a
    # deflated entry long enough for a walk to leave memos inside it.
    write("spanning.zip", zip_bytes([("prose.txt", prose(200000).encode()),
                                     ("notes.txt", text)]))


if __name__ == "__main__":
    main()
