#!/usr/bin/env bash
# Builds both trees: build/host (portable code, tools, host tests; sanitizers on) and
# build/win32 (the program and the Windows tests). Installs what is missing first.
# LUM_BUILD_DIR chooses another folder than build/ (for several checkouts or builds at once).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${LUM_BUILD_DIR:-build}")

bash scripts/bootstrap.sh

if [ ! -f "$build"/host/build.ninja ]; then
  cmake -S . -B "$build"/host -G Ninja -DLUM_SANITIZE=ON >/dev/null
fi
cmake --build "$build"/host

if [ ! -f "$build"/win32/build.ninja ]; then
  cmake -S . -B "$build"/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DLUM_HOST_TOOLS="$build/host/tools" >/dev/null
fi
cmake --build "$build"/win32
