#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine.
# Idempotent: a machine that has every package skips apt entirely.
# A package index that fails (a mirror in mid-sync) does not end it: the install decides. wine32 is
# only sought where the kernel runs 32-bit programs, and even there it is a wish: without it the
# Wine-run trees are the x86_64 build of the same sources (scripts/wine-tree.sh).
set -uo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
# Seconds between two tries of `apt-get update`.
pause="${OMBRIX_SETUP_PAUSE:-5}"

packages=(
  # native build and unit tests
  build-essential cmake ninja-build clang-format libgtest-dev libgmock-dev
  # cross build of the Windows programs (i686, static; x86_64 for the Wine-run trees on machines
  # without 32-bit support)
  mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  # running them: Wine (wine64; wine32 is added below where it can run) inside Xvfb
  wine wine64 xvfb xdotool x11-utils
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
  # the emulated machine in which the shipped i686 programs run their end-to-end scenarios: QEMU,
  # and its Debian disk made from packages (debootstrap) as an ext4 image (mkfs.ext4 -d)
  qemu-system-x86 debootstrap e2fsprogs
  # binary deltas: the vendor's tool makes them with the zstd command; Update.exe decodes them with
  # zstd's decompressor, built from Debian's source package, which dpkg-source unpacks (below)
  zstd dpkg-dev
)
# The commands the scripts and tests call, checked after the install.
commands=(cmake ninja i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ wine Xvfb xdotool python3 nginx
  squid openssl osslsigncode convert qemu-system-x86_64 zstd dpkg-source)
# Those that live in sbin, which a user's PATH may leave out.
sbin_commands=(debootstrap mkfs.ext4)
wine64_loader=/usr/lib/wine/wine64

say() { echo "setup: $*"; }

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Writes a 96-byte static i386 ELF program that exits with status 42 (mov ebx,42; mov eax,1;
# int 0x80): the kernel runs it only where 32-bit programs can run at all.
write_i386_probe() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$1"
  # ET_EXEC, EM_386, version 1, entry 0x08048054, program headers at 52, one of 32 bytes
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$1"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$1"
  # PT_LOAD of the whole file at 0x08048000, read and execute
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$1"
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$1"
  printf '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >>"$1"
  chmod +x "$1"
}

# Whether this kernel runs 32-bit programs (OMBRIX_SETUP_I386=yes|no gives the answer instead).
runs_32bit() {
  case "${OMBRIX_SETUP_I386:-probe}" in
    yes) return 0 ;;
    no) return 1 ;;
  esac
  local probe status
  probe="$(mktemp)"
  write_i386_probe "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

# Up to three tries; a failing index is reported, not fatal.
apt_update() {
  local try
  for try in 1 2 3; do
    if $SUDO apt-get update -qq; then return 0; fi
    if [ "$try" != 3 ]; then sleep "$pause"; fi
  done
  say "some package index could not be updated; going on, the install decides"
  return 1
}

apt_install() {
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" \
    >/dev/null
}

# The packages of "$@" that apt cannot install, each tried on its own (a dry run).
uninstallable() {
  local p
  for p in "$@"; do
    if ! installed "$p" && ! $SUDO apt-get install -s -qq "$p" >/dev/null 2>&1; then
      printf '%s ' "$p"
    fi
  done
}

# The demo's screenshots show Wine in Simplified Chinese, as the product's users see the system's
# message boxes: that needs the zh_CN.UTF-8 locale (package locales, then locale-gen).
ensure_chinese_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then return 0; fi
  if [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
    $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    $SUDO locale-gen >/dev/null || say "no Chinese locale; the demo runs in English"
  fi
}

# zstd's decompressor is built from Debian's source package of libzstd, unpacked with Debian's
# patches into a per-user cache outside the repository (cmake/zstd.cmake looks in the same place):
# $OMBRIX_ZSTD_SOURCE, else ${XDG_CACHE_HOME:-~/.cache}/ombrix/zstd-source.
zstd_source_dir() {
  echo "${OMBRIX_ZSTD_SOURCE:-${XDG_CACHE_HOME:-$HOME/.cache}/ombrix/zstd-source}"
}
# Written last, naming the version: a folder without it is no source.
zstd_marker=.debian-source
debian_keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# "URI SUITE" of each Debian suite the machine's apt reads (its index targets whose Release file
# says Origin: Debian), e.g. "http://deb.debian.org/debian/ bookworm".
debian_suites() {
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(ORIGIN) $(TARGET_OF)' 2>/dev/null |
    awk '$3 == "Debian" && $4 == "deb" { print $1, $2 }' | sort -u
}

# Fetches and unpacks the source once; a warm run only looks for the marker. The fetch goes
# through a source list and index of its own (deb-src of the machine's Debian mirror, checked
# against Debian's archive keyring), so the machine's apt configuration is not touched, and needs
# no root. The newest version first; one the mirror does not serve gives way to the next.
fetch_zstd_source() {
  local dest work suites uri suite newest v got="" dsc
  dest="$(zstd_source_dir)"
  [ -f "$dest/$zstd_marker" ] && return 0
  if [ -e "$dest" ]; then  # never ours: ours appears whole, with its marker
    say "$dest is not a source unpacked by this script: move it away, or set OMBRIX_ZSTD_SOURCE"
    return 1
  fi
  suites="$(debian_suites)"
  if [ -z "$suites" ]; then
    apt_update
    suites="$(debian_suites)"
  fi
  if [ -z "$suites" ]; then
    say "the machine's apt reads no Debian suite: cannot fetch zstd's source (libzstd)"
    return 1
  fi
  work="$(mktemp -d)"
  mkdir -p "$work/lists/partial" "$work/get"
  while read -r uri suite; do
    echo "deb-src [signed-by=$debian_keyring] $uri $suite main"
  done <<<"$suites" >"$work/sources.list"
  local apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$work/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
  # As root, apt downloads as its own unprivileged user, which must be able to write there.
  if [ "$(id -u)" = 0 ] && id _apt >/dev/null 2>&1; then chown _apt "$work" "$work/get"; fi
  apt-get "${apt_opts[@]}" -qq update >"$work/log" 2>&1
  for v in $(apt-cache "${apt_opts[@]}" showsrc libzstd 2>>"$work/log" |
    sed -n 's/^Version: //p' | sort -ruV); do
    newest="${newest:-$v}"
    if (cd "$work/get" && apt-get "${apt_opts[@]}" -qq source --download-only "libzstd=$v") \
      >>"$work/log" 2>&1; then
      got="$v"
      break
    fi
    find "$work/get" -mindepth 1 -delete
  done
  dsc="$(find "$work/get" -name '*.dsc' | head -n 1)"
  if [ -z "$got" ] || [ -z "$dsc" ]; then
    say "zstd's source (Debian's libzstd) could not be fetched:"
    sed 's/^/  | /' "$work/log" | tail -n 20
    rm -rf "$work"
    return 1
  fi
  [ "$got" = "$newest" ] || say "libzstd $newest is not on the mirror; using $got"
  # Unpacked beside its place and renamed into it, whole: another checkout's setup may be at it.
  mkdir -p "$(dirname "$dest")"
  local beside
  beside="$(mktemp -d "$dest.XXXXXX")"
  if ! dpkg-source --no-copy -x "$dsc" "$beside/source" >>"$work/log" 2>&1; then
    say "zstd's source (libzstd $got) could not be unpacked:"
    sed 's/^/  | /' "$work/log" | tail -n 20
    rm -rf "$work" "$beside"
    return 1
  fi
  echo "libzstd $got" >"$beside/source/$zstd_marker"
  mv -T "$beside/source" "$dest" 2>/dev/null  # fails only where another one was first
  rm -rf "$work" "$beside"
  say "zstd's source: Debian's $(cat "$dest/$zstd_marker") in $dest"
}

check_commands() {
  local c absent=()
  for c in "${commands[@]}"; do
    command -v "$c" >/dev/null 2>&1 || absent+=("$c")
  done
  for c in "${sbin_commands[@]}"; do
    PATH="$PATH:/usr/sbin:/sbin" command -v "$c" >/dev/null 2>&1 || absent+=("$c")
  done
  [ -x "$wine64_loader" ] || absent+=("wine64 ($wine64_loader)")
  if [ ${#absent[@]} -gt 0 ]; then
    say "missing after the install: ${absent[*]}"
    return 1
  fi
}

main() {
  local missing=() p want_wine32=0
  for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
  if runs_32bit; then
    installed wine32:i386 || want_wine32=1
  elif ! installed wine32:i386; then
    say "this kernel runs no 32-bit programs: no wine32; the Wine tests run the x86_64 build"
  fi

  if [ ${#missing[@]} -eq 0 ] && [ "$want_wine32" = 0 ]; then
    say "all packages present"
    ensure_chinese_locale
    check_commands || return 1
    fetch_zstd_source
    return
  fi

  if [ "$want_wine32" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    if ! apt_install "${missing[@]}"; then
      say "the install failed; once more after a fresh update"
      apt_update
      if ! apt_install "${missing[@]}"; then
        local culprits
        culprits="$(uninstallable "${missing[@]}")"
        say "cannot install: ${culprits:-${missing[*]}}"
        say "retry with: ${SUDO:+sudo }apt-get update && ${SUDO:+sudo }apt-get install ${missing[*]}"
        return 1
      fi
    fi
  fi
  if [ "$want_wine32" = 1 ]; then
    apt_install wine32:i386 ||
      say "wine32:i386 could not be installed; the Wine tests run the x86_64 build"
  fi
  ensure_chinese_locale
  check_commands || return 1
  fetch_zstd_source || return 1
  say "done"
}

# Sourced by the tests for its parts; run, it sets the machine up.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then main "$@"; fi
