#!/usr/bin/env bash
# What a prepared translation module adds to the program's start-up, timed under Wine in the
# test prefix (bench/win32/LumTrxStartupBench.cpp). An argument sets the repetitions (50).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/build.sh win32:LumTrxStartupBench >/dev/null
scripts/wine-run.sh --prefix "$build"/win32/wineprefix \
  "$build"/win32/bench/win32/LumTrxStartupBench.exe "$@"
