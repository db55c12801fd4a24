#!/usr/bin/env python3
"""Update.exe end to end, the install step losing nothing: the running product is asked to
close before it is forced (one that saves does so, one that refuses is forced within the
bound), a new product that crashes at its start is rolled back and the old one started again (and
when the backup cannot be moved back, the run says so, keeps it, and the next run puts it back), a
short lock on the product executable is waited out, a response that completes while the exit
box is open waits for the answer, a folder whose name differs from the product's path only in
the case of non-ASCII letters is matched, and the session's end during the download removes the
partial file. After each, the program folder holds nothing but its own files."""

# ctest-timeout: 300

import hashlib
import json
import time

import harness
from chrome_support import UserInput
from update_run import (CLOSE1, DOWNLOAD_NAME, EXIT_CANCELLED, EXIT_INSTALLED, PLACES,
                        PRODUCT_NAME, RELAUNCH_QUESTION, UpdateTestCase, held_by, product_log)

ROLLED_BACK = "新版本无法启动，已恢复原来的版本！"
ROLLBACK_FAILED = "新版本无法启动，原来的版本未能恢复，备份保存在："
CANNOT_CONNECT = "暂时无法连接服务器，请稍后再试！"
CLOSING = "正在关闭Ombrix......"
CONFIRM_TITLE = "提示"
OWN_FILES = {"Update.exe", PRODUCT_NAME, "download", "product.log", "product-events.log"}


def events(folder, pid=None):
    log = folder / "product-events.log"
    if not log.exists():
        return []
    lines = [line.split("\t", 1) for line in log.read_text(encoding="utf-8").splitlines()]
    return [event for owner, event in lines if pid is None or int(owner) == pid]


class InstallCare(UpdateTestCase):
    def assert_only_own_files(self, folder, *extra):
        names = {path.name for path in folder.iterdir()}
        self.assertEqual(names - OWN_FILES - set(extra), set(), "left behind in the folder")
        self.assert_download_folder_empty(folder)

    def install_and_answer(self, folder, answer="no", timeout_ms=20000):
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            box = run.box(timeout_ms=timeout_ms)
            self.assertEqual(box["text"], RELAUNCH_QUESTION)
            run.answer(answer)
            return run.exit_code()

    def test_a_product_that_saves_is_asked_and_saves_before_it_is_replaced(self):
        folder = self.program_folder()
        pid = self.start_product(folder / PRODUCT_NAME)
        self.assertEqual(self.install_and_answer(folder), EXIT_INSTALLED)
        self.assertEqual(events(folder, pid), ["query yes", "endsession 1", "saved"])
        self.assertNotIn(pid, self.running())
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assert_only_own_files(folder)

    def test_a_product_that_refuses_is_told_to_go_on_and_forced_within_the_bound(self):
        folder = self.program_folder()
        pid = self.start_product(folder / PRODUCT_NAME, args="refuses")
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(CLOSING)
            started = time.monotonic()
            box = run.box(timeout_ms=40000)
            waited = time.monotonic() - started
            self.assertEqual(box["text"], RELAUNCH_QUESTION)
            self.assertNotIn(pid, self.running())
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
        self.assertEqual(events(folder, pid), ["query no", "endsession 0", "close refused"])
        # 15 s for it to close, then the kill passes and the 3 s of the timer.
        self.assertGreater(waited, 14)
        self.assertLess(waited, 30)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assert_only_own_files(folder)

    def test_a_new_product_that_crashes_at_its_start_is_rolled_back_and_the_old_one_started(self):
        folder = self.program_folder()
        self.start_product(folder / PRODUCT_NAME)
        self.new_product_file = harness.tool("tools/product-crash/Ombrix.exe")
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            run.answer("yes")
            self.assert_failed_run(run, ROLLED_BACK)  # title 提示：, OK, information icon
        self.assert_product_untouched(folder)
        restored = harness.wait_until(
            lambda: [line for line in product_log(folder)[1:] if line.version == "old"], 10,
            "the old product to start again")
        self.assertEqual([line.version for line in product_log(folder)], ["old", "crash", "old"])
        self.assertIn(restored[0].pid, self.running())
        self.assert_only_own_files(folder)

    def test_a_rollback_that_cannot_move_the_backup_back_says_so_and_the_next_run_does(self):
        folder = self.program_folder()
        self.new_product_file = harness.tool("tools/product-crash/Ombrix.exe")
        crash = self.new_product_file.read_bytes()
        backup = folder / "ombrix.exe.update-old"
        record = folder / "download" / "ombrix.rollback"
        with self.serve("normal"):
            run = self.start_update(folder)
            run.wait_window()
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            # The backup is made by now; another program holds it without sharing.
            holder = self.s.start(harness.tool("tools/automate.exe"),
                                  ["hold-file", harness.to_windows_path(backup)])
            held = harness.wait_until(lambda: held_by(holder), 10, "the backup to be held")
            self.extra_pids.append(held["pid"])
            run.answer("yes")
            # Title 提示：, OK, information icon, exit 1, after the retries of the move.
            self.assert_failed_run(run, ROLLBACK_FAILED + harness.to_windows_path(folder) +
                                   "\\ombrix.exe.update-old")
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), crash)
        self.assertEqual(backup.read_bytes(), self.old_product)
        self.assertEqual(record.read_text(encoding="ascii"),
                         f"ombrix-rollback 1\nsha256 {hashlib.sha256(crash).hexdigest()}\n")
        self.s.terminate(held["pid"])
        harness.wait_popen(holder, 10)

        # The next run, which finds no server, first puts the last good copy back.
        run = self.start_update(folder)
        run.wait_window()
        self.assert_failed_run(run, CANNOT_CONNECT)
        self.assert_product_untouched(folder)
        self.assertFalse(record.exists())
        self.assert_only_own_files(folder)

    def test_a_short_lock_on_the_product_is_waited_out(self):
        folder = self.program_folder()
        product = harness.to_windows_path(folder / PRODUCT_NAME)
        # Held without sharing for about 6 s: past the 3 s of the timer, well within the retries.
        holder = self.s.start(harness.tool("tools/automate.exe"),
                              ["hold-file", product, "--timeout", 6000])
        harness.wait_until(lambda: '"held"' in holder.output_path.read_text(errors="replace"),
                           10, "the product executable to be held")
        self.assertEqual(self.install_and_answer(folder), EXIT_INSTALLED)
        harness.wait_popen(holder, 10)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assert_only_own_files(folder)

    def test_a_response_completing_under_the_exit_box_waits_and_yes_ends_at_once(self):
        folder = self.program_folder()
        pid = self.start_product(folder / PRODUCT_NAME)
        mouse = UserInput(self.s)
        with self.serve("normal", delay=2) as server:
            run = self.start_update(folder)
            window = run.wait_window()
            rect = self.s.automate_one("rect", "--hwnd", window["hwnd"])["rect"]
            place = PLACES[CLOSE1]
            mouse.click(rect["left"] + place[0] + 12, rect["top"] + place[1] + 10)
            box = run.box(caption=CONFIRM_TITLE)
            harness.wait_until(lambda: [e for e in server.events() if e["event"] == "response"],
                               10, "the response to complete")
            time.sleep(2)  # long enough for the download, the checks and the closing to run
            self.assertIn(pid, self.running(), "the product was closed under the box")
            self.assertEqual(events(folder, pid), [])
            self.assertFalse((folder / DOWNLOAD_NAME).exists())
            run.answer("yes")
            started = time.monotonic()
            self.assertEqual(run.exit_code(), EXIT_CANCELLED)
            self.assertLess(time.monotonic() - started, 3)
        mouse.park()
        self.assertIn(pid, self.running())
        self.assert_product_untouched(folder)
        self.assert_only_own_files(folder)
        self.assertTrue(box)

    def test_a_folder_named_in_other_letter_case_is_matched(self):
        folder = self.s.program_folder("Om ЖÄ 测试")
        self.folders.append(folder)
        for name, source in (("Update.exe", "apps/Update.exe"),
                             (PRODUCT_NAME, "tools/product-old/Ombrix.exe")):
            (folder / name).write_bytes(harness.tool(source).read_bytes())
        spelled = harness.to_windows_path(folder).replace("Om ЖÄ 测试", "om жä 测试")
        self.assertNotEqual(spelled, harness.to_windows_path(folder))
        pid = self.s.automate_one("start", "--cmdline", f'"{spelled}\\{PRODUCT_NAME}"')["pid"]
        harness.wait_until(lambda: product_log(folder), 15, "the product to start")
        self.assertEqual(self.install_and_answer(folder), EXIT_INSTALLED)
        self.assertNotIn(pid, self.running())
        self.assertEqual(events(folder, pid), ["query yes", "endsession 1", "saved"])
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assert_only_own_files(folder)

    def test_the_session_ending_during_the_download_removes_the_partial_file(self):
        folder = self.program_folder()
        with self.serve("drip", drip_bytes=512, drip_interval=0.05):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_progress(lambda bar: bar["pos"] > 0)
            # The exit code as Windows reports it to a waiting installer: Wine's session end
            # kills the Linux process behind it, whose own status may then be a signal's.
            pid = self.s.processes("Update.exe")[0]["pid"]
            waiter = self.s.start(harness.tool("tools/automate.exe"),
                                  ["wait-process", "--pid", pid, "--timeout", 60000])
            time.sleep(0.5)  # the waiter has the process open
            self.s.wine(["wineboot", "--end-session"], timeout=60)
            run.exit_code()
            harness.wait_popen(waiter, 30)
            answer = json.loads(waiter.output_path.read_text().strip().splitlines()[-1])
            self.assertEqual(answer["exit_code"], EXIT_CANCELLED)
        self.assertFalse((folder / DOWNLOAD_NAME).exists(), "the partial download stayed")
        self.assert_product_untouched(folder)
        self.assert_only_own_files(folder)


if __name__ == "__main__":
    import unittest
    unittest.main(verbosity=2)
