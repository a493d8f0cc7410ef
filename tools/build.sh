#!/usr/bin/env bash
# Configures and builds into build/ (binaries land in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARVIK_WERROR=ON "$@" >/dev/null
cmake --build build
