#!/usr/bin/env python3
"""Update.exe end to end through the machine's proxy: Debian's squid on loopback, named in the
prefix's Internet Settings. The request goes through it and the update installs; a proxy that
asks for a login is named as such."""

# ctest-timeout: 180

import pathlib
import shutil
import socket
import subprocess
import tempfile
import unittest

import harness
from update_run import (DOWNLOAD_COMPLETE, EXIT_INSTALLED, PRODUCT_NAME, RELAUNCH_QUESTION,
                        UpdateTestCase)

SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
PROXY_LOGIN = "代理服务器需要身份验证，无法连接升级服务器！"
SQUID_PORT = 47641


class Squid:
    """squid in the foreground, in a folder of its own (it runs as the user proxy)."""

    def __init__(self, login: bool):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="squid-"))
        lines = [f"http_port 127.0.0.1:{SQUID_PORT}", f"pid_filename {self.dir}/squid.pid",
                 f"access_log {self.dir}/access.log", f"cache_log {self.dir}/cache.log",
                 "cache deny all", "shutdown_lifetime 0 seconds"]
        if login:
            password = subprocess.run(["openssl", "passwd", "-apr1", "secret"], check=True,
                                      capture_output=True, text=True).stdout.strip()
            (self.dir / "passwords").write_text(f"updater:{password}\n")
            lines += [f"auth_param basic program /usr/lib/squid/basic_ncsa_auth "
                      f"{self.dir}/passwords", "acl login proxy_auth REQUIRED",
                      "http_access allow login"]
        lines += ["http_access allow localhost", "http_access deny all"]
        (self.dir / "squid.conf").write_text("\n".join(lines) + "\n")
        shutil.chown(self.dir, "proxy", "proxy")
        for child in self.dir.iterdir():
            shutil.chown(child, "proxy", "proxy")
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(["squid", "-N", "-f", str(self.dir / "squid.conf")],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

        def listening():
            with socket.socket() as probe:
                return probe.connect_ex(("127.0.0.1", SQUID_PORT)) == 0
        harness.wait_until(listening, 20, "squid to listen")
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=5)
        shutil.rmtree(self.dir, ignore_errors=True)

    def access_log(self) -> str:
        log = self.dir / "access.log"
        return log.read_text() if log.exists() else ""


class ThroughTheProxy(UpdateTestCase):
    def setUp(self):
        super().setUp()
        before = {name: self.s.reg_value(SETTINGS, name) for name in ("ProxyEnable", "ProxyServer")}
        self.s.reg_set(SETTINGS, "ProxyEnable", "REG_DWORD", "1")
        self.s.reg_set(SETTINGS, "ProxyServer", "REG_SZ", f"127.0.0.1:{SQUID_PORT}")
        self.addCleanup(self.restore, before)

    def restore(self, before):
        for name, value in before.items():
            if value is None:
                self.s.reg_delete(SETTINGS, name)
            else:
                kind = {1: "REG_SZ", 4: "REG_DWORD"}[value.type]
                self.s.reg_set(SETTINGS, name, kind, str(value.data))

    def test_the_update_comes_through_the_proxy(self):
        folder = self.program_folder()
        with Squid(login=False) as squid, self.serve("normal") as server:
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(DOWNLOAD_COMPLETE)
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
            self.assertEqual(len(server.requests()), 1)
            # squid writes its log line when the transaction ends.
            harness.wait_until(lambda: "/soft/updates/ombrix/ombrix" in squid.access_log(), 10,
                               "the request in squid's access log")
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)

    def test_a_proxy_that_asks_for_a_login_is_named(self):
        folder = self.program_folder()
        with Squid(login=True) as squid, self.serve("normal") as server:
            run = self.start_update(folder)
            run.wait_window()
            self.assert_failed_run(run, PROXY_LOGIN)
            self.assertEqual(server.requests(), [])
            self.assertIn("407", squid.access_log())
        self.assert_product_untouched(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
