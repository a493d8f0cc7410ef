#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Helper for tools/make-test-volumes.sh (standard library only).

Sub-commands:
  gen FILELIST OUTROOT
      FILELIST holds lines "relpath<TAB>size<TAB>kind" (kind: text, bin, png).
      Writes each file under OUTROOT with exactly `size` bytes and prints
      "relpath<TAB>sha256" for each. The content is a pure function of
      (relpath, size, kind), so every run and every machine gives the same bytes.
  fatslots IMAGE
      Walks the directory tree of a FAT12/16/32 image straight from its raw
      bytes and prints one TSV line per entry, live or deleted (0xE5):
        path  state  short_slot  nslots  first_cluster  size  type
        dir_cluster_bytes  beyond_first_cluster  chain  parent_cluster
      short_slot is the index of the 32-byte short entry inside its folder
      (long-name entries come before it), dir_cluster_bytes is 0 for the fixed
      FAT12/16 root, chain is the cluster chain read from FAT #1 as ranges
      "a-b,c" ("-" if none; always "-" for deleted entries, whose FAT entries
      are free), parent_cluster is the folder's first cluster (0: fixed root).
      Live folders are read through their FAT chain, deleted folders through
      their first cluster only.
  fatfinish IMAGE STATE / ntfsfinish IMAGE STATE
      After the last step: STATE is a TSV (header path type state size made
      delat slot parent first ranges mft) of everything created. Prints
      "path<TAB>note" for deleted entries: entry_overwritten (FAT: the slot no
      longer holds the deleted entry) and data_overwritten (a cluster is
      allocated now, or was given to an entry created after the deletion).
  tskcompare MANIFEST FLS_OUTPUT LABEL [RECOVERED_DIR]
      Compares the deleted rows of a manifest with `fls -r -d -p` output and,
      given the folder `tsk_recover IMAGE DIR` wrote, the sha256 of each
      deleted file there with the manifest's.
      Prints a short summary to stderr. Never fails on a mismatch.
"""
import hashlib
import struct
import sys
import zlib

# ---------------------------------------------------------------- content

WORDS = (
    "the quarterly figures show steady growth in every region while costs "
    "stayed flat and the team shipped two releases ahead of plan customers "
    "asked for faster exports better search and offline access so the next "
    "quarter will focus on storage sync reliability budget hiring training "
    "north south east west office warehouse invoice order delivery supplier "
    "meeting agenda notes action owner deadline review draft final summary"
).split()


class Stream:
    """Counter-mode SHA-256 byte stream seeded by a string."""

    def __init__(self, seed):
        self.seed = seed.encode("utf-8")
        self.counter = 0
        self.buf = b""

    def read(self, n):
        out = [self.buf]
        have = len(self.buf)
        while have < n:
            block = hashlib.sha256(self.seed + struct.pack("<Q", self.counter)).digest()
            self.counter += 1
            out.append(block)
            have += len(block)
        data = b"".join(out)
        self.buf = data[n:]
        return data[:n]

    def below(self, n):
        return struct.unpack("<I", self.read(4))[0] % n


def gen_text(seed, size):
    rs = Stream(seed)
    parts = ["File: %s\r\n" % seed]
    total = len(parts[0].encode("utf-8"))
    line_no = 1
    while total < size:
        words = [WORDS[rs.below(len(WORDS))] for _ in range(6 + rs.below(8))]
        line = "%04d %s.\r\n" % (line_no, " ".join(words).capitalize())
        parts.append(line)
        total += len(line)
        line_no += 1
    return "".join(parts).encode("utf-8")[:size]


def gen_bin(seed, size):
    return Stream(seed).read(size)


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _stored_deflate(raw):
    # zlib stream made of stored blocks only: identical bytes with any zlib build.
    out = bytearray(b"\x78\x01")
    pos = 0
    while True:
        block = raw[pos:pos + 65535]
        pos += len(block)
        final = 1 if pos >= len(raw) else 0
        out += bytes([final]) + struct.pack("<HH", len(block), len(block) ^ 0xFFFF) + block
        if final:
            break
    out += struct.pack(">I", zlib.adler32(raw) & 0xFFFFFFFF)
    return bytes(out)


def gen_png(seed, size):
    """A real, viewable RGB PNG (sky-to-sea gradient with a sun) padded with a
    tEXt comment to exactly `size` bytes."""
    rs = Stream(seed)
    fixed = 8 + 25 + 12 + 12  # signature, IHDR, IEND, tEXt overhead
    side = 8
    # largest square whose stored pixel data leaves room for the comment key
    while True:
        nxt = side + 4
        raw_len = nxt * (nxt * 3 + 1)
        idat = 2 + 5 * (raw_len // 65535 + 1) + raw_len + 4
        if fixed + 12 + idat + 8 > size or nxt > 512:
            break
        side = nxt
    sun_x = side // 4 + rs.below(side // 2)
    sun_y = side // 5 + rs.below(side // 5)
    sun_r = max(2, side // 8)
    horizon = side * 3 // 5
    rows = bytearray()
    for y in range(side):
        rows.append(0)
        for x in range(side):
            if (x - sun_x) ** 2 + (y - sun_y) ** 2 <= sun_r * sun_r:
                px = (255, 220, 90)
            elif y < horizon:
                t = y * 255 // max(1, horizon)
                px = (40 + t * 3 // 4, 60 + t // 3, 160 - t // 3)
            else:
                t = (y - horizon) * 255 // max(1, side - horizon)
                wave = ((x + y * 3) % 9) * 4
                px = (20, 60 + wave, 120 - t // 3 + wave)
            rows += bytes(px)
    ihdr = _chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
    idat = _chunk(b"IDAT", _stored_deflate(bytes(rows)))
    iend = _chunk(b"IEND", b"")
    head = b"\x89PNG\r\n\x1a\n" + ihdr + idat
    pad = size - len(head) - len(iend) - 12 - len(b"Comment\x00")
    if pad < 0:
        raise SystemExit("png size %d too small for %s" % (size, seed))
    filler = (("Made for tests: %s. " % seed) * (pad // 20 + 2)).encode("utf-8")[:pad]
    text = _chunk(b"tEXt", b"Comment\x00" + filler)
    data = head + text + iend
    assert len(data) == size, (len(data), size)
    return data


GENERATORS = {"text": gen_text, "bin": gen_bin, "png": gen_png}


def cmd_gen(filelist, outroot):
    import os
    with open(filelist, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            rel, size, kind = line.split("\t")
            data = GENERATORS[kind](rel, int(size))
            dest = os.path.join(outroot, rel)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with open(dest, "wb") as out:
                out.write(data)
            sys.stdout.write("%s\t%s\n" % (rel, hashlib.sha256(data).hexdigest()))


# ---------------------------------------------------------------- FAT reader

class Fat:
    def __init__(self, path):
        self.f = open(path, "rb")
        bs = self.f.read(512)
        self.bps = struct.unpack_from("<H", bs, 11)[0]
        self.spc = bs[13]
        self.reserved = struct.unpack_from("<H", bs, 14)[0]
        self.nfats = bs[16]
        self.root_entries = struct.unpack_from("<H", bs, 17)[0]
        tot16 = struct.unpack_from("<H", bs, 19)[0]
        fatsz16 = struct.unpack_from("<H", bs, 22)[0]
        tot32 = struct.unpack_from("<I", bs, 32)[0]
        self.total = tot16 or tot32
        self.fatsz = fatsz16 or struct.unpack_from("<I", bs, 36)[0]
        self.root_sectors = (self.root_entries * 32 + self.bps - 1) // self.bps
        self.first_data = self.reserved + self.nfats * self.fatsz + self.root_sectors
        self.clusters = (self.total - self.first_data) // self.spc
        if self.clusters < 4085:
            self.bits = 12
        elif self.clusters < 65525:
            self.bits = 16
        else:
            self.bits = 32
        self.root_cluster = struct.unpack_from("<I", bs, 44)[0] if self.bits == 32 else 0
        self.cluster_bytes = self.bps * self.spc
        self.f.seek(self.reserved * self.bps)
        self.fat = self.f.read(self.fatsz * self.bps)
        self.visited = set()  # folder clusters already walked

    def next(self, c):
        if self.bits == 32:
            return struct.unpack_from("<I", self.fat, c * 4)[0] & 0x0FFFFFFF
        if self.bits == 16:
            return struct.unpack_from("<H", self.fat, c * 2)[0]
        v = struct.unpack_from("<H", self.fat, c * 3 // 2)[0]
        return (v >> 4) if c & 1 else (v & 0xFFF)

    def chain(self, c):
        out, seen = [], set()
        eoc = {12: 0xFF8, 16: 0xFFF8, 32: 0x0FFFFFF8}[self.bits]
        while 2 <= c < self.clusters + 2 and c not in seen:
            out.append(c)
            seen.add(c)
            c = self.next(c)
            if c >= eoc or c == 0:
                break
        return out

    def read_cluster(self, c):
        self.f.seek((self.first_data + (c - 2) * self.spc) * self.bps)
        return self.f.read(self.cluster_bytes)

    def read_root_fixed(self):
        self.f.seek((self.reserved + self.nfats * self.fatsz) * self.bps)
        return self.f.read(self.root_entries * 32)


def short_name(e):
    base, ext = e[0:8], e[8:11]
    if base[0] == 0x05:
        base = b"\xe5" + base[1:]
    b = base.rstrip(b" ").decode("cp850")
    x = ext.rstrip(b" ").decode("cp850")
    if e[12] & 0x08:
        b = b.lower()
    if e[12] & 0x10:
        x = x.lower()
    return b + ("." + x if x else "")


def lfn_checksum(e):
    s = 0
    for ch in e[0:11]:
        s = (((s & 1) << 7) + (s >> 1) + ch) & 0xFF
    return s


def ranges(chain):
    """[3,4,5,9] -> "3-5,9" (the same grouping mshowfat prints)."""
    if not chain:
        return "-"
    out = []
    start = prev = chain[0]
    for c in chain[1:] + [None]:
        if c is not None and c == prev + 1:
            prev = c
            continue
        out.append(str(start) if start == prev else "%d-%d" % (start, prev))
        if c is not None:
            start = prev = c
    return ",".join(out)


def walk(fat, data, dir_cluster_bytes, prefix, out, parent_cluster):
    pending = []  # long-name entries seen since the last short entry
    n = len(data) // 32
    for i in range(n):
        e = data[i * 32:(i + 1) * 32]
        if e[0] == 0x00:
            break
        deleted = e[0] == 0xE5
        if e[11] == 0x0F:
            pending.append((i, e))
            continue
        lfn = pending
        pending = []
        if e[11] & 0x08:  # volume label
            continue
        name_short = short_name(e) if not deleted else "_" + short_name(b"A" + e[1:])[1:]
        # long name: the run of long-name entries right before, checksum must match
        if deleted:
            # the checksum covers the lost first byte: accept any first byte
            # that gives the checksum the long-name entries carry
            chks = {lfn_checksum(bytes([b]) + e[1:11]) for b in range(256)}
        else:
            chks = {lfn_checksum(e)}
        run = []
        for j, le in reversed(lfn):
            if le[13] not in chks or j != i - 1 - len(run):
                break
            run.append(le)
        name = name_short
        if run:
            units = b""
            for le in run:  # nearest to the short entry first: characters 1-13, 14-26, ...
                units += le[1:11] + le[14:26] + le[28:32]
            txt = units.decode("utf-16-le", "replace")
            end = txt.find("\x00")
            name = txt if end < 0 else txt[:end]
        if name in (".", ".."):
            continue
        hi = struct.unpack_from("<H", e, 20)[0] if fat.bits == 32 else 0
        first = (hi << 16) | struct.unpack_from("<H", e, 26)[0]
        size = struct.unpack_from("<I", e, 28)[0]
        is_dir = bool(e[11] & 0x10)
        path = prefix + name
        beyond = "yes" if dir_cluster_bytes and i * 32 >= dir_cluster_bytes else "no"
        chain = fat.chain(first) if (first and not deleted) else []
        out.append((path, "deleted" if deleted else "live", i, len(run) + 1, first, size,
                    "dir" if is_dir else "file", dir_cluster_bytes, beyond, ranges(chain),
                    parent_cluster))
        if is_dir and first and 2 <= first < fat.clusters + 2 and first not in fat.visited:
            fat.visited.add(first)
            if deleted:
                # a deleted folder's FAT chain is gone: only its first cluster is known
                sub = fat.read_cluster(first)
            else:
                sub = b"".join(fat.read_cluster(c) for c in chain)
            walk(fat, sub, fat.cluster_bytes, path + "/", out, first)


def cmd_fatslots(image):
    fat = Fat(image)
    out = []
    if fat.bits == 32:
        chain = fat.chain(fat.root_cluster)
        data = b"".join(fat.read_cluster(c) for c in chain)
        walk(fat, data, fat.cluster_bytes, "", out, fat.root_cluster)
    else:
        walk(fat, fat.read_root_fixed(), 0, "", out, 0)
    w = sys.stdout
    for row in out:
        w.write("\t".join(map(str, row)) + "\n")


# ---------------------------------------------------------------- after the last step

def expand(rng):
    out = set()
    if rng in ("", "-"):
        return out
    for part in rng.split(","):
        a, _, b = part.partition("-")
        out.update(range(int(a), int(b or a) + 1))
    return out


def read_state(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            rows.append(dict(zip(header, line.rstrip("\n").split("\t"))))
    return rows


def later_clusters(rows, row, clusters_of):
    """Clusters of every entry created after `row` was deleted."""
    out = set()
    for q in rows:
        if q is not row and int(q["made"]) > int(row["delat"]):
            out |= clusters_of(q)
    return out


def cmd_fatfinish(image, state):
    """Checks each entry against the final image; prints "path<TAB>note"."""
    fat = Fat(image)
    listing = []
    if fat.bits == 32:
        chain = fat.chain(fat.root_cluster)
        walk(fat, b"".join(fat.read_cluster(c) for c in chain), fat.cluster_bytes, "",
             listing, fat.root_cluster)
        allocated = set(chain)
    else:
        walk(fat, fat.read_root_fixed(), 0, "", listing, 0)
        allocated = set()
    ondisk = {}
    for (path, st, slot, nslots, first, size, typ, dirbytes, beyond, chain, parent) in listing:
        ondisk[(str(parent), str(slot))] = (st, str(first))
        if st == "live":
            allocated |= expand(chain)
    rows = read_state(state)
    bad = 0
    for row in rows:
        found = ondisk.get((row["parent"], row["slot"]))
        if row["state"] == "live":
            if found != ("live", row["first"]):
                sys.stderr.write("live entry %s not at its slot: %r\n" % (row["path"], found))
                bad += 1
            continue
        if found != ("deleted", row["first"]):
            print("%s\tentry_overwritten" % row["path"])
        mine = expand(row["ranges"])
        if mine & (allocated | later_clusters(rows, row, lambda q: expand(q["ranges"]))):
            print("%s\tdata_overwritten" % row["path"])
    return 1 if bad else 0


class Ntfs:
    """Just enough NTFS to read the cluster runs of a record's unnamed $DATA
    attribute (in use or not) and the volume's cluster bitmap."""

    def __init__(self, path):
        self.f = open(path, "rb")
        bs = self.f.read(512)
        self.bps = struct.unpack_from("<H", bs, 11)[0]
        self.cluster = self.bps * bs[13]
        mft_lcn = struct.unpack_from("<Q", bs, 0x30)[0]
        v = struct.unpack_from("<b", bs, 0x40)[0]
        self.recsize = v * self.cluster if v > 0 else 1 << -v
        self.mft_runs = [(0, mft_lcn, 1 << 40)]  # enough to read record 0
        self.mft_runs = self.data_runs(0)

    def read_at(self, off, n):
        self.f.seek(off)
        return self.f.read(n)

    def record(self, n):
        pos = n * self.recsize
        vcn, within = divmod(pos, self.cluster)
        for start, lcn, length in self.mft_runs:
            if start <= vcn < start + length and lcn is not None:
                rec = bytearray(self.read_at((lcn + vcn - start) * self.cluster + within,
                                             self.recsize))
                break
        else:
            raise SystemExit("MFT record %d not mapped" % n)
        if rec[0:4] != b"FILE":
            return None
        usa_off, usa_cnt = struct.unpack_from("<HH", rec, 4)
        for i in range(1, usa_cnt):
            end = i * self.bps - 2
            rec[end:end + 2] = rec[usa_off + 2 * i:usa_off + 2 * i + 2]
        return bytes(rec)

    def data_runs(self, n):
        """[(vcn, lcn or None for sparse, length)] of the unnamed $DATA; [] if
        resident or absent."""
        rec = self.record(n)
        if rec is None:
            return []
        off = struct.unpack_from("<H", rec, 0x14)[0]
        while off + 8 <= len(rec):
            atype, alen = struct.unpack_from("<II", rec, off)
            if atype == 0xFFFFFFFF or alen == 0:
                break
            nonres, name_len = rec[off + 8], rec[off + 9]
            if atype == 0x80 and name_len == 0:
                if not nonres:
                    return []
                vcn = struct.unpack_from("<Q", rec, off + 0x10)[0]
                p = off + struct.unpack_from("<H", rec, off + 0x20)[0]
                runs, lcn = [], 0
                while rec[p] != 0:
                    ln, lo = rec[p] & 0x0F, rec[p] >> 4
                    length = int.from_bytes(rec[p + 1:p + 1 + ln], "little")
                    if lo:
                        lcn += int.from_bytes(rec[p + 1 + ln:p + 1 + ln + lo], "little", signed=True)
                        runs.append((vcn, lcn, length))
                    else:
                        runs.append((vcn, None, length))
                    vcn += length
                    p += 1 + ln + lo
                return runs
            off += alen
        return []

    def clusters(self, n):
        out = set()
        for _vcn, lcn, length in self.data_runs(n):
            if lcn is not None:
                out.update(range(lcn, lcn + length))
        return out

    def allocated(self):
        bitmap = bytearray()
        for _vcn, lcn, length in self.data_runs(6):  # record 6: $Bitmap
            bitmap += self.read_at(lcn * self.cluster, length * self.cluster)
        return {i for i in range(len(bitmap) * 8) if bitmap[i >> 3] >> (i & 7) & 1}


def cmd_ntfsfinish(image, state):
    """Prints "path<TAB>data_overwritten" for deleted files whose clusters are
    allocated now or were given to an entry created after the deletion."""
    vol = Ntfs(image)
    rows = read_state(state)
    deleted = [r for r in rows if r["state"] == "deleted" and r["type"] == "file"]
    if not deleted:
        return 0
    allocated = vol.allocated()
    runs = {}

    def clusters_of(row):
        if row["mft"] not in runs:
            runs[row["mft"]] = vol.clusters(int(row["mft"]))
        return runs[row["mft"]]

    for row in deleted:
        mine = clusters_of(row)
        if mine & (allocated | later_clusters(rows, row, clusters_of)):
            print("%s\tdata_overwritten" % row["path"])
    return 0


# ---------------------------------------------------------------- TSK cross-check

def cmd_tskcompare(manifest, fls_out, label, recovered=None):
    want = {}
    with open(manifest, encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            if row["state"] == "deleted":
                want[row["path"]] = row
    seen = {}  # fls path -> inode address (meta address)
    with open(fls_out, encoding="utf-8", errors="replace") as f:
        for line in f:
            if "\t" not in line:
                continue
            meta, name = line.rstrip("\n").split("\t", 1)
            if "*" not in meta or name.startswith("$"):
                continue
            if name.endswith("/.") or name.endswith("/.."):
                continue
            seen[name] = meta.split("*", 1)[1].strip().rstrip(":").strip()

    def loose(p):
        # TSK shows a deleted short name with "_" for its lost first byte
        return "/".join(("_" + c[1:]).lower() for c in p.split("/"))

    seen_loose = {}
    for p, inode in seen.items():
        seen_loose.setdefault(loose(p), inode)
    want_loose = {loose(p) for p in want}
    exact = [p for p in want if p in seen]
    fuzzy = [p for p in want if p not in seen and loose(p) in seen_loose]
    missing = [p for p in want if p not in seen and loose(p) not in seen_loose]
    extra = sorted(p for p in seen if p not in want and loose(p) not in want_loose)
    err = sys.stderr
    err.write("[%s] fls -r -d -p: manifest deleted=%d, fls deleted=%d, same path=%d, "
              "matched as short name=%d, not listed=%d, fls only=%d\n"
              % (label, len(want), len(seen), len(exact), len(fuzzy), len(missing), len(extra)))
    for p in missing[:12]:
        err.write("[%s]   not listed by fls: %s (%s)\n" % (label, p, want[p]["notes"] or "-"))
    for p in extra[:12]:
        err.write("[%s]   listed by fls only: %s\n" % (label, p))
    if not recovered:
        return
    # tsk_recover wrote each deleted file it could find under `recovered`
    import os
    got = {}
    for root, _dirs, files in os.walk(recovered):
        for fn in files:
            full = os.path.join(root, fn)
            rel = os.path.relpath(full, recovered)
            with open(full, "rb") as f:
                got[rel] = hashlib.sha256(f.read()).hexdigest()
    got_loose = {loose(p): h for p, h in got.items()}
    same = differ = absent = 0
    bad = []
    for p, row in want.items():
        if row["type"] != "file" or row["size"] in ("0", "-"):
            continue
        h = got.get(p, got_loose.get(loose(p)))
        if h is None:
            absent += 1
            bad.append("not recovered: %s (%s)" % (p, row["notes"]))
        elif h == row["sha256"]:
            same += 1
        else:
            differ += 1
            bad.append("content differs: %s (%s)" % (p, row["notes"]))
    err.write("[%s] tsk_recover, deleted non-empty files: sha256 equal=%d, different=%d, "
              "not recovered=%d\n" % (label, same, differ, absent))
    for d in bad[:12]:
        err.write("[%s]   %s\n" % (label, d))


def main(argv):
    if len(argv) >= 3 and argv[0] == "gen":
        cmd_gen(argv[1], argv[2])
    elif len(argv) >= 2 and argv[0] == "fatslots":
        cmd_fatslots(argv[1])
    elif len(argv) >= 3 and argv[0] == "fatfinish":
        return cmd_fatfinish(argv[1], argv[2])
    elif len(argv) >= 3 and argv[0] == "ntfsfinish":
        return cmd_ntfsfinish(argv[1], argv[2])
    elif len(argv) >= 4 and argv[0] == "tskcompare":
        cmd_tskcompare(argv[1], argv[2], argv[3], argv[4] if len(argv) > 4 else None)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
