#!/usr/bin/env bash
# Builds and runs the freeze benchmark: the longest stall of the window's
# event loop while the player opens and closes hard files (10-hour files,
# chained tags, a 2.3 GB file, a hung sound server) and while it opens a
# folder, reads a tag and saves one on a share that waits 1.5 s a call,
# beside the stall with nothing happening. The files are made in a
# temporary folder (about 2.5 GB at most at once) and removed. Prints figures; never fails for being slow.
# Usage: tools/freeze-bench.sh [--dir FOLDER] [--skip-huge] [--only-slow-share]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/install-deps.sh
build=build-bench
[ -d "$build" ] || { [ -d build ] && build=build; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLO_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j"$(nproc)" --target brindlo-freezebench
export QT_QPA_PLATFORM=offscreen
exec "$build/bench/brindlo-freezebench" "$@"
