#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the carving test volumes:

  card-fat32.img  FAT32 card, 40 MiB, 512-byte clusters: photos, a camera raw, a
                  clip, documents, archives and a database written with mtools into
                  folders, then quick-formatted (mkfs.fat again: new FATs and root,
                  data area untouched). After the format the folder Pictures' own
                  cluster is overwritten by hand with random bytes, and a new live
                  file NEW.TXT is written (it takes the clusters right after the
                  root: the folder Documents' cluster and the start of its first file).
  card-exfat.img  (kind "exfat") exFAT card, 40 MiB, 4 KiB clusters: the same kind
                  of files written through mount.exfat-fuse over a loop device
                  (root and /dev/fuse; without them it is skipped with a message),
                  then quick-formatted with mkfs.exfat (new bitmap, up-case table
                  and root; the rest of the heap untouched), the folder Pictures'
                  cluster overwritten by hand and NEW.TXT written after the format.
  raw-carve.img   8 MiB of bytes with no file system: files at sector boundaries
                  between runs of random bytes and zeros; one JPEG, one PNG and one
                  ZIP cut by foreign sectors in their middle (fragmented).
  bench-card.img  (kind "bench SIZE_MIB" only) a card of SIZE_MIB MiB, 4 KiB
                  clusters, filled the same way and formatted, for bench/.

Each IMAGE.img comes with IMAGE.manifest.tsv, in the columns of the other test
volumes: path type size sha256 state in_deleted_folder contiguous first_cluster notes.
state is "formatted" (listed before the format only) or "live". first_cluster is
the file's first cluster (card) or 512-byte sector (raw image). notes:
  carve=whole       carving must give back these bytes exactly
  carve=lost        some of its clusters were overwritten after the format
  carve=incomplete  cut by foreign sectors: carving must list it as incomplete,
                    its first intact=N bytes equal to the file's
  join=whole        (with carve=incomplete) `sarvik carve`, which joins a JPEG
                    whose data breaks off with the units a few further on,
                    gives it back whole from its two pieces
  ext=EXT           the extension carving names it by

Usage: make-carve-volumes.py OUTDIR [card|exfat|raw|bench SIZE_MIB]...
Reproducible: a seeded generator, SOURCE_DATE_EPOCH for mtools, mkfs.fat --invariant.
"""

import hashlib
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import carve_files as cf  # noqa: E402

ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8", TZ="UTC")
ENV.pop("MTOOLSRC", None)
HEADER = "path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n"


def run(*args):
    subprocess.run(args, check=True, env=ENV, stdout=subprocess.DEVNULL)


def card_files(rng, scale=1):
    """(folder, name, bytes, ext) of a camera card's worth of files."""
    files = []
    for i in range(3 * scale):
        files.append(("Documents", f"REPORT{i}.PDF", cf.pdf(rng, rng.randint(2, 12), update=i % 2 == 0), "pdf"))
    files.append(("Documents", "LETTER.DOCX", cf.docx(rng), "docx"))
    for i in range(2 * scale):
        files.append(("Documents", f"ARCHIVE{i}.ZIP", cf.zip_archive(rng, rng.randint(3, 8)), "zip"))
    for i in range(14 * scale):
        files.append(("DCIM/100VLMRA", f"IMG_{i + 1:04d}.JPG", cf.jpeg(rng, rng.randint(20000, 160000)), "jpg"))
    files.append(("DCIM/100VLMRA", "IMG_0100.CR2", cf.tiff_raw(rng, 90000, canon=True), "cr2"))
    files.append(("DCIM/100VLMRA", "IMG_0101.TIF", cf.tiff_raw(rng, 40000), "tif"))
    for i in range(scale):
        files.append(("DCIM/100VLMRA", f"MVI_{i + 1:04d}.MP4", cf.mp4(rng, rng.randint(200000, 400000)), "mp4"))
        files.append(("DCIM/100VLMRA", f"MVI_{i + 1:04d}.MOV", cf.mp4(rng, rng.randint(100000, 200000), b"qt  "), "mov"))
    for i in range(4 * scale):
        files.append(("Pictures", f"DRAW{i}.PNG", cf.png(rng, rng.randint(40, 160), rng.randint(40, 120)), "png"))
    for i in range(2 * scale):
        files.append(("Pictures", f"ANIM{i}.GIF", cf.gif(rng, rng.randint(30, 90), rng.randint(30, 90)), "gif"))
    files.append(("", "PHOTOS.DB", cf.sqlite_db(rng, 400 * scale), "sqlite"))
    return files


def showfat(img, path):
    out = subprocess.run(["mshowfat", "-i", img, "::/" + path], check=True, env=ENV, capture_output=True,
                         text=True).stdout
    clusters = []
    for a, b in re.findall(r"<(\d+)(?:-(\d+))?>", out):
        clusters.extend(range(int(a), int(b or a) + 1))
    return clusters


def boot_geometry(img):
    with open(img, "rb") as f:
        boot = f.read(512)
    bps, spc, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
    fat_size = struct.unpack_from("<I", boot, 36)[0]
    data = (reserved + fats * fat_size) * bps
    return lambda c: data + (c - 2) * spc * bps, spc * bps


def row(path, data, state, first, notes):
    return f"{path}\tfile\t{len(data)}\t{hashlib.sha256(data).hexdigest()}\t{state}\t-\tyes\t{first}\t{notes}\n"


def make_card(outdir, name, size_mib, spc, scale, seed):
    rng = random.Random(seed)
    img = os.path.join(outdir, name + ".img")
    files = card_files(rng, scale)
    if os.path.exists(img):
        os.remove(img)
    with open(img, "wb") as f:
        f.truncate(size_mib << 20)
    mkfs = ["mkfs.fat", "-F", "32", "-s", str(spc), "-n", "CARD", "-i", "ca4d0023", "--invariant", img]
    run(*mkfs)
    tmp = img + ".files"
    os.makedirs(tmp, exist_ok=True)
    made = set()
    clusters = {}
    for folder, fname, data, _ in files:
        parts = folder.split("/") if folder else []
        for i in range(len(parts)):
            sub = "/".join(parts[: i + 1])
            if sub not in made:
                run("mmd", "-i", img, "::/" + sub)
                made.add(sub)
        local = os.path.join(tmp, fname)
        with open(local, "wb") as f:
            f.write(data)
        target = "::/" + (folder + "/" if folder else "") + fname
        run("mcopy", "-i", img, local, target)
        os.remove(local)
        clusters[(folder, fname)] = showfat(img, target[3:])
    folder_cluster = {sub: showfat(img, sub)[0] for sub in made}
    os.rmdir(tmp)

    # The quick format: new boot sector, FATs and root; the data area stays.
    run(*mkfs)
    cluster_at, cluster_bytes = boot_geometry(img)
    lost = {folder_cluster["Pictures"]}
    with open(img, "r+b") as f:
        f.seek(cluster_at(folder_cluster["Pictures"]))
        f.write(rng.randbytes(cluster_bytes))
    # A file written after the format (a new photo, say) takes the first free clusters.
    new_text = b"".join(b"written after the format, line %d\n" % i for i in range(2 * cluster_bytes // 30 + 1))
    local = img + ".new"
    with open(local, "wb") as f:
        f.write(new_text)
    run("mcopy", "-i", img, local, "::/NEW.TXT")
    os.remove(local)
    new_clusters = showfat(img, "NEW.TXT")
    lost.update(new_clusters)

    with open(os.path.join(outdir, name + ".manifest.tsv"), "w") as m:
        m.write(HEADER)
        m.write(row("NEW.TXT", new_text, "live", new_clusters[0], "carve=none"))
        for folder, fname, data, ext in files:
            cl = clusters[(folder, fname)]
            contiguous = cl == list(range(cl[0], cl[0] + len(cl)))
            state = "carve=lost" if lost & set(cl) else "carve=whole" if contiguous else "carve=fragmented"
            path = (folder + "/" if folder else "") + fname
            m.write(row(path, data, "formatted", cl[0], f"{state} ext={ext}"))
        for sub in sorted(made):
            note = "folder=overwritten" if folder_cluster[sub] in lost else "folder=orphan"
            m.write(f"{sub}\tfolder\t0\t-\tformatted\t-\t-\t{folder_cluster[sub]}\t{note}\n")
    subprocess.run(["fsck.fat", "-n", img], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class ExfatImage:
    """The live entries of an exFAT image, read the way the format lays them out."""

    def __init__(self, img):
        with open(img, "rb") as f:
            self.data = f.read()
        b = self.data
        self.fat_at = struct.unpack_from("<I", b, 80)[0] << b[108]
        self.heap_at = struct.unpack_from("<I", b, 88)[0] << b[108]
        self.cluster_bytes = 1 << (b[108] + b[109])
        self.root = struct.unpack_from("<I", b, 96)[0]

    def cluster_at(self, c):
        return self.heap_at + (c - 2) * self.cluster_bytes

    def chain(self, first, length, no_fat_chain):
        n = max(1, -(-length // self.cluster_bytes))
        if no_fat_chain:
            return list(range(first, first + n))
        out = [first]
        while len(out) < n:
            nxt = struct.unpack_from("<I", self.data, self.fat_at + 4 * out[-1])[0]
            if nxt < 2 or nxt >= 0xFFFFFFF7:
                break
            out.append(nxt)
        return out

    def entries(self, clusters):
        """(name, is_folder, clusters) of the live entry sets in a folder's clusters."""
        raw = b"".join(self.data[self.cluster_at(c):self.cluster_at(c) + self.cluster_bytes] for c in clusters)
        out = []
        for at in range(0, len(raw), 32):
            if raw[at] != 0x85:
                continue
            count, attributes = raw[at + 1], struct.unpack_from("<H", raw, at + 4)[0]
            stream = at + 32
            flags, name_length = raw[stream + 1], raw[stream + 3]
            first, length = struct.unpack_from("<IQ", raw, stream + 20)
            name = b"".join(raw[at + 32 * k + 2:at + 32 * k + 32] for k in range(2, count + 1))
            name = name.decode("utf-16-le")[:name_length]
            out.append((name, bool(attributes & 0x10), self.chain(first, length, flags & 2) if first else []))
        return out

    def walk(self):
        """path -> clusters of every file and folder."""
        found = {}
        pending = [("", self.chain(self.root, 1 << 20, False))]
        while pending:
            prefix, clusters = pending.pop()
            for name, folder, cl in self.entries(clusters):
                found[prefix + name] = cl
                if folder:
                    pending.append((prefix + name + "/", cl))
        return found


class FuseMount:
    """An image mounted through exfat-fuse over a loop device."""

    def __init__(self, img):
        self.img = img

    def __enter__(self):
        self.mnt = tempfile.mkdtemp(prefix="carve-exfat.")
        self.loop = subprocess.run(["losetup", "-f", "--show", self.img], check=True, capture_output=True,
                                   text=True).stdout.strip()
        # -d keeps the driver in the foreground: umount then waits for it to write everything.
        self.fuse = subprocess.Popen(["mount.exfat-fuse", "-d", self.loop, self.mnt], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.ismount(self.mnt):
                return self.mnt
            time.sleep(0.05)
        self.__exit__()
        raise SystemExit("mount.exfat-fuse could not mount " + self.img)

    def __exit__(self, *_):
        os.sync()
        if os.path.ismount(self.mnt):
            subprocess.run(["umount", self.mnt], check=False)
        try:
            self.fuse.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.fuse.kill()
            self.fuse.wait()
        subprocess.run(["losetup", "-d", self.loop], check=False)
        os.rmdir(self.mnt)


def make_exfat_card(outdir, seed):
    missing = [t for t in ("mkfs.exfat", "mount.exfat-fuse", "losetup") if shutil.which(t) is None]
    if missing or os.geteuid() != 0 or not os.path.exists("/dev/fuse"):
        why = "missing " + ", ".join(missing) if missing else "needs root and /dev/fuse"
        print(f"card-exfat: skipped ({why}; Debian packages exfatprogs, exfat-fuse)", file=sys.stderr)
        return
    rng = random.Random(seed)
    name = "card-exfat"
    img = os.path.join(outdir, name + ".img")
    files = card_files(rng)
    if os.path.exists(img):
        os.remove(img)
    with open(img, "wb") as f:
        f.truncate(40 << 20)
    mkfs = ["mkfs.exfat", "-c", "4096", "-L", "CARD", img]
    run(*mkfs)
    with FuseMount(img) as mnt:
        for folder, fname, data, _ in files:
            os.makedirs(os.path.join(mnt, folder), exist_ok=True)
            with open(os.path.join(mnt, folder, fname), "wb") as f:
                f.write(data)
    before = ExfatImage(img).walk()
    folders = sorted({"/".join(f.split("/")[:i + 1]) for f, _, _, _ in files if f for i in range(f.count("/") + 1)})

    # The quick format, then a folder's cluster overwritten and a file written after it.
    run(*mkfs)
    card = ExfatImage(img)
    lost = {before["Pictures"][0]}
    with open(img, "r+b") as f:
        f.seek(card.cluster_at(before["Pictures"][0]))
        f.write(rng.randbytes(card.cluster_bytes))
    new_text = b"".join(b"written after the format, line %d\n" % i for i in range(2 * card.cluster_bytes // 30 + 1))
    with FuseMount(img) as mnt:
        with open(os.path.join(mnt, "NEW.TXT"), "wb") as f:
            f.write(new_text)
    new_clusters = ExfatImage(img).walk()["NEW.TXT"]
    lost.update(new_clusters)

    with open(os.path.join(outdir, name + ".manifest.tsv"), "w") as m:
        m.write(HEADER)
        m.write(row("NEW.TXT", new_text, "live", new_clusters[0], "carve=none"))
        for folder, fname, data, ext in files:
            path = (folder + "/" if folder else "") + fname
            cl = before[path]
            contiguous = cl == list(range(cl[0], cl[0] + len(cl)))
            state = "carve=lost" if lost & set(cl) else "carve=whole" if contiguous else "carve=fragmented"
            m.write(row(path, data, "formatted", cl[0], f"{state} ext={ext}"))
        for sub in folders:
            note = "folder=overwritten" if before[sub][0] in lost else "folder=orphan"
            m.write(f"{sub}\tfolder\t0\t-\tformatted\t-\t-\t{before[sub][0]}\t{note}\n")
    subprocess.run(["fsck.exfat", "-n", img], check=True, stdout=subprocess.DEVNULL)


def make_raw(outdir, seed):
    rng = random.Random(seed)
    name = "raw-carve"
    out = bytearray()
    rows = []

    def gap():
        n = rng.randint(1, 24) * 512
        out.extend(bytes(n) if rng.random() < 0.5 else rng.randbytes(n))

    def place(path, data, ext, cut=None, join=False):
        gap()
        sector = len(out) // 512
        if cut is None:
            out.extend(data)
            out.extend(bytes(-len(out) % 512))
            rows.append(row(path, data, "live", sector, f"carve=whole ext={ext}"))
            return
        # the first `cut` bytes, then foreign sectors (random bytes), then the rest
        out.extend(data[:cut])
        out.extend(rng.randbytes(8 * 512))
        out.extend(data[cut:])
        out.extend(bytes(-len(out) % 512))
        joined = " join=whole" if join else ""
        rows.append(row(path, data, "live", sector, f"carve=incomplete intact={cut}{joined} ext={ext}"))

    place("a.jpg", cf.jpeg(rng, 70000), "jpg")
    place("b.png", cf.png(rng, 120, 90), "png")
    place("c.gif", cf.gif(rng, 64, 48), "gif")
    place("d.pdf", cf.pdf(rng, 5), "pdf")
    place("e.zip", cf.zip_archive(rng, 5), "zip")
    place("f.docx", cf.docx(rng), "docx")
    place("g.mp4", cf.mp4(rng, 150000), "mp4")
    place("h.cr2", cf.tiff_raw(rng, 50000, canon=True), "cr2")
    place("i.sqlite", cf.sqlite_db(rng, 300), "sqlite")
    place("j.jpg", cf.jpeg(rng, 90000), "jpg", cut=40 * 512, join=True)
    place("k.png", cf.png(rng, 150, 120, idat_size=4096), "png", cut=8 * 512)
    place("l.zip", cf.zip_archive(rng, 6), "zip", cut=16 * 512)
    place("m.jpg", cf.jpeg(rng, 30000, thumbnail=False), "jpg")
    gap()
    out.extend(bytes((8 << 20) - len(out)))
    with open(os.path.join(outdir, name + ".img"), "wb") as f:
        f.write(out)
    with open(os.path.join(outdir, name + ".manifest.tsv"), "w") as m:
        m.write(HEADER)
        m.writelines(rows)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    kinds = argv[2:] or ["card", "raw"]
    i = 0
    while i < len(kinds):
        k = kinds[i]
        if k == "card":
            make_card(outdir, "card-fat32", 40, 1, 1, 2301)
        elif k == "exfat":
            make_exfat_card(outdir, 2304)
        elif k == "raw":
            make_raw(outdir, 2302)
        elif k == "bench":
            size = int(kinds[i + 1])
            i += 1
            make_card(outdir, "bench-card", size, 8, max(1, size // 5), 2303)
        else:
            sys.exit(f"unknown kind: {k}")
        i += 1


if __name__ == "__main__":
    main(sys.argv)
