#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes three tiny FAT volumes (48 KiB each, 512-byte clusters) for the volume
fuzzer: fuzz-fat12.img, fuzz-fat16.img and fuzz-fat32.img in OUTDIR.

mkfs.fat and mtools need thousands of clusters before they call a volume FAT16
or FAT32; the scanners take a type text of FAT16 or FAT32 at its word, so a
volume of a few dozen clusters scans like a large one and lets the fuzzer run a
thousand inputs a second. The FAT12 one (type text FAT12, entries of 12 bits)
is FAT12 by its count of clusters. All three volumes hold the same tree, laid out the way DOS leaves
it after a deletion (first name byte 0xE5, long-name entries marked too, the
file's FAT entries zeroed):

  FUZZVOL           volume label
  README.TXT        live, one cluster
  empty.txt         live, no cluster
  Documents/        live folder of two clusters, apart
    Report final.txt  live, three clusters in a row
    Old draft.txt     deleted, two clusters
    notes.md          live, two clusters apart
  Photos 2020/      deleted folder
    beach.jpg         deleted, three clusters
  Big archive.bin   deleted, ten clusters, the last two written again by
                    a later file (later.dat)
  later.dat         live

Usage: make-fuzz-fat.py OUTDIR      (the same bytes on every run)
"""

import random
import struct
import sys
from pathlib import Path

SECTOR = 512
TOTAL_SECTORS = 96
STAMP_TIME = (12 << 11) | (30 << 5)  # 12:30:00
STAMP_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17  # 2024-05-17
ATTR_READONLY, ATTR_VOLUME, ATTR_DIR, ATTR_ARCHIVE, ATTR_LFN = 0x01, 0x08, 0x10, 0x20, 0x0F


def short_checksum(name11: bytes) -> int:
    s = 0
    for b in name11:
        s = (((s & 1) << 7) + (s >> 1) + b) & 0xFF
    return s


def lfn_entries(long_name: str, name11: bytes) -> list:
    """The long-name entries of `long_name`, last part first, as they sit on disk."""
    units = list(long_name.encode("utf-16-le"))
    chars = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)]
    parts = [chars[i:i + 13] for i in range(0, len(chars), 13)]
    if len(parts[-1]) < 13:
        parts[-1] = parts[-1] + [0x0000] + [0xFFFF] * (12 - len(parts[-1]))
    check = short_checksum(name11)
    out = []
    for n, part in enumerate(parts, start=1):
        seq = n | (0x40 if n == len(parts) else 0)
        e = bytearray(32)
        e[0] = seq
        struct.pack_into("<5H", e, 1, *part[0:5])
        e[11] = ATTR_LFN
        e[13] = check
        struct.pack_into("<6H", e, 14, *part[5:11])
        struct.pack_into("<2H", e, 28, *part[11:13])
        out.append(bytes(e))
    return list(reversed(out))


def short_entry(name11: bytes, attr: int, cluster: int, size: int) -> bytes:
    e = bytearray(32)
    e[0:11] = name11
    e[11] = attr
    struct.pack_into("<HHH", e, 14, STAMP_TIME, STAMP_DATE, STAMP_DATE)
    struct.pack_into("<H", e, 20, cluster >> 16)
    struct.pack_into("<HH", e, 22, STAMP_TIME, STAMP_DATE)
    struct.pack_into("<H", e, 26, cluster & 0xFFFF)
    struct.pack_into("<I", e, 28, size)
    return bytes(e)


def deleted(entries: list) -> list:
    return [b"\xE5" + e[1:] for e in entries]


class Volume:
    def __init__(self, bits: int):
        fat32 = bits == 32
        self.bits = bits
        self.fat32 = fat32
        self.image = bytearray(TOTAL_SECTORS * SECTOR)
        self.reserved = 8 if fat32 else 1
        self.fat_sectors = 1
        self.root_entries = 0 if fat32 else 32
        root_sectors = self.root_entries * 32 // SECTOR
        self.data_start = self.reserved + 2 * self.fat_sectors + root_sectors
        self.clusters = TOTAL_SECTORS - self.data_start
        self.fat = [0] * (self.clusters + 2)
        mask = {12: 0xFFF, 16: 0xFFFF, 32: 0x0FFFFFFF}[bits]
        self.fat[0] = mask - 7
        self.fat[1] = mask
        self.eoc = mask
        self.rng = random.Random(20240517)

    def cluster_offset(self, cluster: int) -> int:
        return (self.data_start + cluster - 2) * SECTOR

    def chain(self, clusters: list):
        for a, b in zip(clusters, clusters[1:]):
            self.fat[a] = b
        self.fat[clusters[-1]] = self.eoc

    def content(self, size: int) -> bytes:
        return bytes(self.rng.getrandbits(8) for _ in range(size))

    def put_data(self, clusters: list, data: bytes):
        for i, c in enumerate(clusters):
            part = data[i * SECTOR:(i + 1) * SECTOR]
            at = self.cluster_offset(c)
            self.image[at:at + len(part)] = part

    def put_folder(self, clusters: list, entries: list):
        raw = b"".join(entries)
        assert len(raw) <= len(clusters) * SECTOR
        self.put_data(clusters, raw)

    def boot_sector(self) -> bytes:
        b = bytearray(SECTOR)
        b[0:3] = b"\xEB\x58\x90" if self.fat32 else b"\xEB\x3C\x90"
        b[3:11] = b"mkfs.fat"
        struct.pack_into("<HBHBHHBHHHII", b, 11, SECTOR, 1, self.reserved, 2, self.root_entries,
                         TOTAL_SECTORS, 0xF8, 0 if self.fat32 else self.fat_sectors, 32, 2, 0, 0)
        if self.fat32:
            struct.pack_into("<IHHIHH", b, 36, self.fat_sectors, 0, 0, 2, 1, 6)
            struct.pack_into("<BBBI", b, 64, 0x80, 0, 0x29, 0x1234ABCD)
            b[71:82] = b"FUZZVOL    "
            b[82:90] = b"FAT32   "
        else:
            struct.pack_into("<BBBI", b, 36, 0x80, 0, 0x29, 0x1234ABCD)
            b[43:54] = b"FUZZVOL    "
            b[54:62] = b"FAT12   " if self.bits == 12 else b"FAT16   "
        b[510:512] = b"\x55\xAA"
        return bytes(b)

    def fsinfo(self, free: int, next_free: int) -> bytes:
        b = bytearray(SECTOR)
        struct.pack_into("<I", b, 0, 0x41615252)
        struct.pack_into("<III", b, 484, 0x61417272, free, next_free)
        b[510:512] = b"\x55\xAA"
        return bytes(b)

    def finish(self) -> bytes:
        boot = self.boot_sector()
        self.image[0:SECTOR] = boot
        if self.fat32:
            free = sum(1 for v in self.fat[2:] if v == 0)
            info = self.fsinfo(free, 2)
            self.image[SECTOR:2 * SECTOR] = info
            self.image[6 * SECTOR:7 * SECTOR] = boot
            self.image[7 * SECTOR:8 * SECTOR] = info
        fat = bytearray(self.fat_sectors * SECTOR)
        for i, v in enumerate(self.fat):
            if self.bits == 12:
                # Two entries in three bytes: an odd cluster's in the high 12 bits.
                at = i + i // 2
                old = struct.unpack_from("<H", fat, at)[0]
                both = (old & 0x000F) | (v << 4) if i % 2 else (old & 0xF000) | v
                struct.pack_into("<H", fat, at, both)
            else:
                struct.pack_into("<I" if self.fat32 else "<H", fat, i * (self.bits // 8), v)
        for copy in range(2):
            at = (self.reserved + copy * self.fat_sectors) * SECTOR
            self.image[at:at + len(fat)] = fat
        return bytes(self.image)


def build(bits: int) -> bytes:
    fat32 = bits == 32
    v = Volume(bits)
    root_cluster = 2 if fat32 else 0
    # Clusters, picked by hand so that live and deleted data interleave.
    docs = [3, 9]
    report = [4, 5, 6]
    draft = [7, 8]          # deleted: FAT entries left zero
    notes = [10, 13]
    readme = [11]
    photos = [12]           # deleted folder
    beach = [14, 15, 16]    # deleted, inside the deleted folder
    big = list(range(17, 27))  # deleted; its last two clusters hold later.dat now
    later = [25, 26]

    for c in (docs, report, notes, readme, later):
        v.chain(c)
    if fat32:
        v.chain([root_cluster])

    def named(long_name: str, name11: bytes, attr: int, clusters: list, size: int) -> list:
        first = clusters[0] if clusters else 0
        return lfn_entries(long_name, name11) + [short_entry(name11, attr, first, size)]

    dot = short_entry(b".          ", ATTR_DIR, docs[0], 0)
    dotdot = short_entry(b"..         ", ATTR_DIR, 0, 0)
    documents = [dot, dotdot]
    documents += named("Report final.txt", b"REPORT~1TXT", ATTR_ARCHIVE, report, 1200)
    documents += deleted(named("Old draft.txt", b"OLDDRA~1TXT", ATTR_ARCHIVE, draft, 700))
    documents += [short_entry(b"NOTES   MD ", ATTR_ARCHIVE | ATTR_READONLY, notes[0], 900)]
    v.put_folder(docs, documents)

    photo_entries = [short_entry(b".          ", ATTR_DIR, photos[0], 0), dotdot]
    photo_entries += deleted(named("beach.jpg", b"BEACH   JPG", ATTR_ARCHIVE, beach, 1500))
    v.put_folder(photos, photo_entries)

    root = [short_entry(b"FUZZVOL    ", ATTR_VOLUME, 0, 0)]
    root += [short_entry(b"README  TXT", ATTR_ARCHIVE, readme[0], 100)]
    root += named("empty.txt", b"EMPTY   TXT", ATTR_ARCHIVE, [], 0)
    root += named("Documents", b"DOCUME~1   ", ATTR_DIR, docs, 0)
    root += deleted(named("Photos 2020", b"PHOTOS~1   ", ATTR_DIR, photos, 0))
    root += deleted(named("Big archive.bin", b"BIGARC~1BIN", ATTR_ARCHIVE, big, 5000))
    root += named("later.dat", b"LATER   DAT", ATTR_ARCHIVE, later, 1000)
    if fat32:
        v.put_folder([root_cluster], root)
    else:
        at = (v.reserved + 2 * v.fat_sectors) * SECTOR
        raw = b"".join(root)
        assert len(raw) <= v.root_entries * 32
        v.image[at:at + len(raw)] = raw

    v.put_data(report, v.content(1200))
    v.put_data(draft, v.content(700))
    v.put_data(notes, v.content(900))
    v.put_data(readme, b"Fuzzing volume: a tiny FAT tree with live and deleted files.\n".ljust(100, b"."))
    v.put_data(beach, v.content(1500))
    v.put_data(big, v.content(5000))
    v.put_data(later, v.content(1000))
    return v.finish()


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "fuzz-fat12.img").write_bytes(build(12))
    (out / "fuzz-fat16.img").write_bytes(build(16))
    (out / "fuzz-fat32.img").write_bytes(build(32))
    return 0


if __name__ == "__main__":
    sys.exit(main())
