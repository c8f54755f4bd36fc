#!/bin/bash
# Fails when a program holds a symbol of a test double (the Fake... services, the recording
# error box): those live in the test libraries and must never reach what users run.
# Usage: scripts/check-no-doubles.sh PROGRAM...
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: check-no-doubles.sh PROGRAM..." >&2; exit 2; }
status=0
for program in "$@"; do
  symbols=$(nm --demangle "$program") || { echo "cannot read the symbols of $program" >&2; exit 2; }
  found=$(grep -E 'lumivex::([A-Za-z_]+::)*(Fake|Recording)[A-Z][A-Za-z]*' <<< "$symbols" |
    sed -E 's/.*(lumivex::([A-Za-z_]+::)*(Fake|Recording)[A-Z][A-Za-z]*).*/\1/' | sort -u || true)
  if [ -n "$found" ]; then
    echo "$program holds test doubles:"; echo "$found" | sed 's/^/  /'
    status=1
  fi
done
exit $status
