#!/usr/bin/env python3
"""Update.exe's own window chrome with real mouse and keyboard input (xdotool on the session's
display) while a download runs: dragging the title or the background with the left button moves
the borderless window by the mouse's offset and other buttons do not; the close button changes
its look with hover and press; its click asks for confirmation, where No lets the run go on to a
correct install and Yes ends it with exit code 3 and no partial download; the cancel button,
reached with Tab, cancels with the space bar. Screenshots stay in
$OMBRIX_E2E_STATE/screenshots/update-chrome-*."""
# ctest-timeout: 150

import filecmp
import time
import unittest

import harness
from chrome_support import (SLOW_DRIP, STALLED, UserInput, differences, mean_luminance, skin,
                            staged_run, window_picture)
from update_run import (CLOSE1, COMMAND2, CONFIRM_EXIT, CONFIRM_TITLE, EXIT_CANCELLED,
                        EXIT_INSTALLED, LABEL4, NEW_PRODUCT, OLD_PRODUCT, PICTURE1, PLACES, TEXT2,
                        product_log, product_running)
# A point of the background away from every control, hidden ones included.
BACKGROUND_POINT = (250, 40)


def moved(origin, offset):
    return origin[0] + offset[0], origin[1] + offset[1]


def settle(fetch, done, timeout: float):
    """fetch() until done(value) or TIMEOUT seconds have passed; the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = fetch()
        if done(value) or time.monotonic() > deadline:
            return value
        time.sleep(0.1)


class ChromeCase(unittest.TestCase):
    """One update run per test; the mouse starts parked away from the window."""

    server_options = SLOW_DRIP
    start_product = False

    def setUp(self):
        self.s = harness.session()
        self.input = UserInput(self.s)
        self.input.park()
        self.run = self.enterContext(staged_run(
            self.s, "update-chrome-" + self._testMethodName.removeprefix("test_"),
            start_product=self.start_product, **self.server_options))
        self.addCleanup(self.input.park)

    def background(self):
        return self.run.screen_point(PICTURE1, *BACKGROUND_POINT)

    def close_button(self):
        return self.run.screen_point(CLOSE1, 12, 10)

    def wait_for_origin(self, expected, timeout: float = 5):
        """The window's place once it equals EXPECTED, or where it stands after TIMEOUT."""
        return settle(self.run.origin, lambda origin: origin == expected, timeout)

    def close_look(self, shot: str):
        """Which of the three pictures the close button shows ("other" for none), and its
        pixels."""
        pixels = window_picture(self.run, shot).crop(*PLACES[CLOSE1])
        for name, picture in LOOKS.items():
            if not differences(pixels, picture, limit=1):
                return name, pixels
        return "other", pixels

    def wait_for_look(self, expected: str, shot: str, timeout: float = 5):
        return settle(lambda: self.close_look(shot), lambda look: look[0] == expected, timeout)

    def no_box_appears(self):
        lines = self.s.automate("msgbox", "--pid", self.run.pid, "--timeout", 700, check=False)
        return not lines

    def confirmation(self):
        """Clicks the close button and returns the confirmation box it opens."""
        self.input.click(*self.close_button())
        return self.s.automate_one("msgbox", "--pid", self.run.pid, "--timeout", 10000)


LOOKS = {}


def setUpModule():
    LOOKS.update(normal=skin("close_normal.png"), hover=skin("close_hover.png"),
                 pressed=skin("close_pressed.png"))


class WindowDrag(ChromeCase):
    def setUp(self):
        super().setUp()
        self.run.wait_for_body()  # the drags are handled inside the chunk loop's pumps

    def test_left_drag_on_the_title_moves_the_window(self):
        origin = self.run.origin()
        self.input.drag(self.run.screen_point(LABEL4, 30, 8), (50, 30))
        self.assertEqual(self.wait_for_origin(moved(origin, (50, 30))), moved(origin, (50, 30)))
        # Once more from the new place, the other way.
        origin = self.run.origin()
        self.input.drag(self.run.screen_point(LABEL4, 60, 5), (-120, 75))
        self.assertEqual(self.wait_for_origin(moved(origin, (-120, 75))),
                         moved(origin, (-120, 75)))

    def test_left_drag_on_the_background_moves_the_window_and_the_download_goes_on(self):
        origin = self.run.origin()
        self.input.drag(self.background(), (-70, 45))
        self.assertEqual(self.wait_for_origin(moved(origin, (-70, 45))), moved(origin, (-70, 45)))
        written = self.run.progress()["pos"]
        self.run.wait_for_body(written + 1)
        self.assertTrue(self.run.running())

    def test_other_buttons_do_not_move_the_window(self):
        origin = self.run.origin()
        for button in (UserInput.RIGHT, UserInput.MIDDLE):
            for where in (self.run.screen_point(LABEL4, 30, 8), self.background()):
                with self.subTest(button=button, where=where):
                    self.input.drag(where, (40, 40), button=button)
                    time.sleep(0.5)
                    self.assertEqual(self.run.origin(), origin)
        self.assertTrue(self.no_box_appears())
        self.assertTrue(self.run.running())


class CloseButtonLooks(ChromeCase):
    def test_looks_follow_hover_and_press(self):
        normal_look, normal = self.close_look("normal")
        self.assertEqual(normal_look, "normal")

        self.input.move(*self.close_button())
        hover_look, hover = self.wait_for_look("hover", "hover")
        self.assertEqual(hover_look, "hover")

        self.input.down(UserInput.LEFT)
        pressed_look, pressed = self.wait_for_look("pressed", "pressed")
        self.assertEqual(pressed_look, "pressed")
        self.assertGreater(mean_luminance(hover), mean_luminance(normal) + 10)
        self.assertLess(mean_luminance(pressed), mean_luminance(normal) - 10)

        # Let go away from the button: that is no click, so nothing asks to confirm.
        self.input.move(*self.background())
        self.input.up(UserInput.LEFT)
        self.assertTrue(self.no_box_appears())
        self.input.move(self.background()[0] + 5, self.background()[1])
        self.assertEqual(self.wait_for_look("normal", "back-to-normal")[0], "normal")

        # The right button presses the picture too, and asks nothing.
        self.input.move(*self.close_button())
        self.input.down(UserInput.RIGHT)
        self.assertEqual(self.wait_for_look("pressed", "right-pressed")[0], "pressed")
        self.input.up(UserInput.RIGHT)
        self.assertTrue(self.no_box_appears())
        self.assertTrue(self.run.running())


class ConfirmExit(ChromeCase):
    # Slow enough to be clicked during, and to be still downloading (so no modal question yet)
    # when the pointer moves after "No" on a busy machine, where each look taken costs a second:
    # the product's 175 KiB take about 18 s.
    server_options = SLOW_DRIP

    def test_no_keeps_the_pressed_look_and_the_run_goes_on_to_install(self):
        box = self.confirmation()
        self.assertEqual((box["text"], box["caption"]), (CONFIRM_EXIT, CONFIRM_TITLE))
        self.assertEqual([b["name"] for b in box["buttons"] if b["visible"]], ["yes", "no"])
        self.assertFalse(box["icon"])
        self.assertEqual(box["owner"], self.run.window["hwnd"])
        bar = self.run.progress()
        self.assertLess(bar["pos"], bar["max"], "the download ended before the click")
        self.assertEqual(self.close_look("box-open")[0], "pressed")

        self.s.automate("click", "--button", "no", "--timeout", 5000)
        # The mouse has not moved: the button keeps the picture it had.
        for sample in range(3):
            self.assertEqual(self.close_look(f"after-no-{sample}")[0], "pressed")
            time.sleep(0.3)
        self.input.move(*self.background())
        self.assertEqual(self.wait_for_look("normal", "background-restores")[0], "normal")

        question = self.s.automate_one("msgbox", "--pid", self.run.pid, "--timeout", 30000)
        self.assertTrue(question["text"].startswith("程序已经升级完成"), question["text"])
        self.s.automate("click", "--button", "no", "--timeout", 5000)
        self.assertEqual(self.run.exit_code(), EXIT_INSTALLED)
        folder = self.run.folder
        self.assertTrue(filecmp.cmp(folder / "Ombrix.exe", harness.tool(NEW_PRODUCT),
                                    shallow=False))
        self.assertFalse(self.run.download_path().exists())
        self.assertFalse((folder / "product.log").exists(), "the product was started")


class ConfirmExitYes(ChromeCase):
    server_options = STALLED
    start_product = True

    def test_yes_ends_the_run_without_a_partial_download(self):
        self.run.wait_for_body(96 * 1024)
        self.assertGreater(self.run.download_path().stat().st_size, 0, "nothing on disk yet")
        self.assertEqual(self.confirmation()["text"], CONFIRM_EXIT)
        self.s.automate("click", "--button", "yes", "--timeout", 5000)
        self.assertEqual(self.run.exit_code(10), EXIT_CANCELLED)
        self.assertFalse(self.run.download_path().exists())
        self.assertTrue(filecmp.cmp(self.run.folder / "Ombrix.exe", harness.tool(OLD_PRODUCT),
                                    shallow=False))
        self.assertTrue(product_running(self.s, product_log(self.run.folder)[0].pid),
                        "the running product was terminated")


class KeyboardCancel(ChromeCase):
    server_options = STALLED

    def focused_control(self) -> int:
        return self.run.focus_id()

    def test_tab_to_the_cancel_button_and_space_cancel_the_download(self):
        self.run.wait_for_body()
        self.assertEqual(self.focused_control(), TEXT2)
        self.input.keys("Tab")
        self.assertEqual(self.focused_control(), COMMAND2)
        self.input.keys("space")
        self.assertEqual(self.run.exit_code(10), EXIT_CANCELLED)
        self.assertFalse(self.run.download_path().exists())
        self.assertTrue(filecmp.cmp(self.run.folder / "Ombrix.exe", harness.tool(OLD_PRODUCT),
                                    shallow=False))


if __name__ == "__main__":
    harness.require_programs("apps/Update.exe", "tools/automate.exe", NEW_PRODUCT)
    unittest.main(verbosity=2)
