#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes exfat.img (exFAT, 32 MiB, 4 KiB clusters) and exfat.manifest.tsv in OUTDIR.

  make-exfat-volume.py OUTDIR
  make-exfat-volume.py --small OUTDIR   fuzz-exfat.img alone: 1 MiB, 512-byte
                                        clusters, a few files (for the volume fuzzer)

mkfs.exfat (exfatprogs) makes the volume; files are written and deleted through
mount.exfat-fuse (exfat-fuse) over a loop device, so this needs root and
/dev/fuse. Without them it says so and exits with status 77 (skipped).

The volume's serial is 21E0-FA7E and its label EXFATTEST.
The manifest has the columns of the other volumes' manifests:
  path type size sha256 state in_deleted_folder contiguous first_cluster notes
notes tokens:
  mtime=S.CC        the file's modification time as the driver stored it
                    (seconds since 1970 UTC, hundredths), as it should come back
  fragmented        its clusters were not consecutive (a FAT chain)
  data_overwritten  a later file took its clusters
  entry_overwritten a later entry set took its directory entries
Deleted files in the root, in a live folder and in a deleted folder; Unicode
names; an empty file; a fragmented file; files written in one piece (which the
driver marks as having no FAT chain). Contents come from a seeded generator.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

CLUSTER = 4096
SIZE_MIB = 32


def content(path, size):
    """The bytes of `path`: a pure function of its name and size."""
    out = bytearray()
    counter = 0
    seed = ("%s:%d" % (path, size)).encode("utf-8")
    while len(out) < size:
        out += hashlib.sha256(seed + counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:size])


class Volume:
    def __init__(self, image, mnt):
        self.image, self.mnt = image, mnt
        self.loop = None
        self.fuse = None
        self.rows = {}  # path -> dict
        self.order = []

    # -- mount ---------------------------------------------------------------
    def attach(self):
        self.loop = subprocess.run(["losetup", "-f", "--show", self.image], check=True,
                                   capture_output=True, text=True).stdout.strip()

    def mount(self):
        # -d keeps the driver in the foreground (with debug output, kept in a
        # file): umount then waits for it to write everything out.
        self.log = tempfile.TemporaryFile()
        self.fuse = subprocess.Popen(["mount.exfat-fuse", "-d", self.loop, self.mnt],
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        for _ in range(200):
            if os.path.ismount(self.mnt):
                return
            if self.fuse.poll() is not None:
                break
            time.sleep(0.05)
        self.log.seek(0)
        raise SystemExit("mount.exfat-fuse could not mount %s: %s" % (self.loop, self.log.read()[-2000:].decode()))

    def umount(self):
        if self.fuse is not None:
            os.sync()
            if os.path.ismount(self.mnt):
                subprocess.run(["umount", self.mnt], check=False)
            try:
                self.fuse.wait(timeout=30)
            except subprocess.TimeoutExpired:
                subprocess.run(["umount", "-l", self.mnt], check=False)
                self.fuse.kill()
                self.fuse.wait()
            self.fuse = None

    def detach(self):
        if self.loop:
            subprocess.run(["losetup", "-d", self.loop], check=False)
            self.loop = None

    # -- operations ------------------------------------------------------------
    def mkdir(self, path):
        os.mkdir(os.path.join(self.mnt, path))
        self.rows[path] = {"type": "dir", "size": "-", "sha": "-", "state": "live", "notes": []}
        self.order.append(path)

    def write(self, path, size, mtime=None, pieces=None):
        """Writes `path`; `pieces` writes it in that many appends (for fragmenting)."""
        data = content(path, size)
        full = os.path.join(self.mnt, path)
        with open(full, "wb") as f:
            if pieces:
                step = (size + pieces - 1) // pieces
                for i in range(0, size, step):
                    f.write(data[i:i + step])
                    f.flush()
                    os.fsync(f.fileno())
            else:
                f.write(data)
        notes = []
        if mtime is not None:
            os.utime(full, ns=(int(mtime * 1e9), int(mtime * 1e9)))
            # As the driver stored it: exfat-fuse keeps 2-second steps, without hundredths.
            notes.append("mtime=%.2f" % (os.stat(full).st_mtime_ns / 1e9))
        self.rows[path] = {"type": "file", "size": str(size), "sha": hashlib.sha256(data).hexdigest(),
                           "state": "live", "notes": notes}
        self.order.append(path)

    def delete(self, path):
        full = os.path.join(self.mnt, path)
        if os.path.isdir(full):
            shutil.rmtree(full)
            for p in self.order:
                if p == path or p.startswith(path + "/"):
                    self.rows[p]["state"] = "deleted"
                    if p != path:
                        self.rows[p]["in_deleted_folder"] = True
        else:
            os.remove(full)
            self.rows[path]["state"] = "deleted"

    def note(self, path, token):
        self.rows[path]["notes"].append(token)

    def manifest(self, out):
        with open(out, "w", encoding="utf-8") as f:
            f.write("path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n")
            for p in self.order:
                r = self.rows[p]
                contiguous = "-" if r["type"] == "dir" else ("no" if "fragmented" in r["notes"] else "yes")
                f.write("\t".join([p, r["type"], r["size"], r["sha"], r["state"],
                                   "yes" if r.get("in_deleted_folder") else "no", contiguous, "-",
                                   " ".join(r["notes"]) or "-"]) + "\n")


def plan(v):
    t0 = 1623760496.78  # 2021-06-15 12:34:56.78 UTC
    v.write("keep.txt", 5000)
    v.write("report.doc", 10000, mtime=t0)
    v.write("empty.txt", 0, mtime=t0 + 60)
    v.write("café ünïcödé.txt", 3333, mtime=t0 + 120)
    v.write("Привет мир.dat", 70000)
    v.write("日本語のファイル名.bin", 1)
    v.write("L" * 40 + " a rather long name that needs several name entries " + "x" * 100 + ".txt", 777)
    v.mkdir("Photos")
    v.write("Photos/IMG_0001.JPG", 300000, mtime=t0 + 3600)
    v.write("Photos/IMG_0002.JPG", 4096)
    v.write("Photos/live.jpg", 9000)
    # Fragmented: holes of one cluster between live files, then one file that
    # must take them all.
    for i in range(6):
        v.write("Photos/fill%d.bin" % i, CLUSTER)
    for i in (0, 2, 4):
        v.delete("Photos/fill%d.bin" % i)
    v.write("Photos/frag.bin", 3 * CLUSTER + 100, pieces=4)
    v.note("Photos/frag.bin", "fragmented")
    for i in (0, 2, 4):
        v.note("Photos/fill%d.bin" % i, "data_overwritten")
    v.note("Photos/fill0.bin", "entry_overwritten")  # frag.bin's entry set took its slots
    v.mkdir("Trip")
    v.write("Trip/beach.png", 50000, mtime=t0 + 7200)
    v.write("Trip/notes.txt", 1200)
    v.mkdir("Trip/Day 1")
    v.write("Trip/Day 1/map.pdf", 20000)
    v.write("Trip/Day 1/ёжик.txt", 10)
    # Deletions: root files, files in a live folder, a whole folder.
    for p in ("report.doc", "empty.txt", "café ünïcödé.txt", "Привет мир.dat", "日本語のファイル名.bin",
              "Photos/IMG_0001.JPG", "Photos/frag.bin"):
        v.delete(p)
    v.delete([p for p in v.order if p.startswith("L")][0])
    v.delete("Trip")


def plan_small(v):
    v.write("readme.txt", 120)
    v.mkdir("Docs")
    v.write("Docs/report.txt", 3000)
    v.write("Docs/old draft.txt", 2500)
    v.write("photo.jpg", 6000, pieces=3)
    v.write("big.bin", 20000)
    v.mkdir("Gone")
    v.write("Gone/inside.txt", 700)
    for p in ("Docs/old draft.txt", "photo.jpg", "big.bin", "Gone"):
        v.delete(p)


def main():
    args = sys.argv[1:]
    small = args[:1] == ["--small"]
    if small:
        args = args[1:]
    if len(args) != 1:
        sys.exit("usage: make-exfat-volume.py [--small] OUTDIR")
    out = os.path.abspath(args[0])
    missing = [t for t in ("mkfs.exfat", "mount.exfat-fuse", "losetup") if shutil.which(t) is None]
    if missing or os.geteuid() != 0 or not os.path.exists("/dev/fuse"):
        why = "missing " + ", ".join(missing) if missing else "needs root and /dev/fuse"
        print("make-exfat-volume: skipped (%s; Debian packages exfatprogs, exfat-fuse)" % why, file=sys.stderr)
        sys.exit(77)
    os.makedirs(out, exist_ok=True)
    image = os.path.join(out, "fuzz-exfat.img" if small else "exfat.img")
    manifest = os.path.join(out, "fuzz-exfat.manifest.tsv" if small else "exfat.manifest.tsv")
    for p in (image, manifest):
        if os.path.exists(p):
            os.remove(p)
    with open(image, "wb") as f:
        f.truncate((1 if small else SIZE_MIB) << 20)
    format_options = ["-c", "512", "-b", "4096", "-L", "FUZZEXFAT"] if small else ["-c", str(CLUSTER), "-L", "EXFATTEST"]
    subprocess.run(["mkfs.exfat"] + format_options + [image], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["tune.exfat", "-I", "0x21e0fa7e", image], check=True, stdout=subprocess.DEVNULL)
    mnt = tempfile.mkdtemp(prefix="exfat-mnt.")
    v = Volume(image, mnt)
    ok = False
    try:
        v.attach()
        v.mount()
        (plan_small if small else plan)(v)
        v.umount()
        ok = True
    finally:
        v.umount()
        v.detach()
        os.rmdir(mnt)
        if not ok:
            for p in (image, manifest):
                if os.path.exists(p):
                    os.remove(p)
    subprocess.run(["fsck.exfat", "-n", image], check=True, stdout=subprocess.DEVNULL)
    v.manifest(manifest)
    deleted = sum(1 for r in v.rows.values() if r["state"] == "deleted")
    print("[%s] %d entries, %d deleted" % (os.path.basename(image), len(v.order), deleted), file=sys.stderr)


if __name__ == "__main__":
    main()
