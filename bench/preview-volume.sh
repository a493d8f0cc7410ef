#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a FAT16 image for the preview's timings and its look: deleted files
# of a ~5 MB JPEG (whole), a JPEG whose later clusters are zeros, a JPEG whose
# later clusters a live file claims (table entries set, garbage written), and
# text in UTF-8, UTF-16 and Windows-1252.
# Usage: bench/preview-volume.sh OUT.img
set -euo pipefail
out=${1:?usage: $0 OUT.img}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1
convert -seed 7 -size 2600x1950 plasma:fractal -quality 99 "$work/big.jpg"
convert -seed 8 -size 1200x900 plasma:fractal -quality 95 "$work/zeros.jpg"
convert -seed 9 -size 1200x900 plasma:fractal -quality 95 "$work/claimed.jpg"
cat README.md docs/command-line.md | head -c 60000 >"$work/notes.txt"
printf '\xff\xfe' >"$work/utf16.txt"
printf 'Grüße aus Köln\r\nZeile zwei\r\n' | iconv -f UTF-8 -t UTF-16LE >>"$work/utf16.txt"
printf 'Café crème: 5 €\r\n' | iconv -f UTF-8 -t CP1252 >"$work/cp1252.txt"
rm -f "$out"
mkfs.fat -C -F 16 -s 8 -n PREVIEW "$out" 131072 >/dev/null
for f in big.jpg zeros.jpg claimed.jpg notes.txt utf16.txt cp1252.txt; do
  mcopy -i "$out" "$work/$f" "::$f"
done
mcopy -i "$out" "$work/notes.txt" ::live.txt
for f in big.jpg zeros.jpg claimed.jpg notes.txt utf16.txt cp1252.txt; do
  mdel -i "$out" "::$f"
done
# The damage: a file's first cluster from its directory entry; FAT16 keeps it
# in the entry's bytes 26-27. zeros.jpg: the last 45% of its clusters zeroed;
# claimed.jpg: the last 40% marked used in the first FAT and overwritten.
python3 - "$out" <<'PY'
import struct, sys
img = open(sys.argv[1], 'r+b')
boot = img.read(512)
bps, spc, reserved, fats, roots = struct.unpack_from('<HBHBH', boot, 11)
fat_sectors = struct.unpack_from('<H', boot, 22)[0]
root = (reserved + fats * fat_sectors) * bps
data = root + roots * 32
cluster = bps * spc
img.seek(root)
entries = img.read(roots * 32)
def find(short):
    for i in range(0, len(entries), 32):
        e = entries[i:i + 32]
        if e[0] == 0xE5 and e[1:11] == short[1:]:
            return struct.unpack_from('<H', e, 26)[0], struct.unpack_from('<I', e, 28)[0]
    raise SystemExit('not found: %r' % short)
for short, share, garbage in ((b'ZEROS   JPG', 0.45, False), (b'CLAIMED JPG', 0.40, True)):
    first, size = find(short)
    n = (size + cluster - 1) // cluster
    start = first + int(n * (1 - share))
    for c in range(start, first + n):
        img.seek(data + (c - 2) * cluster)
        img.write(bytes((c * 37 + k * 11) & 0xFF for k in range(cluster)) if garbage else bytes(cluster))
        if garbage:
            for copy in range(fats):
                img.seek(reserved * bps + copy * fat_sectors * bps + 2 * c)
                img.write(struct.pack('<H', 0xFFFF))
PY
echo "$out"
