#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Opening volumes whose geometry is not the usual one (made by
# tests/disk/make-geometry-volumes.py: NTFS with 4,096-byte sectors, FAT16 with
# one FAT): `info` shows the real sector and record sizes; --thorough recovers
# every deleted file byte-exact; --classic refuses naming the field (exit 1).
# A copy whose main boot sector is zeroed opens through its backup and still
# recovers every file; a cut copy is reported up front. Each failure to open
# has its own message.
# Usage: geometry.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $VOLUMES/ntfs-4k.img && -f $VOLUMES/fat16-1fat.img ]] ||
    { echo "no geometry volumes in $VOLUMES (tests/disk/make-geometry-volumes.py)" >&2; exit 77; }
command -v python3 >/dev/null || { echo "python3 needed" >&2; exit 77; }

# Runs sarvik; sets OUT, ERR and RC.
run() {
    set +e
    "$SARVIK" "$@" >"$WORK/out" 2>"$WORK/err"
    RC=$?
    set -e
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

# Every deleted file of the manifest, byte-exact at its path under DIR.
check_recovered() {
    python3 - "$1" "$2" <<'PY' || fail "$3: recovered files differ from the manifest"
import hashlib, os, sys
manifest, root = sys.argv[1:]
rows = [l.rstrip("\n").split("\t") for l in open(manifest, encoding="utf-8")][1:]
bad = 0
for path, kind, size, sha, state, *_ in rows:
    if kind != "file" or state != "deleted":
        continue
    full = os.path.join(root, path)
    got = hashlib.sha256(open(full, "rb").read()).hexdigest() if os.path.isfile(full) else None
    if got != sha:
        print("missing or different:", path, file=sys.stderr)
        bad += 1
sys.exit(1 if bad else 0)
PY
}

run info "$VOLUMES/ntfs-4k.img" --thorough
[[ $RC -eq 0 ]] || fail "info ntfs-4k: exit $RC: $ERR"
grep -q "^Bytes per sector    : 4096$" <<<"$OUT" || fail "info ntfs-4k: bytes per sector: $OUT"
grep -q "^MFT Record Size     : 4096 bytes$" <<<"$OUT" || fail "info ntfs-4k: record size: $OUT"

for case in "ntfs-4k:bytes per sector 4096" "fat16-1fat:number of FATs 1"; do
    name=${case%%:*}
    field=${case#*:}
    img=$VOLUMES/$name.img
    run recover "$img" --to "$WORK/$name" --all --thorough
    [[ $RC -eq 0 ]] || fail "recover --thorough $name: exit $RC: $ERR"
    check_recovered "$VOLUMES/$name.manifest.tsv" "$WORK/$name" "$name"
    for command in info scan; do
        run "$command" "$img" --classic
        [[ $RC -eq 1 ]] || fail "$command --classic $name: exit $RC"
        grep -q "a geometry these rules do not read: $field" <<<"$ERR" || fail "$command --classic $name: $ERR"
    done
done

# The main boot sector zeroed: the backup (NTFS: the last sector) serves.
cp --sparse=always "$VOLUMES/ntfs-4k.img" "$WORK/noboot.img"
dd if=/dev/zero of="$WORK/noboot.img" bs=4096 count=1 conv=notrunc status=none
run info "$WORK/noboot.img" --thorough
[[ $RC -eq 0 ]] || fail "info noboot: exit $RC: $ERR"
grep -q "^Note                : read from the backup boot sector (sector 4095)" <<<"$OUT" || fail "info noboot: $OUT"
run recover "$WORK/noboot.img" --to "$WORK/noboot" --all --thorough
[[ $RC -eq 0 ]] || fail "recover noboot: exit $RC: $ERR"
grep -q "backup boot sector" <<<"$ERR" || fail "recover noboot says nothing of the backup: $ERR"
check_recovered "$VOLUMES/ntfs-4k.manifest.tsv" "$WORK/noboot" noboot

# A copy cut short: said once, before the scan.
head -c $((8 << 20)) "$VOLUMES/fat16-1fat.img" >"$WORK/cut.img"
run info "$WORK/cut.img" --thorough
grep -q "the image ends at sector 16384 of the volume's 32768: 8.0 MiB (50%) is missing" <<<"$OUT" || fail "info cut: $OUT"
run scan "$WORK/cut.img" --thorough
[[ $(grep -c "the image ends at sector 16384 of the volume's 32768: 8.0 MiB (50%) is missing" <<<"$ERR") -eq 1 ]] ||
    fail "scan cut: $ERR"

# Cut copies of FAT16, FAT32, exFAT and NTFS volumes list every deleted entry
# their file system records, as fls does on the same cut copy (the two count
# alike on the whole volume up to a constant this compares against), exit 3
# and say how much is missing. The FAT16 cut lies inside the folders' data.
deleted_count() {
    python3 -c "
import json, sys
d = json.load(sys.stdin)
print(sum(1 for e in d['folders'] + d['files'] if e['deleted']))" <<<"$OUT"
}
if command -v fls >/dev/null; then
    for spec in fat16-s1:100 fat32:100 exfat:150 ntfs:150; do
        name=${spec%%:*}
        whole=$VOLUMES/$name.img
        cut=$WORK/cut-$name.img
        head -c $(( $(stat -c %s "$whole") * ${spec##*:} / 1000 / 512 * 512 )) "$whole" >"$cut"
        run scan "$whole" --json
        ours_whole=$(deleted_count)
        run scan "$cut" --json
        [[ $RC -eq 3 ]] || fail "$name cut: exit $RC"
        [[ $ERR == *"of the volume's"*"is missing"* ]] || fail "$name cut says nothing missing: $ERR"
        ours_cut=$(deleted_count)
        fls_whole=$(fls -r -d "$whole" | wc -l)
        fls_cut=$(fls -r -d "$cut" | wc -l)
        [[ $((ours_cut - fls_cut)) -eq $((ours_whole - fls_whole)) ]] ||
            fail "$name cut: $ours_cut listed, fls $fls_cut (whole: $ours_whole, fls $fls_whole)"
    done
    # Files whose data lies past the cut: their Condition says so, and a copy
    # reports them incomplete (exit 3), not whole.
    run scan "$WORK/cut-fat16-s1.img" --json
    grep -q '"condition": *"Beyond the end of the image"' <<<"$OUT" || fail "no file beyond the cut: $OUT"
    run recover "$WORK/cut-fat16-s1.img" --to "$WORK/cut-out" --all
    [[ $RC -eq 3 && $ERR == *"incomplete"* ]] || fail "recover cut: exit $RC: $ERR"
else
    echo "note: fls (sleuthkit) not installed; cut copies are not compared" >&2
fi

# Failures to open, each with its own message.
run info "$WORK/missing.img"
[[ $RC -eq 1 && $ERR == *"cannot open $WORK/missing.img: No such file or directory"* ]] || fail "missing: $RC $ERR"
head -c 65536 /dev/zero >"$WORK/zeros.img"
run scan "$WORK/zeros.img" --thorough
[[ $RC -eq 1 && $ERR == *"zeros.img: not a FAT12, FAT16, FAT32, exFAT or NTFS volume"* ]] || fail "zeros: $RC $ERR"

# No boot sector and no backup (FAT12 and FAT16 keep none; FAT32's sector 6
# zeroed too): the geometry is worked out from the FATs and folders, said on
# standard error, and the volume lists and recovers as the intact one does.
for v in fat12 fat12-floppy fat16 fat32; do
    [[ -f $VOLUMES/$v.img ]] || continue
    cp "$VOLUMES/$v.img" "$WORK/nob.img"
    dd if=/dev/zero of="$WORK/nob.img" bs=512 count=1 conv=notrunc status=none
    [[ $v == fat32 ]] && dd if=/dev/zero of="$WORK/nob.img" bs=512 seek=6 count=1 conv=notrunc status=none
    run scan "$WORK/nob.img" --json
    [[ $RC -eq 0 && $ERR == *"geometry rebuilt from the allocation tables and folders"* ]] || fail "$v rebuilt: $RC $ERR"
    "$SARVIK" scan "$VOLUMES/$v.img" --json 2>/dev/null | python3 -c '
import json, sys
a = json.load(sys.stdin)["files"]; b = json.load(open(sys.argv[1]))["files"]
key = lambda f: (f.get("path"), f.get("size"), f.get("condition"))
assert sorted(map(key, a)) == sorted(map(key, b)) and a, "listings differ"' "$WORK/out" || fail "$v: the rebuilt volume lists otherwise"
    rm -rf "$WORK/a" "$WORK/b"
    "$SARVIK" recover "$VOLUMES/$v.img" --all --to "$WORK/a" >/dev/null 2>&1 || true
    "$SARVIK" recover "$WORK/nob.img" --all --to "$WORK/b" >/dev/null 2>&1 || true
    diff -r "$WORK/a" "$WORK/b" >/dev/null || fail "$v: the rebuilt volume recovers otherwise"
done
echo "geometry: ok"
