#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UBSan, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset asan -DQUILLET_BENCHMARKS=OFF
cmake --build --preset asan
ctest --preset asan -j "$(nproc)"
