#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a volume's worth of files unlike bench/ntfs-scan.sh's plain ones.

Usage: ntfs-mixed-files.py MOUNTPOINT FILES

Into the mounted (empty) NTFS volume: FILES files in a tree of nested folders
of uneven size, named with long names that mix accented Latin, Greek,
Cyrillic, CJK, Arabic, Hebrew, Devanagari and Thai words and a few characters
outside the BMP; most files are small (resident in their MFT record), some
span a few clusters. Then free space is chopped into 1 MiB holes and large
files are written across them, so that each lies in many runs. Last, a third
of all files are deleted: whole subtrees, some of the large files, and the
rest one by one at random. The same FILES gives the same tree (seeded).
"""
import os
import random
import shutil
import sys

root, files = sys.argv[1], int(sys.argv[2])
rng = random.Random(29)

WORDS = (
    "report holiday invoice draft final backup notes budget photo scan letter summary minutes agenda "
    "café résumé naïve Ångström smørrebrød Żółć Straße Ärger señor coração İstanbul Dvořák Œuvre façade "
    "Αθήνα φωτογραφία έγγραφο σημειώσεις отчёт фотографии Москва документ черновик "
    "報告書 写真 東京 资料 会議 사진 문서 تقرير صورة שלום מסמך दस्तावेज़ तस्वीर ภาพถ่าย เอกสาร 📷 🎵 🗂"
).split()
EXTENSIONS = [".txt", ".docx", ".jpg", ".pdf", ".xlsx", ".mp3", ".png", ".csv", ".bin", ""]


def name(index):
    """A long name, unique by its index, at most 240 bytes of UTF-8 (Linux's limit is 255)."""
    words = [rng.choice(WORDS) for _ in range(rng.randint(1, 14))]
    text = rng.choice([" ", "_", "-", " - "]).join(words)
    suffix = " %d%s" % (index, rng.choice(EXTENSIONS))
    while len((text + suffix).encode()) > 240:
        text = text[:-1]
    return text + suffix


def size():
    """Mostly small files kept in the MFT record, some of a few clusters."""
    roll = rng.random()
    if roll < 0.66:
        return rng.randint(0, 900)
    if roll < 0.96:
        return rng.randint(1024, 16384)
    return rng.randint(16384, 65536)


# Folders: each hangs below a folder chosen at random (a random tree, at most
# 8 deep); files go to folders by heavy-tailed weights, so a few folders hold
# thousands and many hold a handful.
folders = [("", 0)]
for i in range(max(1, files // 60)):
    while True:
        parent, depth = rng.choice(folders)
        if depth < 8:
            break
    folders.append((os.path.join(parent, name(2 * files + i)), depth + 1))
weights = [rng.paretovariate(1.1) for _ in folders]
placed = rng.choices(range(len(folders)), weights=weights, k=files)
content = os.urandom(65536)
for path, _ in folders[1:]:
    os.makedirs(os.path.join(root, path), exist_ok=True)
written = []
for i, folder in enumerate(placed):
    path = os.path.join(root, folders[folder][0], name(i))
    with open(path, "wb") as f:
        f.write(content[: size()])
    written.append(path)

# Free space in 1 MiB holes: fill it with blocks, free every second one.
fill = os.path.join(root, "fill")
os.makedirs(fill)
block = os.urandom(1 << 20)
blocks = 0
try:
    while True:
        with open(os.path.join(fill, "block%05d" % blocks), "wb") as f:
            blocks += 1
            f.write(block)
except OSError:
    pass
for i in range(0, blocks, 2):
    os.remove(os.path.join(fill, "block%05d" % i))

# Large files in the holes until nine tenths of them are taken: the first
# ones find stretches of a few freed blocks side by side, the later ones are
# pieced together from single holes, each in many runs.
large = os.path.join(root, "large ăîș 大きい")
os.makedirs(large)
stat = os.statvfs(root)
room = stat.f_bavail * stat.f_frsize * 9 // 10
big = []
while room >= 2 << 20:
    path = os.path.join(large, name(files + len(big)))
    blocks_in = min(rng.randint(2, 16), room >> 20)
    try:
        with open(path, "wb") as f:
            for _ in range(blocks_in):
                f.write(block)
    except OSError:
        break
    room -= blocks_in << 20
    big.append(path)

# A third of all files deleted: whole subtrees first, then large files, then
# files one by one.
target = (files + len(big)) // 3
gone = set()
for folder in rng.sample(range(1, len(folders)), len(folders) // 25):
    top = os.path.join(root, folders[folder][0])
    if not os.path.isdir(top):
        continue
    inside = [p for p in written if p.startswith(top + os.sep) and p not in gone]
    if len(gone) + len(inside) > target // 4:
        continue
    shutil.rmtree(top)
    gone.update(inside)
for path in big[::3]:
    os.remove(path)
    gone.add(path)
rest = [p for p in written if p not in gone]
for path in rng.sample(rest, max(0, target - len(gone))):
    os.remove(path)
print("%d folders, %d files, %d large files, %d fill blocks; %d deleted"
      % (len(folders) - 1, files, len(big), blocks, target), file=sys.stderr)
