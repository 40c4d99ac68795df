#!/usr/bin/env bash
# Builds Brindlo's benchmark and runs it under a virtual X display, so that
# the first shown window is a real one. Prints medians with their baselines.
# Usage: tools/bench.sh [--quick] [--runs N]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/install-deps.sh
build=build-bench
[ -d "$build" ] || { [ -d build ] && build=build; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLO_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j"$(nproc)" --target brindlo-bench
export QT_QPA_PLATFORM=xcb
# Qt warns on every start without one; the warning is noise in the output.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/brindlo-bench" "$@"
