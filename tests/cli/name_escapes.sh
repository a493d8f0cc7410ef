#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Names with control characters and backslashes: JSON carries them exactly,
# text output escapes them reversibly (\n, \t, \xHH, \\), and every path the
# command line prints, in either form, is taken back by ls, find, recover and
# cat. FAT long names and exFAT names come from patched entries (the tools
# refuse such names); NTFS ones are written through ntfs-3g.
# Usage: name_escapes.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$(realpath "$1")
for t in mkfs.fat mcopy mkntfs ntfs-3g; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every deleted file of IMG, by the path `recover --dry-run` prints (the text
# form) and by the path `find --json` gives (the exact form), each taken back
# by cat, recover, ls (its folder) and find (its name). Each file holds its own
# exact path, so a file found under another name shows.
check_round_trip() {
    local img=$1 want=$2 path
    "$sarvik" recover "$img" --all --to dry --dry-run >dry.txt || fail "$img: dry run"
    sed -n 's/^\(.*\) -> .*  ([0-9]* bytes)$/\1/p' dry.txt >printed.txt
    [[ $(wc -l <printed.txt) == "$want" ]] || fail "$img: $(wc -l <printed.txt) printed paths, not $want"
    "$sarvik" find "$img" '*' --json >found.json || fail "$img: find --json"
    python3 - <<'PY' || fail "$img: the printed paths do not read back as the exact ones"
import json, re
def unescape(text):
    table = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    return re.sub(r"\\(x[0-9a-f]{2}|[ntr\\])",
                  lambda m: chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" else table[m.group(1)], text)
exact = sorted(m["file"] for m in json.load(open("found.json"))["matches"])
printed = [line.rstrip("\n") for line in open("printed.txt", encoding="utf-8")]
assert sorted(unescape(p) for p in printed) == exact, (printed, exact)
with open("pairs.bin", "wb") as out:
    for p in printed:
        for form in (p, unescape(p)):
            out.write(form.encode() + b"\0" + unescape(p).encode() + b"\0")
PY
    local exact
    while IFS= read -r -d '' path && IFS= read -r -d '' exact; do
        take_back "$img" "$path" "$exact"
    done <pairs.bin
}

# Checks that PATH names one file, whose content is EXACT (its path as the
# volume holds it, without the leading "/"), through all four commands.
take_back() {
    local img=$1 path=$2 exact=$3 folder leaf
    "$sarvik" cat "$img" "$path" >cat.out || fail "$img: cat '$path'"
    printf '%s' "${exact#/}" | cmp -s - cat.out || fail "$img: cat '$path' gave another file"
    rm -rf out && "$sarvik" recover "$img" "$path" --to out >/dev/null || fail "$img: recover '$path'"
    [[ $(find out -type f | wc -l) == 1 ]] || fail "$img: recover '$path' wrote $(find out -type f | wc -l) files"
    find out -type f -exec cmp -s cat.out {} \; -print | grep -q . || fail "$img: recover '$path' wrote other bytes"
    folder=${path%/*}
    leaf=${path##*/}
    "$sarvik" ls "$img" "${folder:-/}" >/dev/null || fail "$img: ls '${folder:-/}'"
    "$sarvik" find "$img" "$leaf" | grep -q '^1 file(s) found$' || fail "$img: find '$leaf'"
}

# --- FAT32: long names patched to hold control characters.
truncate -s 40M fat.img
mkfs.fat -F 32 -n ESCAPES fat.img >/dev/null
export MTOOLS_SKIP_CHECK=1
# The patched part of each name lies in its long name's first five units,
# which an entry stores side by side.
printf 'qn\nbr.txt' >a && mcopy -i fat.img a '::/qnXbr.txt'
printf 'be\001.txt' >b && mcopy -i fat.img b '::/beY.txt'
mmd -i fat.img '::/drZnm'
printf 'dr\tnm/In File.txt' >c && mcopy -i fat.img c '::/drZnm/In File.txt'
mdel -i fat.img '::/qnXbr.txt' '::/beY.txt' '::/drZnm/In File.txt'
mrd -i fat.img '::/drZnm'
python3 - <<'PY'
data = open("fat.img", "rb").read()
for old, new in (("qnXbr", "qn\nbr"), ("beY.t", "be\x01.t"), ("drZnm", "dr\tnm")):
    o, n = old.encode("utf-16-le"), new.encode("utf-16-le")
    assert data.count(o) == 1, (old, data.count(o))
    data = data.replace(o, n)
open("fat.img", "wb").write(data)
PY
"$sarvik" scan fat.img --json >scan.json || fail "fat scan"
python3 - <<'PY' || fail "fat: JSON does not carry the names exactly"
import json
files = {f["path"] for f in json.load(open("scan.json"))["files"] if f.get("deleted")}
assert {"/qn\nbr.txt", "/be\x01.txt", "/dr\tnm/In File.txt"} <= files, files
PY
"$sarvik" ls fat.img >ls.txt
grep -qF 'qn\nbr.txt' ls.txt && grep -qF 'be\x01.txt' ls.txt || fail "fat: ls does not escape: $(cat ls.txt)"
! grep -q $'\x01' ls.txt || fail "fat: ls printed a control character"
check_round_trip fat.img 3

# --- NTFS: names with a newline, a backslash and an escape-looking text.
truncate -s 32M n.img
mkntfs -F -q -Q -c 4096 -s 512 -p 0 -H 1 -S 1 n.img >/dev/null 2>&1
if [[ -c /dev/fuse ]] && mkdir mnt && ntfs-3g n.img mnt 2>/dev/null; then
    mkdir "mnt/sub"$'\n'"dir"
    for name in $'two\nlines.txt' 'back\slash.txt' 'literal\n.txt' $'esc\e[31m.txt' "sub"$'\n'"dir/x.txt"; do
        printf '%s' "$name" >"mnt/$name"
    done
    rm -r mnt/*
    umount mnt
    "$sarvik" ls n.img >ls.txt
    grep -qF 'two\nlines.txt' ls.txt && grep -qF 'back\\slash.txt' ls.txt && grep -qF 'literal\\n.txt' ls.txt ||
        fail "ntfs: ls does not escape: $(cat ls.txt)"
    ! grep -q $'\e' ls.txt || fail "ntfs: ls printed an escape character"
    check_round_trip n.img 5
else
    echo "ntfs part skipped: cannot mount through ntfs-3g here"
fi
echo "name escapes: ok"
