#!/usr/bin/env bash
# Whole-run benchmark: scan a FAT32 volume with thousands of folders and tens of
# thousands of files, side by side with The Sleuth Kit's fls on the same image,
# with the default (thorough) rules and with --classic. The default scan should
# take under 0.05 of fls's time.
# Usage: bench/fat-scan.sh [FOLDERS] [FILES_PER_FOLDER]   (defaults 10000 and 5)
set -euo pipefail
cd "$(dirname "$0")/.."
folders=${1:-10000}
per=${2:-5}
sarvik=build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
command -v fls >/dev/null || { echo "needs fls (Debian package sleuthkit)" >&2; exit 1; }
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1700000000

work=build/bench/fat-scan
rm -rf "$work" && mkdir -p "$work/tree"
img="$work/fat32-${folders}.img"

# A local tree: FOLDERS folders of PER small files each, in groups of 100 per parent
# so that no folder outgrows its first cluster.
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
mkfs.fat -C -F 32 -s 8 "$img" $((1024 * 1024)) >/dev/null
start=$(date +%s.%N)
mcopy -i "$img" -s -Q "$work/tree"/* ::
# Delete the first file of every folder.
find "$work/tree" -name F0.TXT | sed "s|^$work/tree/|::|" | xargs -n 2000 mdel -i "$img"
echo "image built in $(echo "$(date +%s.%N) - $start" | bc) s: $(du -h --apparent-size "$img" | cut -f1)" >&2

time_it() { # prints seconds of the best of 3 runs
  local best=""
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N)
    local d; d=$(echo "$t1 - $t0" | bc)
    if [ -z "$best" ] || (( $(echo "$d < $best" | bc) )); then best=$d; fi
  done
  echo "$best"
}
ours=$(time_it "$sarvik" scan "$img" --json)
classic=$(time_it "$sarvik" scan "$img" --json --classic)
peer=$(time_it fls -r -d "$img")
found=$("$sarvik" scan "$img" --json | grep -c '"ordinal"')
classicFound=$("$sarvik" scan "$img" --json --classic | grep -c '"ordinal"')
peerFound=$(fls -r -d "$img" | grep -c '^r/r')
printf 'folders %d, files %d\n' "$folders" "$((folders * per))"
printf 'sarvik scan --json           : %8.3f s (%d deleted files)\n' "$ours" "$found"
printf 'sarvik scan --json --classic : %8.3f s (%d deleted files)\n' "$classic" "$classicFound"
printf 'fls -r -d                    : %8.3f s (%d deleted entries)\n' "$peer" "$peerFound"
printf 'default/fls time             : %8.3f (target: under 0.05)\n' "$(echo "$ours / $peer" | bc -l)"
