"""Download bodies: a real Windows program with data appended up to an exact size, so that the
updater accepts the download as a program and goes on to install it as usual."""

import pathlib
import random

BLOCK = 1024 * 1024


def make_body(program: pathlib.Path, size: int, target: pathlib.Path) -> pathlib.Path:
    """Writes `target`: the bytes of `program`, then filler up to `size` bytes. The filler is
    pseudo-random (same seed every time), so nothing on the way can shortcut runs of zeros.
    An existing target of the right size and start is kept."""
    head = program.read_bytes()
    if size < len(head):
        raise ValueError(f"{size} bytes cannot hold {program} ({len(head)} bytes)")
    if target.is_file() and target.stat().st_size == size:
        with open(target, "rb") as existing:
            if existing.read(len(head)) == head:
                return target
    block = random.Random(size).randbytes(BLOCK)
    target.parent.mkdir(parents=True, exist_ok=True)
    partial = target.with_name(target.name + ".part")
    with open(partial, "wb") as out:
        out.write(head)
        left = size - len(head)
        while left > 0:
            piece = block[:min(left, BLOCK)]
            out.write(piece)
            left -= len(piece)
    partial.replace(target)
    return target


def is_windows_program(path: pathlib.Path) -> bool:
    """MZ at the start and "PE\\0\\0" where the DOS header points: what the updater checks."""
    with open(path, "rb") as f:
        dos = f.read(64)
        if len(dos) < 64 or dos[:2] != b"MZ":
            return False
        f.seek(int.from_bytes(dos[0x3C:0x40], "little"))
        return f.read(4) == b"PE\0\0"


def with_body(program: pathlib.Path, body: pathlib.Path, target: pathlib.Path) -> pathlib.Path:
    """Writes `target`: `program` with the bytes of `body` appended, so that any file travels as a
    Windows program the updater installs."""
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(program.read_bytes() + body.read_bytes())
    return target
