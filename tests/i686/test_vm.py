#!/usr/bin/env python3
"""The emulated machine's runner, without a machine: its verdict on the console's lines, and a
host where QEMU or the disk cannot be had failing with the reason."""

import contextlib
import io
import os
import subprocess
import sys
import tempfile
import unittest

import vm

ALL_OK = ["OMBRIX-I386-PROBE 42", "OMBRIX-PLAN 2", "noise", "OMBRIX-RESULT win32 a.B.test_x ok",
          "OMBRIX-RESULT win32 a.B.test_y ok"]


def verdict(lines):
    with contextlib.redirect_stdout(io.StringIO()) as out:
        return vm.results(lines), out.getvalue()


class Verdict(unittest.TestCase):
    def test_every_planned_scenario_ok_passes(self):
        self.assertEqual(verdict(ALL_OK)[0], 0)

    def test_a_failed_missing_or_unplanned_run_fails(self):
        cases = {"failed": ALL_OK[:-1] + ["OMBRIX-RESULT win32 a.B.test_y FAIL"],
                 "missing": ALL_OK[:-1], "no plan": ALL_OK[:1] + ALL_OK[2:],
                 "no 32-bit": ["OMBRIX-I386-PROBE 126"] + ALL_OK[1:], "nothing": []}
        for name, lines in cases.items():
            with self.subTest(name):
                code, said = verdict(lines)
                self.assertEqual(code, 1)
                self.assertIn("FAILED", said)


class Unavailable(unittest.TestCase):
    def run_vm(self, command, **env):
        with tempfile.TemporaryDirectory() as folder:
            result = subprocess.run([sys.executable, vm.__file__, command], capture_output=True,
                                    text=True, env={**os.environ, "OMBRIX_I686_CACHE": folder,
                                                    **env})
        return result.returncode, result.stderr

    def test_no_qemu_fails_and_says_so(self):
        code, said = self.run_vm("run", PATH="/nonexistent")
        self.assertEqual(code, 1)
        self.assertIn("missing commands: qemu-system-x86_64", said)

    @unittest.skipUnless(vm.command("qemu-system-x86_64") != "qemu-system-x86_64", "no QEMU")
    def test_no_disk_fails_and_says_so(self):
        code, said = self.run_vm("run")
        self.assertEqual(code, 1)
        self.assertIn("no machine in", said)


if __name__ == "__main__":
    unittest.main(verbosity=2)
