#!/usr/bin/env bash
# Installs what the build needs, builds the system into build/ (laid out like
# an installation) and runs the main job: vexa in silent mode on the bundled
# sample photos.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_TESTS=OFF
cmake --build build -j "$(nproc)"
if [[ ! -x build/bin/vexa ]]; then
  echo "The command-line program vexa is not built yet; the build above holds the parts that exist (see README)."
  exit 0
fi
exec build/bin/vexa /r:silent "$@" data/samples/album.xml
