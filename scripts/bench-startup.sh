#!/usr/bin/env bash
# Start-up and install side by side under Wine: a bare Win32 program that opens a caption
# window (bench/startup/BareWindow.cpp), a silent NSIS installer of the stand-in capicom.dll
# (bench/startup/install.nsi), Ostrin.exe /S installing the same library, Ostrin.exe installing
# it with its window, and Ostrin.exe with the library already current. bench-startup.sh [RUNS]
# (7): the five take turns, each run in a fresh copy of a prepared prefix whose Wine server is
# already running; medians in ms, then the ratios. The main form's timer interval is taken off
# the windowed runs. LUM_BUILD_DIR chooses the build folder as for build.sh; LUM_BENCH_OSTRIN
# names another Ostrin.exe to time in place of the build's (one kept from an earlier build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")
runs=${1:-7}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench-startup.sh [RUNS]" >&2
  exit 2
fi

work="$build/bench-startup"
mkdir -p "$work"
# A win32 tree configured before makensis was installed looks for it again.
if [ -f "$build/win32/CMakeCache.txt" ] && grep -q '^LUM_MAKENSIS:FILEPATH=.*NOTFOUND' \
  "$build/win32/CMakeCache.txt"; then
  bash scripts/bootstrap.sh
  cmake "$build/win32" >/dev/null
fi
targets=(host:lumbuild host:lumform host:lumdbg win32:BareWindow win32:NsisInstall)
[ -n "${LUM_BENCH_OSTRIN:-}" ] || targets+=(win32:Ostrin)
if ! bash scripts/build.sh "${targets[@]}" >"$work/build.log" 2>&1; then
  cat "$work/build.log" >&2
  exit 1
fi

ostrin=$(realpath "${LUM_BENCH_OSTRIN:-$build/win32/app/Ostrin.exe}")
bare="$build/win32/bench/startup/BareWindow.exe"
nsis="$build/win32/bench/startup/NsisInstall.exe"
standin="$build/win32/standin/capicom.dll"
# The windowed run waits for the main form's timer before it looks at the library.
timer_ms=$(sed -n 's/^ *Interval = \([0-9]*\).*/\1/p' app/OstrinFrm.form | head -n 1)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=""
cleanup() {
  [ -d "$work/run" ] && WINEPREFIX="$work/run" wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
source scripts/xvfb.sh
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb 141 170 || true
  xvfb=$XVFB_PID
  if [ -z "$xvfb" ]; then
    echo "bench-startup.sh: no free display for Xvfb" >&2
    exit 1
  fi
fi

# The prepared prefixes: a pristine one (as scripts/run.sh makes it), and one where Ostrin.exe
# has installed the library.
pristine="$build/pristine-prefix"
if [ ! -f "$pristine/.lum-ready" ]; then
  bash scripts/wine-run.sh --prefix "$pristine" cmd /c exit 0
fi
current="$work/current-prefix"
if [ ! -f "$current/.lum-current" ] || [ "$ostrin" -nt "$current/.lum-current" ]; then
  rm -rf "$current"
  cp -a "$pristine" "$current"
  WINEPREFIX="$current" wine "$ostrin" /S
  WINEPREFIX="$current" wineserver -w
  touch "$current/.lum-current"
fi

# fresh_copy SOURCE: the run prefix as a copy of SOURCE. The system folders' files are hard
# links (a run only adds files there or renames over them, and capicom.dll itself is copied),
# the rest is copied.
fresh_copy() {
  local source=$1 prefix="$work/run"
  rm -rf "$prefix"
  mkdir -p "$prefix"
  local item
  for item in "$source"/* "$source"/.[!.]*; do
    [ -e "$item" ] || continue
    [ "$(basename "$item")" = drive_c ] || cp -a "$item" "$prefix/"
  done
  mkdir -p "$prefix/drive_c"
  for item in "$source"/drive_c/*; do
    [ "$(basename "$item")" = windows ] || cp -a "$item" "$prefix/drive_c/"
  done
  mkdir -p "$prefix/drive_c/windows"
  for item in "$source"/drive_c/windows/*; do
    case "$(basename "$item")" in
      system32 | syswow64 | winsxs) cp -al "$item" "$prefix/drive_c/windows/" ;;
      *) cp -a "$item" "$prefix/drive_c/windows/" ;;
    esac
  done
  local dll
  for dll in "$prefix"/drive_c/windows/sys*/capicom.dll*; do
    [ -e "$dll" ] || continue
    cp --remove-destination "$(realpath "$source")/${dll#"$prefix/"}" "$dll"
  done
}

# run_one NAME PREFIX PROGRAM [ARGS...]: one timed run in a fresh copy of PREFIX; the wall
# time and the processor time (user and system) of the run, in microseconds, go to
# $work/NAME.times and $work/NAME.cpu. A run that fails ends the benchmark.
run_one() {
  local name=$1 source=$2
  shift 2
  local prefix="$work/run"
  fresh_copy "$source"
  # The server, the prefix's services and its desktop are up before the clock starts, as on
  # a running system: the first window of a prefix starts its desktop process.
  WINEPREFIX="$prefix" wineserver -p
  WINEPREFIX="$prefix" wine "$bare" >/dev/null 2>&1
  local result
  # The subshell's children are the run alone: `times` gives their processor time.
  result=$(
    status=0
    start=$(date +%s%N)
    # A run that hangs (a message box nobody answers) ends after a minute.
    WINEPREFIX="$prefix" timeout 60 wine "$@" >/dev/null 2>&1 || status=$?
    end=$(date +%s%N)
    echo "$status $(((end - start) / 1000))"
    times
  )
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
  local status wall
  read -r status wall <<<"$(sed -n 1p <<<"$result")"
  if [ "$status" -ne 0 ]; then
    echo "bench-startup.sh: $name ended with exit code $status" >&2
    exit 1
  fi
  if [ "$name" = nsis ] && ! cmp -s "$standin" "$prefix/drive_c/windows/syswow64/capicom.dll"; then
    echo "bench-startup.sh: the NSIS installer did not write capicom.dll" >&2
    exit 1
  fi
  echo "$wall" >>"$work/$name.times"
  # The children's line of `times`: user and system time as 0m1.234s each.
  sed -n 3p <<<"$result" | awk '{
    split($1, u, /[ms]/); split($2, s, /[ms]/)
    printf "%d\n", ((u[1] + s[1]) * 60 + u[2] + s[2]) * 1000000 }' >>"$work/$name.cpu"
}

names=(bare nsis install window current)
for name in "${names[@]}"; do
  : >"$work/$name.times"
  : >"$work/$name.cpu"
done
for round in $(seq 0 $((runs - 1))); do
  # Each round starts with another of the five, so a drift in the machine's load spreads
  # over all of them.
  for i in 0 1 2 3 4; do
    case "${names[$(((round + i) % 5))]}" in
      bare) run_one bare "$pristine" "$bare" ;;
      nsis) run_one nsis "$pristine" "$nsis" ;;
      install) run_one install "$pristine" "$ostrin" /S ;;
      window) run_one window "$pristine" "$ostrin" ;;
      current) run_one current "$current" "$ostrin" ;;
    esac
  done
done

# median_us NAME [times|cpu]
median_us() {
  sort -n "$work/$1.${2:-times}" | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ms() {
  awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'
}

# report KIND TITLE: the medians of one kind of time (times: wall clock, cpu: processor time
# of the run's processes), and the ratios and differences the targets are about.
report() {
  local kind=$1 title=$2
  local bare_us nsis_us install_us window_us current_us timer_us=$((timer_ms * 1000))
  bare_us=$(median_us bare "$kind")
  nsis_us=$(median_us nsis "$kind")
  install_us=$(median_us install "$kind")
  window_us=$(median_us window "$kind")
  current_us=$(median_us current "$kind")
  # The timer waits; it costs no processor time.
  [ "$kind" = cpu ] && timer_us=0
  echo "$title"
  printf '  %-46s %8s ms\n' "bare Win32 program (caption window)" "$(ms "$bare_us")" \
    "NSIS installer (write + register)" "$(ms "$nsis_us")" \
    "Ostrin.exe /S install" "$(ms "$install_us")" \
    "Ostrin.exe install with its window" "$(ms "$window_us")" \
    "Ostrin.exe, library current" "$(ms "$current_us")"
  awk -v a="$install_us" -v b="$nsis_us" -v w="$((window_us - timer_us))" 'BEGIN {
    printf "  %-46s %8.2f\n", "Ostrin /S install / NSIS install", a / b
    printf "  %-46s %8.2f\n", "Ostrin install with window, no timer / NSIS", w / b }'
  printf '  %-46s %8s ms\n' "Ostrin start-up, no timer, - bare" \
    "$(ms $((current_us - timer_us - bare_us)))"
}

echo "Runs: $runs of each, interleaved, each in a fresh copy of a prepared prefix with its Wine"
echo "server and desktop running. The machine is shared: load $(cut -d' ' -f1-3 /proc/loadavg)."
echo "Timer of the windowed runs: $timer_ms ms, taken off where it says \"no timer\"."
report times "Wall clock, medians:"
report cpu "Processor time of the run (user + system), medians:"
echo "Every run, wall clock (ms):"
for name in "${names[@]}"; do
  printf '  %-8s' "$name"
  while read -r us; do printf ' %s' "$(ms "$us")"; done <"$work/$name.times"
  echo
done
echo "Ostrin.exe: $(stat -c %s "$ostrin") bytes"
i686-w64-mingw32-objdump -h "$ostrin" | while read -r index section size _; do
  if [[ "$index" =~ ^[0-9]+$ ]]; then
    printf '  %-10s %9d bytes\n' "$section" "$((16#$size))"
  fi
done
