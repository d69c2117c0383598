#!/usr/bin/env bash
# Installs what Tesk needs, builds it and starts the viewer in the folder of
# sample structures, so that the Open dialog has something to load.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target tesk
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Tesk needs a graphical desktop, and no display was found (DISPLAY is not set)."
  echo "Start it from a desktop session, or try it on a virtual screen:"
  echo "  (cd examples && xvfb-run -a -s '-screen 0 1280x1024x24' ../build/tesk)"
  exit 1
fi
cd examples
exec ../build/tesk
