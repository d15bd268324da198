#!/usr/bin/env bash
# Installs what is missing, builds a release, and starts the program's main job: the resident
# program with its windows (in the tray) when an X display is reachable, else a listing of the
# data folder's record lists. Arguments are passed to quillet instead.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
if [ $# -eq 0 ]; then
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec ./build/release/app/quillet
  else
    echo "No X display is reachable (DISPLAY=${DISPLAY:-unset}); showing the record lists instead of starting the program."
    set -- lists
  fi
fi
exec ./build/release/app/quillet "$@"
