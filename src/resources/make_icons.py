#!/usr/bin/env python3
"""Writes the program's two icon files: a closed envelope, white with a black outline, and
the same envelope with its flap filled in pure green (the new-mail icon). Each file holds an
image for every size the shell asks for up to 200 % scaling (the small icon of 16 pixels at
96 DPI and the large one of 32, scaled), 16 colours (4 bits per pixel) with a transparency mask.

usage: make_icons.py OUTPUT_DIR   (writes mail.ico and new_mail.ico)
"""
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, WHITE = 0, 10, 15
TRANSPARENT = None


SIZES = (16, 20, 24, 32, 40, 48, 64)


def geometry(size):
    """left, right, top, bottom and the flap's tip: drawn by hand at 16 and 32, else scaled."""
    if size == 16:
        return 1, 14, 3, 12, 8
    s = size / 32
    side = round(2 * s)
    return side, size - 1 - side, round(7 * s), round(24 * s), round(17 * s)


def envelope(size, flap_colour):
    """Rows of palette indices (None = transparent), top row first."""
    left, right, top, bottom, tip = geometry(size)
    centre = (left + right) / 2
    half = centre - left
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            pixels[y][x] = BLACK if edge else WHITE
    # The flap: a V from the top corners to the tip, filled above the V.
    for x in range(left, right + 1):
        v = round(top + (tip - top) * (1 - abs(x - centre) / half))
        for y in range(top + 1, v):
            if x not in (left, right):
                pixels[y][x] = flap_colour
        pixels[v][x] = BLACK
    return pixels


def image(size, pixels):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, mask bits (rows bottom-up)."""
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, index in enumerate(row):
            if index is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
                index = 0
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colour += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(flap_colour):
    images = [(s, image(s, envelope(s, flap_colour))) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    for name, flap in (("mail.ico", WHITE), ("new_mail.ico", GREEN)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(icon_file(flap))


if __name__ == "__main__":
    main()
