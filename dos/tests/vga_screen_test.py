"""vga_screen against mode 12h screens drawn here pixel by pixel, straight
from unifont.hex, and written as PPM files."""

import pathlib
import tempfile
import unittest

import vga_screen
from vga_screen import CELL_HEIGHT, CELL_WIDTH, read_ppm

YELLOW = (255, 255, 85)
LIGHT_GRAY = (170, 170, 170)
WHITE = (255, 255, 255)
GREEN = (85, 255, 85)
DARK_GRAY = (85, 85, 85)

LINE = "HF：正在检查镜像 45%"
LINE_AT = (3, 5)
HINT = "Esc: 取消"
HINT_AT = (28, 0)
BIG, BIG_SCALE, BIG_AT = "45", 4, (10, 20)
BAR_ROW, BAR_FROM, BAR_TO = 20, 8, 72  # cells


def unifont_hex():
    with open(vga_screen.UNIFONT, encoding="ascii") as file:
        return {chr(int(code, 16)): bits.strip()
                for code, bits in (line.split(":") for line in file)}


class Canvas:
    """A black 640x480 screen to draw on."""

    def __init__(self):
        self.pixels = bytearray(640 * 480 * 3)

    def fill(self, x, y, width, height, colour):
        for line in range(y, y + height):
            at = (line * 640 + x) * 3
            self.pixels[at:at + width * 3] = bytes(colour) * width

    def text(self, glyphs, row, col, text, colour, scale=1):
        x, y = col * CELL_WIDTH, row * CELL_HEIGHT
        for char in text:
            bits = glyphs[char]
            width = len(bits) // 4  # 16 rows of width / 4 hex digits
            for line in range(16):
                row_bits = int(bits[line * width // 4:(line + 1) * width // 4], 16)
                for dx in range(width):
                    if row_bits >> (width - 1 - dx) & 1:
                        self.fill(x + dx * scale, y + line * scale, scale, scale, colour)
            x += width * scale

    def bar(self, filled_cells):
        y = BAR_ROW * CELL_HEIGHT + 3
        split = (BAR_FROM + filled_cells) * CELL_WIDTH
        self.fill(BAR_FROM * CELL_WIDTH, y, split - BAR_FROM * CELL_WIDTH, 10, GREEN)
        self.fill(split, y, BAR_TO * CELL_WIDTH - split, 10, DARK_GRAY)

    def save(self, path):
        pathlib.Path(path).write_bytes(b"P6\n# drawn by a test\n640 480\n255\n" + self.pixels)
        return read_ppm(path)


class DrawnScreens(unittest.TestCase):
    """The progress screen with 0, 20 and 41 of the bar's 64 cells filled."""

    @classmethod
    def setUpClass(cls):
        cls.font = vga_screen.unifont()
        glyphs = unifont_hex()
        temp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(temp.cleanup)
        cls.screens = []
        for filled in (0, 20, 41):
            canvas = Canvas()
            canvas.text(glyphs, *LINE_AT, LINE, YELLOW)
            canvas.text(glyphs, *HINT_AT, HINT, LIGHT_GRAY)
            canvas.text(glyphs, *BIG_AT, BIG, WHITE, scale=BIG_SCALE)
            canvas.bar(filled)
            # The percentage right after the bar, one blank cell away.
            canvas.text(glyphs, BAR_ROW, BAR_TO + 1, "45%", LIGHT_GRAY)
            cls.screens.append(canvas.save(f"{temp.name}/{filled}.ppm"))
        cls.empty, cls.early, cls.later = cls.screens

    def test_cells_and_pixels(self):
        screen = self.early
        self.assertEqual((len(screen.cells()), len(screen.cells()[0])), (30, 80))
        # The middle bar of the hint's E (7C: ink in columns 1 to 5).
        y = HINT_AT[0] * CELL_HEIGHT + 8
        self.assertEqual([screen.ink(x, y) for x in range(8)], [0 < x < 6 for x in range(8)])
        self.assertEqual(screen.colour(5, y), LIGHT_GRAY)
        cells = vga_screen.render_cells(self.font, LINE)
        self.assertEqual(len(cells), 2 + 7 * 2 + 1 + 3)
        # The fullwidth colon's dots sit across the middle of its two cells.
        self.assertEqual((cells[2][6], cells[3][6]), (0x03, 0xC0))
        with self.assertRaisesRegex(vga_screen.MissingGlyph, r"U\+E000"):
            vga_screen.render_cells(self.font, "a\ue000")

    def test_text_found_where_drawn_and_only_there(self):
        screen = self.early
        self.assertEqual(screen.find_text(self.font, LINE), LINE_AT)
        self.assertEqual(screen.find_text(self.font, HINT), HINT_AT)
        # 检 follows H, F and three wide characters.
        self.assertEqual(screen.find_text(self.font, "检查"), (3, 13))
        for wrong in ("HF：正在检查镜象 45%", "HF：正在检查镜像 46%", "HF:正在检查镜像 45%",
                      "HF：正在检查镜像45%", "Esc：取消", "取消取消"):
            self.assertFalse(screen.has_text(self.font, wrong), wrong)

    def test_big_number(self):
        screen = self.early
        self.assertEqual(screen.find_big_number(self.font, BIG, BIG_SCALE), BIG_AT)
        self.assertEqual(screen.find_big_number(self.font, "5", BIG_SCALE), (10, 24))
        self.assertIsNone(screen.find_big_number(self.font, "46", BIG_SCALE))
        self.assertIsNone(screen.find_big_number(self.font, BIG, 3))

    def test_text_colour(self):
        screen = self.early
        cells = len(vga_screen.render_cells(self.font, LINE))
        self.assertEqual(screen.text_colour(*LINE_AT, cells), YELLOW)
        self.assertEqual(screen.text_colour(*HINT_AT, 5), LIGHT_GRAY)
        self.assertIsNone(screen.text_colour(0, 0, 80))
        with self.assertRaisesRegex(ValueError, "2 colours"):
            screen.text_colour(BAR_ROW, BAR_TO - 2, 6)

    def test_bar_grows_and_an_empty_one_needs_its_track(self):
        total = (BAR_TO - BAR_FROM) * CELL_WIDTH
        self.assertEqual(self.early.bar(BAR_ROW), (20 * CELL_WIDTH, total))
        self.assertEqual(self.later.bar(BAR_ROW), (41 * CELL_WIDTH, total))
        self.assertEqual(self.empty.bar(BAR_ROW), (total, total))
        self.assertEqual(self.empty.bar(BAR_ROW, track=DARK_GRAY), (0, total))
        self.assertEqual(self.early.bar(0), (0, 0))

    def test_dump_shows_ascii_and_marks_the_rest(self):
        lines = self.early.dump_text(self.font).splitlines()
        self.assertEqual(len(lines), 30)
        self.assertEqual(lines[3], " 3|     HF############## 45%")
        self.assertEqual(lines[28], "28|Esc: ####")


class PpmFiles(unittest.TestCase):

    def test_plain_ppm_and_a_short_file(self):
        with tempfile.TemporaryDirectory() as temp:
            plain = pathlib.Path(temp, "plain.ppm")
            plain.write_text("P3\n# two by two\n2 2\n15\n0 0 0  15 0 0\n0 0 15  0 0 0\n")
            screen = read_ppm(plain)
            self.assertEqual((screen.width, screen.height), (2, 2))
            self.assertEqual([screen.ink(x, y) for y in range(2) for x in range(2)],
                             [False, True, True, False])
            self.assertEqual(screen.colour(0, 1), (0, 0, 255))
            short = pathlib.Path(temp, "short.ppm")
            short.write_bytes(b"P6\n2 2\n255\n" + bytes(11))
            with self.assertRaisesRegex(ValueError, "11 samples"):
                read_ppm(short)


if __name__ == "__main__":
    unittest.main()
