#!/usr/bin/env bash
# The main job: builds Ostrin.exe and runs it under Wine in a fresh prefix, then reports what
# happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

# Only what the main job needs: the host build tools, the program with its embedded stand-in,
# and the probe that reports what was registered.
bash scripts/build.sh host:lumbuild host:lumform host:lumdbg win32:Ostrin win32:CapicomInfo

# A fresh prefix for each run: a copy of a pristine one that nothing else runs in.
prepared="$build/pristine-prefix"
run_prefix="$build/run-prefix"
if [ ! -f "$prepared/.lum-ready" ]; then
  bash scripts/wine-run.sh --prefix "$prepared" cmd /c exit 0
fi
rm -rf "$run_prefix"
cp -a "$prepared" "$run_prefix"

echo "Running $build/win32/app/Ostrin.exe in $run_prefix"
status=0
bash scripts/wine-run.sh --prefix "$run_prefix" "$build/win32/app/Ostrin.exe" || status=$?
echo "Ostrin.exe ended with exit code $status."
# The registered library and its version, as the program's own probes see them.
bash scripts/wine-run.sh --prefix "$run_prefix" "$build/win32/tests/CapicomInfo.exe" || status=$?
exit $status
