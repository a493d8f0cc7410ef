#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a forensic user relies on: option conventions, valid JSON, padded and
# full times (FAT's time of day, NTFS's fraction) in listings and on recovered
# files, "/" paths that ls and recover take, a body file that mactime reads
# and that agrees with fls -m, a recovery report with SHA-256, selection by
# size, time and number, a dry run, and tables that stay in line.
# Usage: forensic.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes or tools missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for v in fat16 ntfs-4k; do
    [[ -f $VOLUMES/$v.img ]] || { echo "no test volumes in $VOLUMES" >&2; exit 77; }
done
for tool in python3 fls mactime mkfs.fat mcopy mdel; do
    command -v $tool >/dev/null || { echo "$tool needed" >&2; exit 77; }
done
FAT=$VOLUMES/fat16.img
NTFS=$VOLUMES/ntfs-4k.img
cd "$WORK"

# Status, standard output and standard error of one run.
run() {
    set +e
    "$SARVIK" "$@" >out.txt 2>err.txt
    status=$?
    set -e
}

# --- options --------------------------------------------------------------
run recover "$FAT" --to
[[ $status == 2 ]] && grep -q -- "'--to' needs a value" err.txt || fail "--to without a value: $status $(cat err.txt)"
run ls "$FAT" --no-such-option
[[ $status == 2 && ! -s out.txt ]] && grep -q "^usage: sarvik ls" err.txt || fail "unknown option: $status $(cat err.txt)"
run json "$FAT"
[[ $status == 2 ]] || fail "unknown command: $status"
for cmd in drives info scan ls find recover; do
    run help $cmd
    [[ $status == 0 ]] && grep -q "^usage: sarvik $cmd " out.txt || fail "help $cmd: $status"
    run $cmd --help
    [[ $status == 0 ]] && grep -q "^usage: sarvik $cmd " out.txt || fail "$cmd --help: $status"
done
# --opt=value and --opt value are the same; "--" ends the options.
"$SARVIK" recover "$FAT" --to=eq /Documents >/dev/null 2>&1 || fail "--to=DIR"
"$SARVIK" recover "$FAT" --to sp -- /Documents >/dev/null 2>&1 || fail "--to DIR -- PATH"
diff -r eq sp >/dev/null || fail "--to=DIR and --to DIR wrote different trees"

# --- JSON and times ------------------------------------------------------------
# (ntfs-4k's 4,096-byte records are for the thorough rules only.)
for mode in --classic --thorough; do
    for src in "$FAT" "$NTFS"; do
        [[ $src == "$NTFS" && $mode == --classic ]] && continue
        "$SARVIK" scan "$src" --json $mode >scan.json 2>/dev/null
        "$SARVIK" ls "$src" / --json $mode >ls.json 2>/dev/null
        "$SARVIK" find "$src" '*' --json $mode >find.json 2>/dev/null
        "$SARVIK" info "$src" --json >info.json 2>/dev/null
        python3 - "$src" "$mode" <<'PY' || fail "JSON of $src $mode"
import json, re, sys
src, mode = sys.argv[1:]
fat = "fat16" in src
docs = {n: json.load(open(n + ".json", encoding="utf-8")) for n in ("scan", "ls", "find", "info")}
iso = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d" + ("$" if fat else r"(\.\d{7})?Z$"))
files = docs["scan"]["files"]
assert files and all(isinstance(f["size"], int) for f in files), "sizes are numbers"
for e in files + docs["scan"]["folders"]:
    assert iso.match(e["modified"]), e["modified"]
    if fat:
        # The write time of day is read: the volume was written at 22:13:20 local.
        assert e["modified"].endswith("T22:13:20") and e["writeTime"] == (22 << 11 | 13 << 5 | 10), e
        assert re.match(r"^\d{4}-\d\d-\d\d$", e["accessed"]) and "created" not in e, e
    else:
        assert iso.match(e["created"]), e["created"]
if not fat:
    assert any("." in f["modified"] for f in files), "NTFS fractions of a second"
for r in docs["ls"]["rows"]:
    assert isinstance(r["size"], int) and r["path"] == "/" + r["name"], r
for m in docs["find"]["matches"]:
    assert m["path"].startswith("/") and "\\" not in m["path"] and m["file"].endswith("/" + m["name"]), m
assert docs["find"]["count"] == len(docs["find"]["matches"])
PY
    done
done

# Plain listings: zero-padded "YYYY-MM-DD HH:MM:SS" with no trailing blank.
"$SARVIK" ls "$FAT" /Documents >ls.txt 2>/dev/null
grep -q " 2023-11-14 22:13:20 " ls.txt || fail "ls times: $(cat ls.txt)"
"$SARVIK" scan "$NTFS" >scan.txt 2>/dev/null
grep -qE '  [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$' scan.txt || fail "scan times: $(cat scan.txt)"

# Every folder find names opens with ls, and every file with recover.
"$SARVIK" find "$FAT" '*' --json >find.json 2>/dev/null
python3 -c 'import json; [print(m["path"] + "\t" + m["file"]) for m in json.load(open("find.json"))["matches"]]' |
    sort -u | head -5 >paths.txt
[[ -s paths.txt ]] || fail "find found nothing"
while IFS=$'\t' read -r folder file; do
    "$SARVIK" ls "$FAT" "$folder" >/dev/null 2>&1 || fail "ls does not open '$folder'"
    "$SARVIK" recover "$FAT" --to one "$file" --dry-run >/dev/null 2>&1 || fail "recover does not find '$file'"
done <paths.txt

# Recovered files carry the full time: FAT's time of day, NTFS's fraction.
"$SARVIK" scan "$NTFS" --json >ntfs.json 2>/dev/null
"$SARVIK" recover "$FAT" --to fat-out --all >/dev/null 2>&1 || [[ $? == 3 ]] || fail "recover fat16"
"$SARVIK" recover "$NTFS" --to ntfs-out --all >/dev/null 2>&1 || [[ $? == 3 ]] || fail "recover ntfs-4k"
python3 - <<'PY' || fail "recovered times"
import json, os, time
want = time.mktime((2023, 11, 14, 22, 13, 20, 0, 0, -1))
fat = [os.path.join(d, f) for d, _, fs in os.walk("fat-out") for f in fs]
assert fat and all(os.stat(p).st_mtime == want for p in fat), [(p, os.stat(p).st_mtime) for p in fat][:3]
checked = 0
for f in json.load(open("ntfs.json"))["files"]:
    p = "ntfs-out" + f["path"]
    if f["deleted"] and os.path.isfile(p):
        ns = (f["modifiedTime"] - 116444736000000000) * 100
        assert os.stat(p).st_mtime_ns == ns, (p, os.stat(p).st_mtime_ns, ns)
        checked += 1
assert checked > 0
PY

# A thorough snapshot keeps the FAT times of day: it lists what the image does.
"$SARVIK" scan "$FAT" --snapshot "$WORK/fat" >scan-image.txt 2>/dev/null || fail "scan --snapshot"
"$SARVIK" scan "$WORK/FAT.RVU" >scan-snapshot.txt 2>/dev/null || fail "scan of the snapshot"
grep -q " 22:13:20$" scan-snapshot.txt || fail "the snapshot lost the time of day: $(cat scan-snapshot.txt)"
diff <(tail -n +2 scan-image.txt) <(tail -n +2 scan-snapshot.txt) >/dev/null || fail "the snapshot lists other times"

# --- body file -------------------------------------------------------------------
for src in "$FAT" "$NTFS"; do
    "$SARVIK" scan "$src" --bodyfile >body.txt 2>/dev/null || fail "--bodyfile $src"
    fls -m / -r "$src" >fls.txt
    mactime -b body.txt >timeline.txt || fail "mactime -b on $src"
    grep -q "(deleted)" timeline.txt || fail "the timeline of $src shows no deleted entry"
    python3 - "$src" <<'PY' || fail "body file of $src differs from fls -m"
import sys
def read(name):
    rows = {}
    for line in open(name, encoding="utf-8", errors="replace"):
        f = line.rstrip("\n").split("|")
        assert len(f) == 11, line
        if "($FILE_NAME)" not in f[1]:
            rows[f[1]] = f
    return rows
ours, theirs = read("body.txt"), read("fls.txt")
deleted = [n for n in ours if n.endswith(" (deleted)")]
assert deleted, "no deleted entries"
same = 0
for name, f in ours.items():
    t = theirs.get(name)
    if t is None:
        continue
    # The type part of the mode, with the deleted marking (the catalogue keeps no
    # read-only attribute, so the permission bits may differ on system files).
    assert f[3][:3] == t[3][:3], (name, f[3], t[3])
    # The inode: the FAT entry's address or the MFT record number.
    assert f[2] == t[2].split("-")[0], (name, "inode", f[2], t[2])
    assert f[7:] == t[7:], (name, "atime, mtime, ctime, crtime", f, t)
    if not f[3].startswith(("d", "-/d")):
        assert f[6] == t[6], (name, "size", f[6], t[6])
    same += 1
assert same >= len(deleted) * 3 // 4, (same, len(deleted), sorted(set(ours) - set(theirs))[:5])
PY
done

# Entries fls lists under other names (orphans, 8-bit names of the classic
# rules) still lie at the address it gives them: every address in our body
# file is one of its inodes, of the same type and times (exFAT: crtime aside,
# which fls gives without the creation time's hundredths).
for args in "$FAT --classic" "$VOLUMES/thorough-fat32.img" "$VOLUMES/exfat.img"; do
    [[ -f ${args%% *} ]] || continue
    # shellcheck disable=SC2086 # the image and its option
    "$SARVIK" scan $args --bodyfile >body.txt 2>/dev/null || fail "--bodyfile $args"
    fls -m / -r "${args%% *}" >fls.txt
    python3 - "$args" <<'PY' || fail "the addresses of $args differ from fls -m"
import sys
times = slice(7, 10) if "exfat" in sys.argv[1] else slice(7, 11)
theirs = {}
for line in open("fls.txt", encoding="utf-8", errors="replace"):
    f = line.rstrip("\n").split("|")
    theirs[f[2]] = f
placed = 0
for line in open("body.txt", encoding="utf-8", errors="replace"):
    f = line.rstrip("\n").split("|")
    if f[2] == "0":
        continue  # a folder no entry stands for
    t = theirs.get(f[2])
    assert t is not None and t[3][-10] == f[3][-10], (f, t)
    if "exfat" in sys.argv[1]:
        # fls leaves out the modification time's 10 ms count: a count of 100
        # or more is a second it does not add.
        assert t[7] == f[7] and t[9] == f[9] and int(f[8]) - int(t[8]) in (0, 1), (f, t)
    else:
        assert t[times] == f[times], (f, t)
    placed += 1
assert placed >= 10, placed
PY
done

# NTFS times each from its own field of the standard information: a deleted
# file whose access, write and creation times differ (its record changed now).
if command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null && command -v setfattr >/dev/null &&
    [[ -c /dev/fuse && $EUID == 0 ]]; then
    truncate -s 8M times.img
    mkntfs -F -q -Q times.img >/dev/null 2>&1
    mkdir mnt
    trap 'umount "$WORK/mnt" 2>/dev/null || true; rm -rf "$WORK"' EXIT
    ntfs-3g times.img mnt
    echo hello >mnt/timed.txt
    touch -a -d '2021-01-02 03:04:05 UTC' mnt/timed.txt
    touch -m -d '2022-02-03 04:05:06 UTC' mnt/timed.txt
    setfattr -n system.ntfs_crtime -v 0x0000056936c0d501 mnt/timed.txt # 2020-01-01 00:00:00 UTC
    rm mnt/timed.txt
    umount mnt
    ours=$("$SARVIK" scan times.img --bodyfile 2>/dev/null | grep -F '|/timed.txt (deleted)|' | cut -d'|' -f8-)
    theirs=$(fls -m / -r times.img | grep -F '|/timed.txt (deleted)|64-128-' | cut -d'|' -f8-)
    [[ $ours == 1609556645\|1643861106\|*\|1577836800 && $ours == "$theirs" ]] ||
        fail "NTFS times: ours $ours, fls $theirs"
else
    echo "forensic: NTFS times not checked (needs root, /dev/fuse, mkntfs, ntfs-3g, setfattr)"
fi

# --- report, selection, dry run --------------------------------------------------
"$SARVIK" recover "$FAT" --to rep --all --report=report.jsonl >/dev/null 2>&1 || [[ $? == 3 ]] || fail "--report"
python3 - <<'PY' || fail "report"
import hashlib, json, os
lines = [json.loads(l) for l in open("report.jsonl", encoding="utf-8")]
written = [l for l in lines if l["written"]]
assert written and len(lines) >= len(written)
on_disk = sum(len(fs) for _, _, fs in os.walk("rep"))
assert len(written) == on_disk, (len(written), on_disk)
for l in written:
    assert l["source"].startswith("/") and isinstance(l["firstCluster"], int), l
    assert hashlib.sha256(open(l["written"], "rb").read()).hexdigest() == l["sha256"], l
    assert l["outcome"] in ("written", "zero-filled blocks", "incomplete", "cut short"), l
    assert 0 <= l["overwrittenShare"] <= 1
PY

# Each selection gives the same files to ls, find, recover and its dry run.
count_find() { "$SARVIK" find "$FAT" '*' --json "$@" 2>/dev/null | python3 -c 'import json,sys; print(json.load(sys.stdin)["count"])'; }
all=$(count_find)
big=$(count_find --min-size=4K)
small=$(count_find --max-size 4095)
[[ $big -gt 0 && $small -gt 0 && $((big + small)) == "$all" ]] || fail "sizes split $all into $big and $small"
[[ $(count_find --since=2023-11-14) == "$all" && $(count_find --until=2023-11-13) == 0 ]] ||
    fail "--since/--until around the volume's day"
[[ $(count_find --since '2023-11-14 22:13:21') == 0 && $(count_find --until '2023-11-14 22:13:20') == "$all" ]] ||
    fail "--since/--until to the second"
"$SARVIK" recover "$FAT" --to dry --all --min-size=4K --dry-run >dry.txt 2>/dev/null || fail "--dry-run"
[[ ! -e dry ]] || fail "--dry-run made the destination"
grep -q "^dry run: $big file(s)" dry.txt || fail "dry run of $big files: $(tail -1 dry.txt)"
"$SARVIK" recover "$FAT" --to sel --all --min-size=4K >/dev/null 2>&1 || [[ $? == 3 ]] || fail "recover --min-size"
[[ $(find sel -type f | wc -l) == "$big" ]] || fail "recover --min-size wrote $(find sel -type f | wc -l), not $big"
# On FAT --id names an entry by its address: exactly the one file, also where
# two deleted files name the same first cluster.
id=$(python3 -c 'import collections, json; m = json.load(open("find.json"))["matches"]
shared = collections.Counter(x["firstCluster"] for x in m)
print(next(x["entryAddress"] for x in m if shared[x["firstCluster"]] > 1))')
[[ $(count_find --id "$id") == 1 ]] || fail "--id $id found $(count_find --id "$id") files"
"$SARVIK" ls "$FAT" / --id "$id" --json >id.json 2>/dev/null
python3 -c 'import json,sys; rows=[r for r in json.load(open("id.json"))["rows"] if not r["type"].endswith("Folder")]
assert len(rows) == 1 and rows[0]["entryAddress"] == int(sys.argv[1]), rows' "$id" || fail "ls --id"
"$SARVIK" scan "$FAT" --classic --snapshot "$WORK/classic" >/dev/null 2>&1 || fail "classic snapshot"
run find "$WORK/CLASSIC.RVU" '*' --id "$id"
[[ $status == 1 ]] && grep -q "no FAT entry addresses" err.txt || fail "--id on a snapshot without addresses: $status"
run find "$FAT" '*' --min-size=lots
[[ $status == 2 ]] && grep -q -- "--min-size" err.txt || fail "a bad size: $status"

# --- tables ---------------------------------------------------------------------
# CJK names take two columns each and a long name is cut with an ellipsis; JSON keeps it whole.
truncate -s 16M wide.img
mkfs.fat -F 16 wide.img >/dev/null
printf 'hi\n' >small.txt
long="A very long file name that will not fit in the column at all.txt"
for name in "漢字テスト.txt" "$long" "plain.txt"; do LC_ALL=C.UTF-8 mcopy -i wide.img small.txt "::$name"; done
for name in "漢字テスト.txt" "$long" "plain.txt"; do LC_ALL=C.UTF-8 mdel -i wide.img "::$name"; done
"$SARVIK" ls wide.img >wide.txt 2>/dev/null
python3 - <<'PY' || fail "table columns: $(cat wide.txt)"
import unicodedata
def width(s):
    return sum(0 if unicodedata.combining(c) else 2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in s)
rows = open("wide.txt", encoding="utf-8").read().splitlines()
assert len(rows) == 4 and any("\u2026" in r for r in rows), rows
cols = {width(r[: r.index(" Deleted")]) if " Deleted" in r else width(r[: r.index(" Type")]) for r in rows}
assert cols == {40}, cols
PY
"$SARVIK" ls wide.img --json 2>/dev/null | grep -qF "$long" || fail "JSON cut a long name"
echo "forensic: ok"
