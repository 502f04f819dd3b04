#!/usr/bin/env bash
# tests/package/package_test.sh BUILD: builds the Debian package from the
# build folder BUILD, unpacks it and checks it as a user's machine would see it:
# the files where they belong, the program runs, the desktop entry, AppStream
# data and manual page pass their own tools, and lintian finds no error.
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/deb/dialpix_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack wrote no single dialpix_*.deb"
deb="${debs[0]}"
root="$work/root"
dpkg-deb -x "$deb" "$root"

for f in bin/dialpix libexec/dialpix/dialpix-gui share/applications/dialpix.desktop \
         share/icons/hicolor/32x32/apps/dialpix.png share/icons/hicolor/scalable/apps/dialpix.svg \
         share/mime/packages/dialpix.xml share/metainfo/org.dialpix.dialpix.metainfo.xml \
         share/man/man1/dialpix.1.gz share/doc/dialpix/copyright share/doc/dialpix/changelog.gz; do
  [ -f "$root/usr/$f" ] || fail "/usr/$f is missing"
done
[ -x "$root/usr/bin/dialpix" ] || fail "/usr/bin/dialpix cannot be run"
[ -x "$root/usr/libexec/dialpix/dialpix-gui" ] || fail "/usr/libexec/dialpix/dialpix-gui cannot be run"
file -b "$root/usr/share/icons/hicolor/32x32/apps/dialpix.png" | grep -q '^PNG image data, 32 x 32' ||
  fail "the icon is no 32 x 32 PNG"

version="$(dpkg-deb -f "$deb" Version)"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/dialpix" --version)" = "dialpix $version" ] ||
  fail "the unpacked program does not say it is version $version"
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "the section is not graphics"
if dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -E -- '-dev\b|gtest|benchmark|lintian'; then
  fail "the package depends on what building or testing needs"
fi

desktop-file-validate "$root/usr/share/applications/dialpix.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.dialpix.dialpix.metainfo.xml" >/dev/null
appstreamcli validate-tree --no-net "$root" >/dev/null
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/dialpix.1.gz" \
  >/dev/null 2>"$work/man.err"
[ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors"
echo "package test: $(basename "$deb") passed"
