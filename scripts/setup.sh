#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine.
# Idempotent: packages already present are left alone.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

packages=(
  # native build and unit tests
  build-essential cmake ninja-build clang-format libgtest-dev libgmock-dev
  # cross build of the Windows programs (i686, static; x86_64 for machines without 32-bit
  # support, see scripts/wine-tree.sh)
  mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  # running them: Wine (32-bit needs wine32 from the i386 architecture) inside Xvfb
  wine wine32:i386 wine64 xvfb xdotool x11-utils
  # Simplified Chinese glyphs for the status texts; screenshots and pixel checks
  fonts-wqy-microhei imagemagick
  # the Simplified Chinese locale for the demo's screenshots (generated below)
  locales
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

# The demo's screenshots show Wine in Simplified Chinese, as the product's users see the system's
# message boxes: that needs the zh_CN.UTF-8 locale (package locales, then locale-gen).
ensure_chinese_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then return 0; fi
  if [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
    $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    $SUDO locale-gen >/dev/null || echo "setup: no Chinese locale; the demo runs in English"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  ensure_chinese_locale
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_chinese_locale
echo "setup: done"
