"""BF and HF in Chinese on the lab's PC (SeaBIOS's VGA, FreeDOS): what a
user sees after the restart into DOS, read from QEMU's screendumps.

The expected texts are written here and drawn from GNU Unifont's .hex file
by vga_screen, independently of the programs' catalogue and renderer: a
text is found when the screen's cells hold exactly the font's glyphs for
it. The other lab tests run the programs with ORVANE_LANG=EN and read the
text screen.

Screens of every run stay in build/dos-lab/ChineseScreens/<run>/.
"""

import pathlib
import random
import tempfile
import unittest

import qemu_harness as lab
import qemu_test
import vga_screen
from qemu_test import IMAGE

MB = 1 << 20
FONT = vga_screen.unifont()
# Where the programs draw: the bar fills columns 10 to 69 of its row; the
# countdown's digits are four cells a font pixel row, from column 2.
BAR_END_X = 70 * 8 - 1
COUNTDOWN_SCALE = 4

BF_TITLE = "Orvane BF 1.0：把 C 盘备份到镜像文件。"
HF_TITLE = "Orvane HF 1.0：用镜像文件恢复 C 盘。"


def reddish(colour):
    r, g, b = colour
    return r > 200 and g < 150 and b < 150


def yellowish(colour):
    r, g, b = colour
    return r > 200 and g > 200 and b < 150


def greenish(colour):
    r, g, b = colour
    return g > 200 and r < 150 and b < 150


class ChineseScreens(unittest.TestCase):
    """One backup watched as it runs; each later test on a copy of the
    disks it left."""
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="orvane-lab-")
        cls.folder = pathlib.Path(cls.temp.name)
        cls.screens = lab.LAB_DIR / cls.__name__
        rng = random.Random(23)
        cls.c, cls.d = qemu_test.make_disks(cls.folder, 2 << 30, 32, lab.FAT32_LBA,
                                            image_disk_size=4 << 30)
        lab.make_folder(cls.c, "/Documents")
        for i in range(12):
            lab.put(cls.c, f"/Documents/Report {i + 1}.doc", rng.randbytes(MB))
        qemu_test.hand_over(cls.c, "BF")
        with lab.Machine(cls.screens, [cls.c, cls.d], name="backup", timeout=300,
                         chinese=True) as machine:
            cls.label, _ = machine.wait_for_text("写入镜像  ", timeout=120)
            row = cls.label[0]
            cls.first_bar, cls.bar_screen = machine.wait_for_drawing(
                lambda s: cls.bar_of(s, row) if 0 < cls.bar_of(s, row)[0] < 400 else None,
                "the bar begun")
            cls.second_bar, _ = machine.wait_for_drawing(
                lambda s: cls.bar_of(s, row) if cls.bar_of(s, row)[0] > cls.first_bar[0] else None,
                "the bar grown")
            cls.backup = machine.wait_end()
        cls.track = cls.bar_screen.colour(BAR_END_X, row * 16 + 8)
        cls.last_backup_screen = vga_screen.read_ppm(cls.backup.folder / "screen.ppm")
        cls.after_backup = lab.listing(cls.c)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    @staticmethod
    def bar_of(screen, row):
        """(filled, total) of the bar on `row`; its right end is the track
        until it is full."""
        return screen.bar(row, track=screen.colour(BAR_END_X, row * 16 + 8))

    def copies(self):
        folder = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="orvane-lab-")))
        return [lab.copy_disk(disk, folder / disk.path.name) for disk in (self.c, self.d)]

    def assertShows(self, screen, text, colour=None):
        where = screen.find_text(FONT, text)
        self.assertIsNotNone(where, f"{text!r} is not on the screen:\n{screen.dump_text(FONT)}")
        if colour:
            ink = screen.text_colour(*where, len(vga_screen.render_cells(FONT, text)))
            self.assertTrue(colour(ink), f"{text!r} is drawn in {ink}")
        return where

    def test_backup_draws_its_messages_and_a_bar_that_grows(self):
        self.assertEqual(self.backup.how, "restarted", self.backup)
        screen = self.bar_screen
        self.assertEqual(self.assertShows(screen, BF_TITLE), (0, 0))
        self.assertShows(screen, "镜像文件：D:\\BACKUP\\2026-1~1.GHO")
        self.assertShows(screen, "正在写入镜像。请不要关闭电脑。", yellowish)
        self.assertShows(screen, " MB，共 ")
        # The bar is 480 pixels; it grew while BF wrote.
        self.assertEqual(self.first_bar[1], 480)
        self.assertGreater(self.second_bar[0], self.first_bar[0])
        last = self.last_backup_screen
        self.assertShows(last, "校验镜像  ")
        self.assertShows(last, "备份完成并已校验：", greenish)
        self.assertShows(last, "正在重启电脑……")
        self.assertEqual(last.bar(self.label[0], track=self.track), (480, 480))

    def test_restore_counts_down_in_large_digits_and_brings_drive_c_back(self):
        c, d = self.copies()
        lab.put(c, "/Documents/Report 1.doc", b"changed since the backup")
        qemu_test.hand_over(c, "HF")
        with lab.Machine(self.screens, [c, d], name="restore", timeout=300,
                         chinese=True) as machine:
            machine.wait_for_text("C 盘将被覆盖。按 Esc 键取消。")

            def count(screen):
                for n in range(10, 0, -1):
                    if screen.find_big_number(FONT, str(n), COUNTDOWN_SCALE):
                        return n
                return None
            first, screen = machine.wait_for_drawing(count, "the countdown")
            self.assertShows(screen, " 秒后开始恢复")
            self.assertShows(screen, HF_TITLE)
            later, _ = machine.wait_for_drawing(lambda s: (count(s) or 99) < first and count(s),
                                                "the countdown going down")
            self.assertLess(later, first)
            outcome = machine.wait_end()
        self.assertEqual(outcome.how, "restarted", outcome)
        last = vga_screen.read_ppm(outcome.folder / "screen.ppm")
        self.assertShows(last, "恢复完成：已向 C 盘写入 ", greenish)
        self.assertEqual(lab.listing(c), self.after_backup, "drive C is as the backup found it")
        for disk in (c, d):
            clean, report = lab.fsck(disk)
            self.assertTrue(clean, report)

    def test_a_damaged_image_is_refused_in_red_with_what_to_do_in_yellow(self):
        c, d = self.copies()
        image = bytearray(lab.read(d, IMAGE))
        image[len(image) // 2] ^= 0x01
        lab.overwrite(d, IMAGE, bytes(image))
        lab.put(c, "/Documents/Report 1.doc", b"changed since the backup")
        qemu_test.hand_over(c, "HF")
        before = c.digest()
        with lab.Machine(self.screens, [c, d], name="damaged", timeout=300,
                         chinese=True) as machine:
            _, screen = machine.wait_for_text("按任意键重启电脑（60 秒后会自动重启）。")
            self.assertShows(screen, "HF 失败：这个镜像无法使用。", reddish)
            self.assertShows(screen, "镜像已损坏（校验和不符）。", reddish)
            self.assertShows(screen, "C 盘没有任何改动。", yellowish)
            machine.send_key("spc")
            outcome = machine.wait_end()
        self.assertEqual(outcome.how, "restarted", outcome)
        # Only the boot files changed back: the changed file is as it was.
        self.assertNotEqual(c.digest(), before)
        self.assertEqual(lab.read(c, "/Documents/Report 1.doc"), b"changed since the backup")
        self.assertEqual(lab.read(c, "/BOOT.INI"), qemu_test.USER_MENU)

    def test_english_where_asked_and_text_mode_again_on_return(self):
        c, d = self.copies()
        runs = {}
        for language in ("EN", None):
            environment = {"ORVANE_UNATTENDED": "1"}
            if language:
                environment["ORVANE_LANG"] = language
            runs[language] = lab.run(self.screens / "no-image", [c, d], name=str(language),
                                     commands=("C:\\ORVANE\\HF",), environment=environment,
                                     chinese=language is None, timeout=120)
        english, chinese = runs["EN"], runs[None]
        self.assertEqual((english.how, english.exit_code), ("returned", 1), english)
        self.assertTrue(lab.shows(english.screen, "HF failed: No image file was named."), english)
        # The Chinese run drew its message and went back to text mode
        # before DOS printed its exit code: the text screen has only that.
        self.assertEqual((chinese.how, chinese.exit_code), ("returned", 1), chinese)
        self.assertNotIn("No image file", chinese.screen)


if __name__ == "__main__":
    unittest.main()
