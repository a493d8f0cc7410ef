#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the carving walkers for SECONDS (default 60); see tools/fuzz-run.sh.
exec bash "$(dirname "$0")/fuzz-run.sh" carve "${1:-60}"
