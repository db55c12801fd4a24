#!/usr/bin/env python3
"""Turns the release keys into data of Update.exe, at build time.

    release_keys.py KEYS.pem OUTPUT.cpp     the keys of KEYS.pem
    release_keys.py --none OUTPUT.cpp       no keys (a build that asked to install unsigned releases)

KEYS.pem holds one or more ECDSA P-256 public keys as `openssl ec -pubout` writes them
("-----BEGIN PUBLIC KEY-----" blocks): the current key first, then any backup keys. Each
becomes its point X||Y in the generated source; the program reads no key file when it runs.
A private key, another curve, a compressed point or a point off the curve stops the build.
"""

import base64
import re
import sys

# SubjectPublicKeyInfo { id-ecPublicKey, prime256v1 } and the BIT STRING of an uncompressed point.
P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200" "04")
P = 2**256 - 2**224 + 2**192 + 2**96 - 1
B = 0x5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B
BLOCK = re.compile(r"-----BEGIN ([A-Z0-9 ]+)-----(.*?)-----END \1-----", re.DOTALL)


class BadKeys(Exception):
    pass


def points(pem_text: str, name: str):
    blocks = BLOCK.findall(pem_text)
    keys = []
    for number, (label, body) in enumerate(blocks, 1):
        where = f"{name}, block {number} ({label})"
        if "PRIVATE" in label:
            raise BadKeys(f"{where}: a private key; build with the public keys only "
                            "(openssl ec -in KEY.pem -pubout), and keep the private key offline")
        if label != "PUBLIC KEY":
            raise BadKeys(f"{where}: not a public key")
        try:
            der = base64.b64decode("".join(body.split()), validate=True)
        except ValueError as error:
            raise BadKeys(f"{where}: not base64 ({error})") from None
        if len(der) != len(P256_SPKI_PREFIX) + 64 or not der.startswith(P256_SPKI_PREFIX):
            raise BadKeys(f"{where}: not an uncompressed ECDSA P-256 public key")
        point = der[len(P256_SPKI_PREFIX):]
        x, y = int.from_bytes(point[:32], "big"), int.from_bytes(point[32:], "big")
        if x >= P or y >= P or (y * y - (x * x * x - 3 * x + B)) % P != 0:
            raise BadKeys(f"{where}: the point is not on the P-256 curve")
        keys.append(point)
    if not keys:
        raise BadKeys(f"{name}: no \"-----BEGIN PUBLIC KEY-----\" block")
    return keys


def source(keys, origin: str) -> str:
    lines = [f"// Generated at build time by cmake/release_keys.py from {origin}; do not edit.",
             '#include "apps/release_keys.h"', "", "namespace ombrix {", "",
             "std::vector<EcdsaKey> BuiltInReleaseKeys() {", "    return {"]
    for point in keys:
        data = ", ".join(f"0x{b:02x}" for b in point)
        lines.append(f"        EcdsaKey{{{data}}},")
    lines += ["    };", "}", "", "}  // namespace ombrix", ""]
    return "\n".join(lines)


def main(argv) -> int:
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    pem, output = argv[1], argv[2]
    if pem == "--none":
        text = source([], "no keys (UPDATE_ALLOW_UNSIGNED)")
    else:
        try:
            with open(pem, encoding="ascii", errors="replace") as f:
                keys = points(f.read(), pem)
        except (OSError, BadKeys) as error:
            print(f"UPDATE_SIGNING_KEYS: {error}", file=sys.stderr)
            return 1
        text = source(keys, pem)
    with open(output, "w", encoding="ascii") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
