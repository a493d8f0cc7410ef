#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the command line (sarvik.exe), the desktop program
# (sarvik-undelete.exe) and the tests of the core, of
# the presentation layer (src/session) and of the desktop program's plain parts for 64-bit Windows with mingw-w64 into
# build-windows/, then runs those tests and the command-line check
# (tests/windows/cli-check.sh) and the desktop program's own run through its
# steps (tests/windows/desktop-check.sh) under wine, and the installer
# (tests/windows/installer-check.sh: tools/package-windows.sh).
#
#   bash tools/build-windows.sh [build|test|all]   (all is the default)
#
# The core tests read the test volumes of build/test-volumes through wine's
# drive Z:; make them first (tools/make-test-volumes.sh, see tools/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
root=$PWD
out=build-windows

bash tools/setup-debian.sh

if [ "$what" = all ] || [ "$what" = build ]; then
  start=$(date +%s)
  cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DSARVIK_WERROR=ON -DSARVIK_BUILD_GUI=OFF \
    -DSARVIK_GTEST_SOURCES=/usr/src/googletest \
    -DSARVIK_TEST_VOLUMES_DIR="Z:$root/build/test-volumes" -DSARVIK_TEST_SOURCE_DIR="Z:$root" \
    ${SARVIK_WINDOWS_CMAKE_ARGS:-} >/dev/null
  cmake --build "$out" --target sarvik sarvik-undelete core_tests session_tests platform_tests desktop_tests -- ${SARVIK_NINJA_ARGS:-}
  echo "build-windows: built in $(($(date +%s) - start)) s" >&2
fi

if [ "$what" = all ] || [ "$what" = test ]; then
  start=$(date +%s)
  # wine's own folder, kept in the build folder; no display, no debug noise.
  export WINEPREFIX="$root/$out/wine"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
  fi
  wine "$out/bin/platform_tests.exe" --gtest_brief=1
  # wine passes the test program's exit status on; GoogleTest prints the
  # counts (passed, skipped with their reasons, failed).
  wine "$out/bin/core_tests.exe" --gtest_brief=1 2>&1 | tee "$out/core_tests.log"
  wine "$out/bin/session_tests.exe" --gtest_brief=1
  wine "$out/bin/desktop_tests.exe" --gtest_brief=1
  bash tests/windows/cli-check.sh "$out/bin/sarvik.exe" build/bin/sarvik build/test-volumes
  bash tests/windows/desktop-check.sh "$out/bin/sarvik-undelete.exe" build/bin/sarvik build/test-volumes
  bash tests/windows/installer-check.sh build/test-volumes
  wineserver --kill || true
  echo "build-windows: tests under wine took $(($(date +%s) - start)) s" >&2
fi
