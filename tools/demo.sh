#!/usr/bin/env bash
# Builds the programs and runs them on the bundled demo image: the volume's
# information, then a scan of everything found on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
bash tools/build.sh
mkdir -p build/demo
gzip -dc samples/demo-fat32.img.gz >build/demo/demo-fat32.img
image=build/demo/demo-fat32.img
./build/bin/sarvik info "$image"
if ./build/bin/sarvik help 2>/dev/null | grep -q '^  scan'; then
  echo
  ./build/bin/sarvik scan "$image"
fi
