#!/usr/bin/env python3
"""Publishes a release of Ombrix for Update.exe: the program file, deltas from earlier releases,
and the signed release statement that says what is newest (docs/signing.md).

    python3 scripts/release.py KEY.pem NEW.exe OUTDIR [--previous OLD.exe ...]

writes into OUTDIR, named for the update URL's last path segment (the product's file base name,
`ombrix`):

    ombrix                    the program (NEW.exe), served at the update URL
    ombrix.delta/<sha256 OLD> for each --previous release: a zstd frame made with
                              --patch-from=OLD, served at <update URL>.delta/<sha256 OLD>
    ombrix.release            the statement, served at <update URL>.release

The version is read from NEW.exe's own version record (a file without one is refused). Each
delta is applied back and compared with NEW.exe byte for byte before it is kept; one larger than
half of NEW.exe is dropped. The statement is signed with KEY.pem (ECDSA P-256) and verified with
the key's public half before the tool says so. Python's standard library, the openssl command
and (for deltas) Debian's zstd command only.
"""

import argparse
import base64
import hashlib
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
from typing import List, Optional, Tuple

# What Update.exe accepts, as it is built by default (UPDATE_MAX_BYTES, UPDATE_MAX_DELTA_BYTES).
MAX_BYTES = 268435456
MAX_DELTA_BYTES = 134217728
MAX_STATEMENT_BYTES = 4096
DELTA_LEVEL = 19


class ReleaseError(Exception):
    pass


# --- the version record ---------------------------------------------------------------------

def _u16(data: bytes, at: int) -> int:
    if at < 0 or at + 2 > len(data):
        raise ReleaseError("the file ends inside its headers")
    return struct.unpack_from("<H", data, at)[0]


def _u32(data: bytes, at: int) -> int:
    if at < 0 or at + 4 > len(data):
        raise ReleaseError("the file ends inside its headers")
    return struct.unpack_from("<I", data, at)[0]


def file_version(data: bytes) -> Optional[Tuple[int, int, int, int]]:
    """The FILEVERSION of the program's first version record (VS_FIXEDFILEINFO), as Windows and
    Update.exe read it; None when the file has none."""
    if data[:2] != b"MZ":
        raise ReleaseError("not a Windows program (no MZ header)")
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ReleaseError("not a Windows program (no PE header)")
    sections = _u16(data, pe + 6)
    optional_size = _u16(data, pe + 20)
    optional = pe + 24
    magic = _u16(data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise ReleaseError("not a Windows program (unknown optional header)")
    if _u32(data, directories - 4) <= 2:  # NumberOfRvaAndSizes
        return None
    resources_rva = _u32(data, directories + 16)
    if resources_rva == 0:
        return None
    table = optional + optional_size
    spans = []
    for i in range(sections):
        at = table + 40 * i
        virtual_size, virtual_address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        spans.append((virtual_address, max(virtual_size, raw_size), raw_at, raw_size))

    def offset(rva: int, size: int) -> int:
        for address, length, raw_at, raw_size in spans:
            if address <= rva and rva + size <= address + min(length, raw_size):
                return raw_at + rva - address
        raise ReleaseError("a resource lies outside the file's sections")

    def entries(directory: int) -> List[Tuple[int, int]]:
        at = offset(resources_rva + directory, 16)
        count = _u16(data, at + 12) + _u16(data, at + 14)
        return [(_u32(data, at + 16 + 8 * i), _u32(data, at + 20 + 8 * i)) for i in range(count)]

    subdirectory = 0x80000000
    types = [target for name, target in entries(0) if name == 16 and target & subdirectory]
    if not types:
        return None
    names = entries(types[0] & ~subdirectory)
    if not names or not names[0][1] & subdirectory:
        return None
    languages = entries(names[0][1] & ~subdirectory)
    if not languages or languages[0][1] & subdirectory:
        return None
    entry = offset(resources_rva + languages[0][1], 8)
    record_rva, record_size = _u32(data, entry), _u32(data, entry + 4)
    if record_size < 56:
        return None
    record = offset(record_rva, 56)
    if _u32(data, record + 40) != 0xFEEF04BD:
        return None
    high, low = _u32(data, record + 48), _u32(data, record + 52)
    return high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF


# --- deltas ---------------------------------------------------------------------------------

def zstd_window(frame: bytes) -> int:
    """The window a zstd frame's header asks the decoder for, in bytes."""
    if frame[:4] != b"\x28\xb5\x2f\xfd" or len(frame) < 6:
        raise ReleaseError("zstd wrote no zstd frame")
    descriptor = frame[4]
    single_segment = descriptor & 0x20
    if not single_segment:
        window = frame[5]
        base = 1 << (10 + (window >> 3))
        return base + (base // 8) * (window & 7)
    size_bytes = {0: 1, 1: 2, 2: 4, 3: 8}[descriptor >> 6]
    at = 5 + {0: 0, 1: 1, 2: 2, 3: 4}[descriptor & 3]
    size = int.from_bytes(frame[at:at + size_bytes], "little")
    return size + 256 if size_bytes == 2 else size


def window_log(size: int) -> int:
    return max(27, (size - 1).bit_length() + 1)


def run_zstd(args: List[str]) -> None:
    # zstd says what it thinks of its own settings on large files; only a failure is news.
    result = subprocess.run(["zstd"] + args, capture_output=True)
    if result.returncode != 0:
        raise ReleaseError(f"zstd failed: {result.stderr.decode(errors='replace')}")


def make_delta(old: pathlib.Path, new: pathlib.Path, work: pathlib.Path,
               max_window: int) -> Optional[bytes]:
    """A zstd frame that turns `old` into `new`, checked by applying it back; None when it is
    not worth it."""
    delta = work / "delta.zst"
    check = work / "check"
    # Long-distance matching, with a window over the whole file, only where the files need more
    # than zstd's usual 128 MiB window.
    log = window_log(max(old.stat().st_size, new.stat().st_size))
    long = [f"--long={log}"] if log > 27 else []
    run_zstd(["-q", "-f", f"-{DELTA_LEVEL}"] + long +
             [f"--patch-from={old}", str(new), "-o", str(delta)])
    frame = delta.read_bytes()
    if zstd_window(frame) > max_window:
        return None
    run_zstd(["-q", "-d", "-f", f"--memory={2 * max_window}",
              f"--patch-from={old}", str(delta), "-o", str(check)])
    if check.read_bytes() != new.read_bytes():
        raise ReleaseError(f"the delta from {old} does not give back the new release")
    return frame


# --- the statement --------------------------------------------------------------------------

def run_openssl(args: List[str]) -> bytes:
    result = subprocess.run(["openssl"] + args, capture_output=True)
    if result.returncode != 0:
        raise ReleaseError(f"openssl {args[0]} failed: {result.stderr.decode(errors='replace')}")
    return result.stdout


def sign(key: pathlib.Path, text: bytes, work: pathlib.Path) -> bytes:
    """The DER ECDSA signature of SHA-256(text) under `key`, verified with its public half."""
    public = work / "public.pem"
    run_openssl(["pkey", "-in", str(key), "-pubout", "-out", str(public)])
    described = run_openssl(["pkey", "-pubin", "-in", str(public), "-noout", "-text"]).decode()
    if "P-256" not in described and "prime256v1" not in described:
        raise ReleaseError(f"{key} is not an ECDSA P-256 key (docs/signing.md shows how to make one)")
    unsigned = work / "statement.unsigned"
    signature = work / "statement.sig"
    unsigned.write_bytes(text)
    run_openssl(["dgst", "-sha256", "-sign", str(key), "-out", str(signature), str(unsigned)])
    run_openssl(["dgst", "-sha256", "-verify", str(public), "-signature", str(signature),
                 str(unsigned)])
    return signature.read_bytes()


def statement_lines(product: str, version: Tuple[int, int, int, int], program: bytes,
                    deltas: List[Tuple[str, bytes]]) -> bytes:
    lines = ["ombrix-release 1", f"product {product}",
             "version " + ".".join(str(part) for part in version),
             f"size {len(program)}", f"sha256 {hashlib.sha256(program).hexdigest()}"]
    for old_hash, frame in deltas:
        lines.append(f"delta {old_hash} {len(frame)} {hashlib.sha256(frame).hexdigest()}")
    return "".join(line + "\n" for line in lines).encode("ascii")


def write_whole(path: pathlib.Path, data: bytes) -> None:
    part = path.with_name(path.name + ".part")
    part.write_bytes(data)
    os.replace(part, path)


def publish(key: pathlib.Path, new: pathlib.Path, out: pathlib.Path, previous: List[pathlib.Path],
            product: str, max_bytes: int, max_delta_bytes: int) -> List[pathlib.Path]:
    """Writes the release into `out`; the files to upload, in upload order."""
    program = new.read_bytes()
    version = file_version(program)
    if version is None:
        raise ReleaseError(f"{new} has no version record: Update.exe could not tell its version")
    if not 0 < len(program) <= max_bytes:
        raise ReleaseError(f"{new} is {len(program)} bytes; Update.exe takes 1 to {max_bytes}")
    if previous and shutil.which("zstd") is None:
        raise ReleaseError("deltas need Debian's zstd command (scripts/setup.sh installs it)")
    out.mkdir(parents=True, exist_ok=True)
    uploads = []
    deltas = []
    with tempfile.TemporaryDirectory() as work_name:
        work = pathlib.Path(work_name)
        new_hash = hashlib.sha256(program).hexdigest()
        for old in previous:
            old_bytes = old.read_bytes()
            old_hash = hashlib.sha256(old_bytes).hexdigest()
            if old_hash == new_hash or old_hash in (h for h, _ in deltas):
                continue
            if max(len(old_bytes), len(program)) > max_delta_bytes:
                print(f"no delta from {old}: Update.exe takes deltas of products up to "
                      f"{max_delta_bytes} bytes", file=sys.stderr)
                continue
            frame = make_delta(old, new, work, 2 * max_delta_bytes)
            if frame is None or len(frame) > len(program) // 2:
                print(f"no delta from {old}: it would not save half of the download",
                      file=sys.stderr)
                continue
            deltas.append((old_hash, frame))
        text = statement_lines(product, version, program, deltas)
        signature = sign(key, text, work)
        statement = text + b"signature " + base64.b64encode(signature) + b"\n"
    if len(statement) > MAX_STATEMENT_BYTES:
        raise ReleaseError(f"the statement would be {len(statement)} bytes; Update.exe reads at "
                           f"most {MAX_STATEMENT_BYTES} (fewer --previous releases)")
    if deltas:
        folder = out / f"{product}.delta"
        folder.mkdir(exist_ok=True)
        for old_hash, frame in deltas:
            write_whole(folder / old_hash, frame)
            uploads.append(folder / old_hash)
    write_whole(out / product, program)
    uploads.append(out / product)
    write_whole(out / f"{product}.release", statement)
    uploads.append(out / f"{product}.release")
    return uploads


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("key", type=pathlib.Path, help="the private release key (PEM)")
    parser.add_argument("new", type=pathlib.Path, help="the new Ombrix.exe")
    parser.add_argument("out", type=pathlib.Path, help="the folder to write the release into")
    parser.add_argument("--previous", type=pathlib.Path, action="append", default=[],
                        metavar="OLD.exe", help="an earlier release to make a delta from")
    parser.add_argument("--product", default="ombrix",
                        help="the product's file base name, the update URL's last segment")
    parser.add_argument("--max-bytes", type=int, default=MAX_BYTES,
                        help="Update.exe's download ceiling (UPDATE_MAX_BYTES)")
    parser.add_argument("--max-delta-bytes", type=int, default=MAX_DELTA_BYTES,
                        help="Update.exe's delta ceiling (UPDATE_MAX_DELTA_BYTES)")
    args = parser.parse_args(argv)
    try:
        for path in [args.key, args.new] + args.previous:
            if not path.is_file():
                raise ReleaseError(f"no such file: {path}")
        uploads = publish(args.key, args.new, args.out, args.previous, args.product,
                          args.max_bytes, args.max_delta_bytes)
    except (ReleaseError, subprocess.CalledProcessError) as error:
        print(f"release.py: {error}", file=sys.stderr)
        return 1
    print(f"{args.out / (args.product + '.release')}: signed with {args.key} and verified.")
    print("Upload beside the update URL, in this order (the statement last: a run that meets "
          "the new statement before its files refuses once and installs on its next run):")
    for number, path in enumerate(uploads, 1):
        print(f"  {number}. {path.relative_to(args.out)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
