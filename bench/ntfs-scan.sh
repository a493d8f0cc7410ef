#!/usr/bin/env bash
# Whole-run benchmark: scan an NTFS volume of FILES files (a quarter of them
# deleted) side by side with ntfs-3g's ntfsundelete, The Sleuth Kit's fls and
# the time to read the MFT's bytes alone (ntfscat $MFT). Each is run three times
# on a warm cache; the best wall time is shown with the CPU time (user + system)
# and peak memory (maximum resident set, from /usr/bin/time -v) of that run.
# The scan's read calls are counted with strace when it is installed.
#
# The image is made once (mkntfs, then files written through ntfs-3g) and kept
# in build/bench/ntfs-scan; 200,000 files take a while through FUSE.
# Usage: bench/ntfs-scan.sh [FILES]   (default 52000; needs root, /dev/fuse, ntfs-3g)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-52000}
sarvik=${SARVIK:-build/bin/sarvik}
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for tool in mkntfs ntfs-3g fls ntfsundelete ntfscat bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=build/bench/ntfs-scan
img="$work/ntfs-$files.img"
mnt="$work/mnt"
mkdir -p "$work" "$mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt" || true; }
trap cleanup EXIT

if [ ! -f "$img" ]; then
  part="$img.part"
  # About 10 KiB of volume per file (the MFT takes 1 KiB a file), 1 GiB at least.
  mib=$(( files / 100 > 1024 ? files / 100 : 1024 ))
  rm -f "$part" && truncate -s "${mib}M" "$part"
  mkntfs -F -q -Q "$part"
  ntfs-3g "$part" "$mnt"
  start=$(date +%s)
  # Folders of 500 small files; then every fourth file is deleted.
  python3 - "$mnt" "$files" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    d = os.path.join(root, "folder%03d" % (i // 500))
    if i % 500 == 0:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "file%06d.txt" % i), "w") as f:
        f.write("file %d\n" % i * (1 + i % 7))
for i in range(0, files, 4):
    os.remove(os.path.join(root, "folder%03d" % (i // 500), "file%06d.txt" % i))
PY
  umount "$mnt"
  mv "$part" "$img"
  echo "image of $files files made in $(( $(date +%s) - start )) s" >&2
fi

# Runs the command three times; prints "WALL CPU RSS_KIB" of the fastest run.
measure() {
  local best="" wall user sys rss
  for _ in 1 2 3; do
    /usr/bin/time -o "$work/time.txt" -f '%e %U %S %M' "$@" >/dev/null 2>&1 || true
    read -r wall user sys rss <"$work/time.txt"
    if [ -z "$best" ] || (( $(echo "$wall < ${best%% *}" | bc) )); then
      best="$wall $(echo "$user + $sys" | bc) $rss"
    fi
  done
  echo "$best"
}
# The read calls of one run (pread64 and read), when strace is there.
reads() {
  command -v strace >/dev/null || { echo "-"; return; }
  strace -f -c -e trace=pread64,read -o /dev/stderr "$@" 2>&1 >/dev/null |
    awk '$NF == "pread64" || $NF == "read" { n += $4 } END { print n + 0 }'
}

mftBytes=$(ntfscat "$img" '$MFT' | wc -c)
ntfscat "$img" '$MFT' >/dev/null # warm the cache
read -r tMft cMft mMft <<<"$(measure ntfscat "$img" '$MFT')"
read -r tOurs cOurs mOurs <<<"$(measure "$sarvik" scan "$img" --json)"
read -r tUnd cUnd mUnd <<<"$(measure ntfsundelete -s "$img")"
read -r tFls cFls mFls <<<"$(measure fls -r -d "$img")"
found=$("$sarvik" scan "$img" --json | grep -c '"recordSector"')
printf 'NTFS image of %d files, MFT %d records (%d MiB)\n' "$files" $((mftBytes / 1024)) $((mftBytes / 1048576))
printf '%-22s %9s %9s %9s %s\n' "best of 3, warm" "wall s" "cpu s" "peak MiB" "read calls"
row() { printf '%-22s %9.3f %9.3f %9.1f %s\n' "$1" "$2" "$3" "$(echo "$4 / 1024" | bc -l)" "$5"; }
row "ntfscat \$MFT" "$tMft" "$cMft" "$mMft" "$(reads ntfscat "$img" '$MFT')"
row "sarvik scan --json" "$tOurs" "$cOurs" "$mOurs" "$(reads "$sarvik" scan "$img" --json)"
row "ntfsundelete -s" "$tUnd" "$cUnd" "$mUnd" "$(reads ntfsundelete -s "$img")"
row "fls -r -d" "$tFls" "$cFls" "$mFls" "-"
printf 'sarvik deleted files listed: %d\n' "$found"
printf 'sarvik / ntfsundelete: wall %.2f, cpu %.2f (goal: at most 0.5)\n' \
  "$(echo "$tOurs / $tUnd" | bc -l)" "$(echo "$cOurs / $cUnd" | bc -l)"
printf 'sarvik / MFT read: %.1f; fls / sarvik: %.1f\n' "$(echo "$tOurs / $tMft" | bc -l)" \
  "$(echo "$tFls / $tOurs" | bc -l)"
