#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh --prefix DIR PROGRAM [ARGS...]
# The prefix is created on first use (serialised with a lock) and reused. Without a display
# the script starts Xvfb for the run and stops it afterwards. The program's exit code is the
# script's.
set -euo pipefail

if [ "${1:-}" != "--prefix" ] || [ $# -lt 3 ]; then
  echo "usage: wine-run.sh --prefix DIR PROGRAM [ARGS...]" >&2
  exit 2
fi
prefix=$(realpath -m "$2")
shift 2

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

source "$(dirname "$0")/xvfb.sh"
started_xvfb=""
stop_xvfb() {
  if [ -n "$started_xvfb" ]; then
    # Let the prefix's processes end before their display goes away.
    wineserver -w 2>/dev/null || true
    kill "$started_xvfb" 2>/dev/null || true
    wait "$started_xvfb" 2>/dev/null || true
  fi
}
trap stop_xvfb EXIT

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb 90 140 || true
  started_xvfb=$XVFB_PID
  if [ -z "$started_xvfb" ]; then
    echo "wine-run.sh: no free display for Xvfb" >&2
    exit 1
  fi
fi

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.lum-ready" ]; then
    rm -rf "$prefix"
    wineboot -i >/dev/null 2>&1
    # Captions and frames drawn by Wine itself, as on Windows, without a window manager.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.lum-ready"
  fi
) 9>"$prefix.lock"

status=0
wine "$@" || status=$?
exit $status
