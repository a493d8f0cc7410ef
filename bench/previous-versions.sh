#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Listing the previous versions of an NTFS volume with six shadow copies: the
# Windows-made disk of tests/third-party/dfir_ntfs-vss (one store) with its
# shadow copy catalogue rewritten to name that store six times, an hour apart
# (each copy then reads as a volume of its own through libvshadow, and all six
# read alike). Times the volume's scan, `scan --previous` (each copy scanned
# and laid beside the volume's files in use), `--previous=all`, and recovering
# every file of `--previous`; and the same on the disk as it comes, with its
# one copy. Warm cache, best of five.
# Usage: bench/previous-versions.sh (SARVIK=path names another build's program)
set -euo pipefail
cd "$(dirname "$0")/.."
sarvik=${SARVIK:-$PWD/build/bin/sarvik}
tarball=$PWD/tests/third-party/dfir_ntfs-vss/vss_2_stor.tar.gz
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
command -v bc >/dev/null || { echo "missing: bc" >&2; exit 1; }
work=$PWD/build/bench/previous-versions
rm -rf "$work" && mkdir -p "$work" && cd "$work"
tar -xSzf "$tarball"
cp --sparse=always vss_2_stor.raw six.raw
python3 - six.raw 6 <<'PY'
import struct, sys
# The catalogue (its offset 0x30 into the volume header, 7,680 bytes into the
# volume) holds 128-byte entries: a store's descriptor (type 2: its GUID at
# 16, its creation time at 48) followed by its information entry (type 3).
# The one store's pair is written COUNT times, each descriptor an hour older
# than the next.
img, count = sys.argv[1], int(sys.argv[2])
base = 67584 * 512
with open(img, "r+b") as f:
    f.seek(base + 0x1E00)
    catalog = struct.unpack_from("<Q", f.read(128), 0x30)[0]
    f.seek(base + catalog)
    block = bytearray(f.read(16384))
    descriptor, information = bytes(block[128:256]), bytes(block[256:384])
    assert descriptor[0] == 2 and information[0] == 3, "unexpected catalogue"
    newest = struct.unpack_from("<Q", descriptor, 48)[0]
    for k in range(count):
        d = bytearray(descriptor)
        struct.pack_into("<Q", d, 48, newest - (count - 1 - k) * 36000000000)
        block[(2 * k + 1) * 128:(2 * k + 2) * 128] = d
        block[(2 * k + 2) * 128:(2 * k + 3) * 128] = information
    f.seek(base + catalog)
    f.write(block)
PY
copies=$("$sarvik" info six.raw@2 | sed -n 's/^Shadow copies *: //p')
[ "$copies" = 6 ] || { echo "the rewritten catalogue lists '$copies' copies, not 6" >&2; exit 1; }

best() { # seconds, best of five, of the command; out/ emptied before each run
  local b=""
  for _ in 1 2 3 4 5; do
    rm -rf out
    local t0 t1 d
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  printf '%.3f' "$b"
}
printf '%-16s %6s %8s %11s %15s %17s\n' disk copies scan previous previous=all "recover previous"
for img in vss_2_stor.raw six.raw; do
  n=$("$sarvik" info "$img@2" | sed -n 's/^Shadow copies *: //p')
  printf '%-16s %6s %8s %11s %15s %17s\n' "$img" "$n" \
    "$(best "$sarvik" scan "$img@2")" \
    "$(best "$sarvik" scan "$img@2" --previous)" \
    "$(best "$sarvik" scan "$img@2" --previous=all)" \
    "$(best "$sarvik" recover "$img@2" --previous --all --to out)"
done
added=$("$sarvik" scan six.raw@2 --previous=all 2>&1 >/dev/null | sed -n 's/^sarvik: \(.*added.*\)$/\1/p')
echo "six.raw --previous=all: $added"
