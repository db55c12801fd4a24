"""Throwaway certificates and Authenticode signatures for the end-to-end tests.

Everything is made at test time with `openssl` and `osslsigncode` inside a folder that the test
owns (below the session's state); no key ever leaves it.
"""

import pathlib
import shutil
import subprocess
from typing import List, NamedTuple, Optional

KEY_BITS = 2048


class Certificate(NamedTuple):
    pem: pathlib.Path    # the certificate alone
    key: pathlib.Path    # its private key
    chain: pathlib.Path  # the certificate followed by its issuers, up to the root


class SigningError(Exception):
    pass


def _run(args: List[str], cwd: pathlib.Path) -> None:
    result = subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=60)
    if result.returncode != 0:
        raise SigningError(f"{args[0]} {args[1]} failed: {result.stderr.decode(errors='replace')}")


def require_tools() -> None:
    missing = [t for t in ("openssl", "osslsigncode") if shutil.which(t) is None]
    if missing:
        raise SigningError(f"not installed: {', '.join(missing)} (scripts/setup.sh installs them)")


class CertificateMaker:
    """Makes certificates in one folder; each is named after the file stem it gets there."""

    def __init__(self, folder: pathlib.Path):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)

    def _paths(self, name: str):
        return self.folder / f"{name}.pem", self.folder / f"{name}.key"

    def _extensions(self, name: str, lines: List[str]) -> pathlib.Path:
        path = self.folder / f"{name}.ext"
        path.write_text("\n".join(lines) + "\n")
        return path

    def authority(self, name: str, subject: str) -> Certificate:
        """A self-signed root that may issue certificates."""
        pem, key = self._paths(name)
        _run(["openssl", "req", "-x509", "-newkey", f"rsa:{KEY_BITS}", "-nodes", "-keyout",
              str(key), "-out", str(pem), "-days", "30", "-subj", subject,
              "-addext", "basicConstraints=critical,CA:TRUE",
              "-addext", "keyUsage=critical,keyCertSign,cRLSign"], self.folder)
        return Certificate(pem, key, pem)

    def issued(self, name: str, subject: str, issuer: Certificate, usage: str,
               host: Optional[str] = None, days: int = 30) -> Certificate:
        """A certificate that `issuer` signs: usage "code" (code signing) or "server" (TLS for
        `host`). Negative `days` give one that has already expired."""
        pem, key = self._paths(name)
        request = self.folder / f"{name}.csr"
        _run(["openssl", "req", "-newkey", f"rsa:{KEY_BITS}", "-nodes", "-keyout", str(key),
              "-out", str(request), "-subj", subject], self.folder)
        extensions = self._extensions(name, ["basicConstraints=CA:FALSE"] +
                                      _usage_lines(usage, host))
        _run(["openssl", "x509", "-req", "-in", str(request), "-CA", str(issuer.pem), "-CAkey",
              str(issuer.key), "-CAcreateserial", "-days", str(days), "-extfile",
              str(extensions), "-out", str(pem)], self.folder)
        chain = self.folder / f"{name}-chain.pem"
        chain.write_bytes(pem.read_bytes() + issuer.chain.read_bytes())
        return Certificate(pem, key, chain)

    def self_signed(self, name: str, subject: str, usage: str,
                    host: Optional[str] = None) -> Certificate:
        """A certificate that vouches for itself only."""
        pem, key = self._paths(name)
        args = ["openssl", "req", "-x509", "-newkey", f"rsa:{KEY_BITS}", "-nodes", "-keyout",
                str(key), "-out", str(pem), "-days", "30", "-subj", subject]
        for line in _usage_lines(usage, host):
            args += ["-addext", line]
        _run(args, self.folder)
        return Certificate(pem, key, pem)


def _usage_lines(usage: str, host: Optional[str]) -> List[str]:
    if usage == "code":
        return ["keyUsage=critical,digitalSignature", "extendedKeyUsage=codeSigning"]
    if usage == "server":
        return ["keyUsage=critical,digitalSignature,keyEncipherment",
                "extendedKeyUsage=serverAuth", f"subjectAltName=DNS:{host}"]
    raise ValueError(usage)


def sign(program: pathlib.Path, signed: pathlib.Path, certificate: Certificate) -> pathlib.Path:
    """An Authenticode-signed copy of `program` (SHA-256, the whole chain embedded)."""
    signed.unlink(missing_ok=True)
    _run(["osslsigncode", "sign", "-certs", str(certificate.chain), "-key", str(certificate.key),
          "-h", "sha256", "-in", str(program), "-out", str(signed)], signed.parent)
    return signed


def tampered(signed: pathlib.Path, copy: pathlib.Path) -> pathlib.Path:
    """A copy of a signed program with one byte of its code changed after signing."""
    data = bytearray(signed.read_bytes())
    # A third of the way in: inside the signed code, well before the signature at the end.
    data[len(data) // 3] ^= 0x01
    copy.write_bytes(bytes(data))
    return copy
