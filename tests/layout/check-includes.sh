#!/usr/bin/env bash
# The source folders may use only the folders before them in this order:
# core, files, controls, player, then the window's handlers. Only player/
# sees GStreamer and libmpg123, and core/ sees nothing but the standard
# library. Prints each include that breaks this and fails if there is one.
set -euo pipefail
src=${1:?usage: check-includes.sh SRC_DIR}
cd "$src"

rank() {
  case "$1" in
    core) echo 0 ;; files) echo 1 ;; controls) echo 2 ;; player) echo 3 ;;
    window | browse | tag | genre | playback) echo 4 ;;
    *) echo -1 ;;
  esac
}

bad=0
while IFS= read -r file; do
  folder=${file%%/*}
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "$file: a folder outside the layout"
    bad=1
    continue
  fi
  while IFS= read -r line; do
    target=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$line")
    if [ "$target" = "$line" ]; then
      echo "$file: $line (name the header by its folder)"
      bad=1
      continue
    fi
    other=$(rank "$target")
    if [ "$other" -lt 0 ] || [ "$other" -gt "$own" ]; then
      echo "$file: $line (a later folder)"
      bad=1
    fi
  done < <(grep -E '^#include "' "$file" || true)
  if [ "$folder" != player ] && grep -qE '^#include <(gst/|mpg123\.h|glib)' "$file"; then
    echo "$file: GStreamer, GLib or libmpg123 outside player/"
    bad=1
  fi
  if [ "$folder" = core ] && grep -qE '^#include <Q' "$file"; then
    echo "$file: Qt in core/"
    bad=1
  fi
done < <(find . -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) -printf '%P\n' | sort)

# The window's side of the player names no GStreamer type or call, so that
# the GStreamer part could be loaded only when the first file opens.
for face in player/mediaplayer.h player/playerengine.h player/playerreport.h \
  player/playerengine.cpp player/mediaplayer.cpp; do
  if [ -f "$face" ] && grep -nE '\b(Gst[A-Z]|gst_|GST_|_Gst|mpg123)' "$face"; then
    echo "$face: GStreamer on the window's side of the player"
    bad=1
  fi
done

# No folder holds the bulk of the code.
total=$(find . -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) -print0 | xargs -0 cat | wc -l)
for dir in */; do
  lines=$(find "$dir" \( -name '*.h' -o -name '*.cpp' \) -print0 | xargs -0 -r cat | wc -l)
  if [ $((lines * 100)) -gt $((total * 40)) ]; then
    echo "${dir%/}: $lines of $total lines, more than 40 %"
    bad=1
  fi
done

if [ "$bad" -ne 0 ]; then exit 1; fi
echo "layout: every include points down the order, and no folder holds over 40 % of the code"
