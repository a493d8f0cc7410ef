#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages build/sarvik_VERSION_ARCH.deb (the command line)
# and build/sarvik-undelete_VERSION_ARCH.deb (the desktop program) from the
# build in build/ (configured and built first when missing), and prints their
# paths, the command line's first.
#
# Packing the same build twice gives the same bytes: file times are those of
# the last commit (SOURCE_DATE_EPOCH, unless already set), clamped in the
# archives, and the members are written in a fixed order.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH
if [ ! -f build/CMakeCache.txt ]; then
  bash tools/build.sh "$@"
else
  cmake --build build >/dev/null
fi
rm -f build/sarvik_*.deb build/sarvik-undelete_*.deb
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log >&2; exit 1; }
ls build/sarvik_*.deb
ls build/sarvik-undelete_*.deb 2>/dev/null || true
