#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak: damaged copies of the test volumes, each scanned and recovered under
# AddressSanitizer and UBSan in both rule sets. Copy N is volume N mod V of the
# list below, damaged by tools/soak_damage.py with seed SEED+N (boot sectors,
# FATs, folder clusters, MFT records, update sequences, attribute headers, run
# lists, data sizes, attribute lists and $Bitmap patched; truncations; zeroed
# and 0xFF ranges), so any copy can be made again from its number alone.
#
# Four commands per copy, each under a timeout:
#   sarvik scan IMG --json --thorough      sarvik recover IMG --to D1 --all --thorough
#   sarvik scan IMG --json --classic       sarvik recover IMG --to D2 --all --classic
# Checked: no crash (exit status 0, 1, 2, 3 and 130 are outcomes; a signal is
# a crash), no sanitizer report, no hang, `scan --json` prints valid JSON,
# nothing is written outside the destination (the commands run in an empty
# folder with HOME and TMPDIR inside it), no output file is larger than the
# volume (a file-size limit stops a runaway copy at that size), and the image
# is unchanged (SHA-256 before and after).
#
# Findings go to OUT/findings.tsv (copy, volume, damage, command, class) with
# the command's output in OUT/copy-N/. Hangs whose stack is in the copy loop
# or in the condition estimate, and outputs of nothing but zeros larger than
# a FAT volume, are known faults: classed as known-*, and reported apart.
#
# Usage: tools/soak.sh [COUNT] [SEED] [OUT]     (defaults 100, 1, build-asan/soak)
#        tools/soak.sh --copy N [SEED] [OUT]    one copy again, kept in OUT/copy-N
# Environment: SOAK_VOLUMES (test volumes, default build/test-volumes),
# SOAK_SARVIK (default build-asan/bin/sarvik), SOAK_TIMEOUT (seconds per
# command, default 60).
# Exit status 1 when there is a finding that is not a known one.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

first=0
if [[ ${1:-} == --copy ]]; then
    first=${2:?usage: tools/soak.sh --copy N [SEED] [OUT]}
    count=1 keep=1
    shift 2
else
    count=${1:-100} keep=0
    shift $(($# > 0 ? 1 : 0))
fi
seed=${1:-1}
out=$(realpath -m "${2:-build-asan/soak}")
volumes=$(realpath -m "${SOAK_VOLUMES:-build/test-volumes}")
sarvik=$(realpath -m "${SOAK_SARVIK:-build-asan/bin/sarvik}")
limit=${SOAK_TIMEOUT:-60}

[[ -x $sarvik ]] || { echo "soak: no $sarvik (build the sanitizer tree's sarvik target)" >&2; exit 2; }
bases=()
for name in fat16-s1.img fat16.img fat32-s1.img ntfs.img ntfs-extents.img fat12-floppy.img; do
    [[ -f $volumes/$name ]] && bases+=("$volumes/$name")
done
# The fuzzer's small volumes make the soak cheap; they are made when missing.
if bash tools/make-fuzz-volumes.sh build-fuzz/volumes >/dev/null; then
    for name in fuzz-fat16.img fuzz-fat32.img fuzz-ntfs.img fuzz-fat12.img; do
        [[ -f build-fuzz/volumes/$name ]] && bases+=("$root/build-fuzz/volumes/$name")
    done
fi
((${#bases[@]} > 0)) || { echo "soak: no volumes in $volumes" >&2; exit 2; }

export ASAN_OPTIONS="handle_abort=1:detect_leaks=1:exitcode=86:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=86"
mkdir -p "$out"
findings=$out/findings.tsv
((keep)) || printf 'copy\tvolume\tdamage\tcommand\tclass\n' >"$findings"
declare -A classes=()

finding() { # finding N VOLUME DAMAGE COMMAND CLASS
    printf '%s\t%s\t%s\t%s\t%s\n' "$@" >>"$findings"
    classes[$5]=$((${classes[$5]:-0} + 1))
    echo "soak: copy $1 ($2: $3): $4: $5" >&2
}

# Runs sarvik in the empty folder CWD with a file-size limit of the volume's
# size; stdout goes through cat, which the limit does not bind.
run() { # run NAME CWD FSIZE_KIB ARGS...
    local name=$1 cwd=$2 fsize=$3
    shift 3
    (cd "$cwd" && ulimit -f "$fsize" && HOME=$cwd/home TMPDIR=$cwd/tmp exec timeout -s ABRT -k 10 "$limit" \
        "$sarvik" "$@" 2>"$dir/$name.err") | cat >"$dir/$name.out"
    return "${PIPESTATUS[0]}"
}

started=$SECONDS
for ((n = first; n < first + count; n++)); do
    base=${bases[$((n % ${#bases[@]}))]}
    volume=$(basename "$base")
    dir=$out/copy-$n
    rm -rf "$dir"
    mkdir -p "$dir/image" "$dir/cwd/home" "$dir/cwd/tmp"
    img=$dir/image/$volume
    cp --sparse=always "$base" "$img"
    damage=$(/usr/bin/python3 tools/soak_damage.py "$img" $((seed + n)))
    size=$(stat -c %s "$img")
    before=$(sha256sum <"$img")
    fsize=$((size / 1024 + 1))
    bad=0 stopped=0
    for rules in thorough classic; do
        for command in scan recover; do
            name=$command-$rules
            if [[ $command == scan ]]; then
                run "$name" "$dir/cwd" "$fsize" scan "$img" --json "--$rules"
            else
                run "$name" "$dir/cwd" "$fsize" recover "$img" --to "$dir/cwd/dest-$rules" --all "--$rules"
            fi
            rc=$?
            class=""
            case $rc in
                0 | 1 | 2 | 3 | 130) ;;
                124 | 137)
                    if grep -q 'copyRuns' "$dir/$name.err"; then
                        class=known-hang-copy
                    elif grep -qE 'ConditionEstimator|loadBitmapRuns|bitmapBitSet' "$dir/$name.err"; then
                        class=known-hang-estimate
                    else
                        class=hang
                    fi
                    ;;
                153) # SIGXFSZ: a file reached the volume's size
                    stopped=1
                    big=$(find "$dir/cwd" -type f -size +$((fsize - 1))k -printf '%s %p\n' | sort -n | tail -n 1)
                    big=${big#* }
                    if [[ $volume == *fat* && -n $big ]] && cmp -s -n "$(stat -c %s "$big")" "$big" /dev/zero; then
                        class=known-zeros-larger-than-volume
                    else
                        class=output-larger-than-volume
                    fi
                    ;;
                86) class=sanitizer ;;
                *) class=crash-status-$rc ;;
            esac
            if [[ -z $class ]] && grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: UndefinedBehaviorSanitizer' \
                "$dir/$name.err"; then
                class=sanitizer
            fi
            if [[ -z $class && $command == scan && ($rc -eq 0 || -s $dir/$name.out) ]] &&
                ! /usr/bin/python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$dir/$name.out" 2>/dev/null; then
                class=invalid-json
            fi
            if [[ -n $class ]]; then
                finding "$n" "$volume" "$damage" "$name" "$class"
                bad=1
            fi
        done
    done
    # Nothing but the two destinations in the working folder, nothing new
    # beside the image, no output larger than the volume, the image as it was.
    stray=$(find "$dir/cwd" -mindepth 1 \( -path "$dir/cwd/dest-*" -o -path "$dir/cwd/home" -o -path "$dir/cwd/tmp" \) \
        -prune -o -print | head -n 3)
    stray+=$(find "$dir/cwd/home" "$dir/cwd/tmp" -mindepth 1 -print | head -n 3)
    stray+=$(find "$dir/image" -mindepth 1 ! -name "$volume" -print | head -n 3)
    [[ -z $stray ]] || { finding "$n" "$volume" "$damage" "-" "written-outside-destination"; bad=1; }
    if ((!stopped)) && [[ -n $(find "$dir/cwd" -type f -size +"$size"c -print -quit) ]]; then
        finding "$n" "$volume" "$damage" "-" "output-larger-than-volume"
        bad=1
    fi
    [[ $(sha256sum <"$img") == "$before" ]] || { finding "$n" "$volume" "$damage" "-" "image-changed"; bad=1; }
    # Keep the output of copies with a finding, without the image and outputs.
    rm -rf "$dir/cwd/dest-thorough" "$dir/cwd/dest-classic"
    ((bad || keep)) || rm -rf "$dir"
    ((bad && !keep)) && rm -rf "$dir/image"
    (((n - first + 1) % 10 == 0)) && echo "soak: $((n - first + 1)) of $count copies, $((SECONDS - started)) s" >&2
done

total=0 unknown=0
for c in "${!classes[@]}"; do
    total=$((total + classes[$c]))
    [[ $c == known-* ]] || unknown=$((unknown + classes[$c]))
done
echo "soak: $count copies (seed $seed) in $((SECONDS - started)) s over ${#bases[@]} volumes: $unknown findings, $((total - unknown)) known"
for c in "${!classes[@]}"; do echo "  $c: ${classes[$c]}"; done
echo "soak: findings in $findings; a copy again: tools/soak.sh --copy N $seed"
((unknown == 0))
