#!/usr/bin/env python3
"""Draws the Orvane icon and writes app/orvane.ico.

The icon shows a drive box, a diskette in front of it and a green U-turn
arrow turning back (restore). Each of the three sizes (48, 32, 16) is laid
out on its own pixel grid so that edges and outlines fall on whole pixels, then
rendered with 8x8 supersampling from signed distance functions. Every image
gets its own 256-entry palette (index 0 is the transparent black, unused
entries stay zero) and a 1-bit AND mask.

Only the standard library is used and the output is deterministic:

    python3 tools/make_icon.py [output.ico]
"""

import math
import os
import struct
import sys

SUPERSAMPLE = 8

# Base colours; anti-aliased edges and gradients add blends of these.
OUTLINE = (38, 42, 50)
DRIVE_TOP = (238, 241, 245)
DRIVE_FRONT_HI = (214, 219, 226)
DRIVE_FRONT_LO = (164, 171, 182)
BAY = (92, 100, 112)
SLOT = (30, 33, 39)
LED = (64, 214, 92)
DISK_OUTLINE = (18, 38, 84)
DISK_HI = (66, 124, 214)
DISK_LO = (36, 82, 164)
SHUTTER_HI = (226, 230, 236)
SHUTTER_LO = (164, 172, 184)
SHUTTER_HOLE = (54, 60, 72)
LABEL = (252, 252, 250)
LABEL_LINE = (150, 166, 190)
ARROW_OUTLINE = (16, 86, 36)
ARROW_HI = (98, 210, 104)
ARROW_LO = (40, 158, 62)


# --- signed distance functions (pixel units, y grows downwards) -------------


def sd_box(x0, y0, x1, y1, r=0.0):
    """Rectangle [x0,x1]x[y0,y1] with corner radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return f, (x0, y0, x1, y1)


def sd_polygon(points):
    n = len(points)

    def f(x, y):
        vx, vy = points[0]
        d = (x - vx) ** 2 + (y - vy) ** 2
        s = 1.0
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = min(max(t, 0.0), 1.0)
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1 = y >= yi
            c2 = y < yj
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                s = -s
            j = i
        return s * math.sqrt(d)

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return f, (min(xs), min(ys), max(xs), max(ys))


def _segment_distance(x, y, ax, ay, bx, by):
    ex, ey = bx - ax, by - ay
    t = ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - ax - ex * t, y - ay - ey * t)


def union(*shapes):
    fs = [s[0] for s in shapes]

    def f(x, y):
        return min(g(x, y) for g in fs)

    boxes = [s[1] for s in shapes]
    return f, (min(b[0] for b in boxes), min(b[1] for b in boxes),
               max(b[2] for b in boxes), max(b[3] for b in boxes))


# --- paints -----------------------------------------------------------------


def solid(colour):
    return lambda x, y: colour


def vgradient(top, bottom, y0, y1):
    span = max(y1 - y0, 1e-9)

    def paint(x, y):
        t = min(max((y - y0) / span, 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))

    return paint


def dgradient(light, dark, x0, y0, x1, y1):
    """Linear gradient from the top-left corner (light) to bottom-right."""
    dx, dy = x1 - x0, y1 - y0
    norm = dx * dx + dy * dy

    def paint(x, y):
        t = min(max(((x - x0) * dx + (y - y0) * dy) / norm, 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(light, dark))

    return paint


class Scene:
    """Opaque layers, painted back to front."""

    def __init__(self):
        self.layers = []

    def fill(self, shape, paint, inset=0.0):
        """Fills where the shape's distance is <= -inset."""
        if isinstance(paint, tuple):
            paint = solid(paint)
        self.layers.append((shape[0], shape[1], -inset, paint))

    def outlined(self, shape, border, paint, width=1.0):
        self.fill(shape, border)
        self.fill(shape, paint, inset=width)

    def sample(self, x, y):
        for f, (x0, y0, x1, y1), limit, paint in reversed(self.layers):
            if x0 - 1 <= x <= x1 + 1 and y0 - 1 <= y <= y1 + 1 and f(x, y) <= limit:
                return paint(x, y)
        return None


# --- artwork ----------------------------------------------------------------


def draw_drive(sc, x0, y0, x1, y1, depth, detail):
    """Box seen slightly from above: a top face of the given depth over a
    front face spanning [x0,x1]x[y0+depth,y1]."""
    front_top = y0 + depth
    if depth > 0:
        inset = depth * 0.6
        top = sd_polygon([(x0 + inset, y0), (x1 - inset, y0), (x1, front_top + 1),
                          (x0, front_top + 1)])
        sc.outlined(top, OUTLINE, DRIVE_TOP)
    front = sd_box(x0, front_top, x1, y1, r=detail["radius"])
    sc.outlined(front, OUTLINE, vgradient(DRIVE_FRONT_HI, DRIVE_FRONT_LO, front_top, y1))
    if "bay" in detail:
        bx0, by0, bx1, by1 = detail["bay"]
        sc.fill(sd_box(bx0, by0, bx1, by1), BAY)
    sx0, sy0, sx1, sy1 = detail["slot"]
    sc.fill(sd_box(sx0, sy0, sx1, sy1), SLOT)
    lx0, ly0, lx1, ly1 = detail["led"]
    sc.fill(sd_box(lx0, ly0, lx1, ly1), LED)


def draw_diskette(sc, x0, y0, size, d):
    x1, y1 = x0 + size, y0 + size
    cut = d["cut"]
    body = sd_polygon([(x0, y0), (x1 - cut, y0), (x1, y0 + cut), (x1, y1), (x0, y1)])
    sc.outlined(body, DISK_OUTLINE, dgradient(DISK_HI, DISK_LO, x0, y0, x1, y1))
    sx0, sx1, sy1 = d["shutter"]
    shutter = sd_box(sx0, y0, sx1, sy1)
    sc.outlined(shutter, DISK_OUTLINE, vgradient(SHUTTER_HI, SHUTTER_LO, y0, sy1))
    hx0, hy0, hx1, hy1 = d["hole"]
    sc.fill(sd_box(hx0, hy0, hx1, hy1), SHUTTER_HOLE)
    lx0, ly0, lx1 = d["label"]
    # The label sits on the bottom edge and shares the body's outline there.
    sc.outlined(sd_box(lx0, ly0, lx1, y1), DISK_OUTLINE, LABEL)
    for ly in d.get("label_lines", ()):
        sc.fill(sd_box(lx0 + 2, ly, lx1 - 2, ly + 1), LABEL_LINE)


def draw_hook(sc, x_tail, x_turn, y_top, y_bot, width, x_head, head_len, head_half,
              outline):
    """U-turn arrow: runs right along y_bot from x_tail, turns back up around a
    half circle and runs left along y_top into a head pointing left."""
    radius = (y_bot - y_top) / 2
    cy = (y_top + y_bot) / 2
    half = width / 2

    def path(x, y):
        if x >= x_turn:
            d = abs(math.hypot(x - x_turn, y - cy) - radius)
        else:
            d = min(_segment_distance(x, y, x_tail, y_bot, x_turn, y_bot),
                    _segment_distance(x, y, x_head, y_top, x_turn, y_top))
        return max(d - half, x_tail - x)

    body = (path, (x_head, y_top - half, x_turn + radius + half, y_bot + half))
    head = sd_polygon([(x_head + 0.5, y_top - head_half), (x_head - head_len, y_top),
                       (x_head + 0.5, y_top + head_half)])
    shape = union(body, head)
    x0, y0, x1, y1 = shape[1]
    paint = dgradient(ARROW_HI, ARROW_LO, x0, y0, x1, y1)
    if outline:
        sc.outlined(shape, ARROW_OUTLINE, paint, width=outline)
    else:
        sc.fill(shape, paint)


def scene_48():
    sc = Scene()
    draw_drive(sc, 7, 4, 47, 24, 5, {
        "radius": 2.0,
        "bay": (27, 13, 43, 16),
        "slot": (28, 14, 42, 15),
        "led": (39, 19, 43, 21),
    })
    draw_diskette(sc, 1, 22, 24, {
        "cut": 4,
        "shutter": (7, 19, 31),
        "hole": (14, 24, 17, 29),
        "label": (4, 34, 22),
        "label_lines": (37, 40),
    })
    draw_hook(sc, 28, 40, 33, 43, 4.0, 32.5, 5.5, 6.0, 1.0)
    return sc


def scene_32():
    sc = Scene()
    draw_drive(sc, 4, 3, 32, 16, 3, {
        "radius": 1.5,
        "bay": (18, 9, 29, 11),
        "slot": (18, 9, 29, 10),
        "led": (26, 12, 29, 14),
    })
    draw_diskette(sc, 0, 15, 16, {
        "cut": 3,
        "shutter": (5, 12, 21),
        "hole": (9, 16, 11, 19),
        "label": (3, 23, 14),
        "label_lines": (25,),
    })
    draw_hook(sc, 19, 25.5, 21, 28, 4.0, 22.5, 4.0, 4.0, 1.0)
    return sc


def scene_16():
    sc = Scene()
    draw_drive(sc, 2, 1, 16, 7, 0, {
        "radius": 0.0,
        "slot": (9, 3, 14, 4),
        "led": (12, 5, 14, 6),
    })
    draw_diskette(sc, 0, 7, 9, {
        "cut": 2,
        "shutter": (2, 7, 11),
        "hole": (5, 8, 6, 10),
        "label": (2, 12, 7),
    })
    draw_hook(sc, 10, 13, 10, 14, 2.0, 12, 2.5, 3.0, 0.0)
    return sc


SCENES = {48: scene_48, 32: scene_32, 16: scene_16}


# --- rasterising and quantising ---------------------------------------------


def render(scene, size):
    """Returns rows of (r, g, b) tuples, or None where the pixel is transparent."""
    n = SUPERSAMPLE
    offsets = [(k + 0.5) / n for k in range(n)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = 0.0
            hits = 0
            for oy in offsets:
                for ox in offsets:
                    c = scene.sample(px + ox, py + oy)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        hits += 1
            if hits * 2 < n * n:
                row.append(None)
            else:
                row.append((round(r / hits), round(g / hits), round(b / hits)))
        rows.append(row)
    return rows


def _median_cut(colours, counts, boxes_wanted):
    boxes = [sorted(colours)]
    while len(boxes) < boxes_wanted:
        best, best_range, best_axis = None, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_axis = i, spread, axis
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda c: (c[best_axis], c))
        total = sum(counts[c] for c in box)
        acc, cut = 0, 1
        for k, c in enumerate(box[:-1]):
            acc += counts[c]
            if acc * 2 >= total:
                cut = k + 1
                break
        boxes[best:best] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        w = sum(counts[c] for c in box)
        palette.append(tuple(round(sum(c[a] * counts[c] for c in box) / w) for a in range(3)))
    return palette


def quantise(rows):
    """Returns (palette, index rows). Index 0 is black and marks transparent
    pixels; opaque pixels use indices 1..255."""
    counts = {}
    for row in rows:
        for c in row:
            if c is not None:
                counts[c] = counts.get(c, 0) + 1
    colours = sorted(counts)
    if len(colours) > 255:
        colours = sorted(set(_median_cut(colours, counts, 255)))
    colours.sort(key=lambda c: (c[0] * 299 + c[1] * 587 + c[2] * 114, c))
    palette = [(0, 0, 0)] + colours
    lookup = {}

    def index_of(c):
        if c not in lookup:
            lookup[c] = 1 + min(range(len(colours)),
                                key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], c)))
        return lookup[c]

    indices = [[0 if c is None else index_of(c) for c in row] for row in rows]
    return palette, indices


# --- ICO encoding -----------------------------------------------------------


def encode_image(size, palette, indices):
    """BITMAPINFOHEADER, 256-entry palette, 8-bit XOR bitmap and 1-bit AND
    mask, rows bottom-up and padded to 32 bits."""
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(indices):
        xor += bytes(row) + bytes(xor_stride - size)
        bits = bytearray(and_stride)
        for x, i in enumerate(row):
            if i == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal = bytearray(256 * 4)
    for k, (r, g, b) in enumerate(palette):
        pal[k * 4:k * 4 + 3] = bytes((b, g, r))
    return header + bytes(pal) + bytes(xor) + bytes(mask)


def build_ico(sizes=(48, 32, 16)):
    images = []
    for size in sizes:
        palette, indices = quantise(render(SCENES[size](), size))
        images.append((size, encode_image(size, palette, indices)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = argv[1] if len(argv) > 1 else os.path.join(root, "app", "orvane.ico")
    data = build_ico()
    with open(target, "wb") as f:
        f.write(data)
    print(f"wrote {target} ({len(data)} bytes)")


if __name__ == "__main__":
    main(sys.argv)
