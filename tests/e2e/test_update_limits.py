#!/usr/bin/env python3
"""Update.exe end to end, what a server cannot make it do: fill the disk (a body without end,
a 10 GB announcement, a small drive) or pass off a body whose framing is in doubt (two lengths,
a part answered to a request for the whole). Each run ends with its message, exit 1, no download
left and the product untouched, before anything was closed."""

# ctest-timeout: 300

import os
import pathlib
import shutil
import subprocess
import threading
import time
import unittest

import harness
from update_run import DOWNLOAD_NAME, EXIT_FAILED, PRODUCT_NAME, UpdateRun, UpdateTestCase

TOO_LARGE = "下载的文件过大，升级未完成！"
CANNOT_SAVE = "无法保存下载文件，请检查磁盘空间和写入权限！"
INCOMPLETE = "文件下载不完整，请稍后再试！"
CEILING = 256 * 1024 * 1024  # the build's default
MIB = 1024 * 1024


class Limits(UpdateTestCase):
    def refused(self, mode: str, message: str, **options) -> dict:
        """One run against `mode` that must end with `message`; the server's response."""
        folder = self.program_folder()
        product = self.start_product(folder / PRODUCT_NAME)
        with self.serve(mode, **options) as server:
            run = self.start_update(folder)
            run.wait_window()
            started = time.monotonic()
            self.assertEqual(run.box(timeout_ms=120000)["text"], message)
            took = time.monotonic() - started
            self.assert_failed_run(run, message)
            harness.wait_until(server.responses, 10, "the server to end its response")
            response = server.responses()[0]
        print(f"{mode}: refused after {took:.1f} s, {response['sent']} bytes sent")
        self.assertIn(product, self.running(), "the product was ended for nothing")
        self.assertFalse((folder / DOWNLOAD_NAME).exists(), "a download stayed")
        self.assert_product_untouched(folder)
        self.assert_download_folder_empty(folder)
        return response

    def test_an_endless_body_stops_at_the_ceiling(self):
        sent = self.refused("endless", TOO_LARGE)["sent"]
        self.assertGreaterEqual(sent, CEILING)

    def test_a_10_gb_announcement_is_refused_before_anything_is_written(self):
        self.refused("normal", TOO_LARGE, announce=10_000_000_000)

    def test_two_lengths_and_a_part_are_never_taken_for_the_whole(self):
        for mode in ("two-lengths", "partial"):
            with self.case(mode):
                self.refused(mode, INCOMPLETE)


class SmallDrive(UpdateTestCase):
    """A 12 MiB drive S: (a tmpfs) holds the program folder."""

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0:
            self.skipTest("mounting a tmpfs needs root")
        self.mount = pathlib.Path(self.s.tmp) / f"small-drive-{os.getpid()}"
        self.mount.mkdir()
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12m", "tmpfs", str(self.mount)],
                       check=True)
        self.addCleanup(self.mount.rmdir)
        self.addCleanup(subprocess.run, ["umount", str(self.mount)], check=True)
        self.drive = self.s.prefix / "dosdevices" / "s:"
        self.drive.unlink(missing_ok=True)
        self.drive.symlink_to(self.mount)
        self.addCleanup(self.drive.unlink)

    def test_the_download_stops_before_the_drive_is_full(self):
        folder = self.mount / "Ombrix"
        folder.mkdir()
        shutil.copy(harness.tool("apps/Update.exe"), folder / "Update.exe")
        shutil.copy(harness.tool("tools/product-old/Ombrix.exe"), folder / PRODUCT_NAME)
        # An announced length the drive cannot hold three times: refused before a byte is
        # written; a body without a length: stopped while the drive keeps its reserve.
        for mode, options in (("normal", {"announce": 4 * MIB}), ("endless", {})):
            with self.case(mode), self.serve(mode, **options) as server:
                least = [shutil.disk_usage(self.mount).free]
                done = threading.Event()

                def watch():
                    while not done.wait(0.005):
                        least[0] = min(least[0], shutil.disk_usage(self.mount).free)

                watcher = threading.Thread(target=watch)
                watcher.start()
                try:
                    run = UpdateRun(self.s, pathlib.PureWindowsPath("S:\\Ombrix"))
                    self.runs.append(run)
                    self.assertEqual(run.box(timeout_ms=60000)["text"], CANNOT_SAVE)
                finally:
                    done.set()
                    watcher.join()
                run.answer("ok")
                self.assertEqual(run.exit_code(), EXIT_FAILED)
                harness.wait_until(server.responses, 10, "the server to end its response")
                print(f"{mode}: {server.responses()[0]['sent']} bytes sent, "
                      f"at least {least[0]} bytes free throughout")
                self.assertGreaterEqual(least[0], MIB)
                self.assertEqual(sorted(p.name for p in folder.iterdir()),
                                 ["Ombrix.exe", "Update.exe", "download"])
                self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.old_product)

if __name__ == "__main__":
    unittest.main(verbosity=2)
