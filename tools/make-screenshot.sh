#!/usr/bin/env bash
# Makes docs/screenshot.png: the window under Xvfb on a small demo folder.
# Needs a build in ./build (tools/test.sh or tools/run.sh makes one).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
demo=/tmp/brindlo-demo
rm -rf "$demo"
trap 'rm -rf "$demo"' EXIT
music="$demo/Music/Night Drive"
mkdir -p "$music" "$demo/Music/Live"

# A few files ending in an ID3v1 record: "TAG", title, artist, album, year,
# comment, genre code (as this program numbers it).
record() { # title artist album year comment genre
  printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s' "$1" "$2" "$3" "$4" "$5"
  printf "\\$(printf '%03o' "$6")"
}
make_song() { # file title artist album year comment genre
  head -c 4096 /dev/zero > "$1"
  record "${@:2}" >> "$1"
}
make_song "$music/01 Harbour Lights.mp3" "Harbour Lights" "The Lamplighters" "Night Drive" 2019 "Remastered" 18
make_song "$music/02 Overpass.mp3" "Overpass" "The Lamplighters" "Night Drive" 2019 "" 18
make_song "$music/03 Slow Rain.MP3" "Slow Rain" "The Lamplighters" "Night Drive" 2019 "" 95
head -c 4096 /dev/zero > "$music/04 Untagged.mp3"
echo "cover art" > "$music/cover.txt"

"$here/tools/screenshot.sh" "${1:-$here/docs/screenshot.png}" "$music" "01 Harbour Lights.mp3"
