#!/usr/bin/env bash
# Builds the fuzzers (host build, clang's libFuzzer; fuzz/) and runs each for the given number
# of seconds (default 60) on its seed corpus (fuzz/corpus/<Name>) and on what earlier runs
# found (build/host/fuzz/work/<Name>). Prints each fuzzer's executions and time, and fails
# when one finds a crash; the input is left as build/host/fuzz/work/<Name>-crash-<hash>.
# LUM_BUILD_DIR chooses another folder than build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")
seconds=${1:-60}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: fuzz.sh [seconds]" >&2; exit 2 ;;
esac

bash scripts/bootstrap.sh
if [ ! -f "$build"/host/build.ninja ]; then
  cmake -S . -B "$build"/host -G Ninja -DLUM_SANITIZE=ON >/dev/null
fi
cmake --build "$build"/host --target lum_fuzzers

work="$build"/host/fuzz/work
status=0
for fuzzer in "$build"/host/fuzz/Lum*Fuzz; do
  name=$(basename "$fuzzer")
  name=${name#Lum}
  name=${name%Fuzz}
  mkdir -p "$work/$name"
  log="$work/$name.log"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/$name-" "$work/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  printf '%-12s %12s runs in %5s s  %s\n' "$name" "${runs:-?}" "${time:-$seconds}" "$result"
done
exit $status
