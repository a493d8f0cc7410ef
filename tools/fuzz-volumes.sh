#!/usr/bin/env bash
# Builds the scan engines' libFuzzer target with clang and AddressSanitizer and
# runs it for a while (default 60 s) over the test volumes in VOLUMES (default
# build/test-volumes, made by tools/make-test-volumes.sh), patching their
# metadata. Usage: tools/fuzz-volumes.sh [SECONDS] [VOLUMES]
# Exit status non-zero on a finding; the input that found it is kept in
# build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
volumes=$(realpath "${2:-build/test-volumes}")
cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz --target volume_scan_fuzz
mkdir -p build-fuzz/volume-corpus build-fuzz/findings
SARVIK_FUZZ_VOLUMES=$volumes build-fuzz/volume_scan_fuzz build-fuzz/volume-corpus tests/fuzz/corpus/volume \
  -max_total_time="$seconds" -max_len=2048 -len_control=20 -timeout=20 -rss_limit_mb=3072 \
  -artifact_prefix=build-fuzz/findings/ -print_final_stats=1
