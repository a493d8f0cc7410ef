#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# sarvik info --json on volumes made by mkfs.fat and mkntfs with several cluster
# sizes: every geometry field is recomputed here from the boot sector's bytes and
# compared (FAT12 too); FAT12 under --classic, an empty file and random bytes
# must come out NOT READY with a non-zero exit status.
# Usage: info_geometry.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v mkfs.fat >/dev/null || { echo "mkfs.fat missing"; exit 77; }

check() { # image
  python3 - "$sarvik" "$1" <<'PY'
import json, struct, subprocess, sys
sarvik, img = sys.argv[1], sys.argv[2]
boot = open(img, "rb").read(512)
u8 = lambda o: boot[o]
u16 = lambda o: struct.unpack_from("<H", boot, o)[0]
u32 = lambda o: struct.unpack_from("<I", boot, o)[0]
out = subprocess.run([sarvik, "info", img, "--json"], capture_output=True, text=True)
assert out.returncode == 0, out.stderr
got = json.loads(out.stdout)
spc = u8(13)
if boot[3:7] == b"NTFS":
    want = {"geometryKind": "ntfs", "sectorsPerCluster": spc, "clusterBaseSector": 0,
            "mftStartSector": u32(48) * spc, "mftRecordSectors": 2,
            "indexRecordSectors": 8 if u32(68) == 0xF4 else (u32(68) * spc) & 0xFFFFFFFF}
    fs = "NTFS"
elif boot[57:59] in (b"12", b"16"):
    fat, res, root = u16(22), u16(14), u16(17) // 16
    want = {"geometryKind": "fat12" if boot[57:59] == b"12" else "fat16", "fatSectors": fat, "sectorsPerCluster": spc, "rootDirSectors": root,
            "rootDirStart": res + 2 * fat, "reservedSectors": res,
            "clusterBaseSector": res + 2 * fat + root - 2 * spc, "firstFatSector": res,
            "secondFatSector": res + fat}
    fs = "FAT" + boot[57:59].decode()
else:
    fat, res = u32(36), u16(14)
    want = {"geometryKind": "fat32", "fatSectors": fat, "sectorsPerCluster": spc, "rootDirSectors": 0,
            "rootDirStart": u32(44), "reservedSectors": res, "clusterBaseSector": res + 2 * fat - 2 * spc,
            "firstFatSector": res, "secondFatSector": res + fat}
    fs = "FAT32"
import os
want["volumeSectors"] = os.path.getsize(img) // 512
want["volumeClusterSectors"] = spc
bad = {k: (got.get(k), v) for k, v in want.items() if got.get(k) != v}
assert not bad, f"{img}: {bad}"
assert got["drivePage"]["fileSystem"] == fs, got["drivePage"]
assert got["drivePage"]["capacity"] == f"{want['volumeSectors'] // 2 // 1024} MB ( Approx )"
print(f"ok {os.path.basename(img)}: {fs} spc={spc} base={got['clusterBaseSector']}")
PY
}

for s in 2 4 16 32; do
  mkfs.fat -C -F 16 -s "$s" "$work/f16-$s.img" $((20000 * s)) >/dev/null
  check "$work/f16-$s.img"
done
for s in 1 8 32; do
  mkfs.fat -C -F 32 -s "$s" "$work/f32-$s.img" $((40000 * s)) >/dev/null
  check "$work/f32-$s.img"
done
if command -v mkntfs >/dev/null; then
  for c in 512 4096 65536; do
    truncate -s 64M "$work/ntfs-$c.img"
    mkntfs -F -q -Q -c "$c" "$work/ntfs-$c.img" >/dev/null 2>&1
    check "$work/ntfs-$c.img"
  done
fi

notReady() { # image what [option]
  local out rc=0
  out=$("$sarvik" info "$1" --json ${3:+"$3"} 2>"$work/err") || rc=$?
  [ "$rc" -ne 0 ] || { echo "FAIL $2: exit status 0"; exit 1; }
  grep -q '"fileSystem": "NOT READY"' <<<"$out" || { echo "FAIL $2: $out"; exit 1; }
  [ -s "$work/err" ] || { echo "FAIL $2: nothing on standard error"; exit 1; }
  echo "ok $2: NOT READY, exit $rc, $(head -c 80 "$work/err")"
}
for s in 1 4; do
  mkfs.fat -C -F 12 -s "$s" "$work/f12-$s.img" $((2000 * s)) >/dev/null
  check "$work/f12-$s.img"
done
mkfs.fat -C -F 12 "$work/f12.img" 4096 >/dev/null
check "$work/f12.img"
notReady "$work/f12.img" "FAT12 --classic" --classic
: >"$work/empty.img"
notReady "$work/empty.img" "empty file"
head -c 1048576 /dev/urandom >"$work/random.img"
printf '\x00' | dd of="$work/random.img" bs=1 seek=510 conv=notrunc status=none
notReady "$work/random.img" "random bytes"
notReady "$work/does-not-exist.img" "missing file"
