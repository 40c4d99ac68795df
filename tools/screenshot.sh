#!/usr/bin/env bash
# Screenshot of the window under a virtual X display: screenshot.sh OUT.png [ARGS...]
# (see tools/screenshot.cpp for the arguments). Needs a build in ./build, or
# in the folder that BRINDLO_BUILD names. QT_SCALE_FACTOR=2 checks layout at
# twice the size.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BRINDLO_BUILD:-$here/build}
exec xvfb-run -a -s "-screen 0 1600x900x24" env QT_QPA_PLATFORM=xcb \
  "$build/tools/screenshot" "$@"
