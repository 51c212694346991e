# Sourced by the scripts that show Windows programs. start_xvfb FIRST LAST [SCREEN] starts a
# virtual display on the first free number from FIRST to LAST (screen 1280x1024x24 unless
# given), waits for its socket and exports DISPLAY; XVFB_PID is its process. It fails, with
# XVFB_PID empty, when every number is taken.
start_xvfb() {
  local first=$1 last=$2 screen=${3:-1280x1024x24} n
  XVFB_PID=""
  for n in $(seq "$first" "$last"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    export DISPLAY=":$n"
    return 0
  done
  return 1
}
