#!/usr/bin/env python3
"""The Win32 platform services under Wine: platform_tests.exe checks the file, process and
transfer services against the real Windows API, the transfer against local test servers (the
shared one in each of its modes, a late reset and an https server), and must report no failed
check. It also prints transfer timings (OMBRIX_BENCH_MIB sets the body size; nothing is
asserted about them)."""
# ctest-timeout: 300

import contextlib
import http.server
import os
import re
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import unittest

import harness
from http_server import TestServer, UPDATE_PATH

PROGRAM = "tests/platform/platform_tests.exe"
BODY_SIZE = 1024 * 1024 + 123  # more than the component's ring, not a multiple of a chunk
DRIP_SIZE = 32 * 1024  # 1 KiB every 50 ms: about 1.6 s
BENCH_MIB = int(os.environ.get("OMBRIX_BENCH_MIB", "16"))


def unused_port() -> int:
    """A loopback port with nothing listening: connections to it are refused."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_random(path, size: int) -> bytes:
    data = os.urandom(size)
    path.write_bytes(data)
    return data


class LateResetServer:
    """Sends the headers and the first half of the body, waits, then resets the connection
    (RST), so that the reset meets a reader that is waiting for more. (Reset at once, the
    reset can overtake the data under Wine, and then even the headers are lost.)"""

    def __init__(self, body: bytes):
        self.body = body
        self.sock = socket.create_server(("127.0.0.1", 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stopping.set()
        self.thread.join(timeout=5)
        self.sock.close()

    def url(self) -> str:
        return f"http://127.0.0.1:{self.port}{UPDATE_PATH}"

    def serve(self):
        while not self.stopping.is_set():
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            with conn:
                conn.recv(65536)
                head = (f"HTTP/1.1 200 OK\r\nContent-Length: {len(self.body)}\r\n"
                        "Connection: close\r\n\r\n").encode()
                conn.sendall(head + self.body[:len(self.body) // 2])
                self.stopping.wait(0.5)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


class HttpsServer:
    """https on localhost with a self-signed certificate of its own (`der`, to trust it): the
    body at any path, and at /redirect a redirect to `plain_url` (plain http)."""

    def __init__(self, folder, name: str, body: bytes, plain_url: str):
        self.cert = folder / (name + ".pem")
        self.key = folder / (name + ".key")
        self.der = folder / (name + ".der")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                        "-keyout", str(self.key), "-out", str(self.cert)],
                       check=True, capture_output=True, timeout=60)
        subprocess.run(["openssl", "x509", "-in", str(self.cert), "-outform", "der", "-out",
                        str(self.der)], check=True, capture_output=True, timeout=60)

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                if self.path == "/redirect":
                    self.send_response(302)
                    self.send_header("Location", plain_url)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert, self.key)
        self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)
        self.port = self.httpd.server_address[1]

    def __enter__(self):
        threading.Thread(target=self.httpd.serve_forever, kwargs={"poll_interval": 0.1},
                         daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()

    def url(self, path: str = UPDATE_PATH) -> str:
        # By name: WinINet checks the certificate against a host name, not an address.
        return f"https://localhost:{self.port}{path}"


class PlatformServices(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.require_programs(PROGRAM)
        cls.session = harness.session()
        cls.work = cls.session.program_folder("platform 测试")
        cls.body = cls.work / "body.bin"
        cls.drip = cls.work / "drip.bin"
        cls.bench = cls.work / "bench.bin"
        cls.body_data = write_random(cls.body, BODY_SIZE)
        cls.drip_data = write_random(cls.drip, DRIP_SIZE)
        write_random(cls.bench, BENCH_MIB << 20)

    def test_every_check_passes_under_wine(self):
        win = harness.to_windows_path
        modes = {
            "normal": dict(mode="normal"),
            "long": dict(mode="long"),
            "status": dict(mode="status", status=404),
            "drip": dict(mode="drip", file=self.drip, drip_bytes=1024, drip_interval=0.05),
            "stall": dict(mode="stall"),
            "delayed": dict(mode="normal", delay=2),
            "bench": dict(mode="normal", file=self.bench),
        }
        started = time.monotonic()
        with contextlib.ExitStack() as stack:
            running = {}
            for name, options in modes.items():
                options = dict(options)
                body = options.pop("file", self.body)
                running[name] = stack.enter_context(
                    TestServer(body, log_dir=self.work, lifetime=240, **options))
            reset = stack.enter_context(LateResetServer(self.body_data))
            plain = stack.enter_context(TestServer(self.drip, log_dir=self.work, lifetime=240))
            https = stack.enter_context(
                HttpsServer(self.work, "trusted", self.drip_data, plain.url()))
            untrusted = stack.enter_context(
                HttpsServer(self.work, "untrusted", self.drip_data, plain.url()))
            args = ["--work", win(self.work / "scratch"), "--body", win(self.body),
                    "--drip-body", win(self.drip),
                    "--refused", f"http://127.0.0.1:{unused_port()}{UPDATE_PATH}",
                    "--reset", reset.url(),
                    "--https", https.url(), "--https-redirect", https.url("/redirect"),
                    "--https-untrusted", untrusted.url(),
                    "--tls-cert", win(https.der)]
            for name, server in running.items():
                args += ["--" + name, server.url()]
            result = self.session.run_exe(harness.tool(PROGRAM), args, timeout=240)
            requests = {name: len(server.requests()) for name, server in running.items()}
        output = result.stdout.replace("\r\n", "\n")  # the program writes in text mode
        print(output, end="")
        sys.stderr.write(result.stderr)
        print(f"platform_tests.exe ran {time.monotonic() - started:.1f} s")

        summary = re.search(r"^(\d+) passed, (\d+) failed$", output, re.MULTILINE)
        self.assertIsNotNone(summary, "the program ended before its summary")
        failures = [line for line in output.splitlines() if line.startswith("FAILED")]
        self.assertEqual(failures, [])
        self.assertEqual(int(summary.group(2)), 0)
        self.assertGreater(int(summary.group(1)), 100)
        self.assertEqual(result.code, 0)
        # Every case really went to the network, once (the unknown operation sends nothing).
        # The cancel before the response may come before or after its request went out.
        self.assertEqual(requests["normal"], 1)
        self.assertIn(requests["delayed"], (0, 1))
        self.assertEqual(requests["drip"], 2)
        self.assertEqual(requests["bench"], 3)
        for name in ("long", "status", "stall"):
            self.assertEqual(requests[name], 1, name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
