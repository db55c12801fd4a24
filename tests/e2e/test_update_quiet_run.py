#!/usr/bin/env python3
"""Update.exe end to end against nginx (real ETag and Last-Modified), a run that finds nothing
new: after an install the next run asks with the record's validators and ends at nginx's 304
without a body, product and record untouched; a new publication is installed in full; an older
product put back by hand is asked for without conditions and updated; a damaged record means a
full download, after which runs are quiet again."""

# ctest-timeout: 240

import hashlib
import pathlib
import sys
import tempfile
import unittest
import urllib.request

import harness
from update_run import (EXIT_INSTALLED, DOWNLOAD_NAME, PRODUCT_NAME, RELAUNCH_QUESTION,
                        UpdateTestCase)

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))
from nginx_server import Nginx  # noqa: E402

NEWEST = "当前已是最新版本，无需升级！"
EXIT_NEWEST = 4
UPDATE_PATH = "soft/updates/ombrix/ombrix"


class QuietRuns(UpdateTestCase):
    def setUp(self):
        super().setUp()
        root = pathlib.Path(tempfile.mkdtemp(prefix="nginx-", dir=self.s.tmp))
        self.served = root / "www" / UPDATE_PATH
        self.served.parent.mkdir(parents=True)
        self.nginx = Nginx(root, self.port, root / "www")
        self.publish(self.new_product)
        self.nginx.start()
        self.addCleanup(self.nginx.stop)

    def publish(self, body: bytes) -> None:
        self.served.write_bytes(body)

    def validators(self):
        """What nginx sends with the published body now."""
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}/{UPDATE_PATH}",
                                         method="HEAD")
        with urllib.request.urlopen(request, timeout=10) as response:
            return response.headers["ETag"], response.headers["Last-Modified"]

    def update(self, folder: pathlib.Path, expected_box: str, expected_code: int) -> dict:
        """One run to its box; the one GET it made, as nginx logged it."""
        before = len(self.nginx.requests())
        run = self.start_update(folder)
        run.wait_window()
        box = run.box()
        self.assertEqual(box["text"], expected_box)
        run.answer("no" if expected_box == RELAUNCH_QUESTION else "ok")
        self.assertEqual(run.exit_code(), expected_code)
        gets = [r for r in self.nginx.requests()[before:] if r["request"].startswith("GET ")]
        self.assertEqual(len(gets), 1, gets)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        return gets[0]

    def assert_recorded(self, record: pathlib.Path, product: bytes) -> None:
        etag, modified = self.validators()
        self.assertEqual(record.read_text(encoding="ascii"),
                         f"ombrix-validator 1\nsha256 {hashlib.sha256(product).hexdigest()}\n"
                         f"etag {etag}\nlast-modified {modified}\n")

    def assert_full(self, get: dict, size: int, conditional: bool) -> None:
        self.assertEqual((get["status"], get["body_bytes_sent"]), (200, size))
        etag, modified = self.validators()
        self.assertEqual(bool(get["if_none_match"]), conditional, get)
        self.assertEqual(bool(get["if_modified_since"]), conditional, get)
        self.assertNotEqual(get["if_none_match"], etag)

    def assert_quiet(self, get: dict) -> None:
        etag, modified = self.validators()
        self.assertEqual((get["status"], get["body_bytes_sent"]), (304, 0))
        self.assertEqual((get["if_none_match"], get["if_modified_since"]), (etag, modified))
        self.assertLessEqual(get["request_length"] + get["bytes_sent"], 1024)

    def test_nothing_new_downloads_nothing(self):
        folder = self.program_folder()
        record = folder / "download" / "ombrix.validator"
        product = folder / PRODUCT_NAME

        # The first run knows nothing: an ordinary GET (WinINet adds no condition of its own,
        # and asks past any cache), the product installed and recorded.
        get = self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED)
        self.assert_full(get, len(self.new_product), conditional=False)
        self.assertEqual(get["pragma"], "no-cache")
        self.assertEqual(product.read_bytes(), self.new_product)
        self.assert_recorded(record, self.new_product)

        # Nothing new: no body, nothing closed or written, the record kept.
        running = self.start_product(product)
        kept = record.read_bytes()
        self.assert_quiet(self.update(folder, NEWEST, EXIT_NEWEST))
        self.assertIn(running, self.running(), "the product was closed")
        self.assertEqual(product.read_bytes(), self.new_product)
        self.assertEqual(record.read_bytes(), kept)
        self.assertEqual([p.name for p in (folder / "download").iterdir()], ["ombrix.validator"])

        # A new publication (the same version, other bytes) comes in full and is recorded.
        publication = self.new_product + b"\0publication two" * 4096
        self.publish(publication)
        self.assert_full(self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED),
                         len(publication), conditional=True)
        self.assertEqual(product.read_bytes(), publication)
        self.assert_recorded(record, publication)

        # An older product put back by hand is not the recorded one: updated, not "newest".
        product.write_bytes(self.old_product)
        self.assert_full(self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED),
                         len(publication), conditional=False)
        self.assertEqual(product.read_bytes(), publication)

        # A damaged record: the whole body again, found to be the installed bytes, recorded
        # afresh; then the runs are quiet again.
        damaged = bytearray(record.read_bytes())
        damaged[30] ^= 0x01
        record.write_bytes(bytes(damaged))
        self.assert_full(self.update(folder, NEWEST, EXIT_NEWEST), len(publication),
                         conditional=False)
        self.assert_recorded(record, publication)
        self.assert_quiet(self.update(folder, NEWEST, EXIT_NEWEST))
        self.assertEqual(product.read_bytes(), publication)


if __name__ == "__main__":
    unittest.main(verbosity=2)
