#!/usr/bin/env bash
# Builds the Debian package from the program already built in BUILD_DIR (no
# second compile), then checks it as a user's machine would receive it:
# lintian has nothing to say, every file a desktop needs is in it, the
# binary is stripped, and Depends names what playback and the window need.
# Usage: check-package.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail

src=${1:?usage: check-package.sh SOURCE_DIR BUILD_DIR VERSION}
build=${2:?}
version=${3:?}
id=io.github.brindlo.Brindlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! deb=$(bash "$src/tools/package.sh" --no-deps --prebuilt "$build" --out "$work/out" | tail -n1); then
  echo "FAIL: tools/package.sh"
  exit 1
fi
[ "$(basename "$deb")" = "brindlo_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb" ] ||
  fail "package is named $(basename "$deb"), the project version is $version"

# lintian exits 0 on warnings unless told otherwise; its output is shown
# either way so a failure names the tag.
lintian_out=$(lintian --fail-on error,warning "$deb" 2>&1)
lintian_status=$?
[ -n "$lintian_out" ] && echo "$lintian_out"
[ $lintian_status -eq 0 ] || fail "lintian"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for f in ./usr/bin/brindlo \
  ./usr/share/applications/$id.desktop \
  ./usr/share/icons/hicolor/16x16/apps/$id.png \
  ./usr/share/icons/hicolor/32x32/apps/$id.png \
  ./usr/share/icons/hicolor/scalable/apps/$id.svg \
  ./usr/share/metainfo/$id.metainfo.xml \
  ./usr/share/man/man1/brindlo.1.gz \
  ./usr/share/doc/brindlo/copyright; do
  grep -qxF "$f" <<<"$contents" || fail "not in the package: $f"
done

dpkg-deb -x "$deb" "$work/root"
if [ -f "$work/root/usr/bin/brindlo" ]; then
  if readelf -S "$work/root/usr/bin/brindlo" | grep -qE '\.debug_|\.symtab'; then
    fail "usr/bin/brindlo is not stripped"
  fi
fi
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' \
  "$work/root/usr/share/metainfo/$id.metainfo.xml" | head -n1)
[ "$release" = "$version" ] || fail "metainfo's newest release is '$release', the project is $version"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in gstreamer1.0-plugins-base gstreamer1.0-plugins-good qt6-qpa-plugins libqt6widgets6 \
  libqt6dbus6 libgstreamer1.0-0 libmpg123-0; do
  grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p"
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") is lintian clean and complete"
