#!/usr/bin/env bash
# Builds the ThreadSanitizer preset and runs the player's tests and a short
# playback fault loop under it; fails on any report that remains:
#   tools/tsan.sh [--rounds N]   (fault loop rounds, default 1)
# Qt, GLib and GStreamer are not built with the sanitizer: the locks they
# take inside, which order what one thread hands another, are invisible to
# it. tools/tsan.supp names those libraries; a report that remains is ours.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=1
if [ "${1:-}" = --rounds ]; then rounds=${2:?}; fi
cd "$here"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake --preset tsan "${launcher[@]}" > /dev/null
cmake --build --preset tsan -j"$(nproc)" --target player_tests player_strip_tests \
  playback_window_tests playback_soundserver_tests playbackloop
# The fault loop forks its watchdog before Qt starts its threads.
export TSAN_OPTIONS="suppressions=$here/tools/tsan.supp halt_on_error=0 exitcode=66 die_after_fork=0 ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
failed=0
run() {
  local name=$1
  shift
  if "$@" > "$logs/$name.log" 2>&1; then result=clean; else result="FAILED (exit $?)"; failed=1; fi
  reports=$(grep -c 'WARNING: ThreadSanitizer' "$logs/$name.log" || true)
  echo "$name: $result, $reports sanitizer reports"
}
for t in player_tests player_strip_tests playback_window_tests playback_soundserver_tests; do
  run "$t" "build-tsan/tests/$t"
done
fixtures=build-tsan/mp3-fixtures
run playbackloop build-tsan/faults/playbackloop --good "$fixtures/cbr.mp3" \
  --good "$fixtures/vbr-xing.mp3" --good "$fixtures/mono8k.mp3" --rounds "$rounds" --seed 7 \
  --sound-server --commands 20 --limit 60
if [ "$failed" -ne 0 ]; then
  echo "logs: $logs"
  exit 1
fi
rm -rf "$logs"
