#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the Windows programs cross-built in build-windows/ (by
# tools/build-windows.sh, built here first when missing) into
#   OUTDIR/sarvik-undelete-VERSION-setup.exe   the installer (NSIS): both
#       programs into Program Files, a Start menu entry, an uninstaller
#   OUTDIR/sarvik-undelete-VERSION-portable.zip   the same files, to run from
#       any folder
# and prints their paths. OUTDIR is build-windows/package unless given.
#
#   bash tools/package-windows.sh [OUTDIR]
#
# Packing the same build twice gives the same bytes: the installer keeps no
# file times, the zip's members are sorted and dated at the last commit
# (SOURCE_DATE_EPOCH, unless already set) in UTC, without extra fields.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-build-windows/package}")
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH

if [ ! -f build-windows/CMakeCache.txt ]; then
  bash tools/build-windows.sh build
else
  cmake --build build-windows --target sarvik sarvik-undelete >/dev/null
fi
version=$(sed -n 's/^SARVIK_VERSION:INTERNAL=//p' build-windows/CMakeCache.txt)
if [ -z "$version" ]; then
  echo "package-windows: no version in build-windows/CMakeCache.txt" >&2
  exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=sarvik-undelete-$version
mkdir -p "$stage/$name"
cp build-windows/bin/sarvik-undelete.exe build-windows/bin/sarvik.exe "$stage/$name/"
# Text files with Windows line ends, as Notepad shows them.
sed 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
sed 's/$/\r/' >"$stage/$name/README.txt" <<TEXT
Velmora Sarvik Undelete $version

sarvik-undelete.exe  the desktop program: choose the drive or the disk image
                     that held the lost files, scan it, choose the files,
                     recover them into a folder on another drive.
sarvik.exe           the command line (sarvik.exe --help).

Reading a drive itself (not a disk image) needs the administrator's rights;
the program offers to start again as the administrator when it needs them.
TEXT
find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
setup=$out/$name-setup.exe
zip=$out/$name-portable.zip
rm -f "$setup" "$zip"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage/$name" -DOUTFILE="$setup" \
  "$root/packaging/windows/sarvik-undelete.nsi" >"$stage/makensis.log" ||
  {
    cat "$stage/makensis.log" >&2
    exit 1
  }
(cd "$stage" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$zip")
echo "$setup"
echo "$zip"
