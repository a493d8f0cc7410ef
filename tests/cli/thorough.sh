#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The thorough rules (the default) on volumes made by tools/make-test-volumes.sh: every deleted
# file whose entry and (consecutive) data are still on disk comes back byte-exact under
# its path, never fewer than the classic rules, tsk_recover, ntfsundelete or testdisk
# bring back (on thorough-fat32, when made, that includes a deleted folder whose later
# clusters lie apart from its first); a thorough snapshot keeps its UTF-8 names and
# recovers the same bytes as the image. On thorough-fat32, the files of a deleted
# folder whose own entry was overwritten (manifest note in_lost_folder) come back
# byte-exact under the path that differs from the manifest's only in that
# folder's name, which becomes "$Lost folder N" (N its first cluster). On
# ntfs-extents, when made, the deleted files that lost every name are listed and
# recovered under "$Nameless files/record N".
# Usage: thorough.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
SOURCE=$3
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $VOLUMES/fat32-s1.img && -f $VOLUMES/fat32-s1.manifest.tsv ]] || { echo "no test volumes in $VOLUMES" >&2; exit 77; }
command -v python3 >/dev/null || { echo "python3 needed" >&2; exit 77; }

for name in fat16 fat16-s1 fat32 fat32-s1 ntfs thorough-fat32; do
    img=$VOLUMES/$name.img
    [[ -f $img ]] || continue
    bash "$SOURCE/bench/yield.sh" "$img" "$VOLUMES/$name.manifest.tsv" "$SARVIK" >"$WORK/$name.yield"
    cat "$WORK/$name.yield"
    python3 - "$WORK/$name.yield" "$VOLUMES/$name.manifest.tsv" <<'PY' || fail "$name: thorough yield"
import re, sys
counts = {}
for line in open(sys.argv[1]):
    m = re.match(r"\s+(\S+)\s+(\d+) byte-exact of (\d+)", line)
    if m:
        counts[m.group(1)] = int(m.group(2))
# Deleted files whose entry and data are still on disk, and (FAT) lie in
# consecutive clusters: a deleted FAT file's chain is gone from the table.
whole = 0
with open(sys.argv[2], encoding="utf-8") as f:
    head = f.readline().rstrip("\n").split("\t")
    col = {k: i for i, k in enumerate(head)}
    for line in f:
        row = line.rstrip("\n").split("\t")
        notes = row[col["notes"]].split()
        # (files of a lost folder come back under another path: checked below)
        if row[col["type"]] == "file" and row[col["state"]] == "deleted" and row[col["contiguous"]] != "no" and not (
                {"data_overwritten", "entry_overwritten", "mft_record_reused", "in_lost_folder"} & set(notes)):
            whole += 1
# The deep search finds every whole deleted file; the quick scan every one
# that needs no search of free space (all of them but on thorough-fat32).
t = counts["deep"]
problems = []
if t < whole:
    problems.append(f"thorough --deep {t} < {whole} whole deleted files")
if counts["default"] < counts["classic"]:
    problems.append(f"thorough {counts['default']} < classic {counts['classic']}")
for other in ("classic", "default", "tsk", "ntfsundel", "testdisk"):
    if other in counts and counts[other] > t:
        problems.append(f"thorough --deep {t} < {other} {counts[other]}")
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
done

# A deleted folder whose own entry was overwritten: its files under "$Lost folder N".
img=$VOLUMES/thorough-fat32.img
if [[ -f $img ]]; then
    "$SARVIK" recover "$img" --to "$WORK/lost" --all --thorough --deep >/dev/null 2>&1
    python3 - "$VOLUMES/thorough-fat32.manifest.tsv" "$WORK/lost" <<'PY' || fail "thorough-fat32: files of a lost folder"
import glob, hashlib, os, re, sys
manifest, out = sys.argv[1:]
rows = []
with open(manifest, encoding="utf-8") as f:
    head = f.readline().rstrip("\n").split("\t")
    col = {k: i for i, k in enumerate(head)}
    for line in f:
        row = line.rstrip("\n").split("\t")
        rows.append((row[col["path"]], row[col["type"]], row[col["sha256"]], row[col["notes"]].split()))
lost = [p for p, t, _, n in rows if t == "dir" and "entry_overwritten" in n]
wanted = [(p, sha) for p, t, sha, n in rows if t == "file" and "in_lost_folder" in n]
problems = []
if not lost or not wanted:
    problems.append("the manifest has no lost folder with files")
for path, sha in wanted:
    folder = next(l for l in lost if path.startswith(l + "/"))
    parent, rest = os.path.dirname(folder), path[len(folder) + 1:]
    pattern = os.path.join(out, glob.escape(parent), "$Lost folder *", glob.escape(rest))
    hits = [h for h in glob.glob(pattern)
            if re.fullmatch(r"\$Lost folder \d+", os.path.relpath(h, os.path.join(out, parent)).split(os.sep)[0])]
    if len(hits) != 1:
        problems.append(f"{path}: {len(hits)} copies under {parent}/$Lost folder N")
    elif hashlib.sha256(open(hits[0], "rb").read()).hexdigest() != sha:
        problems.append(f"{path}: other bytes in {os.path.relpath(hits[0], out)}")
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
fi

# A thorough snapshot: marked, UTF-8 names listed as they are, and the same bytes recovered.
img=$VOLUMES/fat32-s1.img
"$SARVIK" scan "$img" --classic --snapshot "$WORK/plain.rvu" >/dev/null 2>&1
"$SARVIK" scan "$img" --snapshot "$WORK/thorough.rvu" >/dev/null 2>&1
[[ $(tail -c 11 "$WORK/PLAIN.RVU" | tr -d "\000") != NAMES=UTF-8 ]] || fail "a classic snapshot carries the UTF-8 marker"
[[ $(tail -c 11 "$WORK/THOROUGH.RVU" | tr -d "\000") == NAMES=UTF-8 ]] || fail "a thorough snapshot lacks the UTF-8 marker"
"$SARVIK" ls "$WORK/THOROUGH.RVU" / 2>/dev/null | grep -q '^Отчёт за май.txt ' || fail "UTF-8 name not listed from the snapshot"
"$SARVIK" recover "$img" --to "$WORK/from-image" --all --thorough >/dev/null 2>&1
"$SARVIK" recover "$WORK/THOROUGH.RVU" --to "$WORK/from-snapshot" --all >/dev/null 2>&1
(cd "$WORK/from-image" && find . -type f -exec sha256sum {} + | sort) >"$WORK/a"
(cd "$WORK/from-snapshot" && find . -type f -exec sha256sum {} + | sort) >"$WORK/b"
[[ -s $WORK/a ]] || fail "thorough recovery wrote nothing"
cmp -s "$WORK/a" "$WORK/b" || fail "the thorough snapshot recovers other bytes than the image"

# Deleted files that lost every file name (ntfs-extents, when made): the thorough
# scan lists exactly the split files (manifest note extents=N) as
# "$Nameless files/record N", the classic scan has no such folder, and the files
# come back byte-exact from the image and from a thorough snapshot alike.
img=$VOLUMES/ntfs-extents.img
if [[ -f $img ]]; then
    ! "$SARVIK" ls "$img" '$Nameless files' --classic >/dev/null 2>&1 || fail "a classic scan lists nameless files"
    "$SARVIK" ls "$img" '$Nameless files' --thorough >"$WORK/nameless-image" 2>&1 || fail "no nameless folder"
    "$SARVIK" scan "$img" --thorough --snapshot "$WORK/nameless.rvu" >/dev/null 2>&1
    "$SARVIK" ls "$WORK/NAMELESS.RVU" '$Nameless files' >"$WORK/nameless-snapshot" 2>&1 || fail "no nameless folder in the snapshot"
    cmp -s "$WORK/nameless-image" "$WORK/nameless-snapshot" || fail "the snapshot lists other nameless files"
    "$SARVIK" ls "$img" '$Nameless files' --thorough --json >"$WORK/nameless.json"
    "$SARVIK" recover "$img" --to "$WORK/nameless-from-image" --all --thorough >/dev/null 2>&1
    "$SARVIK" recover "$WORK/NAMELESS.RVU" --to "$WORK/nameless-from-snapshot" --all >/dev/null 2>&1
    python3 - "$VOLUMES/ntfs-extents.manifest.tsv" "$WORK/nameless.json" "$WORK/nameless-from-image" \
        "$WORK/nameless-from-snapshot" <<'PY' || fail "ntfs-extents: nameless files"
import hashlib, json, os, sys
manifest, listing, *outs = sys.argv[1:]
split = {}
with open(manifest, encoding="utf-8") as f:
    head = f.readline().rstrip("\n").split("\t")
    col = {k: i for i, k in enumerate(head)}
    for line in f:
        row = line.rstrip("\n").split("\t")
        notes = dict(n.split("=", 1) for n in row[col["notes"]].split() if "=" in n)
        if row[col["type"]] == "file" and row[col["state"]] == "deleted" and "extents" in notes:
            split[f"record {notes['mft']}"] = (row[col["path"]], int(row[col["size"]]), row[col["sha256"]])
problems = []
if len(split) < 3:
    problems.append(f"the manifest lists {len(split)} split files")
rows = {r["name"]: int(r["size"]) for r in json.load(open(listing))["rows"]}
if set(rows) != set(split):
    problems.append(f"listed {sorted(rows)}, split files are {sorted(split)}")
for name, (path, size, sha) in split.items():
    if rows.get(name, size) != size:
        problems.append(f"{name} ({path}): size {rows[name]}, not {size}")
    for out in outs:
        copy = os.path.join(out, "$Nameless files", name)
        if not os.path.isfile(copy):
            problems.append(f"{name} ({path}): not written to {copy}")
        elif hashlib.sha256(open(copy, "rb").read()).hexdigest() != sha:
            problems.append(f"{name} ({path}): other bytes in {copy}")
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
fi
echo "thorough: ok"
