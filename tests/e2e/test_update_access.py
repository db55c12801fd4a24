#!/usr/bin/env python3
"""Update.exe as keyboard and screen-reader users meet it. Read from outside through MSAA, as a
screen reader reads it: the close button is a button named 关闭, the status line is named by its
text, the pictures have no name; while the run goes on the status line is heard as a live region.
Esc and Alt+F4 ask what the close button asks: No lets the run go on to a correct install, Yes
ends it with exit code 3 and leaves nothing behind. (Wine 8 gives every standard control the
generic role "client" and no value, where Windows gives the control's own; and it cannot switch
high-contrast mode on, so that look is checked by the window tests.)"""
# ctest-timeout: 240

import filecmp
import json
import unittest

import harness
from update_run import (CLOSE1, CONFIRM_EXIT, CONFIRM_TITLE, EXIT_CANCELLED, EXIT_INSTALLED,
                        IMAGE1, LABEL3, LABEL4, NEW_PRODUCT, OLD_PRODUCT, PICTURE1,
                        PROGRESS_BAR1, PROGRESS_TEXTS, RECEIVING, RELAUNCH_QUESTION,
                        UpdateTestCase)

ROLE_CLIENT = 10  # what Wine's proxies say of every standard control
ROLE_GRAPHIC, ROLE_STATIC_TEXT, ROLE_PUSH_BUTTON, ROLE_PROGRESS_BAR = 40, 41, 43, 48
LIVE_REGION_CHANGED = 0x8019
# About ten seconds for the test product: time to read the window while the body arrives.
DRIP = {"drip_bytes": 1024, "drip_interval": 0.05}


class AccessCase(UpdateTestCase):
    def assert_role(self, entry: dict, role: int) -> None:
        """The role Windows gives, or the generic one of Wine's proxies."""
        self.assertIn(entry["role"], (role, ROLE_CLIENT), entry)

    def confirmation(self, run, *keys: str) -> dict:
        run.keys(*keys)
        box = run.box(CONFIRM_TITLE)
        self.assertEqual((box["text"], box["caption"]), (CONFIRM_EXIT, CONFIRM_TITLE))
        self.assertEqual([b["name"] for b in box["buttons"] if b["visible"]], ["yes", "no"])
        return box


class ScreenReaderView(AccessCase):
    def test_names_and_roles_and_the_status_heard_as_it_changes(self):
        folder = self.program_folder()
        listener = self.s.start(harness.tool("tools/automate.exe"),
                                ["events", "--event", "liveregion", "--until", RECEIVING,
                                 "--timeout", 120000])
        harness.wait_until(lambda: "listening" in listener.output_path.read_text(), 20,
                           "the listener")
        with self.serve("drip", drip_bytes=512, drip_interval=0.05):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_status(RECEIVING)
            seen = {c["id"]: c for c in self.s.automate("accessible", *run.main())}

            close = seen[CLOSE1]
            self.assertEqual((close["name"], close["class"]), ("关闭", "Button"))
            self.assert_role(close, ROLE_PUSH_BUTTON)
            self.assertEqual(seen[LABEL3]["name"], RECEIVING)
            self.assert_role(seen[LABEL3], ROLE_STATIC_TEXT)
            self.assertEqual(seen[LABEL4]["name"], "Ombrix Update")
            self.assert_role(seen[PROGRESS_BAR1], ROLE_PROGRESS_BAR)
            value = seen[PROGRESS_BAR1]["value"]
            self.assertTrue(value is None or value.endswith("%"), value)
            for picture in (PICTURE1, IMAGE1):
                self.assertIn(seen[picture]["name"], (None, ""), picture)
                self.assert_role(seen[picture], ROLE_GRAPHIC)

            self.assertEqual(harness.wait_popen(listener, 120), 0)
            heard = [json.loads(line) for line in listener.output_path.read_text().splitlines()
                     if line.startswith("{")][1:]
            self.assertTrue(heard, "nothing heard")
            self.assertEqual({(e["event"], e["id"]) for e in heard},
                             {(LIVE_REGION_CHANGED, LABEL3)})
            # Each name as the reader reads it on hearing the event: the text of that moment.
            names = {e["name"] for e in heard}
            self.assertIn(RECEIVING, names)
            self.assertLessEqual(names, set(PROGRESS_TEXTS))


class KeyboardClose(AccessCase):
    def test_esc_then_no_lets_the_run_install(self):
        folder = self.program_folder()
        with self.serve("drip", **DRIP):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_for_body()
            self.confirmation(run, "esc")
            bar = run.progress()
            self.assertLess(bar["pos"], bar["max"], "the download ended before the key")
            run.answer("no")
            self.assertEqual(run.box(None, 30000)["text"], RELAUNCH_QUESTION)
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
        self.assertTrue(filecmp.cmp(folder / "Ombrix.exe", harness.tool(NEW_PRODUCT),
                                    shallow=False))

    def test_alt_f4_asks_too_and_esc_then_yes_ends_with_nothing_left(self):
        folder = self.program_folder()
        with self.serve("stall", sent=160 * 1024):
            run = self.start_update(folder)
            run.wait_window()
            run.wait_for_body(96 * 1024)
            self.confirmation(run, "alt+f4")
            run.answer("no")
            self.assertTrue(run.running())
            self.confirmation(run, "esc")
            run.answer("yes")
            self.assertEqual(run.exit_code(10), EXIT_CANCELLED)
        self.assertFalse(run.download_path().exists())
        self.assert_download_folder_empty(folder)
        self.assert_product_untouched(folder)


if __name__ == "__main__":
    harness.require_programs("apps/Update.exe", "tools/automate.exe", OLD_PRODUCT, NEW_PRODUCT)
    unittest.main(verbosity=2)
