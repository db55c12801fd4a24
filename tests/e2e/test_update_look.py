#!/usr/bin/env python3
"""What Update.exe's window looks like on the screen, pixel by pixel, through one update run whose
body arrives slowly: on first display the skinned panel at 211, 218 with its frame, the title
icon, the white title, the close button in its normal look, an empty progress bar and a status
line without text of its own; during the download a Chinese status text drawn with real glyphs
and a bar filled from the left; at the relaunch question an emptied status line that leaves
nothing behind. The controls that must never be seen are hidden or lie below the window.
Screenshots stay in $OMBRIX_E2E_STATE/screenshots/update-look."""
# ctest-timeout: 120

import unittest

import harness
from chrome_support import (Image, UserInput, close, differences, luminance, skin, staged_run,
                            window_picture)
from update_run import (CLOSE1, CLOSEDOWN, CLOSEMOVE, CLOSENOR, COMMAND2, IMAGE1, LABEL1, LABEL2,
                        LABEL3, LABEL4, LABEL5, LABEL7, NEW_PRODUCT, ORIGIN, PICTURE1, PLACES,
                        PROGRESS_BAR1, RECEIVING, SIZE, STATE_TEXTS, TEXT1, TEXT2)

# Darker than the panel behind it by this much counts as ink of the (black) status text.
INK_CONTRAST = 60
SHOWN = {IMAGE1, LABEL4, CLOSE1, PROGRESS_BAR1, LABEL3}


def panel_differences(window: Image, background: Image, skip=SHOWN):
    """Pixels of the window that differ from the background picture outside the places of the
    controls in SKIP: anything else drawn on the panel shows up here."""
    found = []
    for y in range(SIZE[1]):
        for x in range(SIZE[0]):
            if any(px <= x < px + w and py <= y < py + h
                   for px, py, w, h in (PLACES[c] for c in skip)):
                continue
            if not close(window.pixel(x, y), background.pixel(x, y)):
                found.append((x, y, window.pixel(x, y), background.pixel(x, y)))
                if len(found) >= 5:
                    return found
    return found


def ink_mask(window: Image, background: Image, place):
    x0, y0, width, height = place
    return [[luminance(background.pixel(x0 + x, y0 + y)) - luminance(window.pixel(x0 + x, y0 + y))
             > INK_CONTRAST for x in range(width)] for y in range(height)]


def glyph_cells(mask):
    """Column ranges of ink separated by blank columns: roughly one glyph each."""
    columns = [any(row[x] for row in mask) for x in range(len(mask[0]))]
    cells, start = [], None
    for x, inked in enumerate(columns + [False]):
        if inked and start is None:
            start = x
        elif not inked and start is not None:
            cells.append((start, x))
            start = None
    return cells


def cell_bitmap(mask, cell):
    rows = [tuple(row[cell[0]:cell[1]]) for row in mask]
    inked = [i for i, row in enumerate(rows) if any(row)]
    return tuple(rows[inked[0]:inked[-1] + 1]) if inked else ()


def is_hollow_box(bitmap) -> bool:
    """The missing-glyph look: a rectangle's outline with nothing inside."""
    height, width = len(bitmap), len(bitmap[0]) if bitmap else 0
    if height < 6 or width < 4:
        return False
    left = sum(row[0] for row in bitmap) / height
    right = sum(row[-1] for row in bitmap) / height
    top = sum(bitmap[0]) / width
    bottom = sum(bitmap[-1]) / width
    inside = [row[1:-1] for row in bitmap[1:-1]]
    filled = sum(map(sum, inside)) / max(1, sum(map(len, inside)))
    return min(left, right, top, bottom) >= 0.8 and filled <= 0.1


class UpdateLook(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.session()
        cls.background = skin("background.png").crop(0, 0, *SIZE)
        UserInput(cls.s).park()  # a pointer over the window would change the close button's look
        # The response waits 5 s, so the first display comes before any byte of the body, and
        # the body takes about 9 s, so the chunk loop is caught on a busy machine too.
        with staged_run(cls.s, "update-look", mode="drip", delay=5, drip_bytes=2048,
                       drip_interval=0.1) as run:
            cls.run_info = run
            cls.window = run.window
            cls.first_texts = [run.text()]
            cls.first = window_picture(run, "first-display")
            cls.first_texts.append(run.text())
            cls.first_bar = run.progress()
            cls.controls = run.children()

            harness.wait_until(lambda: run.text() == RECEIVING and run.progress()["pos"] > 0,
                               20, "the chunk loop")
            cls.bar_before = run.progress()
            cls.downloading = window_picture(run, "downloading")
            cls.bar_after = run.progress()
            cls.downloading_text = run.text()

            box = cls.s.automate_one("msgbox", "--pid", run.pid, "--timeout", 30000)
            cls.question_text = box["text"]
            cls.emptied_text = run.text()
            cls.question = window_picture(run, "relaunch-question")
            cls.s.automate("click", "--button", "no", "--timeout", 5000)
            cls.exit_code = run.exit_code(30)

    # first display

    def test_window_stands_at_its_place_with_its_size(self):
        rect = self.window["rect"]
        self.assertEqual((rect["left"], rect["top"], rect["width"], rect["height"]),
                         (*ORIGIN, *SIZE))

    def test_panel_is_the_background_picture_and_nothing_else(self):
        for name, shot in (("first display", self.first), ("downloading", self.downloading),
                           ("relaunch question", self.question)):
            with self.subTest(name):
                self.assertEqual(panel_differences(shot, self.background), [])

    def test_panel_has_a_darker_blue_frame(self):
        w, h = SIZE
        edges = [((x, 0), (x, 1)) for x in range(1, w - 1)]
        edges += [((x, h - 1), (x, h - 2)) for x in range(1, w - 1)]
        edges += [((0, y), (1, y)) for y in range(1, h - 1)]
        edges += [((w - 1, y), (w - 2, y)) for y in range(1, h - 1)]
        shot = self.first
        lighter_frame = [(edge, inner) for edge, inner in edges
                         if luminance(shot.pixel(*edge)) >= luminance(shot.pixel(*inner))]
        self.assertEqual(lighter_frame[:5], [])
        not_blue = [edge for edge, _ in edges
                    if (lambda r, g, b: not (b > r and b > g))(*shot.pixel(*edge))]
        self.assertEqual(not_blue[:5], [])

    def test_title_icon_shows_with_the_panel_through_its_transparent_colour(self):
        icon = skin("title.png")
        x0, y0, w, h = PLACES[IMAGE1]
        expected = Image(w, h, 3, b"".join(
            bytes(icon.pixel(x, y) if icon.alpha(x, y) > 127 else
                  self.background.pixel(x0 + x, y0 + y))
            for y in range(h) for x in range(w)))
        self.assertEqual(differences(self.first.crop(x0, y0, w, h), expected), [])
        self.assertGreater(sum(icon.alpha(x, y) < 128 for y in range(h) for x in range(w)), 0,
                           "the title icon has no transparent pixels to test with")

    def test_title_is_white_text(self):
        # The designed face is missing under Wine: a substitute shows, so only the colour counts.
        white = [p for p in self.first.crop(*PLACES[LABEL4]).pixels() if min(p) >= 235]
        self.assertGreaterEqual(len(white), 40)

    def test_close_button_shows_its_normal_picture(self):
        self.assertEqual(differences(self.first.crop(*PLACES[CLOSE1]), skin("close_normal.png")),
                         [])

    def test_progress_bar_starts_empty(self):
        self.assertEqual((self.first_bar["min"], self.first_bar["pos"]), (0, 0))
        x0, y0, w, h = PLACES[PROGRESS_BAR1]
        inside = {p for p in self.first.crop(x0 + 2, y0 + 2, w - 4, h - 4).pixels()}
        self.assertEqual(len(inside), 1, "an empty bar is one colour inside its frame")
        self.assertFalse(close(next(iter(inside)), self.background.pixel(x0 + 2, y0 + 2)),
                         "the bar is not drawn")

    def test_status_line_has_no_text_of_its_own(self):
        # The first transfer state arrives within milliseconds of the first display; whatever the
        # screenshot caught is no text or a state's text, never a caption of the design.
        for text in self.first_texts:
            self.assertIn(text, ["", *STATE_TEXTS])
        if self.first_texts == ["", ""]:
            self.assertFalse(any(map(any, ink_mask(self.first, self.background,
                                                   PLACES[LABEL3]))))

    # during the download

    def test_chinese_status_text_shows_with_real_glyphs(self):
        self.assertEqual(self.downloading_text, RECEIVING)
        mask = ink_mask(self.downloading, self.background, PLACES[LABEL3])
        cells = glyph_cells(mask)
        self.assertGreaterEqual(len(cells), 14, f"too few glyphs drawn: {cells}")
        # Fourteen Chinese characters of about 12 pixels, then the dots.
        self.assertGreater(cells[-1][1] - cells[0][0], 150)
        bitmaps = [cell_bitmap(mask, cell) for cell in cells]
        self.assertEqual([cell for cell, b in zip(cells, bitmaps) if is_hollow_box(b)], [],
                         "missing-glyph boxes")
        # Missing glyphs all look alike; the first seven characters all differ.
        self.assertEqual(len(set(bitmaps[:7])), 7)

    def test_progress_bar_fills_from_the_left_as_far_as_the_bytes_written(self):
        x0, y0, w, h = PLACES[PROGRESS_BAR1]
        row = y0 + h // 2
        empty = self.first.pixel(x0 + w // 2, row)
        inside = [x for x in range(x0, x0 + w) if self.first.pixel(x, row) == empty]
        filled = [x for x in inside if self.downloading.pixel(x, row) != empty]
        self.assertTrue(filled, "nothing filled")
        self.assertEqual(filled, inside[:len(filled)], "the fill does not start at the left")

        def share(bar):
            return len(inside) * bar["pos"] / bar["max"]
        self.assertGreaterEqual(len(filled), share(self.bar_before) - 3)
        self.assertLessEqual(len(filled), share(self.bar_after) + 3)

    # at the relaunch question

    def test_emptied_status_line_leaves_nothing_behind(self):
        self.assertTrue(self.question_text.startswith("程序已经升级完成"), self.question_text)
        self.assertEqual(self.emptied_text, "")
        self.assertFalse(any(map(any, ink_mask(self.question, self.background, PLACES[LABEL3]))))
        self.assertEqual(self.exit_code, 0)

    # controls never seen

    def test_data_holders_and_spare_pictures_are_hidden(self):
        for control in (LABEL5, LABEL7, TEXT1, CLOSENOR, CLOSEDOWN, CLOSEMOVE):
            with self.subTest(control=control):
                self.assertFalse(self.controls[control]["visible"])
        self.assertEqual(self.controls[LABEL5]["text"], "Ombrix")
        self.assertEqual(self.controls[LABEL7]["text"], "ombrix")

    def test_visible_controls_outside_lie_below_the_window(self):
        bottom = self.window["rect"]["top"] + SIZE[1]
        expected_texts = {COMMAND2: "取消下载", LABEL1: "下载地址:", LABEL2: "保存路径:",
                          TEXT2: harness.to_windows_path(self.run_info.folder / "ombrix")}
        for control, text in expected_texts.items():
            with self.subTest(control=control):
                info = self.controls[control]
                self.assertTrue(info["visible"])
                self.assertGreaterEqual(info["rect"]["top"], bottom)
                self.assertEqual(info["text"], text)
        seen = {c for c, info in self.controls.items() if info["visible"]}
        self.assertEqual(seen, SHOWN | set(expected_texts) | {PICTURE1})


if __name__ == "__main__":
    harness.require_programs("apps/Update.exe", "tools/automate.exe", NEW_PRODUCT)
    unittest.main(verbosity=2)
