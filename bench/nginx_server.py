"""A private nginx on loopback that serves one folder: the neutral server of the download
figures. Its configuration, logs and temporary files stay in its own folder; it runs in the
foreground of its own session and is stopped by its process id. Each request is logged as one
JSON line: its conditions and what went over the wire (`requests()`)."""

import json
import os
import pathlib
import signal
import socket
import subprocess
import time
from typing import Optional

CONFIG = """\
daemon off;
worker_processes 1;
pid {root}/nginx.pid;
error_log {root}/error.log warn;
{user}
events {{
    worker_connections 64;
}}
http {{
    log_format wire escape=json '{{"request":"$request","status":$status,'
        '"request_length":$request_length,"bytes_sent":$bytes_sent,'
        '"body_bytes_sent":$body_bytes_sent,"if_none_match":"$http_if_none_match",'
        '"if_modified_since":"$http_if_modified_since","if_range":"$http_if_range",'
        '"range":"$http_range","pragma":"$http_pragma","cache_control":"$http_cache_control"}}';
    access_log {root}/access.log wire;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 5;
    default_type application/octet-stream;
    client_body_temp_path {root}/tmp/body;
    proxy_temp_path {root}/tmp/proxy;
    fastcgi_temp_path {root}/tmp/fastcgi;
    uwsgi_temp_path {root}/tmp/uwsgi;
    scgi_temp_path {root}/tmp/scgi;
    server {{
        listen 127.0.0.1:{port};
        root {docroot};
        location / {{
            {limit}
        }}
    }}
}}
"""


class NginxError(Exception):
    pass


def port_in_use(port: int) -> bool:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.settimeout(0.5)
        return probe.connect_ex(("127.0.0.1", port)) == 0


class Nginx:
    def __init__(self, root: pathlib.Path, port: int, docroot: pathlib.Path,
                 rate: Optional[str] = None):
        """`rate`, as nginx writes it ("64k"), limits each response's speed."""
        self.root = root
        self.port = port
        self.docroot = docroot
        self.rate = rate
        self.proc = None

    def config_text(self) -> str:
        # Run as root, nginx would hand its workers to "nobody", who may not read the bodies.
        user = "user root;" if os.geteuid() == 0 else ""
        limit = f"limit_rate {self.rate};" if self.rate else ""
        return CONFIG.format(root=self.root, port=self.port, docroot=self.docroot, user=user,
                             limit=limit)

    def start(self, timeout: float = 10) -> None:
        if port_in_use(self.port):
            raise NginxError(f"port {self.port} is taken; set OMBRIX_BENCH_PORT to a free one")
        (self.root / "tmp").mkdir(parents=True, exist_ok=True)
        conf = self.root / "nginx.conf"
        conf.write_text(self.config_text())
        with open(self.root / "nginx.out", "ab") as out:
            self.proc = subprocess.Popen(
                ["nginx", "-p", str(self.root), "-c", str(conf),
                 "-e", str(self.root / "error.log")],
                stdin=subprocess.DEVNULL, stdout=out, stderr=out, start_new_session=True)
        deadline = time.monotonic() + timeout
        while not port_in_use(self.port):
            if self.proc.poll() is not None:
                raise NginxError(f"nginx ended at once; see {self.root / 'error.log'}")
            if time.monotonic() > deadline:
                self.stop()
                raise NginxError(f"nginx did not listen on port {self.port} in {timeout} s")
            time.sleep(0.05)

    def requests(self) -> list:
        """Every request served so far, oldest first (nginx writes each line when it is done)."""
        log = self.root / "access.log"
        if not log.exists():
            return []
        return [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines() if line]

    def stop(self) -> None:
        if self.proc is None or self.proc.poll() is not None:
            return
        # SIGTERM is nginx's fast shutdown: the master ends its workers, then itself.
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(10)
