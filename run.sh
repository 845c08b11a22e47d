#!/bin/bash
# Installs what is missing, builds Orvelle, makes the demo recorder disk when it
# is missing and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
orvelle_install_deps

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

demo=demo/recorder.img
if [ ! -f "$demo" ] && [ -x build/orvelle-mkdisk ]; then
  mkdir -p demo
  echo "Making the demo recorder disk $demo ..."
  build/orvelle-mkdisk "$demo" --demo
fi

if [ -x build/orvelle ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/orvelle ${demo:+--disk-image "$demo"} "$@"
fi

if [ -x build/orvelle ]; then
  echo "No display found (DISPLAY is not set): showing the demo disk's recordings instead."
else
  echo "The desktop program is not built yet: showing what the command-line tool finds."
fi
if [ -f "$demo" ]; then
  build/orvelle-cli --image "$demo" scan
  build/orvelle-cli --image "$demo" list 2>/dev/null || true
else
  build/orvelle-cli scan
fi
