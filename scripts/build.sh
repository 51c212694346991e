#!/usr/bin/env bash
# Builds both trees: build/host (portable code, tools, host tests; sanitizers on) and
# build/win32 (the program and the Windows tests). Installs what is missing first.
# LUM_BUILD_DIR chooses another folder than build/ (for several checkouts or builds at once).
# With arguments only the named targets are built, host:NAME in the host tree and win32:NAME
# in the win32 tree (scripts/run.sh builds just what the main job needs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/bootstrap.sh

host_targets=()
win32_targets=()
for arg in "$@"; do
  case "$arg" in
    host:*) host_targets+=(--target "${arg#host:}") ;;
    win32:*) win32_targets+=(--target "${arg#win32:}") ;;
    *) echo "build.sh: targets are host:NAME or win32:NAME, not $arg" >&2; exit 2 ;;
  esac
done
if [ $# -gt 0 ] && [ ${#host_targets[@]} -eq 0 ]; then
  host_targets=(--target lumbuild --target lumform --target lumdbg)
fi

if [ ! -f "$build"/host/build.ninja ]; then
  cmake -S . -B "$build"/host -G Ninja -DLUM_SANITIZE=ON >/dev/null
fi
cmake --build "$build"/host "${host_targets[@]}"

if [ ! -f "$build"/win32/build.ninja ]; then
  cmake -S . -B "$build"/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DLUM_HOST_TOOLS="$build/host/tools" >/dev/null
fi
if [ $# -eq 0 ] || [ ${#win32_targets[@]} -gt 0 ]; then
  cmake --build "$build"/win32 "${win32_targets[@]}"
fi
