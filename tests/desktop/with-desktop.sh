#!/bin/bash
# with-desktop.sh COMMAND [ARGS...]
# Runs COMMAND inside a private headless desktop and tears the desktop down afterwards,
# whatever COMMAND's outcome. The command's exit status is returned.
# TRAY selects the tray host (tint2 by default; trayer, sni or none); DESK_GEOMETRY the screen
# as WIDTHxHEIGHTxDEPTH (1920x1080x24 by default).
set -u
here=$(cd "$(dirname "$0")" && pwd)
session="$here/desktop-session.sh"

env_file=$(mktemp)
if ! "$session" start auto "${DESK_GEOMETRY:-1920x1080x24}" "${TRAY:-tint2}" > "$env_file"; then
  cat "$env_file" >&2; rm -f "$env_file"; exit 1
fi
# shellcheck disable=SC1090
. "$env_file"; rm -f "$env_file"
export LUMIVEX_DESKTOP_SESSION="$session"
export ALSA_CONFIG_PATH="$here/test-asound.conf"

cleanup() { "$session" stop "$DESK_STATE"; rm -rf "$DESK_STATE"; }
trap cleanup EXIT INT TERM

"$@"
