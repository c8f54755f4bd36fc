#!/bin/bash
# Shows that the checks of `make test` can fail: each meets a fault planted in a throwaway copy
# of the working tree (or a probe compiled with the build's own flags) and must reject it, while
# the untouched copy passes. A check that passes a planted fault fails this script.
# Usage: scripts/check-checks.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?usage: check-checks.sh BUILD_DIR}" && pwd)"
work=$(mktemp -d /tmp/lumivex-checks.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

pass() { echo "ok: $1"; }
miss() { echo "FAILED: $1" >&2; failures=$((failures + 1)); }

# expect_failure NAME PATTERN COMMAND...: COMMAND must exit 1 and print a line matching PATTERN.
expect_failure() {
  local name="$1" pattern="$2" status=0; shift 2
  "$@" > "$work/out" 2>&1 || status=$?
  if [ "$status" -eq 1 ] && grep -qE "$pattern" "$work/out"; then pass "$name"; else
    miss "$name (exit $status, expected 1 and /$pattern/)"; sed 's/^/    /' "$work/out" >&2; fi
}
expect_success() {
  local name="$1" status=0; shift
  "$@" > "$work/out" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then pass "$name"; else
    miss "$name (exit $status)"; sed 's/^/    /' "$work/out" >&2; fi
}

# The copy: every file git tracks or would track, as a repository of its own.
copy="$work/tree"
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 -I{} sh -c 'test -e "{}" && printf "%s\0" "{}"' | tar --null -cf - -T -) |
  tar -xf - -C "$copy"
git -C "$copy" init -q && git -C "$copy" add -A

# plant FILE LINE: a line after the first one of FILE (its leading comment).
plant() { sed -i "1a $2" "$copy/$1"; }
restore() { git -C "$copy" checkout -q -- "$@"; }

# Format: a badly laid out line in a tracked file.
expect_success "format check passes the untouched tree" "$copy/scripts/check-format.sh"
plant src/base/Text.cpp 'int   badly_laid_out ( ) {return 0 ;}'
expect_failure "format check finds a badly laid out line" "src/base/Text.cpp" \
  "$copy/scripts/check-format.sh"
restore src/base/Text.cpp

# Includes: the four ways a bad include passed the text-reading check.
cmake -S "$copy" -B "$work/build" -DLUMIVEX_BENCH=ON > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
includes=("$copy/scripts/check-includes.py" "$work/build")
expect_success "include check passes the untouched tree" "${includes[@]}"
echo "# lumivex_capture is not linked, only named in this comment" >> "$copy/src/output/CMakeLists.txt"
plant src/output/PictureOutput.cpp '#include "capture/TAreaForm.h"'
expect_failure "a library named only in a comment links nothing" \
  'src/output/PictureOutput.cpp: includes "capture/TAreaForm.h"' "${includes[@]}"
restore src/output/CMakeLists.txt src/output/PictureOutput.cpp
plant src/app/THidForm.cpp '#include "platform/x11/X11ScreenGrabber.h"'
expect_failure "src/app's library does not link what only the executable links" \
  'src/app/THidForm.cpp: includes "platform/x11/X11ScreenGrabber.h".*lumivex_app does not' \
  "${includes[@]}"
restore src/app/THidForm.cpp
plant src/platform/KeyMap.cpp '#include "platform/x11/X11ScreenGrabber.h"'
expect_failure "lumivex_platform does not link lumivex_platform_desktop" \
  'src/platform/KeyMap.cpp: includes "platform/x11/X11ScreenGrabber.h".*lumivex_platform does not' \
  "${includes[@]}"
restore src/platform/KeyMap.cpp
plant src/codecs/BmpWriter.cpp '#include "settings/Registry.h"'
expect_failure "the codecs do not link the settings" \
  'src/codecs/BmpWriter.cpp: includes "settings/Registry.h"' "${includes[@]}"
restore src/codecs/BmpWriter.cpp

# Warnings: a probe compiled with the flags the build gives the program's own sources.
# (NUL-separated, so that quoted definitions such as -DLUMIVEX_VERSION="0.1.0" stay one word.)
mapfile -d '' compiler < <(python3 - "$build" "$root" <<'EOF'
import json, shlex, sys
build, root = sys.argv[1:]
for entry in json.load(open(f"{build}/compile_commands.json")):
    if entry["file"] == f"{root}/src/base/Text.cpp":
        args = shlex.split(entry["command"])
        out = args.index("-o")
        del args[out:out + 2]
        sys.stdout.write("".join(arg + "\0" for arg in args if arg not in ("-c", entry["file"])))
        break
EOF
)
[ "${#compiler[@]}" -gt 0 ] || { echo "src/base/Text.cpp is not in $build/compile_commands.json" >&2; exit 1; }
echo 'int Shadowed(int x) { { int y = x; return y; } }' > "$work/clean.cpp"
echo 'int Shadowed(int x) { { int x = 1; return x; } }' > "$work/shadow.cpp"
expect_success "the build's flags compile a clean probe" \
  "${compiler[@]}" -c "$work/clean.cpp" -o "$work/p.o"
expect_failure "a warning fails the build" 'error: .*-Werror=shadow' \
  "${compiler[@]}" -c "$work/shadow.cpp" -o "$work/p.o"

# Test doubles: a test binary holds them, and the check says so.
expect_failure "the doubles check finds the doubles in a test" 'lumivex::platform::FakeClock' \
  "$root/scripts/check-no-doubles.sh" "$build/tests/app/main_form_test"

[ "$failures" -eq 0 ] || { echo "$failures check(s) passed a planted fault" >&2; exit 1; }
