#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole volumes lost, made from the test volumes (tools/make-test-volumes.sh)
# with sfdisk and dd: what each tool finds and brings back, and in how many
# seconds (warm cache, one run).
#   wiped table: an MBR disk of a FAT32 and an NTFS partition whose table
#     (the partition entries and the boot signature) was zeroed;
#   FAT16, sector 0 zeroed (FAT16 keeps no backup boot sector);
#   FAT32, sectors 0 and 6 zeroed (the boot sector and its backup).
# Files are counted against the volumes' manifests, live and deleted alike (on
# a lost volume every file is lost): "by path" is the file's own path,
# byte-exact; "by content" its SHA-256 anywhere in the output, as a carver is
# counted. Beside this program: TestDisk's analysis (the volumes it finds),
# tsk_recover -e at each volume's offset, PhotoRec over the whole image.
# Usage: bench/lost-volumes.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sarvik=$PWD/build/bin/sarvik
vols=$PWD/build/test-volumes
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for v in fat16 fat32-s1 ntfs; do
  [ -f "$vols/$v.img" ] || { echo "make the test volumes first (tools/make-test-volumes.sh)" >&2; exit 1; }
done
for t in sfdisk testdisk photorec tsk_recover bc python3; do
  command -v "$t" >/dev/null || { echo "needs $t" >&2; exit 1; }
done
work=$PWD/build/bench/lost-volumes
rm -rf "$work" && mkdir -p "$work" && cd "$work"

# The disk whose table is wiped.
truncate -s $((336000 * 512)) wiped.img
printf 'label: dos\nstart=2048, size=131072, type=c\nstart=133120, size=131072, type=7\n' | sfdisk -q wiped.img
dd if="$vols/fat32-s1.img" of=wiped.img bs=512 seek=2048 conv=notrunc status=none
dd if="$vols/ntfs.img" of=wiped.img bs=512 seek=133120 conv=notrunc status=none
dd if=/dev/zero of=wiped.img bs=1 seek=446 count=66 conv=notrunc status=none
cp "$vols/fat16.img" fat16-noboot.img
dd if=/dev/zero of=fat16-noboot.img bs=512 count=1 conv=notrunc status=none
cp "$vols/fat32-s1.img" fat32-noboot.img
dd if=/dev/zero of=fat32-noboot.img bs=512 count=1 conv=notrunc status=none
dd if=/dev/zero of=fat32-noboot.img bs=512 seek=6 count=1 conv=notrunc status=none

count() { # DIR MANIFEST...: "by path / by content of all"
  python3 - "$@" <<'PY'
import csv, hashlib, os, sys
out, manifests = sys.argv[1], sys.argv[2:]
files = {}
for m in manifests:
    for r in csv.DictReader(open(m), delimiter="\t"):
        if r["type"] == "file" and r["sha256"] not in ("", "-"):
            files[r["path"]] = r["sha256"]
seen, written = set(), []
for root, _, names in os.walk(out):
    for n in names:
        p = os.path.join(root, n)
        h = hashlib.sha256(open(p, "rb").read()).hexdigest()
        seen.add(h)
        written.append((os.path.relpath(p, out), h))
# By path: under its own path, below whatever folder the tool wrote the volume to.
by_path = sum(1 for p, h in files.items() if any(w == (p, h) or (w[0].endswith("/" + p) and w[1] == h)
                                                 for w in written))
by_content = sum(1 for h in files.values() if h in seen)
print("%d / %d of %d" % (by_path, by_content, len(files)))
PY
}
run() { # NAME OUT MANIFESTS COMMAND...: one row
  local name=$1 out=$2 manifests=$3; shift 3
  rm -rf "$out" && mkdir -p "$out"
  local t0 t1
  t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
  # shellcheck disable=SC2086
  printf '| %-48s | %-18s | %6.2f |\n' "$name" "$(count "$out" $manifests)" "$(echo "$t1 - $t0" | bc)"
}
timed() { # COMMAND...: seconds, output kept in timed.out
  local t0 t1
  t0=$(date +%s.%N); "$@" >timed.out 2>&1 || true; t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc
}

echo "Finding the volumes of the disk whose table was wiped (FAT32 at sector 2048, NTFS at 133120):"
t=$(timed "$sarvik" volumes wiped.img)
echo "  sarvik volumes: $(grep -c '@lost' timed.out) found in $t s: $(grep -o 'lost[0-9].*' timed.out | tr '\n' ';')"
t=$(timed testdisk /log /cmd wiped.img analyze)
echo "  testdisk analyze: $(grep -aoE 'FAT32|HPFS - NTFS' timed.out | sort -u | wc -l) kinds found in $t s"
echo

both="$vols/fat32-s1.manifest.tsv $vols/ntfs.manifest.tsv"
recover_lost() { # the two volumes sarvik volumes lists, each into its own folder
  local n=1
  for lost in $("$sarvik" volumes wiped.img | grep -o 'wiped.img@lost[0-9]*'); do
    "$sarvik" recover "$lost" --live --all --to "$1/$n"
    n=$((n + 1))
  done
}
tsk_both() {
  tsk_recover -e -o 2048 wiped.img "$1/1"
  tsk_recover -e -o 133120 wiped.img "$1/2"
}
photorec_all() { photorec /log /d "$1/r" /cmd "$2" partition_none,options,mode_ext2,fileopt,everything,enable,search; }

echo "| loss, tool | by path / content | seconds |"
echo "|---|---|---|"
run "wiped table: sarvik volumes + recover --live --all" "$work/s-wiped" "$both" recover_lost "$work/s-wiped"
run "wiped table: tsk_recover -e at both offsets" "$work/t-wiped" "$both" tsk_both "$work/t-wiped"
run "wiped table: photorec" "$work/p-wiped" "$both" photorec_all "$work/p-wiped" wiped.img
for v in fat16 fat32; do
  img=$v-noboot.img
  m=$vols/$([ $v = fat16 ] && echo fat16 || echo fat32-s1).manifest.tsv
  run "$v, boot sector gone: sarvik recover --live --all" "$work/s-$v" "$m" \
    "$sarvik" recover "$img" --live --all --to "$work/s-$v"
  run "$v, boot sector gone: tsk_recover -e" "$work/t-$v" "$m" tsk_recover -e "$img" "$work/t-$v"
  run "$v, boot sector gone: photorec" "$work/p-$v" "$m" photorec_all "$work/p-$v" "$img"
done
