#!/usr/bin/env bash
# Installs what Brindlo needs, builds it with its tests and runs them all.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLO_BUILD_TESTS=ON \
  -DBRINDLO_WERROR=ON > /dev/null
cmake --build build -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300
