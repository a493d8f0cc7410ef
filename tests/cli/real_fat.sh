#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# FAT structures that use and damage leave behind (tests/fat/make-real-fat-volumes.py):
# a moved folder's live entry owns it and its files, its old deleted entry is
# listed as a stand-in that names where it went; a looping chain ends at the
# loop, incomplete and named; a folder entry pointing back at an ancestor is
# named on stderr; a deleted folder is read into clusters past another file's
# and along a chain the table kept; a live file whose chain was cleared is not
# carved as a new file.
# Usage: real_fat.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2
for v in fat-moved fat-loops fat-deleted-dirs fat-cleared; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tests/fat/make-real-fat-volumes.py)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every row of each image's expectations, against scan --live --json and cat --live
# (exfat-moved.img is made only as root, through exfat-fuse).
images=(fat-moved fat-loops fat-deleted-dirs fat-cleared)
[[ -f $vols/exfat-moved.img ]] && images+=(exfat-moved)
for v in "${images[@]}"; do
    "$sarvik" scan "$vols/$v.img" --live --json >"$work/$v.json" 2>"$work/$v.err" || fail "$v: scan: $(cat "$work/$v.err")"
    python3 - "$vols/$v.expect.tsv" "$work/$v.json" "$sarvik" "$vols/$v.img" <<'PY' || fail "$v"
import csv, hashlib, json, subprocess, sys
expect, scan, sarvik, image = sys.argv[1:]
doc = json.load(open(scan))
files = {f["path"].lstrip("/"): f for f in doc["files"]}
folders = {f["path"].lstrip("/"): f for f in doc["folders"] if f["path"]}
for row in csv.DictReader(open(expect), delimiter="\t"):
    path, state, sha = row["path"], row["state"], row["sha256"]
    if state == "moved":
        f = folders.get(path)
        assert f is not None and f["deleted"] and f.get("movedTo"), "%s: no stand-in: %s" % (path, f)
        assert f["movedTo"].lstrip("/") in folders, "%s: moved to %s, not listed" % (path, f["movedTo"])
        assert not any(p.startswith(path + "/") for p in list(files) + list(folders)), "%s holds entries" % path
        continue
    entry = files.get(path) if sha != "-" else folders.get(path)
    if entry is None and sha == "-":
        entry = files.get(path) or folders.get(path)
    assert entry is not None, "%s: not listed" % path
    assert entry["deleted"] == (state == "deleted"), "%s: deleted=%s, expected %s" % (path, entry["deleted"], state)
    if sha not in ("-", ""):
        got = subprocess.run([sarvik, "cat", "--live", image, "/" + path], capture_output=True)
        assert got.returncode == 0, "%s: cat: %s" % (path, got.stderr)
        assert hashlib.sha256(got.stdout).hexdigest() == sha, "%s: other bytes" % path
PY
done

# Moved folders: the text listing names where each went; nothing lists a live file as deleted.
"$sarvik" scan "$vols/fat-moved.img" >"$work/moved.txt"
grep -q '_1/  (deleted; moved: now /test/2/11)' "$work/moved.txt" || fail "moved note: $(cat "$work/moved.txt")"
grep -q '_ub/  (deleted; moved: now /sub)' "$work/moved.txt" || fail "moved note (live entry first)"
python3 - "$work/fat-moved.json" <<'PY' || fail "fat-moved: counts"
import json, sys
doc = json.load(open(sys.argv[1]))
live = sorted(f["path"] for f in doc["files"] if not f["deleted"])
assert live == ["/sub/deep.bin", "/test/2/11/1.txt", "/test/2/other.txt"], live
deleted = [f["path"] for f in doc["files"] if f["deleted"]]
assert deleted == ["/test/2/11/_one.txt"], deleted
PY

# A chain that loops inside the file's size: the clusters up to the loop, named, exit 3.
set +e
"$sarvik" cat --live "$vols/fat-loops.img" /loop.txt >"$work/loop.bin" 2>"$work/loop.err"
rc=$?
set -e
[[ $rc -eq 3 ]] || fail "cat of a looping chain: exit $rc"
grep -q 'incomplete: its cluster chain loops at cluster' "$work/loop.err" || fail "loop not named: $(cat "$work/loop.err")"
[[ $(stat -c %s "$work/loop.bin") -eq 10240 ]] || fail "loop.txt: $(stat -c %s "$work/loop.bin") bytes, not the 5 clusters before the loop"
"$sarvik" recover "$vols/fat-loops.img" --live /loop.txt --to "$work/rec" --report "$work/rec.json" >/dev/null 2>&1 && rc=0 || rc=$?
[[ $rc -eq 3 ]] || fail "recover of a looping chain: exit $rc"
grep -q '"outcome":"incomplete","reason":"incomplete: its cluster chain loops at cluster' "$work/rec.json" ||
    fail "report: $(cat "$work/rec.json")"
grep -q 'folder /a/b/up points back at /a, a folder above it' "$work/fat-loops.err" ||
    fail "folder loop not named: $(cat "$work/fat-loops.err")"

# Deleted folders: every entry, past a cluster of another file and along a kept chain, quick and deep.
for deep in "" --deep; do
    "$sarvik" scan "$vols/fat-deleted-dirs.img" $deep --json >"$work/dirs.json"
    python3 - "$work/dirs.json" <<'PY' || fail "fat-deleted-dirs $deep"
import collections, json, sys
doc = json.load(open(sys.argv[1]))
count = collections.Counter(f["path"].split("/")[1] for f in doc["files"] if f["path"].count("/") == 2)
assert count["_plit"] == 252 and count["_hained"] == 400, count
PY
done

# A live file whose chain was cleared is not carved: its clusters are its own.
"$sarvik" scan "$vols/fat-cleared.img" --deep --json >"$work/cleared.json"
python3 - "$work/cleared.json" <<'PY' || fail "fat-cleared"
import json, sys
doc = json.load(open(sys.argv[1]))
carved = [f["path"] for f in doc["files"] if f.get("carved")]
assert carved == [], carved
assert [f["path"] for f in doc["files"]] == ["/_one.txt"], [f["path"] for f in doc["files"]]
PY
echo "real_fat: ok"
