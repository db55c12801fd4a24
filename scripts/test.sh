#!/usr/bin/env bash
# Every test: installs what is missing, builds both trees, then one CTest run over the native
# unit tests, the formatting check and the end-to-end tests of the real programs under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OMBRIX_BUILD_DIR:-$root/build}"
# The tested Update.exe differs from the shipped one only in its update URL: a loopback one.
# OMBRIX_TEST_PORT moves it (and the https variant's, one above), so two checkouts can test at once.
port="${OMBRIX_TEST_PORT:-47631}"
test_url="http://127.0.0.1:$port/soft/updates/ombrix/ombrix"

# The shipped i686 build's scenarios in an emulated machine (tests/i686); OMBRIX_I686_TESTS=OFF
# leaves them out.
i686_tests="${OMBRIX_I686_TESTS:-ON}"

bash "$root/scripts/setup.sh"
source "$root/scripts/wine-tree.sh"

build_test_tree "$build/win" "$port"
# The shipped form with its test tools, run in an emulated machine (tests/i686), which also
# installs a 64-bit product from an x86_64 tree.
ship="$build/win"
x64="$build/win"
if [ "$wine_toolchain" != "$root/cmake/mingw-i686.cmake" ]; then
  ship="$build/win-i686"
  # With the Wine tree's throwaway keys built into its signed variant, for the update by delta.
  cmake -G Ninja -S "$root" -B "$ship" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DUPDATE_URL="$test_url" -DUPDATE_ALLOW_UNSIGNED=ON \
    -DUPDATE_TEST_VARIANTS="signed|$test_url|$signed_tree/test-keys/release-keys.pem" >/dev/null
  cmake --build "$ship" --target Update Brevik
  if [ "$i686_tests" = ON ]; then cmake --build "$ship" --target e2e_tools Update-signed; fi
elif [ "$i686_tests" = ON ]; then
  x64="$build/win-x86_64"
  cmake -G Ninja -S "$root" -B "$x64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DUPDATE_URL="$test_url" -DUPDATE_ALLOW_UNSIGNED=ON >/dev/null
  cmake --build "$x64" --target fake_product_new
fi

cmake -G Ninja -S "$root" -B "$build/native" -DOMBRIX_WIN_BUILD_DIR="$build/win" \
  -DOMBRIX_WIN_HTTPS_BUILD_DIR="$https_tree" -DOMBRIX_WIN_SIGNED_BUILD_DIR="$signed_tree" \
  -DOMBRIX_SHIP_BUILD_DIR="$ship" -DOMBRIX_X64_BUILD_DIR="$x64" \
  -DOMBRIX_I686_TESTS="$i686_tests" >/dev/null
cmake --build "$build/native"

cd "$build/native"
ctest --output-on-failure -j2 "$@"
