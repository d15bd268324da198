#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a plain debug
# build, and a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs="$(nproc)"

cmake --preset debug
cmake --build --preset debug
ctest --preset debug -j "$jobs"

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j "$jobs"
