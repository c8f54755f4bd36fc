#!/bin/bash
# Builds the libFuzzer targets with clang in a build folder of their own and runs each for a
# bounded time (20 s by default). A crash, leak or sanitizer report fails.
# Usage: scripts/check-fuzz.sh BUILD_DIR [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: check-fuzz.sh BUILD_DIR [SECONDS]}"
seconds="${2:-20}"
targets=(codecs_fuzz ftp_fuzz)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DLUMIVEX_FUZZ=ON ${CMAKE_FLAGS:-}
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
for target in "${targets[@]}"; do
  binary="$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)"
  [ -n "$binary" ] || { echo "$target was not built" >&2; exit 1; }
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  "$binary" -max_total_time="$seconds" -print_final_stats=1 "$corpus"
done
