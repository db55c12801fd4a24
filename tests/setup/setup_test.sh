#!/usr/bin/env bash
# scripts/setup.sh against a fake apt: the 32-bit probe, retried indexes, the wish for wine32, and
# a stop that names what cannot be installed. Nothing on the machine is changed.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0 passes=0

check() { # NAME CONDITION...
  local name="$1"
  shift
  if "$@"; then passes=$((passes + 1)); else
    failures=$((failures + 1))
    echo "FAILED: $name"
    sed 's/^/  | /' "$work/out"
  fi
}

# The probe is a real i386 program that exits with 42.
source "$root/scripts/setup.sh"
write_i386_probe "$work/probe"
header="$(readelf -h "$work/probe" 2>&1)"
check "probe is an i386 executable" grep -q "Intel 80386" <<<"$header"
check "probe enters its code" grep -q "Entry point address: *0x8048054" <<<"$header"
check "probe calls exit(42)" grep -q "bb 2a 00 00 00 b8 01 00 00 00 cd 80" \
  <<<"$(od -An -tx1 -j84 "$work/probe" | tr -s ' \n' ' ')"

# fake apt-get, dpkg-query and dpkg: FAKE_UPDATE_FAILS updates fail first, FAKE_INSTALL_FAILS
# installs fail first, FAKE_BROKEN names a package no install can take; all calls are logged.
# zstd's source: the machine reads two Debian suites and one other; FAKE_SOURCE_MISSING names a
# version of libzstd that the mirror does not serve.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_DIR/log"
count() { local n; n=$(cat "$FAKE_DIR/$1" 2>/dev/null || echo 0); echo $((n + 1)) >"$FAKE_DIR/$1"; echo $((n + 1)); }
sub="" list=""
for ((i = 1; i <= $#; i++)); do
  case "${!i}" in
    -o) i=$((i + 1)); case "${!i}" in Dir::Etc::SourceList=*) list="${!i#*=}" ;; esac ;;
    -*) ;;
    *) sub="${!i}"; break ;;
  esac
done
case "$sub" in
  indextargets) printf '%s\n' "http://mirror.example/debian/ bookworm Debian deb" \
    "http://mirror.example/debian-security/ bookworm-security Debian deb" \
    "http://other.example/apt/ bookworm Other deb" ;;
  source)
    cp "$list" "$FAKE_DIR/private.list"
    [ "${*: -1}" = "libzstd=${FAKE_SOURCE_MISSING:-none}" ] && exit 100
    v="${*: -1}" && touch "libzstd_${v#libzstd=}.dsc" ;;
  update) [ -n "$list" ] || [ "$(count updates)" -gt "${FAKE_UPDATE_FAILS:-0}" ] ;;
  install)
    for p in "$@"; do [ "$p" = "${FAKE_BROKEN:-none}" ] && exit 100; done
    [ "$2" = -s ] && exit 0
    [ "$(count installs)" -gt "${FAKE_INSTALL_FAILS:-0}" ] || exit 100
    for p in "$@"; do case "$p" in -*) ;; *) echo "$p" >>"$FAKE_DIR/installed" ;; esac; done ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
p="${*: -1}"
grep -qx "$p" "$FAKE_DIR/installed" 2>/dev/null && echo "install ok installed"
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE_DIR/log"
EOF
cat >"$work/bin/apt-cache" <<'EOF'
#!/usr/bin/env bash
echo "apt-cache $*" >>"$FAKE_DIR/log"
printf 'Package: libzstd\nVersion: %s\n\n' 1.5.4+dfsg2-5 1.5.4+dfsg2-5+deb12u1
EOF
cat >"$work/bin/dpkg-source" <<'EOF'
#!/usr/bin/env bash
echo "dpkg-source $*" >>"$FAKE_DIR/log"
mkdir -p "${*: -1}/lib" && touch "${*: -1}/lib/zstd.h"
EOF
chmod +x "$work/bin/"*
# zstd's source as an earlier run left it, for the cases that are not about it.
mkdir -p "$work/zstd-warm/lib" && echo "libzstd 1" >"$work/zstd-warm/.debian-source"

# One run of setup.sh on a fresh fake machine; the environment names the case.
run_setup() {
  rm -rf "$work/fake" && mkdir -p "$work/fake"
  (export FAKE_DIR="$work/fake" PATH="$work/bin:$PATH" OMBRIX_SETUP_PAUSE=0 \
     OMBRIX_ZSTD_SOURCE="$work/zstd-warm" "$@"
   bash "$root/scripts/setup.sh") >"$work/out" 2>&1
  echo $? >"$work/status"
  touch "$work/fake/log"
}
status() { [ "$(cat "$work/status")" = "$1" ]; }
said() { grep -q -- "$1" "$work/out"; }
called() { grep -q -- "$1" "$work/fake/log"; }
updates() { [ "$(grep -c 'apt-get update' "$work/fake/log")" = "$1" ]; }

run_setup OMBRIX_SETUP_I386=no FAKE_UPDATE_FAILS=1
check "a failed index is tried again" updates 2
check "no 32-bit: one line, no i386" said "runs no 32-bit programs"
check "no 32-bit: no i386 architecture" bash -c "! grep -q 'add-architecture' '$work/fake/log'"
check "no 32-bit: no wine32" bash -c "! grep -q 'wine32' '$work/fake/log'"
check "installed without wine32" status 0

run_setup OMBRIX_SETUP_I386=no FAKE_UPDATE_FAILS=9
check "three tries, then the install decides" updates 3
check "a lasting index failure is reported" said "could not be updated"
check "and the install goes on" called "install -y"
check "a lasting index failure alone is no failure" status 0

run_setup OMBRIX_SETUP_I386=no FAKE_INSTALL_FAILS=1
check "a failed install is retried after a fresh update" updates 2
check "the retried install succeeds" status 0

run_setup OMBRIX_SETUP_I386=no FAKE_BROKEN=squid
check "a package that cannot be had ends setup" bash -c "! grep -qx 0 '$work/status'"
check "it is named" said "cannot install: squid"
check "with the command to retry" said "retry with: .*apt-get install .*squid"

run_setup OMBRIX_SETUP_I386=yes FAKE_BROKEN=wine32:i386
check "32-bit: the i386 architecture is added" called "dpkg --add-architecture i386"
check "32-bit: wine32 is sought" called "install .*wine32:i386"
check "wine32 that cannot be had is only a wish" said "wine32:i386 could not be installed"

# A machine with every package skips apt entirely.
run_setup OMBRIX_SETUP_I386=no
cp "$work/fake/installed" "$work/all"
rm -rf "$work/fake" && mkdir -p "$work/fake" && cp "$work/all" "$work/fake/installed"
(export FAKE_DIR="$work/fake" PATH="$work/bin:$PATH" OMBRIX_SETUP_I386=no \
   OMBRIX_ZSTD_SOURCE="$work/zstd-warm"
 bash "$root/scripts/setup.sh") >"$work/out" 2>&1
check "everything present: no apt" bash -c "! grep -q apt '$work/fake/log' 2>/dev/null"
check "everything present: said so" said "all packages present"

# zstd's source, through a list of its own: deb-src of the Debian suites only, signed by Debian's
# keyring, the machine's source parts left out; the newest version that the mirror serves.
run_setup OMBRIX_SETUP_I386=no OMBRIX_ZSTD_SOURCE="$work/zstd-cold" \
  FAKE_SOURCE_MISSING=1.5.4+dfsg2-5+deb12u1
check "zstd: the source is fetched" status 0
check "zstd: deb-src of each Debian suite, Debian's keyring" grep -qx "deb-src \
\[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg\] http://mirror.example/debian-security/ \
bookworm-security main" "$work/fake/private.list"
check "zstd: no other archive" test "$(wc -l <"$work/fake/private.list")" = 2
check "zstd: the machine's source parts left out" called "SourceParts=/dev/null .*source --download-only"
check "zstd: an unserved version gives way" \
  said "libzstd 1.5.4+dfsg2-5+deb12u1 is not on the mirror; using 1.5.4+dfsg2-5"
check "zstd: unpacked, and named" grep -qx "libzstd 1.5.4+dfsg2-5" "$work/zstd-cold/.debian-source"
run_setup OMBRIX_SETUP_I386=no OMBRIX_ZSTD_SOURCE="$work/zstd-cold"
check "zstd: a warm run fetches nothing" bash -c "! grep -q 'source' '$work/fake/log'"

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
