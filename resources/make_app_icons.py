#!/usr/bin/env python3
"""Writes the small pictures of the main window's tree and message list:
devices, databases, one database, android, contact, group, search, and the
sent and received marks of iMessage and SMS. Each is a few plain shapes on a
transparent background. Run from this folder; the PNGs are checked in beside
it."""
import struct
import zlib

SIZE = 36
CLEAR = (0, 0, 0, 0)
DARK = (0x33, 0x33, 0x38, 0xFF)
SCREEN = (0xA8, 0xD8, 0xF0, 0xFF)
DB = (0x4A, 0x78, 0xB0, 0xFF)
DB_TOP = (0x8C, 0xB4, 0xE0, 0xFF)
GREEN = (0x3D, 0xB0, 0x4A, 0xFF)
BLUE = (0x1E, 0x88, 0xF0, 0xFF)
GREY = (0xB8, 0xBC, 0xC4, 0xFF)
ANDROID = (0x8B, 0xC3, 0x4A, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)


def rounded(x, y, left, top, right, bottom, radius):
    if not (left <= x < right and top <= y < bottom):
        return False
    cx = min(max(x, left + radius), right - 1 - radius)
    cy = min(max(y, top + radius), bottom - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def disc(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def phone(x, y, left, top, width, height):
    if not rounded(x, y, left, top, left + width, top + height, 3):
        return None
    if left + 2 <= x < left + width - 2 and top + 4 <= y < top + height - 5:
        return SCREEN
    return DARK


def devices(x, y):
    return phone(x, y, 18, 4, 14, 28) or phone(x, y, 4, 8, 14, 26) or CLEAR


def cylinder(x, y, left, top, width, height):
    rx, ry = width / 2, 3.5
    cx = left + rx
    if ellipse(x, y, cx, top + ry, rx, ry):
        return DB_TOP
    if left <= x < left + width and top + ry <= y <= top + height - ry:
        return DB
    if ellipse(x, y, cx, top + height - ry, rx, ry):
        return DB
    return None


def database(x, y):
    return cylinder(x, y, 6, 3, 24, 30) or CLEAR


def databases(x, y):
    return cylinder(x, y, 14, 2, 20, 24) or cylinder(x, y, 2, 10, 20, 24) or CLEAR


def android(x, y):
    if disc(x, y, 18, 14, 10) and y <= 14:
        return WHITE if disc(x, y, 14, 9, 1.5) or disc(x, y, 22, 9, 1.5) else ANDROID
    if rounded(x, y, 8, 16, 28, 30, 3):
        return ANDROID
    if rounded(x, y, 3, 16, 7, 27, 2) or rounded(x, y, 29, 16, 33, 27, 2):
        return ANDROID
    return CLEAR


def person(x, y, cx, top, scale, colour):
    if disc(x, y, cx, top + 7 * scale, 6 * scale):
        return colour
    if ellipse(x, y, cx, top + 26 * scale, 12 * scale, 11 * scale) and y <= top + 28 * scale:
        return colour
    return None


def contact(x, y):
    return person(x, y, 18, 3, 1.1, GREY) or CLEAR


def group(x, y):
    return person(x, y, 24, 6, 0.9, GREY) or person(x, y, 12, 3, 1.0, DARK) or CLEAR


def search(x, y):
    if disc(x, y, 14, 14, 10) and not disc(x, y, 14, 14, 7):
        return DARK
    # The handle: a thick line from (21, 21) to (32, 32).
    if 20 <= x <= 33 and 20 <= y <= 33 and abs(x - y) <= 2:
        return DARK
    return CLEAR


def bubble(colour, sent):
    def draw(x, y):
        if rounded(x, y, 2, 6, 34, 28, 9):
            return colour
        tail_x = 28 if sent else 7
        if 26 <= y < 33 and abs(x - tail_x) <= (33 - y) // 2:
            return colour
        return CLEAR
    return draw


ICONS = {
    "devices.png": devices,
    "databases.png": databases,
    "database.png": database,
    "android.png": android,
    "contact.png": contact,
    "group.png": group,
    "search.png": search,
    "imsg-send.png": bubble(BLUE, True),
    "imsg-rec.png": bubble(GREY, False),
    "icon_sms-sent.png": bubble(GREEN, True),
    "icon_sms-receive.png": bubble(DARK, False),
}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


for name, draw in ICONS.items():
    rows = bytearray()
    for y in range(SIZE):
        rows += b"\0" + b"".join(bytes(draw(x, y)) for x in range(SIZE))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(name, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                  + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))
