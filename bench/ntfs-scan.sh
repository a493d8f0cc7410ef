#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-run benchmark: the quick scan of an NTFS volume of FILES files (a
# quarter of them deleted) side by side with ntfs-3g's ntfsundelete, The Sleuth
# Kit's fls and the time to read the MFT's bytes alone (ntfscat $MFT).
#
# Paired rounds on a warm cache: each round runs every command once, back to
# back, so that other work on the machine weighs on all of them alike; the
# median wall time and the median CPU time (user + system, from bash's time,
# to the millisecond) of ROUNDS rounds are shown, with the peak memory of one
# run (maximum resident set, from /usr/bin/time) and, when strace is there,
# the read calls of one run and the MiB they read. The line that matters is
# sarvik / ntfsundelete, wall and CPU: the goal is at most 0.5 of its wall time.
# Both print the deleted files as text (sarvik scan: the folder tree with each
# file's size and time; ntfsundelete -s: a table); sarvik scan --json, which
# writes every member of every entry (some 70 MB here), is shown beside them.
#
# The image is made once (mkntfs, then files written through ntfs-3g) and kept
# in build/bench/ntfs-scan; 200,000 files take a while through FUSE. KIND plain
# (the default) writes folders of 500 small files and deletes every fourth;
# mixed writes what bench/ntfs-mixed-files.py describes (nested folders of
# uneven size, long names in many scripts, large fragmented files, a third
# deleted) on a volume of 4 KiB clusters.
# FLS=0 leaves fls out of the rounds (it takes minutes on a mixed volume).
# Usage: [ROUNDS=7] [FLS=0] bench/ntfs-scan.sh [FILES [plain|mixed]]   (default
#        52000 plain; needs root, /dev/fuse, ntfs-3g)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-52000}
kind=${2:-plain}
[ "$kind" = plain ] || [ "$kind" = mixed ] || { echo "KIND is plain or mixed" >&2; exit 1; }
sarvik=${SARVIK:-build/bin/sarvik}
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for tool in mkntfs ntfs-3g fls ntfsundelete ntfscat bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=build/bench/ntfs-scan
img="$work/ntfs-$files.img"
[ "$kind" = plain ] || img="$work/ntfs-$kind-$files.img"
mnt="$work/mnt-$kind"
mkdir -p "$work" "$mnt"
cleanup() { mountpoint -q "$mnt" && umount "$mnt" || true; }
trap cleanup EXIT

if [ ! -f "$img" ]; then
  part="$img.part"
  # About 10 KiB of volume per file (the MFT takes 1 KiB a file), 1 GiB at
  # least; mixed files take about 12 KiB each, and the rest is filled.
  mib=$(( files / 100 > 1024 ? files / 100 : 1024 ))
  [ "$kind" = plain ] || mib=$(( files * 12 / 1000 + 256 > 1024 ? files * 12 / 1000 + 256 : 1024 ))
  rm -f "$part" && truncate -s "${mib}M" "$part"
  if [ "$kind" = plain ]; then mkntfs -F -q -Q "$part"; else mkntfs -F -q -Q -c 4096 "$part"; fi
  ntfs-3g "$part" "$mnt"
  start=$(date +%s)
  if [ "$kind" = mixed ]; then
    python3 bench/ntfs-mixed-files.py "$mnt" "$files"
  else
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
  fi
  umount "$mnt"
  mv "$part" "$img"
  echo "image of $files $kind files made in $(( $(date +%s) - start )) s" >&2
fi

rounds=${ROUNDS:-7}
mftBytes=$(ntfscat "$img" '$MFT' | wc -c)

# One run of a command: "WALL CPU" in seconds, to the millisecond.
once() {
  local TIMEFORMAT='%3R %3U %3S' wall user sys
  read -r wall user sys < <({ time "$@" >/dev/null 2>&1; } 2>&1)
  echo "$wall $(echo "$user + $sys" | bc)"
}
# Peak memory of one run in KiB.
peak() {
  /usr/bin/time -o "$work/time.txt" -f '%M' "$@" >/dev/null 2>&1 || true
  cat "$work/time.txt"
}
# The read calls of one run (pread64 and read) and the MiB they read, when strace is there.
reads() {
  command -v strace >/dev/null || { echo "- -"; return; }
  strace -f -e trace=pread64,read -o "$work/strace.txt" "$@" >/dev/null 2>&1 || true
  # A call another thread interrupts ends on a line of its own ("<... pread64 resumed>").
  awk -F'= ' '/^[0-9]+ +((pread64|read)\(|<\.\.\. (pread64|read) resumed>)/ && $NF+0 > 0 { n++; b += $NF }
    END { printf "%d %.0f\n", n, b / 1048576 }' "$work/strace.txt"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

names=(mft ours json undelete fls)
[ "${FLS:-1}" != 0 ] || names=(mft ours json undelete)
declare -A cmd=(
  [mft]="ntfscat $img \$MFT"
  [ours]="$sarvik scan $img"
  [json]="$sarvik scan $img --json"
  [undelete]="ntfsundelete -s $img"
  [fls]="fls -r -d $img"
)
declare -A walls cpus
for name in "${names[@]}"; do ${cmd[$name]} >/dev/null 2>&1 || true; done # warm the cache
for ((r = 0; r < rounds; r++)); do
  for name in "${names[@]}"; do
    read -r w c <<<"$(once ${cmd[$name]})"
    walls[$name]+="$w "
    cpus[$name]+="$c "
  done
done
declare -A wall cpu
for name in "${names[@]}"; do
  wall[$name]=$(median ${walls[$name]})
  cpu[$name]=$(median ${cpus[$name]})
done
read -r callsOurs mibOurs <<<"$(reads ${cmd[ours]})"
read -r callsUndelete mibUndelete <<<"$(reads ${cmd[undelete]})"
found=$(${cmd[json]} 2>/dev/null | grep -c '"recordSector"')

printf 'NTFS image of %d files, MFT %d records (%d MiB)\n' "$files" $((mftBytes / 1024)) $((mftBytes / 1048576))
printf '%-24s %8s %8s %9s %8s %6s\n' "median of $rounds, warm" "wall s" "CPU s" "peak MiB" "reads" "MiB"
row() {
  printf '%-24s %8.3f %8.3f %9.1f %8s %6s\n' "$1" "${wall[$2]}" "${cpu[$2]}" "$(echo "$(peak ${cmd[$2]}) / 1024" | bc -l)" \
    "$3" "$4"
}
row "ntfscat \$MFT" mft - -
row "sarvik scan" ours "$callsOurs" "$mibOurs"
row "sarvik scan --json" json - -
row "ntfsundelete -s" undelete "$callsUndelete" "$mibUndelete"
[ "${FLS:-1}" = 0 ] || row "fls -r -d" fls - -
printf 'sarvik deleted files listed: %d\n' "$found"
ratio() { echo "${1} / ${2}" | bc -l; }
printf 'sarvik / ntfsundelete: wall %.2f, CPU %.2f (paired medians; goal: wall at most 0.5)\n' \
  "$(ratio "${wall[ours]}" "${wall[undelete]}")" "$(ratio "${cpu[ours]}" "${cpu[undelete]}")"
printf 'sarvik --json / ntfsundelete: wall %.2f, CPU %.2f\n' \
  "$(ratio "${wall[json]}" "${wall[undelete]}")" "$(ratio "${cpu[json]}" "${cpu[undelete]}")"
printf 'sarvik / MFT read: %.1f\n' "$(ratio "${wall[ours]}" "${wall[mft]}")"
[ "${FLS:-1}" = 0 ] || printf 'fls / sarvik: %.1f\n' "$(ratio "${wall[fls]}" "${wall[ours]}")"
