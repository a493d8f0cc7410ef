#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a scan costs a real device: bytes read from storage with the caches
# emptied ("cold") and the cold wall time (the median of COLD_RUNS runs), and
# the best warm wall time of RUNS runs, for `sarvik info`, the quick scan (the
# default), `--deep --no-carve`, `--deep` and `--classic`, beside The Sleuth
# Kit's fls, ntfs-3g's ntfsundelete (NTFS), PhotoRec (free space only, all file
# types, as --deep searches) and dd reading the whole volume.
#
# Each volume is made twice: "dense", as a dd of a used card would be (the
# image is filled with pseudo-random bytes before mkfs, so free space holds old
# data and no hole of the image file is free to read), and "sparse", as the
# formatting tools leave it (never-written space is a hole). On each, 300 files
# of 1 KiB to 4 MiB in 10 folders are written and every third one deleted:
#   fat32  2 GiB  mkfs.fat -F 32, written with mtools
#   exfat  1 GiB  mkfs.exfat, written through exfat-fuse over a loop device
#   ntfs   1 GiB  mkntfs -Q, written through ntfs-3g
# The images are made once and kept in build/bench/scan-reads (delete them to
# make them again); PhotoRec's output goes there too and is deleted after each run.
#
# Cold: `sync; echo 3 >/proc/sys/vm/drop_caches`, then the command runs in a
# subshell whose own /proc/PID/io read_bytes (waited-for children included) is
# read afterwards. That figure includes the program's own binary and libraries;
# `sarvik info` shows that share for sarvik. On a virtual machine the host may
# still cache the image: cold seconds are those of this machine's disk path.
#
# It then checks what the quick scan promises: it lists every deleted file
# written above by its path, the deep scan lists no deleted file with an entry
# that it does not, and on a dense image it reads at most 16 MiB more than
# `sarvik info`; the exit status is 1 when one of these does not hold. The bytes
# the quick scan's read calls return (strace) are shown beside: what it asked for.
# Usage: bench/scan-reads.sh [VOLUME...]   (fat32-dense fat32-sparse exfat-dense
#        exfat-sparse ntfs-dense ntfs-sparse; default all). COLD_RUNS=3, RUNS=3;
#        PHOTOREC=0 leaves PhotoRec out. Needs root, /dev/fuse, a loop device.
set -euo pipefail
cd "$(dirname "$0")/.."
sarvik=$(readlink -f "${SARVIK:-build/bin/sarvik}")
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
runs=${RUNS:-3}
for tool in openssl mkfs.fat mcopy mdel mkfs.exfat mount.exfat-fuse losetup mkntfs ntfs-3g fls ntfsundelete strace bc \
  python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
[ -w /proc/sys/vm/drop_caches ] || { echo "needs root (to empty the caches)" >&2; exit 1; }
usePhotorec=${PHOTOREC:-1}
command -v photorec >/dev/null || usePhotorec=0
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1700000000

work=$PWD/build/bench/scan-reads
mnt=$work/mnt
mkdir -p "$work" "$mnt"
loop=""
# shellcheck disable=SC2317 # run by the trap below
cleanup() {
  if mountpoint -q "$mnt"; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  rm -rf "$work/tree" "$work/photorec"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The files every volume gets, and the list of those deleted afterwards (path, size).
makeTree() {
  [ -d "$work/tree" ] && return
  python3 - "$work/tree" "$work/deleted.txt" <<'PY'
import math, os, random, sys
root, deleted = sys.argv[1], sys.argv[2]
rnd = random.Random(300)
gone = []
for i in range(300):
    folder = os.path.join(root, "Folder %02d" % (i // 30))
    os.makedirs(folder, exist_ok=True)
    size = int(math.exp(rnd.uniform(math.log(1024), math.log(4 << 20))))
    with open(os.path.join(folder, "file %03d.dat" % i), "wb") as f:
        f.write(rnd.randbytes(size))
    if i % 3 == 0:
        gone.append("/Folder %02d/file %03d.dat\t%d" % (i // 30, i, size))
with open(deleted, "w") as f:
    f.write("\n".join(gone) + "\n")
PY
}

# An empty image of SIZE bytes: pseudo-random bytes throughout when dense, a hole when sparse.
blank() { # PATH SIZE dense|sparse
  rm -f "$1"
  if [ "$3" = dense ]; then
    local seed
    seed=$(basename "$1")
    openssl enc -aes-128-ctr -pass pass:"$seed" -nosalt -pbkdf2 </dev/zero 2>/dev/null |
      head -c "$2" >"$1" || true
    [ "$(stat -c %s "$1")" -eq "$2" ] || { echo "could not fill $1" >&2; exit 1; }
  else
    truncate -s "$2" "$1"
  fi
}

writeTree() { # MOUNTPOINT: copy the tree in, then delete the files of deleted.txt
  cp -r "$work/tree"/. "$1"/
  sync
  local gone
  while IFS=$'\t' read -r gone _; do rm "$1$gone"; done <"$work/deleted.txt"
  sync
}

makeFat32() { # PATH dense|sparse
  blank "$1" $((2 << 30)) "$2"
  mkfs.fat -F 32 "$1" >/dev/null
  mcopy -i "$1" -s -Q "$work/tree"/* ::
  local args=() gone
  while IFS=$'\t' read -r gone _; do args+=("::$gone"); done <"$work/deleted.txt"
  mdel -i "$1" "${args[@]}"
}

makeExfat() { # PATH dense|sparse
  blank "$1" $((1 << 30)) "$2"
  loop=$(losetup -f --show "$1")
  mkfs.exfat "$loop" >/dev/null
  mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1
  writeTree "$mnt"
  umount "$mnt"
  losetup -d "$loop"
  loop=""
}

makeNtfs() { # PATH dense|sparse
  blank "$1" $((1 << 30)) "$2"
  mkntfs -F -q -Q "$1" 2>"$work/mkntfs.log" || { cat "$work/mkntfs.log" >&2; exit 1; }
  ntfs-3g "$1" "$mnt"
  writeTree "$mnt"
  umount "$mnt"
}

image() { # NAME: the image's path, made when missing
  local img=$work/$1.img
  if [ ! -f "$img" ]; then
    makeTree
    local fs=${1%-*} kind=${1#*-}
    echo "making $1 (once)..." >&2
    case $fs in
      fat32) makeFat32 "$img.part" "$kind" ;;
      exfat) makeExfat "$img.part" "$kind" ;;
      ntfs) makeNtfs "$img.part" "$kind" ;;
    esac
    mv "$img.part" "$img"
  fi
  echo "$img"
}

# Runs a command with its output in $work/out.txt (PhotoRec in $work/photorec,
# emptied first) and prints "READ_BYTES SECONDS": bytes this run read from storage
# (its own read_bytes, children included) and its wall time.
once() {
  rm -rf "$work/photorec" && mkdir -p "$work/photorec"
  [ "${1:-}" = cold ] && { shift; sync; echo 3 >/proc/sys/vm/drop_caches; }
  (
    cd "$work/photorec"
    start=$EPOCHREALTIME
    "$@" >"$work/out.txt" 2>"$work/err.txt" || true
    end=$EPOCHREALTIME
    while read -r key value; do [ "$key" = read_bytes: ] && bytes=$value; done </proc/$BASHPID/io
    echo "$bytes $(echo "$end - $start" | bc)"
  )
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
least() { printf '%s\n' "$@" | sort -g | head -n 1; }

# Measures one command: COLD runs with the caches emptied before each (the
# median bytes and seconds), then RUNS with the cache as they left it (the best
# seconds). Sets rowBytes, rowCold, rowWarm; the last run's output stays in out.txt.
measure() {
  local bytes=() colds=() warms=() b s
  for _ in $(seq "$coldRuns"); do
    read -r b s <<<"$(once cold "$@")"
    bytes+=("$b") colds+=("$s")
  done
  for _ in $(seq "$runs"); do
    read -r b s <<<"$(once "$@")"
    warms+=("$s")
  done
  rowBytes=$(median "${bytes[@]}") rowCold=$(median "${colds[@]}") rowWarm=$(least "${warms[@]}")
}

# Counts of deleted files: those written and deleted above that a scan lists
# (same path and size); its deleted files with an entry (outside the $ folders of
# the deep search: carved files, lost folders, unlinked entries) and those it
# finds in $ folders; and of a second scan's files with an entry, those the first lacks.
count() { # JSON [OTHER_JSON]
  python3 - "$work/deleted.txt" "$@" <<'PY'
import json, sys
wanted = [tuple(l.rstrip("\n").split("\t")) for l in open(sys.argv[1]) if l.strip()]
def deleted(path):
    with open(path) as f:
        files = json.load(f)["files"]
    named = {(e["path"], str(e["size"])) for e in files
             if e["deleted"] and e["path"] and not e["path"].startswith("/$")}
    return named, sum(1 for e in files if e["deleted"]) - len(named)
named, other = deleted(sys.argv[2])
missing = len(named - deleted(sys.argv[3])[0]) if len(sys.argv) > 3 else 0
print(sum(w in named for w in wanted), len(wanted), len(named), other, missing)
PY
}

mib() { printf '%.1f' "$(echo "$1 / 1048576" | bc -l)"; }
row() { # LABEL: prints the measured row
  printf '  %-40s %9.1f %9.2f %8.2f %8.3f\n' "$1" "$(mib "$rowBytes")" \
    "$(echo "100 * $rowBytes / $size" | bc -l)" "$rowCold" "$rowWarm"
}

coldRuns=${COLD_RUNS:-3}
volumes=("$@")
[ ${#volumes[@]} -gt 0 ] || volumes=(fat32-dense fat32-sparse exfat-dense exfat-sparse ntfs-dense ntfs-sparse)
failed=0
for volume in "${volumes[@]}"; do
  img=$(image "$volume")
  size=$(stat -c %s "$img")
  fs=${volume%-*}
  "$sarvik" info "$img" --json >"$work/info.json"
  spc=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["sectorsPerCluster"])' "$work/info.json")
  echo
  echo "$volume: $(mib "$size") MiB, $((spc / 2)) KiB clusters, $(du -m "$img" | cut -f1) MiB allocated in the image file"
  printf '  %-40s %9s %9s %8s %8s\n' "" "MiB read" "% of vol" "cold s" "warm s"

  measure "$sarvik" info "$img"
  row "sarvik info"
  infoBytes=$rowBytes
  measure "$sarvik" scan "$img" --json
  row "sarvik scan --json (quick)"
  quickBytes=$rowBytes
  cp "$work/out.txt" "$work/quick.json"
  hint=$(grep -m 1 'deep' "$work/err.txt" || echo "(none)")
  measure "$sarvik" scan "$img" --json --deep --no-carve
  row "sarvik scan --json --deep --no-carve"
  measure "$sarvik" scan "$img" --json --deep
  row "sarvik scan --json --deep"
  cp "$work/out.txt" "$work/deep.json"
  if [ "$fs" != exfat ]; then
    measure "$sarvik" scan "$img" --json --classic
    row "sarvik scan --json --classic"
  fi
  measure fls -r -d "$img"
  row "fls -r -d"
  flsNamed=$(grep -E '^[-r]/r \* ' "$work/out.txt" | grep -vc "\\\$OrphanFiles/" || true)
  flsOrphans=$(grep -c "\\\$OrphanFiles/" "$work/out.txt" || true)
  undeleteListed=""
  if [ "$fs" = ntfs ]; then
    measure ntfsundelete -s "$img"
    row "ntfsundelete -s"
    # Its rows with a file name.
    undeleteListed=$(grep -E '^[0-9]+ ' "$work/out.txt" | grep -vc ' <none>$' || true)
  fi
  if [ "$usePhotorec" = 1 ]; then
    measure photorec /log /d "$work/photorec/out" /cmd "$img" partition_none,fileopt,everything,enable,freespace,search
    row "photorec (free space, all types)"
    photorecFiles=$(find "$work/photorec" -path '*/out.*' -type f ! -name report.xml | wc -l)
  fi
  measure dd if="$img" of=/dev/null bs=4M
  row "dd bs=4M (the whole volume)"
  rm -rf "$work/photorec" "$work/out.txt"

  # What the quick scan itself asks for: the bytes its read calls return.
  asked=$(strace -f -e trace=pread64,read -o "$work/strace.txt" "$sarvik" scan "$img" --json >/dev/null 2>&1
    awk -F'= ' '/(pread64|read)\(/ && $NF + 0 > 0 { b += $NF } END { print b + 0 }' "$work/strace.txt")
  rm -f "$work/strace.txt"
  echo "  quick scan's hint: $hint"
  [ "$usePhotorec" = 1 ] && echo "  photorec wrote $photorecFiles files"
  read -r listed of named other _ <<<"$(count "$work/quick.json")"
  read -r _ _ deepNamed deepOther deepOnly <<<"$(count "$work/deep.json" "$work/quick.json")"
  peers="fls $flsNamed named, $flsOrphans orphans"
  [ -z "$undeleteListed" ] || peers+="; ntfsundelete $undeleteListed named"
  echo "  deleted files: quick scan $named with an entry, $other in \$ folders ($listed of the $of written and deleted," \
    "by path and size); deep scan $deepNamed with an entry, $deepOther in \$ folders; $peers"
  if [ "$listed" -ne "$of" ] || [ "$deepOnly" -ne 0 ]; then
    echo "  FAIL: the quick scan misses $((of - listed)) of the deleted files written, and $deepOnly that the deep scan lists by entry"
    failed=1
  fi
  extra=$((quickBytes - infoBytes))
  verdict="holds"
  [ "$extra" -le $((16 << 20)) ] || verdict="FAILS"
  echo "  quick scan reads $(mib "$extra") MiB more than info (at most 16 on a dense image: $verdict); its read calls return $(mib "$asked") MiB"
  if [ "$verdict" = FAILS ] && [ "${volume#*-}" = dense ]; then failed=1; fi
done
exit "$failed"
