#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target in turn for SECONDS each (default 3600) and
# reports, per target, the executions, executions per second (of the clock and
# of CPU time: on a shared machine the two differ) and findings.
# A finding does not end the run: the input is kept, the fuzzer starts again
# from its corpus for the time left (at most 20 restarts per target, so that
# an input found at once again and again cannot eat the run). Timeouts are
# run again alone at the end; those that then finish in time are moved to
# FINDINGS/TARGET/not-reproduced and not counted.
#
# Usage: tools/fuzz-long.sh [SECONDS] [FINDINGS] [TARGET...]
#   FINDINGS  folder for the inputs found (default build-fuzz/findings-long),
#             one subfolder per target, with each run's log
#   TARGET    snapshot, volume, partition, carve, media (default: all)
# Run it niced on a shared machine:  nice -n 19 tools/fuzz-long.sh 600
# Exit status 1 when any target found something.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
findings=$(realpath -m "${2:-build-fuzz/findings-long}")
shift $(($# < 2 ? $# : 2))
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(snapshot volume partition carve media)

# Runs one input once, as the fuzzer would, with the same time limit.
replay() { # replay TARGET INPUT
    local binary
    case $1 in
        snapshot) binary=snapshot_loader_fuzz ;;
        volume) binary=volume_scan_fuzz ;;
        partition) binary=partition_table_fuzz ;;
        carve) binary=carve_fuzz ;;
        media) binary=media_walk_fuzz ;;
    esac
    SARVIK_FUZZ_VOLUMES=${SARVIK_FUZZ_VOLUMES:-$PWD/build-fuzz/volumes} "build-fuzz/$binary" -timeout=5 \
        -rss_limit_mb=2048 -runs=1 "$2"
}

summary=$findings/summary.txt
mkdir -p "$findings"
printf '%-10s %8s %8s %12s %8s %12s %9s %6s\n' target seconds cpu-s executions exec/s exec/cpu-s findings corpus |
    tee "$summary"
status=0
for target in "${targets[@]}"; do
    dir=$findings/$target
    mkdir -p "$dir"
    executions=0 restarts=0 start=$SECONDS cpu=0
    while :; do
        left=$((seconds - (SECONDS - start)))
        ((left > 0 && restarts <= 20)) || break
        log=$dir/run-$restarts.log
        /usr/bin/time -o "$log.cpu" -f '%U %S' bash tools/fuzz-run.sh "$target" "$left" "$dir" >"$log" 2>&1
        rc=$?
        # time(1) puts "Command exited with non-zero status N" before the times
        # when the fuzzer found something: sum the line of numbers only.
        cpu=$(awk -v c="$cpu" '$1 ~ /^[0-9.]+$/ { c += $1 + $2 } END { printf "%.0f", c }' "$log.cpu")
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        executions=$((executions + ${n:-0}))
        ((rc == 0)) && break
        if ! grep -q '^stat::number_of_executed_units' "$log"; then
            echo "fuzz-long: $target did not run (see $log)" >&2
            status=1
            break
        fi
        restarts=$((restarts + 1))
    done
    elapsed=$((SECONDS - start))
    # A timeout on a busy machine may be the machine's: each one is run again
    # alone, and one that then finishes within the limit is set apart.
    for unit in "$dir"/timeout-*; do
        [[ -f $unit ]] || continue
        if replay "$target" "$unit" >"$unit.replay.log" 2>&1; then
            mkdir -p "$dir/not-reproduced"
            mv "$unit" "$unit.replay.log" "$dir/not-reproduced/"
        fi
    done
    found=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
        -o -name 'leak-*' -o -name 'slow-unit-*' \) | wc -l)
    corpus=$(find "build-fuzz/corpus/$target" -type f 2>/dev/null | wc -l)
    ((found == 0)) || status=1
    printf '%-10s %8d %8d %12d %8d %12d %9d %6d\n' "$target" "$elapsed" "$cpu" "$executions" \
        $((executions / (elapsed > 0 ? elapsed : 1))) $((executions / (cpu > 0 ? cpu : 1))) "$found" "$corpus" |
        tee -a "$summary"
done
echo "fuzz-long: findings and logs in $findings" >&2
exit $status
