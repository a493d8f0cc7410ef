#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes two small volumes whose geometry is not the usual one, for the tests
of geometry read from the boot sector.

Usage: tests/disk/make-geometry-volumes.py OUTDIR

Writes, each with a manifest in the columns of tools/make-test-volumes.sh
(path type size sha256 state in_deleted_folder contiguous first_cluster notes;
contiguous and first_cluster are "-"):
  ntfs-4k.img     NTFS, 16 MiB, 4,096-byte sectors and clusters (so 4,096-byte
                  MFT records), made by mkntfs and written through ntfs-3g
  fat16-1fat.img  FAT16, 16 MiB, one FAT, 2 KiB clusters, made by mkfs.fat and
                  written with mtools
On each, a few files and a folder are written, then some files and the folder
are deleted. Nothing is written after the deletions, so every deleted file's
clusters and MFT record survive and a sound recovery gets all of them back.

Needs mkfs.fat and mtools; the NTFS volume needs root, /dev/fuse, mkntfs and
ntfs-3g, and is skipped with a message without them.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ntfs"))
from ntfs3g_mount import Ntfs3gMount  # noqa: E402

# path, size (None for a folder), deleted
PLAN = [
    ("Keep.txt", 700, False),
    ("Gone small.txt", 300, True),
    ("Gone big.bin", 23000, True),
    ("Folder", None, True),
    ("Folder/inside one.dat", 9000, True),
    ("Folder/inside two.txt", 1500, True),
    ("Gone last.bin", 5000, True),
    ("Kept big.bin", 12000, False),
]


def content(path, size):
    seed = hashlib.sha256(("geometry:" + path).encode("utf-8")).digest()
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(seed + counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:size])


def write_manifest(out, extra_notes):
    with open(out, "w", encoding="utf-8") as f:
        f.write("path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n")
        for path, size, deleted in PLAN:
            folder = size is None
            in_deleted = "yes" if "/" in path and path.split("/")[0] == "Folder" else "no"
            sha = "-" if folder else hashlib.sha256(content(path, size)).hexdigest()
            f.write("\t".join([path, "dir" if folder else "file", "-" if folder else str(size), sha,
                               "deleted" if deleted else "live", in_deleted, "-", "-",
                               extra_notes.get(path, "-")]) + "\n")


def make_fat(outdir, work):
    image = os.path.join(outdir, "fat16-1fat.img")
    if os.path.exists(image):
        os.remove(image)
    subprocess.run(["mkfs.fat", "-F", "16", "-f", "1", "-s", "4", "-S", "512", "-n", "ONEFAT", "-i", "1fa71fa7",
                    "--invariant", "-C", image, str(16 * 1024)], check=True, stdout=subprocess.DEVNULL)
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", SOURCE_DATE_EPOCH="1700000000", TZ="UTC")
    env.pop("MTOOLSRC", None)

    def mtool(*args):
        subprocess.run(list(args), check=True, env=env, stdout=subprocess.DEVNULL)

    for path, size, _ in PLAN:
        if size is None:
            mtool("mmd", "-i", image, "::/" + path)
        else:
            local = os.path.join(work, "f")
            with open(local, "wb") as f:
                f.write(content(path, size))
            mtool("mcopy", "-i", image, local, "::/" + path)
    for path, size, deleted in PLAN:
        if deleted and size is not None and not path.startswith("Folder/"):
            mtool("mdel", "-i", image, "::/" + path)
    mtool("mdeltree", "-i", image, "::/Folder")
    write_manifest(os.path.join(outdir, "fat16-1fat.manifest.tsv"), {})
    check = subprocess.run(["fsck.fat", "-n", image], capture_output=True, text=True)
    print("fat16-1fat: fsck.fat exit %d" % check.returncode, file=sys.stderr)


def make_ntfs(outdir):
    if not (os.path.exists("/dev/fuse") and shutil.which("mkntfs") and shutil.which("ntfs-3g")):
        print("ntfs-4k: skipped (needs /dev/fuse, mkntfs and ntfs-3g)", file=sys.stderr)
        return
    image = os.path.join(outdir, "ntfs-4k.img")
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(16 << 20)
    subprocess.run(["mkntfs", "-F", "-q", "-Q", "-s", "4096", "-c", "4096", "-p", "0", "-H", "1", "-S", "1",
                    "-L", "FOURK", image], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    notes = {}
    with tempfile.TemporaryDirectory() as mnt:
        v = Ntfs3gMount(image, mnt)
        try:
            v.mount()
            for path, size, _ in PLAN:
                full = os.path.join(mnt, path)
                if size is None:
                    os.mkdir(full)
                else:
                    with open(full, "wb") as f:
                        f.write(content(path, size))
                notes[path] = "mft=%d" % os.stat(full).st_ino
            for path, size, deleted in PLAN:
                if deleted and size is not None and not path.startswith("Folder/"):
                    os.remove(os.path.join(mnt, path))
            shutil.rmtree(os.path.join(mnt, "Folder"))
            v.umount()
        finally:
            v.umount()
    write_manifest(os.path.join(outdir, "ntfs-4k.manifest.tsv"), notes)
    check = subprocess.run(["ntfsfix", "-n", image], capture_output=True, text=True)
    last = check.stdout.strip().splitlines()[-1] if check.stdout.strip() else check.stderr.strip()
    print("ntfs-4k: " + last, file=sys.stderr)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make_fat(outdir, work)
    make_ntfs(outdir)


if __name__ == "__main__":
    main()
