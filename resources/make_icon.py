#!/usr/bin/env python3
"""Draws the program's icon: a 32x32, 16-colour router with its aerials and
lamps, written as a .ico file (one 4-bit DIB with its AND mask)."""
import struct
import sys

# The 16 standard colours, as (blue, green, red, 0) for the DIB palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, GREEN, NAVY, BLUE, YELLOW = 0, 8, 7, 10, 4, 12, 11
TRANSPARENT = None

ART = [
    "................................",
    "................................",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "....K..................K........",
    "...KKK................KKK.......",
    "..KNNNNNNNNNNNNNNNNNNNNNNNNNNK..",
    ".KNBBBBBBBBBBBBBBBBBBBBBBBBBBNK.",
    ".KNBBBBBBBBBBBBBBBBBBBBBBBBBBNK.",
    ".KNBBBBBBBBBBBBBBBBBBBBBBBBBBNK.",
    ".KNBBGGBBGGBBGGBBYYBBBBBBBBBBNK.",
    ".KNBBGGBBGGBBGGBBYYBBBBBBBBBBNK.",
    ".KNBBBBBBBBBBBBBBBBBBBBBBBBBBNK.",
    ".KNBBBBBBBBBBBBBBBBBBBBBBBBBBNK.",
    ".KNNNNNNNNNNNNNNNNNNNNNNNNNNNNK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KLDDLDDLDDLDDLLLLLLLLLLLLLLLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    "..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..",
    "...KK......................KK...",
    "................................",
    "................................",
    "................................",
    "................................",
]
COLOURS = {".": TRANSPARENT, "K": BLACK, "N": NAVY, "B": BLUE, "G": GREEN,
           "Y": YELLOW, "L": LIGHT_GREY, "D": DARK_GREY}


def icon_bytes() -> bytes:
    size = 32
    rows = [[COLOURS[c] for c in line] for line in ART]
    # DIB rows run bottom-up; 4 bits a pixel, then a 1-bit AND mask (1 = transparent).
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for x in range(0, size, 2):
            hi, lo = (row[x] or 0), (row[x + 1] or 0)
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(size):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += bits.to_bytes(4, "big")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(icon_bytes())
