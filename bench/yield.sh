#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How many deleted files each tool brings back byte-exact from one volume.
#
# Usage: bench/yield.sh VOLUME MANIFEST [SARVIK]
#
# VOLUME is an image made by tools/make-test-volumes.sh, MANIFEST its
# manifest (path type size sha256 state ...). On exFAT (exfat.img) the classic
# run writes nothing: the classic rules refuse exFAT; testdisk lists it as it
# lists FAT. SARVIK defaults to the sarvik
# binary on PATH. Runs, each into its own folder:
#   classic    sarvik recover VOLUME --all --classic
#   default    sarvik recover VOLUME --all (the thorough rules, the quick scan)
#   deep       sarvik recover VOLUME --all --deep (with the search of free space)
#   tsk        tsk_recover (deleted files only), when installed
#   ntfsundel  ntfsundelete -u -m '*' (NTFS only), when installed
#   testdisk   testdisk /cmd ... undelete,allundelete (NTFS only), when installed
# and prints one line per run: how many of the manifest's deleted files came
# back with the manifest's SHA-256 under the manifest's path, and how many came
# back with that content anywhere in the run's output, under any name (orphans
# that tsk_recover writes under $OrphanFiles, ntfsundelete's unknownN, files
# under a lost folder's stand-in name). testdisk cannot
# copy deleted FAT files from a script, only list them: on FAT its line says how
# many of the manifest's deleted files its recursive listing shows as deleted
# (same path and size), which is not a count of files recovered. A deleted FAT entry
# without a long name has lost its first character, so a file that differs from
# the manifest path only there counts too. ntfsundelete writes every file into
# one folder, so for it the file's own name is compared, not its path.
set -euo pipefail

[[ $# -ge 2 ]] || { echo "usage: $0 VOLUME MANIFEST [SARVIK]" >&2; exit 2; }
VOLUME=$1
MANIFEST=$2
SARVIK=${3:-sarvik}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/yield.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

is_ntfs=no
if [[ $(dd if="$VOLUME" bs=1 skip=3 count=4 status=none) == NTFS ]]; then is_ntfs=yes; fi

runs=(classic default deep)
"$SARVIK" recover "$VOLUME" --to "$WORK/classic" --all --classic >/dev/null 2>&1 || true
"$SARVIK" recover "$VOLUME" --to "$WORK/default" --all >/dev/null 2>&1 || true
"$SARVIK" recover "$VOLUME" --to "$WORK/deep" --all --deep >/dev/null 2>&1 || true
if command -v tsk_recover >/dev/null; then
    mkdir -p "$WORK/tsk"
    tsk_recover -i raw "$VOLUME" "$WORK/tsk" >/dev/null 2>&1 || true
    runs+=(tsk)
fi
if [[ $is_ntfs == yes ]] && command -v ntfsundelete >/dev/null; then
    mkdir -p "$WORK/ntfsundel"
    ntfsundelete "$VOLUME" -u -m '*' -p 0 -f -q -d "$WORK/ntfsundel" >/dev/null 2>&1 || true
    runs+=(ntfsundel)
fi

if command -v testdisk >/dev/null; then
    # testdisk writes what it undeletes, and its log, into the current folder.
    volume_abs=$(cd "$(dirname "$VOLUME")" && pwd)/$(basename "$VOLUME")
    mkdir -p "$WORK/testdisk"
    if [[ $is_ntfs == yes ]]; then
        (cd "$WORK/testdisk" && testdisk /log /cmd "$volume_abs" advanced,undelete,allundelete >/dev/null 2>&1) || true
        mv "$WORK/testdisk/testdisk.log" "$WORK/testdisk.log" 2>/dev/null || true
        runs+=(testdisk)
    else
        (cd "$WORK/testdisk" && testdisk /log /cmd "$volume_abs" advanced,list,recursive,fullpathname >/dev/null 2>&1) || true
        mv "$WORK/testdisk/testdisk.log" "$WORK/testdisk.log" 2>/dev/null || true
        runs+=(testdisk-listed)
    fi
fi

python3 - "$MANIFEST" "$WORK" "$(basename "$VOLUME")" "${runs[@]}" <<'PY'
import hashlib, os, re, sys
manifest, work, volume, *runs = sys.argv[1:]
wanted = []
with open(manifest, encoding="utf-8") as f:
    header = f.readline().rstrip("\n").split("\t")
    col = {name: i for i, name in enumerate(header)}
    for line in f:
        row = line.rstrip("\n").split("\t")
        if row[col["type"]] == "file" and row[col["state"]] == "deleted":
            wanted.append((row[col["path"]], row[col["sha256"]], row[col["size"]]))

def digests(root):
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            full = os.path.join(folder, name)
            h = hashlib.sha256()
            with open(full, "rb") as data:
                for block in iter(lambda: data.read(1 << 20), b""):
                    h.update(block)
            found[os.path.relpath(full, root)] = h.hexdigest()
    return found

def same_but_first(a, b):
    fa, la = os.path.split(a)
    fb, lb = os.path.split(b)
    return fa == fb and len(la) == len(lb) and la[1:] == lb[1:]

def listed(log):
    # Lines of a recursive listing: "X  cluster mode uid gid size date time /path",
    # X marking a deleted entry.
    entry = re.compile(r"^X\s+\d+\s+\S+\s+\d+\s+\d+\s+(\d+)\s+\S+\s+\S+\s+/(.*)$")
    shown = set()
    try:
        with open(log, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = entry.match(line.rstrip("\n"))
                if m:
                    shown.add((m.group(2), m.group(1)))
    except OSError:
        pass
    count = 0
    for path, _, size in wanted:
        count += (path, size) in shown or any(s == size and same_but_first(p, path) for p, s in shown)
    return count

print(f"{volume}: {len(wanted)} deleted files in the manifest")
contents = {}
for run in runs:
    if run == "testdisk-listed":
        n = listed(os.path.join(work, "testdisk.log"))
        print(f"  {run:<15} {n:>6} listed as deleted of {len(wanted)}  (none recovered: no scripted FAT copy)")
        continue
    found = digests(os.path.join(work, run))
    flat = run == "ntfsundel"
    by_leaf = {}
    for path, sha in found.items():
        by_leaf.setdefault(os.path.basename(path), set()).add(sha)
    # A deleted short entry has lost its first character: index by the rest.
    by_tail = {}
    for path, sha in found.items():
        folder, leaf = os.path.split(path)
        by_tail.setdefault((folder, len(leaf), leaf[1:]), set()).add(sha)
    anywhere = set(found.values())
    contents[run] = anywhere
    content = sum(sha in anywhere for _, sha, _ in wanted)
    exact = 0
    for path, sha, _ in wanted:
        if flat:
            ok = sha in by_leaf.get(os.path.basename(path), ())
        else:
            folder, leaf = os.path.split(path)
            ok = found.get(path) == sha or sha in by_tail.get((folder, len(leaf), leaf[1:]), ())
        exact += ok
    print(f"  {run:<15} {exact:>6} byte-exact of {len(wanted)}  {content:>6} by content anywhere"
          f"  ({len(found)} files written)")
# Deleted files whose content another run wrote and the default run did not
# (a few of each, to look into).
for run, anywhere in contents.items():
    if run in ("classic", "default") or "default" not in contents:
        continue
    missed = [path for path, sha, _ in wanted if sha in anywhere and sha not in contents["default"]]
    for path in missed[:5]:
        print(f"    content from {run}, not from default: {path}")
    if len(missed) > 5:
        print(f"    ... and {len(missed) - 5} more from {run}")
PY
