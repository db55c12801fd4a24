#!/usr/bin/env bash
# Signs a release for Update.exe: writes FILE.sig, the ECDSA P-256 signature over the SHA-256 of
# FILE made with the private key KEY.pem, and verifies it with that key's public half before it
# says so. Publish FILE.sig beside FILE (the update URL with ".sig" appended). docs/signing.md.
#   usage: scripts/sign-release.sh KEY.pem FILE
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 KEY.pem FILE" >&2
  exit 2
fi
key="$1"
file="$2"
for path in "$key" "$file"; do
  if [ ! -f "$path" ]; then
    echo "$0: no such file: $path" >&2
    exit 1
  fi
done
public="$(mktemp)"
trap 'rm -f "$public" "$file.sig.part"' EXIT
openssl pkey -in "$key" -pubout -out "$public"
if ! openssl pkey -pubin -in "$public" -noout -text 2>/dev/null | grep -q 'NIST CURVE: P-256'; then
  echo "$0: $key is not an ECDSA P-256 key (docs/signing.md shows how to make one)" >&2
  exit 1
fi
openssl dgst -sha256 -sign "$key" -out "$file.sig.part" "$file"
if ! openssl dgst -sha256 -verify "$public" -signature "$file.sig.part" "$file" >/dev/null; then
  echo "$0: the new signature does not verify; nothing written" >&2
  exit 1
fi
mv "$file.sig.part" "$file.sig"
echo "$file.sig: signed with $key and verified; publish it beside $(basename "$file")"
