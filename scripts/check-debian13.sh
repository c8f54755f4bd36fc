#!/bin/bash
# Runs `make test` (or another make target) on Debian 13 "trixie" as a newcomer would: a copy of
# this working tree in a minimal Debian 13 root, the packages installed by the project's own
# install-deps.sh, then the target. Opt-in, like the package test in a fresh root: it needs root
# and Debian's archive, and the first run downloads and unpacks a base system.
# Usage: sudo scripts/check-debian13.sh [MAKE_TARGET]   (default: test)
#   LUMIVEX_DEBIAN13_ROOT  where the base system is kept between runs (default: build-debian13)
#   LUMIVEX_DEBIAN13_KEEP_BUILD=1  reuse the build folders of the last run
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:-test}"
system="${LUMIVEX_DEBIAN13_ROOT:-$root/build-debian13}"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
[ "$(id -u)" -eq 0 ] || { echo "check-debian13.sh needs root (chroot, mounts)" >&2; exit 2; }
command -v debootstrap > /dev/null || { echo "needs debootstrap" >&2; exit 2; }

started=$SECONDS
if [ ! -x "$system/usr/bin/apt-get" ]; then
  echo "Debian 13 base system into $system" >&2
  debootstrap --variant=minbase --include=ca-certificates trixie "$system" "$mirror" >&2
fi
cp /etc/resolv.conf "$system/etc/resolv.conf"

# The working tree as a clean clone would have it (tracked and new files, no build folders).
# Build folders of the last run are kept only on request.
if [ -n "${LUMIVEX_DEBIAN13_KEEP_BUILD:-}" ] && [ -d "$system/src/lumivex" ]; then
  find "$system/src/lumivex" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
else
  rm -rf "$system/src/lumivex"
fi
mkdir -p "$system/src/lumivex"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 -I{} sh -c 'test -e "{}" && printf "%s\0" "{}"' | tar --null -cf - -T -) |
  tar -xf - -C "$system/src/lumivex"
git -C "$system/src/lumivex" init -q
git -C "$system/src/lumivex" add -A

mounted=()
mount_into() {  # mount_into TYPE|--rbind SOURCE POINT
  mkdir -p "$system/$3"
  if [ "$1" = --rbind ]; then mount --rbind "$2" "$system/$3"; mount --make-rslave "$system/$3"
  else mount -t "$1" "$2" "$system/$3"; fi
  mounted=("$system/$3" "${mounted[@]}")
}
unmount_all() { for point in "${mounted[@]}"; do umount -R "$point" 2> /dev/null || true; done; }
trap unmount_all EXIT
mount_into proc proc /proc
mount_into sysfs sys /sys
mount_into --rbind /dev /dev
mount_into tmpfs tmpfs /tmp

# The tests run as root inside; the desktop tests start their own Xvfb and session bus there.
chroot "$system" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  TERM=dumb CI=true /bin/sh -c "
    set -e
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends make
    cd /src/lumivex
    . /etc/os-release; echo \"\$PRETTY_NAME\"
    make $target"
echo "Debian 13: make $target passed in $((SECONDS - started)) s" >&2
