#!/usr/bin/env python3
"""A local HTTP server for the end-to-end tests: serves one file at any path, well or badly.

    python3 http_server.py --port 47631 --file BODY [--mode MODE] [options]

It listens on 127.0.0.1 only and stops by itself after --lifetime seconds. Every event goes as
one JSON line to --log (and stdout): "listening" (with the port, useful with --port 0),
"request" (n, method, path, headers), "response" (status, bytes announced and sent),
"stopped". Modes:

    normal       200, Content-Length, the whole file
    no-length    200 without Content-Length; the body ends when the connection closes
    short        announces the file's length, sends --sent bytes (default half), closes
    reset        like short, then resets the connection (RST) instead of closing it
    status       --status (default 404) with a small HTML page
    not-program  200 with an HTML page instead of the file
    drip         the whole file, --drip-bytes every --drip-interval seconds
    long         announces --announce bytes (default half the file) but sends the whole file
    stall        announces the file's length, sends --sent bytes, then sends nothing more
    redirect     302 to --location
    break-once   the first response breaks off (closes early) after --sent bytes; later ones honour
                 "Range: bytes=N-" with 206 (and If-Range against the file's ETag and date)
    stall-once   likewise, but the first response stalls after --sent bytes instead
    drip-once    likewise, but the first response drips as drip does
    ignore-range the first response breaks off; later ones always send the whole file (200)
    changes      the first response sends part of --first-file, then breaks off; later ones
                 serve --file (another ETag), honouring Range and If-Range
    stall-always every response stalls after --sent bytes of what it announced
    silent       accepts the request and never answers
    endless      200 without Content-Length; the file's first 64 KiB over and over, until the
                 client goes away
    two-lengths  200 with two Content-Length headers, the file's length and one more; the file
    partial      206 with "Content-Range: bytes 0-N/N+1" and the whole file, whatever was asked

The modes from break-once to stall-always send a strong ETag (from the content) and
Last-Modified.

--announce overrides the announced length in every mode that announces one; --delay waits
before the response starts. A refused connection is simply no server. With --tls-cert and
--tls-key it speaks https; a client that refuses the certificate shows as a "tls-failed" event.
"""

import argparse
import email.utils
import hashlib
import json
import os
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler
from typing import List, Optional

MODES = ["normal", "no-length", "short", "reset", "status", "not-program", "drip", "long", "stall",
         "redirect", "break-once", "stall-once", "drip-once", "ignore-range", "changes",
         "stall-always", "silent", "endless", "two-lengths", "partial"]
RESUMING = {"break-once", "stall-once", "drip-once", "ignore-range", "changes", "stall-always"}
DRIPPING = {"drip", "drip-once"}
CHUNK = 64 * 1024
UPDATE_PATH = "/soft/updates/ombrix/ombrix"

ERROR_PAGE = ("<!DOCTYPE html><html><head><title>{code}</title></head>"
              "<body><h1>{code}</h1><p>The update is not available.</p></body></html>")
NOT_PROGRAM_PAGE = ("<!DOCTYPE html><html><head><title>Maintenance</title></head>"
                    "<body><p>The download service is under maintenance.</p></body></html>")


class EventLog:
    def __init__(self, path: Optional[str], echo: bool):
        self._file = open(path, "a", encoding="utf-8") if path else None
        self._echo = echo
        self._lock = threading.Lock()

    def write(self, **event) -> None:
        line = json.dumps(event, ensure_ascii=False)
        with self._lock:
            if self._file:
                self._file.write(line + "\n")
                self._file.flush()
            if self._echo:
                print(line, flush=True)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, options, log: EventLog):
        self.options = options
        self.log = log
        self.count = 0
        self.count_lock = threading.Lock()
        self.stopping = threading.Event()
        self.tls = None
        if options.tls_cert:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(options.tls_cert, options.tls_key)
        super().__init__(("127.0.0.1", options.port), Handler)

    def finish_request(self, request, client_address):
        if self.tls is None:
            return super().finish_request(request, client_address)
        # The handshake runs on the request's own thread, so a client that stalls in it holds
        # up no other.
        try:
            secure = self.tls.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.log.write(event="tls-failed", error=str(error))
            return
        with secure:
            super().finish_request(secure, client_address)

    def next_number(self) -> int:
        with self.count_lock:
            self.count += 1
            return self.count


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server: Server

    def log_message(self, format, *args):  # the event log replaces the default stderr lines
        pass

    def do_GET(self):
        number = self.server.next_number()
        self.server.log.write(event="request", n=number, method=self.command, path=self.path,
                              headers=dict(self.headers.items()))
        options = self.server.options
        if options.delay:
            time.sleep(options.delay)
        if options.mode == "silent":
            self.server.stopping.wait()
            return
        if options.mode in RESUMING:
            status, announced, sent = self.respond_resuming(options, number)
        else:
            status, announced, sent = self.respond(options)
        self.server.log.write(event="response", n=number, mode=options.mode, status=status,
                              announced=announced, sent=sent)

    def do_HEAD(self):
        self.server.log.write(event="request", n=self.server.next_number(), method="HEAD",
                              path=self.path, headers=dict(self.headers.items()))
        self.send_error(405)

    do_POST = do_HEAD

    # --- responses ---

    def respond(self, options):
        size = os.path.getsize(options.file)
        mode = options.mode
        if mode == "status":
            return self.page(options.status, ERROR_PAGE.format(code=options.status))
        if mode == "not-program":
            return self.page(200, NOT_PROGRAM_PAGE)
        if mode == "redirect":
            self.send_response(302)
            self.send_header("Location", options.location)
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return 302, 0, 0
        if mode == "endless":
            return self.endless(options)
        if mode in ("two-lengths", "partial"):
            return self.misframed(options, size)
        default_announce = size // 2 if mode == "long" else size
        announced = default_announce if options.announce is None else options.announce
        limit = size
        if mode in ("short", "reset", "stall"):
            limit = size // 2 if options.sent is None else min(options.sent, size)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "no-length":
            announced = None
        else:
            self.send_header("Content-Length", str(announced))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        sent = self.send_body(options, limit)
        if mode == "reset":
            # SO_LINGER with a zero timeout makes close() send RST instead of FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
        elif mode == "stall":
            self.server.stopping.wait()
        return 200, announced, sent

    def respond_resuming(self, options, number: int):
        """The modes that break off a body and then see what the client asks for next."""
        first = number == 1
        path = options.first_file if options.mode == "changes" and first else options.file
        with open(path, "rb") as f:
            data = f.read()
        etag = '"' + hashlib.sha1(data).hexdigest()[:16] + '"'
        modified = email.utils.formatdate(os.path.getmtime(path), usegmt=True)
        start = 0
        asked = self.headers.get("Range", "")
        condition = self.headers.get("If-Range")
        if (asked.startswith("bytes=") and asked.endswith("-") and options.mode != "ignore-range"
                and condition in (etag, modified)):
            start = int(asked[len("bytes="):-1])
        if start >= len(data) > 0:
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{len(data)}")
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return 416, 0, 0
        status = 206 if start > 0 else 200
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data) - start))
        if start > 0:
            self.send_header("Content-Range", f"bytes {start}-{len(data) - 1}/{len(data)}")
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", modified)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if first and options.mode == "drip-once":
            return status, len(data), self.send_body(options, len(data))
        breaks = first or options.mode == "stall-always"
        rest = data[start:]
        part = rest[:options.sent if options.sent is not None else len(rest) // 2] if breaks \
            else rest
        try:
            self.wfile.write(part)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            return status, len(rest), 0
        if breaks and options.mode in ("stall-once", "stall-always"):
            self.server.stopping.wait()
        elif breaks:
            # An early close, not a reset: under Wine a reset can discard what had arrived.
            self.connection.shutdown(socket.SHUT_RDWR)
        return status, len(rest), len(part)

    def endless(self, options):
        with open(options.file, "rb") as f:
            block = f.read(CHUNK)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        sent = 0
        try:
            while not self.server.stopping.is_set():
                self.wfile.write(block)
                sent += len(block)
        except (BrokenPipeError, ConnectionResetError):
            pass
        return 200, None, sent

    def misframed(self, options, size: int):
        """A response whose framing cannot be trusted to hold the whole file."""
        partial = options.mode == "partial"
        self.send_response(206 if partial else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        if partial:
            self.send_header("Content-Range", f"bytes 0-{size - 1}/{size + 1}")
        else:
            self.send_header("Content-Length", str(size + 1))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        return 206 if partial else 200, size, self.send_body(options, size)

    def page(self, status: int, html: str):
        body = html.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(body)
        return status, len(body), len(body)

    def send_body(self, options, limit: int) -> int:
        step = options.drip_bytes if options.mode in DRIPPING else CHUNK
        sent = 0
        try:
            with open(options.file, "rb") as body:
                while sent < limit:
                    chunk = body.read(min(step, limit - sent))
                    if not chunk:
                        break
                    self.wfile.write(chunk)
                    sent += len(chunk)
                    if options.mode in DRIPPING and sent < limit:
                        if self.server.stopping.wait(options.drip_interval):
                            break
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client went away; the response event tells how far it got
        return sent


def parse_args(argv: List[str]):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, required=True, help="0 picks a free port")
    parser.add_argument("--file", required=True, help="the body to serve")
    parser.add_argument("--mode", choices=MODES, default="normal")
    parser.add_argument("--status", type=int, default=404)
    parser.add_argument("--sent", type=int, help="bytes sent in short, reset and stall modes")
    parser.add_argument("--announce", type=int, help="Content-Length to announce")
    parser.add_argument("--drip-bytes", type=int, default=1024)
    parser.add_argument("--drip-interval", type=float, default=0.1)
    parser.add_argument("--delay", type=float, default=0.0, help="seconds before responding")
    parser.add_argument("--lifetime", type=float, default=120.0, help="seconds until it stops")
    parser.add_argument("--first-file", help="what the changes mode sends first")
    parser.add_argument("--location", help="where the redirect mode sends the client")
    parser.add_argument("--tls-cert", help="PEM certificate (chain): serve https")
    parser.add_argument("--tls-key", help="PEM private key of --tls-cert")
    parser.add_argument("--log", help="file that receives the JSON event lines")
    parser.add_argument("--quiet", action="store_true", help="no event lines on stdout")
    return parser.parse_args(argv)


def main(argv: List[str]) -> int:
    options = parse_args(argv)
    log = EventLog(options.log, echo=not options.quiet)
    server = Server(options, log)
    log.write(event="listening", port=server.server_address[1], pid=os.getpid(),
              mode=options.mode)

    def stop():
        server.stopping.set()
        server.shutdown()

    timer = threading.Timer(options.lifetime, stop)
    timer.daemon = True
    timer.start()
    # shutdown() waits for serve_forever, so it must not run on the thread that serves.
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=stop, daemon=True).start())
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.stopping.set()
        server.server_close()
        log.write(event="stopped", requests=server.count)
    return 0


class TestServer:
    """The server as a subprocess of a test:

        with TestServer(body, mode="short", port=47631, log_dir=tmp) as server:
            ... server.url() ... server.requests() ...
    """

    def __init__(self, body_file, mode: str = "normal", port: int = 0, log_dir=None,
                 lifetime: float = 120, **options):
        self.args = ["--port", str(port), "--file", str(body_file), "--mode", mode,
                     "--lifetime", str(lifetime), "--quiet"]
        for name, value in options.items():
            if value is not None:
                self.args += ["--" + name.replace("_", "-"), str(value)]
        handle, self.log_path = tempfile.mkstemp(prefix="http-", suffix=".log", dir=log_dir)
        os.close(handle)
        self.proc: Optional[subprocess.Popen] = None
        self.port = port

    def __enter__(self):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), *self.args,
                                      "--log", self.log_path], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while True:
            listening = [e for e in self.events() if e["event"] == "listening"]
            if listening:
                self.port = listening[0]["port"]
                return self
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"the test HTTP server did not start: {self.args}")
            time.sleep(0.05)

    def __exit__(self, *exc):
        self.stop()

    def stop(self) -> None:
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)

    def url(self, path: str = UPDATE_PATH) -> str:
        return f"http://127.0.0.1:{self.port}{path}"

    def events(self) -> List[dict]:
        with open(self.log_path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def requests(self) -> List[dict]:
        return [e for e in self.events() if e["event"] == "request"]

    def responses(self) -> List[dict]:
        return [e for e in self.events() if e["event"] == "response"]


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
