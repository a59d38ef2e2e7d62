#!/usr/bin/env python3
"""Draws the stub's three icons as 16-colour .ico files.

  box_arrow.ico          108: a carton with an arrow pointing out of it (unpacking)
  key.ico                113: a key (password prompt)
  document_question.ico  5021: a page with a question mark (replace a file?)

Each picture is drawn on a 32x32 grid from simple shapes. The class icon
108 also has a 16x16 image, drawn from the same shapes at half scale, for
the caption and the task bar; the dialogs show 113 and 5021 only at 32x32,
so they carry no smaller image (it would cost the program file room). Run from any folder; the files
are written next to this script.
"""
import os
import struct

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None


class Canvas:
    """A size x size picture; shapes are given in 32x32 coordinates."""

    def __init__(self, size):
        self.size = size
        self.scale = size / 32.0
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def _span(self, a, b):
        lo = int(a * self.scale)
        hi = max(lo + 1, int(round((b + 1) * self.scale)))
        return range(max(lo, 0), min(hi, self.size))

    def rect(self, x0, y0, x1, y1, colour):
        for y in self._span(y0, y1):
            for x in self._span(x0, x1):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def polygon(self, points, colour):
        """Fills a polygon (even-odd rule) sampled at pixel centres."""
        for py in range(self.size):
            y = (py + 0.5) / self.scale
            for px in range(self.size):
                x = (px + 0.5) / self.scale
                inside = False
                for i in range(len(points)):
                    (xa, ya), (xb, yb) = points[i], points[i - 1]
                    if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                        inside = not inside
                if inside:
                    self.pixels[py][px] = colour

    def disc(self, cx, cy, r, colour):
        for py in range(self.size):
            y = (py + 0.5) / self.scale
            for px in range(self.size):
                x = (px + 0.5) / self.scale
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.pixels[py][px] = colour


def draw_box_arrow(c):
    # Carton: front face, top flaps, outline.
    c.polygon([(3, 14), (29, 14), (29, 30), (3, 30)], OLIVE)
    c.polygon([(3, 14), (9, 9), (23, 9), (29, 14)], YELLOW)
    c.frame(3, 14, 29, 30, BLACK)
    c.polygon([(2, 14), (9, 8), (10, 9), (4, 14)], BLACK)
    c.polygon([(30, 14), (23, 8), (22, 9), (28, 14)], BLACK)
    c.rect(9, 8, 23, 8, BLACK)
    c.rect(12, 22, 20, 23, YELLOW)            # tape label on the front
    # Arrow leaving the box upwards.
    c.rect(14, 4, 18, 17, GREEN)
    c.polygon([(8, 6), (16, -1), (24, 6)], GREEN)
    c.frame(14, 6, 18, 17, DARK_GREEN)
    c.polygon([(8, 6), (16, -1), (24, 6), (23, 6), (16, 1), (9, 6)], DARK_GREEN)


def draw_key(c):
    # Bow of the key with its hole.
    c.disc(10, 11, 8, OLIVE)                  # rim
    c.disc(10, 11, 6.8, YELLOW)
    c.disc(8, 9, 2.6, CLEAR)
    # Shaft and bit.
    c.polygon([(15, 14), (18, 11), (30, 23), (27, 26)], YELLOW)
    c.polygon([(22, 24), (25, 21), (28, 24), (25, 27)], OLIVE)
    c.polygon([(26, 28), (29, 25), (31, 27), (28, 30)], OLIVE)
    c.polygon([(17, 16), (18, 15), (28, 25), (27, 26)], OLIVE)   # shade along the shaft


def draw_document_question(c):
    # Page with a folded corner.
    c.polygon([(5, 1), (21, 1), (27, 7), (27, 31), (5, 31)], WHITE)
    c.frame(5, 1, 5, 31, BLACK)
    c.rect(5, 31, 27, 31, BLACK)
    c.rect(27, 7, 27, 31, BLACK)
    c.rect(5, 1, 21, 1, BLACK)
    c.polygon([(21, 1), (21, 7), (27, 7)], SILVER)
    c.polygon([(21, 1), (22, 1), (28, 7), (27, 8)], BLACK)
    c.rect(21, 1, 21, 7, GREY)
    c.rect(21, 7, 27, 7, GREY)
    # Question mark.
    c.rect(11, 8, 21, 10, BLUE)
    c.rect(19, 8, 21, 17, BLUE)
    c.rect(10, 10, 12, 13, BLUE)
    c.rect(15, 16, 21, 18, BLUE)
    c.rect(15, 16, 17, 22, BLUE)
    c.rect(15, 25, 17, 27, BLUE)


def image_bytes(canvas):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows, mask rows."""
    size = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(canvas.pixels):       # bottom-up
        nibbles = [0 if p is CLEAR else p for p in row]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(packed.ljust((len(packed) + 3) // 4 * 4, b"\0"))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is CLEAR else 0)
        mask = bits.to_bytes(size // 8, "big")
        mask_rows.append(mask.ljust((len(mask) + 3) // 4 * 4, b"\0"))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def write_icon(path, draw, sizes):
    images = []
    for size in sizes:
        canvas = Canvas(size)
        draw(canvas)
        images.append((size, image_bytes(canvas)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, "box_arrow.ico"), draw_box_arrow, (32, 16))
    write_icon(os.path.join(here, "key.ico"), draw_key, (32,))
    write_icon(os.path.join(here, "document_question.ico"), draw_document_question, (32,))
