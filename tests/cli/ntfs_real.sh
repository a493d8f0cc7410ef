#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What real NTFS volumes hold and our other volumes do not (made by
# tests/ntfs/make-ntfs-real-volume.py): standard-information times that differ
# from the file name's, data initialized to less than its size, copies of MFT
# records lying in free space, and a boot sector lost without its backup.
# Usage: ntfs_real.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$(realpath "$1") src=$(realpath "$3")
for t in mkntfs ntfs-3g python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian package ntfs-3g)"; exit 77; }
done
[[ -c /dev/fuse ]] || { echo "skip: /dev/fuse is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

python3 "$src/tests/ntfs/make-ntfs-real-volume.py" "$work" real || fail "making the volume"

# --- times: the standard information's by default, the file name's as extra fields
"$sarvik" scan real.img --json >scan.json 2>/dev/null || fail "scan --json"
"$sarvik" scan real.img --classic --json >classic.json 2>/dev/null || fail "scan --classic --json"
"$sarvik" scan real.img --bodyfile >body.txt 2>/dev/null || fail "scan --bodyfile"
"$sarvik" scan real.img >scan.txt 2>/dev/null || fail "scan"
"$sarvik" scan real.img --snapshot "$work/snap" >/dev/null 2>&1 || fail "scan --snapshot"
"$sarvik" scan "$work/SNAP.RVU" --json >snap.json 2>/dev/null || fail "scan of the snapshot"
"$sarvik" recover real.img --to out --all --report report.jsonl >/dev/null 2>&1 || fail "recover"
python3 - <<'PY' || fail "times"
import json, os
want = json.load(open("real.json"))
def by_path(doc):
    d = json.load(open(doc))
    return {e["path"].lstrip("/"): e for e in d["files"] + d["folders"] if e.get("path")}
scan, classic, snap = by_path("scan.json"), by_path("classic.json"), by_path("snap.json")
text = open("scan.txt").read()
body = {l.split("|")[2]: l.rstrip("\n").split("|") for l in open("body.txt")}
ticks = lambda t: (t - 116444736000000000) * 100  # FILETIME to ns since 1970
checked = 0
for path, t in want["times"].items():
    if path not in scan:
        continue  # a live file: listed with --live only
    e = scan[path]
    assert e["modifiedTime"] == t["modified"], (path, e["modifiedTime"], t)
    assert e["accessedTime"] == t["accessed"] and e["recordChangedTime"] == t["ctime"], (path, e, t)
    # The file name keeps the time the file was made, which utime did not change.
    assert e["fileNameModifiedTime"] == e["fileNameCreatedTime"] != e["modifiedTime"], (path, e)
    assert e["createdTime"] == e["fileNameCreatedTime"], (path, e)
    c = classic[path]
    assert c["modifiedTime"] == e["fileNameModifiedTime"] and "fileNameModifiedTime" not in c, (path, c)
    assert snap[path]["modifiedTime"] == t["modified"], (path, "snapshot", snap[path])
    b = body[str(e["recordNumber"])]
    assert int(b[8]) == ticks(t["modified"]) // 10**9 and int(b[7]) == ticks(t["accessed"]) // 10**9, (path, b)
    if "modified" in e and path.endswith(".txt") and e["deleted"]:
        assert e["modified"][:19].replace("T", " ") in text, (path, e["modified"])
        st = os.stat(os.path.join("out", path))
        assert st.st_mtime_ns == ticks(t["modified"]) and st.st_atime_ns == ticks(t["accessed"]), (path, st)
    checked += 1
assert checked == 4, checked
PY
# The Sleuth Kit reads the same times from the standard information.
if command -v istat >/dev/null; then
    n=$(python3 -c 'import json; print(json.load(open("real.json"))["records"]["Times/old2.txt"])')
    want=$(istat real.img "$n" | awk '/^\$STANDARD_INFORMATION/ {s=1} s && /^File Modified:/ {print $3 "T" $4; exit}')
    got=$(python3 -c 'import json; print([f["modified"] for f in json.load(open("scan.json"))["files"] if f["name"] == "old2.txt"][0])')
    [[ ${got%Z} == "${want:0:27}" ]] || fail "istat gives $want, the scan $got"
fi

# --- initialized size: the bytes past it are zeros, and only the rest is judged
python3 - <<'PY' || fail "initialized size"
import json
want = json.load(open("real.json"))
files = {f["path"].lstrip("/"): f for f in json.load(open("scan.json"))["files"]}
report = {json.loads(l)["source"].lstrip("/"): json.loads(l) for l in open("report.jsonl")}
for path, valid in want["initialized"].items():
    data = open("out/" + path, "rb").read()
    assert len(data) == want["sizes"][path], (path, len(data))
    assert data[valid:] == bytes(len(data) - valid), (path, "bytes past the initialized size")
    assert (valid == 0) == (data == bytes(len(data))), (path, "the initialized bytes")
    # The clusters past the initialized part belong to another file now.
    assert files[path]["condition"] == "Good" and files[path]["clustersInUse"] == 0, (path, files[path])
    assert report[path]["outcome"] == "written" and report[path]["overwrittenShare"] == 0, report[path]
PY
if command -v icat >/dev/null; then
    for path in Valid/short.bin Valid/part.bin; do
        n=$(python3 -c 'import json,sys; print(json.load(open("real.json"))["records"][sys.argv[1]])' "$path")
        icat -r real.img "$n" | cmp -s - "out/$path" || fail "$path: icat -r gives other bytes"
    done
fi

# --- copies of MFT records in free space: one of a record in use with its own
# sequence number and name (or creation time: a rename) is that file, not a
# lost one; the others (another sequence, a number the MFT lacks, another name
# and creation time: a file of an earlier volume) are found
"$sarvik" scan real.img --deep --json >deep.json 2>/dev/null || fail "scan --deep --json"
python3 - <<'PY' || fail "copies of MFT records"
import json
found = {f["name"]: f for f in json.load(open("deep.json"))["files"] if f["deleted"]}
for name in ("live.txt", "earlier.txt"):
    assert name not in found, ("a file in use listed as deleted", found.get(name))
for name in ("other.txt", "far.txt", "early.txt"):
    assert name in found and found[name]["path"].startswith("/$Found records/"), (name, found.get(name))
assert found["far.txt"]["recordNumber"] == 60000, found["far.txt"]
PY

# --- a parent reference is 48 bits: one past 32 is no folder of the volume
"$sarvik" scan real-refs.img --json >refs.json 2>/dev/null || fail "scan --json of real-refs.img"
python3 - <<'PY' || fail "48-bit parent references"
import json
want = json.load(open("real.json"))
f = [f for f in json.load(open("refs.json"))["files"] if f["name"] == "high.txt"]
assert len(f) == 1 and f[0]["parentRecord"] == want["highParent"] > 2**32, f
assert not f[0]["path"].startswith("/Refs/"), ("read as 32 bits", f[0]["path"])
PY
if command -v fls >/dev/null; then
    fls -r -d -p real-refs.img | grep -q $'\t$OrphanFiles/high.txt$' || fail "fls does not call high.txt an orphan"
fi
# The snapshot's record numbers are 32-bit: saving says so rather than wrap.
if "$sarvik" scan real-refs.img --snapshot "$work/refs" >/dev/null 2>err.txt; then fail "a snapshot of real-refs.img"; fi
grep -q "does not fit the 32-bit field" err.txt || fail "saving the snapshot: $(cat err.txt)"
[[ ! -e "$work/REFS.RVU" ]] || fail "a snapshot was written"

# --- a lost boot sector: the backup stands in, with a warning; without one
# nothing is guessed (no capacity, no listing, a failure status)
cp real.img boot.img
dd if=/dev/zero of=boot.img bs=512 count=1 conv=notrunc status=none
"$sarvik" info boot.img >info.txt 2>err.txt || fail "info with the backup boot sector: $(cat err.txt)"
grep -q "^Capacity *: 64\.[0-9] MiB ($(($(stat -c %s boot.img) / 512 * 512)) bytes)$" info.txt || fail "capacity from the backup: $(grep Capacity info.txt)"
"$sarvik" scan boot.img >/dev/null 2>err.txt || fail "scan with the backup boot sector"
grep -q "read from the backup boot sector" err.txt || fail "no word of the backup: $(cat err.txt)"
dd if=/dev/zero of=boot.img bs=512 count=1 seek=$(( $(stat -c %s boot.img) / 512 - 1 )) conv=notrunc status=none
rc=0; "$sarvik" scan boot.img >scan-noboot.txt 2>err.txt || rc=$?
[[ $rc == 1 && ! -s scan-noboot.txt ]] || fail "no boot sector nor backup: exit $rc, $(head -3 scan-noboot.txt)"

echo "ntfs_real: all checks passed"
