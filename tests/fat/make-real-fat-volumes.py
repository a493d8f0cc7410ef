#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes small FAT16 volumes that hold the structures everyday use and damage
leave behind, which a freshly written test volume never has.

Usage: tests/fat/make-real-fat-volumes.py OUTDIR

Writes (each made by mkfs.fat and mtools; bytes that no tool writes are patched
in afterwards, as noted):
  fat-moved.img         folders moved with mmove: the old entry is marked
                        deleted and a new live entry in another folder names
                        the same first cluster. /test/1/11 moved to /test/2/11
                        (it holds a live 1.txt and a deleted gone.txt), and
                        /keep/sub moved to the root as /sub.
  fat-loops.img         a live file whose chain runs back to its first cluster
                        (loop.txt: 8 clusters long, its fifth cluster pointing
                        at its first),
                        a live file that runs into another file's chain
                        (cross.txt), and a folder /a/b holding an entry "up"
                        that names /a's first cluster (a folder loop).
  fat-deleted-dirs.img  two deleted folders of many entries: /split, whose
                        clusters are 2, 4, 5 and 6 (cluster 3 held a file,
                        deleted too), and /chained, whose chain was left in
                        the FAT when it was deleted (as some systems do) and
                        whose clusters are not consecutive.
  fat-cleared.img       a live file whose chain was cleared from the FAT (its
                        clusters read as free, its entry is intact), beside a
                        deleted text file.
  exfat-moved.img       exFAT through exfat-fuse (root): /test/1/11 moved to
                        /test/2/11, holding a live 1.txt and a deleted gone.txt.
Each image gets IMAGE.expect.tsv: path, state (live|deleted), sha256 ("-" for
folders), as the volume's own structures say.

Needs mkfs.fat and mtools (mmd, mcopy, mdel, mdeltree, mmove).
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

EPOCH = "1700000000"
CLUSTER = 2048  # -s 4 with 512-byte sectors


def content(tag, size):
    seed = hashlib.sha256(("realfat:" + tag).encode("utf-8")).digest()
    out = bytearray()
    counter = 0
    while len(out) < size:
        block = hashlib.sha256(seed + counter.to_bytes(8, "little")).hexdigest()
        out += (block + "\n").encode("ascii")
        counter += 1
    return bytes(out[:size])


class Image:
    def __init__(self, path, megabytes=16):
        self.path = path
        self.env = dict(os.environ, SOURCE_DATE_EPOCH=EPOCH, MTOOLS_SKIP_CHECK="1", TZ="UTC")
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["mkfs.fat", "-F", "16", "-s", "4", "-n", "REALFAT", "--invariant", "-C", path,
                        str(megabytes * 1024)], check=True, stdout=subprocess.DEVNULL, env=self.env)
        self.tmp = tempfile.mkdtemp()
        self.expect = []

    def mt(self, *args):
        subprocess.run([args[0], "-i", self.path, *args[1:]], check=True, env=self.env,
                       stdout=subprocess.DEVNULL)

    def mkdir(self, *paths):
        for p in paths:
            self.mt("mmd", "::/" + p)

    def put(self, path, data):
        local = os.path.join(self.tmp, "f")
        with open(local, "wb") as f:
            f.write(data)
        self.mt("mcopy", "-o", local, "::/" + path)

    # --- the boot sector's geometry, for patching
    def geometry(self):
        with open(self.path, "rb") as f:
            boot = f.read(512)
        bps, spc, reserved, fats, root_entries = struct.unpack_from("<HBHBH", boot, 11)
        fat_sectors = struct.unpack_from("<H", boot, 22)[0]
        root_sectors = (root_entries * 32 + bps - 1) // bps
        first_fat = reserved * bps
        data = (reserved + fats * fat_sectors + root_sectors) * bps
        root = (reserved + fats * fat_sectors) * bps
        return dict(bps=bps, cluster=bps * spc, fats=fats, fat_bytes=fat_sectors * bps, first_fat=first_fat,
                    data=data, root=root)

    def fat(self, cluster, value=None):
        g = self.geometry()
        with open(self.path, "r+b") as f:
            if value is None:
                f.seek(g["first_fat"] + cluster * 2)
                return struct.unpack("<H", f.read(2))[0]
            for k in range(g["fats"]):
                f.seek(g["first_fat"] + k * g["fat_bytes"] + cluster * 2)
                f.write(struct.pack("<H", value))
        return value

    def chain(self, first):
        out = []
        c = first
        while 2 <= c < 0xFFF0 and c not in out:
            out.append(c)
            c = self.fat(c)
        return out

    def entries(self, folder_cluster):
        """(offset in image, raw 32 bytes) of each short entry in a folder's
        first cluster (0: the root directory)."""
        g = self.geometry()
        start = g["root"] if folder_cluster == 0 else g["data"] + (folder_cluster - 2) * g["cluster"]
        size = g["data"] - g["root"] if folder_cluster == 0 else g["cluster"]
        with open(self.path, "rb") as f:
            f.seek(start)
            raw = f.read(size)
        out = []
        for i in range(0, size, 32):
            e = raw[i:i + 32]
            if e[0] == 0:
                break
            if e[11] == 0x0F:
                continue
            out.append((start + i, e))
        return out

    def find(self, folder_cluster, short):
        for off, e in self.entries(folder_cluster):
            if e[0:11] == short:
                return off, struct.unpack_from("<H", e, 26)[0], struct.unpack_from("<I", e, 28)[0]
        raise SystemExit("make-real-fat-volumes: %r not found" % short)

    def write_at(self, offset, data):
        with open(self.path, "r+b") as f:
            f.seek(offset)
            f.write(data)

    def note(self, path, state, data=None):
        self.expect.append((path, state, "-" if data is None else hashlib.sha256(data).hexdigest()))

    def finish(self):
        shutil.rmtree(self.tmp, ignore_errors=True)
        with open(self.path[:-4] + ".expect.tsv", "w", encoding="utf-8") as f:
            f.write("path\tstate\tsha256\n")
            for row in self.expect:
                f.write("\t".join(row) + "\n")


def short11(name):
    base, _, ext = name.upper().partition(".")
    return (base.ljust(8) + ext.ljust(3)).encode("ascii")


def make_moved(out):
    img = Image(os.path.join(out, "fat-moved.img"))
    img.mkdir("test", "test/1", "test/2", "test/1/11", "keep", "keep/sub")
    one = content("moved/1.txt", 3000)
    gone = content("moved/gone.txt", 5000)
    deep = content("moved/deep.bin", 4100)
    img.put("test/1/11/1.txt", one)
    img.put("test/1/11/gone.txt", gone)
    img.put("keep/sub/deep.bin", deep)
    img.put("test/2/other.txt", content("moved/other.txt", 700))
    img.mt("mdel", "::/test/1/11/gone.txt")
    img.mt("mmove", "::/test/1/11", "::/test/2/11")
    img.mt("mmove", "::/keep/sub", "::/sub")
    img.note("test/2/11", "live")
    img.note("test/2/11/1.txt", "live", one)
    img.note("test/2/11/_one.txt", "deleted", gone)
    img.note("sub/deep.bin", "live", deep)
    img.note("test/1/_1", "moved")
    img.note("keep/_ub", "moved")
    img.finish()


def make_loops(out):
    img = Image(os.path.join(out, "fat-loops.img"))
    img.mkdir("a", "a/b")
    loop = content("loops/loop.txt", 8 * CLUSTER)
    img.put("loop.txt", loop)
    img.put("cross.txt", content("loops/cross.txt", 3 * CLUSTER))
    img.put("a/b/inner.txt", content("loops/inner.txt", 100))
    g = img.geometry()
    _, loop_first, _ = img.find(0, short11("loop.txt"))
    chain = img.chain(loop_first)
    assert len(chain) == 8, chain
    img.fat(chain[4], chain[0])  # the fifth cluster points back at the first
    _, cross_first, _ = img.find(0, short11("cross.txt"))
    cross = img.chain(cross_first)
    img.fat(cross[-1], chain[2])  # cross.txt runs on into loop.txt's chain
    # /a/b gets an entry "up" that names /a's first cluster.
    _, a_first, _ = img.find(0, short11("a"))
    _, b_first, _ = img.find(a_first, short11("b"))
    entries = img.entries(b_first)
    last_off = entries[-1][0]
    up = bytearray(entries[-1][1])
    up[0:11] = short11("up")
    up[11] = 0x10
    struct.pack_into("<H", up, 26, a_first)
    struct.pack_into("<I", up, 28, 0)
    img.write_at(last_off + 32, bytes(up))
    del g
    img.note("loop.txt", "live")
    img.note("a/b/inner.txt", "live", content("loops/inner.txt", 100))
    img.finish()


def make_deleted_dirs(out):
    img = Image(os.path.join(out, "fat-deleted-dirs.img"))
    # /split: 62 empty files fill its first cluster (64 slots less "." and "..");
    # a file then takes the next cluster, and 190 more names grow the folder
    # past it. Empty files have no clusters, so the folder's are 2, 4, 5, 6.
    empty = os.path.join(img.tmp, "empty")
    open(empty, "wb").close()

    def split_folder(folder, prefix, count, between):
        """A folder of `count` empty files whose first cluster fills before the
        file `between` takes the next cluster: its chain, read before deletion."""
        img.mkdir(folder)
        names = ["%s%05d.TXT" % (prefix, i) for i in range(count)]
        for n in names[:62]:
            img.mt("mcopy", empty, "::/%s/%s" % (folder, n))
        img.put(between, content("dirs/" + between, CLUSTER))
        for n in names[62:]:
            img.mt("mcopy", empty, "::/%s/%s" % (folder, n))
        _, first, _ = img.find(0, short11(folder))
        return names, img.chain(first)

    names, split_chain = split_folder("split", "S", 252, "between.bin")
    # /chained: the same shape, its chain restored after deletion.
    cnames, chained = split_folder("chained", "C", 400, "apart.bin")
    img.mt("mdel", "::/between.bin")
    img.mt("mdeltree", "::/split")
    img.mt("mdeltree", "::/chained")
    for a, b in zip(chained, chained[1:]):
        img.fat(a, b)
    img.fat(chained[-1], 0xFFFF)
    img.note("_plit", "deleted")
    for n in names:
        img.note("_plit/_" + n[1:], "deleted", b"")
    img.note("_hained", "deleted")
    for n in cnames:
        img.note("_hained/_" + n[1:], "deleted", b"")
    img.finish()
    return split_chain, chained


def make_cleared(out):
    img = Image(os.path.join(out, "fat-cleared.img"))
    kept = content("cleared/kept.txt", 6 * CLUSTER + 100)
    gone = content("cleared/gone.txt", 2 * CLUSTER + 7)
    img.put("kept.txt", kept)
    img.put("gone.txt", gone)
    _, first, _ = img.find(0, short11("kept.txt"))
    for c in img.chain(first):
        img.fat(c, 0)
    img.mt("mdel", "::/gone.txt")
    img.note("kept.txt", "live", kept)
    img.note("_one.txt", "deleted", gone)
    img.finish()


def make_exfat_moved(out):
    """exfat-moved.img: /test/1/11 moved to /test/2/11 through exfat-fuse
    (mkfs.exfat, a loop device; root). Skipped with a message without them."""
    path = os.path.join(out, "exfat-moved.img")
    tools = ("mkfs.exfat", "mount.exfat-fuse", "losetup")
    if os.geteuid() != 0 or not os.path.exists("/dev/fuse") or any(shutil.which(t) is None for t in tools):
        sys.stderr.write("make-real-fat-volumes: exfat-moved.img skipped (needs root, /dev/fuse, exfat-fuse)\n")
        return
    with open(path, "wb") as f:
        f.truncate(8 << 20)
    subprocess.run(["mkfs.exfat", path], check=True, stdout=subprocess.DEVNULL)
    loop = subprocess.run(["losetup", "-f", "--show", path], check=True, capture_output=True,
                          text=True).stdout.strip()
    mnt = tempfile.mkdtemp()
    try:
        subprocess.run(["mount.exfat-fuse", loop, mnt], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        try:
            os.makedirs(os.path.join(mnt, "test/1/11"))
            os.makedirs(os.path.join(mnt, "test/2"))
            one = content("exfat-moved/1.txt", 5000)
            gone = content("exfat-moved/gone.txt", 3000)
            for name, data in (("1.txt", one), ("gone.txt", gone)):
                with open(os.path.join(mnt, "test/1/11", name), "wb") as f:
                    f.write(data)
            os.remove(os.path.join(mnt, "test/1/11/gone.txt"))
            os.rename(os.path.join(mnt, "test/1/11"), os.path.join(mnt, "test/2/11"))
        finally:
            subprocess.run(["umount", mnt], check=True)
    finally:
        subprocess.run(["losetup", "-d", loop], check=False)
        os.rmdir(mnt)
    with open(path[:-4] + ".expect.tsv", "w", encoding="utf-8") as f:
        f.write("path\tstate\tsha256\n")
        f.write("test/2/11\tlive\t-\n")
        f.write("test/2/11/1.txt\tlive\t%s\n" % hashlib.sha256(one).hexdigest())
        f.write("test/2/11/gone.txt\tdeleted\t%s\n" % hashlib.sha256(gone).hexdigest())
        f.write("test/1/11\tmoved\t-\n")


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for tool in ("mkfs.fat", "mmove", "mdeltree"):
        if shutil.which(tool) is None:
            sys.stderr.write("make-real-fat-volumes: %s is missing, nothing made\n" % tool)
            return 0
    make_moved(out)
    make_loops(out)
    split_chain, chained = make_deleted_dirs(out)
    print("split folder clusters", split_chain, "chained folder clusters", chained)
    make_cleared(out)
    make_exfat_moved(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
