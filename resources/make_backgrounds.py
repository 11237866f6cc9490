#!/usr/bin/env python3
"""Writes the two window backgrounds that style.css names: a soft orange band
fading into white across the top of the main window and of the dialogs.
Every column of a band is the same, so style.css repeats it along x to cover
windows of any width. Run from this folder; the PNGs are checked in beside it."""
import struct
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def band(width, height, band_height, top):
    rows = bytearray()
    for y in range(height):
        t = min(y / band_height, 1.0)
        pixel = bytes(round(c + (255 - c) * t) for c in top)
        rows += b"\0" + pixel * width
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


for name, size in (("main-bg.png", (1024, 120, 90)), ("subwin-bg.png", (400, 60, 45))):
    with open(name, "wb") as out:
        out.write(band(*size, top=(0xFF, 0xEA, 0xC9)))
