#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the snapshot loader's libFuzzer target for a while (default 30 s) from
# the committed seed snapshots.  Usage: tools/fuzz-snapshot.sh [SECONDS]
# Exit status non-zero on a finding (kept in build-fuzz/findings/).
exec bash "$(dirname "$0")/fuzz-run.sh" snapshot "${1:-30}"
