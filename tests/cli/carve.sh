#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Carving from the command line on the volumes of tests/carve/make-carve-volumes.py:
# `sarvik carve` over bytes with no file system writes every file byte-exact (and
# exits 3 for the fragmented ones it can only give in part), `--types` keeps to
# the types named; on the quick-formatted card `recover --all --deep` brings back every
# file whose clusters survived (those of the folder whose cluster survived by
# name below "$Lost folder N", the others under "$Carved files"), and
# `--deep --no-carve` lists no carved file, nor does a scan without --deep. The
# same on the exFAT card when it was made.
# Usage: carve.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)
# SARVIK_CARVE_VOLUMES, when set, names the folder of the carving volumes instead.

set -euo pipefail
SARVIK=$1
VOLUMES=${SARVIK_CARVE_VOLUMES:-$2}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $VOLUMES/raw-carve.img && -f $VOLUMES/card-fat32.img ]] || { echo "no carving volumes in $VOLUMES" >&2; exit 77; }

# Every manifest row noted carve=whole: a file named f<first unit>.<ext> below
# $1 (in any type folder) with the row's bytes.
check_whole() {
    local dir=$1 manifest=$2 n=0 path size sha first notes ext file
    while IFS=$'\t' read -r path _ size sha _ _ _ first notes; do
        [[ $notes == *carve=whole* ]] || continue
        ext=${notes##*ext=}; ext=${ext%% *}
        file=$(compgen -G "$dir/*/f$first.$ext" | head -1) || fail "$path: no f$first.$ext under $dir"
        [[ $(sha256sum <"$file" | cut -d' ' -f1) == "$sha" ]] || fail "$path: $file differs"
        n=$((n + 1))
    done < <(tail -n +2 "$manifest")
    echo "$n"
}

status=0
"$SARVIK" carve "$VOLUMES/raw-carve.img" --to "$WORK/raw" >"$WORK/raw.out" 2>"$WORK/raw.err" || status=$?
[[ $status -eq 3 ]] || fail "carve of the raw image: exit $status, not 3 (incomplete files)"
n=$(check_whole "$WORK/raw" "$VOLUMES/raw-carve.manifest.tsv")
# A JPEG cut by a few foreign sectors is joined from its two pieces, whole.
joined=0
while IFS=$'\t' read -r path _ _ sha _ _ _ first notes; do
    [[ $notes == *join=whole* ]] || continue
    [[ $(sha256sum <"$WORK/raw/jpg/f$first.jpg" | cut -d' ' -f1) == "$sha" ]] || fail "$path: not joined byte-exact"
    grep -Eq "^jpg +$first +[0-9]+ +whole .* joined from 2 pieces at $first [0-9]+\$" "$WORK/raw.out" ||
        fail "$path: not listed as joined"
    grep -q "f$first.jpg was joined from 2 pieces" "$WORK/raw.err" || fail "$path: not named as joined"
    joined=$((joined + 1))
done < <(tail -n +2 "$VOLUMES/raw-carve.manifest.tsv")
incomplete=$(grep 'carve=incomplete' "$VOLUMES/raw-carve.manifest.tsv" | grep -vc 'join=whole')
[[ $(grep -c ' incomplete ' "$WORK/raw.out") -eq $incomplete ]] || fail "raw image: not $incomplete incomplete files"
[[ $(grep -c 'is incomplete' "$WORK/raw.err") -eq $incomplete ]] || fail "raw image: incomplete files not named"
echo "raw-carve: $n whole files byte-exact, $joined joined from pieces, $incomplete incomplete"

"$SARVIK" carve "$VOLUMES/raw-carve.img" --types png >"$WORK/png.out" || true
[[ $(grep -c '^png ' "$WORK/png.out") -eq 2 && $(grep -Ec '^(jpg|zip|pdf|gif|mp4|tif|sqlite) ' "$WORK/png.out") -eq 0 ]] ||
    fail "--types png: $(cat "$WORK/png.out")"
status=0
"$SARVIK" carve "$VOLUMES/raw-carve.img" --types png,xyz >/dev/null 2>&1 || status=$?
[[ $status -eq 2 ]] || fail "an unknown type: exit $status, not 2"

# A quick-formatted card ($1: card-fat32, card-exfat): recover --all gives back
# every file whose clusters survived, the surviving folder's by name.
check_card() {
    local card=$1 n=0 path sha notes live
    local -A have
    "$SARVIK" recover "$VOLUMES/$card.img" --to "$WORK/$card" --all --deep >/dev/null || fail "recover --all --deep of $card"
    while read -r sum _; do have[$sum]=1; done < <(find "$WORK/$card" -type f -exec sha256sum {} +)
    while IFS=$'\t' read -r path _ _ sha _ _ _ _ notes; do
        [[ $notes == *carve=whole* ]] || continue
        [[ -n ${have[$sha]:-} ]] || fail "$card: $path did not come back byte-exact"
        n=$((n + 1))
    done < <(tail -n +2 "$VOLUMES/$card.manifest.tsv")
    compgen -G "$WORK/$card/\$Lost folder */100VLMRA/IMG_0001.JPG" >/dev/null || fail "$card: the lost folder's files by name"
    live=$(awk -F'\t' '$9 == "carve=none" { print $8 }' "$VOLUMES/$card.manifest.tsv")
    ! compgen -G "$WORK/$card/\$Carved files/*/f$live.*" >/dev/null || fail "$card: the live file was carved again"
    echo "$card: $n files byte-exact"
}
check_card card-fat32
if [[ -f $VOLUMES/card-exfat.img ]]; then
    check_card card-exfat
    ! "$SARVIK" scan "$VOLUMES/card-exfat.img" --deep --no-carve | grep -q 'Carved files' || fail "exFAT: --no-carve still carves"
else
    echo "no card-exfat.img (made only as root with exfat-fuse): skipped"
fi
! "$SARVIK" scan "$VOLUMES/card-fat32.img" --deep --no-carve | grep -q 'Carved files' || fail "--no-carve still carves"
! "$SARVIK" scan "$VOLUMES/card-fat32.img" 2>/dev/null | grep -qE 'Carved files|Lost folder' || fail "a scan without --deep searched free space"
notes=$("$SARVIK" scan "$VOLUMES/card-fat32.img" --no-carve 2>&1 >/dev/null)
grep -q -- '--no-carve: only --deep carves' <<<"$notes" || fail "--no-carve without --deep: no word that it changes nothing"
# scan --json marks every file below "$Carved files" (and no other) as carved.
"$SARVIK" scan "$VOLUMES/card-fat32.img" --json --deep >"$WORK/card.json"
below=$(grep -c '"path":"/\$Carved files/[a-z]*/f' "$WORK/card.json") || true
marked=$(grep -c '"carved":"whole"' "$WORK/card.json") || true
[[ $below -ge 12 && $marked -eq $below ]] || fail "scan --json: $marked carved marks for $below carved files"
! "$SARVIK" scan "$VOLUMES/card-fat32.img" --json --deep --no-carve | grep -q '"carved"' || fail "--no-carve: a carved mark"
