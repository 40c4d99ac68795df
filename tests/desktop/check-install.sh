#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop
# reads there: the menu entry and the metainfo pass their validators, the
# icons and the binary are where both point, at the sizes they claim.
# Usage: check-install.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: check-install.sh BUILD_DIR}
id=io.github.brindlo.Brindlo
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# As the README gives it to users.
if ! DESTDIR=$root cmake --install "$build" --prefix /usr --strip >"$root/install.log" 2>&1; then
  cat "$root/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for f in "$desktop" "$metainfo" "$prefix/share/icons/hicolor/scalable/apps/$id.svg" \
  "$prefix/share/doc/brindlo/LICENSE"; do
  [ -s "$f" ] || fail "not installed: ${f#"$root"}"
done
[ -x "$prefix/bin/brindlo" ] || fail "no executable ${prefix#"$root"}/bin/brindlo"

# The PNGs must be the size of the folder they are in, or themes scale them.
for size in 16 32; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  if [ ! -s "$png" ]; then
    fail "not installed: ${png#"$root"}"
    continue
  fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  [ "$w x $h" = "$size x $size" ] || fail "${png#"$root"} is $w x $h"
done

# desktop-file-validate exits 0 on some errors ("will be fatal in the
# future"), so its output is read as well.
if [ -f "$desktop" ]; then
  out=$(desktop-file-validate "$desktop" 2>&1)
  status=$?
  [ -n "$out" ] && echo "$out"
  if [ $status -ne 0 ] || grep -qE ': (error|warning):' <<<"$out"; then
    fail "desktop-file-validate"
  fi
  # The entry must start the installed binary and name the installed icon.
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not the installed binary"
  # A file manager offers "Open With" only to an entry that takes files and
  # names their types.
  grep -qE '^Exec=brindlo %[FU]$' "$desktop" || fail "Exec does not pass the files it is opened with"
  mime=$(sed -n 's/^MimeType=//p' "$desktop")
  for type in audio/mpeg inode/directory; do
    grep -qE "(^|;)$type(;|$)" <<<"$mime" || fail "MimeType lacks $type"
  done
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon_name" = "$id" ] || fail "Icon=$icon_name, but the icons are installed as $id"
fi

if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  # The tree check also finds the launchable's .desktop file next to it.
  if ! out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1); then
    echo "$out"
    fail "appstreamcli validate-tree"
  fi
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed layout, menu entry and metainfo are fine"
