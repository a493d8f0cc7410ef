#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Nothing a source is made of is ever written, and no file of it can hang the
# program. One FAT32 volume as a split raw set, an E01 set, a flat VMDK (its
# extent named by its descriptor) and a QCOW2 over a backing file: --report,
# --snapshot and --duplicates overwrite aimed at every file of each set are
# refused (a hard link or a symbolic link naming one counts as that file) and
# every file keeps its hash. A named pipe in the place of the source, a piece,
# a segment, an extent or a backing file is refused within a second, with
# nothing created.
# Usage: source_files.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -uo pipefail
sarvik=$1 vols=$2
for t in qemu-img ewfacquirestream split mkfifo sha256sum; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian packages qemu-utils, ewf-tools)"; exit 77; }
done
[[ -f $vols/demo-fat32.img ]] || { echo "skip: $vols/demo-fat32.img missing (tools/make-test-volumes.sh)"; exit 77; }
"$sarvik" info "$vols/demo-fat32.img" | grep -q "QEMU disk" || { echo "skip: this build reads no containers"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A deleted file of the volume whose name a file of a set is given in the
# destination, for --duplicates overwrite.
victim="Holiday letter.txt"
cp "$vols/demo-fat32.img" demo.img
"$sarvik" scan demo.img 2>/dev/null | grep -q "^  $victim " || fail "the demo volume lists no '$victim'"

mkdir split ewf vmdk qcow
split -b 10M -d -a 3 --numeric-suffixes=1 demo.img split/img.
ewfacquirestream -q -t ewf/ev -S 10MiB -c none -m fixed -C c -D d -E 1 -e t -N n <demo.img >/dev/null 2>&1 ||
    fail "ewfacquirestream"
# The extent and the backing file carry names a snapshot path can take.
qemu-img convert -O vmdk -o subformat=monolithicFlat demo.img vmdk/d.vmdk || fail "qemu-img vmdk"
mv vmdk/d-flat.vmdk vmdk/FLAT.RVU
sed -i 's/"d-flat.vmdk"/"FLAT.RVU"/' vmdk/d.vmdk
qemu-img convert -O qcow2 demo.img qcow/BASE.RVU || fail "qemu-img qcow2"
qemu-img create -q -f qcow2 -b BASE.RVU -F qcow2 qcow/child.qcow2 || fail "qemu-img backing"
sets=("split/img.001" "ewf/ev.E01" "vmdk/d.vmdk" "qcow/child.qcow2")
[[ $(ls ewf | wc -l) -ge 3 ]] || fail "the E01 set has $(ls ewf) only"
sha256sum split/* ewf/* vmdk/* qcow/* >sums
# What any write, truncation or replacement of a file changes: cheap enough
# to look at after every command; the hashes are checked after each set.
stamps() { stat -c '%n %s %Y %i' split/* ewf/* vmdk/* qcow/*; }
stamps >stamps.txt
for source in "${sets[@]}"; do
    "$sarvik" scan "$source" 2>/dev/null | grep -q "$victim" || fail "$source does not read as the volume"
done

# refused CMD...: exits 1 saying the path is the source or a file of it,
# creates neither out/ nor a report, and leaves every file of every set as it was.
refused() {
    rm -rf out
    "$@" >out.txt 2>err.txt
    local got=$?
    [[ $got == 1 ]] || fail "$* exited $got, not 1: $(cat err.txt)"
    grep -Eq "a file the source is read from|is on the volume being recovered" err.txt || fail "$*: $(cat err.txt)"
    [[ ! -e out ]] || fail "$*: out/ was created"
    stamps | cmp -s - stamps.txt || fail "$*: a file of a set changed"
}

for source in "${sets[@]}"; do
    dir=${source%/*}
    files=("$dir"/*)
    # The last file of each set: never the one named as the source.
    last=${files[${#files[@]} - 1]}
    for file in "${files[@]}"; do
        refused "$sarvik" recover "$source" --all --to out --report "$file"
        # The snapshot path rule upper-cases the name and adds .RVU: the
        # extent and the backing file have such names.
        [[ $file == *.RVU ]] && refused "$sarvik" recover "$source" --all --to out --snapshot "$file" --force
    done
    # A hard link and a symbolic link to a file are that file too.
    ln -f "$last" report.link && refused "$sarvik" recover "$source" --all --to out --report report.link
    ln -sf "$last" LINK.RVU && refused "$sarvik" scan "$source" --snapshot LINK.RVU --force
    rm -f report.link LINK.RVU
    # --duplicates overwrite with a file of the set (a hard link to it) where
    # a recovered file goes: that file fails, the set stays whole.
    rm -rf dest && mkdir dest && ln "$last" "dest/$victim"
    "$sarvik" recover "$source" --all --to dest --duplicates overwrite --report dest.jsonl >/dev/null 2>err.txt
    got=$?
    [[ $got == 3 ]] || fail "overwrite over $last: exit $got: $(cat err.txt)"
    grep -q "a file the source is read from" err.txt || fail "overwrite over $last: $(cat err.txt)"
    grep -q "\"source\":\"/$victim\".*\"outcome\":\"failed\"" dest.jsonl || fail "overwrite over $last: $(cat dest.jsonl)"
    [[ "dest/$victim" -ef "$last" ]] || fail "dest/$victim no longer names $last"
    [[ ! -e "dest/$victim.part" ]] || fail "a copy was written beside $last all the same"
    stamps | cmp -s - stamps.txt || fail "--duplicates overwrite over $last changed a file of a set"
    sha256sum --quiet -c sums || fail "a file of a set changed"
done
# Elsewhere the same commands write.
"$sarvik" recover qcow/child.qcow2 --all --to out --report report.jsonl >/dev/null 2>&1 || fail "a plain recovery failed"
[[ -s "out/$victim" && -s report.jsonl ]] || fail "a plain recovery wrote nothing"

# quick CMD...: a named pipe is refused, exit 1, within a second, nothing made.
quick() {
    rm -rf out
    local start=$SECONDS
    timeout 10 "$@" >out.txt 2>err.txt
    local got=$?
    [[ $got == 1 ]] || fail "$* exited $got, not 1 (124: it hung): $(cat err.txt)"
    ((SECONDS - start <= 1)) || fail "$* took $((SECONDS - start)) s"
    grep -q "a named pipe (FIFO), not a disk image or block device" err.txt || fail "$*: $(cat err.txt)"
    [[ ! -e out ]] || fail "$*: out/ was created"
}
mkdir pipes && cd pipes
mkfifo s.fifo
for cmd in scan volumes info; do quick "$sarvik" "$cmd" s.fifo; done
quick "$sarvik" recover s.fifo --all --to out
# Each place in a set: the rest of the set is real, one file is a pipe.
cp ../split/img.001 ../split/img.002 . && mkfifo img.003 && cp ../split/img.004 .
cp ../ewf/ev.E01 . && mkfifo ev.E02 && cp ../ewf/ev.E0[3-9] . 2>/dev/null
cp ../vmdk/d.vmdk . && mkfifo FLAT.RVU
cp ../qcow/child.qcow2 . && mkfifo BASE.RVU
for source in img.001 ev.E01 d.vmdk child.qcow2; do
    quick "$sarvik" scan "$source"
    quick "$sarvik" recover "$source" --all --to out
done
echo "ok: source_files"
