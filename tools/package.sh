#!/usr/bin/env bash
# Builds the Debian package build/sarvik_VERSION_ARCH.deb from the build in
# build/ (configured and built first when missing), and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  bash tools/build.sh "$@"
else
  cmake --build build >/dev/null
fi
rm -f build/sarvik_*.deb
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log >&2; exit 1; }
ls build/sarvik_*.deb
