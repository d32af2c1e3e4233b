#!/usr/bin/env python3
"""Checks app/orvane.ico and optionally renders its images to PNG.

    python3 tools/check_icon.py [--png DIR] [icon.ico]

Verifies the ICO directory and each 8-bit image (header, palette, XOR bitmap,
AND mask), and that tools/make_icon.py still produces the same bytes. With
--png, writes each image as DIR/orvane-<size>.png and an enlarged preview on
light and dark backgrounds as DIR/orvane-preview.png.
"""

import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXPECTED_SIZES = (48, 32, 16)


class IconError(Exception):
    pass


def require(cond, message):
    if not cond:
        raise IconError(message)


def parse_image(size, data):
    """Returns rows of (r, g, b, a) for one directory entry's data."""
    require(len(data) >= 40, f"{size}: image shorter than BITMAPINFOHEADER")
    (bi_size, width, height, planes, bpp, compression, _size_image, _xppm, _yppm,
     clr_used, _clr_important) = struct.unpack_from("<IiiHHIIiiII", data)
    require(bi_size == 40, f"{size}: biSize {bi_size}")
    require(width == size, f"{size}: biWidth {width}")
    require(height == 2 * size, f"{size}: biHeight {height}, want {2 * size}")
    require(planes == 1, f"{size}: biPlanes {planes}")
    require(bpp == 8, f"{size}: biBitCount {bpp}")
    require(compression == 0, f"{size}: biCompression {compression}")
    require(clr_used in (0, 256), f"{size}: biClrUsed {clr_used}")

    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    want = 40 + 256 * 4 + xor_stride * size + and_stride * size
    require(len(data) == want, f"{size}: {len(data)} bytes of image data, want {want}")

    pal_raw = data[40:40 + 1024]
    palette = []
    for k in range(256):
        b, g, r, reserved = pal_raw[k * 4:k * 4 + 4]
        require(reserved == 0, f"{size}: palette entry {k} has reserved byte {reserved}")
        palette.append((r, g, b))
    xor = data[40 + 1024:40 + 1024 + xor_stride * size]
    mask = data[40 + 1024 + xor_stride * size:]

    rows = [None] * size
    used = set()
    for y in range(size):
        line = xor[y * xor_stride:(y + 1) * xor_stride]
        bits = mask[y * and_stride:(y + 1) * and_stride]
        require(not any(line[size:]), f"{size}: XOR row {y} has non-zero padding")
        row = []
        for x in range(size):
            transparent = bits[x >> 3] & (0x80 >> (x & 7))
            index = line[x]
            if transparent:
                # The screen is ANDed with the mask and then XORed with the
                # colour: anything but black would show through.
                require(palette[index] == (0, 0, 0),
                        f"{size}: transparent pixel ({x},{y}) is not black")
                row.append((0, 0, 0, 0))
            else:
                used.add(index)
                row.append(palette[index] + (255,))
        for x in range(size, and_stride * 8):
            require(not bits[x >> 3] & (0x80 >> (x & 7)),
                    f"{size}: AND row {y} has bits set in the padding")
        rows[size - 1 - y] = row  # stored bottom-up
    top = max(used | {0})
    require(not any(any(c) for c in palette[top + 1:]),
            f"{size}: palette entries past {top} are not zero")

    opaque = sum(1 for row in rows for p in row if p[3])
    require(opaque * 3 >= size * size, f"{size}: only {opaque} opaque pixels")
    for x, y in ((0, 0), (size - 1, size - 1)):
        require(rows[y][x][3] == 0, f"{size}: corner ({x},{y}) is opaque")
    q = size // 4
    middle = [rows[y][x][3] for y in range(q, size - q) for x in range(q, size - q)]
    require(middle.count(255) * 2 > len(middle), f"{size}: the middle is mostly transparent")
    return rows


def parse_ico(blob):
    """Returns {size: rows}."""
    require(len(blob) >= 6, "file shorter than ICONDIR")
    reserved, kind, count = struct.unpack_from("<HHH", blob)
    require(reserved == 0 and kind == 1, f"ICONDIR reserved={reserved} type={kind}")
    require(count == len(EXPECTED_SIZES), f"{count} images, want {len(EXPECTED_SIZES)}")
    require(len(blob) >= 6 + 16 * count, "file shorter than its directory")
    images = {}
    spans = []
    for k in range(count):
        w, h, colours, res, planes, bpp, length, offset = struct.unpack_from(
            "<BBBBHHII", blob, 6 + 16 * k)
        size = w or 256
        require(w == h, f"entry {k}: {w}x{h} is not square")
        require(size in EXPECTED_SIZES and size not in images, f"entry {k}: size {size}")
        require(colours == 0, f"{size}: bColorCount {colours}, want 0 for 256 colours")
        require(res == 0, f"{size}: bReserved {res}")
        require(planes == 1, f"{size}: wPlanes {planes}")
        require(bpp == 8, f"{size}: wBitCount {bpp}")
        require(offset + length <= len(blob), f"{size}: data runs past the end of the file")
        spans.append((offset, offset + length))
        images[size] = parse_image(size, blob[offset:offset + length])
    spans.sort()
    require(spans[0][0] == 6 + 16 * count, "image data does not follow the directory")
    for (_, end), (start, _) in zip(spans, spans[1:]):
        require(end == start, "image data overlaps or leaves a gap")
    require(spans[-1][1] == len(blob), "trailing bytes after the last image")
    return images


# --- PNG output -------------------------------------------------------------


def png_bytes(rows):
    def chunk(tag, payload):
        body = tag + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def preview(images, scale=8, gap=8):
    """Every image enlarged, first over a light then over a dark background."""
    backgrounds = ((240, 240, 240), (48, 52, 60))
    sizes = sorted(images, reverse=True)
    width = sum(s * scale + gap for s in sizes) + gap
    band = max(sizes) * scale + 2 * gap
    sheet = []
    for bg in backgrounds:
        for _ in range(band):
            sheet.append([bg + (255,)] * width)
    for b, bg in enumerate(backgrounds):
        x0 = gap
        for s in sizes:
            y0 = b * band + gap
            for y in range(s * scale):
                for x in range(s * scale):
                    px = images[s][y // scale][x // scale]
                    if px[3]:
                        sheet[y0 + y][x0 + x] = px
            x0 += s * scale + gap
    return sheet


def main(argv):
    args = argv[1:]
    png_dir = None
    if args[:1] == ["--png"]:
        png_dir = args[1]
        args = args[2:]
    path = args[0] if args else os.path.join(ROOT, "app", "orvane.ico")
    with open(path, "rb") as f:
        blob = f.read()
    try:
        images = parse_ico(blob)
    except IconError as e:
        print(f"{path}: {e}")
        return 1
    for size in sorted(images, reverse=True):
        colours = {p for row in images[size] for p in row if p[3]}
        print(f"{size}x{size}: 8 bpp, {len(colours)} colours, ok")

    sys.path.insert(0, os.path.join(ROOT, "tools"))
    sys.dont_write_bytecode = True
    import make_icon
    if make_icon.build_ico() != blob:
        print(f"{path}: differs from what tools/make_icon.py generates")
        return 1
    print("matches tools/make_icon.py output")

    if png_dir:
        os.makedirs(png_dir, exist_ok=True)
        for size, rows in images.items():
            with open(os.path.join(png_dir, f"orvane-{size}.png"), "wb") as f:
                f.write(png_bytes(rows))
        with open(os.path.join(png_dir, "orvane-preview.png"), "wb") as f:
            f.write(png_bytes(preview(images)))
        print(f"PNGs written to {png_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
