#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the small volumes the volume fuzzer patches (tests/fuzz/VolumeScanFuzz.cpp):
#   fuzz-fat12.img, fuzz-fat16.img, fuzz-fat32.img
#                                   48 KiB each, written by tests/fuzz/make-fuzz-fat.py
#   fuzz-ntfs.img                   1 MiB, mkntfs with 512-byte clusters, a few
#                                   files written and deleted through ntfs-3g
#   fuzz-exfat.img                  1 MiB, mkfs.exfat with 512-byte clusters, a few
#                                   files written and deleted through exfat-fuse
#                                   (tests/exfat/make-exfat-volume.py --small; root)
# Small volumes keep one scan and copy to about a millisecond, so the fuzzer
# runs a thousand inputs a second or more. The NTFS volume is reproducible when
# libfaketime is installed (Debian package faketime); without NTFS tools (or
# /dev/fuse) only the FAT volumes are made.
# Usage: tools/make-fuzz-volumes.sh OUTDIR
set -euo pipefail
out=${1:?usage: tools/make-fuzz-volumes.sh OUTDIR}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$out"
/usr/bin/python3 "$here/tests/fuzz/make-fuzz-fat.py" "$out"
# fsck.fat judges FAT16 by its cluster count and reads that one as FAT12, so
# the FAT12 and FAT32 volumes are checked.
for v in fat12 fat32; do
    fsck.fat -n "$out/fuzz-$v.img" >/dev/null 2>&1 || fsck.fat -n "$out/fuzz-$v.img"
done

if [[ ! -f $out/fuzz-exfat.img ]]; then
    rc=0
    /usr/bin/python3 "$here/tests/exfat/make-exfat-volume.py" --small "$out" || rc=$?
    [[ $rc == 0 || $rc == 77 ]] || exit "$rc"
    rm -f "$out/fuzz-exfat.manifest.tsv"
fi

[[ -f $out/fuzz-ntfs.img ]] && exit 0
command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null && [[ -e /dev/fuse ]] ||
    { echo "make-fuzz-volumes: no mkntfs/ntfs-3g/fuse: fuzz-ntfs.img not made" >&2; exit 0; }
work=$(mktemp -d)
img=$work/fuzz-ntfs.img
mnt=$work/mnt
pid=""
cleanup() {
    if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
    [[ -n $pid ]] && wait "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
faketime_lib=""
for f in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
    [[ -f $f ]] && { faketime_lib=$f; break; }
done
export FAKETIME="2024-05-17 12:30:00"
truncate -s 1M "$img"
truncate -s +4K "$img" # mkntfs keeps the last sector for the backup boot sector
LD_PRELOAD=$faketime_lib mkntfs -F -q -Q -c 512 -s 512 -p 0 -H 1 -S 1 -L FUZZNTFS "$img" >"$work/mkntfs.log" 2>&1 ||
    { cat "$work/mkntfs.log" >&2; exit 1; }
mkdir -p "$mnt"
LD_PRELOAD=$faketime_lib ntfs-3g -o no_detach "$img" "$mnt" >"$work/ntfs-3g.log" 2>&1 &
pid=$!
for ((i = 0; i < 100; i++)); do
    mountpoint -q "$mnt" && break
    sleep 0.05
done
mountpoint -q "$mnt" || { cat "$work/ntfs-3g.log" >&2; exit 1; }
# Seeded contents: small files stay in their MFT record, larger ones get runs.
/usr/bin/python3 - "$mnt" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240517)
def write(rel, size):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(size)))
write("readme.txt", 120)
write("Documents/Report final.txt", 3000)
write("Documents/Old draft.txt", 2500)
write("Documents/tiny note.txt", 40)
write("Photos 2020/beach.jpg", 6000)
write("Photos 2020/sunset.jpg", 300)
write("Big archive.bin", 20000)
for rel in ("Documents/Old draft.txt", "Photos 2020/beach.jpg", "Photos 2020/sunset.jpg", "Big archive.bin"):
    os.remove(os.path.join(root, rel))
os.rmdir(os.path.join(root, "Photos 2020"))
PY
sync
umount "$mnt"
wait "$pid"
pid=""
ntfsfix -n "$img" >/dev/null
mv "$img" "$out/fuzz-ntfs.img"
