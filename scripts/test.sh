#!/usr/bin/env bash
# Every test: installs what is missing, builds both trees, then one CTest run over the native
# unit tests, the formatting check and the end-to-end tests of the real programs under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OMBRIX_BUILD_DIR:-$root/build}"
# The tested Update.exe differs from the shipped one only in its update URL: a loopback one.
# OMBRIX_TEST_PORT moves it (and the https tree's, one above), so two checkouts can test at once.
port="${OMBRIX_TEST_PORT:-47631}"
test_url="http://127.0.0.1:$port/soft/updates/ombrix/ombrix"
# A second, small tree: Update.exe with an https URL, for the certificate tests.
https_url="https://localhost:$((port + 1))/soft/updates/ombrix/ombrix"

bash "$root/scripts/setup.sh"
source "$root/scripts/wine-tree.sh"

cmake -G Ninja -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$wine_toolchain" \
  -DUPDATE_URL="$test_url" >/dev/null
cmake --build "$build/win"
cmake -G Ninja -S "$root" -B "$build/win-https" -DCMAKE_TOOLCHAIN_FILE="$wine_toolchain" \
  -DUPDATE_URL="$https_url" >/dev/null
cmake --build "$build/win-https" --target Update
# The shipped form with its test tools, run in an emulated machine (tests/i686).
ship="$build/win"
if [ "$wine_toolchain" != "$root/cmake/mingw-i686.cmake" ]; then
  ship="$build/win-i686"
  cmake -G Ninja -S "$root" -B "$ship" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DUPDATE_URL="$test_url" >/dev/null
  cmake --build "$ship" --target Update Brevik e2e_tools
fi

cmake -G Ninja -S "$root" -B "$build/native" -DOMBRIX_WIN_BUILD_DIR="$build/win" \
  -DOMBRIX_WIN_HTTPS_BUILD_DIR="$build/win-https" -DOMBRIX_SHIP_BUILD_DIR="$ship" >/dev/null
cmake --build "$build/native"

cd "$build/native"
ctest --output-on-failure -j2 "$@"
