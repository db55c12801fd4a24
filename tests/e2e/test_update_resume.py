#!/usr/bin/env python3
"""Update.exe end to end, bodies that break off: resumed from the download file's end with a
range and the first response's validator, started again when the server sends the whole body
(it ignored the range, or the file changed in between), the status line and the window meanwhile,
and the product installed whole each time."""

# ctest-timeout: 240

import time
import unittest

import harness

from http_server import TestServer
from update_run import (DOWNLOAD_COMPLETE, DOWNLOAD_NAME, EXIT_INSTALLED, PRODUCT_NAME,
                        RECEIVING, RELAUNCH_QUESTION, UpdateTestCase, sample)


class ResumedDownloads(UpdateTestCase):
    def run_to_install(self, mode: str, **options):
        """One update run against `mode`; the server's requests and responses."""
        folder = self.program_folder()
        with TestServer(self.new_product_file, mode=mode, port=self.port, log_dir=self.s.tmp,
                        lifetime=120, **options) as server:
            run = self.start_update(folder)
            run.wait_window()
            # During the pause before the resume the window answers and keeps its status.
            seen = sample(run, lambda status, bar: status == DOWNLOAD_COMPLETE, timeout=30)
            length = len(self.new_product)
            self.assertEqual(seen[-1][1:], (length, length))
            during = [status for status, pos, _ in seen if 0 < pos < length]
            self.assertTrue(set(during) <= {RECEIVING}, seen)
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
            requests, responses = server.requests(), server.responses()
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        return requests, responses

    def test_a_break_is_resumed_from_the_file_end(self):
        started = time.monotonic()
        requests, responses = self.run_to_install("break-once", sent=100000)
        self.assertEqual(len(requests), 2)
        first = requests[0]["headers"]
        self.assertNotIn("Range", first)
        resumed = requests[1]["headers"]
        self.assertEqual(resumed["Range"], "bytes=100000-")
        self.assertTrue(resumed["If-Range"].startswith('"'), resumed)
        self.assertEqual(responses[1]["status"], 206)
        self.assertGreater(time.monotonic() - started, 1.0)  # the pause before it

    def test_a_whole_body_instead_of_the_rest_starts_again(self):
        cases = {"ignore-range": {},
                 # Same length, other bytes: joining the halves would make a broken program.
                 "changes": {"first_file": harness.tool("tools/product-old/Ombrix.exe")}}
        for mode, options in cases.items():
            with self.case(mode):
                requests, responses = self.run_to_install(mode, sent=120000, **options)
                self.assertEqual(len(requests), 2)
                self.assertIn("Range", requests[1]["headers"])
                self.assertEqual(responses[1]["status"], 200)


if __name__ == "__main__":
    unittest.main(verbosity=2)
