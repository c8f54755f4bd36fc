#!/bin/sh
# Installs the Debian packages (Debian 12 and 13) Lumivex needs and are missing.
#   install-deps.sh run    build and run the program
#   install-deps.sh test   also everything the tests and benchmarks use
# A name the archive does not know is reported and fails the script, after every other package
# has been installed.
set -eu
here=$(dirname "$0")
want=$(grep -h -v -E '^\s*(#|$)' "$here/packages-run.txt")
if [ "${1:-run}" = test ]; then
  want="$want $(grep -h -v -E '^\s*(#|$)' "$here/packages-test.txt")"
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=""

installed() {
  case "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" in *" installed") return 0 ;; esac
  return 1
}

# install <names...>: installs the missing ones the archive knows; prints the unknown ones.
install() {
  missing=""
  for p in "$@"; do installed "$p" || missing="$missing $p"; done
  [ -z "$missing" ] && return 0
  if [ -z "$updated" ]; then $sudo apt-get update -q >&2; updated=yes; fi
  known=""
  for p in $missing; do
    if [ -n "$(apt-cache policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: //p' | grep -v none)" ]; then
      known="$known $p"
    else
      echo "$p"
    fi
  done
  [ -z "$known" ] && return 0
  echo "Installing:$known" >&2
  # shellcheck disable=SC2086
  $sudo apt-get install -y -q --no-install-recommends $known >&2
}

# shellcheck disable=SC2086
unknown=$(install $want)
if [ "${1:-run}" = test ]; then
  # The clang runtime (libFuzzer, sanitizers) of the clang the release installs.
  clang_major=$(clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
  if [ -n "$clang_major" ]; then
    unknown="$unknown $(install "libclang-rt-$clang_major-dev")"
  fi
fi
unknown=$(echo $unknown)
if [ -n "$unknown" ]; then
  echo "install-deps.sh: not in this system's package archive: $unknown" >&2
  exit 1
fi
