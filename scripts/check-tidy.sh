#!/bin/bash
# clang-tidy with the repository's .clang-tidy over the program's own sources (src/*.cpp, and the
# headers they include), using the compile commands of an existing build folder. Any finding fails.
# Usage: scripts/check-tidy.sh BUILD_DIR [JOBS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?usage: check-tidy.sh BUILD_DIR [JOBS]}" && pwd)"
jobs="${2:-$(nproc)}"
[ -f "$build/compile_commands.json" ] || { echo "no compile_commands.json in $build" >&2; exit 1; }
# Qt's generated sources (moc, rcc) in the build folder are not ours to check.
exec run-clang-tidy -quiet -p "$build" -j "$jobs" "^$root/src/.*\.cpp$"
