#!/bin/bash
# Fails when a tracked C++ file differs from what clang-format (the repository's .clang-format)
# makes of it. `make format` fixes the files.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || exit 1
