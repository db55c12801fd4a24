# Sourced by the scripts that run the programs under Wine. Sets `wine_toolchain`: the toolchain
# of the Windows trees that Wine runs here.
# The programs ship as i686. A machine whose kernel runs no 32-bit programs (ia32 emulation
# off: wine32 fails with "Exec format error") cannot run them at all; there the same sources are
# built for x86_64 and run under wine64, and the i686 build is still made and checked for its
# form (size, imports) without being run.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_toolchain="$root/cmake/mingw-i686.cmake"
else
  wine_toolchain="$root/cmake/mingw-x86_64.cmake"
  echo "wine: this machine runs no 32-bit programs; the Wine tests run an x86_64 build" >&2
fi

# Configures and builds the Windows tree of the tests and the demo in $1, for an update server on
# loopback port $2: the plain updater with that URL, and two more of the same tree, each differing
# only in what is built into it: one with an https URL (one port up), for the certificate tests,
# and one with throwaway release keys (made once into its test-keys/), which is the real flow of a
# customer's build; every other updater is built without keys, asked for by name. Sets
# `signed_tree` and `https_tree` to the two variants' folders.
build_test_tree() {
  local tree="$1" port="$2"
  local test_url="http://127.0.0.1:$port/soft/updates/ombrix/ombrix"
  local https_url="https://localhost:$((port + 1))/soft/updates/ombrix/ombrix"
  signed_tree="$tree/variants/signed"
  https_tree="$tree/variants/https"
  bash "$root/tests/e2e/make_release_keys.sh" "$signed_tree/test-keys"
  cmake -G Ninja -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$wine_toolchain" \
    -DUPDATE_URL="$test_url" -DUPDATE_ALLOW_UNSIGNED=ON \
    -DUPDATE_TEST_VARIANTS="https|$https_url;signed|$test_url|$signed_tree/test-keys/release-keys.pem" \
    >/dev/null
  cmake --build "$tree"
}
