#!/usr/bin/env bash
# Screenshot of the window under a virtual X display: screenshot.sh OUT.png [ARGS...]
# (see tools/screenshot.cpp for the arguments). Needs a build in ./build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exec xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb \
  "$here/build/tools/screenshot" "$@"
