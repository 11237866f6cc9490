#!/usr/bin/env python3
"""Writes the application picture main.png and the menu and toolbar icons:
each a coloured rounded tile with a simple white sign, 64 x 64 pixels on a
transparent background. Run from this folder; the PNGs are checked in beside it."""
from make_iphone_icon import inside_rounded, write_png

SIZE = 64
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def arrow(x, y, direction):
    # An arrow pointing right, turned for the other directions.
    u, v = {"right": (x, y), "left": (63 - x, y), "down": (y, x), "up": (63 - y, x)}[direction]
    shaft = 16 <= u < 38 and 27 <= v < 37
    head = 38 <= u < 50 and abs(v - 31.5) <= 50 - u
    return shaft or head


def cross(x, y):
    return 16 <= x < 48 and 16 <= y < 48 and (abs(x - y) <= 4 or abs(x + y - 63) <= 4)


def page(x, y):
    return inside_rounded(x, y, 18, 14, 46, 50, 2) and not (22 <= x < 42 and y in (22, 23, 30, 31, 38, 39))


def folder(x, y):
    return inside_rounded(x, y, 14, 24, 50, 46, 3) or inside_rounded(x, y, 14, 19, 30, 28, 3)


def ring(x, y):
    d = (x - 31.5) ** 2 + (y - 31.5) ** 2
    return 10 ** 2 <= d <= 16 ** 2 or (29 <= x < 35 and 29 <= y < 35)


def bubble(x, y):
    return inside_rounded(x, y, 14, 16, 50, 42, 8) or (20 <= x < 30 and 42 <= y < 50 - (x - 20))


SIGNS = {
    "main": ((0x2E, 0x8B, 0x57), bubble),
    "backup": ((0x2E, 0x8B, 0x57), lambda x, y: arrow(x, y, "down")),
    "i2i": ((0x1E, 0x6F, 0xD0), lambda x, y: arrow(x, y, "right")),
    "db2i": ((0x6A, 0x3D, 0xB8), lambda x, y: arrow(x, y, "right")),
    "export": ((0xE0, 0x8A, 0x10), lambda x, y: arrow(x, y, "up")),
    "print": ((0x55, 0x5B, 0x66), page),
    "delete": ((0xC8, 0x2B, 0x2B), cross),
    "import_itunes": ((0x1E, 0x9E, 0xB0), lambda x, y: arrow(x, y, "down")),
    "open_db_folder": ((0xD9, 0xA4, 0x1E), folder),
    "exit": ((0x80, 0x80, 0x80), cross),
    "help": ((0x1E, 0x6F, 0xD0), ring),
    "unmount": ((0x55, 0x5B, 0x66), lambda x, y: arrow(x, y, "left")),
}


def tile_pixel(colour, sign):
    def pixel_at(x, y):
        if not inside_rounded(x, y, 2, 2, SIZE - 2, SIZE - 2, 12):
            return CLEAR
        return WHITE if sign(x, y) else colour + (0xFF,)
    return pixel_at


for icon_name, (tile, drawn) in SIGNS.items():
    write_png(icon_name + ".png", SIZE, SIZE, tile_pixel(tile, drawn))
