#!/usr/bin/env bash
# What a prepared translation module adds to the program's start-up, and what a module of
# another build costs, which the program makes again before its main form: timed under Wine in
# the test prefix (bench/win32/LumTrxStartupBench.cpp). trx-startup.sh [REPETITIONS [STARTS]]:
# repetitions of the steps in one process (50), whole starts of Ostrin.exe of each kind (9).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/build.sh win32:LumTrxStartupBench >/dev/null
scripts/wine-run.sh --prefix "$build"/win32/wineprefix \
  "$build"/win32/bench/win32/LumTrxStartupBench.exe "$@"
