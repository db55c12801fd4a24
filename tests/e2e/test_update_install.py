#!/usr/bin/env python3
"""Update.exe end to end, the install step: the running old product is ended (under any
spelling of its path's letter case, and only the program folder's copy), the product executable
is replaced by what the server sent, the download removed, and the new product started once on
Yes; a product executable that cannot be replaced, and a cancel during the wait, leave the old
one as it was and keep the download."""

# ctest-timeout: 120

import unittest

import harness
from update_run import (COMMAND2, DOWNLOAD_COMPLETE, DOWNLOAD_NAME, EXIT_CANCELLED, EXIT_INSTALLED,
                        PRODUCT_NAME, RELAUNCH_QUESTION, TEXT2, UpdateTestCase, held_by,
                        product_log)

CANNOT_READ_INSTALLED = "无法读取已安装的程序文件，升级未完成！"


class Install(UpdateTestCase):
    def test_yes_ends_the_old_products_installs_and_starts_the_new_one_once(self):
        folder = self.program_folder()
        (folder / "notombrix.exe").write_bytes(self.old_product)
        elsewhere = self.program_folder(updater=False)
        old = [self.start_product(folder / PRODUCT_NAME),
               self.start_product(folder / PRODUCT_NAME, as_name="OMBRIX.EXE")]
        bystanders = [self.start_product(folder / "notombrix.exe"),
                      self.start_product(elsewhere / PRODUCT_NAME)]
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            box = run.box()
            # The question comes after the copy and the delete.
            self.assertEqual((box["text"], box["icon"]), (RELAUNCH_QUESTION, False))
            self.assertEqual([b["name"] for b in box["buttons"]], ["yes", "no"])
            self.assertEqual(run.status(), "")
            self.assert_text2(run)
            self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
            self.assertFalse((folder / DOWNLOAD_NAME).exists(), "the download stayed")
            running = self.running()
            self.assertEqual(set(old) & running, set(), "an old product still runs")
            self.assertEqual(set(bystanders) & running, set(bystanders),
                             "a process that is not the program folder's product was ended")
            self.assertEqual([line.version for line in product_log(folder)], ["old"] * 3)
            run.answer("yes")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)

        new = harness.wait_until(
            lambda: [line for line in product_log(folder) if line.version == "new"], 10,
            "the new product to start")
        self.assertEqual([(line.version, line.tail) for line in new], [("new", "")])
        self.assertIn(new[0].pid, self.running())
        self.assertEqual(len(product_log(folder)), 4, "the new product started more than once")
        self.assertEqual(set(bystanders) & self.running(), set(bystanders))
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assertEqual((folder / "notombrix.exe").read_bytes(), self.old_product)
        self.assertEqual((elsewhere / PRODUCT_NAME).read_bytes(), self.old_product)
        self.assert_download_folder_empty(folder)

    def test_no_installs_without_starting(self):
        folder = self.program_folder()
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            self.assert_text2(run)
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assertEqual(product_log(folder), [], "the product was started")
        self.assertEqual(self.processes_in(folder), [])
        self.assert_download_folder_empty(folder)

    def test_a_product_held_open_throughout_is_refused_before_anything_is_closed(self):
        folder = self.program_folder()
        product = harness.to_windows_path(folder / PRODUCT_NAME)
        # A process the kill step knows nothing of holds the executable without sharing.
        holder = self.s.start(harness.tool("tools/automate.exe"),
                              ["hold-file", product, "--timeout", 60000])
        held = harness.wait_until(lambda: held_by(holder), 10, "the product executable to be held")
        self.extra_pids.append(held["pid"])
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            box = self.assert_failed_run(run)
        # Its signature cannot be read, so nothing is known of its publisher: refused.
        self.assertEqual(box["text"], CANNOT_READ_INSTALLED)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assertEqual(product_log(folder), [])
        self.assert_download_folder_empty(folder)
        self.s.terminate(held["pid"])
        harness.wait_popen(holder, 10)
        self.assert_product_untouched(folder)

    def test_cancel_during_the_wait_keeps_the_old_product_and_the_download(self):
        folder = self.program_folder()
        product = self.start_product(folder / PRODUCT_NAME)
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(DOWNLOAD_COMPLETE)
            self.assert_text2(run)
            self.assertEqual(run.focus_id(), TEXT2)
            run.keys("tab")
            self.assertEqual(run.focus_id(), COMMAND2)
            run.keys("space")
            self.assertEqual(run.exit_code(), EXIT_CANCELLED)
        self.assertNotIn(product, self.running(), "the old product was not ended")
        self.assert_product_untouched(folder)
        self.assertEqual((folder / DOWNLOAD_NAME).read_bytes(), self.new_product)
        self.assert_download_folder_empty(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
