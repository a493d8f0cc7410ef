#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# sarvik recover on volumes made by tools/make-test-volumes.sh: recover-all is
# byte-exact against the manifests, the image is unchanged, a planted link is
# not written through, filters and PATH arguments choose what is copied, and a
# sparse NTFS file larger than its volume and a tree deeper than the open-file
# limit come back whole.
# Usage: recover.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $VOLUMES/fat16.img && -f $VOLUMES/fat16.manifest.tsv ]] || { echo "no test volumes in $VOLUMES" >&2; exit 77; }
command -v python3 >/dev/null || { echo "python3 needed" >&2; exit 77; }

# Compares DIR with MANIFEST: every deleted file that the rules can recover must
# be there, byte-exact. FAT short names lose their first letter (it becomes 'x').
check() {
    python3 - "$1" "$2" "$3" <<'PY'
import csv, hashlib, os, sys
out, manifest, kind = sys.argv[1:]
def candidates(path):
    parts = path.split('/')
    opts = [[p, 'x' + p[1:]] if p else [p] for p in parts]
    res = ['']
    for o in opts:
        res = [os.path.join(r, x) for r in res for x in o]
    return res
ok = bad = 0
for r in csv.DictReader(open(manifest), delimiter='\t'):
    if r['type'] != 'file' or r['state'] != 'deleted':
        continue
    notes = r['notes']
    if 'overwritten' in notes or 'reused' in notes or 'beyond_first_cluster' in notes:
        continue
    if not r['path'].isascii() or r['size'] == '0':
        continue
    if kind == 'fat' and r['contiguous'] != 'yes':
        continue
    # Names the scan shortens or upper-cases (8.3 names, a long name cut at a
    # sector edge) are matched by content within the file's own folder.
    folders = {os.path.dirname(c) for c in candidates(r['path'])}
    found = [os.path.join(f, n) for f in folders if os.path.isdir(os.path.join(out, f))
             for n in os.listdir(os.path.join(out, f)) if os.path.isfile(os.path.join(out, f, n))]
    if not any(hashlib.sha256(open(os.path.join(out, c), 'rb').read()).hexdigest() == r['sha256'] for c in found):
        print('not recovered byte-exact:', r['path'], file=sys.stderr)
        bad += 1
    else:
        ok += 1
print(f'{ok} files byte-exact, {bad} wrong or missing')
sys.exit(1 if bad or not ok else 0)
PY
}

for image in fat16 fat16-s1 fat32 fat32-s1 ntfs; do
    [[ -f $VOLUMES/$image.img ]] || continue
    kind=fat; [[ $image == ntfs ]] && kind=ntfs
    before=$(sha256sum < "$VOLUMES/$image.img")
    "$SARVIK" recover "$VOLUMES/$image.img" --classic --to "$WORK/$image" --all > "$WORK/$image.out" || fail "$image: recover --all failed"
    after=$(sha256sum < "$VOLUMES/$image.img")
    [[ $before == "$after" ]] || fail "$image: the image changed"
    result=$(check "$WORK/$image" "$VOLUMES/$image.manifest.tsv" $kind) || fail "$image: content ($result)"
    echo "$image: $result"
    grep -q ' written, ' "$WORK/$image.out" || fail "$image: no summary"
done

img=$VOLUMES/fat16.img
# A link planted at a target name is never written through.
mkdir -p "$WORK/outside" "$WORK/planted"
echo keep > "$WORK/outside/victim"
ln -s "$WORK/outside/victim" "$WORK/planted/one byte.bin"
if "$SARVIK" recover "$img" --to "$WORK/planted" "/one byte.bin" --duplicates overwrite > /dev/null 2>"$WORK/err"; then
    fail "overwriting through a link was reported as success"
fi
[[ $(cat "$WORK/outside/victim") == keep ]] || fail "the link was followed"
grep -q 'one byte.bin' "$WORK/err" || fail "the failure was not named"
"$SARVIK" recover "$img" --to "$WORK/planted" "/one byte.bin" > /dev/null || fail "rename beside a link"
[[ -f "$WORK/planted/Copy (1 ) of one byte.bin" && $(stat -c %s "$WORK/planted/Copy (1 ) of one byte.bin") == 1 ]] \
    || fail "the renamed copy is missing"
[[ $(cat "$WORK/outside/victim") == keep ]] || fail "the link was followed"

# --duplicates skip leaves what is there; PATH takes one folder with everything below it.
"$SARVIK" recover "$img" --to "$WORK/planted" "/one byte.bin" --duplicates skip | grep -q '1 skipped' \
    || fail "skip policy"
"$SARVIK" recover "$img" --to "$WORK/docs" /Documents > /dev/null || fail "recover /Documents"
[[ -d $WORK/docs/Documents/Projects && ! -e $WORK/docs/Photos ]] || fail "PATH /Documents copied the wrong things"

# Filters leave files out silently and still create the folders.
"$SARVIK" recover "$img" --to "$WORK/filtered" --all --filter '*.PNG' > "$WORK/filtered.out" || fail "filtered"
[[ -z $(find "$WORK/filtered" -type f ! -iname '*.png') ]] || fail "a file that the filter excludes was written"
[[ -n $(find "$WORK/filtered" -type f -iname '*.png') ]] || fail "no .png written"
[[ -d $WORK/filtered/Documents/Projects ]] || fail "folders were not created under a filter"

# A deleted sparse NTFS file of 4.5 GiB on a 256 MiB volume holds few clusters:
# it is copied whole, not cut at the volume's size. Needs ntfs-3g and FUSE.
if command -v mkntfs >/dev/null && command -v ntfs-3g >/dev/null && [[ -c /dev/fuse ]]; then
    truncate -s 256M "$WORK/sparse.img"
    mkntfs -F -q -Q "$WORK/sparse.img" >/dev/null 2>&1
    mkdir "$WORK/mnt"
    if ntfs-3g "$WORK/sparse.img" "$WORK/mnt" 2>/dev/null; then
        truncate -s 4608M "$WORK/mnt/sparse.bin"
        printf 'tail' | dd of="$WORK/mnt/sparse.bin" bs=1 seek=4000000000 conv=notrunc 2>/dev/null
        rm "$WORK/mnt/sparse.bin"
        umount "$WORK/mnt"
        "$SARVIK" recover "$WORK/sparse.img" --to "$WORK/sparse" --all > "$WORK/sparse.out" ||
            fail "sparse file larger than its volume: $(cat "$WORK/sparse.out")"
        [[ $(stat -c %s "$WORK/sparse/sparse.bin") == 4831838208 ]] || fail "sparse file: $(ls -l "$WORK/sparse")"
        [[ $(dd if="$WORK/sparse/sparse.bin" bs=1 skip=4000000000 count=4 2>/dev/null) == tail ]] ||
            fail "sparse file: its data is not where it was"
    fi
    # 1,100 nested deleted folders, a file in each, come back whole with no
    # more than 1,024 descriptors open.
    truncate -s 256M "$WORK/deep.img"
    mkntfs -F -q -Q "$WORK/deep.img" >/dev/null 2>&1
    if ntfs-3g "$WORK/deep.img" "$WORK/mnt" 2>/dev/null; then
        python3 -c "
import os
os.chdir('$WORK/mnt'); os.mkdir('top'); os.chdir('top')
for i in range(1100):
    os.mkdir('d'); os.chdir('d'); open('f.txt', 'w').write('x')"
        rm -rf "$WORK/mnt/top"
        umount "$WORK/mnt"
        (ulimit -n 1024; "$SARVIK" recover "$WORK/deep.img" --to "$WORK/deep" --all > "$WORK/deep.out" 2>&1) ||
            fail "deep tree: $(tail -3 "$WORK/deep.out")"
        [[ $(find "$WORK/deep" -name f.txt | wc -l) == 1100 ]] || fail "deep tree: $(tail -3 "$WORK/deep.out")"
    fi
fi

# --to makes the folders it needs, as mkdir -p does.
"$SARVIK" recover "$img" --all --to "$WORK/made/for/it" >/dev/null 2>&1 || [[ $? == 3 ]] || fail "--to with missing parents"
[[ -n $(ls "$WORK/made/for/it") ]] || fail "nothing written under --to's missing parents"

# Usage errors.
set +e
"$SARVIK" recover "$img" --all > /dev/null 2>&1; [[ $? == 2 ]] || fail "missing --to accepted"
"$SARVIK" recover "$img" --to "$WORK/x" > /dev/null 2>&1; [[ $? == 2 ]] || fail "neither --all nor PATH accepted"
"$SARVIK" recover "$img" --to "$WORK/x" /No/Such > /dev/null 2>&1; [[ $? == 1 ]] || fail "unknown PATH accepted"
set -e
echo "recover: all checks passed"
