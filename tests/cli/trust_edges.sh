#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The smaller promises of a recovery, each on a FAT volume made here (mtools):
# a name longer than the destination's 255 bytes comes back shortened with its
# extension, a name holding a character that reorders text (U+202E) is listed
# escaped and written without it, and the report and standard error give both
# names; a source that cannot be opened, a misnumbered lost volume or
# partition and a process that may start no thread are each told plainly and
# leave nothing made.
# Usage: trust_edges.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -uo pipefail
sarvik=$1
for t in mformat mcopy mdel python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian package mtools)"; exit 77; }
done
export LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

long=$(python3 -c 'print("é" * 127 + ".txt")')  # 258 bytes of UTF-8, 131 characters
rlo=$'invoice\u202etxt.exe'                      # shows as "invoiceexe.txt"
truncate -s 8M fat.img
mformat -i fat.img :: || fail "mformat"
printf 'long name\n' >long.txt
printf 'override\n' >rlo.txt
mcopy -i fat.img long.txt "::/$long" && mcopy -i fat.img rlo.txt "::/$rlo" || fail "mcopy"
mdel -i fat.img "::/$long" "::/$rlo" || fail "mdel"

# Listed with the reordering character as its bytes, never raw.
"$sarvik" scan fat.img >scan.txt 2>&1 || fail "scan: $(cat scan.txt)"
grep -q $'\u202e' scan.txt && fail "the listing holds U+202E raw"
grep -Fq 'invoice\xe2\x80\xaetxt.exe' scan.txt || fail "the listing does not escape U+202E: $(cat scan.txt)"

"$sarvik" recover fat.img --all --to out --report report.jsonl >/dev/null 2>err.txt
got=$?
[[ $got == 0 ]] || fail "recover exited $got: $(cat err.txt)"
short=$(cd out && ls | grep '\.txt$' | grep '^é')
[[ -n $short ]] || fail "the long name came back without its extension: $(ls out)"
(($(printf %s "$short" | wc -c) <= 255)) || fail "'$short' is longer than 255 bytes"
[[ $short == é*~1.txt ]] || fail "shortened to '$short'"
[[ $(cat "out/$short") == "long name" ]] || fail "the long-named file holds other bytes"
[[ -f out/invoice_txt.exe ]] || fail "the U+202E name was not written as invoice_txt.exe: $(ls out)"
python3 - "$long" "$rlo" <<'PY' || fail "report: $(cat report.jsonl)"
import json, sys
rows = {r["nameRefused"]: r for r in map(json.loads, open("report.jsonl")) if "nameRefused" in r}
long, rlo = sys.argv[1], sys.argv[2]
assert rows[long]["written"].endswith("~1.txt"), rows[long]
assert "longer than" in rows[long]["nameRefusedReason"], rows[long]
assert rows[rlo]["written"].endswith("invoice_txt.exe"), rows[rlo]
assert "reorder" in rows[rlo]["nameRefusedReason"], rows[rlo]
PY
grep -q "written under this name for 'é.*é.txt': it is longer than" err.txt || fail "stderr: $(cat err.txt)"
grep -Fq "written under this name for 'invoice\\xe2\\x80\\xaetxt.exe'" err.txt || fail "stderr: $(cat err.txt)"

# A snapshot cut anywhere near its end: a warning and exit 3, never whole;
# still a thorough scan's, its names still UTF-8, as listed and as written.
"$sarvik" scan fat.img --snapshot cut >/dev/null 2>&1 || fail "scan --snapshot cut"
size=$(stat -c %s CUT.RVU)
for ((cut = 1; cut <= 80; cut++)); do
    head -c $((size - cut)) CUT.RVU >C.RVU
    "$sarvik" scan C.RVU >list.txt 2>err.txt
    got=$?
    [[ $got == 3 ]] || fail "cut $cut: exit $got: $(cat err.txt)"
    grep -q "The snapshot is damaged" err.txt || fail "cut $cut: no warning: $(cat err.txt)"
    grep -q "^Thorough scan" list.txt || fail "cut $cut: $(head -2 list.txt)"
    grep -q "Ã" list.txt && fail "cut $cut: names read as 8-bit: $(cat list.txt)"
done
head -c $((size - 11)) CUT.RVU >C.RVU
"$sarvik" recover C.RVU --all --to fromcut >/dev/null 2>&1
[[ $? == 3 ]] || fail "recover from a cut snapshot: not exit 3"
ls fromcut | grep -q '^é*~1.txt$' || fail "recover from a cut snapshot wrote: $(ls fromcut)"

# cat --from/--length: a window starting and ending anywhere, across the many
# blocks (one 512-byte cluster each) the copy writes a 3,000,000-byte file in.
truncate -s 16M cat.img
mformat -i cat.img -c 1 :: || fail "mformat -c 1"
head -c 3000000 /dev/urandom >big.bin
mcopy -i cat.img big.bin :: && mdel -i cat.img ::/big.bin || fail "mcopy big.bin"
"$sarvik" cat cat.img /_ig.bin >whole.bin 2>err.txt || fail "cat: $(cat err.txt)"
cmp -s whole.bin big.bin || fail "cat gives other bytes than the file's"
for window in "0 3000000" "1 2999999" "511 2" "511 1025" "512 512" "513 1000000" "65535 65538" \
    "1048575 1048577" "2999999 1" "2999999 5" "1000 0"; do
    read -r from length <<<"$window"
    "$sarvik" cat cat.img /_ig.bin --from "$from" --length "$length" >part.bin 2>err.txt ||
        fail "cat --from $from --length $length: $(cat err.txt)"
    cmp -s part.bin <(tail -c +$((from + 1)) big.bin 2>/dev/null | head -c "$length") ||
        fail "cat --from $from --length $length: $(stat -c %s part.bin) bytes, not those of the file"
done

# A write cut short by the file size limit (EFBIG) inside a 4 KiB block: the
# report's hash is of the bytes the file holds, never of nothing.
truncate -s 16M big4k.img
mformat -i big4k.img -c 8 :: && mcopy -i big4k.img big.bin :: && mdel -i big4k.img ::/big.bin || fail "big4k.img"
for limit in 1 101; do
    rm -rf o4 r4.jsonl
    (trap '' XFSZ; ulimit -f $limit; "$sarvik" recover big4k.img --all --to o4 --report r4.jsonl >/dev/null 2>&1)
    held=$(cat o4/*.part | sha256sum | cut -c1-64)
    grep -q "\"bytesWritten\":$((limit * 1024)),.*\"outcome\":\"failed\".*\"sha256\":\"$held\"" r4.jsonl ||
        fail "ulimit -f $limit: the report's hash is not that of the $(stat -c %s o4/*.part) bytes held: $(cat r4.jsonl)"
done

# told CODE TEXT CMD...: exits CODE saying TEXT, and creates no o/ and no r.jsonl.
told() {
    local code=$1 text=$2
    shift 2
    rm -rf o r.jsonl
    "$@" >out.txt 2>err.txt
    local got=$?
    [[ $got == "$code" ]] || fail "$* exited $got, not $code: $(cat err.txt)"
    grep -Fq "$text" err.txt || fail "$*: $(cat err.txt)"
    [[ ! -e o && ! -e r.jsonl ]] || fail "$*: something was created"
}
told 1 "No such file or directory" "$sarvik" recover missing.img --all --to o/sub --report r.jsonl
told 1 "lost volumes are numbered from 1" "$sarvik" recover fat.img@lost0 --all --to o --report r.jsonl
told 1 "lost volumes are numbered from 1" "$sarvik" scan fat.img@lost-1
told 1 "partitions are numbered from 1" "$sarvik" scan fat.img@0
# A snapshot whose volume is gone: nothing to copy from, nothing made.
"$sarvik" scan fat.img --snapshot snap >/dev/null 2>&1 || fail "scan --snapshot"
mv fat.img gone.img
told 1 "no volume to read file data from" "$sarvik" recover SNAP.RVU --all --to o --report r.jsonl
mv gone.img fat.img

# No thread to be had (the limit of processes of an unprivileged user at 1).
if [[ $(id -u) == 0 ]] && command -v setpriv >/dev/null && command -v prlimit >/dev/null; then
    chmod 755 "$work" && chmod 644 fat.img
    mkdir -m 777 w
    rm -rf w/o
    prlimit --nproc=1 setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$sarvik" recover fat.img --all --to w/o --report w/r.jsonl >out.txt 2>err.txt
    got=$?
    [[ $got == 1 ]] || fail "no threads: exit $got: $(cat err.txt)"
    grep -Fq "could not start a worker thread: the process's thread limit is reached" err.txt ||
        fail "no threads: $(cat err.txt)"
    grep -q "Out of memory" err.txt && fail "no threads called out of memory: $(cat err.txt)"
    [[ ! -e w/o && ! -e w/r.jsonl ]] || fail "no threads: something was created"
fi
echo "ok: trust_edges"
