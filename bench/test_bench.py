#!/usr/bin/env python3
"""Checks of the bench's own helpers, without Wine: that a body is a program of the exact size,
that imports are read from objdump's output and judged against the system folder, and that
every figure line carries its ratio and the verdict on its target.

    python3 bench/test_bench.py
"""

import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import figures  # noqa: E402
from bodies import is_windows_program, make_body  # noqa: E402
from footprint import foreign_imports, parse_objdump, stored_sections, system_dlls  # noqa: E402

# The parts of `objdump -p` that matter, as i686-w64-mingw32-objdump prints them.
OBJDUMP_SAMPLE = """
Characteristics 0x30e
\texecutable
\tline numbers stripped
\tsymbols stripped
\t32 bit words

The Import Tables (interpreted .idata section contents)
\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t43d4c     283  CloseHandle
\tDLL Name: msvcrt.dll
\tDLL Name: libstdc++-6.dll
\tDLL Name: kernel32.dll
"""


def tiny_program() -> bytes:
    """A DOS header pointing at a PE signature at 0x80, padded: enough for the check."""
    header = bytearray(0x100)
    header[:2] = b"MZ"
    header[0x3C:0x40] = (0x80).to_bytes(4, "little")
    header[0x80:0x84] = b"PE\0\0"
    return bytes(header)


class Bodies(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp())
        self.program = self.dir / "program.exe"
        self.program.write_bytes(tiny_program())

    def test_body_is_the_program_then_filler_of_the_exact_size(self):
        size = 3 * 1024 * 1024 + 17  # crosses filler blocks, ends mid-block
        body = make_body(self.program, size, self.dir / "body.exe")
        data = body.read_bytes()
        self.assertEqual(len(data), size)
        self.assertEqual(data[:0x100], tiny_program())
        self.assertTrue(is_windows_program(body))
        self.assertGreater(len(set(data[0x100:0x200])), 100, "filler looks like a constant")

    def test_a_stale_body_of_another_program_is_rewritten(self):
        target = self.dir / "body.exe"
        target.write_bytes(b"\0" * 4096)
        make_body(self.program, 4096, target)
        self.assertTrue(is_windows_program(target))

    def test_body_smaller_than_the_program_is_refused(self):
        with self.assertRaises(ValueError):
            make_body(self.program, 10, self.dir / "body.exe")

    def test_not_a_program(self):
        page = self.dir / "page.html"
        page.write_bytes(b"<html>" + b" " * 100)
        self.assertFalse(is_windows_program(page))
        moved = bytearray(tiny_program())
        moved[0x80:0x84] = b"XX\0\0"
        page.write_bytes(bytes(moved))
        self.assertFalse(is_windows_program(page))


class Footprint(unittest.TestCase):
    def test_imports_in_order_once_each_and_the_stripped_flag(self):
        stripped, imports = parse_objdump(OBJDUMP_SAMPLE)
        self.assertTrue(stripped)
        self.assertEqual(imports, ["KERNEL32.dll", "msvcrt.dll", "libstdc++-6.dll"])
        self.assertFalse(parse_objdump("Characteristics 0x107\n\texecutable\n")[0])

    def test_stored_sections_leave_out_uninitialised_ones(self):
        text = ("Idx Name          Size      VMA       LMA       File off  Algn\n"
                "  0 .text         0000a81c  00401000  00401000  00000400  2**2\n"
                "                  CONTENTS, ALLOC, LOAD, READONLY, CODE, DATA\n"
                "  4 .bss          000000e4  00413000  00413000  00000000  2**2\n"
                "                  ALLOC\n"
                "  9 .rsrc         00006100  00418000  00418000  00010600  2**2\n"
                "                  CONTENTS, ALLOC, LOAD, DATA\n")
        self.assertEqual(stored_sections(text), {".text": 0xa81c, ".rsrc": 0x6100})

    def test_runtime_dlls_are_foreign_letter_case_ignored(self):
        prefix = pathlib.Path(tempfile.mkdtemp())
        system32 = prefix / "drive_c" / "windows" / "system32"
        system32.mkdir(parents=True)
        for name in ("kernel32.dll", "msvcrt.dll", "notes.txt"):
            (system32 / name).write_bytes(b"")
        system = system_dlls(prefix)
        self.assertEqual(system, {"kernel32.dll", "msvcrt.dll"})
        self.assertEqual(foreign_imports(["KERNEL32.dll", "libstdc++-6.dll", "MSVCRT.DLL"], system),
                         ["libstdc++-6.dll"])


class FigureLines(unittest.TestCase):
    def test_download_ratio_and_target(self):
        line = figures.download_line("64 MiB", 40.0, 1.68, 100.0, 120.0, 0.5)
        self.assertIn("ratio 0.40 of the plain reader", line)
        self.assertIn("ratio 0.33 of curl -o", line)
        self.assertIn("MISSED", line)
        self.assertIn(": met]", figures.download_line("64 MiB", 50.0, 1.3, 100.0, 120.0, 0.5))

    def test_memory_lines(self):
        mib = figures.MIB
        self.assertIn("ratio 1.50 of the plain reader",
                      figures.memory_line("64 MiB", 15 * mib, 10 * mib, 1.5))
        self.assertIn(": met]", figures.memory_line("64 MiB", 15 * mib, 10 * mib, 1.5))
        growth = figures.memory_growth_line("64 MiB", 10 * mib, "256 MiB", 11 * mib + 1, mib)
        self.assertIn("ratio", growth)
        self.assertIn("MISSED", growth)

    def test_size_line_flags_foreign_dlls_and_the_limit(self):
        line = figures.size_line("Brevik.exe", 300 * 1024, True, ["KERNEL32.dll", "libgcc.dll"],
                                 ["libgcc.dll"], "the minimal window program", 15 * 1024,
                                 512 * 1024)
        self.assertIn("ratio 20.0 of the minimal window program", line)
        self.assertIn("NOT system DLLs: libgcc.dll", line)
        self.assertIn("MISSED", line)
        code = figures.size_line("Update.exe", 400 * 1024, True, ["KERNEL32.dll"], [],
                                 "the minimal window program", 16 * 1024, 450 * 1024,
                                 260 * 1024, 250 * 1024)
        self.assertIn("260 KiB not resources", code)
        self.assertIn("MISSED", code)

    def test_startup_line(self):
        line = figures.startup_line("Update.exe to its window", 0.3, 5,
                                    "the minimal window program", 0.2, 1.5)
        self.assertIn("median 300 ms of 5, ratio 1.50 of the minimal window program (200 ms)",
                      line)
        self.assertIn(": met]", line)

    def test_quiet_run_line(self):
        line = figures.quiet_run_line("64 MiB", 0.25, 2.5, 600, 0, 67109000, 1024)
        self.assertIn("250 ms to the box, ratio 0.100 of a full run", line)
        self.assertIn(": met]", line)
        self.assertIn("MISSED", figures.quiet_run_line("64 MiB", 2.5, 2.5, 1100, 0, 1100, 1024))
        self.assertIn("MISSED", figures.quiet_run_line("64 MiB", 2.5, 2.5, 900, 1, 900, 1024))

    def test_delta_lines(self):
        line = figures.delta_line("(a) x", 180000, 6000, 180600, 1.2, 1.5, 0.08)
        self.assertIn("6000 bytes on the wire, ratio 0.0332 of the whole program's", line)
        self.assertIn(": met]", line)
        self.assertIn("MISSED", figures.delta_line("(b) y", 100, 50, 100, 1, 1, 0.02))
        memory = figures.delta_memory_line("64 MiB", 200 * 2**20, 40 * 2**20, 144 * 2**20)
        self.assertIn("160.0 MiB above", memory)
        self.assertIn("MISSED", memory)


if __name__ == "__main__":
    unittest.main()
