#!/usr/bin/env python3
"""Update.exe end to end, the download: against the local update server in each of its modes,
the status line, the progress bar, the messages (each owned by the main window), the files in
the program folder, the download folder, Text2 and the exit code; a second instance (beside a
lock file left behind, which the first run takes over); a cancel through the keyboard while the
body drips in."""

# ctest-timeout: 150

import unittest

import harness
from update_run import (COMMAND2, DOWNLOAD_COMPLETE, DOWNLOAD_NAME, EXIT_ANOTHER_INSTANCE,
                        EXIT_CANCELLED, EXIT_INSTALLED, INSTALL_WINDOW, MAIN_WINDOW, NOT_A_PROGRAM,
                        NOTICE, PRODUCT_NAME, RECEIVING, RELAUNCH_QUESTION, PROGRESS_TEXTS, TEXT2,
                        TRANSFER_ERROR, UpdateTestCase, product_log, sample)

INCOMPLETE = "文件下载不完整，请稍后再试！"
CANNOT_CONNECT = "暂时无法连接服务器，请稍后再试！"
ALREADY_RUNNING = "Ombrix Update 正在运行中......"


class CompleteDownloads(UpdateTestCase):
    def test_a_complete_body_fills_the_bar_and_hands_over_to_the_install_window(self):
        folder = self.program_folder()
        with self.serve("normal") as server:
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(DOWNLOAD_COMPLETE)
            bar = run.progress()
            self.assertEqual((bar["min"], bar["max"], bar["pos"]),
                             (0, len(self.new_product), len(self.new_product)))
            self.assert_text2(run)
            install = self.s.automate_one("wait-window", *INSTALL_WINDOW, "--timeout", 5000)
            self.assertEqual(install["pid"], run.window["pid"])

            box = run.box()
            self.assertEqual((box["text"], box["icon"]), (RELAUNCH_QUESTION, False))
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
            self.assertEqual(len(server.requests()), 1)
            self.assertEqual(server.requests()[0]["path"], "/soft/updates/ombrix/ombrix")
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_download_folder_empty(folder)

    def test_a_body_without_length_is_read_to_its_end(self):
        folder = self.program_folder()
        # A longer leftover of an earlier run must not survive behind the new body.
        (folder / DOWNLOAD_NAME).write_bytes(b"\xee" * (len(self.new_product) + 5000))
        with self.serve("no-length"):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(DOWNLOAD_COMPLETE)
            bar = run.progress()
            self.assertGreater(bar["max"], 0)
            self.assertEqual((bar["pos"], bar["marquee"]), (bar["max"], False),
                             "the bar does not end full")
            self.assert_text2(run)
            # Cancelled while the install step waits: the complete download stays.
            run.click_command2()
            self.assertEqual(run.exit_code(), EXIT_CANCELLED)
        self.assertEqual((folder / DOWNLOAD_NAME).read_bytes(), self.new_product)
        self.assert_product_untouched(folder)
        self.assert_download_folder_empty(folder)

    def test_a_slow_body_moves_the_bar_under_the_receiving_status(self):
        folder = self.program_folder()
        # About 3.5 s of body: a reading of the bar takes up to 0.7 s on a busy machine.
        with self.serve("drip", delay=0.5, drip_bytes=4096, drip_interval=0.08):
            run = self.start_update(folder)
            run.wait_window()
            seen = sample(run, lambda status, bar: status == DOWNLOAD_COMPLETE)
            self.assert_text2(run)
            run.click_command2()
            self.assertEqual(run.exit_code(), EXIT_CANCELLED)
        length = len(self.new_product)
        statuses = [status for status, _, _ in seen]
        # Empty until the first state arrives.
        self.assertTrue(set(statuses) <= {"", DOWNLOAD_COMPLETE, *PROGRESS_TEXTS}, statuses)
        self.assertEqual(statuses.index(DOWNLOAD_COMPLETE), len(statuses) - 1)
        self.assertEqual(seen[-1][1:], (length, length))
        during = [(pos, top) for status, pos, top in seen if 0 < pos < length]
        self.assertTrue(all(top == length for _, top in during), during)
        self.assertTrue(all(status == RECEIVING for status, pos, _ in seen if 0 < pos < length))
        positions = [pos for pos, _ in during]
        self.assertGreaterEqual(len(set(positions)), 2, f"the bar hardly moved: {seen}")
        self.assertEqual(positions, sorted(positions), "the bar went back")
        self.assertEqual((folder / DOWNLOAD_NAME).read_bytes(), self.new_product)


class FailedDownloads(UpdateTestCase):
    def test_a_body_that_breaks_off_leaves_nothing(self):
        # A reset that overtakes the response's head discards it unread, and the run then
        # never saw a response: a transfer error is right too.
        cases = {"short": ("short", {"sent": 1500}, (INCOMPLETE,)),
                 "reset": ("reset", {"sent": 3000}, (INCOMPLETE, CANNOT_CONNECT))}
        for name, (mode, options, messages) in cases.items():
            with self.case(name):
                folder = self.program_folder()
                with self.serve(mode, **options):
                    run = self.start_update(folder)
                    run.wait_window()
                    run.box(timeout_ms=40000)  # after the resumes' pauses (15 s in all)
                    self.assertIn(self.assert_failed_run(run)["text"], messages)
                self.assertFalse((folder / DOWNLOAD_NAME).exists(), "a partial download stayed")
                self.assert_product_untouched(folder)
                self.assert_download_folder_empty(folder)

    def test_a_program_cut_to_a_too_small_announced_length_is_never_installed(self):
        # The server announces less than the program it sends. The first 2048 bytes hold a
        # valid header, but installing them would leave a broken product behind. The excess is
        # seen only when it happens to arrive before the read ends (fast), never with a drip;
        # either way the run must fail and leave the product as it was.
        cases = {"fast": ("long", {"announce": 2048}),
                 "drip": ("drip", {"announce": 2048, "drip_bytes": 1024, "drip_interval": 0.05})}
        for name, (mode, options) in cases.items():
            with self.case(name):
                folder = self.program_folder()
                with self.serve(mode, **options):
                    run = self.start_update(folder)
                    run.wait_window()
                    box = run.box()
                    self.assertIn(box["text"], (INCOMPLETE, NOT_A_PROGRAM),
                                  f"{(folder / PRODUCT_NAME).stat().st_size} bytes installed")
                    self.assert_failed_run(run)
                self.assertFalse((folder / DOWNLOAD_NAME).exists(), "the cut download stayed")
                self.assert_product_untouched(folder)
                self.assert_download_folder_empty(folder)

    def test_an_error_status_writes_nothing(self):
        folder = self.program_folder()
        # A download folder that is there already is left as it is.
        (folder / "download").mkdir()
        (folder / "download" / "keep.txt").write_bytes(b"kept")
        with self.serve("status", status=404) as server:
            run = self.start_update(folder)
            run.wait_window()
            self.assert_failed_run(run, "服务器返回错误（HTTP 404），请稍后再试！")
            self.assertEqual(len(server.requests()), 1)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_product_untouched(folder)
        self.assertEqual([p.name for p in (folder / "download").iterdir()], ["keep.txt"])
        self.assertEqual((folder / "download" / "keep.txt").read_bytes(), b"kept")

    def test_a_page_instead_of_a_program_is_deleted_and_ends_nothing(self):
        folder = self.program_folder()
        product = self.start_product(folder / PRODUCT_NAME)
        with self.serve("not-program"):
            run = self.start_update(folder)
            run.wait_window()
            self.assert_failed_run(run, NOT_A_PROGRAM)
        self.assertFalse((folder / DOWNLOAD_NAME).exists(), "the page stayed")
        self.assertIn(product, self.running(), "the product was ended for nothing")
        self.assert_product_untouched(folder)
        self.assert_download_folder_empty(folder)

    def test_no_server_shows_the_transfer_error(self):
        folder = self.program_folder()
        run = self.start_update(folder)  # nothing listens on the update port
        run.wait_window()
        box = run.box()
        self.assertEqual(run.status(), TRANSFER_ERROR)
        self.assertEqual((box["caption"], box["text"]), (NOTICE, CANNOT_CONNECT))
        self.assert_failed_run(run, CANNOT_CONNECT)
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_product_untouched(folder)
        self.assert_download_folder_empty(folder)


class UserAndSecondInstance(UpdateTestCase):
    def test_a_second_instance_stops_and_the_first_run_goes_on(self):
        folder = self.program_folder()
        # As a power cut leaves it: taken over by the first run, which nobody else holds.
        (folder / "download").mkdir()
        (folder / "download" / "Update.lock").write_bytes(b"")
        with self.serve("drip", drip_bytes=16384, drip_interval=0.1) as server:
            first = self.start_update(folder)
            first.wait_window()
            second = self.start_update(folder, alone=False)
            box = second.box(caption="update")
            self.assertEqual((box["text"], box["icon"]), (ALREADY_RUNNING, False))
            self.assertEqual([b["name"] for b in box["buttons"]], ["ok"])
            self.assertNotEqual(box["pid"], first.window["pid"])
            # The second one never shows a window of its own.
            shown = self.s.automate("windows", *MAIN_WINDOW, "--visible")
            self.assertEqual([w["pid"] for w in shown], [first.window["pid"]])
            second.answer("ok")
            self.assertEqual(second.exit_code(), EXIT_ANOTHER_INSTANCE)

            first.wait_status(DOWNLOAD_COMPLETE)
            self.assertEqual(first.box()["text"], RELAUNCH_QUESTION)
            self.assert_text2(first)
            first.answer("yes")
            self.assertEqual(first.exit_code(), EXIT_INSTALLED)
            self.assertEqual(len(server.requests()), 1)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
        harness.wait_until(lambda: product_log(folder), 10, "the new product to start")
        self.assertEqual([line.version for line in product_log(folder)], ["new"])
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_download_folder_empty(folder)

    def test_cancel_from_the_keyboard_during_the_download_leaves_no_file(self):
        folder = self.program_folder()
        with self.serve("drip", drip_bytes=4096, drip_interval=0.1) as server:
            run = self.start_update(folder)
            run.wait_window()
            self.assert_text2(run)
            self.assertEqual(run.focus_id(), TEXT2)
            run.keys("tab")
            self.assertEqual(run.focus_id(), COMMAND2)
            run.wait_progress(lambda bar: bar["pos"] > 0)
            run.keys("space")
            self.assertEqual(run.exit_code(), EXIT_CANCELLED)
            harness.wait_until(server.responses, 10, "the server to end its response")
            self.assertLess(server.responses()[0]["sent"], len(self.new_product))
        self.assertFalse((folder / DOWNLOAD_NAME).exists(), "the partial download stayed")
        self.assert_product_untouched(folder)
        self.assert_download_folder_empty(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
