#!/usr/bin/env bash
# Installs what is missing, builds a release, and starts the program's main job.
# Arguments are passed to quillet; without any it lists the record lists of the data folder.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
if [ $# -eq 0 ]; then set -- lists; fi
exec ./build/release/cli/quillet "$@"
