#!/usr/bin/env bash
# Builds the Debian package brindlo_VERSION_ARCH.deb with debhelper from a
# clean copy of the source tree (no build folders), so what is packaged is
# what is committed plus local edits, never stale build output.
# Usage: tools/package.sh [--out DIR] [--prebuilt BUILD_DIR] [--no-deps]
#   --out DIR             where the .deb goes (default: dist/)
#   --prebuilt BUILD_DIR  package the program already built in BUILD_DIR
#                         instead of compiling it again (the test suite)
#   --no-deps             do not run tools/install-deps.sh first
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/dist
prebuilt=
deps=1
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --prebuilt) prebuilt=$(cd "$2" && pwd); shift 2 ;;
    --no-deps) deps=0; shift ;;
    *) echo "usage: $0 [--out DIR] [--prebuilt BUILD_DIR] [--no-deps]" >&2; exit 2 ;;
  esac
done
[ $deps -eq 1 ] && bash "$here/tools/install-deps.sh"

version=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
src=$stage/brindlo-$version
mkdir -p "$src"
tar -C "$here" --exclude='./build*' --exclude=./dist --exclude=./.git \
  --exclude=./.cache -cf - . | tar -C "$src" -xf -

# -b: binary package only; -us -uc: nothing is signed.
(
  cd "$src"
  if [ -n "$prebuilt" ]; then export BRINDLO_PREBUILT=$prebuilt; fi
  dpkg-buildpackage -b -us -uc
) >"$stage/build.log" 2>&1 || { cat "$stage/build.log"; echo "package build failed" >&2; exit 1; }

mkdir -p "$out"
deb=brindlo_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
cp "$stage/$deb" "$out/"
echo "$out/$deb"
