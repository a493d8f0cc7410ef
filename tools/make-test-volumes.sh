#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds FAT12, FAT16, FAT32 and NTFS test volume images with real tools (mkfs.fat +
# mtools, mkntfs + ntfs-3g), writes files of known content, deletes some of
# them, and writes a manifest (TSV) for each image describing every file and
# folder ever created on it.
#
# Usage: tools/make-test-volumes.sh OUTDIR [fat12|fat16|fat32|ntfs|exfat|demo|thorough|thorough-fat32|carve|all]...
#
# Images (names inside OUTDIR):
#   fat12         fat12.img     FAT12, 16 MiB, 8 KiB clusters (-s 16, as mkfs.fat
#                               picks for that size): 2,043 clusters
#                 fat12-floppy.img  FAT12, a 1.44 MB floppy (1440 KiB, 512 B
#                               clusters, 224 root entries): a smaller tree, with
#                               files whose chains cross the FAT's sector ends
#   fat16         fat16.img     FAT16, 32 MiB, 2 KiB clusters (-s 4)
#                 fat16-s1.img  FAT16, 32 MiB, 512 B clusters (-s 1)
#   fat32         fat32.img     FAT32, 260 MiB sparse, 4 KiB clusters (-s 8): the
#                               smallest size with at least 65525 clusters
#                 fat32-s1.img  FAT32, 64 MiB, 512 B clusters (-s 1)
#   ntfs          ntfs.img      NTFS, 64 MiB sparse, 4 KiB clusters
#   exfat         exfat.img     exFAT, 32 MiB, 4 KiB clusters (tests/exfat/make-exfat-volume.py:
#                               mkfs.exfat and exfat-fuse over a loop device; root)
#                 exfat-times.img  exFAT, 1 MiB: deleted files with 10 ms steps, UTC
#                               offsets written from Python, one set's checksum broken
#                               (tests/exfat/make-exfat-times-volume.py)
#   demo          demo-fat32.img (+ demo-fat32.img.gz made with gzip -9n)
#                               FAT32, smallest size with 65525+ clusters (-s 1)
#   thorough      thorough-fat32.img  FAT32, 64 MiB, 512 B clusters: folders of
#                               hundreds of entries, accented and Cyrillic names,
#                               a deleted folder whose later clusters lie apart,
#                               a deleted folder whose own entry was overwritten
#                 thorough-ntfs.img   NTFS, 256 MiB sparse: empty and compressed
#                               files, accented and Cyrillic names, 12,000 files
#                 (not part of "all"; first_cluster and contiguous are "-";
#                 thorough-fat32 alone makes only the FAT32 one)
#   carve         card-fat32.img, card-exfat.img, raw-carve.img: quick-formatted camera
#                 cards (FAT32; exFAT through exfat-fuse, skipped without root) and
#                 bytes with no file system, for carving (tests/carve/make-carve-volumes.py
#                 writes them and describes their manifests); card-media.img: a
#                 quick-formatted FAT16 card of real files of every type carving
#                 knows, made by ffmpeg, ImageMagick, heif-enc, 7z and tifffile
#                 (tests/carve/make-media-card.py; skipped without them)
# Each IMAGE.img comes with IMAGE.manifest.tsv:
#   path type size sha256 state in_deleted_folder contiguous first_cluster notes
# notes holds space-separated tokens:
#   beyond_first_cluster  FAT: the short entry lies past the folder's first cluster
#   data_overwritten      FAT: some of the file's clusters were allocated again later
#   entry_overwritten     FAT: the deleted directory entry is no longer on disk
#   written_after_deletion  created after some other entry had been deleted
#   in_lost_folder        FAT: a folder above it lost its own entry (its slot was
#                         reused); the thorough scan finds that folder by its first
#                         cluster and lists it as "$Lost folder N" (N that cluster),
#                         so the file comes back under that name in place of the
#                         folder's own: same content, a path that differs there
#   mft=N                 NTFS: MFT record number of the file or folder
#   mft_record_reused     NTFS: a later file took this deleted file's MFT record
#
# Reproducible: mtools timestamps come from SOURCE_DATE_EPOCH, mkfs.fat runs with
# --invariant, file contents come from a seeded generator (testvol_helper.py),
# and mkntfs/ntfs-3g run under libfaketime when it is installed (Debian package
# "faketime"); without it the NTFS image differs from run to run.
#
# samples/demo-fat32.img.gz and samples/demo-fat32.manifest.tsv are copies of
# this script's demo output:  tools/make-test-volumes.sh DIR demo
#
# NTFS needs /dev/fuse and ntfs-3g; without them it is skipped with a message.
# Each image is checked read-only afterwards (fsck.fat -n / ntfsfix -n), and
# its deleted entries are compared with The Sleuth Kit's `fls -r -d -p` and
# `tsk_recover` when those are installed (summary on stderr, never fatal).

set -euo pipefail

log() { printf '%s\n' "$*" >&2; }
die() { printf 'make-test-volumes: %s\n' "$*" >&2; exit 1; }

usage() {
    echo "usage: $0 OUTDIR [fat12|fat16|fat32|ntfs|exfat|demo|thorough|thorough-fat32|carve|all]..." >&2
    exit 2
}

[[ $# -ge 1 ]] || usage
case "$1" in -h|--help) usage ;; esac
OUTDIR=$1
shift
KINDS=("$@")
[[ ${#KINDS[@]} -gt 0 ]] || KINDS=(all)
for k in "${KINDS[@]}"; do
    case "$k" in fat12|fat16|fat32|ntfs|exfat|demo|thorough|thorough-fat32|carve|all) ;; *) echo "unknown kind: $k" >&2; usage ;; esac
done
want() {
    local k
    for k in "${KINDS[@]}"; do [[ $k == "$1" || ($k == all && $1 != thorough*) ]] && return 0; done
    return 1
}

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
HELPER="$HERE/testvol_helper.py"
[[ -f $HELPER ]] || { echo "missing $HELPER" >&2; exit 1; }

export LC_ALL=C.UTF-8 TZ=UTC
export SOURCE_DATE_EPOCH=1700000000        # 2023-11-14 22:13:20 UTC
FIXED_TIME='2023-11-14 22:13:20'
export MTOOLS_SKIP_CHECK=1
unset MTOOLSRC 2>/dev/null || true

mkdir -p "$OUTDIR"
OUTDIR=$(cd "$OUTDIR" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/testvol.XXXXXX")
MNT=""
NTFS_PID=""

CURRENT=""        # image being built: removed with its manifest on failure

cleanup() {
    local rc=$?
    if [[ -n $MNT ]] && mountpoint -q "$MNT" 2>/dev/null; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
    fi
    if [[ -n $NTFS_PID ]]; then
        wait "$NTFS_PID" 2>/dev/null || true
    fi
    if [[ $rc -ne 0 && -n $CURRENT ]]; then
        rm -f "$OUTDIR/$CURRENT.img" "$OUTDIR/$CURRENT.manifest.tsv" "$OUTDIR/$CURRENT.img.gz"
        log "make-test-volumes: failed (exit $rc); removed the unfinished $CURRENT.img"
    fi
    rm -rf "$WORK"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM


# ------------------------------------------------------------------ manifest state
# One set of arrays per image; reset by vol_begin.
declare -a ORDER
declare -A TYPE SIZE SHA STATE NOTES FIRST CONTIG RANGES MADE DELAT SLOT PARENT MFT SHA_OF
STEP=0
MODE=collect      # collect: only list the files to generate; run: act on the image
FS=""             # fat | ntfs
IMG=""
CLUSTER=0
FILELIST=""
STAGE=""
DIRTY=0           # FAT: entries created since the last directory snapshot
ANY_DELETED=0

vol_begin() {
    ORDER=()
    TYPE=() SIZE=() SHA=() STATE=() NOTES=() FIRST=() CONTIG=() RANGES=()
    MADE=() DELAT=() SLOT=() PARENT=() MFT=()
    STEP=0
    DIRTY=0
    ANY_DELETED=0
}

add_note() {
    local p=$1 tok=$2
    case " ${NOTES[$p]:-} " in *" $tok "*) return ;; esac
    NOTES[$p]="${NOTES[$p]:+${NOTES[$p]} }$tok"
}

record() {  # record PATH TYPE SIZE
    local p=$1
    [[ -z ${TYPE[$p]:-} ]] || die "path created twice: $p"
    ORDER+=("$p")
    TYPE[$p]=$2
    SIZE[$p]=$3
    STATE[$p]=live
    STEP=$((STEP + 1))
    MADE[$p]=$STEP
    if [[ $ANY_DELETED == 1 ]]; then add_note "$p" written_after_deletion; fi
}

# ------------------------------------------------------------------ operations
# The plans below call these; what they do depends on MODE and FS.
# Starting a process costs ~15 ms here, so creations are queued and run in
# batches (one mmd / mcopy / mkdir / cp per run of same-kind creations in one
# folder); the queue is flushed before anything else happens, so the order of
# events on the image is the order of the plan.

QKIND=""      # dir | file
QPARENT=""
declare -a QUEUE=()

flush_queue() {
    [[ ${#QUEUE[@]} -gt 0 ]] || return 0
    local p args=()
    if [[ $FS == fat ]]; then
        if [[ $QKIND == dir ]]; then
            for p in "${QUEUE[@]}"; do args+=("::/$p"); done
            mmd -i "$IMG" "${args[@]}"
        else
            for p in "${QUEUE[@]}"; do args+=("$STAGE/$p"); done
            mcopy -i "$IMG" "${args[@]}" "::/$QPARENT"
        fi
        DIRTY=1
    else
        if [[ $QKIND == dir ]]; then
            for p in "${QUEUE[@]}"; do args+=("$MNT/$p"); done
            mkdir "${args[@]}"
        else
            for p in "${QUEUE[@]}"; do args+=("$STAGE/$p"); done
            cp "${args[@]}" "$MNT/$QPARENT"
        fi
        DIRTY=1
    fi
    QUEUE=()
    QKIND=""
}

queue() {  # queue KIND PATH
    local parent=""
    [[ $2 == */* ]] && parent=${2%/*}
    if [[ $QKIND != "$1" || $QPARENT != "$parent" ]]; then
        flush_queue
        QKIND=$1
        QPARENT=$parent
    fi
    QUEUE+=("$2")
}

op_dir() {
    local p=$1
    [[ $MODE == run ]] || return 0
    record "$p" dir -
    SHA[$p]=-
    queue dir "$p"
}

op_file() {  # op_file PATH SIZE KIND
    local p=$1 size=$2 kind=$3
    if [[ $MODE == collect ]]; then
        printf '%s\t%s\t%s\n' "$p" "$size" "$kind" >>"$FILELIST"
        return 0
    fi
    record "$p" file "$size"
    SHA[$p]=${SHA_OF[$p]}
    queue file "$p"
}

# Measure everything created since the last measurement while it is live.
measure() {
    flush_queue
    [[ $DIRTY == 1 ]] || return 0
    if [[ $FS == fat ]]; then fat_snapshot; else ntfs_snapshot; fi
    DIRTY=0
}

op_rm() {
    local p args=()
    [[ $MODE == run ]] || return 0
    measure
    for p in "$@"; do
        [[ ${TYPE[$p]:-} == file && ${STATE[$p]} == live ]] || die "cannot delete $p"
        if [[ $FS == fat ]]; then args+=("::/$p"); else args+=("$MNT/$p"); fi
    done
    if [[ $FS == fat ]]; then mdel -i "$IMG" "${args[@]}"; else rm -- "${args[@]}"; fi
    for p in "$@"; do
        STEP=$((STEP + 1))
        STATE[$p]=deleted
        DELAT[$p]=$STEP
    done
    ANY_DELETED=1
}

op_rmtree() {
    local p=$1 q
    [[ $MODE == run ]] || return 0
    measure
    [[ ${TYPE[$p]:-} == dir && ${STATE[$p]} == live ]] || die "cannot delete folder $p"
    if [[ $FS == fat ]]; then
        mdeltree -i "$IMG" "::/$p"
    else
        rm -r -- "${MNT:?}/$p"
    fi
    STEP=$((STEP + 1))
    for q in "${ORDER[@]}"; do
        if [[ $q == "$p" || $q == "$p/"* ]] && [[ ${STATE[$q]} == live ]]; then
            STATE[$q]=deleted
            DELAT[$q]=$STEP
        fi
    done
    ANY_DELETED=1
}

# ------------------------------------------------------------------ FAT

# mshowfat prints one line per file, "::/path <3-5> <9-12>" (or "::/path Root
# directory or empty file"); keep "3-5,9-12".
fat_showfat() {  # fat_showfat PATH...
    local args=() p line rest r first
    for p in "$@"; do args+=("::/$p"); done
    mshowfat -i "$IMG" "${args[@]}" >"$WORK/showfat.txt"
    declare -A got=()
    while IFS= read -r line; do
        [[ $line == "::/"* ]] || continue
        for p in "$@"; do
            [[ $line == "::/$p "* ]] || continue
            rest=${line#"::/$p "}
            if [[ $rest != "<"* ]]; then
                FIRST[$p]=0; CONTIG[$p]=-; RANGES[$p]=-
            else
                rest=${rest//</}
                rest=${rest//>/}
                r=""
                for first in $rest; do r+="${r:+,}$first"; done
                RANGES[$p]=$r
                FIRST[$p]=${r%%[-,]*}
                if [[ $r == *,* ]]; then CONTIG[$p]=no; else CONTIG[$p]=yes; fi
            fi
            got[$p]=1
            break
        done
    done <"$WORK/showfat.txt"
    for p in "$@"; do [[ -n ${got[$p]:-} ]] || die "mshowfat gave nothing for $p"; done
}

# Reads the raw directory tree (testvol_helper.py fatslots) while entries are
# still live: slot index of each short entry, parent folder and cluster chain,
# and checks the chain against mshowfat's. Folders are measured again at every
# snapshot (their chain may have grown), files once.
fat_snapshot() {
    local path state slot nslots _first _size type _dirbytes beyond chain parent p todo=()
    for p in "${ORDER[@]}"; do
        [[ ${STATE[$p]} == live ]] || continue
        if [[ ${TYPE[$p]} == dir || -z ${RANGES[$p]:-} ]]; then todo+=("$p"); fi
    done
    [[ ${#todo[@]} -eq 0 ]] || fat_showfat "${todo[@]}"
    "$PY" -I -S "$HELPER" fatslots "$IMG" >"$WORK/slots.tsv"
    while IFS=$'\t' read -r path state slot nslots _first _size type _dirbytes beyond chain parent; do
        [[ $state == live ]] || continue
        [[ -n ${TYPE[$path]:-} ]] || die "entry on the image not in the manifest: $path"
        [[ ${STATE[$path]} == live ]] || die "$path is live on the image but was deleted"
        [[ $type == "${TYPE[$path]}" ]] || die "type differs for $path"
        [[ $chain == "${RANGES[$path]}" ]] || die "cluster chain of $path: raw $chain, mshowfat ${RANGES[$path]}"
        if [[ -z ${SLOT[$path]:-} ]]; then
            SLOT[$path]=$slot
            PARENT[$path]=$parent
            if [[ $beyond == yes ]]; then add_note "$path" beyond_first_cluster; fi
            # cross-check the slot count with the long-name rule: ceil(L/13) + 1
            # (every name here is in the Basic Multilingual Plane: characters
            # counted in a UTF-8 locale equal UTF-16 code units)
            local base=${path##*/} len
            len=${#base}
            if [[ $nslots -ne 1 && $nslots -ne $(((len + 12) / 13 + 1)) ]]; then
                die "slot count of $path is $nslots, name has $len UTF-16 units"
            fi
        fi
    done <"$WORK/slots.tsv"
    for p in "${ORDER[@]}"; do
        if [[ ${STATE[$p]} == live && -z ${SLOT[$p]:-} ]]; then die "not found on the image: $p"; fi
    done
}

write_state() {
    local p
    {
        printf 'path\ttype\tstate\tsize\tmade\tdelat\tslot\tparent\tfirst\tranges\tmft\n'
        for p in "${ORDER[@]}"; do
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$p" "${TYPE[$p]}" "${STATE[$p]}" \
                "${SIZE[$p]}" "${MADE[$p]}" "${DELAT[$p]:-0}" "${SLOT[$p]:--}" "${PARENT[$p]:--}" \
                "${FIRST[$p]:--}" "${RANGES[$p]:--}" "${MFT[$p]:--}"
        done
    } >"$WORK/state.tsv"
}

apply_notes() {  # reads "path<TAB>note" lines
    local p note
    while IFS=$'\t' read -r p note; do
        [[ -n ${TYPE[$p]:-} ]] || die "note for an unknown path: $p"
        add_note "$p" "$note"
    done <"$1"
}

# After the last operation: check each entry is still where it was written
# and whether a deleted entry's clusters were handed out again.
fat_finish() {
    measure
    write_state
    "$PY" -I -S "$HELPER" fatfinish "$IMG" "$WORK/state.tsv" >"$WORK/notes.tsv" ||
        die "entries of $IMG are not where they were written"
    apply_notes "$WORK/notes.tsv"
}

# ------------------------------------------------------------------ NTFS

# ntfs-3g gives the MFT record number as the inode number.
ntfs_snapshot() {
    local p todo=() i=0
    for p in "${ORDER[@]}"; do
        [[ ${STATE[$p]} == live && -z ${MFT[$p]:-} ]] && todo+=("$MNT/$p")
    done
    [[ ${#todo[@]} -gt 0 ]] || return 0
    stat -c %i -- "${todo[@]}" >"$WORK/inodes.txt"
    local -a inodes
    mapfile -t inodes <"$WORK/inodes.txt"
    [[ ${#inodes[@]} -eq ${#todo[@]} ]] || die "stat gave ${#inodes[@]} inode numbers for ${#todo[@]} paths"
    for p in "${ORDER[@]}"; do
        [[ ${STATE[$p]} == live && -z ${MFT[$p]:-} ]] || continue
        MFT[$p]=${inodes[i]}
        i=$((i + 1))
    done
}

ntfs_finish() {
    local p q
    write_state
    "$PY" -I -S "$HELPER" ntfsfinish "$IMG" "$WORK/state.tsv" >"$WORK/notes.tsv"
    apply_notes "$WORK/notes.tsv"
    for p in "${ORDER[@]}"; do
        add_note "$p" "mft=${MFT[$p]}"
        FIRST[$p]=-
        CONTIG[$p]=-
    done
    for p in "${ORDER[@]}"; do
        [[ ${STATE[$p]} == deleted ]] || continue
        for q in "${ORDER[@]}"; do
            if [[ ${MADE[$q]} -gt ${DELAT[$p]} && ${MFT[$q]} == "${MFT[$p]}" ]]; then
                add_note "$p" mft_record_reused
            fi
        done
    done
}

# ------------------------------------------------------------------ manifest

write_manifest() {
    local out=$1 p anc indel
    {
        printf 'path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n'
        for p in "${ORDER[@]}"; do
            indel=no
            anc=$p
            while [[ $anc == */* ]]; do
                anc=${anc%/*}
                if [[ ${STATE[$anc]} == deleted ]]; then indel=yes; break; fi
            done
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$p" "${TYPE[$p]}" "${SIZE[$p]}" \
                "${SHA[$p]}" "${STATE[$p]}" "$indel" "${CONTIG[$p]}" "${FIRST[$p]}" "${NOTES[$p]:--}"
        done
    } >"$out"
}

# ------------------------------------------------------------------ plans

# The main tree; sizes depend on the cluster size C.
plan_main() {
    local C=$CLUSTER i n slots_per_cluster name

    op_dir Documents
    op_dir Documents/Projects
    op_dir Documents/Projects/Archive
    op_dir "Documents/Projects/Old drafts"
    op_dir Photos
    op_dir Photos/Thumbs
    op_dir Fragments
    op_dir Spill

    op_file README.TXT 1234 text
    op_file "Quarterly Report 2024.txt" 5000 text
    op_file "Empty note.txt" 0 text
    op_file EMPTY.DAT 0 bin
    op_file "one byte.bin" 1 bin
    op_file "sector minus one.bin" 511 bin
    op_file "sector exact.bin" 512 bin
    op_file "sector plus one.bin" 513 bin
    op_file "cluster exact.bin" "$C" bin
    op_file "cluster plus one.bin" $((C + 1)) bin
    op_file "Large archive.dat" $((3 * 1048576 + 123)) bin
    op_file "Video clip.bin" $((1048576 + 7)) bin
    op_file "Café menu.txt" 700 text
    op_file "Отчёт за май.txt" 900 text
    op_file "Live notes.txt" 2000 text

    op_file "Documents/Letter to Anna.txt" 3000 text
    op_file Documents/KEEP.TXT 800 text
    op_file "Documents/Projects/Design notes.md" 7000 text
    op_file Documents/Projects/plan.txt 600 text
    op_file "Documents/Projects/Archive/old budget.csv" 4500 text
    op_file "Documents/Projects/Archive/final budget.csv" 4600 text
    op_file "Documents/Projects/Old drafts/draft 1.txt" 1500 text
    op_file "Documents/Projects/Old drafts/draft 2.txt" 2500 text

    op_file "Photos/holiday 001.png" 20000 png
    op_file "Photos/holiday 002.png" 35000 png
    op_file "Photos/Thumbs/thumb 001.png" 3000 png

    # Fragmentation: B leaves a hole that a larger later file fills first
    # (first-fit allocation on FAT16) before continuing elsewhere.
    op_file "Fragments/part A.bin" $((3 * C)) bin
    op_file "Fragments/part B.bin" $((2 * C)) bin
    op_file "Fragments/part C.bin" $((3 * C)) bin

    # One folder with more entries than its first cluster holds: each name
    # takes 3 slots (2 long-name + 1 short) after "." and "..", so about
    # slots/3 entries fit in the first cluster and the last 8 or so do not.
    slots_per_cluster=$((C / 32))
    n=$((slots_per_cluster / 3 + 8))
    for ((i = 1; i <= n; i++)); do
        printf -v name 'Spill/spill entry %03d.txt' "$i"
        op_file "$name" $((100 + i)) text
    done

    op_rm "Fragments/part B.bin"
    op_file "Fragmented file.bin" $((5 * C + 100)) bin

    op_rm "Quarterly Report 2024.txt" "Empty note.txt" "one byte.bin" \
        "sector minus one.bin" "sector exact.bin" "sector plus one.bin" \
        "cluster exact.bin" "Large archive.dat" "Café menu.txt" "Отчёт за май.txt" \
        "Fragmented file.bin"
    op_rm "Documents/Letter to Anna.txt"
    op_rm "Documents/Projects/Design notes.md" Documents/Projects/plan.txt
    op_rm "Documents/Projects/Archive/old budget.csv"
    op_rmtree "Documents/Projects/Old drafts"
    op_rmtree Photos
    local gone=()
    for ((i = 4; i < n; i += 4)); do
        printf -v name 'Spill/spill entry %03d.txt' "$i"
        gone+=("$name")
    done
    printf -v name 'Spill/spill entry %03d.txt' "$n"
    gone+=("$name")
    op_rm "${gone[@]}"

    if [[ $FS == ntfs ]]; then
        # The volume stays in use after the deletion: small (resident) files
        # that take new MFT records.
        for i in 1 2 3; do
            op_file "After delete $i.tmp" $((40 * i)) text
        done
    fi
}

# A small tree for the demo image (512-byte clusters: 16 entries per folder
# cluster, the root included; every entry here stays in its first cluster).
plan_demo() {
    op_dir Recipes
    op_dir Work
    op_dir Work/Reports
    op_file README.TXT 420 text
    op_file "Holiday letter.txt" 2600 text
    op_file "Meeting notes March 2024.txt" 3900 text
    op_file sunset.png 9000 png
    op_file Recipes/Pancakes.txt 1200 text
    op_file "Recipes/Tomato soup.txt" 1700 text
    op_file "Recipes/Grandma's bread.txt" 2100 text
    op_file "Work/Café plan.txt" 1500 text
    op_file "Work/To do.txt" 300 text
    op_file "Work/Reports/Budget 2024.csv" 2300 text
    op_file "Work/Reports/Summary.txt" 1100 text
    op_file Work/Reports/chart.png 5000 png

    op_rm "Holiday letter.txt" "Meeting notes March 2024.txt" sunset.png
    op_rm "Work/Café plan.txt"
    op_rm "Work/Reports/Budget 2024.csv" Work/Reports/chart.png
    op_rmtree Recipes
}

# A floppy's worth (1.44 MB, 512-byte clusters, 2,847 of them): files of many
# clusters whose 12-bit entries cross the ends of the FAT's sectors (entry 341
# starts in the last byte of the first sector, 682 in that of the second; the
# live archive's chain runs over 682), a fragmented file, a deleted folder and
# a folder that spills past its first cluster.
plan_floppy() {
    local C=$CLUSTER i n name

    op_dir Letters
    op_dir "Letters/Old letters"
    op_dir Scans
    op_dir Fragments
    op_dir Spill

    op_file README.TXT 700 text
    op_file "Long report.txt" 300000 text
    op_file "Live archive.bin" 200000 bin
    op_file "Empty note.txt" 0 text
    op_file "sector minus one.bin" 511 bin
    op_file "cluster exact.bin" "$C" bin
    op_file "cluster plus one.bin" $((C + 1)) bin
    op_file "Café menu.txt" 700 text
    op_file "Keep me.txt" 2000 text
    op_file "Big picture.png" 180000 png

    op_file "Letters/To Anna.txt" 3000 text
    op_file Letters/KEEP.TXT 800 text
    op_file "Letters/Old letters/first.txt" 1500 text
    op_file "Letters/Old letters/second.txt" 2500 text
    op_file "Scans/page 001.png" 20000 png
    op_file "Scans/page 002.png" 35000 png

    # mtools hands out the first free clusters: the later, larger file fills
    # B's hole before it goes on after C.
    op_file "Fragments/piece A.bin" $((3 * C)) bin
    op_file "Fragments/piece B.bin" $((2 * C)) bin
    op_file "Fragments/piece C.bin" $((3 * C)) bin

    n=$((C / 32 / 3 + 8))
    for ((i = 1; i <= n; i++)); do
        printf -v name 'Spill/spill entry %03d.txt' "$i"
        op_file "$name" $((100 + i)) text
    done

    op_rm "Fragments/piece B.bin"
    op_file "Fragmented file.bin" $((5 * C + 100)) bin

    op_rm "Long report.txt" "Empty note.txt" "sector minus one.bin" "cluster exact.bin" \
        "Café menu.txt" "Big picture.png" "Fragmented file.bin"
    op_rm "Letters/To Anna.txt"
    op_rmtree "Letters/Old letters"
    op_rmtree Scans
    op_rm "Spill/spill entry 004.txt" "Spill/spill entry 008.txt" "$name"
}

# ------------------------------------------------------------------ building

stage_content() {  # stage_content PLAN
    local plan=$1 rel sha
    MODE=collect
    FILELIST="$WORK/files.tsv"
    STAGE="$WORK/stage"
    : >"$FILELIST"
    rm -rf "$STAGE"
    "$plan"
    "$PY" -I -S "$HELPER" gen "$FILELIST" "$STAGE" >"$WORK/sha.tsv"
    SHA_OF=()
    while IFS=$'\t' read -r rel sha; do
        SHA_OF[$rel]=$sha
    done <"$WORK/sha.tsv"
    MODE=run
}

check_and_compare() {  # check_and_compare NAME
    local name=$1 img="$OUTDIR/$1.img" out rc=0
    if [[ $FS == fat ]]; then
        out=$(fsck.fat -n "$img" 2>&1) || rc=$?
        log "[$name] fsck.fat -n: exit $rc: $(tail -n 1 <<<"$out")"
        [[ $rc -eq 0 ]] || { printf '%s\n' "$out" >&2; die "fsck.fat found problems in $img"; }
    else
        out=$(ntfsfix -n "$img" 2>&1) || rc=$?
        log "[$name] ntfsfix -n: exit $rc: $(tail -n 1 <<<"$out")"
        [[ $rc -eq 0 ]] || { printf '%s\n' "$out" >&2; die "ntfsfix found problems in $img"; }
    fi
    if command -v fls >/dev/null && command -v tsk_recover >/dev/null; then
        fls -r -d -p "$img" >"$WORK/fls.txt" 2>"$WORK/fls.err" || log "[$name] fls failed: $(head -n 3 "$WORK/fls.err")"
        rm -rf "$WORK/recovered"
        tsk_recover "$img" "$WORK/recovered" >/dev/null 2>"$WORK/tsk_recover.err" ||
            log "[$name] tsk_recover failed: $(head -n 3 "$WORK/tsk_recover.err")"
        "$PY" -I -S "$HELPER" tskcompare "$OUTDIR/$name.manifest.tsv" "$WORK/fls.txt" "$name" "$WORK/recovered"
    else
        log "[$name] The Sleuth Kit not installed: no fls cross-check"
    fi
}

summary() {  # summary NAME
    local p df=0 dd=0 lf=0 ld=0 frag=0 spill=0 indel=0
    for p in "${ORDER[@]}"; do
        if [[ ${STATE[$p]} == deleted ]]; then
            [[ ${TYPE[$p]} == file ]] && df=$((df + 1)) || dd=$((dd + 1))
            [[ ${CONTIG[$p]} == no ]] && frag=$((frag + 1))
        else
            [[ ${TYPE[$p]} == file ]] && lf=$((lf + 1)) || ld=$((ld + 1))
        fi
        [[ " ${NOTES[$p]:-} " == *" beyond_first_cluster "* ]] && spill=$((spill + 1))
    done
    indel=$(awk -F'\t' 'NR > 1 && $6 == "yes"' "$OUTDIR/$1.manifest.tsv" | wc -l)
    log "[$1] files live=$lf deleted=$df, folders live=$ld deleted=$dd," \
        "in deleted folders=$indel, deleted non-contiguous=$frag, beyond first cluster=$spill"
}

build_fat() {  # build_fat NAME FATBITS SECTORS_PER_CLUSTER SIZE_KIB LABEL VOLID PLAN
    local name=$1 bits=$2 spc=$3 kib=$4 label=$5 volid=$6 plan=$7 out
    FS=fat
    IMG="$OUTDIR/$name.img"
    CURRENT=$name
    CLUSTER=$((spc * 512))
    vol_begin
    stage_content "$plan"
    rm -f "$IMG"
    out=$(mkfs.fat -F "$bits" -s "$spc" -S 512 -n "$label" -i "$volid" --invariant -C "$IMG" "$kib" 2>&1)
    if grep -qi warning <<<"$out"; then
        printf '%s\n' "$out" >&2
        die "mkfs.fat warned for $name"
    fi
    "$plan"
    fat_finish
    write_manifest "$OUTDIR/$name.manifest.tsv"
    log "[$name] FAT$bits, $kib KiB, cluster $CLUSTER bytes"
    summary "$name"
    check_and_compare "$name"
    CURRENT=""
}

ntfs_available() {
    if ! command -v mkntfs >/dev/null || ! command -v ntfs-3g >/dev/null; then
        log "ntfs: mkntfs/ntfs-3g not installed (Debian package ntfs-3g): NTFS image skipped"
        return 1
    fi
    if [[ ! -c /dev/fuse ]]; then
        log "ntfs: /dev/fuse is missing: cannot mount with ntfs-3g, NTFS image skipped"
        return 1
    fi
    return 0
}

build_ntfs() {  # build_ntfs NAME SIZE_MIB PLAN
    local name=$1 mib=$2 plan=$3 faketime_lib="" i
    FS=ntfs
    IMG="$OUTDIR/$name.img"
    CURRENT=$name
    CLUSTER=4096
    vol_begin
    stage_content "$plan"
    for i in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
        [[ -f $i ]] && { faketime_lib=$i; break; }
    done
    [[ -n $faketime_lib ]] ||
        log "ntfs: libfaketime not found (Debian package faketime): $name.img will not be reproducible"
    rm -f "$IMG"
    truncate -s "${mib}M" "$IMG"
    # -s/-p/-H/-S given only to silence the "not a block device" guesses
    LD_PRELOAD=$faketime_lib FAKETIME=$FIXED_TIME \
        mkntfs -F -q -Q -c "$CLUSTER" -s 512 -p 0 -H 1 -S 1 -L TESTNTFS "$IMG" >"$WORK/mkntfs.log" 2>&1 ||
        { cat "$WORK/mkntfs.log" >&2; die "mkntfs failed"; }
    MNT="$WORK/mnt"
    mkdir -p "$MNT"
    # no_detach keeps ntfs-3g as our child, so we can wait for it to finish
    # writing after umount.
    LD_PRELOAD=$faketime_lib FAKETIME=$FIXED_TIME \
        ntfs-3g -o no_detach "$IMG" "$MNT" >"$WORK/ntfs-3g.log" 2>&1 &
    NTFS_PID=$!
    for ((i = 0; i < 100; i++)); do
        mountpoint -q "$MNT" && break
        kill -0 "$NTFS_PID" 2>/dev/null || break
        sleep 0.05
    done
    if ! mountpoint -q "$MNT"; then
        cat "$WORK/ntfs-3g.log" >&2
        log "ntfs: ntfs-3g could not mount $IMG: NTFS image skipped"
        wait "$NTFS_PID" 2>/dev/null || true
        NTFS_PID=""
        rm -f "$IMG"
        CURRENT=""
        return 0
    fi
    "$plan"
    measure
    sync
    umount "$MNT"
    wait "$NTFS_PID" || die "ntfs-3g exited with an error: $(tail -n 3 "$WORK/ntfs-3g.log")"
    NTFS_PID=""
    ntfs_finish
    write_manifest "$OUTDIR/$name.manifest.tsv"
    log "[$name] NTFS, $mib MiB, cluster $CLUSTER bytes"
    summary "$name"
    check_and_compare "$name"
    CURRENT=""
}

# ------------------------------------------------------------------ thorough
# Volumes for the thorough mode: what the default rules leave behind. The files
# are written by a seeded generator into a staging folder (FAT, then copied with
# mcopy) or straight into the ntfs-3g mount; THOROUGH_PLAN lists each path, its
# state after the deletions and its SHA-256.
thorough_generate() {  # thorough_generate ROOT PLAN KIND
    "$PY" -I -S - "$@" <<'PY'
import hashlib, os, random, sys
root, plan, kind = sys.argv[1:]
rng = random.Random(20231114)
rows = []
def write(rel, data, state):
    full = os.path.join(root, rel)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    rows.append((rel, len(data), hashlib.sha256(data).hexdigest(), state))
def text(n):
    words = ["alpha", "beta", "gamma", "delta", "résumé", "отчёт", "data", "file"]
    out = []
    while sum(len(w) + 1 for w in out) < n:
        out.append(rng.choice(words))
    return (" ".join(out)).encode()[:n]
names = ["Été résumé.txt", "Привет мир.txt", "Ünïcödé naïve.txt", "日本語.txt"]
if kind == "fat":
    for i, name in enumerate(names):
        write(name, text(300 + i), "deleted")
    for i in range(300):
        write(f"Big/entry {i:03d} with a long name.txt", text(100 + i % 50), "deleted" if i % 2 else "live")
    for i in range(200):
        write(f"Gone/old {i:03d}.txt", text(120 + i % 30), "deleted")
    write("Gone/Подпапка/Файл.txt", text(400), "deleted")
    # Written one at a time between files of another folder (see build_thorough_fat):
    # Grown's later clusters lie apart from its first, and names of four entries
    # run across its cluster ends.
    for i in range(12):
        write(f"Grown/grown note {i:02d} with a longer name.txt", text(600 + 37 * i), "deleted")
        write(f"Between/spacer {i:02d}.bin", bytes(rng.getrandbits(8) for _ in range(1000)), "live")
    write("Grown/Inner/inner file.txt", text(700), "deleted")
    # Keep/Lost is deleted whole, then new files in Keep take the slots of its
    # entries (see build_thorough_fat): only its own clusters are left.
    for i in range(3):
        write(f"Keep/Lost/lost note {i:02d}.txt", text(500 + 61 * i), "deleted")
    write("Keep/Lost/Deeper/deep note.txt", text(900), "deleted")
    for i in range(3):
        write(f"Keep/NEW{i}.TXT", text(50 + i), "live")
else:
    for i, name in enumerate(names):
        write(name, text(3000 + i), "deleted")
    for i in range(3):
        write(f"Empty/empty {i}.txt", b"", "deleted")
    for i in range(4):
        write(f"Packed/report {i}.txt", text(60000 + 7000 * i), "deleted")
    write("Packed/noise.bin", bytes(rng.getrandbits(8) for _ in range(40000)) + b"A" * 90000, "deleted")
    for d in range(30):
        for i in range(400):
            write(f"Many/dir {d:02d}/file {i:03d}.txt", text(40 + i % 60), "deleted" if d % 3 == 0 else "live")
with open(plan, "w", encoding="utf-8") as f:
    for row in rows:
        f.write("\t".join(map(str, row)) + "\n")
PY
}

thorough_manifest() {  # thorough_manifest PLAN OUT: folders and files with their states
    "$PY" -I -S - "$@" <<'PY'
import sys
plan, out = sys.argv[1:]
rows = [line.rstrip("\n").split("\t") for line in open(plan, encoding="utf-8")]
# Folders deleted whole, with all they hold; Keep/Lost's own entry was then
# overwritten by new files in Keep.
gone = ("Gone", "Grown", "Keep/Lost")
lost = "Keep/Lost"
def within(path, folder):
    return path == folder or path.startswith(folder + "/")
folders = {}
for path, size, sha, state in rows:
    parts = path.split("/")[:-1]
    for k in range(1, len(parts) + 1):
        d = "/".join(parts[:k])
        folders.setdefault(d, "deleted" if any(within(d, g) for g in gone) else "live")
def notes(path):
    out = []
    if path == lost:
        out.append("entry_overwritten")
    elif within(path, lost):
        out.append("in_lost_folder")
    if path.startswith("Keep/NEW"):
        out.append("written_after_deletion")
    return " ".join(out) or "-"
with open(out, "w", encoding="utf-8") as f:
    f.write("path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n")
    for d, state in folders.items():
        indel = "yes" if any(d.startswith(g + "/") for g in gone) else "no"
        f.write(f"{d}\tdir\t-\t-\t{state}\t{indel}\t-\t-\t{notes(d)}\n")
    for path, size, sha, state in rows:
        indel = "yes" if any(path.startswith(g + "/") for g in gone) else "no"
        f.write(f"{path}\tfile\t{size}\t{sha}\t{state}\t{indel}\t-\t-\t{notes(path)}\n")
PY
}

build_thorough_fat() {
    local name=thorough-fat32 stage=$WORK/thorough-fat plan=$WORK/thorough-fat.plan
    CURRENT=$name
    IMG=$OUTDIR/$name.img
    rm -f "$IMG"
    mkfs.fat -F 32 -s 1 -C --invariant -n THOROUGH -i 7a0c0de1 "$IMG" $((64 * 1024)) >/dev/null
    rm -rf "$stage"
    thorough_generate "$stage" "$plan" fat
    local p args=() i
    for p in "$stage"/*; do
        [[ $p == */Grown || $p == */Between || $p == */Keep ]] || args+=("$p")
    done
    mcopy -s -i "$IMG" "${args[@]}" ::/
    # A folder that grows while another is written: each of its files gets its
    # own mcopy with a file of Between after it, so its later directory
    # clusters are allocated after other data, apart from its first cluster.
    # Each name takes four entries from entry 2 on, so every cluster end of the
    # folder cuts a name.
    mmd -i "$IMG" ::/Grown ::/Between
    for ((i = 0; i < 12; i++)); do
        printf -v p '%02d' "$i"
        mcopy -i "$IMG" "$stage/Grown/grown note $p with a longer name.txt" ::/Grown/
        mcopy -i "$IMG" "$stage/Between/spacer $p.bin" ::/Between/
    done
    mcopy -s -i "$IMG" "$stage/Grown/Inner" ::/Grown/
    # A folder whose own entry is gone: Keep/Lost is deleted whole, then new
    # files in Keep take the slots of its long name and short entry (mtools
    # reuses deleted slots), so only its first cluster, whose ".." names Keep,
    # is left to find it by. Its files and Deeper's entry stay in its cluster.
    # Done before the other deletions, so that Keep takes a fresh root slot and
    # the new files' data go after Lost's (FAT32 allocates next-fit).
    mmd -i "$IMG" ::/Keep
    mcopy -s -i "$IMG" "$stage/Keep/Lost" ::/Keep/
    mdeltree -i "$IMG" ::/Keep/Lost
    mcopy -i "$IMG" "$stage"/Keep/NEW?.TXT ::/Keep/
    args=()
    while IFS=$'\t' read -r p _ _ state; do
        [[ $state == deleted && $p != Gone/* && $p != Grown/* && $p != Keep/* ]] && args+=("::/$p")
    done <"$plan"
    mdel -i "$IMG" "${args[@]}"
    mdeltree -i "$IMG" ::/Gone ::/Grown
    fsck.fat -n "$IMG" >/dev/null || die "fsck.fat found errors on $name"
    thorough_manifest "$plan" "$OUTDIR/$name.manifest.tsv"
    CURRENT=""
    log "[$name] $(grep -c $'\tdeleted\t' "$OUTDIR/$name.manifest.tsv") deleted entries"
}

build_thorough_ntfs() {
    local name=thorough-ntfs plan=$WORK/thorough-ntfs.plan
    CURRENT=$name
    IMG=$OUTDIR/$name.img
    rm -f "$IMG"
    truncate -s 256M "$IMG"
    mkntfs -q -F -f -c 4096 -L THOROUGH "$IMG" >/dev/null 2>&1
    MNT=$WORK/thorough-mnt
    mkdir -p "$MNT"
    ntfs-3g -o compression "$IMG" "$MNT"
    mkdir -p "$MNT/Packed"
    # The compressed attribute on the folder: files made in it are compressed.
    setfattr -n system.ntfs_attrib_be -v 0x00000810 "$MNT/Packed" || die "setfattr (Debian package attr) is needed"
    thorough_generate "$MNT" "$plan" ntfs
    local p
    while IFS=$'\t' read -r p _ _ state; do
        [[ $state == deleted ]] && rm -- "$MNT/$p"
    done <"$plan"
    umount "$MNT"
    MNT=""
    thorough_manifest "$plan" "$OUTDIR/$name.manifest.tsv"
    CURRENT=""
    log "[$name] $(grep -c $'\tdeleted\t' "$OUTDIR/$name.manifest.tsv") deleted entries"
}

for tool in mkfs.fat mcopy mmd mdel mdeltree mshowfat fsck.fat python3; do
    command -v "$tool" >/dev/null || die "$tool not found (Debian packages dosfstools, mtools, python3)"
done

# the real interpreter, not a version-manager shim that costs a second per start
if [[ -x /usr/bin/python3 ]]; then PY=/usr/bin/python3; else PY=$(python3 -I -S -c 'import sys; print(sys.executable)'); fi
START=$SECONDS
if want fat12; then
    build_fat fat12 12 16 16384 FAT12TEST 12a0c0de plan_main
    build_fat fat12-floppy 12 1 1440 FLOPPY 12a0f10b plan_floppy
fi
if want fat16; then
    build_fat fat16 16 4 32768 FAT16TEST 16a0c0de plan_main
    build_fat fat16-s1 16 1 32768 FAT16S1 16a0c001 plan_main
fi
if want fat32; then
    build_fat fat32 32 8 $((260 * 1024)) FAT32TEST 32a0c0de plan_main
    build_fat fat32-s1 32 1 $((64 * 1024)) FAT32S1 32a0c001 plan_main
fi
if want ntfs; then
    if ntfs_available; then
        build_ntfs ntfs 64 plan_main
    fi
fi
if want exfat; then
    # Skipped with a message (status 77) without root, /dev/fuse or the tools.
    CURRENT=exfat
    rc=0
    "$PY" "$HERE/../tests/exfat/make-exfat-volume.py" "$OUTDIR" || rc=$?
    [[ $rc == 0 || $rc == 77 ]] || die "exfat volume failed (exit $rc)"
    CURRENT=exfat-times
    rc=0
    "$PY" "$HERE/../tests/exfat/make-exfat-times-volume.py" "$OUTDIR" || rc=$?
    [[ $rc == 0 || $rc == 77 ]] || die "exfat-times volume failed (exit $rc)"
    CURRENT=""
fi
if want demo; then
    # 33296 KiB is the smallest size for which mkfs.fat -s 1 gives 65525+ clusters
    build_fat demo-fat32 32 1 33296 DEMO 0dec0de5 plan_demo
    CURRENT=demo-fat32
    gzip -9n -c "$OUTDIR/demo-fat32.img" >"$OUTDIR/demo-fat32.img.gz"
    CURRENT=""
    log "[demo-fat32] demo-fat32.img.gz: $(stat -c %s "$OUTDIR/demo-fat32.img.gz") bytes"
fi
if want thorough || want thorough-fat32; then
    build_thorough_fat
fi
if want thorough; then
    if ntfs_available; then
        build_thorough_ntfs
    fi
fi
if want carve; then
    CURRENT=card-fat32
    "$PY" "$HERE/../tests/carve/make-carve-volumes.py" "$OUTDIR" card exfat raw
    CURRENT=card-media
    "$PY" "$HERE/../tests/carve/make-media-card.py" "$OUTDIR"
    CURRENT=""
fi
log "done in $((SECONDS - START)) s: $OUTDIR"
