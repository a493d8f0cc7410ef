#!/usr/bin/env bash
# Whole-run benchmark: scan an NTFS volume of at least 50,000 MFT records, side by
# side with The Sleuth Kit's fls, ntfs-3g's ntfsundelete and the time to read the
# MFT's bytes alone (ntfscat $MFT). Best of three runs each, warm cache.
# Usage: bench/ntfs-scan.sh [FILES]   (default 52000; needs root, /dev/fuse, ntfs-3g)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-52000}
sarvik=build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for tool in mkntfs ntfs-3g fls ntfsundelete ntfscat bc; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=build/bench/ntfs-scan
img="$work/ntfs-$files.img"
mnt="$work/mnt"
mkdir -p "$work" "$mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt" || true; }
trap cleanup EXIT

if [ ! -f "$img" ]; then
  rm -f "$img" && truncate -s 1G "$img"
  mkntfs -F -q -Q "$img"
  ntfs-3g "$img" "$mnt"
  # Folders of 500 small files; then every fourth file is deleted.
  python3 - "$mnt" "$files" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    d = os.path.join(root, "folder%03d" % (i // 500))
    if i % 500 == 0:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "file%05d.txt" % i), "w") as f:
        f.write("file %d\n" % i * (1 + i % 7))
for i in range(0, files, 4):
    os.remove(os.path.join(root, "folder%03d" % (i // 500), "file%05d.txt" % i))
PY
  umount "$mnt"
fi

best() { # seconds, best of 3
  local b=""
  for _ in 1 2 3; do
    local t0 t1 d
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  echo "$b"
}
mftBytes=$(ntfscat "$img" '$MFT' | wc -c)
tMft=$(best ntfscat "$img" '$MFT')
tOurs=$(best "$sarvik" scan "$img" --json)
tText=$(best "$sarvik" scan "$img")
tFls=$(best fls -r -d "$img")
tUnd=$(best ntfsundelete -s "$img")
found=$("$sarvik" scan "$img" --json | grep -c '"recordSector"')
printf 'MFT: %d records (%d MiB)\n' $((mftBytes / 1024)) $((mftBytes / 1048576))
printf 'read the MFT (ntfscat)  : %8.3f s\n' "$tMft"
printf 'sarvik scan --json      : %8.3f s  (%d deleted files)  %.2f x MFT read\n' "$tOurs" "$found" \
  "$(echo "$tOurs / $tMft" | bc -l)"
printf 'sarvik scan (text)      : %8.3f s\n' "$tText"
printf 'fls -r -d               : %8.3f s  %.1f x the time of sarvik scan (text)\n' "$tFls" "$(echo "$tFls / $tText" | bc -l)"
printf 'ntfsundelete -s         : %8.3f s  %.1f x the time of sarvik scan (text)\n' "$tUnd" "$(echo "$tUnd / $tText" | bc -l)"
