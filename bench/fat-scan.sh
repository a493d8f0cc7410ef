#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-run benchmark: scan a FAT32 volume with thousands of folders and tens of
# thousands of files, side by side with The Sleuth Kit's fls on the same image,
# with the default rules and with --classic. The default scan should take under
# 0.05 of fls's time.
#
# mkfs.fat makes the image a sparse file: its never-written free space is a hole,
# which the scan need not read. A dd image of a real card has no holes, so the
# scan is also timed on a copy of the image without them ("dense").
#
# Each round runs every command once, back to back, so that other work on the
# machine weighs on all of them alike; of three rounds the best wall time and the
# best CPU time (user + system) of each are shown. The images are made once and
# kept in build/bench/fat-scan (delete them to make them again).
# Usage: bench/fat-scan.sh [FOLDERS] [FILES_PER_FOLDER]   (defaults 10000 and 5)
set -euo pipefail
cd "$(dirname "$0")/.."
folders=${1:-10000}
per=${2:-5}
sarvik=${SARVIK:-build/bin/sarvik}
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for tool in fls mkfs.fat mcopy bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1700000000

work=build/bench/fat-scan
img="$work/fat32-${folders}x${per}.img"
dense="$work/fat32-${folders}x${per}-dense.img"
mkdir -p "$work"

if [ ! -f "$img" ]; then
  part="$img.part"
  rm -rf "$work/tree" "$part" && mkdir -p "$work/tree"
  # A local tree: FOLDERS folders of PER small files each, in groups of 100 per
  # parent so that no folder outgrows its first cluster.
  python3 - "$work/tree" "$folders" "$per" <<'PY'
import os, sys
root, folders, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(folders):
    d = os.path.join(root, "G%03d" % (i // 100), "D%05d" % i)
    os.makedirs(d, exist_ok=True)
    for j in range(per):
        with open(os.path.join(d, "F%d.TXT" % j), "w") as f:
            f.write("folder %d file %d\n" % (i, j))
PY
  mkfs.fat -C -F 32 -s 8 "$part" $((1024 * 1024)) >/dev/null
  start=$(date +%s.%N)
  mcopy -i "$part" -s -Q "$work/tree"/* ::
  # Delete the first file of every folder.
  find "$work/tree" -name F0.TXT | sed "s|^$work/tree/|::|" | xargs -n 2000 mdel -i "$part"
  rm -rf "$work/tree"
  mv "$part" "$img"
  echo "image built in $(echo "$(date +%s.%N) - $start" | bc) s: $(du -h --apparent-size "$img" | cut -f1)" >&2
fi
[ -f "$dense" ] || cp --sparse=never "$img" "$dense"

# One run of a command: "WALL CPU".
once() {
  local wall user sys
  /usr/bin/time -o "$work/time.txt" -f '%e %U %S' "$@" >/dev/null 2>&1 || true
  read -r wall user sys <"$work/time.txt"
  echo "$wall $(echo "$user + $sys" | bc)"
}
# The read calls of one run (pread64 and read) and the MiB they read, when strace is there.
reads() {
  command -v strace >/dev/null || { echo "- -"; return; }
  strace -f -e trace=pread64,read -o "$work/strace.txt" "$@" >/dev/null 2>&1 || true
  awk -F'= ' '/^[0-9]+ +(pread64|read)\(/ && $NF+0 > 0 { n++; b += $NF } END { printf "%d %.0f\n", n, b / 1048576 }' \
    "$work/strace.txt"
}

names=(ours dense classic fls)
declare -A cmd=(
  [ours]="$sarvik scan $img --json"
  [dense]="$sarvik scan $dense --json"
  [classic]="$sarvik scan $img --json --classic"
  [fls]="fls -r -d $img"
)
declare -A wall cpu
for name in "${names[@]}"; do ${cmd[$name]} >/dev/null; done # warm the cache
for _ in 1 2 3; do
  for name in "${names[@]}"; do
    read -r w c <<<"$(once ${cmd[$name]})"
    if [ -z "${wall[$name]:-}" ] || (($(echo "$w < ${wall[$name]}" | bc))); then wall[$name]=$w; fi
    if [ -z "${cpu[$name]:-}" ] || (($(echo "$c < ${cpu[$name]}" | bc))); then cpu[$name]=$c; fi
  done
done
read -r callsOurs mibOurs <<<"$(reads ${cmd[ours]})"
read -r callsDense mibDense <<<"$(reads ${cmd[dense]})"
found=$(${cmd[ours]} | grep -c '"ordinal"')
classicFound=$(${cmd[classic]} | grep -c '"ordinal"')
peerFound=$(${cmd[fls]} | grep -c '^r/r')

printf 'folders %d, files %d\n' "$folders" "$((folders * per))"
printf '%-38s %8s %8s %8s %6s\n' "" "wall s" "CPU s" "reads" "MiB"
printf '%-38s %8.3f %8.3f %8s %6s  (%d deleted files)\n' "sarvik scan --json" "${wall[ours]}" "${cpu[ours]}" \
  "$callsOurs" "$mibOurs" "$found"
printf '%-38s %8.3f %8.3f %8s %6s\n' "sarvik scan --json (dense image)" "${wall[dense]}" "${cpu[dense]}" \
  "$callsDense" "$mibDense"
printf '%-38s %8.3f %8.3f %8s %6s  (%d deleted files)\n' "sarvik scan --json --classic" "${wall[classic]}" \
  "${cpu[classic]}" - - "$classicFound"
printf '%-38s %8.3f %8.3f %8s %6s  (%d deleted entries)\n' "fls -r -d" "${wall[fls]}" "${cpu[fls]}" - - "$peerFound"
ratio() { echo "${1} / ${2}" | bc -l; }
printf 'default/fls: wall %.3f, CPU %.3f (target: under 0.05); dense image: wall %.3f, CPU %.3f\n' \
  "$(ratio "${wall[ours]}" "${wall[fls]}")" "$(ratio "${cpu[ours]}" "${cpu[fls]}")" \
  "$(ratio "${wall[dense]}" "${wall[fls]}")" "$(ratio "${cpu[dense]}" "${cpu[fls]}")"
