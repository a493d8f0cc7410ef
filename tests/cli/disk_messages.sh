#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a disk or a damaged FAT32 boot sector is said to be, on small images
# made here with sgdisk, sfdisk, mkfs.fat and mtools (Python writes the damage):
#   - a GPT that names no partition: scan says so (exit 1), info lists the disk
#     with no partitions (exit 0), never "NOT READY";
#   - a FAT32 boot sector whose 32-bit sector count is 0 (the backup at sector 6
#     keeps it), with and without its "FAT32" type text: read from the backup,
#     and said so, never "gone and has no backup";
#   - scan DISK of a disk whose one volume is its second partition names that
#     partition in its header and notes;
#   - scan DISK of a disk whose one volume has a damaged main boot sector (the
#     partition opens from its backup) reads it as it does DISK@1, where a disk
#     of two volumes is refused with their names.
# Usage: disk_messages.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
SARVIK=$1
for t in sgdisk sfdisk mkfs.fat mcopy mdel python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (gdisk, fdisk, dosfstools, mtools)"; exit 77; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { # OUT ERR ARGS...: runs sarvik, keeps its status in $rc
    local out=$1 err=$2
    shift 2
    rc=0
    "$SARVIK" "$@" >"$out" 2>"$err" || rc=$?
}

# A FAT32 volume of 80,000 sectors holding one deleted file.
echo "a deleted file" >gone.txt
mkfs.fat -F 32 -i 5a5a0001 -C fat32.img 40000 >/dev/null
mcopy -i fat32.img gone.txt ::/gone.txt
mdel -i fat32.img ::/gone.txt
damage() { # IMAGE OFFSET [notext]: zero the 32-bit sector count of the boot sector at OFFSET
    python3 - "$@" <<'PY'
import sys
image, at = sys.argv[1], int(sys.argv[2])
with open(image, "r+b") as f:
    f.seek(at + 32)
    f.write(bytes(4))
    if sys.argv[3:] == ["notext"]:  # the type text gone from the boot sector and its backup
        for sector in (0, 6):
            f.seek(at + sector * 512 + 82)
            f.write(b" " * 8)
PY
}

# 1. A GPT that names no partition.
truncate -s 20M gpt-empty.img
sgdisk -o gpt-empty.img >/dev/null
run out err scan gpt-empty.img
[[ $rc == 1 ]] || fail "scan of an empty GPT: exit $rc"
grep -q "gpt-empty.img: a disk whose GPT partition table names no partition: there is no volume to read" err || fail "scan of an empty GPT: $(cat err)"
run out err info gpt-empty.img
[[ $rc == 0 ]] || fail "info of an empty GPT: exit $rc: $(cat err)"
grep -q "^Partitions *: 0$" out || fail "info of an empty GPT: $(cat out)"
grep -q "^Partition table *: GPT, naming no partition" out || fail "info of an empty GPT: $(cat out)"
! grep -q "NOT READY" out || fail "info of an empty GPT says NOT READY"
run out err info gpt-empty.img --json
python3 -c 'import json,sys; d=json.load(open("out")); assert d["partitions"] == [], d' || fail "info --json: $(cat out)"

# 2. A FAT32 boot sector that counts no sectors: read from its backup.
for variant in keeptext notext; do
    cp --sparse=always fat32.img damaged.img
    if [[ $variant == notext ]]; then damage damaged.img 0 notext; else damage damaged.img 0; fi
    run out err scan damaged.img
    [[ $rc == 0 ]] || fail "$variant: scan: exit $rc: $(cat err)"
    grep -q "damaged.img: read from the backup boot sector (sector 6)" err || fail "$variant: no backup note: $(cat err)"
    ! grep -q "has no backup" err || fail "$variant: $(cat err)"
    grep -q "^FAT32 volume damaged.img" out || fail "$variant: $(cat out)"
    grep -q "^0 folder(s), 1 deleted file(s) found" out || fail "$variant: the deleted file is not listed: $(cat out)"
done

# 3. A disk whose one volume is its second partition: the header names it.
truncate -s $((90000 * 512)) two.img
printf 'label: dos\nstart=2048, size=2048, type=82\nstart=4096, size=80000, type=c\n' | sfdisk -q two.img
dd if=fat32.img of=two.img bs=512 seek=4096 conv=notrunc,sparse status=none
run out err scan two.img
[[ $rc == 0 ]] || fail "scan two.img: exit $rc: $(cat err)"
grep -q "its only FAT32 volume is two.img@2" err || fail "scan two.img: $(cat err)"
grep -q "^FAT32 volume two.img@2, " out || fail "scan two.img: the header does not name two.img@2: $(head -1 out)"

# 4. A disk whose one volume's main boot sector is damaged: read from the
# backup as two.img@N is, not refused; a disk of two volumes is refused.
truncate -s $((90000 * 512)) one.img
printf 'label: dos\nstart=2048, size=80000, type=c\n' | sfdisk -q one.img
dd if=fat32.img of=one.img bs=512 seek=2048 conv=notrunc,sparse status=none
python3 -c 'f = open("one.img", "r+b"); f.seek(2048 * 512); f.write(bytes(512))'
run out err scan one.img@1
[[ $rc == 0 ]] || fail "scan one.img@1: exit $rc: $(cat err)"
cp out part.txt
run out err scan one.img
[[ $rc == 0 ]] || fail "scan one.img (refused, though one.img@1 opens): exit $rc: $(cat err)"
grep -q "its only FAT32 volume is one.img@1" err || fail "scan one.img: $(cat err)"
grep -q "one.img@1: read from the backup boot sector (sector 6)" err || fail "scan one.img: $(cat err)"
diff part.txt out >/dev/null || fail "scan one.img differs from scan one.img@1: $(diff part.txt out)"
truncate -s $((170000 * 512)) pair.img
printf 'label: dos\nstart=2048, size=80000, type=c\nstart=82048, size=80000, type=c\n' | sfdisk -q pair.img
dd if=fat32.img of=pair.img bs=512 seek=2048 conv=notrunc,sparse status=none
dd if=fat32.img of=pair.img bs=512 seek=82048 conv=notrunc,sparse status=none
run out err scan pair.img
[[ $rc == 1 ]] || fail "scan of a disk of two volumes: exit $rc"
grep -q "name one of its partitions as SOURCE: pair.img@1 pair.img@2" err || fail "scan pair.img: $(cat err)"
echo "ok"
