#!/usr/bin/env bash
# Builds Brindlo's benchmark and runs it under a virtual X display, so that
# the first shown window is a real one. Prints medians with their baselines.
# Usage: tools/bench.sh [--quick] [--start] [--runs N] [--peers [--peer-runs N]]
#   --start  only the start figures (about half a minute)
#   --peers  also starts kid3-qt and easytag under the same X server and
#            prints them beside Brindlo; installs them first when run as
#            root (they are not in the install list: nothing else needs them)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/install-deps.sh
build=build-bench
[ -d "$build" ] || { [ -d build ] && build=build; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLO_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j"$(nproc)" --target brindlo-bench brindlo
for arg in "$@"; do
  [ "$arg" = --peers ] || continue
  missing=()
  for p in kid3-qt easytag; do
    command -v "$p" >/dev/null || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
done
export QT_QPA_PLATFORM=xcb
# Qt warns on every start without one; the warning is noise in the output.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/brindlo-bench" "$@"
