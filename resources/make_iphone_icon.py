#!/usr/bin/env python3
"""Writes iphone.png, the small phone that marks devices and backups in the
lists: a dark rounded body, a light screen and a home button, on a
transparent background. Run from this folder; the PNG is checked in beside it."""
import struct
import zlib

WIDTH, HEIGHT = 36, 64
BODY = (0x33, 0x33, 0x38, 0xFF)
SCREEN = (0xA8, 0xD8, 0xF0, 0xFF)
CLEAR = (0, 0, 0, 0)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def inside_rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x < right and top <= y < bottom):
        return False
    cx = min(max(x, left + radius), right - 1 - radius)
    cy = min(max(y, top + radius), bottom - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y):
    if not inside_rounded(x, y, 1, 1, WIDTH - 1, HEIGHT - 1, 6):
        return CLEAR
    if 4 <= x < WIDTH - 4 and 9 <= y < HEIGHT - 12:
        return SCREEN
    if (x - WIDTH / 2 + 0.5) ** 2 + (y - (HEIGHT - 6.5)) ** 2 <= 9:
        return SCREEN
    return BODY


def write_png(name, width, height, pixel_at):
    """Writes an 8-bit RGBA PNG whose pixel (x, y) is pixel_at(x, y)."""
    rows = bytearray()
    for y in range(height):
        rows += b"\0" + b"".join(bytes(pixel_at(x, y)) for x in range(width))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(name, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                  + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png("iphone.png", WIDTH, HEIGHT, pixel)
