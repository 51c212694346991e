#!/usr/bin/env bash
# Builds the win32 tree and runs the stack capture timings under Wine (bench/win32): throw and
# catch per second with tracking off and on. Arguments go to the benchmark program (the
# number of raises per timing). LUM_BUILD_DIR chooses the build folder as for build.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/build.sh >/dev/null
cmake --build "$build"/win32 --target LumStackTraceBench >/dev/null
scripts/wine-run.sh --prefix "$build"/win32/wineprefix "$build"/win32/bench/win32/LumStackTraceBench.exe "$@"
