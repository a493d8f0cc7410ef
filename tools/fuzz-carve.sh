#!/usr/bin/env bash
# Fuzzes the carving walkers for SECONDS (default 60); see tools/fuzz-run.sh.
exec bash "$(dirname "$0")/fuzz-run.sh" carve "${1:-60}"
