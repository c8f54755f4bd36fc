#!/bin/bash
# The whole test suite once more under AddressSanitizer and UndefinedBehaviorSanitizer, in a
# build folder of its own.
# Usage: scripts/check-sanitize.sh BUILD_DIR [JOBS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: check-sanitize.sh BUILD_DIR [JOBS]}"
jobs="${2:-$(nproc)}"
cmake -S "$root" -B "$build" -DLUMIVEX_SANITIZE=ON ${CMAKE_FLAGS:-}
cmake --build "$build" -j "$jobs"
cd "$build" && ctest --output-on-failure -j "$jobs"
