#!/usr/bin/env python3
"""Update.exe built with release keys (the Windows tree named by $OMBRIX_WIN_SIGNED_BUILD_DIR,
keys made at test time by make_release_keys.sh in its test-keys/) against nginx, with releases
published by scripts/release.py as the vendor publishes them. The signed statement alone decides
what is newest: v1 is updated to v2 by a delta (the program is never asked for); the next run
ends at the statement; v1's genuine statement and file, replayed, are refused on v2 without a
change; v3's statement met with v2's file still served is refused, and v3 is installed once its
file is there. A delta that is corrupt or missing, and a product changed by hand (no delta for
its bytes), each cost the whole program in the same run, which installs it. A statement that does
not stand (another key, none, changed after signing, 20 MB) ends the run before the program is
asked for, with the running product untouched."""

# ctest-timeout: 600

import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
from typing import List, Optional

import build_info
import harness
from update_run import (EXIT_FAILED, EXIT_INSTALLED, PRODUCT_NAME, RELAUNCH_QUESTION,
                        UpdateTestCase, product_running, start_product_in)

SOURCE = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "bench"))
sys.path.insert(0, str(SOURCE / "scripts"))
from nginx_server import Nginx  # noqa: E402
import release  # noqa: E402

BAD_SIGNATURE = "下载的文件签名无效，升级未完成！"
NEWEST = "当前已是最新版本，无需升级！"
NOT_NEWER = "服务器上的版本不高于已安装的版本，升级未完成！"
EXIT_NEWEST = 4
SIGNED_TREE = "OMBRIX_WIN_SIGNED_BUILD_DIR"


def signed_tree() -> Optional[pathlib.Path]:
    value = os.environ.get(SIGNED_TREE)
    return pathlib.Path(value).resolve() if value else None


def with_version(program: bytes, major: int) -> bytes:
    """The program with another major file version in its version record (VS_FIXEDFILEINFO)."""
    data = bytearray(program)
    fixed = data.index(b"\xbd\x04\xef\xfe")
    data[fixed + 10:fixed + 12] = major.to_bytes(2, "little")  # dwFileVersionMS, high word
    assert release.file_version(bytes(data))[0] == major
    return bytes(data)


@unittest.skipIf(signed_tree() is None, f"${SIGNED_TREE} names no Windows tree built with keys")
class ReleaseStatement(UpdateTestCase):
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
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="release-statement-", dir=cls.s.tmp))
        cls.v1, cls.v2 = cls.old_product, cls.new_product
        cls.v3 = with_version(cls.v2, 3)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        super().setUp()
        root = pathlib.Path(tempfile.mkdtemp(prefix="nginx-", dir=self.work))
        self.served = root / "www" / self.path.lstrip("/")
        self.served.parent.mkdir(parents=True)
        self.nginx = Nginx(root, self.port, root / "www")
        self.nginx.start()
        self.addCleanup(self.nginx.stop)

    def release(self, program: bytes, key: str = "current",
                previous: List[bytes] = ()) -> pathlib.Path:
        """A release folder made by the vendor's tool (not yet published)."""
        out = pathlib.Path(tempfile.mkdtemp(prefix="release-", dir=self.work))
        new = out.parent / f"{out.name}.exe"
        new.write_bytes(program)
        olds = []
        for number, old in enumerate(previous):
            olds.append(out.parent / f"{out.name}-previous-{number}.exe")
            olds[-1].write_bytes(old)
        args = [str(self.keys / f"{key}.pem"), str(new), str(out / "release")]
        for old in olds:
            args += ["--previous", str(old)]
        subprocess.run([sys.executable, str(SOURCE / "scripts/release.py")] + args, check=True,
                       stdout=subprocess.DEVNULL)
        return out / "release"

    def publish(self, release_folder: pathlib.Path, *names: str) -> None:
        """Copies the named files of a release (`deltas`, `program`, `statement`) beside the
        update URL."""
        for name in names:
            if name == "deltas":
                shutil.rmtree(self.served.parent / "ombrix.delta", ignore_errors=True)
                shutil.copytree(release_folder / "ombrix.delta", self.served.parent / "ombrix.delta")
                continue
            file = {"program": "ombrix", "statement": "ombrix.release"}[name]
            shutil.copy(release_folder / file, self.served.parent / file)

    def delta_path(self, old: bytes) -> str:
        return f"{self.path}.delta/{hashlib.sha256(old).hexdigest()}"

    def folder_with(self, product: bytes) -> pathlib.Path:
        folder = self.program_folder(updater=False)
        shutil.copy(self.update_exe, folder / "Update.exe")
        (folder / PRODUCT_NAME).write_bytes(product)
        return folder

    def update(self, folder: pathlib.Path, expected_box: str, expected_code: int) -> List[dict]:
        """One run to its box and exit code; the requests it made, as nginx logged them."""
        before = len(self.nginx.requests())
        run = self.start_update(folder)
        box = run.box(caption=None, timeout_ms=45000)
        self.assertEqual((box["text"], box["caption"]), (expected_box, "提示："))
        run.answer("no" if expected_box == RELAUNCH_QUESTION else "ok")
        self.assertEqual(run.exit_code(), expected_code)
        self.assertFalse((folder / "ombrix").exists(), "a download was left")
        # nginx logs a request when it is over; one the updater broke off may come a moment later.
        harness.wait_until(lambda: len(self.nginx.requests()) > before, 10, "nginx's log")
        time.sleep(0.5)
        return self.nginx.requests()[before:]

    def paths(self, requests: List[dict]) -> List[str]:
        return [r["request"].split(" ")[1] for r in requests]

    def test_the_signed_statement_decides_what_is_newest(self):
        folder = self.folder_with(self.v1)
        product = folder / PRODUCT_NAME
        # Eight earlier releases, v1 among them, so the statement carries eight delta lines.
        v2 = self.release(self.v2, previous=[self.v1 + bytes(n) for n in range(8)])
        self.assertEqual((v2 / "ombrix.release").read_text().count("\ndelta "), 8)
        self.publish(v2, "deltas", "program", "statement")
        requests = self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED)
        self.assertEqual(self.paths(requests), [self.path + ".release", self.delta_path(self.v1)])
        self.assertLess(requests[1]["body_bytes_sent"], len(self.v2) // 2)
        self.assertEqual(product.read_bytes(), self.v2)

        # Nothing new: the statement alone, in under 2 KiB on the wire.
        running = self.start_product(product)
        requests = self.update(folder, NEWEST, EXIT_NEWEST)
        self.assertEqual(self.paths(requests), [self.path + ".release"])
        self.assertLessEqual(requests[0]["request_length"] + requests[0]["bytes_sent"], 2048)
        self.assertIn(running, self.running(), "the product was closed")
        self.assertEqual(product.read_bytes(), self.v2)
        self.assertEqual(list((folder / "download").iterdir()), [])
        self.end_leftovers()

        # v1's genuine statement and file, served again: refused before any download.
        v1 = self.release(self.v1)
        self.publish(v1, "program", "statement")
        requests = self.update(folder, NOT_NEWER, EXIT_FAILED)
        self.assertEqual(self.paths(requests), [self.path + ".release"])
        self.assertEqual(product.read_bytes(), self.v2)

        # v3's statement (signed with the backup key) before its file: refused, nothing changes;
        # once the file is there, installed.
        v3 = self.release(self.v3, key="backup")
        self.publish(v2, "program")
        self.publish(v3, "statement")
        requests = self.update(folder, BAD_SIGNATURE, EXIT_FAILED)
        self.assertEqual(self.paths(requests), [self.path + ".release", self.path])
        self.assertEqual(product.read_bytes(), self.v2)
        self.publish(v3, "program")
        self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED)
        self.assertEqual(hashlib.sha256(product.read_bytes()).digest(),
                         hashlib.sha256(self.v3).digest())

    def test_a_delta_that_fails_costs_only_the_whole_program(self):
        v2 = self.release(self.v2, previous=[self.v1])
        self.publish(v2, "deltas", "program", "statement")
        delta = self.served.parent / "ombrix.delta" / hashlib.sha256(self.v1).hexdigest()
        whole = [self.path + ".release", self.delta_path(self.v1), self.path]
        cases = {
            "corrupt": (self.v1, lambda: delta.write_bytes(bytes(len(delta.read_bytes()))),
                        whole),
            "missing": (self.v1, lambda: delta.unlink(), whole),
            "a product changed by hand": (self.v1 + b"changed", lambda: None,
                                          [self.path + ".release", self.path]),
        }
        for name, (installed, damage, expected) in cases.items():
            with self.case(name):
                self.publish(v2, "deltas")
                damage()
                folder = self.folder_with(installed)
                requests = self.update(folder, RELAUNCH_QUESTION, EXIT_INSTALLED)
                self.assertEqual(self.paths(requests), expected)
                self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.v2)
                self.assertFalse((folder / "download" / "ombrix.delta").exists())

    def test_a_statement_that_does_not_stand_ends_the_run_at_once(self):
        good = self.release(self.v2)
        statement = (good / "ombrix.release").read_bytes()
        changed = statement.replace(b"version 2.0.0.0", b"version 9.0.0.0")
        cases = {
            "unknown key": (self.release(self.v2, key="other") / "ombrix.release").read_bytes(),
            "none": None,
            "changed after signing": changed,
            "20 MB": os.urandom(20 * 1024 * 1024),
        }
        self.publish(good, "program")
        for name, body in cases.items():
            with self.case(name):
                (self.served.parent / "ombrix.release").unlink(missing_ok=True)
                if body is not None:
                    (self.served.parent / "ombrix.release").write_bytes(body)
                folder = self.folder_with(self.v1)
                _, pid = start_product_in(self.s, folder)
                requests = self.update(folder, BAD_SIGNATURE, EXIT_FAILED)
                self.assertEqual(self.paths(requests), [self.path + ".release"])
                self.assert_product_untouched(folder)
                self.assertTrue(product_running(self.s, pid), "the product closed")


if __name__ == "__main__":
    if signed_tree() is None or not (signed_tree() / "apps" / "Update.exe").is_file():
        raise SystemExit(77)
    unittest.main(verbosity=2)
