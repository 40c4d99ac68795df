#!/usr/bin/env bash
# Builds the ThreadSanitizer preset and runs the player's tests under it:
#   tools/tsan.sh [CTEST_REGEX]   (default: the player's tests and its fault loop)
# Qt, GLib and GStreamer are not built with the sanitizer: the locks they
# take inside, which order what one thread hands another, are invisible to
# it. tools/tsan.supp names those hand-overs; a report that remains is ours.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
regex=${1:-'^(player_|playback_|fault_playback)'}
cd "$here"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake --preset tsan "${launcher[@]}" > /dev/null
cmake --build --preset tsan -j"$(nproc)" --target player_tests player_strip_tests \
  playback_window_tests playback_soundserver_tests playbackloop
export TSAN_OPTIONS="suppressions=$here/tools/tsan.supp halt_on_error=0 exitcode=66 ${TSAN_OPTIONS:-}"
ctest --preset tsan -R "$regex" --timeout 900
