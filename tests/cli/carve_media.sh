#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Carving the quick-formatted media card of tests/carve/make-media-card.py (real
# files of every type a camera, phone or recorder writes, made by ffmpeg,
# ImageMagick, heif-enc, 7z and tifffile): `sarvik carve` writes each file whose
# clusters survived byte-exact as f<cluster>.<ext>, lists the fragmented one
# as incomplete (exit 3) and finds nothing else; `recover --all --deep` brings
# back the same files. Each file's own date (EXIF DateTimeOriginal, the movie
# header's creation time) is listed and given to the copies.
# Usage: carve_media.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: card missing)
# SARVIK_CARVE_VOLUMES, when set, names the folder of the carving volumes instead.

set -euo pipefail
SARVIK=$1
VOLUMES=${SARVIK_CARVE_VOLUMES:-$2}
CARD=$VOLUMES/card-media.img
MANIFEST=$VOLUMES/card-media.manifest.tsv
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f $CARD ]] || { echo "no card-media.img in $VOLUMES (made with ffmpeg and the other tools present)" >&2; exit 77; }

status=0
TZ=UTC "$SARVIK" carve "$CARD" --to "$WORK/carve" >"$WORK/carve.out" 2>"$WORK/carve.err" || status=$?
[[ $status -eq 3 ]] || fail "carve: exit $status, not 3 (a fragmented file)"
whole=0 fragmented=0
while IFS=$'\t' read -r path _ _ sha _ _ _ first notes; do
    ext=${notes##*ext=}; ext=${ext%% *}
    case $notes in
    *carve=whole*)
        file=$(compgen -G "$WORK/carve/*/f$first.$ext" | head -1) || fail "$path: no f$first.$ext"
        [[ $(sha256sum <"$file" | cut -d' ' -f1) == "$sha" ]] || fail "$path: $file differs"
        grep -Eq "^[a-z0-9]+ +$first +[0-9]+ +whole " "$WORK/carve.out" || fail "$path: not listed whole"
        whole=$((whole + 1))
        ;;
    *carve=fragmented*)
        grep -Eq "^[a-z0-9]+ +$first +[0-9]+ +incomplete " "$WORK/carve.out" || fail "$path: not listed incomplete"
        grep -q "f$first.$ext is incomplete" "$WORK/carve.err" || fail "$path: not named incomplete"
        fragmented=$((fragmented + 1))
        ;;
    esac
done < <(tail -n +2 "$MANIFEST")
[[ $whole -ge 25 && $fragmented -eq 1 ]] || fail "the manifest holds $whole whole and $fragmented fragmented files"
found=$(grep -Ec ' (whole|incomplete) ' "$WORK/carve.out")
[[ $found -eq $((whole + fragmented)) ]] || fail "$found files found, not $((whole + fragmented)): $(cat "$WORK/carve.out")"
echo "card-media: $whole files byte-exact, $fragmented fragmented listed incomplete, nothing else"

# The dates the files keep: the photo's EXIF DateTimeOriginal (a wall-clock
# time), the movies' creation time (UTC); the copies get them.
photo=$(awk -F'\t' '$1 == "DCIM/PHOTO.JPG" { print $8 }' "$MANIFEST")
movie=$(awk -F'\t' '$1 == "DCIM/VID.MOV" { print $8 }' "$MANIFEST")
grep -Eq " jpg/f$photo.jpg  2023-08-09 07:06:05\$" "$WORK/carve.out" || fail "the photo's EXIF date is not listed"
grep -Eq " mp4/f$movie.mov  2024-05-17 10:20:30 UTC\$" "$WORK/carve.out" || fail "the movie's date is not listed"
[[ $(stat -c %Y "$WORK/carve/jpg/f$photo.jpg") -eq $(date -u -d '2023-08-09 07:06:05' +%s) ]] ||
    fail "the photo's copy does not have its EXIF date"
[[ $(stat -c %Y "$WORK/carve/mp4/f$movie.mov") -eq $(date -u -d '2024-05-17 10:20:30' +%s) ]] ||
    fail "the movie's copy does not have its creation time"

TZ=UTC "$SARVIK" recover "$CARD" --to "$WORK/recover" --all --deep >/dev/null 2>&1 || true
declare -A have
while read -r sum _; do have[$sum]=1; done < <(find "$WORK/recover" -type f -exec sha256sum {} +)
# The catalogue keeps it as FAT keeps times: in 2-second steps.
copy=$(find "$WORK/recover" -name "f$photo.jpg" | head -1)
[[ -n $copy && $(stat -c %Y "$copy") -eq $(date -u -d '2023-08-09 07:06:04' +%s) ]] ||
    fail "recover --deep: the photo's copy does not have its EXIF date"
while IFS=$'\t' read -r path _ _ sha _ _ _ _ notes; do
    [[ $notes == *carve=whole* ]] || continue
    [[ -n ${have[$sha]:-} ]] || fail "recover --all --deep: $path did not come back byte-exact"
done < <(tail -n +2 "$MANIFEST")
echo "card-media: recover --all --deep gives back the same files"
