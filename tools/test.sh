#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything with warnings as errors, makes the test volumes, runs every
# test, cross-builds for Windows and tests that under wine, then runs the core
# tests again under AddressSanitizer and UBSan, soaks
# the command line on damaged volumes, runs the core tests and the GUI's worker
# tests under ThreadSanitizer, and fuzzes every parser for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
# The tests are built even where the demo configured build/ without them, and the
# benchmarks too, so that they keep compiling as the code under them changes.
bash tools/build.sh -DSARVIK_BUILD_TESTS=ON -DSARVIK_BUILD_BENCH=ON
# Every source of src/ and tests/ as .clang-format lays it out, and src/
# through clang-tidy with the repository's checks (functions of at most 150 lines).
bash tools/check-style.sh
bash tools/spdx-heads.sh --check # every source file names its licence
if [ -x tools/make-test-volumes.sh ]; then
  bash tools/make-test-volumes.sh build/test-volumes all thorough-fat32 >build/test-volumes.log 2>&1 ||
    { cat build/test-volumes.log >&2; exit 1; }
  # An NTFS volume of 50,000 files: an MFT of hundreds of runs with an attribute list.
  if [ ! -f build/test-volumes/ntfs-mft.img ]; then
    /usr/bin/python3 tests/ntfs/make-ntfs-mft-volume.py build/test-volumes >>build/test-volumes.log 2>&1 ||
      { cat build/test-volumes.log >&2; exit 1; }
  fi
  # Deleted NTFS files whose data attribute ntfs-3g split over extension records.
  if [ ! -f build/test-volumes/ntfs-extents.img ]; then
    /usr/bin/python3 tests/ntfs/make-ntfs-extents-volume.py build/test-volumes >>build/test-volumes.log 2>&1 ||
      { cat build/test-volumes.log >&2; exit 1; }
  fi
  # FAT structures of everyday use and damage: moved folders, loops, deleted
  # folders past other files' clusters, a live file whose chain was cleared.
  if [ ! -f build/test-volumes/fat-cleared.img ]; then
    /usr/bin/python3 tests/fat/make-real-fat-volumes.py build/test-volumes >>build/test-volumes.log 2>&1 ||
      { cat build/test-volumes.log >&2; exit 1; }
  fi
  # NTFS with 4,096-byte sectors and FAT16 with one FAT.
  if [ ! -f build/test-volumes/ntfs-4k.img ] || [ ! -f build/test-volumes/fat16-1fat.img ]; then
    /usr/bin/python3 tests/disk/make-geometry-volumes.py build/test-volumes >>build/test-volumes.log 2>&1 ||
      { cat build/test-volumes.log >&2; exit 1; }
  fi
fi
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)

# The Windows build: sarvik.exe and the core tests cross-built with mingw-w64,
# run under wine, and sarvik.exe checked against build/bin/sarvik.
bash tools/build-windows.sh

# Sanitizer build: the core and session tests, and the command line for the soak.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSARVIK_WERROR=ON -DSARVIK_SANITIZE=ON \
  -DSARVIK_BUILD_GUI=OFF >/dev/null
cmake --build build-asan --target core_tests session_tests sarvik
rm -rf build-asan/test-volumes && ln -s ../build/test-volumes build-asan/test-volumes
(cd build-asan && ctest --output-on-failure -j2 -L "core|session")

# 100 damaged copies of the test volumes, scanned and recovered in both rule
# sets under the sanitizers (findings already known are listed, not fatal).
SOAK_TIMEOUT=30 bash tools/soak.sh 100

# ThreadSanitizer: the core tests and the desktop program's worker tests.
bash tools/tsan.sh

# The snapshot loader, the partition tables, then the scan engines and the
# copy on patched small volumes, and the carving walkers, under libFuzzer for a short while.
bash tools/fuzz-snapshot.sh 30
bash tools/fuzz-partitions.sh 30
bash tools/fuzz-volumes.sh 45
bash tools/fuzz-carve.sh 30
bash tools/fuzz-media.sh 30
bash tools/check-package.sh # desktop entry, AppStream, man pages, policy, lintian, installed programs
