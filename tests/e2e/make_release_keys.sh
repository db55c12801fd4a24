#!/usr/bin/env bash
# Throwaway release keys for the release-signature test, made once into FOLDER: the private
# keys current.pem, backup.pem and other.pem, and release-keys.pem with the public keys of the
# first two, which the test's updater is built with. An existing set is kept, so that the tree
# built with it is not rebuilt for nothing.
set -euo pipefail
folder="$1"
[ -f "$folder/release-keys.pem" ] && exit 0
mkdir -p "$folder"
for name in current backup other; do
  openssl ecparam -name prime256v1 -genkey -noout -out "$folder/$name.pem"
done
{
  openssl ec -in "$folder/current.pem" -pubout 2>/dev/null
  openssl ec -in "$folder/backup.pem" -pubout 2>/dev/null
} >"$folder/release-keys.pem.part"
mv "$folder/release-keys.pem.part" "$folder/release-keys.pem"
