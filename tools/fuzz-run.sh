#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds one libFuzzer target (clang, AddressSanitizer, UBSan; tree build-fuzz)
# and runs it for SECONDS from its committed seeds in tests/fuzz/corpus/.
# Inputs it finds new go to build-fuzz/corpus/TARGET (the seeds are only read);
# an input that crashes, hangs (over 5 s: -timeout=5) or runs out of memory is
# kept in FINDINGS (default build-fuzz/findings).
# Every run first executes each committed seed, so an input that once found a
# fault, put into tests/fuzz/corpus/TARGET when the fault is fixed, is run
# again on every CI run (a unit test beside it says what it guards).
#
# Usage: tools/fuzz-run.sh TARGET SECONDS [FINDINGS] [libFuzzer flags...]
#   TARGET: snapshot | volume | partition | carve | media
# The volume target patches the small volumes of tools/make-fuzz-volumes.sh
# (made into build-fuzz/volumes) unless SARVIK_FUZZ_VOLUMES names a folder.
# Exit status non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: tools/fuzz-run.sh snapshot|volume|partition|carve|media SECONDS [FINDINGS] [flags...]}
seconds=${2:?usage: tools/fuzz-run.sh TARGET SECONDS [FINDINGS] [flags...]}
findings=${3:-build-fuzz/findings}
shift $(($# < 3 ? $# : 3))
case $target in
    snapshot) binary=snapshot_loader_fuzz max_len=4096 ;;
    volume) binary=volume_scan_fuzz max_len=2048 ;;
    partition) binary=partition_table_fuzz max_len=32768 ;;
    carve) binary=carve_fuzz max_len=65536 ;;
    media) binary=media_walk_fuzz max_len=65536 ;;
    *) echo "fuzz-run: unknown target $target" >&2; exit 2 ;;
esac
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
build_log=$(cmake --build build-fuzz --target "$binary" 2>&1) || { printf '%s\n' "$build_log" >&2; exit 1; }
if [[ $target == volume && -z ${SARVIK_FUZZ_VOLUMES:-} ]]; then
    bash tools/make-fuzz-volumes.sh build-fuzz/volumes
    export SARVIK_FUZZ_VOLUMES=$PWD/build-fuzz/volumes
fi
mkdir -p "build-fuzz/corpus/$target" "$findings"
exec "build-fuzz/$binary" "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=5 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$@"
