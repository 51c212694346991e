#!/usr/bin/env bash
# Builds the benchmarks in a host Release build without sanitizers (build/bench, or bench/
# under LUM_BUILD_DIR) and runs them; arguments go to the benchmark program, e.g.
# --benchmark_filter=InsertFront.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")/bench

bash scripts/bootstrap.sh

# -O2 rather than CMake's -O3: GCC 12 at -O3 reports false -Wrestrict warnings inside
# libstdc++'s strings, and the build treats warnings as errors.
if [ ! -f "$build"/build.ninja ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DLUM_SANITIZE=OFF >/dev/null
fi
cmake --build "$build" --target lum_bench
"$build"/bench/lum_bench "$@"
