#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into build/ (binaries land in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
# Qt's resource compiler stamps each file with this time rather than the
# checkout's: the last commit's, so that two checkouts build the same program.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
  export SOURCE_DATE_EPOCH
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARVIK_WERROR=ON "$@" >/dev/null
cmake --build build
