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
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 60 89); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    export DISPLAY=":$n"
    break
  done
fi

status=0
echo "== host tests"
ctest --test-dir "$build"/host --output-on-failure -j2 || status=1
echo "== Windows tests (Wine)"
ctest --test-dir "$build"/win32 --output-on-failure -j2 || status=1
exit $status
