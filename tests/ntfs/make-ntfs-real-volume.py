# SPDX-License-Identifier: GPL-3.0-or-later
"""An NTFS volume with what real use leaves and our other volumes lack, made by
mkntfs and ntfs-3g, then a few bytes written from Python where no tool writes
them:
- Times/: files whose standard-information times (set by utime through
  ntfs-3g, which leaves the file name's times as they were at creation) differ
  from their file name's; some deleted, with a deleted folder.
- Valid/: two deleted files whose data attribute says fewer bytes were written
  (initialized) than the file holds: short.bin (65,536 bytes, none initialized)
  and part.bin (20,000 bytes, 5,000 initialized). Their clusters still hold
  their old bytes, which a copy must not give past the initialized size.
- Live/: copies of the 1,024 bytes of MFT records lying in free clusters, as
  Windows leaves them in shadow copies and moved MFT pieces: one of a live
  file as it is (same number and sequence: the live file, not a lost one),
  one with another sequence number (an earlier file of that record), one
  whose number no record of the MFT has (a record of a lost MFT).
- NAME-refs.img: the same with Refs/high.txt's parent reference naming a
  record number past 32 bits (48 are read), which only Python writes.
Writes OUTDIR/NAME.img, OUTDIR/NAME-refs.img and OUTDIR/NAME.json (what the
checks expect).
Usage: make-ntfs-real-volume.py OUTDIR NAME"""

import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "tools")]
from ntfs3g_mount import Ntfs3gMount  # noqa: E402
from testvol_helper import Ntfs  # noqa: E402

FILETIME_1970 = 116444736000000000

# utime's nanoseconds for the standard information of each file (FILETIMEs keep
# 100 ns): far from the creation time the file name keeps.
TIMES = {
    "Times/kept.txt": (1262349296_1234567_00, 1262349296_1234567_00),
    "Times/old1.txt": (1300000000_0000001_00, 1325419200_5000000_00),
    "Times/old2.txt": (1400000000_2500000_00, 1420070400_0000300_00),
    "Times/Gone/old3.txt": (1500000000_0000000_00, 1514764800_9999999_00),
}
FOLDER_TIME = (1600000000_0000000_00, 1577836800_7654321_00)  # Times/Gone


def filetime(ns):
    return ns // 100 + FILETIME_1970


class Records(Ntfs):
    """Reads and writes whole MFT records (fixed up) and raw clusters."""

    def __init__(self, path):
        super().__init__(path)
        self.w = open(path, "r+b")

    def offset(self, n):
        vcn, within = divmod(n * self.recsize, self.cluster)
        for start, lcn, length in self.mft_runs:
            if start <= vcn < start + length and lcn is not None:
                return (lcn + vcn - start) * self.cluster + within
        raise SystemExit("MFT record %d not mapped" % n)

    def raw(self, n):
        return bytearray(self.read_at(self.offset(n), self.recsize))

    def put(self, n, fixed):
        """Writes the fixed-up record `fixed` back with its update sequence."""
        rec = bytearray(fixed)
        usa_off, usa_cnt = struct.unpack_from("<HH", rec, 4)
        usn = rec[usa_off:usa_off + 2]
        for i in range(1, usa_cnt):
            end = i * self.bps - 2
            rec[usa_off + 2 * i:usa_off + 2 * i + 2] = rec[end:end + 2]
            rec[end:end + 2] = usn
        self.write_at(self.offset(n), rec)

    def allocate(self, clusters):
        """Marks `clusters` in use in $Bitmap (record 6)."""
        for c in clusters:
            vcn, bit = divmod(c, self.cluster * 8)
            lcn = next(lcn + vcn - start for start, lcn, length in self.data_runs(6) if start <= vcn < start + length)
            at = lcn * self.cluster + bit // 8
            byte = self.read_at(at, 1)[0] | 1 << (bit % 8)
            self.write_at(at, bytes([byte]))

    def write_at(self, off, data):
        self.w.seek(off)
        self.w.write(data)
        self.w.flush()


def data_attribute(rec):
    """Offset of the unnamed non-resident $DATA attribute of a fixed-up record."""
    off = struct.unpack_from("<H", rec, 0x14)[0]
    while off + 8 <= len(rec):
        atype, alen = struct.unpack_from("<II", rec, off)
        if atype == 0xFFFFFFFF or alen == 0:
            break
        if atype == 0x80 and rec[off + 9] == 0 and rec[off + 8] == 1:
            return off
        off += alen
    raise SystemExit("no non-resident data attribute")


def write_files(mnt):
    """Writes the files through ntfs-3g; gives their record numbers by path."""
    numbers = {}

    def make(path, data):
        full = os.path.join(mnt, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        numbers[path] = os.stat(full).st_ino

    for i, path in enumerate(TIMES):
        make(path, ("%s: a file whose times were set after it was made\n" % path).encode() * (3 + i))
    make("Valid/short.bin", bytes((i * 7 + 1) % 251 + 1 for i in range(65536)))
    make("Valid/part.bin", bytes((i * 13 + 5) % 241 + 1 for i in range(20000)))
    make("Refs/high.txt", b"a deleted file whose folder's record number needs more than 32 bits\n" * 4)
    make("Live/live.txt", b"a live file whose record has a copy in free space\n" * 40)
    make("Live/other.txt", b"a live file whose record's copy names another sequence\n" * 40)
    make("Live/far.txt", b"a live file whose record's copy names a record the MFT lacks\n" * 40)
    make("Live/renamed.txt", b"a live file whose record's copy holds the name it had before\n" * 40)
    make("Live/again.txt", b"a live file whose record's copy is of another file made earlier\n" * 40)
    numbers["Times/Gone"] = os.stat(os.path.join(mnt, "Times/Gone")).st_ino
    for path, (atime, mtime) in TIMES.items():
        os.utime(os.path.join(mnt, path), ns=(atime, mtime))
    return numbers


def main():
    out, name = sys.argv[1], sys.argv[2]
    img = os.path.join(out, name + ".img")
    with open(img, "wb") as f:
        f.truncate(64 << 20)
    mkntfs = ["mkntfs", "-F", "-q", "-Q", "-c", "4096", "-s", "512", "-p", "0", "-H", "1", "-S", "1", "-L", "REAL"]
    subprocess.run(mkntfs + [img], check=True, capture_output=True)
    with tempfile.TemporaryDirectory() as mnt:
        mount = Ntfs3gMount(img, mnt)
        mount.mount()
        try:
            numbers = write_files(mnt)
            st = {p: os.stat(os.path.join(mnt, p)) for p in numbers}
            # Deleted last: ntfs-3g would give a later file the lowest free record.
            for path in ("Times/old1.txt", "Times/old2.txt", "Times/Gone/old3.txt", "Valid/short.bin",
                         "Valid/part.bin", "Refs/high.txt"):
                os.remove(os.path.join(mnt, path))
            # A folder's times change as its files go: set once it is empty.
            gone = os.path.join(mnt, "Times/Gone")
            os.utime(gone, ns=FOLDER_TIME)
            st["Times/Gone"] = os.stat(gone)
            os.rmdir(gone)
        finally:
            mount.umount()

    vol = Records(img)
    # The initialized sizes of the two deleted files (data attribute + 0x38).
    initialized = {"Valid/short.bin": 0, "Valid/part.bin": 5000}
    for path, size in initialized.items():
        rec = bytearray(vol.record(numbers[path]))
        struct.pack_into("<Q", rec, data_attribute(rec) + 0x38, size)
        vol.put(numbers[path], rec)

    # Free clusters with 16 free ones either side, away from the deleted files'.
    taken = vol.allocated() | vol.clusters(numbers["Valid/short.bin"]) | vol.clusters(numbers["Valid/part.bin"])
    # The clusters past each file's initialized part taken by another file since
    # (here marked in use): what the file reads there is zeros all the same,
    # and its condition is that of its initialized part alone.
    for path, size in initialized.items():
        runs = sorted(vol.clusters(numbers[path]))
        vol.allocate(runs[-(-size // vol.cluster):])
    free = [c for c in range(16, (64 << 20) // vol.cluster - 16) if not taken & set(range(c - 16, c + 17))]
    copies = {}

    def copy_record(path, cluster, sequence=None, number=None, new_name=None, created=None):
        rec = vol.raw(numbers[path])
        if created is not None:
            # The first attribute is the standard information, its value in the first sector.
            si = struct.unpack_from("<H", rec, 0x14)[0]
            assert struct.unpack_from("<I", rec, si)[0] == 0x10
            struct.pack_into("<Q", rec, si + struct.unpack_from("<H", rec, si + 0x14)[0], created)
        if new_name is not None:
            # The name's UTF-16 in the first sector, as long as the one it replaces.
            old = os.path.basename(path).encode("utf-16-le")
            at = rec.index(old)
            assert at + len(old) < 510 and len(new_name) == len(os.path.basename(path))
            rec[at:at + len(old)] = new_name.encode("utf-16-le")
        if sequence is not None:
            struct.pack_into("<H", rec, 0x10, sequence)
        if number is not None:
            struct.pack_into("<I", rec, 0x2C, number)
        vol.write_at(cluster * vol.cluster, rec)
        copies[path] = {"cluster": cluster, "sequence": struct.unpack_from("<H", rec, 0x10)[0],
                        "number": struct.unpack_from("<I", rec, 0x2C)[0]}

    copy_record("Live/live.txt", free[0])
    copy_record("Live/other.txt", free[40], sequence=struct.unpack_from("<H", vol.raw(numbers["Live/other.txt"]),
                                                                         0x10)[0] + 7)
    copy_record("Live/far.txt", free[80], number=60000)
    # Same number and sequence, another name and creation time: a file of an
    # earlier volume (a format numbers records from 0 and sequences from 1 again).
    copy_record("Live/again.txt", free[120], new_name="early.txt", created=filetime(1234567890_0000000_00))
    # Another name, the same creation time: the live file before a rename.
    copy_record("Live/renamed.txt", free[160], new_name="earlier.txt")

    # NAME-refs.img: the same volume with a parent reference whose 48-bit
    # record number passes 32 bits, bytes 4-5 of the reference (the sequence
    # number follows in bytes 6-7). A snapshot cannot hold it.
    refs = os.path.join(out, name + "-refs.img")
    shutil.copyfile(img, refs)
    vol = Records(refs)
    rec = bytearray(vol.record(numbers["Refs/high.txt"]))
    off = struct.unpack_from("<H", rec, 0x14)[0]
    while struct.unpack_from("<I", rec, off)[0] != 0x30:
        off += struct.unpack_from("<I", rec, off + 4)[0]
    value = off + struct.unpack_from("<H", rec, off + 0x14)[0]
    struct.pack_into("<H", rec, value + 4, 1)
    vol.put(numbers["Refs/high.txt"], rec)
    high_parent = struct.unpack_from("<Q", rec, value)[0] & ((1 << 48) - 1)

    expect = {
        "records": numbers,
        "times": {p: {"accessed": filetime(a), "modified": filetime(m), "ctime": filetime(st[p].st_ctime_ns)}
                  for p, (a, m) in list(TIMES.items()) + [("Times/Gone", FOLDER_TIME)]},
        "initialized": initialized,
        "sizes": {"Valid/short.bin": 65536, "Valid/part.bin": 20000},
        "copies": copies,
        "highParent": high_parent,
    }
    with open(os.path.join(out, name + ".json"), "w") as f:
        json.dump(expect, f, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
