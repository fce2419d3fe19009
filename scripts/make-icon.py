#!/usr/bin/env python3
"""Draws the program's icon and writes it as app/nocunzip.ico.

Two images, 32 x 32 and 16 x 16 pixels, each in the 16 colours of the standard Windows
palette: a brown archive box with a zipper down its front and a green arrow pointing down
out of it, for "unpacking". Run it again after changing the drawing; the build uses the
checked-in .ico file.
"""

import struct
import sys
from pathlib import Path

# The 16 colours of the standard Windows palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = None  # transparent


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)


def draw_large():
    c = Canvas(32)
    # The box: a lid on top, the body below, outlined in black.
    c.fill(3, 9, 28, 29, OLIVE)
    c.fill(4, 10, 12, 28, YELLOW)  # lit left face
    c.fill(2, 6, 29, 10, YELLOW)  # lid
    c.frame(2, 6, 29, 10, BLACK)
    c.frame(3, 10, 28, 29, BLACK)
    c.fill(4, 27, 27, 28, MAROON)  # shadow at the bottom
    # The zipper: alternating teeth down the middle of the box.
    for y in range(7, 29):
        c.put(15, y, GREY if y % 2 else WHITE)
        c.put(16, y, WHITE if y % 2 else GREY)
    c.fill(14, 18, 17, 21, SILVER)  # the slider
    c.frame(14, 18, 17, 21, BLACK)
    # The arrow, pointing down beside the box, on its right face.
    c.fill(21, 12, 24, 19, LIME)
    for row, half in enumerate(range(5, 0, -1)):
        c.fill(22 - half + 1, 20 + row, 23 + half - 1, 20 + row, LIME)
    for y in range(12, 20):
        c.put(20, y, GREEN)
        c.put(25, y, GREEN)
    c.put(21, 11, GREEN), c.put(22, 11, GREEN), c.put(23, 11, GREEN), c.put(24, 11, GREEN)
    for row, half in enumerate(range(5, 0, -1)):
        c.put(22 - half, 20 + row, GREEN)
        c.put(23 + half, 20 + row, GREEN)
    c.put(22, 25, GREEN), c.put(23, 25, GREEN)
    return c


def draw_small():
    c = Canvas(16)
    c.fill(1, 4, 14, 14, OLIVE)
    c.fill(2, 5, 6, 13, YELLOW)
    c.fill(1, 3, 14, 5, YELLOW)
    c.frame(1, 3, 14, 5, BLACK)
    c.frame(1, 5, 14, 14, BLACK)
    for y in range(4, 14):
        c.put(7, y, WHITE if y % 2 else GREY)
    c.fill(6, 9, 8, 10, SILVER)
    # The arrow.
    c.fill(10, 6, 12, 9, LIME)
    c.fill(9, 10, 13, 10, LIME)
    c.fill(10, 11, 12, 11, LIME)
    c.put(11, 12, LIME)
    return c


def bitmap_image(canvas):
    """The icon image: BITMAPINFOHEADER, palette, 4-bit colours and 1-bit mask, bottom-up."""
    size = canvas.size
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = canvas.pixels[y]
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def icon_file(canvases):
    images = [bitmap_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.size, canvas.size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else (
        Path(__file__).resolve().parent.parent / "app" / "nocunzip.ico")
    target.write_bytes(icon_file([draw_large(), draw_small()]))
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
