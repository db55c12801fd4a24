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
