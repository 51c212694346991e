#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted as .clang-format says; lists the files
# that are not and exits with 1. `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.h' '*.cpp')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
status=0
for file in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    status=1
  fi
done
[ $status -eq 0 ] && echo "format: ${#files[@]} files as .clang-format says"
exit $status
