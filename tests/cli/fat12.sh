#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# FAT12 volumes made by mkfs.fat and mtools (tools/make-test-volumes.sh: a
# 16 MiB volume and a 1.44 MB floppy): `info` names FAT12, --classic refuses it
# naming why (exit 1), recover --all brings back every deleted file under its
# own name (a short name alone loses its first letter) and byte-exact unless
# later files took its clusters, and a recovery snapshot of the scan gives the
# same files again. A floppy placed in a disk with no partition table is found
# by the lost-volume search.
# Usage: fat12.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $VOLUMES/fat12.img && -f $VOLUMES/fat12-floppy.img ]] ||
    { echo "no FAT12 volumes in $VOLUMES (tools/make-test-volumes.sh DIR fat12)" >&2; exit 77; }

# Runs sarvik; sets OUT, ERR and RC.
run() {
    set +e
    "$SARVIK" "$@" >"$WORK/out" 2>"$WORK/err"
    RC=$?
    set -e
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

# Every deleted file of the manifest under DIR by its name; byte-exact unless
# its clusters were not its own alone (taken again, or not in one run).
check_recovered() { # MANIFEST DIR NAME
    python3 - "$@" <<'PY' || fail "$3: recovered files differ from the manifest"
import csv, hashlib, os, sys
manifest, root, name = sys.argv[1:]
bad = named = exact = total = 0
for r in csv.DictReader(open(manifest, encoding="utf-8"), delimiter="\t"):
    if r["type"] != "file" or r["state"] != "deleted":
        continue
    total += 1
    folder, base = os.path.split(os.path.join(root, r["path"]))
    found = [n for n in (os.listdir(folder) if os.path.isdir(folder) else [])
             if n == base or (n[1:] == base[1:] and n[0] != base[0])]
    if not found:
        print("not recovered by its name:", r["path"], file=sys.stderr)
        bad += 1
        continue
    named += 1
    data = open(os.path.join(folder, found[0]), "rb").read()
    if hashlib.sha256(data).hexdigest() == r["sha256"]:
        exact += 1
    elif r["contiguous"] == "yes" and "overwritten" not in r["notes"]:
        print("content differs:", r["path"], file=sys.stderr)
        bad += 1
print(f"[{name}] {named} of {total} deleted files by name, {exact} byte-exact")
sys.exit(1 if bad else 0)
PY
}

for name in fat12 fat12-floppy; do
    img=$VOLUMES/$name.img
    run info "$img"
    [[ $RC -eq 0 ]] || fail "info $name: exit $RC: $ERR"
    grep -q "^File System         : FAT12$" <<<"$OUT" || fail "info $name: $OUT"
    run info "$img" --json
    python3 -c 'import json, sys
j = json.load(sys.stdin)
assert j["geometryKind"] == "fat12" and j["drivePage"]["fileSystem"] == "FAT12", j' <<<"$OUT" ||
        fail "info --json $name"
    for command in info scan; do
        run "$command" "$img" --classic
        [[ $RC -eq 1 ]] || fail "$command --classic $name: exit $RC"
        grep -q "a geometry these rules do not read: FAT12 (4,084 clusters or fewer" <<<"$ERR" ||
            fail "$command --classic $name: $ERR"
    done
    run recover "$img" --to "$WORK/$name" --all
    [[ $RC -eq 0 ]] || fail "recover $name: exit $RC: $ERR"
    check_recovered "$VOLUMES/$name.manifest.tsv" "$WORK/$name" "$name"

    run scan "$img" --snapshot "$WORK/$name.rvu"
    [[ $RC -eq 0 ]] || fail "scan --snapshot $name: exit $RC: $ERR"
    snapshot=$(find "$WORK" -maxdepth 1 -iname "$name.rvu")
    run recover "$snapshot" --device "$img" --to "$WORK/$name-snapshot" --all
    [[ $RC -eq 0 ]] || fail "recover from the snapshot of $name: exit $RC: $ERR"
    diff -r "$WORK/$name" "$WORK/$name-snapshot" >&2 || fail "$name: the snapshot recovers other files"
done

# A disk whose partition table is gone: the floppy is found at sector 2048.
truncate -s 4M "$WORK/disk.img"
dd if="$VOLUMES/fat12-floppy.img" of="$WORK/disk.img" bs=512 seek=2048 conv=notrunc status=none
run volumes "$WORK/disk.img"
grep -q "lost1 *FAT12 *start 2048 " <<<"$OUT" || fail "volumes: $OUT $ERR"
run recover "$WORK/disk.img@lost1" --to "$WORK/lost" --all
[[ $RC -eq 0 ]] || fail "recover disk.img@lost1: exit $RC: $ERR"
diff -r "$WORK/fat12-floppy" "$WORK/lost" >&2 || fail "the lost floppy recovers other files"
echo "ok"
