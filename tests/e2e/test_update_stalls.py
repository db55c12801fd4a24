#!/usr/bin/env python3
"""Update.exe end to end, servers that go silent or trickle: 60 s without a byte fail a request,
whether it waits for the response or for the rest of the body, and so does a body that brings
less than 4 KiB in two minutes. A body that stalls or drips is resumed; a server that never
answers the first request is a transfer error without retry. Each stall costs a real minute (a
drip two), so there are only these three; that four failed resumes end a run is shown with a body
that breaks off every time (test_update_download.py), at no such cost."""

# ctest-timeout: 480

import time
import unittest

import harness

from http_server import TestServer
from update_run import (DOWNLOAD_NAME, EXIT_INSTALLED, PRODUCT_NAME,
                        RELAUNCH_QUESTION, TRANSFER_ERROR, UpdateTestCase)

INCOMPLETE = "文件下载不完整，请稍后再试！"
CANNOT_CONNECT = "暂时无法连接服务器，请稍后再试！"


def wait_box(run, seconds: float) -> dict:
    """The run's message box, waited for longer than one automation call may take."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            return run.box(timeout_ms=30000)
        except harness.HarnessError:
            if time.monotonic() > deadline:
                raise


class Stalls(UpdateTestCase):
    def serve_long(self, mode: str, **options) -> TestServer:
        return TestServer(self.new_product_file, mode=mode, port=self.port, log_dir=self.s.tmp,
                          lifetime=480, **options)

    def resumed_run(self, mode: str, **options):
        """A whole update whose first body goes wrong and is resumed: the time to the relaunch
        question and the range the resume asked for."""
        folder = self.program_folder()
        with self.serve_long(mode, **options) as server:
            started = time.monotonic()
            run = self.start_update(folder)
            run.wait_window()
            self.assertEqual(wait_box(run, 200)["text"], RELAUNCH_QUESTION)
            elapsed = time.monotonic() - started
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
            requests = server.requests()
        self.assertEqual(len(requests), 2)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        return elapsed, requests[1]["headers"].get("Range", "")

    def test_a_stalled_body_is_resumed_after_a_minute(self):
        elapsed, asked = self.resumed_run("stall-once", sent=100000)
        self.assertTrue(60 <= elapsed < 90, elapsed)
        self.assertEqual(asked, "bytes=100000-")

    def test_a_body_that_drips_is_resumed_after_two_minutes(self):
        # 100 bytes every 5 s: never silent for a minute, but some 2.4 KB in two.
        elapsed, asked = self.resumed_run("drip-once", drip_bytes=100, drip_interval=5)
        self.assertTrue(120 <= elapsed < 150, elapsed)
        self.assertRegex(asked, r"^bytes=[0-9]+-$")
        self.assertTrue(2000 <= int(asked[len("bytes="):-1]) < 4096, asked)

    def test_no_answer_to_the_first_request_is_a_transfer_error_without_retry(self):
        folder = self.program_folder()
        with self.serve_long("silent") as server:
            started = time.monotonic()
            run = self.start_update(folder)
            run.wait_window()
            box = wait_box(run, 100)
            elapsed = time.monotonic() - started
            self.assertEqual(run.status(), TRANSFER_ERROR)
            self.assertEqual(box["text"], CANNOT_CONNECT)
            self.assert_failed_run(run, CANNOT_CONNECT)
            self.assertEqual(len(server.requests()), 1)
        self.assertTrue(55 <= elapsed < 90, elapsed)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_product_untouched(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
