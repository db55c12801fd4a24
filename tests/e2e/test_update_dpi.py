#!/usr/bin/env python3
"""Update.exe at 96, 144 and 192 dpi (the prefix's LogPixels, the Wine server restarted for each):
the window, progress bar, close button, status line and title stand where the design scaled by
dpi / 96 puts them, as read from outside; in a screenshot at each scale the title and a Chinese
status text are whole and the panel's frame is one crisp line round(dpi / 96) pixels wide. At
192 dpi the close button's looks, its hit area, the confirmation and the drag work as at 96 dpi.
The prefix is back at 96 dpi afterwards. Screenshots stay in
$OMBRIX_E2E_STATE/screenshots/update-dpi-DPI."""
# ctest-timeout: 300

import time
import unittest

import harness
from chrome_support import (Image, UserInput, differences, luminance, skin, staged_run,
                            window_picture)
from update_run import (CLOSE1, CONFIRM_EXIT, FORM1, LABEL3, LABEL4, NEW_PRODUCT, PLACES,
                        PROGRESS_BAR1, RECEIVING)

DPIS = (96, 144, 192)
DESKTOP = r"HKEY_CURRENT_USER\Control Panel\Desktop"
DESIGN = {c: PLACES[c] for c in (PROGRESS_BAR1, CLOSE1, LABEL3, LABEL4)}
PANEL_FRAME = (16, 58, 128)
# Lighter or darker than the panel behind by this much counts as ink.
INK_CONTRAST = 60


def scaled(value: int, dpi: int) -> int:
    return (value * dpi + 48) // 96


def scaled_place(place, dpi):
    return tuple(scaled(v, dpi) for v in place)


def ink_box(window: Image, place, ink):
    """(left, top, right, bottom) of the pixels inside PLACE that INK accepts, relative to it;
    None when there are none."""
    x0, y0, w, h = place
    hits = [(x, y) for y in range(h) for x in range(w) if ink(window.pixel(x0 + x, y0 + y),
                                                              window.pixel(x0 + x, y0))]
    if not hits:
        return None
    xs, ys = [x for x, _ in hits], [y for _, y in hits]
    return min(xs), min(ys), max(xs), max(ys)


def glyph_columns(window: Image, place):
    """Runs of columns with dark ink: about one per glyph."""
    x0, y0, w, h = place
    background = [window.pixel(x0 + x, y0) for x in range(w)]
    inked = [any(luminance(background[x]) - luminance(window.pixel(x0 + x, y0 + y)) > INK_CONTRAST
                 for y in range(h)) for x in range(w)]
    return sum(1 for x in range(w) if inked[x] and (x == 0 or not inked[x - 1]))


class UpdateAtEveryScale(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.session()
        cls.input = UserInput(cls.s)
        cls.seen = {}
        current = cls.s.reg_value(DESKTOP, "LogPixels")
        try:
            for dpi in DPIS:
                if dpi != (current.data if current else 96):
                    cls.set_dpi(dpi)
                    current = harness.RegValue(harness.REG_DWORD, dpi)
                cls.seen[dpi] = cls.observe(dpi)
        finally:
            if (current.data if current else 96) != 96:
                cls.set_dpi(96)

    @classmethod
    def set_dpi(cls, dpi):
        cls.s.reg_set(DESKTOP, "LogPixels", "REG_DWORD", str(dpi))
        cls.s.restart_wine()

    @classmethod
    def observe(cls, dpi):
        size = (scaled(FORM1.width, dpi), scaled(FORM1.height, dpi))
        cls.input.park()
        seen = {}
        with staged_run(cls.s, f"update-dpi-{dpi}", size=size, mode="drip", delay=1,
                       drip_bytes=2048, drip_interval=0.1) as run:
            seen["window"] = run.window["rect"]
            seen["rects"] = {c: run.rect(c) for c in DESIGN}
            harness.wait_until(lambda: run.text() == RECEIVING, 20, "the download")
            seen["shot"] = window_picture(run, "downloading")
            if dpi == 192:
                seen["chrome"] = cls.use_chrome(run, dpi)
        return seen

    @classmethod
    def use_chrome(cls, run, dpi):
        """Hover, press and click the close button near its far corner (outside the 96-dpi
        button), answer No, then drag the window by its title."""
        origin = run.origin()
        x, y, w, h = scaled_place(DESIGN[CLOSE1], dpi)
        corner = (origin[0] + x + w - 4, origin[1] + y + h - 4)

        def look():
            shot = Image.load(run.screenshot("close-look"))
            now = run.origin()
            return shot.crop(now[0] + x, now[1] + y, w, h)

        found = {}
        cls.input.move(*corner)
        time.sleep(0.3)
        found["hover"] = look()
        cls.input.down()
        time.sleep(0.3)
        found["pressed"] = look()
        cls.input.up()
        found["box"] = cls.s.automate_one("msgbox", "--pid", run.pid, "--timeout", 10000)
        cls.s.automate("click", "--button", "no", "--timeout", 5000)
        found["running"] = run.running()
        title = (origin[0] + scaled(40, dpi), origin[1] + scaled(14, dpi))
        cls.input.drag(title, (60, 40))
        found["moved"] = harness.wait_until(
            lambda: (lambda o: o if o != origin else None)(run.origin()), 5, "the drag")
        found["origin"] = origin
        return found

    def test_window_and_controls_stand_where_the_scaled_design_puts_them(self):
        for dpi in DPIS:
            with self.subTest(dpi=dpi):
                seen = self.seen[dpi]
                window = seen["window"]
                self.assertEqual((window["left"], window["top"], window["width"], window["height"]),
                                 scaled_place(tuple(FORM1)[1:], dpi))
                for control, place in DESIGN.items():
                    rect = seen["rects"][control]
                    expected = scaled_place(place, dpi)
                    self.assertEqual((rect["left"] - window["left"], rect["top"] - window["top"],
                                      rect["width"], rect["height"]), expected, control)

    def test_frame_is_one_crisp_line_of_the_scaled_width(self):
        for dpi in DPIS:
            with self.subTest(dpi=dpi):
                shot, line = self.seen[dpi]["shot"], max(1, scaled(1, dpi))
                w, h = shot.width, shot.height
                middle_x, middle_y = w // 2, h // 2
                for i in range(line):
                    for point in ((i, middle_y), (w - 1 - i, middle_y), (middle_x, i),
                                  (middle_x, h - 1 - i), (i, i), (w - 1 - i, h - 1 - i)):
                        self.assertEqual(shot.pixel(*point), PANEL_FRAME, point)
                # Just inside the line the panel's gradient begins: no blended step between.
                for point in ((line, middle_y), (w - 1 - line, middle_y), (middle_x, line),
                              (middle_x, h - 1 - line)):
                    self.assertNotEqual(shot.pixel(*point), PANEL_FRAME, point)
                    self.assertGreater(luminance(shot.pixel(*point)), luminance(PANEL_FRAME) + 20)

    def test_title_and_chinese_status_text_are_whole(self):
        for dpi in DPIS:
            with self.subTest(dpi=dpi):
                shot = self.seen[dpi]["shot"]
                title = scaled_place(DESIGN[LABEL4], dpi)
                box = ink_box(shot, title, lambda p, _: min(p) >= 235)
                self.assertIsNotNone(box, "no white title")
                # Clear of the label's right and bottom edges, and as tall as the scaled font.
                self.assertLess(box[2], title[2] - 2)
                self.assertLess(box[3], title[3] - 1)
                self.assertGreaterEqual(box[3] - box[1] + 1, scaled(9, dpi))
                status = scaled_place(DESIGN[LABEL3], dpi)
                box = ink_box(shot, status, lambda p, behind:
                              luminance(behind) - luminance(p) > INK_CONTRAST)
                self.assertIsNotNone(box, "no status text")
                self.assertLess(box[2], status[2] - 2)
                self.assertLess(box[3], status[3] - 1)
                self.assertGreater(box[2] - box[0], scaled(150, dpi))
                self.assertGreaterEqual(box[3] - box[1] + 1, scaled(9, dpi))
                self.assertGreaterEqual(glyph_columns(shot, status), 14)

    def test_close_button_looks_hit_area_confirmation_and_drag_follow_the_scale(self):
        chrome = self.seen[192]["chrome"]
        for look in ("hover", "pressed"):
            with self.subTest(look=look):
                self.assertEqual(differences(chrome[look], skin(f"close_{look}-200.png")), [])
        self.assertEqual(chrome["box"]["text"], CONFIRM_EXIT)
        self.assertTrue(chrome["running"])
        self.assertEqual(chrome["moved"], (chrome["origin"][0] + 60, chrome["origin"][1] + 40))

    def test_prefix_is_back_at_96_dpi(self):
        value = self.s.reg_value(DESKTOP, "LogPixels")
        self.assertEqual(value.data if value else 96, 96)


if __name__ == "__main__":
    harness.require_programs("apps/Update.exe", "tools/automate.exe", NEW_PRODUCT)
    unittest.main(verbosity=2)
