# SPDX-License-Identifier: GPL-3.0-or-later
"""Small files of real formats, built byte by byte from a seeded generator, for
the carving test volumes: JPEG (with an Exif thumbnail), PNG, GIF, PDF (with an
incremental update), ZIP and Office (DOCX), MP4 and MOV, a TIFF-based camera raw
and SQLite. Each builder returns bytes that a reader of the format accepts."""

import io
import os
import random
import shutil
import sqlite3
import struct
import subprocess
import tempfile
import zipfile
import zlib


def _segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def _entropy(rng, length, restart_every):
    """Scan data: random bytes with every 0xFF stuffed, restart markers in sequence."""
    out = bytearray()
    rst = 0
    while len(out) < length:
        chunk = bytearray(rng.randbytes(min(restart_every, length - len(out)) or 1))
        for b in chunk:
            out.append(b)
            if b == 0xFF:
                out.append(0)
        if len(out) < length:
            out += bytes([0xFF, 0xD0 + rst])
            rst = (rst + 1) % 8
    # scan data never ends on a bare 0xFF
    if out and out[-1] == 0xFF:
        out.append(0)
    return bytes(out)


def _jpeg_tables(rng):
    dqt = _segment(0xDB, bytes([0]) + bytes(rng.randint(1, 40) for _ in range(64)))
    # one DC table with 12 codes of lengths 2..9
    counts = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
    dht = _segment(0xC4, bytes([0x00]) + bytes(counts) + bytes(range(12)))
    return dqt + dht


def _exif(rng, thumb):
    """An APP1 Exif segment whose IFD1 names `thumb` (a JPEG of its own, EOI and all)."""
    make = b"Velmora\x00"
    ifd0_off = 8
    make_off = ifd0_off + 2 + 12 + 4
    ifd1_off = make_off + len(make)
    thumb_off = ifd1_off + 2 + 2 * 12 + 4
    ifd0 = struct.pack("<H", 1) + struct.pack("<HHII", 0x010F, 2, len(make), make_off) + struct.pack("<I", ifd1_off)
    ifd1 = (struct.pack("<H", 2) + struct.pack("<HHII", 0x0201, 4, 1, thumb_off)
            + struct.pack("<HHII", 0x0202, 4, 1, len(thumb)) + struct.pack("<I", 0))
    return _segment(0xE1, b"Exif\x00\x00" + b"II*\x00" + struct.pack("<I", ifd0_off) + ifd0 + make + ifd1 + thumb)


def _ppm(rng, width, height, noise):
    """A photo-like picture: colour gradients with noise of `noise` bits."""
    rows = []
    variants = []
    for v in range(8):
        variants.append(bytes(((x * 255 // width + v * 31) & 0xFF, (x * 97 // width + v * 17) & 0xFF,
                               (200 - x * 150 // width) & 0xFF)[c] for x in range(width) for c in range(3)))
    for y in range(height):
        rows.append(variants[(y * 8) // height])
    base = b"".join(rows)
    mask = (1 << noise) - 1
    grain = rng.randbytes(len(base)).translate(bytes(b & mask for b in range(256)))
    pixels = (int.from_bytes(base, "big") ^ int.from_bytes(grain, "big")).to_bytes(len(base), "big")
    return b"P6 %d %d 255\n" % (width, height) + pixels


def _cjpeg(ppm, options):
    return subprocess.run(["cjpeg", *options], input=ppm, check=True, capture_output=True).stdout


def jpeg(rng, size, thumbnail=True, width=640, height=480):
    """A JPEG of about `size` bytes, with an Exif thumbnail inside APP1. Encoded by
    cjpeg (Debian libjpeg-turbo-progs) when it is there, so that any decoder
    reads it (baseline, progressive, or with restart markers); otherwise built
    from random scan data that only the structure holds."""
    if shutil.which("cjpeg"):
        w = rng.choice([320, 400, 480, 640])
        h = w * 3 // 4
        noise = max(1, min(7, size // (w * h // 10) + rng.randint(-1, 1)))
        options = rng.choice([[], ["-progressive"], ["-restart", "2"], ["-optimize"]])
        body = _cjpeg(_ppm(rng, w, h, noise), ["-quality", str(rng.randint(75, 95)), *options])
        if not thumbnail:
            return body
        thumb = _cjpeg(_ppm(rng, 160, 120, 3), ["-quality", "80"])
        # after SOI and cjpeg's APP0
        app0_end = 4 + struct.unpack_from(">H", body, 4)[0]
        return body[:app0_end] + _exif(rng, thumb) + body[app0_end:]
    head = b"\xFF\xD8"
    head += _segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    if thumbnail:
        thumb = jpeg(rng, 1500, thumbnail=False, width=160, height=120)
        # TIFF header, IFD0 with one entry (Make), IFD1 naming the thumbnail
        make = b"Velmora\x00"
        ifd0_off = 8
        ifd0 = struct.pack("<H", 1) + struct.pack("<HHII", 0x010F, 2, len(make), 0) + struct.pack("<I", 0)
        make_off = ifd0_off + len(ifd0)
        ifd1_off = make_off + len(make)
        ifd1_len = 2 + 2 * 12 + 4
        thumb_off = ifd1_off + ifd1_len
        ifd0 = struct.pack("<H", 1) + struct.pack("<HHII", 0x010F, 2, len(make), make_off) + struct.pack("<I", ifd1_off)
        ifd1 = (struct.pack("<H", 2) + struct.pack("<HHII", 0x0201, 4, 1, thumb_off)
                + struct.pack("<HHII", 0x0202, 4, 1, len(thumb)) + struct.pack("<I", 0))
        tiff = b"II*\x00" + struct.pack("<I", ifd0_off) + ifd0 + make + ifd1 + thumb
        head += _segment(0xE1, b"Exif\x00\x00" + tiff)
    head += _jpeg_tables(rng)
    head += _segment(0xC0, bytes([8]) + struct.pack(">HH", height, width) + bytes([3, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0]))
    restart = rng.choice([0, 4096, 9000])
    if restart:
        # restart markers appear only where a restart interval is defined
        head += _segment(0xDD, struct.pack(">H", 64))
    head += _segment(0xDA, bytes([3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0]))
    body = _entropy(rng, max(64, size - len(head) - 2), restart or 1 << 30)
    return head + body + b"\xFF\xD9"


def _png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(rng, width, height, idat_size=8192):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        rows += bytes((x * 3 + y * 7 + rng.randrange(16)) & 0xFF for x in range(width * 3))
    data = zlib.compress(bytes(rows), 6)
    out = b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    out += _png_chunk(b"tEXt", b"Software\x00carve test")
    for i in range(0, len(data), idat_size):
        out += _png_chunk(b"IDAT", data[i:i + idat_size])
    return out + _png_chunk(b"IEND", b"")


def _lzw_uncompressed(pixels, min_code=8):
    """LZW data that only uses literal codes, with a clear code often enough that
    the code width stays at min_code + 1 bits."""
    clear, end, width = 1 << min_code, (1 << min_code) + 1, min_code + 1
    codes = [clear]
    for i, p in enumerate(pixels):
        if i and i % ((1 << min_code) - 2) == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits = nbits = 0
    out = bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(rng, width, height):
    out = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    out += bytes(rng.randbytes(256 * 3))
    out += b"\x21\xFE" + bytes([12]) + b"carve test!!" + b"\x00"
    out += b"\x21\xF9\x04\x00\x00\x00\x00\x00"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0) + bytes([8])
    data = _lzw_uncompressed([rng.randrange(256) for _ in range(width * height)])
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out += bytes([len(block)]) + block
    return out + b"\x00\x3B"


def pdf(rng, pages, update=True):
    """A PDF with its xref at the true offsets; with an incremental update (a
    second body, xref and %%EOF appended) when asked."""
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>", None]
    kids = []
    for p in range(pages):
        text = " ".join(f"{rng.random():.6f}" for _ in range(40)).encode()
        stream = b"BT /F1 12 Tf 72 720 Td (" + text + b") Tj ET"
        objs.append(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
        objs.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R >>" % len(objs))
        kids.append(len(objs))
    objs[1] = b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % k for k in kids) + b"] /Count %d >>" % pages
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    if update:
        n = len(objs) + 1
        off = len(out)
        out += b"%d 0 obj\n<< /Producer (carve test update) >>\nendobj\n" % n
        xref2 = len(out)
        out += b"xref\n%d 1\n%010d 00000 n \n" % (n, off)
        out += b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (n + 1, n, xref, xref2)
    return bytes(out)


def _zip(members):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method in members:
            info = zipfile.ZipInfo(name, date_time=(2023, 11, 14, 22, 13, 20))
            info.compress_type = method
            z.writestr(info, data)
    return buf.getvalue()


def zip_archive(rng, count):
    members = []
    for i in range(count):
        if i % 2:
            members.append((f"data/part{i}.bin", rng.randbytes(rng.randint(2000, 30000)), zipfile.ZIP_STORED))
        else:
            text = " ".join(f"line {j} {rng.random()}" for j in range(rng.randint(200, 2000))).encode()
            members.append((f"text/note{i}.txt", text, zipfile.ZIP_DEFLATED))
    return _zip(members)


def docx(rng):
    body = "".join(f"<w:p><w:r><w:t>Paragraph {i} {rng.random()}</w:t></w:r></w:p>" for i in range(300))
    return _zip([
        ("[Content_Types].xml", b'<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         b'<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>',
         zipfile.ZIP_DEFLATED),
        ("_rels/.rels", b'<?xml version="1.0"?><Relationships/>', zipfile.ZIP_DEFLATED),
        ("word/document.xml", ('<?xml version="1.0"?><w:document><w:body>' + body + "</w:body></w:document>").encode(),
         zipfile.ZIP_DEFLATED),
    ])


def _box(kind, payload):
    return struct.pack(">I", len(payload) + 8) + kind + payload


def mp4(rng, media_bytes, brand=b"isom"):
    ftyp = _box(b"ftyp", brand + struct.pack(">I", 0x200) + brand + b"mp41")
    mvhd = _box(b"mvhd", bytes(4) + struct.pack(">IIII", 0, 0, 1000, 5000) + bytes(80))
    tkhd = _box(b"tkhd", bytes([0, 0, 0, 3]) + bytes(80))
    moov = _box(b"moov", mvhd + _box(b"trak", tkhd))
    free = _box(b"free", bytes(rng.randint(8, 64)))
    mdat = _box(b"mdat", rng.randbytes(media_bytes))
    return ftyp + free + mdat + moov


def tiff_raw(rng, strip_bytes, canon=False):
    """A little-endian TIFF with two strips and a sub-IFD holding a third: the
    layout camera raw files share. `canon` marks it as CR2 (bytes 8..10)."""
    header = b"II*\x00" + struct.pack("<I", 16) + (b"CR\x02\x00" + struct.pack("<I", 0) if canon else bytes(8))
    strips = [rng.randbytes(strip_bytes), rng.randbytes(strip_bytes // 2)]
    sub_strip = rng.randbytes(strip_bytes // 3)
    make = b"Velmora Camera\x00"
    ifd0_entries = 9
    ifd0_len = 2 + ifd0_entries * 12 + 4
    make_off = 16 + ifd0_len
    offs_off = make_off + len(make)
    counts_off = offs_off + 8
    sub_off = counts_off + 8
    sub_len = 2 + 3 * 12 + 4
    data_off = sub_off + sub_len
    strip_offs = [data_off, data_off + len(strips[0])]
    sub_strip_off = strip_offs[1] + len(strips[1])

    def entry(tag, typ, count, value):
        return struct.pack("<HHII", tag, typ, count, value)

    ifd0 = struct.pack("<H", ifd0_entries) + b"".join([
        entry(0x0100, 4, 1, 256), entry(0x0101, 4, 1, 2), entry(0x0102, 3, 1, 8), entry(0x0103, 3, 1, 1),
        entry(0x010F, 2, len(make), make_off), entry(0x0111, 4, 2, offs_off), entry(0x0116, 4, 1, 1),
        entry(0x0117, 4, 2, counts_off), entry(0x014A, 4, 1, sub_off)]) + struct.pack("<I", 0)
    sub = struct.pack("<H", 3) + b"".join([
        entry(0x0100, 4, 1, 64), entry(0x0111, 4, 1, sub_strip_off), entry(0x0117, 4, 1, len(sub_strip))]) + struct.pack("<I", 0)
    out = header + ifd0 + make + struct.pack("<II", *strip_offs) + struct.pack("<II", len(strips[0]), len(strips[1]))
    out += sub + strips[0] + strips[1] + sub_strip
    return out


def sqlite_db(rng, rows):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "db.sqlite")
        con = sqlite3.connect(path)
        con.execute("PRAGMA page_size=1024")
        con.execute("PRAGMA journal_mode=DELETE")
        con.execute("CREATE TABLE photos(id INTEGER PRIMARY KEY, name TEXT, note BLOB)")
        con.executemany("INSERT INTO photos(name, note) VALUES(?, ?)",
                        [(f"IMG_{i:04d}.JPG", rng.randbytes(rng.randint(10, 300))) for i in range(rows)])
        con.commit()
        con.close()
        with open(path, "rb") as f:
            return f.read()
