#!/usr/bin/env python3
"""Writes overlay.ico, the mark that the file manager lays over the icon of
every container file: a small blue badge in the lower-left corner with two
arrows pressing on a bar from both sides. The rest of each image is
transparent, so the file's own icon stays visible.

Images, in this order: 32x32 with 16 colours, 16x16 with 16 colours, 48x48
with 256 colours. The two small ones are drawn pixel by pixel so they stay
crisp; the large one is rendered from shapes with smoothed edges.

    python3 make_overlay_icon.py [OUTPUT]     (default: overlay.ico beside it)
"""
import os
import struct
import sys

# The 16 colours every display offers; the 4-bit images index into these.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Pixel-art legend: index into VGA16, None is transparent.
LEGEND = {'.': None, 'k': 0, 'b': 4, 'w': 15, 'y': 11}

BADGE_16 = [
    ".kkkkkkk.",
    "kbbbybbbk",
    "kwbbybbwk",
    "kwwbybwwk",
    "kwwwywwwk",
    "kwwbybwwk",
    "kwbbybbwk",
    "kbbbybbbk",
    ".kkkkkkk.",
]

BADGE_32 = [
    "..kkkkkkkkkkkk..",
    ".kbbbbbbbbbbbbk.",
    "kbbbbbbyybbbbbbk",
    "kbbbbbbyybbbbbbk",
    "kbwbbbbyybbbbwbk",
    "kbwwbbbyybbbwwbk",
    "kbwwwbbyybbwwwbk",
    "kbwwwwbyybwwwwbk",
    "kbwwwwbyybwwwwbk",
    "kbwwwbbyybbwwwbk",
    "kbwwbbbyybbbwwbk",
    "kbwbbbbyybbbbwbk",
    "kbbbbbbyybbbbbbk",
    "kbbbbbbyybbbbbbk",
    ".kbbbbbbbbbbbbk.",
    "..kkkkkkkkkkkk..",
]


def place_badge(size, badge):
    """A size x size grid (rows top-down) of VGA16 indices or None, with the
    badge in the lower-left corner."""
    height = len(badge)
    grid = [[None] * size for _ in range(size)]
    for r, row in enumerate(badge):
        assert len(row) == height, "badge rows must be square"
        for c, ch in enumerate(row):
            grid[size - height + r][c] = LEGEND[ch]
    return grid


# --- The 48x48 image: shapes in badge coordinates (0..24), supersampled. ---

OUTLINE = (16, 24, 40)
FILL_TOP = (58, 120, 224)
FILL_BOTTOM = (26, 63, 154)
ARROW = (255, 255, 255)
BAR = (255, 200, 32)


def inside_rounded(x, y, lo, hi, radius):
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def badge_colour(x, y, extent=24.0):
    """Colour of the badge at (x, y), or None outside it."""
    if not inside_rounded(x, y, 0.0, extent, 4.0):
        return None
    if not inside_rounded(x, y, 1.6, extent - 1.6, 2.6):
        return OUTLINE
    if 10.8 <= x <= 13.2 and 3.4 <= y <= extent - 3.4:
        return BAR
    if inside_triangle(x, y, (3.6, 5.0), (3.6, 19.0), (9.8, 12.0)):
        return ARROW
    if inside_triangle(x, y, (20.4, 5.0), (20.4, 19.0), (14.2, 12.0)):
        return ARROW
    t = y / extent
    return tuple(round(FILL_TOP[i] + (FILL_BOTTOM[i] - FILL_TOP[i]) * t) for i in range(3))


def render_48():
    """48x48 grid of RGB tuples or None, badge 24 pixels wide."""
    size, extent, samples = 48, 24, 8
    grid = [[None] * size for _ in range(size)]
    for py in range(extent):
        for px in range(extent):
            hits = []
            for sy in range(samples):
                for sx in range(samples):
                    c = badge_colour(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c is not None:
                        hits.append(c)
            # A one-bit mask: a pixel is either drawn or not. Edge pixels take
            # the average of the badge samples they hold, never a background.
            if len(hits) * 2 >= samples * samples:
                grid[size - extent + py][px] = tuple(
                    round(sum(h[i] for h in hits) / len(hits)) for i in range(3))
    return grid


def median_cut(colours, count):
    """At most count representative colours of the list."""
    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        def span(b):
            return max(max(c[i] for c in b) - min(c[i] for c in b) for i in range(3))
        box = max(splittable, key=span)
        axis = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[axis])
        half = len(box) // 2
        boxes.remove(box)
        boxes += [box[:half], box[half:]]
    return [tuple(round(sum(c[i] for c in b) / len(b)) for i in range(3)) for b in boxes]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


# --- ICO writing. ---

def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def dib(grid, bpp, palette):
    """A BITMAPINFOHEADER image: colour bits then the AND mask, bottom-up."""
    size = len(grid)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(grid):
        bits = bytearray(row_bytes(size * bpp))
        mbits = bytearray(row_bytes(size))
        for x, index in enumerate(row):
            if index is None:
                index = 0
                mbits[x // 8] |= 0x80 >> (x % 8)
            if bpp == 4:
                bits[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                bits[x] = index
        xor += bits
        mask += mbits
    colours = 1 << bpp
    pal = bytearray()
    for i in range(colours):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        pal += bytes((b, g, r, 0))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + pal + xor + mask


def indexed_48():
    grid = render_48()
    opaque = [c for row in grid for c in row if c is not None]
    # Index 0 stays black for the transparent pixels.
    palette = [(0, 0, 0)] + median_cut(opaque, 255)
    lookup = {}
    out = []
    for row in grid:
        out_row = []
        for c in row:
            if c is None:
                out_row.append(None)
            else:
                if c not in lookup:
                    lookup[c] = 1 + nearest(palette[1:], c)
                out_row.append(lookup[c])
        out.append(out_row)
    return out, palette


def build_icon():
    images = [
        (32, 4, 16, dib(place_badge(32, BADGE_32), 4, VGA16)),
        (16, 4, 16, dib(place_badge(16, BADGE_16), 4, VGA16)),
    ]
    grid48, palette48 = indexed_48()
    images.append((48, 8, 0, dib(grid48, 8, palette48)))

    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, colours, data in images:
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, _, data in images:
        out += data
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), 'overlay.ico')
    with open(target, 'wb') as f:
        f.write(build_icon())


if __name__ == '__main__':
    main()
