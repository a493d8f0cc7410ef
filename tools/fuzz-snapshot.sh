#!/usr/bin/env bash
# Builds the snapshot loader's libFuzzer target with clang and AddressSanitizer
# and runs it for a while (default 30 s) from the committed seed snapshots.
# Usage: tools/fuzz-snapshot.sh [SECONDS]     Exit status non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake -S tests/fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz --target snapshot_loader_fuzz
# New inputs go to a scratch corpus; the committed seeds are only read.
mkdir -p build-fuzz/corpus build-fuzz/findings
build-fuzz/snapshot_loader_fuzz build-fuzz/corpus tests/fuzz/corpus/snapshot \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=build-fuzz/findings/ -print_final_stats=1
