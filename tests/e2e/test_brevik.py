#!/usr/bin/env python3
"""Brevik.exe end to end: run from a program folder whose path has blanks and Chinese
characters, it registers the ".obx" document type under HKEY_CLASSES_ROOT, leaves the user's
"Shell Icon Size" as it found it, shows nothing and exits 0; a document opened through the
shell afterwards starts the product with the document's path."""

import shutil
import unittest

import harness
from harness import REG_DWORD, REG_SZ, RegValue

WINDOW_METRICS = r"HKCU\Control Panel\Desktop\WindowMetrics"
ICON_SIZE = "Shell Icon Size"
CLASS_KEY = r"HKCR\OBX"
EXTENSION_KEY = r"HKCR\.obx"


class BrevikRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.session()

    def setUp(self):
        self.s.reg_delete(CLASS_KEY)
        self.s.reg_delete(EXTENSION_KEY)

    def install(self, with_product=False):
        """A fresh program folder holding Brevik.exe (and the fake product as Ombrix.exe)."""
        folder = self.s.program_folder()
        shutil.copy(harness.tool("apps/Brevik.exe"), folder / "Brevik.exe")
        if with_product:
            shutil.copy(harness.tool("tools/product-old/Ombrix.exe"), folder / "Ombrix.exe")
        return folder

    def run_brevik(self, folder):
        """Runs Brevik while watching for windows; it must end by itself, silently, with 0."""
        exe = harness.to_windows_path(folder / "Brevik.exe")
        run = self.s.automate_one("run", "--cmdline", f'"{exe}"', "--timeout", 30000)
        shown = [w for w in run["windows"] if w["ever_visible"]]
        self.assertEqual(shown, [], "Brevik showed a window")
        self.assertEqual(run["exit_code"], 0)

    def assert_registered(self, folder):
        p = harness.to_windows_path(folder)
        expected = {
            (CLASS_KEY, ""): RegValue(REG_SZ, "OBX文档"),
            (EXTENSION_KEY, ""): RegValue(REG_SZ, "OBX"),
            (CLASS_KEY + r"\shell\open\command", ""): RegValue(REG_SZ, f'"{p}\\Ombrix.exe" %1'),
            (CLASS_KEY + r"\DefaultIcon", ""): RegValue(REG_SZ, f"{p}\\Skin\\icon.ico"),
        }
        actual = {where: self.s.reg_value(*where) for where in expected}
        self.assertEqual(actual, expected)

    def registry_state(self):
        return (self.s.reg_export(CLASS_KEY), self.s.reg_export(EXTENSION_KEY),
                self.s.reg_value(WINDOW_METRICS, ICON_SIZE))

    def test_registers_the_document_type_and_keeps_the_icon_size(self):
        self.s.reg_set(WINDOW_METRICS, ICON_SIZE, "REG_SZ", "48")
        folder = self.install()
        self.run_brevik(folder)
        self.assert_registered(folder)
        self.assertEqual(self.s.reg_value(WINDOW_METRICS, ICON_SIZE), RegValue(REG_SZ, "48"))

    def test_the_icon_size_comes_back_byte_for_byte(self):
        folder = self.install()
        earlier_forms = {
            "two ANSI digits, no zero": (REG_SZ, b"32"),
            "Unicode with its zero": (REG_SZ, "16\0".encode("utf-16-le")),
            "a number": (REG_DWORD, (48).to_bytes(4, "little")),
            "empty": (REG_SZ, b""),
        }
        for form, (type_number, data) in earlier_forms.items():
            with self.subTest(form):
                self.s.reg_set_raw(WINDOW_METRICS, ICON_SIZE, type_number, data)
                before = self.s.reg_raw(WINDOW_METRICS, ICON_SIZE)
                self.run_brevik(folder)
                self.assertEqual(self.s.reg_raw(WINDOW_METRICS, ICON_SIZE), before)

    def test_an_absent_icon_size_stays_absent(self):
        self.s.reg_delete(WINDOW_METRICS, ICON_SIZE)
        self.assertIsNone(self.s.reg_raw(WINDOW_METRICS, ICON_SIZE))
        folder = self.install()
        self.run_brevik(folder)
        self.assert_registered(folder)
        self.assertIsNone(self.s.reg_raw(WINDOW_METRICS, ICON_SIZE))

    def test_second_run_changes_nothing_and_keeps_foreign_entries(self):
        self.s.reg_set(WINDOW_METRICS, ICON_SIZE, "REG_SZ", "32")
        folder = self.install()
        self.run_brevik(folder)
        # Entries of other programs below the same keys.
        self.s.reg_set(CLASS_KEY + r"\shell\edit\command", "", "REG_SZ", "notepad.exe %1")
        self.s.reg_set(EXTENSION_KEY, "Content Type", "REG_SZ", "application/x-obx")
        before = self.registry_state()
        self.run_brevik(folder)
        self.assertEqual(self.registry_state(), before)
        self.assertEqual(self.s.reg_value(CLASS_KEY + r"\shell\edit\command"),
                         RegValue(REG_SZ, "notepad.exe %1"))

        # A run from another folder points the command and the icon there.
        moved = self.install()
        self.run_brevik(moved)
        self.assert_registered(moved)
        self.assertEqual(self.s.reg_value(CLASS_KEY + r"\shell\edit\command"),
                         RegValue(REG_SZ, "notepad.exe %1"))

    def test_opening_a_document_starts_the_product_with_its_path(self):
        folder = self.install(with_product=True)
        self.run_brevik(folder)
        documents = self.s.program_folder("My Documents 文档")
        document = documents / "Report 2024 年度.obx"
        document.write_bytes(b"OBX document")
        opened = self.s.wine(["start", "/unix", str(document)], timeout=30)
        self.assertEqual(opened.code, 0, opened.stderr)
        log = folder / "product.log"
        line = harness.wait_until(lambda: log.exists() and log.read_text(encoding="utf-8"),
                                  20, "the product to start")
        version, pid, program, tail = line.rstrip("\n").split("\t", 3)
        try:
            self.assertEqual(line.count("\n"), 1)
            self.assertEqual(version, "old")
            self.assertEqual(program, f'"{harness.to_windows_path(folder / "Ombrix.exe")}"')
            self.assertEqual(tail, harness.to_windows_path(document))
        finally:
            self.s.terminate(int(pid))


if __name__ == "__main__":
    harness.require_programs("apps/Brevik.exe")
    unittest.main(verbosity=2)
