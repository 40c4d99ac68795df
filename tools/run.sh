#!/usr/bin/env bash
# Installs what Brindlo needs, builds it and starts it.
# On a machine with no display: xvfb-run -a tools/run.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLO_BUILD_TESTS=OFF > /dev/null
cmake --build build -j"$(nproc)" --target brindlo
exec ./build/src/brindlo
