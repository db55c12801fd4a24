#!/usr/bin/env python3
"""The test machinery itself: the HTTP server's fault modes (on Linux, with urllib and raw
sockets), and under Wine the fake product, the automation tool and the harness's process
handling. If these fail, no other end-to-end result means anything."""

import http.client
import os
import pathlib
import shutil
import socket
import threading
import time
import unittest
import urllib.error
import urllib.request

import design
import harness
from http_server import TestServer

BODY_SIZE = 5000
SAMPLE_CAPTION = design.SAMPLE_CAPTION
_ids = design.SAMPLE_CONTROLS
CANCEL, PATH_FIELD, PANEL, PROGRESS, HIDDEN_NAME, STATUS, MARQUEE = (_ids[n] for n in (
    "Cancel", "PathField", "Panel", "Progress", "HiddenName", "Status", "Marquee"))


def raw_get(port: int, path: str = "/soft/updates/ombrix/ombrix"):
    """(header text, body bytes, error) of one GET read to the end of the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        sock.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
        data, error = b"", None
        try:
            while True:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                data += chunk
        except ConnectionResetError as reset:
            error = reset
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), body, error


class HttpServerModes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = harness.state_dir() / "http-modes"
        cls.dir.mkdir(exist_ok=True)
        cls.body = cls.dir / "body.bin"
        cls.data = b"MZ" + os.urandom(BODY_SIZE - 2)
        cls.body.write_bytes(cls.data)

    def server(self, mode, **options):
        return TestServer(self.body, mode=mode, log_dir=self.dir, **options)

    def test_normal_serves_the_file_at_any_path_and_logs_each_request(self):
        with self.server("normal") as server:
            with urllib.request.urlopen(server.url(), timeout=10) as response:
                self.assertEqual(response.status, 200)
                self.assertEqual(response.headers["Content-Length"], str(BODY_SIZE))
                self.assertEqual(response.read(), self.data)
            with urllib.request.urlopen(server.url("/elsewhere?q=1"), timeout=10) as response:
                self.assertEqual(response.read(), self.data)
            paths = [r["path"] for r in server.requests()]
        self.assertEqual(paths, ["/soft/updates/ombrix/ombrix", "/elsewhere?q=1"])

    def test_no_length_ends_the_body_by_closing(self):
        with self.server("no-length") as server:
            head, body, error = raw_get(server.port)
        self.assertNotIn("content-length", head.lower())
        self.assertEqual((body, error), (self.data, None))

    def test_short_announces_more_than_it_sends_then_closes(self):
        with self.server("short", sent=1500) as server:
            head, body, error = raw_get(server.port)
            with urllib.request.urlopen(server.url(), timeout=10) as response:
                with self.assertRaises(http.client.IncompleteRead):
                    response.read()
        self.assertIn(f"Content-Length: {BODY_SIZE}", head)
        self.assertEqual((body, error), (self.data[:1500], None))

    def test_reset_breaks_the_connection_mid_body(self):
        with self.server("reset", sent=1500) as server:
            head, body, error = raw_get(server.port)
        self.assertIn(f"Content-Length: {BODY_SIZE}", head)
        self.assertIsInstance(error, ConnectionResetError)
        self.assertLess(len(body), BODY_SIZE)

    def test_status_answers_with_an_error_page(self):
        for status in (404, 500):
            with self.server("status", status=status) as server:
                with self.assertRaises(urllib.error.HTTPError) as caught:
                    urllib.request.urlopen(server.url(), timeout=10)
                self.assertEqual(caught.exception.code, status)
                self.assertIn(str(status).encode(), caught.exception.read())

    def test_not_program_answers_200_with_a_page(self):
        with self.server("not-program") as server:
            with urllib.request.urlopen(server.url(), timeout=10) as response:
                self.assertEqual(response.status, 200)
                page = response.read()
        self.assertTrue(page.startswith(b"<!DOCTYPE html>"))
        self.assertFalse(page.startswith(b"MZ"))

    def test_drip_spreads_the_body_over_time(self):
        with self.server("drip", drip_bytes=1000, drip_interval=0.2) as server:
            started = time.monotonic()
            with urllib.request.urlopen(server.url(), timeout=10) as response:
                self.assertEqual(response.read(), self.data)
            elapsed = time.monotonic() - started
        self.assertGreaterEqual(elapsed, 0.75)  # five slices, four pauses of 0.2 s

    def test_long_sends_more_than_it_announces(self):
        with self.server("long", announce=1000) as server:
            head, body, error = raw_get(server.port)
        self.assertIn("Content-Length: 1000", head)
        self.assertEqual((body, error), (self.data, None))

    def test_stops_by_itself_and_then_refuses(self):
        server = self.server("normal", lifetime=1)
        with server:
            server.proc.wait(timeout=10)
            self.assertEqual(server.requests(), [])
            self.assertEqual(server.events()[-1]["event"], "stopped")
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(("127.0.0.1", server.port), timeout=5).close()


class RegistryExportParsing(unittest.TestCase):
    """The Brevik checks read data through this parser; a slip here would hide real faults."""

    EXPORT = "\r\n".join([
        "Windows Registry Editor Version 5.00",
        "",
        r"[HKEY_CLASSES_ROOT\OBX\shell\open\command]",
        r'@="\"Z:\\a b\\Ombrix.exe\" %1"',
        "",
        r"[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]",
        '"Shell Icon Size"=hex(1):33,00,\\',
        "  32,00",
        r'"Count"=dword:0000002a',
        r'"Name \"quoted\""="OBX文档"',
        r'"Blob"=hex:01,02,ff',
        "",
    ])

    def test_values_of_every_kind(self):
        keys = harness.parse_reg_export(self.EXPORT)
        self.assertEqual(keys[r"HKEY_CLASSES_ROOT\OBX\shell\open\command"],
                         {"": harness.RegValue(harness.REG_SZ, '"Z:\\a b\\Ombrix.exe" %1')})
        metrics = keys[r"HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics"]
        self.assertEqual(metrics["Shell Icon Size"], harness.RegValue(1, "32".encode("utf-16-le")))
        self.assertEqual(metrics["Count"], harness.RegValue(harness.REG_DWORD, 42))
        self.assertEqual(metrics['Name "quoted"'], harness.RegValue(harness.REG_SZ, "OBX文档"))
        self.assertEqual(metrics["Blob"], harness.RegValue(harness.REG_BINARY, b"\x01\x02\xff"))

    def test_written_files_read_back(self):
        text = harness.reg_file_text({r"HKEY_CURRENT_USER\Software\Test": {
            "": '"a\\\\b"', "List": harness.reg_multi_sz("x", "宋体")}})
        values = harness.parse_reg_export(text)[r"HKEY_CURRENT_USER\Software\Test"]
        self.assertEqual(values[""], harness.RegValue(harness.REG_SZ, "a\\b"))
        self.assertEqual(values["List"].data.decode("utf-16-le"), "x\0宋体\0\0")

    def test_windows_paths(self):
        self.assertEqual(harness.to_windows_path("/work/a b/文档.obx"), r"Z:\work\a b\文档.obx")
        self.assertEqual(harness.to_linux_path(r"Z:\work\a b"), pathlib.Path("/work/a b"))
        self.assertEqual(harness.to_linux_path(r"C:\windows", pathlib.Path("/p")),
                         pathlib.Path("/p/drive_c/windows"))


class UnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.session()

    def product_folder(self, version="old"):
        folder = self.s.program_folder()
        shutil.copy(harness.tool(f"tools/product-{version}/Ombrix.exe"), folder / "Ombrix.exe")
        return folder

    def log_lines(self, folder, count, timeout=15):
        def ready():
            log = folder / "product.log"
            lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
            return lines if len(lines) >= count else None
        return [line.split("\t", 3) for line in harness.wait_until(ready, timeout, "product.log")]

    def test_fake_product_logs_its_raw_command_tail_and_is_terminated(self):
        folder = self.product_folder("old")
        exe = harness.to_windows_path(folder / "Ombrix.exe")
        tail = r'Z:\a folder\文档 1.obx  "quoted part"	tab'
        pid = self.s.automate_one("start", "--cmdline", f'"{exe}"  {tail}')["pid"]
        try:
            (version, logged_pid, program, logged_tail), = self.log_lines(folder, 1)
            self.assertEqual((version, int(logged_pid), program), ("old", pid, f'"{exe}"'))
            self.assertEqual(logged_tail, tail)
            listed = [(p["name"], p["path"]) for p in self.s.processes() if p["pid"] == pid]
            self.assertEqual(listed, [("Ombrix.exe", exe)])
        finally:
            self.s.terminate(pid)
        self.assertEqual(self.s.processes("ombrix.exe"), [])

    def test_background_start_and_kill_by_name(self):
        folder = self.product_folder("new")
        proc = self.s.start(folder / "Ombrix.exe", ["one", "two words"])
        try:
            (version, pid, _, tail), = self.log_lines(folder, 1)
            self.assertEqual((version, tail), ("new", 'one "two words"'))
        finally:
            killed = self.s.kill_all("OMBRIX.EXE")
        self.assertEqual(killed, [int(pid)])
        harness.wait_popen(proc, 10)

    def script(self, text: str) -> str:
        # Wine's script host reads plain ASCII scripts only.
        path = self.s.tmp / f"box-{time.monotonic_ns()}.vbs"
        path.write_text(text.replace("\n", "\r\n"), encoding="ascii")
        return harness.to_windows_path(path)

    def test_message_box_is_read_and_answered(self):
        script = self.script('r = MsgBox("Ombrix is running", 4 + 64, "update")\n'
                             'WScript.Quit r\n')
        proc = self.s.start("wscript", ["//nologo", script])
        try:
            box = self.s.automate_one("msgbox", "--timeout", 20000)
            self.assertEqual((box["caption"], box["text"], box["icon"]),
                             ("update", "Ombrix is running", True))
            self.assertEqual([b["id"] for b in box["buttons"]], [6, 7])
            self.assertEqual(self.s.automate_one("click", "--button", "yes")["clicked"], 6)
            self.assertEqual(harness.wait_popen(proc, 15), 6)
        finally:
            if proc.poll() is None:
                self.s.kill_all("wscript.exe")

    def test_run_reports_the_windows_a_program_showed(self):
        script = self.script('r = MsgBox("plain", 0, "t")\nWScript.Quit r\n')
        wscript = self.s.to_linux(r"C:\windows\system32\wscript.exe")
        self.assertTrue(wscript.exists())
        answer = threading.Thread(target=lambda: self.s.automate(
            "click", "--button", "ok", "--caption", "t", "--timeout", 20000, check=False))
        answer.start()
        run = self.s.automate_one("run", "--cmdline",
                                  rf'C:\windows\system32\wscript.exe //nologo "{script}"',
                                  "--timeout", 30000)
        answer.join(30)
        self.assertEqual(run["exit_code"], 1)
        boxes = [w for w in run["windows"] if w["class"] == "#32770"]
        self.assertEqual([(w["caption"], w["ever_visible"]) for w in boxes], [("t", True)])

    def test_controls_at_any_depth_are_read(self):
        proc = self.s.start(harness.tool("tools/sample_window.exe"))
        try:
            window = ["--caption", SAMPLE_CAPTION, "--size", "340x100"]
            shown = self.s.automate_one("wait-window", *window, "--visible")
            self.assertEqual(shown["rect"], {"left": 211, "top": 218, "width": 340, "height": 100})
            children = {c["id"]: c for c in self.s.automate("children", *window)}
            self.assertEqual(children[PROGRESS]["parent_id"], PANEL)
            self.assertEqual(children[PROGRESS]["place"],
                             {"left": 16, "top": 48, "width": 305, "height": 17})
            hidden = children[HIDDEN_NAME]
            self.assertEqual((hidden["text"], hidden["visible"]), ("ombrix", False))
            status = self.s.automate_one("text", *window, "--id", STATUS)
            self.assertEqual(status["text"], "正在下载所需文件，请耐心等待 ......")
            bar = self.s.automate_one("progress", *window, "--id", PROGRESS)
            self.assertEqual((bar["min"], bar["max"], bar["pos"], bar["marquee"]),
                             (0, 5000000, 1500000, False))
            self.assertTrue(self.s.automate_one("progress", *window, "--id", MARQUEE)["marquee"])
        finally:
            self.s.kill_all("sample_window.exe")
        harness.wait_popen(proc, 10)

    def test_user_actions_reach_the_window(self):
        proc = self.s.start(harness.tool("tools/sample_window.exe"))
        try:
            window = ["--caption", SAMPLE_CAPTION, "--size", "340x100"]
            self.s.automate("wait-window", *window, "--visible")
            self.assertEqual(self.s.automate_one("focus", *window)["focus"]["id"], PATH_FIELD)
            self.s.automate("type", *window, "--text", "Z:\\升级")
            # The caret stands at the start of the field after SetFocus.
            self.assertEqual(self.s.automate_one("text", *window, "--id", PATH_FIELD)["text"],
                             "Z:\\升级.\\")
            self.s.automate("key", *window, "tab")
            self.assertEqual(self.s.automate_one("focus", *window)["focus"]["id"], CANCEL)

            self.s.automate("mouse", "click", *window, "--id", PANEL, "--button", "right",
                            "--x", 100, "--y", 10)
            self.s.automate("wait-text", *window, "--id", STATUS, "--equals", "右键")
            self.s.automate("drag", *window, "--id", PANEL, "--x", 100, "--y", 10, "--dx", 30,
                            "--dy", -20)
            moved = self.s.automate_one("rect", *window)["rect"]
            self.assertEqual((moved["left"], moved["top"]), (241, 198))

            self.s.automate("post-click", *window, "--id", CANCEL)
            box = self.s.automate_one("msgbox")
            self.assertEqual((box["caption"], box["text"], box["owner_caption"], box["icon"]),
                             ("提示：", "你确定要退出吗？", SAMPLE_CAPTION, True))
            self.s.automate("click", "--button", "no")
            self.s.automate("wait-text", *window, "--id", STATUS, "--equals", "否")
        finally:
            self.s.kill_all("sample_window.exe")
        harness.wait_popen(proc, 10)
        self.assertEqual(self.s.automate_one("wait-gone", "--caption", SAMPLE_CAPTION),
                         {"gone": True})

    def test_held_file_cannot_be_replaced_until_released(self):
        folder = self.s.program_folder()
        (folder / "new").write_bytes(b"new")
        (folder / "held").write_bytes(b"old")
        copy = ["cmd", "/c", "copy", "/y", harness.to_windows_path(folder / "new"),
                harness.to_windows_path(folder / "held")]
        holder = self.s.start(harness.tool("tools/automate.exe"),
                              ["hold-file", harness.to_windows_path(folder / "held")])
        try:
            harness.wait_until(lambda: '"held"' in holder.output_path.read_text(), 10,
                               "the file to be held")
            self.assertNotEqual(self.s.wine(copy).code, 0)
            self.assertEqual((folder / "held").read_bytes(), b"old")
        finally:
            holder.kill()
            holder.wait(10)
        harness.wait_until(lambda: self.s.wine(copy).code == 0, 10, "the copy to succeed")
        self.assertEqual((folder / "held").read_bytes(), b"new")

    def test_registry_values_byte_for_byte(self):
        key = r"HKCU\Software\Ombrix E2E 测试"
        try:
            # Two bytes and no terminating zero: what reg add and reg import cannot store.
            self.s.reg_set_raw(key, "Shell Icon Size", harness.REG_SZ, b"32")
            self.assertEqual(self.s.reg_raw(key, "Shell Icon Size")["hex"], "3332")
            self.s.reg_set(key, "", "REG_SZ", "OBX文档")
            raw = self.s.reg_raw(key)
            self.assertEqual((raw["type"], raw["text"]), (harness.REG_SZ, "OBX文档\0"))
            self.assertEqual(self.s.reg_value(key), harness.RegValue(harness.REG_SZ, "OBX文档"))
            self.assertIsNone(self.s.reg_raw(key, "absent"))
        finally:
            self.s.reg_delete(key)
        self.assertIsNone(self.s.reg_export(key))

    def test_run_of_a_program_that_does_not_end_is_bounded(self):
        folder = self.product_folder("old")
        exe = harness.to_windows_path(folder / "Ombrix.exe")
        with self.assertRaises(harness.AutomateError) as caught:
            self.s.automate("run", "--cmdline", f'"{exe}" windowless', "--timeout", 1000)
        self.assertEqual(caught.exception.code, 3)
        self.assertEqual(caught.exception.lines[0]["windows"], [])
        self.assertEqual(self.s.kill_all("ombrix.exe"), [caught.exception.lines[0]["pid"]])


if __name__ == "__main__":
    unittest.main(verbosity=2)
