#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-run benchmark: recover-all throughput on volumes with at least 200 MB of
# deleted data, beside reading the same number of bytes with dd (the limit),
# The Sleuth Kit's tsk_recover, and for NTFS ntfs-3g's ntfsundelete -u.
# Warm cache, best of five. dd is timed twice: reading only (the limit the
# target names) and reading into a file (what a copy also has to do). Usage: bench/recover.sh [MB]   (default 240)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-240}
sarvik=build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1700000000
work=build/bench/recover
mkdir -p "$work"

best() { # seconds, best of 3; the output folder is emptied before each run
  local out=$1; shift
  local b=""
  for _ in 1 2 3 4 5; do
    rm -rf "$out" && mkdir -p "$out"
    local t0 t1 d
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  echo "$b"
}
rate() { echo "$1 / $2 / 1048576" | bc -l; }

# Four deleted files of MB/4 each, written whole so they are contiguous.
python3 - "$work/src" "$mb" <<'PY'
import os, random, sys
d, mb = sys.argv[1], int(sys.argv[2])
os.makedirs(d, exist_ok=True)
rnd = random.Random(7)
for i in range(4):
    with open(os.path.join(d, "big%d.bin" % i), "wb") as f:
        f.write(rnd.randbytes(mb * 1048576 // 4))
PY
bytes=$(cat "$work"/src/*.bin | wc -c)

report() { # label seconds
  printf '  %-22s %7.3f s  %7.1f MB/s\n' "$1" "$2" "$(rate "$bytes" "$2")"
}

fat=$work/fat32.img
if [ ! -f "$fat" ]; then
  mkfs.fat -C -F 32 -s 8 "$fat" $(( (mb + 100) * 1024 )) >/dev/null
  mcopy -i "$fat" "$work"/src/*.bin ::
  mdel -i "$fat" ::big0.bin ::big1.bin ::big2.bin ::big3.bin
fi
echo "FAT32, $((bytes / 1048576)) MiB deleted in 4 files:"
tDd=$(best "$work/out-dd" dd if="$fat" of=/dev/null bs=1M count=$((bytes / 1048576)))
tDdFile=$(best "$work/out-dd" dd if="$fat" of="$work/out-dd/copy" bs=1M count=$((bytes / 1048576)))
tOurs=$(best "$work/out-sarvik" "$sarvik" recover "$fat" --to "$work/out-sarvik" --all)
tTsk=$(best "$work/out-tsk" tsk_recover "$fat" "$work/out-tsk")
report "dd (the limit)" "$tDd"
report "dd into a file" "$tDdFile"
report "sarvik recover --all" "$tOurs"
report "tsk_recover" "$tTsk"
printf '  sarvik / dd rate: %.0f%% of reading only, %.0f%% of reading into a file\n' \
  "$(echo "100 * $tDd / $tOurs" | bc -l)" "$(echo "100 * $tDdFile / $tOurs" | bc -l)"

if command -v ntfs-3g >/dev/null && [ -e /dev/fuse ]; then
  ntfs=$work/ntfs.img
  mnt=$work/mnt
  if [ ! -f "$ntfs" ]; then
    mkdir -p "$mnt"
    truncate -s $(( mb + 200 ))M "$ntfs"
    mkntfs -F -q -Q "$ntfs" >/dev/null 2>&1
    ntfs-3g "$ntfs" "$mnt"
    trap 'umount "$mnt" 2>/dev/null || true' EXIT
    cp "$work"/src/*.bin "$mnt"/ && sync
    rm "$mnt"/*.bin
    umount "$mnt"
  fi
  echo "NTFS, $((bytes / 1048576)) MiB deleted in 4 files:"
  tDd=$(best "$work/out-dd" dd if="$ntfs" of=/dev/null bs=1M count=$((bytes / 1048576)))
  tDdFile=$(best "$work/out-dd" dd if="$ntfs" of="$work/out-dd/copy" bs=1M count=$((bytes / 1048576)))
  tOurs=$(best "$work/out-sarvik" "$sarvik" recover "$ntfs" --to "$work/out-sarvik" --all)
  tTsk=$(best "$work/out-tsk" tsk_recover "$ntfs" "$work/out-tsk")
  tUnd=$(best "$work/out-und" ntfsundelete -u -m '*' -T -d "$work/out-und" "$ntfs")
  report "dd (the limit)" "$tDd"
  report "dd into a file" "$tDdFile"
  report "sarvik recover --all" "$tOurs"
  report "tsk_recover" "$tTsk"
  report "ntfsundelete -u" "$tUnd"
  printf '  sarvik / dd rate: %.0f%% of reading only, %.0f%% of reading into a file\n' \
  "$(echo "100 * $tDd / $tOurs" | bc -l)" "$(echo "100 * $tDdFile / $tOurs" | bc -l)"
fi
