#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the partition tables' libFuzzer target (MBR, extended chains, GPT) for a
# while (default 30 s) from the seeds of tests/fuzz/make-partition-seeds.sh.
# Usage: tools/fuzz-partitions.sh [SECONDS]
# Exit status non-zero on a finding (kept in build-fuzz/findings/).
exec bash "$(dirname "$0")/fuzz-run.sh" partition "${1:-30}"
