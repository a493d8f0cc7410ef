#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Damages a copy of a FAT16, FAT32 or NTFS volume image in place, for tools/soak.sh.

Usage: soak_damage.py IMAGE SEED

The same image and SEED give the same damage. One to three damages are chosen
among the strategies below (those that fit the volume's file system) and laid
over the copy; what was done is printed on one line.

  boot        bytes of the boot sector's parameter block set to odd values
  fat         FAT entries set to free, end of chain, bad, themselves, a loop
              or any number
  folder      fields of directory entries (first cluster, size, attributes,
              name bytes) in a folder cluster
  mft-record  fields of an MFT record's header (sequence, flags, used and
              allocated sizes, first attribute, base record)
  usa         the update sequence: its offset, count or values
  attr-header fields of an attribute header (type, length, resident flag, name,
              value offset and length, run list offset)
  run-list    bytes of a non-resident attribute's run list
  data-size   a non-resident attribute's allocated, data or initialized size
  attr-list   bytes of an $ATTRIBUTE_LIST value
  bitmap      the $Bitmap record's runs or its clusters zeroed or filled
  truncate    the image cut short
  zero-range  a range zeroed (in the metadata, or anywhere)
  ff-range    a range filled with 0xFF
"""

import random
import struct
import sys

SECTOR = 512


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def u64(b, at):
    return struct.unpack_from("<Q", b, at)[0]


class Image:
    def __init__(self, path):
        self.f = open(path, "r+b")
        self.f.seek(0, 2)
        self.size = self.f.tell()

    def read(self, at, n):
        self.f.seek(at)
        return self.f.read(n)

    def write(self, at, data):
        if at < 0 or at >= self.size:
            return
        data = data[: self.size - at]
        self.f.seek(at)
        self.f.write(data)


def odd_value(rng, width):
    top = (1 << (8 * width)) - 1
    return rng.choice([0, 1, 2, top, top - 1, top >> 1, (top >> 1) + 1, rng.randint(0, top),
                       rng.randint(0, 255), rng.randint(0, 0xFFFF) & top])


def patch_int(img, rng, at, width):
    img.write(at, odd_value(rng, width).to_bytes(width, "little"))
    return at


class Fat:
    def __init__(self, img, boot):
        self.bps = u16(boot, 11) or SECTOR
        self.spc = boot[13] or 1
        self.reserved = u16(boot, 14)
        self.fats = boot[16]
        self.root_entries = u16(boot, 17)
        fat16_len = u16(boot, 22)
        self.fat32 = fat16_len == 0
        self.fat_len = u32(boot, 36) if self.fat32 else fat16_len
        self.root_cluster = u32(boot, 44) if self.fat32 else 0
        self.fat_start = self.reserved * self.bps
        root_dir_sectors = (self.root_entries * 32 + self.bps - 1) // self.bps
        self.root_start = (self.reserved + self.fats * self.fat_len) * self.bps
        self.data_start = self.root_start + root_dir_sectors * self.bps
        self.cluster_size = self.bps * self.spc
        self.width = 4 if self.fat32 else 2
        # A FAT12 table (fewer than 4,085 clusters) holds two entries in three bytes.
        total = u16(boot, 19) or u32(boot, 32)
        data = total - self.reserved - self.fats * self.fat_len - root_dir_sectors if not self.fat32 else 0
        fat12 = not self.fat32 and 0 < data // self.spc < 4085
        self.entries = self.fat_len * self.bps * 2 // 3 if fat12 else self.fat_len * self.bps // self.width
        self.img = img

    def cluster_at(self, c):
        return self.data_start + (c - 2) * self.cluster_size

    def folder_clusters(self):
        """Offsets of folder clusters: the root and those its entries (one level down) name."""
        out = []
        root = self.root_start if not self.fat32 else self.cluster_at(self.root_cluster)
        out.append(root)
        raw = self.img.read(root, self.cluster_size if self.fat32 else self.root_entries * 32)
        for i in range(0, len(raw) - 31, 32):
            e = raw[i:i + 32]
            if e[0] == 0:
                break
            if e[11] == 0x0F or not (e[11] & 0x10) or e[0:1] == b".":
                continue
            c = u16(e, 26) | (u16(e, 20) << 16 if self.fat32 else 0)
            if 2 <= c < self.entries:
                out.append(self.cluster_at(c))
        return out


class Ntfs:
    def __init__(self, img, boot):
        self.bps = u16(boot, 11) or SECTOR
        self.spc = boot[13] or 1
        self.cluster_size = self.bps * self.spc
        self.mft = u64(boot, 0x30) * self.cluster_size
        rs = struct.unpack_from("<b", boot, 0x40)[0]
        self.record_size = (1 << -rs) if rs < 0 else rs * self.cluster_size
        self.img = img

    def records(self, limit=4096):
        """Offsets of MFT records that carry the FILE signature (the MFT's first run)."""
        out = []
        for n in range(limit):
            at = self.mft + n * self.record_size
            if at + self.record_size > self.img.size:
                break
            if self.img.read(at, 4) == b"FILE":
                out.append(at)
        return out

    def attributes(self, rec_at):
        """(offset, type, bytes) of each attribute of a record, with its update sequence applied."""
        raw = bytearray(self.img.read(rec_at, self.record_size))
        usa, count = u16(raw, 4), u16(raw, 6)
        for i in range(1, count):
            end = i * SECTOR - 2
            if usa + 2 * i + 2 <= len(raw) and end + 2 <= len(raw):
                raw[end:end + 2] = raw[usa + 2 * i:usa + 2 * i + 2]
        out = []
        at = u16(raw, 0x14)
        while 0 < at < len(raw) - 8:
            kind = u32(raw, at)
            if kind == 0xFFFFFFFF:
                break
            length = u32(raw, at + 4)
            if length < 16 or at + length > len(raw):
                break
            out.append((rec_at + at, kind, bytes(raw[at:at + length])))
            at += length
        return out


def damage_fat(img, fat, rng):
    kind = rng.choice(["boot", "fat", "fat", "folder", "folder", "zero-range", "ff-range", "truncate"])
    if kind == "boot":
        field = rng.choice([(11, 2), (13, 1), (14, 2), (16, 1), (17, 2), (19, 2), (22, 2), (32, 4),
                            (36, 4), (44, 4)])
        at = patch_int(img, rng, field[0], field[1])
        return f"boot@{at}"
    if kind == "fat":
        first = rng.randint(2, max(2, min(fat.entries - 1, 4096)))
        n = rng.randint(1, 16)
        top = 0x0FFFFFFF if fat.fat32 else 0xFFFF
        for c in range(first, first + n):
            v = rng.choice([0, top, top - 8, c, first, rng.randint(0, top), fat.entries + rng.randint(0, 9)])
            for copy in range(max(1, fat.fats)):
                img.write(fat.fat_start + copy * fat.fat_len * fat.bps + c * fat.width,
                          (v & top).to_bytes(fat.width, "little"))
        return f"fat@{first}+{n}"
    if kind == "folder":
        base = rng.choice(fat.folder_clusters())
        entry = rng.randrange(0, max(1, fat.cluster_size // 32))
        field = rng.choice([(0, 1), (11, 1), (20, 2), (26, 2), (28, 4), (1, 10), (13, 1)])
        at = base + entry * 32 + field[0]
        if field[1] == 10:
            img.write(at, bytes(rng.choice([0, 0x2F, 0x5C, 0x7F, 0xE5, 0xFF, rng.randint(0, 255)])
                                for _ in range(10)))
        else:
            patch_int(img, rng, at, field[1])
        return f"folder@{at}"
    return damage_any(img, rng, kind, fat.data_start)


def damage_ntfs(img, ntfs, rng):
    kind = rng.choice(["boot", "mft-record", "usa", "attr-header", "attr-header", "run-list", "run-list",
                       "data-size", "attr-list", "bitmap", "zero-range", "ff-range", "truncate"])
    records = ntfs.records()
    if kind == "boot":
        field = rng.choice([(11, 2), (13, 1), (0x28, 8), (0x30, 8), (0x38, 8), (0x40, 1), (0x44, 1)])
        at = patch_int(img, rng, field[0], field[1])
        return f"boot@{at}"
    if not records:
        return damage_any(img, rng, "zero-range", ntfs.mft + 16 * 1024)
    rec = rng.choice(records[16:] if len(records) > 16 and rng.random() < 0.7 else records)
    if kind == "mft-record":
        field = rng.choice([(0x10, 2), (0x12, 2), (0x14, 2), (0x16, 2), (0x18, 4), (0x1C, 4), (0x20, 8),
                            (0x28, 2), (0x2C, 4)])
        at = patch_int(img, rng, rec + field[0], field[1])
        return f"mft-record@{at}"
    if kind == "usa":
        field = rng.choice([(4, 2), (6, 2), (0x30, 2), (0x32, 2), (SECTOR - 2, 2)])
        at = patch_int(img, rng, rec + field[0], field[1])
        return f"usa@{at}"
    attrs = ntfs.attributes(rec)
    if kind == "attr-list":
        lists = [a for a in attrs if a[1] == 0x20 and a[2][8] == 0]
        if lists:
            at, _, raw = rng.choice(lists)
            value = u16(raw, 0x14)
            length = u32(raw, 0x10)
            off = at + value + rng.randrange(0, max(1, length))
            img.write(off, bytes(rng.randint(0, 255) for _ in range(rng.randint(1, 8))))
            return f"attr-list@{off}"
        kind = "attr-header"
    if kind == "bitmap":
        bitmap = [r for r in records if (r - ntfs.mft) // ntfs.record_size == 6]
        data = [a for a in (ntfs.attributes(bitmap[0]) if bitmap else []) if a[1] == 0x80 and a[2][8] == 1]
        if data and rng.random() < 0.5:
            at, _, raw = data[0]
            runs = at + u16(raw, 0x20)
            off = runs + rng.randrange(0, max(1, len(raw) - u16(raw, 0x20)))
            img.write(off, bytes([rng.randint(0, 255)]))
            return f"bitmap-runs@{off}"
        if data:
            raw = data[0][2]
            first = 0
            pos = u16(raw, 0x20)
            header = raw[pos]
            nl, ol = header & 0xF, header >> 4
            if nl and ol:
                first = int.from_bytes(raw[pos + 1 + nl:pos + 1 + nl + ol], "little", signed=True)
            start = first * ntfs.cluster_size
            length = rng.randint(1, 4096)
            img.write(start, (b"\0" if rng.random() < 0.5 else b"\xFF") * length)
            return f"bitmap@{start}+{length}"
        kind = "attr-header"
    nonres = [a for a in attrs if a[2][8] == 1]
    if kind in ("run-list", "data-size") and nonres:
        at, _, raw = rng.choice(nonres)
        if kind == "run-list":
            runs = u16(raw, 0x20)
            off = at + runs + rng.randrange(0, max(1, len(raw) - runs))
            img.write(off, bytes(rng.choice([0, 0xFF, 0x11, 0x44, 0x88, rng.randint(0, 255)])
                                 for _ in range(rng.randint(1, 4))))
            return f"run-list@{off}"
        field = rng.choice([0x10, 0x18, 0x28, 0x30, 0x38])
        width = 8
        off = at + field
        img.write(off, odd_value(rng, width).to_bytes(width, "little"))
        return f"data-size@{off}"
    if attrs:
        at, _, raw = rng.choice(attrs)
        field = rng.choice([(0, 4), (4, 4), (8, 1), (9, 1), (0x0A, 2), (0x0C, 2), (0x10, 4), (0x14, 2),
                            (0x20, 2), (0x22, 2)])
        off = patch_int(img, rng, at + field[0], field[1])
        return f"attr-header@{off}"
    return damage_any(img, rng, "zero-range", rec)


def damage_any(img, rng, kind, metadata_end):
    if kind == "truncate":
        cut = rng.randint(SECTOR, max(SECTOR, img.size - 1))
        cut -= cut % SECTOR if rng.random() < 0.5 else 0
        img.f.truncate(cut)
        img.size = cut
        return f"truncate@{cut}"
    end = min(img.size, max(metadata_end, 4096)) if rng.random() < 0.8 else img.size
    start = rng.randrange(0, max(1, end))
    length = rng.choice([1, 16, 512, 4096, rng.randint(1, 65536)])
    img.write(start, (b"\0" if kind == "zero-range" else b"\xFF") * length)
    return f"{kind}@{start}+{length}"


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    rng = random.Random(int(sys.argv[2]))
    img = Image(sys.argv[1])
    done = []
    for _ in range(rng.choice([1, 1, 2, 3])):
        boot = img.read(0, SECTOR)
        if len(boot) < SECTOR:
            break
        if boot[3:7] == b"NTFS":
            done.append(damage_ntfs(img, Ntfs(img, boot), rng))
        elif u16(boot, 11) in (512, 1024, 2048, 4096) and boot[16] in (1, 2):
            done.append(damage_fat(img, Fat(img, boot), rng))
        else:
            done.append(damage_any(img, rng, rng.choice(["zero-range", "ff-range"]), 1 << 20))
    img.f.close()
    print(" ".join(done) if done else "none")
    return 0


if __name__ == "__main__":
    sys.exit(main())
