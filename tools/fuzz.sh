#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a while:
#   tools/fuzz.sh [SECONDS_EACH]   (default 600)
# New inputs that grow coverage are kept in build-fuzz/corpus-*; crashes
# land in build-fuzz as crash-* files.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
cd "$here"
if ! command -v clang++ > /dev/null; then
  echo "fuzz.sh needs clang with its libFuzzer runtime: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRINDLO_FUZZ=ON -DBRINDLO_BUILD_TESTS=OFF > /dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_tagrecord fuzz_numberreading fuzz_mp3length
for target in tagrecord numberreading mp3length; do
  work="build-fuzz/corpus-$target"
  mkdir -p "$work"
  (cd build-fuzz && "./fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
     "../$work" "../fuzz/corpus/$target")
done
