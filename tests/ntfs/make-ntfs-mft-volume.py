#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes an NTFS volume whose MFT is spread over many runs, for the NTFS scan's
tests and for timing the scan of a large MFT.

Usage: tests/ntfs/make-ntfs-mft-volume.py OUTDIR [FILES]

Writes OUTDIR/ntfs-mft.img (mkntfs, then written through ntfs-3g) and
OUTDIR/ntfs-mft.manifest.tsv in the columns of tools/make-test-volumes.sh:
path type size sha256 state in_deleted_folder contiguous first_cluster notes
(contiguous and first_cluster are "-"; notes hold mft=N and mft_record_reused).

FILES (default 50000) small files go into folders of 1000, one in ten of them
not resident, on a volume barely larger than the MFT and the data, so that the
MFT, which ntfs-3g extends a little at a time, ends up in many runs and record
0 needs an attribute list.
Then every seventh file and one whole folder are deleted. A folder "Gone" made
first is deleted with its files, and after a remount a new file takes its MFT
record (ntfs-3g hands out the lowest free record after a mount), so its files'
parent is no longer a folder.

Needs root, /dev/fuse, mkntfs and ntfs-3g. Takes a minute or two for 50000 files.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ntfs3g_mount import Ntfs3gMount  # noqa: E402

BATCH = 1000


def content(path, size):
    seed = hashlib.sha256(path.encode("utf-8")).digest()
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(seed + counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:size])


class Volume(Ntfs3gMount):
    def __init__(self, image, mnt):
        super().__init__(image, mnt, "no_detach")
        self.rows = {}  # path -> dict
        self.order = []

    def add(self, path, kind, size=0):
        full = os.path.join(self.mnt, path)
        if kind == "dir":
            os.mkdir(full)
            sha = "-"
        else:
            data = content(path, size)
            with open(full, "wb") as f:
                f.write(data)
            sha = hashlib.sha256(data).hexdigest()
        self.rows[path] = {"type": kind, "size": size if kind == "file" else "-", "sha": sha,
                           "state": "live", "mft": os.stat(full).st_ino, "made": len(self.order)}
        self.order.append(path)

    def delete(self, path):
        full = os.path.join(self.mnt, path)
        if self.rows[path]["type"] == "dir":
            for p in self.order:
                if p.startswith(path + "/"):
                    self.rows[p]["state"] = "deleted"
            shutil.rmtree(full)
        else:
            os.remove(full)
        self.rows[path]["state"] = "deleted"
        self.rows[path]["deleted_at"] = len(self.order)

    def manifest(self, out):
        with open(out, "w", encoding="utf-8") as f:
            f.write("path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n")
            for p in self.order:
                r = self.rows[p]
                parts = p.split("/")
                indel = any(self.rows["/".join(parts[:i])]["state"] == "deleted" for i in range(1, len(parts)))
                notes = ["mft=%d" % r["mft"]]
                if r["state"] == "deleted" and any(
                        q["mft"] == r["mft"] and q["made"] >= r.get("deleted_at", 1 << 62) for q in self.rows.values()):
                    notes.append("mft_record_reused")
                f.write("\t".join([p, r["type"], str(r["size"]), r["sha"], r["state"], "yes" if indel else "no",
                                   "-", "-", " ".join(notes)]) + "\n")


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    outdir = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) == 3 else 50000
    os.makedirs(outdir, exist_ok=True)
    image = os.path.join(outdir, "ntfs-mft.img")
    # Small enough that the MFT outgrows the zone mkntfs reserves for it and
    # then grows among the data.
    mib = 32 + files * 3 // 2000
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(mib << 20)
    subprocess.run(["mkntfs", "-F", "-q", "-Q", "-c", "4096", "-s", "512", "-p", "0", "-H", "1", "-S", "1",
                    "-L", "MFTRUNS", image], check=True, stdout=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as mnt:
        v = Volume(image, mnt)
        try:
            v.mount()
            v.add("Gone", "dir")
            v.add("Gone/first child.txt", "file", 300)
            v.add("Gone/second child.bin", "file", 9000)
            batches = (files + BATCH - 1) // BATCH
            made = 0
            for b in range(batches):
                folder = "Batch %02d" % b
                v.add(folder, "dir")
                for i in range(min(BATCH, files - made)):
                    # Mostly resident files; every tenth one takes a cluster, so
                    # that the MFT's growth is interleaved with data.
                    size = 100 + (i * 37) % 600 if i % 10 else 2000 + i % 2000
                    v.add("%s/file %05d.txt" % (folder, made), "file", size)
                    made += 1
            for p in list(v.order):
                r = v.rows[p]
                if r["type"] == "file" and p.startswith("Batch") and int(p[-9:-4]) % 7 == 3:
                    v.delete(p)
            if batches > 2:
                v.delete("Batch 02")
            v.delete("Gone")
            v.umount()
            v.mount()
            v.add("Reuser.txt", "file", 50)
            v.umount()
        finally:
            v.umount()
        v.manifest(os.path.join(outdir, "ntfs-mft.manifest.tsv"))
    check = subprocess.run(["ntfsfix", "-n", image], capture_output=True, text=True)
    print(check.stdout.strip().splitlines()[-1] if check.stdout.strip() else check.stderr, file=sys.stderr)
    gone = v.rows["Gone"]["mft"]
    print("ntfs-mft: %d files, Gone was record %d, Reuser.txt is record %d" %
          (files, gone, v.rows["Reuser.txt"]["mft"]), file=sys.stderr)


if __name__ == "__main__":
    main()
