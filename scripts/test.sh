#!/usr/bin/env bash
# Builds everything and runs every test, host and Windows, printing ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/build.sh

# One virtual display for all Windows tests, so the wrapper does not start one per test.
xvfb=""
cleanup() {
  WINEPREFIX="$build/win32/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
source scripts/xvfb.sh
if [ -z "${DISPLAY:-}" ] && start_xvfb 60 89; then
  xvfb=$XVFB_PID
fi

status=0
echo "== host tests"
ctest --test-dir "$build"/host --output-on-failure -j2 || status=1
echo "== Windows tests (Wine)"
ctest --test-dir "$build"/win32 --output-on-failure -j2 || status=1
exit $status
