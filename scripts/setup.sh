#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine.
# Idempotent: packages already present are left alone.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

packages=(
  # native build and unit tests
  build-essential cmake ninja-build clang-format libgtest-dev libgmock-dev
  # cross build of the Windows programs (i686, static)
  mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686
  # running them: Wine (32-bit needs wine32 from the i386 architecture) inside Xvfb
  wine wine32:i386 wine64 xvfb xdotool x11-utils
  # Simplified Chinese glyphs for the status texts; screenshots and pixel checks
  fonts-wqy-microhei imagemagick
  # the local HTTP test server and fixtures; throwaway certificates and Authenticode signatures
  python3 openssl osslsigncode
  # a real HTTP proxy on loopback for the proxy tests (plain and with a login: basic_ncsa_auth)
  squid
  # benchmarks (bench/run): a neutral HTTP server for the download figures, and the native client
  # they are compared with
  nginx curl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
