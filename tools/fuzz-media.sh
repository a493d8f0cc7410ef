#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the walkers of CRC-checked streams and chained blocks (files built
# from a recipe) for SECONDS (default 60); see tools/fuzz-run.sh.
exec bash "$(dirname "$0")/fuzz-run.sh" media "${1:-60}"
