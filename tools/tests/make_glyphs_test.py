#!/usr/bin/env python3
"""tools/make-glyphs: the catalogue is whole in both languages and every
character of its Chinese texts has a glyph, or the build stops; the
glyphs it writes are the font's own."""
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = ROOT / "tools" / "make-glyphs"
CATALOGUE = ROOT / "dos" / "engine" / "messages.def"
FONT = pathlib.Path("/usr/share/unifont/unifont.hex")


def font_bits(character):
    code = f"{ord(character):04X}:"
    for line in FONT.read_text(encoding="ascii").splitlines():
        if line.startswith(code):
            return bytes.fromhex(line[len(code):])
    raise LookupError(character)


class MakeGlyphs(unittest.TestCase):
    def run_tool(self, *args):
        return subprocess.run([sys.executable, str(TOOL), *map(str, args)], capture_output=True,
                              text=True)

    def catalogue(self, text):
        path = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory())) / "messages.def"
        path.write_text(text, encoding="utf-8")
        return path

    def test_the_catalogue_is_whole_in_both_languages(self):
        checked = self.run_tool("--check", CATALOGUE, FONT)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        # Every id the programs name is in the catalogue.
        ids = set(re.findall(r"^MSG\((k\w+),", CATALOGUE.read_text(encoding="utf-8"), re.M))
        used = set()
        for source in (ROOT / "dos").glob("*.cpp"):
            used |= set(re.findall(r"Msg::(k\w+)", source.read_text(encoding="utf-8")))
        self.assertLessEqual(used - {"kCount"}, ids)

    def test_what_would_draw_wrong_stops_the_build(self):
        cases = {
            "no glyph": ('MSG(kA, "A", "盘\ue000")\n', "no glyph for '\\ue000' (U+E000)"),
            "no Chinese": ('MSG(kA, "A")\n', "wants an English and a Chinese text"),
            "English not ASCII": ('MSG(kA, "Ä", "盘")\n', "not printable ASCII"),
            "arguments differ": ('MSG(kA, "{} of {}", "{}盘")\n', "different arguments"),
            "untranslated": ('MSG(kA, "Drive C", "Drive C")\n', "no Chinese in it"),
            "named twice": ('MSG(kA, "A", "盘")\nMSG(kA, "B", "盘")\n', "named twice"),
        }
        for name, (text, why) in cases.items():
            with self.subTest(name):
                out = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory())) / "zh.cpp"
                made = self.run_tool(self.catalogue(text), FONT, out)
                self.assertEqual(made.returncode, 1, made.stdout)
                self.assertIn(why, made.stderr)
                self.assertFalse(out.exists(), "no source is written")

    def test_the_glyphs_written_are_the_fonts(self):
        out = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory())) / "zh.cpp"
        text = 'MSG(kA, "Line one,\\n" "line \\"two\\"", "第一行，\\n“第二行”……")\n'
        made = self.run_tool(self.catalogue(text), FONT, out)
        self.assertEqual(made.returncode, 0, made.stderr)
        source = out.read_text(encoding="utf-8")
        self.assertIn('"第一行，\\n“第二行”……"', source)
        codes = [int(c, 16) for c in re.findall(r"0x([0-9A-F]{4})",
                                                 source.split("kCodes[] = {")[1].split("};")[0])]
        self.assertEqual(codes, sorted(ord(c) for c in set("第一行，“第二行”……")))
        glyphs = re.findall(r"\{([^{}]*)\}", source.split("kGlyphs[][32] = {")[1].split("};")[0])
        widths = re.findall(r"\d+", source.split("kWidths[] = {")[1].split("};")[0])
        for code, glyph, width in zip(codes, glyphs, widths):
            bits = bytes(int(b, 16) for b in glyph.split(","))
            font = font_bits(chr(code))
            # Wide: two bytes a row; narrow: one, then an unused byte.
            expected = font if len(font) == 32 else bytes(b for row in font for b in (row, 0))
            self.assertEqual(bits, expected, chr(code))
            self.assertEqual(int(width), len(font) // 2, chr(code))
        self.assertEqual(int(widths[codes.index(ord("“"))]), 8, "a narrow glyph beyond ASCII")


if __name__ == "__main__":
    unittest.main()
