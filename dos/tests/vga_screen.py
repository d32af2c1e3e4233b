"""Reading what BF.COM and HF.COM drew in VGA mode 12h (640x480, 16 colours)
from a QEMU screendump, against GNU Unifont's glyphs.

Standard library only.

The programs draw on an 80x30 grid of 8x16-pixel cells over a black
background: every non-black pixel is ink, whatever its colour. A character
whose Unifont glyph is 8 pixels wide takes one cell, a 16-wide one (Chinese)
two. A cell is compared as a 16-tuple of 8-bit row masks, the most
significant bit the leftmost pixel, as Unifont writes its rows; the text a
test expects is rendered into such cells straight from unifont.hex, so a
match says the glyphs on the screen are the font's glyphs for that text.
"""

import functools
import pathlib

UNIFONT = "/usr/share/unifont/unifont.hex"
CELL_WIDTH = 8
CELL_HEIGHT = 16
BLANK = (0,) * CELL_HEIGHT

# Eight ink flags (bytes of 0 or 1, leftmost pixel first) -> their row mask.
_ROW_MASK = {bytes((mask >> (7 - bit)) & 1 for bit in range(8)): mask for mask in range(256)}
# A sample -> 1 if it is not black.
_INK = bytes([0] + [1] * 255)


class MissingGlyph(LookupError):
    """The font has no glyph for a character of the text."""


class Font:
    """Unifont's glyphs: the file is read on first use (about 57,000 lines)
    and each glyph is decoded when first asked for."""

    def __init__(self, path=UNIFONT):
        self.path = pathlib.Path(path)
        self._hex = None

    def _lines(self):
        if self._hex is None:
            table = {}
            with open(self.path, encoding="ascii") as file:
                for line in file:
                    code, _, bits = line.strip().partition(":")
                    if bits:
                        table[int(code, 16)] = bits
            self._hex = table
        return self._hex

    @functools.lru_cache(maxsize=None)
    def glyph(self, char):
        """(width, rows) of `char`: 16 row bitmaps of `width` (8 or 16)
        bits, the most significant the leftmost pixel."""
        bits = self._lines().get(ord(char))
        if bits is None:
            raise MissingGlyph(f"{self.path} has no glyph for U+{ord(char):04X} {char!r}")
        width = len(bits) * 4 // CELL_HEIGHT
        if width not in (8, 16) or len(bits) * 4 != width * CELL_HEIGHT:
            raise MissingGlyph(f"{self.path}: U+{ord(char):04X} is not an 8x16 or 16x16 glyph")
        step = width // 4
        return width, tuple(int(bits[i:i + step], 16) for i in range(0, len(bits), step))

    def bitmap(self, text):
        """(width in pixels, 16 rows) of `text` set glyph after glyph."""
        width, rows = 0, [0] * CELL_HEIGHT
        for char in text:
            glyph_width, glyph_rows = self.glyph(char)
            rows = [(row << glyph_width) | bits for row, bits in zip(rows, glyph_rows)]
            width += glyph_width
        return width, rows


@functools.lru_cache(maxsize=None)
def unifont(path=UNIFONT):
    """The Font of `path`, shared by all tests."""
    return Font(path)


def render_block(font, text, scale=1):
    """The cells `text` takes when each font pixel is drawn as a
    scale x scale square: `scale` rows of cells (lists of cell masks)."""
    width, rows = font.bitmap(text)
    if scale != 1:
        scaled = []
        for row in rows:
            wide = 0
            for x in range(width - 1, -1, -1):
                pixel = (row >> x) & 1
                for _ in range(scale):
                    wide = (wide << 1) | pixel
            scaled.extend([wide] * scale)
        rows, width = scaled, width * scale
    cols = width // CELL_WIDTH
    block = []
    for top in range(0, len(rows), CELL_HEIGHT):
        band = rows[top:top + CELL_HEIGHT]
        block.append([tuple((row >> (width - CELL_WIDTH * (col + 1))) & 0xFF for row in band)
                      for col in range(cols)])
    return block


def render_cells(font, text):
    """The cells of a line of `text`: one per 8-wide glyph, two (left and
    right half) per 16-wide one. Raises MissingGlyph for a character the
    font lacks."""
    return render_block(font, text)[0]


class Screen:
    """One screendump: pixels as RGB bytes, row after row."""

    def __init__(self, width, height, rgb):
        if len(rgb) != width * height * 3:
            raise ValueError(f"{width}x{height} needs {width * height * 3} bytes, not {len(rgb)}")
        self.width, self.height = width, height
        self.rgb = bytes(rgb)
        self.rows, self.cols = height // CELL_HEIGHT, width // CELL_WIDTH
        self._ink = None
        self._cells = None

    def colour(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])

    def ink(self, x, y):
        return self._ink_plane()[y * self.width + x] == 1

    def _ink_plane(self):
        """One byte per pixel: 1 where it is not black."""
        if self._ink is None:
            count = self.width * self.height
            red, green, blue = (int.from_bytes(self.rgb[i::3].translate(_INK), "big")
                                for i in range(3))
            self._ink = (red | green | blue).to_bytes(count, "big")
        return self._ink

    def cells(self):
        """The rows x cols grid (30x80 in mode 12h) of cell masks."""
        if self._cells is None:
            plane, width = self._ink_plane(), self.width
            lines = [[_ROW_MASK[plane[y * width + x:y * width + x + CELL_WIDTH]]
                      for x in range(0, self.cols * CELL_WIDTH, CELL_WIDTH)]
                     for y in range(self.rows * CELL_HEIGHT)]
            self._cells = [[tuple(lines[row * CELL_HEIGHT + y][col] for y in range(CELL_HEIGHT))
                            for col in range(self.cols)]
                           for row in range(self.rows)]
        return self._cells

    def find_block(self, block):
        """(row, col) of the first place, top to bottom and left to right,
        where the grid holds `block` (rows of cell masks); None if nowhere."""
        height, width = len(block), len(block[0]) if block else 0
        if not width:
            raise ValueError("nothing to look for")
        grid = self.cells()
        first = block[0][0]
        for row in range(self.rows - height + 1):
            for col in range(self.cols - width + 1):
                if grid[row][col] == first and all(
                        grid[row + i][col:col + width] == block[i] for i in range(height)):
                    return row, col
        return None

    def find_text(self, font, text):
        """(row, col) of the first cell of `text` drawn on one cell row;
        None if it is not on the screen. The text may be part of a longer
        line: give its blank cells (spaces) to pin its ends."""
        return self.find_block([render_cells(font, text)])

    def has_text(self, font, text):
        return self.find_text(font, text) is not None

    def find_big_number(self, font, digits, scale):
        """(row, col) of the top left cell of `digits` drawn with each font
        pixel a scale x scale square; None if it is not on the screen."""
        return self.find_block(render_block(font, digits, scale))

    def text_colour(self, row, col, length):
        """The one colour of the ink in `length` cells from (row, col);
        None if they hold no ink. Raises ValueError if the ink has several
        colours."""
        colours = set()
        for y in range(row * CELL_HEIGHT, (row + 1) * CELL_HEIGHT):
            for x in range(col * CELL_WIDTH, (col + length) * CELL_WIDTH):
                if self.ink(x, y):
                    colours.add(self.colour(x, y))
        if len(colours) > 1:
            raise ValueError(f"cells {col} to {col + length - 1} of row {row} have ink of "
                             f"{len(colours)} colours: {sorted(colours)}")
        return colours.pop() if colours else None

    def bar(self, row, track=None):
        """(filled, total) pixels of the progress bar on cell row `row`:
        total is the longest run of ink on the row's middle pixel line,
        filled its leading pixels in the run's first colour. An empty bar
        shows only its track, which this cannot tell from a full one:
        give the track's colour as `track` and filled counts the leading
        pixels of any other colour. (0, 0) if the line has no ink."""
        y = row * CELL_HEIGHT + CELL_HEIGHT // 2
        start = length = best_start = best_length = 0
        for x in range(self.width + 1):
            if x < self.width and self.ink(x, y):
                if not length:
                    start = x
                length += 1
                continue
            if length > best_length:
                best_start, best_length = start, length
            length = 0
        if not best_length:
            return 0, 0
        first = self.colour(best_start, y)
        filled = 0
        for x in range(best_start, best_start + best_length):
            colour = self.colour(x, y)
            if (colour == track) if track is not None else (colour != first):
                break
            filled += 1
        return filled, best_length

    def dump_text(self, font):
        """The grid as text for failure messages: a cell holding a printable
        ASCII glyph is that character, a blank cell a space, other ink '#'.
        Each line starts with its row number."""
        known = {}
        for code in range(0x21, 0x7F):
            cells = render_cells(font, chr(code))
            if len(cells) == 1:
                known.setdefault(cells[0], chr(code))
        known[BLANK] = " "
        return "\n".join(f"{row:2}|" + "".join(known.get(cell, "#") for cell in cells).rstrip()
                         for row, cells in enumerate(self.cells()))


def read_ppm(path):
    """The Screen of a PPM file: binary (P6, as QEMU's screendump writes it)
    or plain (P3); samples above 255 are not read."""
    data = pathlib.Path(path).read_bytes()
    fields, at = [], 0
    while len(fields) < 4:
        while at < len(data) and data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.find(b"\n", at)
            at = len(data) if at < 0 else at
            continue
        end = at
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        if end == at:
            raise ValueError(f"{path}: the PPM header ends early")
        fields.append(data[at:end])
        at = end
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if maxval < 1 or maxval > 255:
        raise ValueError(f"{path}: samples of maxval {maxval} are not read")
    count = width * height * 3
    if magic == b"P6":
        samples = data[at + 1:at + 1 + count]
    elif magic == b"P3":
        samples = bytes(int(word) for word in data[at:].split()[:count])
    else:
        raise ValueError(f"{path}: not a PPM file ({magic[:2]!r})")
    if len(samples) != count:
        raise ValueError(f"{path}: {len(samples)} samples, {width}x{height} needs {count}")
    if maxval != 255:
        samples = bytes(sample * 255 // maxval for sample in samples)
    return Screen(width, height, samples)
