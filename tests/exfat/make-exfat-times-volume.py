#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes exfat-times.img (exFAT, 1 MiB, 512-byte clusters) and exfat-times.manifest.tsv in OUTDIR.

  make-exfat-times-volume.py OUTDIR

Deleted files whose times need more than the 2-second field: mkfs.exfat and
mount.exfat-fuse (over a loop device, as root) write them, each with its time
set by utime at an odd second (the driver then stores 100 in the 10 ms field
and marks its UTC offset valid at 0). After unmounting, the UTC offset and
10 ms bytes of some entry sets are written from Python, as a machine east or
west of UTC (or one that leaves the offset unset) would have written them, and
each set's checksum is computed again; the checksums of one file's set and of
a deleted folder's set are broken on purpose.
Without root, /dev/fuse or the tools it says so and exits with status 77.

The manifest's columns:
  path  size  sha256  modified  created  notes
modified and created are what the entry means, as ISO 8601: UTC with "Z" (and
hundredths when not 0) where the offset is valid, the local time as stored
without a zone where it is not ("-": not checked). notes: "checksum_broken" for
a damaged set (broken.txt, and the deleted folder Damaged, size "-"),
"in_damaged_folder" for the file in that folder.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ENTRY = 32


def content(path, size):
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(("%s:%d:%d" % (path, size, counter)).encode()).digest()
        counter += 1
    return bytes(out[:size])


# name: (size, the wall-clock time the driver is given (UTC here),
#        patches of the file entry {offset: byte}, modified, created as the entry means them)
# File entry offsets: 20 created 10 ms, 21 modified 10 ms, 22/23/24 created/
# modified/accessed UTC offset (bit 7 valid, bits 0-6 signed 15-minute steps).
FILES = {
    "odd.txt": (1000, "2021-06-15 12:34:57", {}, "2021-06-15T12:34:57Z", None),
    "even.txt": (1100, "2021-06-15 12:34:56", {}, "2021-06-15T12:34:56Z", None),
    # One hour east of UTC, past midnight there: the day before in UTC.
    "east.txt": (1200, "2021-06-16 00:30:01", {20: 155, 21: 178, 22: 0x84, 23: 0x84, 24: 0x84},
                 "2021-06-15T23:30:01.78Z", "2021-06-15T23:30:01.55Z"),
    # Five hours west (-20 steps: 0x6C in seven bits).
    "west.txt": (1300, "2021-06-15 07:34:57", {22: 0xEC, 23: 0xEC, 24: 0xEC}, "2021-06-15T12:34:57Z", None),
    # No valid offset: a local time, shown as stored.
    "local.txt": (1400, "2021-06-15 12:34:57", {21: 142, 22: 0, 23: 0, 24: 0}, "2021-06-15T12:34:57.42", None),
    # The set's checksum no longer matches its bytes.
    "broken.txt": (1500, "2021-06-15 12:34:57", {}, "2021-06-15T12:34:57Z", None),
}
# A deleted folder whose set's checksum is broken too, and a file in it.
FOLDER = "Damaged"
INNER = "Damaged/inner.txt"
BROKEN = {"broken.txt", FOLDER}


def checksum(entries):
    total = 0
    for i, b in enumerate(entries):
        if i in (2, 3):
            continue
        total = (((total & 1) << 15) | (total >> 1)) + b
        total &= 0xFFFF
    return total


def patch(image):
    """Writes the offsets, hundredths and checksums of FILES' entry sets (all in the
    root folder's first cluster); returns the names met."""
    with open(image, "r+b") as f:
        boot = f.read(512)
        sector_shift, cluster_shift = boot[108], boot[109]
        cluster = (1 << sector_shift) << cluster_shift
        heap = struct.unpack_from("<I", boot, 88)[0] << sector_shift
        root = struct.unpack_from("<I", boot, 96)[0]
        at = heap + (root - 2) * cluster
        f.seek(at)
        data = bytearray(f.read(cluster))
        met = set()
        for i in range(0, len(data), ENTRY):
            if data[i] & 0x7F != 0x05:
                continue
            count = data[i + 1]
            s = bytearray(data[i:i + (count + 1) * ENTRY])
            name_length = s[ENTRY + 3]
            units = b"".join(s[e + 2:e + 32] for e in range(2 * ENTRY, len(s), ENTRY))
            name = units[:2 * name_length].decode("utf-16-le")
            if name not in FILES and name != FOLDER:
                continue
            met.add(name)
            if name in FILES and FILES[name][4] is not None:
                s[8:12] = s[12:16]  # created when modified (the driver wrote today's date)
            for offset, value in FILES.get(name, (0, 0, {}))[2].items():
                s[offset] = value
            # The checksum covers the set as it was in use (deleting clears bit 7 of each type).
            in_use = bytearray(s)
            for e in range(0, len(in_use), ENTRY):
                in_use[e] |= 0x80
            value = checksum(in_use)
            if name in BROKEN:
                value ^= 0x5A5A
            struct.pack_into("<H", s, 2, value)
            data[i:i + len(s)] = s
        f.seek(at)
        f.write(data)
    return met


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-exfat-times-volume.py OUTDIR")
    out = os.path.abspath(sys.argv[1])
    missing = [t for t in ("mkfs.exfat", "mount.exfat-fuse", "losetup") if shutil.which(t) is None]
    if missing or os.geteuid() != 0 or not os.path.exists("/dev/fuse"):
        why = "missing " + ", ".join(missing) if missing else "needs root and /dev/fuse"
        print("make-exfat-times-volume: skipped (%s)" % why, file=sys.stderr)
        sys.exit(77)
    os.makedirs(out, exist_ok=True)
    image = os.path.join(out, "exfat-times.img")
    manifest = os.path.join(out, "exfat-times.manifest.tsv")
    for p in (image, manifest):
        if os.path.exists(p):
            os.remove(p)
    with open(image, "wb") as f:
        f.truncate(1 << 20)
    subprocess.run(["mkfs.exfat", "-c", "4096", "-b", "4096", "-L", "TIMES", image], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["tune.exfat", "-I", "0x7e5a0001", image], check=True, stdout=subprocess.DEVNULL)
    env = dict(os.environ, TZ="UTC")  # the driver writes local time: make that UTC
    mnt = tempfile.mkdtemp(prefix="exfat-times.")
    loop = subprocess.run(["losetup", "-f", "--show", image], check=True, capture_output=True,
                          text=True).stdout.strip()
    fuse = None
    ok = False
    try:
        log = tempfile.TemporaryFile()
        fuse = subprocess.Popen(["mount.exfat-fuse", "-d", loop, mnt], stdout=subprocess.DEVNULL, stderr=log, env=env)
        for _ in range(200):
            if os.path.ismount(mnt) or fuse.poll() is not None:
                break
            time.sleep(0.05)
        if not os.path.ismount(mnt):
            log.seek(0)
            raise SystemExit("mount.exfat-fuse could not mount %s: %s" % (loop, log.read()[-2000:].decode()))
        for name, (size, wall, _, _, _) in FILES.items():
            with open(os.path.join(mnt, name), "wb") as f:
                f.write(content(name, size))
            subprocess.run(["touch", "-d", wall, os.path.join(mnt, name)], check=True, env=env)
        os.mkdir(os.path.join(mnt, FOLDER))
        with open(os.path.join(mnt, INNER), "wb") as f:
            f.write(content(INNER, 1600))
        for name in FILES:
            os.remove(os.path.join(mnt, name))
        shutil.rmtree(os.path.join(mnt, FOLDER))
        os.sync()
        subprocess.run(["umount", mnt], check=True)
        fuse.wait(timeout=30)
        fuse = None
        ok = True
    finally:
        if fuse is not None:
            subprocess.run(["umount", "-l", mnt], check=False)
            fuse.kill()
            fuse.wait()
        subprocess.run(["losetup", "-d", loop], check=False)
        os.rmdir(mnt)
        if not ok and os.path.exists(image):
            os.remove(image)
    met = patch(image)
    if met != set(FILES) | {FOLDER}:
        raise SystemExit("entry sets not found: %s" % sorted(set(FILES) | {FOLDER} - met))
    with open(manifest, "w", encoding="utf-8") as f:
        f.write("path\tsize\tsha256\tmodified\tcreated\tnotes\n")
        for name, (size, _, _, modified, created) in FILES.items():
            notes = "checksum_broken" if name in BROKEN else "-"
            f.write("\t".join([name, str(size), hashlib.sha256(content(name, size)).hexdigest(), modified,
                               created or "-", notes]) + "\n")
        f.write("\t".join([FOLDER, "-", "-", "-", "-", "checksum_broken"]) + "\n")
        f.write("\t".join([INNER, "1600", hashlib.sha256(content(INNER, 1600)).hexdigest(), "-", "-",
                           "in_damaged_folder"]) + "\n")
    print("[exfat-times.img] %d deleted files, two sets' checksums broken" % (len(FILES) + 1), file=sys.stderr)


if __name__ == "__main__":
    main()
