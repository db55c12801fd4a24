#!/usr/bin/env python3
"""Update.exe installs only what it can trust, end to end under Wine.

Publisher pinning: when the installed Ombrix.exe carries a valid Authenticode signature, a
download signed by another publisher, unsigned, or changed after signing is refused before
anything is terminated; the old product keeps running, byte for byte the same. Certificates and
signatures are made at test time (openssl, osslsigncode) in the session's state folder.

Validity: only a newer Windows program replaces the product. A DLL, an EFI application, a
download with an older version record and the installed bytes again are each refused before
anything is terminated (the last with exit code 4, nothing to do); a signed product that another
program holds open during the check is waited for, and the pin still holds.

https: an updater built with an https update URL (the Windows tree named by
$OMBRIX_WIN_HTTPS_BUILD_DIR, URL https://localhost:PORT/...) installs from a server whose
certificate chains to a root the prefix trusts, and refuses an untrusted, expired or
other-host certificate and a redirect to http without writing anything.
"""
# ctest-timeout: 480

import filecmp
import os
import pathlib
import shutil
import tempfile
import time
import unittest
import urllib.parse
from typing import NamedTuple, Optional

import build_info
import harness
import signing
from http_server import TestServer
from update_run import NOT_A_PROGRAM, RELAUNCH_QUESTION, product_running, start_product_in

NOTICE_TITLE = "提示："
BAD_SIGNATURE = "下载的文件签名无效，升级未完成！"
UNTRUSTED_SERVER = "无法验证升级服务器的证书，升级已取消！"
OLDER_VERSION = "下载的文件版本低于已安装的版本，升级未完成！"
ALREADY_NEWEST = "当前已是最新版本，无需升级！"
HTTPS_TREE = "OMBRIX_WIN_HTTPS_BUILD_DIR"
UPDATE_PATH = "/soft/updates/ombrix/ombrix"

SUBJECT_A = "/C=CN/O=Publisher A Ltd/CN=Publisher A"
SUBJECT_B = "/C=CN/O=Publisher B Ltd/CN=Publisher B"


class Fixtures:
    """The certificates and the signed programs, made once for the whole script."""

    def __init__(self, folder: pathlib.Path):
        self.folder = folder
        certs = signing.CertificateMaker(folder / "certificates")
        # Code signing under a private authority that the prefix does not trust, as a vendor's
        # own would be; trust_code_root() makes it trusted for the tests that need that.
        self.code_root = certs.authority("code-root", "/CN=Ombrix Test Code Signing Root")
        a = certs.issued("publisher-a", SUBJECT_A, self.code_root, "code")
        a_renewed = certs.issued("publisher-a-renewed", SUBJECT_A, self.code_root, "code")
        b = certs.issued("publisher-b", SUBJECT_B, self.code_root, "code")
        # Claims publisher A's name, but nobody vouches for it.
        impostor = certs.self_signed("impostor-a", SUBJECT_A, "code")

        programs = folder / "programs"
        programs.mkdir()
        old = harness.tool("tools/product-old/Ombrix.exe")
        new = harness.tool("tools/product-new/Ombrix.exe")
        self.old_unsigned = old
        self.old_by_a = signing.sign(old, programs / "old-a.exe", a)
        self.new_unsigned = new
        self.new_by_a = signing.sign(new, programs / "new-a.exe", a)
        self.new_by_a_renewed = signing.sign(new, programs / "new-a-renewed.exe", a_renewed)
        self.new_by_b = signing.sign(new, programs / "new-b.exe", b)
        self.new_by_impostor = signing.sign(new, programs / "new-impostor.exe", impostor)
        self.new_by_a_tampered = signing.tampered(self.new_by_a, programs / "new-a-changed.exe")

        # Servers for "localhost": trusted while the https tests run, and three that never are.
        self.server_root = certs.authority("server-root", "/CN=Ombrix Test Server Root")
        self.server = certs.issued("server", "/CN=localhost", self.server_root, "server",
                                   host="localhost")
        self.other_host = certs.issued("other-host", "/CN=updates.example.net",
                                       self.server_root, "server", host="updates.example.net")
        self.expired = certs.issued("expired", "/CN=localhost", self.server_root, "server",
                                    host="localhost", days=-1)
        self.self_signed_server = certs.self_signed("self-signed-server", "/CN=localhost",
                                                    "server", host="localhost")


_fixtures: Optional[Fixtures] = None


def fixtures() -> Fixtures:
    global _fixtures
    if _fixtures is None:
        signing.require_tools()
        folder = pathlib.Path(tempfile.mkdtemp(prefix="authenticity-", dir=harness.session().tmp))
        _fixtures = Fixtures(folder)
    return _fixtures


def tearDownModule():
    # The throwaway keys do not outlive the run.
    if _fixtures is not None:
        shutil.rmtree(_fixtures.folder, ignore_errors=True)


class Run(NamedTuple):
    code: int
    box: dict


class UpdateTestCase(unittest.TestCase):
    """One program folder per case: Update.exe, optionally a running old product."""

    update_exe: pathlib.Path
    product = None  # the old product's wine process, while it may run

    @classmethod
    def setUpClass(cls):
        cls.s = harness.session()
        cls.f = fixtures()

    def tearDown(self):
        self.s.kill_all("Update.exe")
        self.s.kill_all("Ombrix.exe")
        if self.product is not None:
            harness.wait_popen(self.product, 10)
            self.product = None

    def install(self, product: Optional[pathlib.Path]) -> pathlib.Path:
        """A program folder with Update.exe and, when given, `product` as the running
        Ombrix.exe."""
        self.folder = self.s.program_folder()
        shutil.copy(self.update_exe, self.folder / "Update.exe")
        self.product_pid = None
        if product is not None:
            shutil.copy(product, self.folder / "Ombrix.exe")
            self.product, self.product_pid = start_product_in(self.s, self.folder)
        return self.folder

    def run_update(self) -> Run:
        """Runs Update.exe to its first message box, answers it (No to the relaunch question)
        and waits for the exit code."""
        update = self.s.start(self.folder / "Update.exe")
        try:
            box = self.s.automate_one("msgbox", "--timeout", 45000, timeout=60)
            answer = "no" if box["text"] == RELAUNCH_QUESTION else "ok"
            self.s.automate("click", "--button", answer, "--timeout", 5000)
            return Run(harness.wait_popen(update, 30), box)
        finally:
            if update.poll() is None:
                update.kill()

    def files(self):
        return sorted(p.name for p in self.folder.iterdir())

    def product_running(self) -> bool:
        return product_running(self.s, self.product_pid)

    def assert_notice(self, run: Run, text: str, code: int = 1):
        box = run.box
        self.assertEqual((box["caption"], box["text"]), (NOTICE_TITLE, text))
        self.assertEqual(([b["name"] for b in box["buttons"]], box["icon"]), (["ok"], True))
        self.assertEqual(run.code, code)

    def assert_installed(self, run: Run, download: pathlib.Path):
        self.assertEqual(run.box["text"], RELAUNCH_QUESTION)
        self.assertEqual(run.code, 0)
        self.assertTrue(filecmp.cmp(self.folder / "Ombrix.exe", download, shallow=False),
                        "Ombrix.exe is not the download")
        self.assertNotIn("ombrix", self.files())
        if self.product_pid is not None:
            self.assertFalse(self.product_running(), "the old product still runs")

    def assert_untouched(self, installed: pathlib.Path):
        """The old product runs on, unchanged, and no download is left behind."""
        self.assertTrue(filecmp.cmp(self.folder / "Ombrix.exe", installed, shallow=False),
                        "Ombrix.exe was changed")
        self.assertEqual(self.files(), ["Ombrix.exe", "Update.exe", "download", "product.log"])
        self.assertEqual(list((self.folder / "download").iterdir()), [])
        self.assertTrue(self.product_running(), "the old product was terminated")


class PinningTestCase(UpdateTestCase):
    """Update.exe built with the loopback http URL; the server offers a signed or unsigned
    new product."""

    update_exe = harness.tool("apps/Update.exe")

    def update_from(self, download: pathlib.Path) -> Run:
        with TestServer(download, port=build_info.update_port(), log_dir=self.s.tmp) as server:
            run = self.run_update()
        self.assertEqual(len(server.requests()), 1)
        return run

    def assert_refused(self, installed: pathlib.Path, download: pathlib.Path):
        self.install(installed)
        run = self.update_from(download)
        self.assert_notice(run, BAD_SIGNATURE)
        self.assert_untouched(installed)


class PublisherPinning(PinningTestCase):
    """The publisher's authority is not trusted here, as with a vendor's own: the pin holds to
    the authority's key."""

    def test_same_publisher_installs(self):
        self.install(self.f.old_by_a)
        self.assert_installed(self.update_from(self.f.new_by_a), self.f.new_by_a)

    def test_renewed_certificate_of_the_same_publisher_installs(self):
        self.install(self.f.old_by_a)
        run = self.update_from(self.f.new_by_a_renewed)
        self.assert_installed(run, self.f.new_by_a_renewed)

    def test_other_publisher_is_refused(self):
        self.assert_refused(self.f.old_by_a, self.f.new_by_b)

    def test_unsigned_download_is_refused(self):
        self.assert_refused(self.f.old_by_a, self.f.new_unsigned)

    def test_download_changed_after_signing_is_refused(self):
        self.assert_refused(self.f.old_by_a, self.f.new_by_a_tampered)

    def test_self_made_certificate_with_the_publishers_name_is_refused(self):
        self.assert_refused(self.f.old_by_a, self.f.new_by_impostor)

    def test_unsigned_product_takes_an_unsigned_download(self):
        self.install(self.f.old_unsigned)
        self.assert_installed(self.update_from(self.f.new_unsigned), self.f.new_unsigned)


class PinningUnderATrustedAuthority(PinningTestCase):
    """The usual case on a customer's machine: the vendor's certificate authority is trusted
    there, and the publisher's name is what the pin compares."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.code_root = harness.to_windows_path(cls.f.code_root.pem)
        trust(cls.s, "add", cls.code_root)

    @classmethod
    def tearDownClass(cls):
        trust(cls.s, "remove", cls.code_root)

    def test_renewed_certificate_of_the_same_publisher_installs(self):
        self.install(self.f.old_by_a)
        run = self.update_from(self.f.new_by_a_renewed)
        self.assert_installed(run, self.f.new_by_a_renewed)

    def test_self_made_certificate_with_the_publishers_name_is_refused(self):
        self.assert_refused(self.f.old_by_a, self.f.new_by_impostor)


class Validity(PinningTestCase):
    """Only a newer Windows program replaces the product (version records: product-old 1.0,
    product-new 2.0)."""

    def test_refused_before_anything_is_terminated(self):
        not_programs = harness.tool("tools/not-programs")
        cases = [("dll", self.f.old_unsigned, not_programs / "library.dll", NOT_A_PROGRAM, 1),
                 ("efi application", self.f.old_unsigned, not_programs / "boot.efi",
                  NOT_A_PROGRAM, 1),
                 ("older version", self.f.new_unsigned, self.f.old_unsigned, OLDER_VERSION, 1),
                 ("the installed bytes", self.f.old_by_a, self.f.old_by_a, ALREADY_NEWEST, 4)]
        for name, installed, download, text, code in cases:
            with self.subTest(name):
                self.install(installed)
                self.assert_notice(self.update_from(download), text, code)
                self.assert_untouched(installed)
                self.tearDown()

    def test_signed_product_held_open_is_waited_for_and_still_pins(self):
        # Held without sharing by another program while the check runs: a pin that gave up on
        # it would let the unsigned download in.
        self.install(None)
        shutil.copy(self.f.old_by_a, self.folder / "Ombrix.exe")
        hold_ms = 6000
        holder = self.s.start(harness.tool("tools/automate.exe"),
                              ["hold-file", harness.to_windows_path(self.folder / "Ombrix.exe"),
                               "--timeout", hold_ms])
        try:
            harness.wait_until(lambda: '"held"' in holder.output_path.read_text(), 10,
                               "the product to be held")
            held_at = time.monotonic()
            run = self.update_from(self.f.new_unsigned)
            answered_after = time.monotonic() - held_at
        finally:
            harness.wait_popen(holder, 20)
        self.assert_notice(run, BAD_SIGNATURE)
        self.assertGreater(answered_after, hold_ms / 1000 - 1)
        self.assertTrue(filecmp.cmp(self.folder / "Ombrix.exe", self.f.old_by_a, shallow=False))
        self.assertEqual(self.files(), ["Ombrix.exe", "Update.exe", "download"])


def trust(session: harness.Session, action: str, certificate: str) -> None:
    result = session.run_exe(harness.tool("tools/trust_root.exe"), [action, certificate])
    if result.code != 0:
        raise harness.HarnessError(f"trust_root {action} failed: {result.stderr}")


def https_tree() -> Optional[pathlib.Path]:
    value = os.environ.get(HTTPS_TREE)
    return pathlib.Path(value).resolve() if value else None


@unittest.skipIf(https_tree() is None, f"${HTTPS_TREE} names no Windows tree built with an "
                                       "https update URL")
class Https(UpdateTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        tree = https_tree()
        cls.update_exe = tree / "apps" / "Update.exe"
        if not cls.update_exe.is_file():
            raise harness.HarnessError(f"not built: {cls.update_exe}")
        url = urllib.parse.urlsplit(build_info.update_url(tree))
        if (url.scheme, url.hostname, url.path) != ("https", "localhost", UPDATE_PATH):
            raise harness.HarnessError(f"{tree} is not built with https://localhost:PORT"
                                       f"{UPDATE_PATH}")
        cls.port = url.port or 443
        cls.server_root = harness.to_windows_path(cls.f.server_root.pem)
        trust(cls.s, "add", cls.server_root)

    @classmethod
    def tearDownClass(cls):
        trust(cls.s, "remove", cls.server_root)

    def serve(self, certificate: signing.Certificate, port: Optional[int] = None,
              **options) -> TestServer:
        return TestServer(self.f.new_unsigned, port=self.port if port is None else port,
                          log_dir=self.s.tmp, tls_cert=certificate.chain,
                          tls_key=certificate.key, **options)

    def test_trusted_server_installs(self):
        self.install(self.f.old_unsigned)
        with self.serve(self.f.server) as server:
            run = self.run_update()
        self.assert_installed(run, self.f.new_unsigned)
        self.assertEqual(len(server.requests()), 1)

    def test_redirect_from_http_to_https_is_followed(self):
        # The updater built with the loopback http URL, sent on to the trusted server.
        self.update_exe = harness.tool("apps/Update.exe")
        self.install(self.f.old_unsigned)
        with self.serve(self.f.server, port=0) as secure:
            target = f"https://localhost:{secure.port}{UPDATE_PATH}"
            with TestServer(self.f.new_unsigned, mode="redirect", location=target,
                            port=build_info.update_port(), log_dir=self.s.tmp):
                run = self.run_update()
        self.assert_installed(run, self.f.new_unsigned)
        self.assertEqual(len(secure.requests()), 1)

    def test_certificate_not_accepted(self):
        for name, certificate in [("untrusted", self.f.self_signed_server),
                                  ("for another host", self.f.other_host),
                                  ("expired", self.f.expired)]:
            with self.subTest(name):
                self.install(self.f.old_unsigned)
                with self.serve(certificate) as server:
                    run = self.run_update()
                self.assert_notice(run, UNTRUSTED_SERVER)
                self.assert_untouched(self.f.old_unsigned)
                self.assertEqual(server.requests(), [], "the request went out")
                self.tearDown()

    def test_redirect_to_http_is_refused(self):
        self.install(self.f.old_unsigned)
        with TestServer(self.f.new_unsigned, log_dir=self.s.tmp) as plain:
            target = f"http://127.0.0.1:{plain.port}{UPDATE_PATH}"
            with self.serve(self.f.server, mode="redirect", location=target):
                run = self.run_update()
        self.assert_notice(run, UNTRUSTED_SERVER)
        self.assert_untouched(self.f.old_unsigned)
        self.assertEqual(plain.requests(), [], "the redirect to http was followed")

    def test_redirect_back_to_https_through_http_is_refused(self):
        # Whoever answers the plain hop could send the updater to any https server.
        self.install(self.f.old_unsigned)
        with self.serve(self.f.server, port=0) as final:
            back = f"https://localhost:{final.port}{UPDATE_PATH}"
            with TestServer(self.f.new_unsigned, mode="redirect", location=back,
                            log_dir=self.s.tmp) as plain:
                target = f"http://127.0.0.1:{plain.port}{UPDATE_PATH}"
                with self.serve(self.f.server, mode="redirect", location=target):
                    run = self.run_update()
        self.assert_notice(run, UNTRUSTED_SERVER)
        self.assert_untouched(self.f.old_unsigned)
        self.assertEqual(final.requests(), [], "the file came after a hop over http")


if __name__ == "__main__":
    harness.require_programs("apps/Update.exe", "tools/trust_root.exe",
                             "tools/product-old/Ombrix.exe", "tools/product-new/Ombrix.exe",
                             "tools/not-programs/library.dll", "tools/not-programs/boot.efi")
    unittest.main(verbosity=2)
