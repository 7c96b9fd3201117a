#!/usr/bin/env python3
"""Draws the small pictures shown beside the language packs in the history viewer's language
selector: lang/English.bmp and lang/Arabic.bmp, 24 x 16 pixels, 24-bit uncompressed BMP.

Each is a badge: a coloured field with a dark edge, the language's letters in white and a
stripe below them. Run once after changing a design:  python3 scripts/drawflags.py
"""

import os
import struct

WIDTH, HEIGHT = 24, 16

# Letters drawn for these badges, two pixels thick; "#" is ink.
LETTER_E = ["######",
            "######",
            "##....",
            "#####.",
            "#####.",
            "##....",
            "######",
            "######"]
LETTER_N = ["##..##",
            "###.##",
            "###.##",
            "######",
            "######",
            "##.###",
            "##.###",
            "##..##"]
LETTER_AIN = ["..###..",
              ".##....",
              ".##....",
              "..####.",
              ".##....",
              "##.....",
              "##.....",
              "##.....",
              ".###...",
              "..#####"]


def badge(field, edge, stripe, letters):
    pixels = [[field] * WIDTH for _ in range(HEIGHT)]
    for x in range(WIDTH):
        pixels[0][x] = pixels[HEIGHT - 1][x] = edge
    for y in range(HEIGHT):
        pixels[y][0] = pixels[y][WIDTH - 1] = edge
    for y in (12, 13):
        for x in range(1, WIDTH - 1):
            pixels[y][x] = stripe
    for left, top, shape in letters:
        for dy, row in enumerate(shape):
            for dx, ink in enumerate(row):
                if ink == "#":
                    pixels[top + dy][left + dx] = (255, 255, 255)
    return pixels


def write_bmp(path, pixels):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    image = bytearray()
    for row in reversed(pixels):  # BMP rows run from the bottom up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        image += line + bytes(row_size - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + image)


def main():
    lang = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lang")
    english = badge(field=(36, 64, 122), edge=(18, 32, 61), stripe=(194, 59, 51),
                    letters=[(5, 3, LETTER_E), (13, 3, LETTER_N)])
    arabic = badge(field=(31, 122, 77), edge=(15, 61, 38), stripe=(224, 180, 60),
                   letters=[(8, 1, LETTER_AIN)])
    write_bmp(os.path.join(lang, "English.bmp"), english)
    write_bmp(os.path.join(lang, "Arabic.bmp"), arabic)


if __name__ == "__main__":
    main()
