#!/bin/bash
# Pictures of the options dialog's Main and Advanced pages, in English and in Italian, taken in
# the headless test desktop: docs/options-{en,it}-{main,advanced}.png.
#   scripts/options-screenshots.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target options_screenshots
tool="$build/tests/options/options_screenshots"
export TRAY=none NOTIFY=none QT_QPA_PLATFORM=xcb
"$root/tests/desktop/with-desktop.sh" "$tool" "$root/docs/options-en"
"$root/tests/desktop/with-desktop.sh" "$tool" "$root/docs/options-it" "$root/resources/lang.txt"
ls -l "$root"/docs/options-*.png
