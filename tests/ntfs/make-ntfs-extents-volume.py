#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a small NTFS volume whose deleted files keep their data attribute in
several MFT records, for the thorough mode's recovery through attribute lists.

Usage: tests/ntfs/make-ntfs-extents-volume.py OUTDIR

Writes OUTDIR/ntfs-extents.img (mkntfs with 512-byte clusters, then written
through ntfs-3g) and OUTDIR/ntfs-extents.manifest.tsv in the columns of
tools/make-test-volumes.sh: path type size sha256 state in_deleted_folder
contiguous first_cluster notes (notes hold mft=N, extents=N for the records
that hold pieces of the file's unnamed data attribute, and mft_record_reused
when a later file took the file's own record or one of those).

What ntfs-3g writes here (512-byte clusters keep the volume small):
- Sparse.bin: data in every second cluster, the rest holes, so the data lies
  in 2600 clusters apart from one another. Its thousands of runs make ntfs-3g
  split the data attribute over 15 records; the attribute list outgrows the
  record and becomes non-resident, and the file name moves to an extension record.
- Comb.bin: the same with data in every third cluster, over 6 records.
- Packed/Text.txt: 3 MiB of compressible text in a compressed folder, one data
  run and one sparse run per 16-cluster compression unit, over 3 records.
- Small.txt and Whole.bin, deleted, and Live.bin, kept, for comparison.

What ntfs-3g does when it deletes such a file: it removes the file name from
its extension record (no scan can name the file afterwards) and shrinks the
non-resident attribute list by that entry without rewriting the list's
clusters, so the last entry lies past the list's size. The data extents and
the extension records' base references stay.

Attempts to fragment a plain file here failed: ntfs-3g answers "no space"
rather than write into free space cut into one- or two-cluster holes.

Needs root, /dev/fuse, mkntfs and ntfs-3g (setfattr from attr for the
compressed folder). Takes about two seconds.
"""
import hashlib
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ntfs3g_mount import Ntfs3gMount  # noqa: E402

CLUSTER = 512


def content(path, size, text=False):
    """Deterministic bytes for `path`: random-looking, or text that LZNT1 packs to about a third."""
    seed = hashlib.sha256(path.encode("utf-8")).digest()
    out = bytearray()
    counter = 0
    words = [b"alpha ", b"beta ", b"gamma ", b"delta ", b"record ", b"extent ", b"cluster ", b"volume "]
    while len(out) < size:
        block = hashlib.sha256(seed + counter.to_bytes(8, "little")).digest()
        if text:
            for b in block:
                out += words[b % len(words)]
                if b % 13 == 0:
                    out += b"%d\n" % (counter * 32 + b)
        else:
            out += block
        counter += 1
    return bytes(out[:size])


class Volume(Ntfs3gMount):
    def __init__(self, image, mnt):
        super().__init__(image, mnt, "no_detach,compression")
        self.rows = {}
        self.order = []

    def full(self, path):
        return os.path.join(self.mnt, path)

    def note(self, path, data):
        self.rows[path] = {"type": "file", "size": len(data), "sha": hashlib.sha256(data).hexdigest(),
                           "state": "live", "mft": os.stat(self.full(path)).st_ino, "made": len(self.order)}
        self.order.append(path)

    def add_dir(self, path):
        os.mkdir(self.full(path))
        self.rows[path] = {"type": "dir", "size": "-", "sha": "-", "state": "live",
                           "mft": os.stat(self.full(path)).st_ino, "made": len(self.order)}
        self.order.append(path)

    def add(self, path, data):
        with open(self.full(path), "wb") as f:
            f.write(data)
        self.note(path, data)

    def add_sparse(self, path, pieces, step):
        """`pieces` clusters of data, each `step` clusters after the last, holes between."""
        size = ((pieces - 1) * step + 1) * CLUSTER
        data = bytearray(size)
        chunk = content(path, pieces * CLUSTER)
        fd = os.open(self.full(path), os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            for i in range(pieces):
                piece = chunk[i * CLUSTER:(i + 1) * CLUSTER]
                os.pwrite(fd, piece, i * step * CLUSTER)
                data[i * step * CLUSTER:i * step * CLUSTER + CLUSTER] = piece
        finally:
            os.close(fd)
        self.note(path, bytes(data))

    def delete(self, path):
        os.remove(self.full(path))
        self.rows[path]["state"] = "deleted"
        self.rows[path]["deleted_at"] = len(self.order)

    def extents(self, path):
        """Records that hold pieces of the unnamed data attribute, from ntfsinfo."""
        out = subprocess.run(["ntfsinfo", "-F", "/" + path, self.image], capture_output=True, text=True).stdout
        return {int(line.split("from mft record")[1].split()[0]) for line in out.splitlines()
                if line.startswith("Dumping attribute $DATA") and "from mft record" in line}

    def manifest(self, out, extents):
        with open(out, "w", encoding="utf-8") as f:
            f.write("path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n")
            for p in self.order:
                r = self.rows[p]
                notes = ["mft=%d" % r["mft"]]
                held = extents.get(p, set())
                if len(held) > 1:
                    notes.append("extents=%d" % len(held))
                mine = held | {r["mft"]}
                if r["state"] == "deleted" and any(
                        q["mft"] in mine and q["made"] >= r["deleted_at"] for q in self.rows.values()):
                    notes.append("mft_record_reused")
                f.write("\t".join([p, r["type"], str(r["size"]), r["sha"], r["state"], "no", "-", "-",
                                   " ".join(notes)]) + "\n")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    image = os.path.join(outdir, "ntfs-extents.img")
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(24 << 20)
    subprocess.run(["mkntfs", "-F", "-q", "-Q", "-c", str(CLUSTER), "-s", "512", "-p", "0", "-H", "1", "-S", "1",
                    "-L", "EXTENTS", image], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    extents = {}
    with tempfile.TemporaryDirectory() as mnt:
        v = Volume(image, mnt)
        try:
            v.mount()
            v.add("Small.txt", content("Small.txt", 300))
            v.add("Whole.bin", content("Whole.bin", 40000))
            v.add_dir("Packed")
            subprocess.run(["setfattr", "-n", "system.ntfs_attrib_be", "-v", "0x00000810", v.full("Packed")],
                           check=True)
            v.add("Packed/Text.txt", content("Packed/Text.txt", 3 << 20, text=True))
            v.add_sparse("Sparse.bin", 2600, 2)
            v.add_sparse("Comb.bin", 900, 3)
            v.add("Live.bin", content("Live.bin", 5000))
            v.umount()
            for path in ("Sparse.bin", "Comb.bin", "Packed/Text.txt"):
                extents[path] = v.extents(path)
            v.mount()
            # Deleted last: ntfs-3g hands the lowest free record to the next
            # new file, which would take one of theirs.
            for path in ("Small.txt", "Whole.bin", "Packed/Text.txt", "Sparse.bin", "Comb.bin"):
                v.delete(path)
            v.umount()
        finally:
            v.umount()
        v.manifest(os.path.join(outdir, "ntfs-extents.manifest.tsv"), extents)
    check = subprocess.run(["ntfsfix", "-n", image], capture_output=True, text=True)
    print(check.stdout.strip().splitlines()[-1] if check.stdout.strip() else check.stderr, file=sys.stderr)
    for path in ("Sparse.bin", "Comb.bin", "Packed/Text.txt"):
        print("ntfs-extents: %s record %d, data in records %s" %
              (path, v.rows[path]["mft"], sorted(extents[path])), file=sys.stderr)


if __name__ == "__main__":
    main()
