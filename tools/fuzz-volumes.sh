#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the scan engines' and the copy's libFuzzer target for a while (default
# 60 s), patching the metadata of the volumes in VOLUMES: by default the small
# volumes of tools/make-fuzz-volumes.sh (build-fuzz/volumes); a folder of test
# volumes (tools/make-test-volumes.sh) replays inputs found over those.
# Usage: tools/fuzz-volumes.sh [SECONDS] [VOLUMES]
# Exit status non-zero on a finding (kept in build-fuzz/findings/).
set -euo pipefail
if [[ -n ${2:-} ]]; then
    SARVIK_FUZZ_VOLUMES=$(realpath "$2")
    export SARVIK_FUZZ_VOLUMES
fi
exec bash "$(dirname "$0")/fuzz-run.sh" volume "${1:-60}" build-fuzz/findings -len_control=20
