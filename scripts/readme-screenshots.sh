#!/bin/bash
# The pictures of the README and the AppStream metadata, taken from the running program in the
# headless test desktop: docs/tray-menu.png, docs/options-dialog.png, docs/notice.png.
#   scripts/readme-screenshots.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target readme_screenshots lumivex
# Without a notification service the notice is the tray's own balloon, which can be photographed.
export NOTIFY=none QT_QPA_PLATFORM=xcb DESK_GEOMETRY=1280x800x24
"$root/tests/desktop/with-desktop.sh" "$build/tests/e2e/readme_screenshots" \
  "$build/src/app/lumivex" "$root/docs"
ls -l "$root"/docs/tray-menu.png "$root"/docs/options-dialog.png "$root"/docs/notice.png
