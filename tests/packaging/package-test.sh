#!/bin/bash
# package-test.sh BUILD_DIR SOURCE_DIR VERSION   (inside tests/desktop/with-desktop.sh)
# Builds the Debian package from the build tree, checks its control data and files, runs the
# validators a distribution runs, checks that this machine's Debian can install it, unpacks it
# into a fresh root and starts the unpacked /usr/bin/lumivex the way a user would (no build
# tree on the PATH, a new home): the tray icon must dock and the hotkey overview must be shown;
# SIGTERM must end it cleanly.
#
# LUMIVEX_PACKAGE_ROOT=debootstrap (as root, with Debian's archive reachable) installs the
# package with apt into a fresh Debian 12 root instead and starts it there in a chroot: the
# base system is debootstrapped once into BUILD_DIR/package-root (about two minutes), each run
# unpacks it anew and installs the package and its dependencies (about a minute).
set -u
build=$1 source=$2 version=$3
work=$(mktemp -d /tmp/lumivex-package.XXXXXX)
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $* ($SECONDS s)"; }
wait_for() {   # wait_for SECONDS COMMAND...
  local end=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -ge "$end" ] && return 1; sleep 0.1; done
}

step "cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/lumivex_${version}-1_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"

step "control data"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Version)" = "$version-1" ] || fail "version $(field Version)"
changelog=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)
[ "$changelog" = "$version-1" ] || fail "packaging/changelog is at $changelog, the project at $version"
# Library dependencies come from dpkg-shlibdeps: the Qt libraries the program links are there.
for dependency in libqt6widgets6 libqt6dbus6 libxcb1 qt6-qpa-plugins; do
  field Depends | grep -q "\b$dependency\b" || fail "Depends lacks $dependency: $(field Depends)"
done
[ "$(field Recommends)" = "7zip | p7zip-full, xdg-utils, qt6-translations-l10n, ca-certificates" ] ||
  fail "Recommends: $(field Recommends)"
for name in Maintainer Section Homepage Description; do
  [ -n "$(field $name)" ] || fail "no $name"
done

step "files"
root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
for file in bin/lumivex bin/lumivex-ftp share/doc/lumivex/lang.txt share/doc/lumivex/copyright \
    share/doc/lumivex/changelog.Debian.gz share/man/man1/lumivex.1.gz share/man/man1/lumivex-ftp.1.gz \
    share/applications/com.quorlan.Lumivex.desktop share/metainfo/com.quorlan.Lumivex.metainfo.xml \
    share/dbus-1/interfaces/com.quorlan.Lumivex.xml \
    share/icons/hicolor/scalable/apps/lumivex.svg share/icons/hicolor/256x256/apps/lumivex.png \
    share/icons/hicolor/16x16/apps/lumivex.png; do
  [ -s "$root/usr/$file" ] || fail "missing /usr/$file"
done
[ ! -e "$root/usr/bin/lumivex-bench" ] || fail "the benchmark is packaged"
for program in lumivex lumivex-ftp; do
  ! readelf -S "$root/usr/bin/$program" | grep -q '\.symtab' || fail "$program not stripped"
done
# The man pages name the documentation folder of the package, not the build tree's prefix.
zcat "$root/usr/share/man/man1/lumivex.1.gz" | grep -q '/usr/share/doc/lumivex/lang.txt' ||
  fail "lumivex.1 does not name /usr/share/doc/lumivex/lang.txt"

step "validators"
desktop-file-validate "$root/usr/share/applications/com.quorlan.Lumivex.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quorlan.Lumivex.metainfo.xml" ||
  fail "appstreamcli validate"
for page in lumivex lumivex-ftp; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
# Errors fail; the one warning expected is initial-upload-closes-no-bugs (no Debian ITP bug).
lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs "$deb" || fail "lintian"

step "installable here"
# A simulation takes no lock and changes nothing: the dependencies resolve on this machine.
apt-get install --simulate "$deb" > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get"; }
grep -q "^Inst lumivex " "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install it"; }

if [ "${LUMIVEX_PACKAGE_ROOT:-unpacked}" = debootstrap ]; then
  step "a fresh Debian 12 root"
  [ "$(id -u)" = 0 ] || fail "a fresh root needs root (chroot, mounts)"
  base="$build/package-root/bookworm-minbase.tar"
  if [ ! -s "$base" ]; then
    mkdir -p "$build/package-root"
    debootstrap --variant=minbase bookworm "$work/base" http://deb.debian.org/debian \
      > "$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log"; fail "debootstrap"; }
    tar -C "$work/base" -cf "$base.part" . && mv "$base.part" "$base" && rm -rf "$work/base"
  fi
  root="$work/chroot"
  mkdir "$root" && tar -C "$root" -xf "$base" || fail "unpacking the base system"
  cp "$deb" "$root/tmp/lumivex.deb" && cp /etc/resolv.conf "$root/etc/resolv.conf"
  # Mounts live in a private mount namespace: they end with the command, nothing leaks out.
  # The test desktop's bus socket and runtime folder are seen at the same path inside.
  in_root=(unshare --mount --propagation private sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc" && mkdir -p "$root$DESK_STATE" &&
      mount --bind "$DESK_STATE" "$root$DESK_STATE" &&
      exec chroot "$root" /usr/bin/env PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"' sh "$root")
  step "apt-get install in the fresh root"
  "${in_root[@]}" sh -c 'apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install \
    -y -q --no-install-recommends /tmp/lumivex.deb' > "$work/install.log" 2>&1 ||
    { tail -20 "$work/install.log"; fail "apt-get install"; }
  home=/tmp/home
  home_on_host="$root$home"
  lumivex=("${in_root[@]}" HOME=$home XDG_CONFIG_HOME=$home/.config /usr/bin/lumivex)
else
  root="$work/root"
  home="$work/home"
  home_on_host="$home"
  lumivex=(env HOME=$home XDG_CONFIG_HOME=$home/.config "$root/usr/bin/lumivex")
fi

step "the installed program"
export PATH=/usr/bin:/bin:/usr/sbin:/sbin
mkdir -p "$home_on_host"
[ "$("${lumivex[@]}" --version)" = "lumivex $version" ] || fail "--version"
"${lumivex[@]}" --help | grep -q "Shift+F1" || fail "--help"
"${lumivex[@]}" --no-such-option 2>/dev/null; [ $? = 2 ] || fail "a wrong option must exit 2"

# Every wrapper execs the next program, so this process id is the program's.
exec "${lumivex[@]}" > "$work/lumivex.log" 2>&1 &
app_pid=$!
overview() { grep -q '"summary": "Hotkeys to capture..."' "$DESK_NOTIFY_LOG"; }
wait_for 20 overview || { cat "$work/lumivex.log"; fail "no hotkey overview notice"; }
grep '"summary": "Hotkeys to capture..."' "$DESK_NOTIFY_LOG" | grep -q 'Full screen - Shift+F1' ||
  fail "overview: $(cat "$DESK_NOTIFY_LOG")"
# The tray icon: a window of this process, viewable, inside the tray host's window.
docked() {
  local tray icon
  tray=$(xdotool search --class tint2 | head -n 1) || return 1
  for icon in $(xdotool search --pid "$1"); do
    xwininfo -tree -id "$tray" | grep -q "^ *$(printf '0x%x' "$icon") " &&
      xwininfo -id "$icon" | grep -q "IsViewable" && return 0
  done
  return 1
}
wait_for 20 docked "$app_pid" || fail "no tray icon in the tray"
[ -s "$home_on_host/.config/Quorlan Software/Vistrel.conf" ] || fail "settings not seeded"

ended_pid=$app_pid
kill -TERM "$app_pid"
(sleep 10; kill -KILL "$app_pid" 2>/dev/null) &
watchdog=$!
wait "$app_pid"; status=$?
app_pid=""
kill "$watchdog" 2>/dev/null
[ $status = 0 ] || fail "exit status $status after SIGTERM (137: killed after 10 s)"
! docked "$ended_pid" || fail "the tray icon is still there"
step "passed"
