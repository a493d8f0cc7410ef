#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An NTFS volume quick-formatted over a used one (mkntfs -Q): the new MFT
# covers the old one's first records only, and its $Bitmap calls the rest free.
# The quick scan finds none of the old files; the deep search reads the old
# records from free space and brings every file back by its path, byte-exact,
# with nothing that carving finds inside them listed a second time. Files
# written after the format take some of the old clusters and records: what is
# copied whole and said to be unharmed is still the old bytes.
# Usage: ntfs_reformat.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$(realpath "$1") src=$(realpath "$3")
for t in mkntfs ntfs-3g python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian package ntfs-3g)"; exit 77; }
done
[[ -c /dev/fuse ]] || { echo "skip: /dev/fuse is missing"; exit 77; }
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# The used volume, quick-formatted: 90 PNGs (which carving recognises) in
# nested folders, 60 texts and a file at the root.
python3 "$src/tests/ntfs/make-ntfs-reformat-volume.py" "$work" old 96 90 60 || fail "making the volume"
mv old.manifest.tsv manifest.tsv

# Every deleted file that the recovery says it wrote whole and unharmed holds
# the bytes the manifest gives for its path (for one under "$Found records",
# whose folder is gone, for its name: the names are unique); prints how many
# there were.
check() { # OUT REPORT
    python3 - "$1" "$2" <<'PY'
import hashlib, json, os, sys
out, report = sys.argv[1], sys.argv[2]
manifest = dict(line.rstrip("\n").split("\t") for line in open("manifest.tsv"))
by_name = {os.path.basename(p): h for p, h in manifest.items()}
good = 0
for line in open(report):
    r = json.loads(line)
    path = r["source"].lstrip("/")
    found = path.startswith("$Found records/")
    want = by_name.get(os.path.basename(path)) if found else manifest.get(path)
    if r["outcome"] != "written" or r["overwrittenShare"] != 0 or want is None:
        continue
    got = hashlib.sha256(open(r["written"], "rb").read()).hexdigest()
    assert got == want, "%s: other bytes than the old file's" % path
    good += 1
print(good)
PY
}

"$sarvik" scan old.img --json >quick.json 2>/dev/null || fail "quick scan"
python3 -c 'import json,sys; d=json.load(open("quick.json")); sys.exit(any(f.get("deleted") for f in d["files"]))' ||
    fail "the quick scan lists files of the earlier volume"
"$sarvik" recover old.img --deep --all --to out --report report.json >/dev/null 2>err.txt || fail "recover --deep: $(cat err.txt)"
[[ $(check out report.json) -eq 151 ]] || fail "not every file came back whole by its path: $(check out report.json)"
# Each PNG is listed once, by its name: what carving found in them is dropped.
[[ -z $(find out -path '*Carved*' -name '*.png') ]] || fail "carved copies of found files: $(find out -path '*Carved*' | head -3)"

# Files written after the format: some old records and clusters are gone.
cp old.img used.img
mkdir -p mnt
ntfs-3g used.img mnt
for i in $(seq 1 5); do head -c $((i * 3000)) /dev/urandom >"mnt/new$i.bin"; done
umount mnt
"$sarvik" recover used.img --deep --all --to out2 --report report2.json >/dev/null 2>err2.txt ||
    [[ $? -eq 3 ]] || fail "recover --deep after new files: $(cat err2.txt)"
good=$(check out2 report2.json) || fail "a file said to be whole holds other bytes"
[[ $good -ge 135 ]] || fail "after new files, only $good old files came back whole"
echo "ntfs_reformat: 151 of 151 by path; $good after 5 new files"
