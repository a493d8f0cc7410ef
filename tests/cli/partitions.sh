#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-disk images: the FAT16, FAT32 and NTFS test volumes placed into an MBR
# disk (one primary, an extended partition holding two logical ones) made with
# sfdisk, and into a GPT disk made with sgdisk. Each partition, named PATH@N,
# must scan and recover exactly as the volume image itself does; recovered
# files carry the catalogue's times; conditions agree with the manifests.
# Usage: partitions.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2 shim=${4:-}
for t in sfdisk sgdisk python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian packages fdisk, gdisk)"; exit 77; }
done
for v in fat16 fat32-s1 ntfs; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# MBR: p1 FAT16 primary; an extended container with FAT32 and NTFS logicals.
truncate -s $((336000 * 512)) mbr.img
printf 'label: dos\nstart=2048, size=65536, type=6\nstart=69632, size=266240, type=5\nstart=71680, size=131072, type=c\nstart=204800, size=131072, type=7\n' |
    sfdisk -q mbr.img
dd if="$vols/fat16.img" of=mbr.img bs=512 seek=2048 conv=notrunc,sparse status=none
dd if="$vols/fat32-s1.img" of=mbr.img bs=512 seek=71680 conv=notrunc,sparse status=none
dd if="$vols/ntfs.img" of=mbr.img bs=512 seek=204800 conv=notrunc,sparse status=none

# GPT: FAT32 and NTFS.
truncate -s $((270000 * 512)) gpt.img
sgdisk -o -n 1:2048:+131072 -t 1:0700 -n 2:133120:+131072 -t 2:0700 gpt.img >/dev/null
dd if="$vols/fat32-s1.img" of=gpt.img bs=512 seek=2048 conv=notrunc,sparse status=none
dd if="$vols/ntfs.img" of=gpt.img bs=512 seek=133120 conv=notrunc,sparse status=none

"$sarvik" info mbr.img --json >mbr.json || fail "info of the MBR disk"
"$sarvik" info gpt.img --json >gpt.json || fail "info of the GPT disk"
python3 - <<'PY' || fail "partition listing"
import json
mbr = [(p["number"], p["firstSector"], p["sectors"], p["fileSystem"], p["logical"]) for p in json.load(open("mbr.json"))["partitions"]]
# Numbered as the kernel and fdisk number them: logical partitions from 5.
assert mbr == [(1, 2048, 65536, "FAT16", False), (5, 71680, 131072, "FAT32", True), (6, 204800, 131072, "NTFS", True)], mbr
gpt = [(p["number"], p["firstSector"], p["sectors"], p["fileSystem"]) for p in json.load(open("gpt.json"))["partitions"]]
assert gpt == [(1, 2048, 131072, "FAT32"), (2, 133120, 131072, "NTFS")], gpt
assert all(p["typeName"] == "Microsoft basic data" for p in json.load(open("gpt.json"))["partitions"])
PY
"$sarvik" drives mbr.img | grep -qE "^mbr.img@6 +64.0 MiB +ntfs " || fail "drives does not list mbr.img@6, NTFS: $("$sarvik" drives mbr.img)"

# Each partition scans as its volume image does (only the device path differs).
same_scan() { # PARTITION IMAGE [OPTION]...
    "$sarvik" scan "$1" --json "${@:3}" >part.json 2>/dev/null || fail "scan $1 ${*:3}"
    "$sarvik" scan "$2" --json >whole.json 2>/dev/null || fail "scan $2"
    python3 - "$1" <<'PY' || fail "scan of $1 differs from its volume image"
import json, sys
a, b = json.load(open("part.json")), json.load(open("whole.json"))
for d in (a, b):
    d.pop("devicePath", None)
    d.get("volume", {}).pop("devicePath", None)
assert a == b, sys.argv[1]
assert any(f.get("deleted") for f in a["files"])
PY
}
same_scan mbr.img@1 "$vols/fat16.img"
same_scan mbr.img@5 "$vols/fat32-s1.img"
same_scan mbr.img@6 "$vols/ntfs.img"
same_scan gpt.img@1 "$vols/fat32-s1.img"
same_scan gpt.img@2 "$vols/ntfs.img"
if "$sarvik" scan mbr.img@2 >/dev/null 2>err.txt; then fail "the extended container was scanned"; fi
grep -q "no partition 2" err.txt || fail "no reason for the missing partition: $(cat err.txt)"

# A snapshot of a partition records the disk by its absolute path and reopens
# the partition from anywhere.
"$sarvik" scan mbr.img@5 --snapshot PART.RVU >/dev/null 2>&1 || fail "snapshot of mbr.img@5"
(cd / && "$sarvik" ls "$work/PART.RVU" >"$work/ls.txt" 2>"$work/err.txt") || fail "ls of the partition's snapshot"
[[ ! -s err.txt ]] || fail "the snapshot's partition was not reopened: $(cat err.txt)"
grep -q "Good" ls.txt || fail "no condition in the snapshot's listing"

# Recovery from a partition: byte-exact against the manifest, with the
# catalogue's times; --no-times keeps the copy's.
check_recovery() { # PARTITION VOLUME
    rm -rf out && mkdir out
    "$sarvik" scan "$1" --classic --json >scan.json 2>/dev/null
    "$sarvik" recover "$1" --classic --to out --all >summary.txt 2>/dev/null || fail "recover $1"
    python3 - "$vols/$2.manifest.tsv" <<'PY' || fail "recovery of $1"
import csv, hashlib, json, os, sys, time, datetime
scan = json.load(open("scan.json"))
manifest = {r["path"]: r for r in csv.DictReader(open(sys.argv[1]), delimiter="\t")}
checked = timed = overwritten = 0
for f in scan["files"]:
    p = (f.get("path") or "").lstrip("/")
    m = manifest.get(p)
    out = os.path.join("out", p)
    if not f.get("deleted") or m is None or not os.path.isfile(out):
        continue
    if m["contiguous"] != "no" and "data_overwritten" not in m["notes"] and "entry_overwritten" not in m["notes"] \
            and "mft_record_reused" not in m["notes"] and m["state"] == "deleted":
        digest = hashlib.sha256(open(out, "rb").read()).hexdigest()
        assert digest == m["sha256"], (p, "bytes differ")
        assert f.get("condition") == "Good", (p, f.get("condition"))
        checked += 1
    if ("data_overwritten" in m["notes"] or "mft_record_reused" in m["notes"]) and m["state"] == "deleted":
        assert f.get("condition") in ("Overwritten", "Partly overwritten"), (p, f.get("condition"))
        overwritten += 1
    st = os.stat(out)
    if "writeDate" in f:
        # FAT: the write date and time of day (2-second steps), as local time.
        d, t = f["writeDate"], f["writeTime"]
        want = time.mktime((1980 + (d >> 9), (d >> 5) & 15, d & 31, t >> 11, (t >> 5) & 63, (t & 31) * 2, 0, 0, -1))
    else:
        want = f["modifiedTime"] // 10**7 - 11644473600
    assert int(st.st_mtime) == int(want), (p, st.st_mtime, want)
    timed += 1
assert checked > 0 and timed > 0, (checked, timed)
print(f"{checked} byte-exact and Good, {overwritten} overwritten, {timed} with their times")
PY
    rm -rf out && mkdir out
    "$sarvik" recover "$1" --to out --all --no-times >/dev/null 2>&1 || fail "recover --no-times $1"
    newest=$(find out -type f -printf '%T@\n' | sort -n | tail -1)
    [[ ${newest%.*} -ge $(($(date +%s) - 600)) ]] || fail "--no-times: files do not carry the copy's time"
}
check_recovery mbr.img@1 fat16
# part B.bin's clusters went to a later file that was deleted in turn, and the
# fragmented file's consecutive clusters run into a live one.
grep -qx "2 files written from clusters that are now in use" summary.txt || fail "summary: $(cat summary.txt)"
check_recovery mbr.img@5 fat32-s1
check_recovery mbr.img@6 ntfs
check_recovery gpt.img@2 ntfs

# Lost volumes: with the MBR wiped the three volumes are found where they
# start and each scans as its partition does; with the NTFS boot sector
# wiped too, only the deep search finds that volume (by its backup at the
# volume's end). A GPT disk whose sectors 0 and 1 are wiped lists its
# partitions from the backup header.
cp mbr.img lost.img
dd if=/dev/zero of=lost.img bs=512 count=1 conv=notrunc status=none
"$sarvik" volumes lost.img --json >lost.json || fail "volumes of a disk without its MBR"
python3 - <<'PY' || fail "lost volumes"
import json
found = [(v["source"], v["firstSector"], v["fileSystem"]) for v in json.load(open("lost.json"))["volumes"]]
assert found == [("lost.img@lost1", 2048, "FAT16"), ("lost.img@lost2", 71680, "FAT32"), ("lost.img@lost3", 204800, "NTFS")], found
PY
if "$sarvik" scan lost.img >/dev/null 2>lost.err; then fail "a disk without its table was scanned as a volume"; fi
grep -q "lost.img@lost1 (FAT16), lost.img@lost2 (FAT32), lost.img@lost3 (NTFS)" lost.err || fail "no lost volumes named: $(cat lost.err)"
same_scan lost.img@lost1 "$vols/fat16.img"
# The drive list names them too.
"$sarvik" drives lost.img >drives.txt || fail "drives of a disk without its MBR"
[[ $(grep -c "lost.img@lost[123] " drives.txt) -eq 3 ]] || fail "drives does not list the lost volumes: $(cat drives.txt)"
same_scan lost.img@lost3 "$vols/ntfs.img"
# The same volumes named by where they start: a stretch given by its start
# alone ends where its file system does (the FAT32 volume after it is not
# taken in), and a snapshot of it reopens it from anywhere.
same_scan lost.img "$vols/fat16.img" --offset 1M
same_scan lost.img "$vols/fat32-s1.img" --offset $((71680 * 512))B --size 64M
"$sarvik" scan lost.img --offset 204800 --snapshot REGION.RVU >/dev/null 2>&1 || fail "snapshot of a stretch"
(cd / && "$sarvik" recover "$work/REGION.RVU" --all --to "$work/region" >/dev/null 2>"$work/err.txt") ||
    fail "recovery from the snapshot of a stretch: $(cat err.txt)"
[[ $(find region -type f | wc -l) -gt 10 ]] || fail "nothing recovered from the snapshot of a stretch"
for bad in "--offset 1x" "--offset 1M --size 0" "--offset -1"; do
    # shellcheck disable=SC2086
    if "$sarvik" scan lost.img $bad >/dev/null 2>err.txt; then fail "scan $bad ran"; fi
    grep -q "not a count of sectors" err.txt || fail "scan $bad: $(cat err.txt)"
done
"$sarvik" scan mbr.img@1 --offset 1M >/dev/null 2>err.txt && fail "--offset inside a partition ran"
[[ $? -eq 2 ]] && grep -q "without '@'" err.txt || fail "--offset inside a partition: $(cat err.txt)"
"$sarvik" scan lost.img --offset 1T >/dev/null 2>err.txt && fail "--offset past the end ran"
grep -q "lies past its end" err.txt || fail "--offset past the end: $(cat err.txt)"
dd if=/dev/zero of=lost.img bs=512 seek=204800 count=1 conv=notrunc status=none
"$sarvik" volumes lost.img >quick.txt || fail "quick search without the NTFS boot sector"
! grep -q NTFS quick.txt || fail "the quick search claims a volume whose boot sector is gone: $(cat quick.txt)"
"$sarvik" volumes lost.img --deep >deep.txt 2>/dev/null || fail "deep search"
grep -q "lost3 *NTFS *start 204800 .*backup boot sector at its end" deep.txt || fail "deep search: $(cat deep.txt)"
"$sarvik" scan lost.img@lost3 --json >/dev/null 2>&1 || fail "scan of the NTFS volume found by its backup"
# Sectors the deep search cannot read are counted and said, exit 3; what the
# rest holds is still found.
if [[ -n $shim && -f $shim ]]; then
    set +e
    SARVIK_FAULT_READ=$((71800 * 512))-$((71808 * 512)) LD_PRELOAD=$shim "$sarvik" volumes lost.img --deep >bad.txt 2>bad.err
    status=$?
    set -e
    [[ $status -eq 3 ]] && grep -q "^sarvik: 8 sector(s) could not be read" bad.err && grep -q "lost3 *NTFS" bad.txt ||
        fail "deep search over bad sectors: exit $status: $(cat bad.err)"
fi
cp gpt.img nogpt.img
dd if=/dev/zero of=nogpt.img bs=512 count=2 conv=notrunc status=none
"$sarvik" info nogpt.img >nogpt.txt || fail "info of a GPT disk without its first sectors"
grep -q "backup header" nogpt.txt && grep -q "nogpt.img@2" nogpt.txt || fail "backup GPT: $(cat nogpt.txt)"
same_scan nogpt.img@2 "$vols/ntfs.img"

# A whole disk named without @N: with one FAT or NTFS volume on it, that volume
# is scanned (and the choice said on standard error); with several, none is
# guessed and the error names them.
truncate -s $((70000 * 512)) one.img
printf 'label: dos\nstart=2048, size=65536, type=6\n' | sfdisk -q one.img
dd if="$vols/fat16.img" of=one.img bs=512 seek=2048 conv=notrunc,sparse status=none
"$sarvik" scan one.img --json >whole.json 2>whole.err || fail "scan of a disk with one volume"
grep -q "one.img@1" whole.err || fail "the chosen partition is not named: $(cat whole.err)"
"$sarvik" scan one.img@1 --json >part.json || fail "scan one.img@1"
cmp -s whole.json part.json || fail "the disk's only volume scans differently from its partition"
if "$sarvik" scan mbr.img >/dev/null 2>several.err; then fail "a disk of three volumes was scanned as one"; fi
grep -q "mbr.img@1 mbr.img@5 mbr.img@6" several.err || fail "the three partitions are not named: $(cat several.err)"
echo "partitions: ok"
