#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs: with "build", only what
# building and running the two programs takes (the demo); without, also what
# the tests, the benchmarks, the Windows cross-build and the package take.
# Safe to run again: packages already present are not fetched twice.
# Usage: tools/setup-debian.sh [build]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libblkid-dev nlohmann-json3-dev libssl-dev
  libewf-dev libvhdi-dev libvmdk-dev libqcow-dev libsmraw-dev libvshadow-dev libbfio-dev
  qt6-base-dev libsystemd-dev qt6-image-formats-plugins libpoppler-qt6-dev
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  gzip
)
if [ "${1:-}" != build ]; then
  packages+=(
    clang libclang-rt-14-dev clang-format clang-tidy
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    dosfstools mtools ntfs-3g exfatprogs exfat-fuse fuse3 sleuthkit testdisk faketime fdisk gdisk attr
    qemu-utils ewf-tools
    xvfb xauth imagemagick xdotool
    ffmpeg libheif-examples p7zip-full python3-tifffile python3-numpy
    python3 python3-jsonschema bc libjpeg-turbo-progs dbus-daemon python3-dbus python3-gi
    g++-mingw-w64-x86-64-posix wine wine64 nsis zip unzip
    dpkg-dev file desktop-file-utils appstream man-db groff libxml2-utils polkitd lintian librsvg2-bin
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
