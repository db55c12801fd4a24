#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
[ ${#files[@]} -eq 0 ] && { echo "format: no files"; exit 0; }
if clang-format --dry-run --Werror "${files[@]}"; then
  echo "format: ${#files[@]} files clean"
else
  echo "format: run clang-format -i on the files above"
  exit 1
fi
