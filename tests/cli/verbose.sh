#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --verbose: a trace on standard error of what was read where and which rule
# decided, that leaves standard output as it is without it.
# Usage: verbose.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for v in fat32 ntfs; do
  [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The scan: the same listing, and a trace headed by the version and command line.
"$sarvik" scan "$vols/fat32.img" >plain.txt 2>plain.err
"$sarvik" scan "$vols/fat32.img" --verbose >out.txt 2>trace.txt
cmp -s plain.txt out.txt || fail "--verbose changed the listing"
! grep -q "trace:" plain.err || fail "a trace without --verbose"
version=$("$sarvik" --version)
head -n1 trace.txt | grep -qxF "sarvik: trace: $version: scan $vols/fat32.img --verbose" || fail "first line: $(head -n1 trace.txt)"
grep -qF "open $vols/fat32.img by the thorough rules: a volume to scan" trace.txt || fail "no word of the opening: $(head trace.txt)"
grep -qE "boot sector: FAT32, read as FAT32, 512-byte sectors, [0-9]+ sectors a cluster" trace.txt || fail "no boot sector line"
grep -qE "FAT geometry: reserved sectors 32, FAT sectors [0-9]+, first FAT at sector 32" trace.txt || fail "no FAT geometry line"
grep -qF "read $vols/fat32.img: 512 bytes at byte 0 (sector 0)" trace.txt ||
  grep -qE "read $vols/fat32.img: [0-9]+ bytes at byte 0 \(sector 0\)$" trace.txt || fail "the boot sector's read is not traced"
grep -qF "scan of $vols/fat32.img: thorough rules, the metadata only" trace.txt || fail "the scan's rules are not traced"
# Every traced read lies within the image.
size=$(stat -c %s "$vols/fat32.img")
awk -v size="$size" '/: trace: read / { n = $5; at = $9; if (at + n > size) { print; bad = 1 } } END { exit bad }' trace.txt ||
  fail "a read past the image's end was traced as one that went well"
reads=$(grep -c ": trace: read " trace.txt)
((reads >= 3)) || fail "only $reads reads traced"

# The copy: which rule chose each deleted file's clusters, and each outcome.
"$sarvik" recover "$vols/fat32.img" --to out /Photos --verbose >/dev/null 2>trace.txt
grep -qE "file at cluster [0-9]+ \(20000 bytes, deleted\): its chain is gone; the thorough rule takes the next free clusters, passing over those live files hold: clusters [0-9]+" trace.txt ||
  fail "no rule for a deleted file's clusters: $(grep 'file at' trace.txt | head -3)"
grep -qE "copy out/Photos/holiday 001.png: written, 20000 of 20000 bytes$" trace.txt || fail "no outcome: $(grep 'copy ' trace.txt | head -3)"
"$sarvik" recover "$vols/fat32.img" --to classic /Photos --classic --verbose >/dev/null 2>trace.txt
grep -qE "open .* by the classic rules: a volume to scan" trace.txt || fail "the classic rules are not named"
grep -qE "\(20000 bytes, deleted\): its chain is gone; the classic rule reads the clusters that follow its first: clusters [0-9]+-[0-9]+$" trace.txt ||
  fail "no classic rule: $(grep 'file at' trace.txt | head -3)"

# NTFS: the geometry and each file's data runs.
"$sarvik" recover "$vols/ntfs.img" --to ntfs --all --verbose >/dev/null 2>trace.txt || true
grep -qE "NTFS geometry: MFT at sector [0-9]+, records of 1024 bytes" trace.txt || fail "no NTFS geometry"
grep -qE "NTFS record at sector [0-9]+ \([0-9]+ bytes, [0-9]+ initialized, deleted\): its data runs: clusters [0-9]+" trace.txt ||
  fail "no data runs traced: $(grep 'NTFS record' trace.txt | head -3)"
# exFAT: how each file's clusters were found.
if [[ -f $vols/exfat.img ]]; then
  "$sarvik" recover "$vols/exfat.img" --to exfat --all --verbose >/dev/null 2>trace.txt || true
  grep -qE "exFAT file at cluster [0-9]+ \([0-9]+ bytes, [0-9]+ valid, deleted\): (written in one piece: its consecutive clusters|its chain is gone; the clusters the allocation bitmap marks free from its first): clusters [0-9]+" trace.txt ||
    fail "no exFAT rule traced: $(grep 'exFAT file' trace.txt | head -3)"
fi
echo "verbose: ok"
