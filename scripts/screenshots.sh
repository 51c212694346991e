#!/usr/bin/env bash
# Screenshots of the program's windows under Xvfb, written to build/screenshots/*.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")
out="$build/screenshots"
mkdir -p "$out"

bash scripts/build.sh

# A display of its own, so that nothing else is on the screen.
source scripts/xvfb.sh
if ! start_xvfb 140 160 1024x768x24; then
  echo "screenshots.sh: no free display for Xvfb" >&2
  exit 1
fi
xvfb=$XVFB_PID
display=$DISPLAY
trap 'WINEPREFIX="$build/win32/wineprefix" wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT

# shot NAME MODE: shows the window in the given mode and photographs the screen meanwhile.
shot() {
  local name=$1 mode=$2
  bash scripts/wine-run.sh --prefix "$build/win32/wineprefix" \
    "$build/win32/tests/ShowForms.exe" "$mode" 6 &
  local runner=$!
  sleep 4
  xwd -root -silent -display "$display" | convert xwd:- "$out/$name.png"
  wait $runner
  echo "$out/$name.png"
}

shot main-form main
shot exception-dialog dialog
shot exception-dialog-expanded dialog-expanded

# The flash messages: two nested notices, the second moved down to show both.
bash scripts/wine-run.sh --prefix "$build/win32/wineprefix" \
  "$build/win32/tests/LumLXFlashMsgShow.exe" 6 &
flash=$!
sleep 4
xwd -root -silent -display "$display" | convert xwd:- "$out/flash-message.png"
wait $flash
echo "$out/flash-message.png"

# An MDI frame whose maximised child has its tool bar and status bar docked into the frame's.
bash scripts/wine-run.sh --prefix "$build/win32/wineprefix" "$build/win32/tests/LumLXFormsShow.exe" 6 &
runner=$!
sleep 4
xwd -root -silent -display "$display" | convert xwd:- "$out/mdi-docked-bars.png"
wait $runner
echo "$out/mdi-docked-bars.png"
