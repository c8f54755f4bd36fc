#!/bin/sh
# Installs the Debian 12 packages Lumivex needs and are missing.
#   install-deps.sh run    build and run the program
#   install-deps.sh test   also everything the tests and benchmarks use
set -eu
here=$(dirname "$0")
want=$(grep -h -v -E '^\s*(#|$)' "$here/packages-run.txt")
if [ "${1:-run}" = test ]; then
  want="$want $(grep -h -v -E '^\s*(#|$)' "$here/packages-test.txt")"
fi

missing=""
for p in $want; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in *" installed") ;; *) missing="$missing $p" ;; esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
