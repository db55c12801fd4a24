#!/usr/bin/env python3
"""Update.exe built with release keys (the Windows tree named by $OMBRIX_WIN_SIGNED_BUILD_DIR,
keys made at test time by make_release_keys.sh in its test-keys/) installs a release only when
the server also holds `<update URL>.sig` signing it under one of those keys, the current or the
backup one. An unknown key, no signature, a signature of other bytes, a byte appended after
signing and a 20 MB signature are each refused before anything is closed: the running product
stays as it was and the download is removed. The releases are signed with
scripts/sign-release.sh, as the vendor signs them."""

# ctest-timeout: 600

import http.server
import os
import pathlib
import shutil
import subprocess
import tempfile
import threading
import unittest
import urllib.parse
from typing import Dict, Optional

import build_info
import harness
from update_run import (EXIT_FAILED, EXIT_INSTALLED, PRODUCT_NAME, RELAUNCH_QUESTION,
                        UpdateTestCase, product_running, start_product_in)

BAD_SIGNATURE = "下载的文件签名无效，升级未完成！"
SIGNED_TREE = "OMBRIX_WIN_SIGNED_BUILD_DIR"
SOURCE = pathlib.Path(__file__).resolve().parents[2]


def signed_tree() -> Optional[pathlib.Path]:
    value = os.environ.get(SIGNED_TREE)
    return pathlib.Path(value).resolve() if value else None


class ReleaseServer:
    """A plain file server on 127.0.0.1 holding a release and, if given, its signature at the
    update URL's path + ".sig"."""

    def __init__(self, port: int, path: str, files: Dict[str, bytes]):
        self.files = {path + suffix: body for suffix, body in files.items()}
        self.requests = []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                owner.requests.append(self.path)
                body = owner.files.get(self.path)
                if body is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    for at in range(0, len(body), 64 * 1024):
                        self.wfile.write(body[at:at + 64 * 1024])
                except OSError:
                    pass  # the client stopped reading

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.server.daemon_threads = True

    def __enter__(self):
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


@unittest.skipIf(signed_tree() is None, f"${SIGNED_TREE} names no Windows tree built with keys")
class ReleaseSignature(UpdateTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        tree = signed_tree()
        cls.update_exe = tree / "apps" / "Update.exe"
        cls.keys = tree / "test-keys"
        if not cls.update_exe.is_file() or not (cls.keys / "release-keys.pem").is_file():
            raise harness.HarnessError(f"not built with test keys: {tree}")
        url = urllib.parse.urlsplit(build_info.update_url(tree))
        cls.port, cls.path = url.port, url.path
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="release-signature-", dir=cls.s.tmp))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def signature(self, key: str, body: bytes) -> bytes:
        """`body`'s signature as the vendor makes it, with the test key `key`."""
        release = self.work / f"release-{key}"
        release.write_bytes(body)
        subprocess.run(["bash", str(SOURCE / "scripts/sign-release.sh"),
                        str(self.keys / f"{key}.pem"), str(release)],
                       check=True, stdout=subprocess.DEVNULL)
        return pathlib.Path(str(release) + ".sig").read_bytes()

    def update(self, release: bytes, signature: Optional[bytes]):
        """One run with the old product running; its box, exit code, the server and the
        folder."""
        folder = self.program_folder(updater=False)
        shutil.copy(self.update_exe, folder / "Update.exe")
        product, self.product_pid = start_product_in(self.s, folder)
        self.addCleanup(harness.wait_popen, product, 10)
        files = {"": release} if signature is None else {"": release, ".sig": signature}
        with ReleaseServer(self.port, self.path, files) as server:
            run = self.start_update(folder)
            box = run.box(caption=None, timeout_ms=45000)
            run.answer("no" if box["text"] == RELAUNCH_QUESTION else "ok")
            code = run.exit_code()
        return box, code, server, folder

    def test_signed_by_a_built_in_key_installs(self):
        for key in ("current", "backup"):
            with self.case(key):
                box, code, server, folder = self.update(
                    self.new_product, self.signature(key, self.new_product))
                self.assertEqual((box["text"], code), (RELAUNCH_QUESTION, EXIT_INSTALLED))
                self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
                self.assertEqual(server.requests, [self.path, self.path + ".sig"])

    def test_anything_else_is_refused_before_anything_is_closed(self):
        new = self.new_product
        cases = {
            "unknown key": (new, lambda: self.signature("other", new)),
            "no signature": (new, lambda: None),
            "signature of other bytes": (new, lambda: self.signature("current", self.old_product)),
            "a byte appended after signing": (new + b"\0", lambda: self.signature("current", new)),
            "a 20 MB signature": (new, lambda: os.urandom(20 * 1024 * 1024)),
        }
        for name, (release, signature) in cases.items():
            with self.case(name):
                sig = signature()
                box, code, server, folder = self.update(release, sig)
                self.assertEqual((box["text"], box["caption"], code),
                                 (BAD_SIGNATURE, "提示：", EXIT_FAILED))
                self.assert_product_untouched(folder)
                self.assertTrue(product_running(self.s, self.product_pid), "the product closed")
                self.assertFalse((folder / "ombrix").exists(), "the download was kept")
                self.assertEqual(server.requests, [self.path, self.path + ".sig"])


if __name__ == "__main__":
    if signed_tree() is None or not (signed_tree() / "apps" / "Update.exe").is_file():
        raise SystemExit(77)
    unittest.main(verbosity=2)
