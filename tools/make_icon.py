#!/usr/bin/env python3
"""Draws the wizard's 32x32 program icon (a CD with a small wand) into resources/kvd_gen.png."""
import os
import struct
import zlib

SIZE = 32


def pixel(x, y):
    cx, cy = 15.5, 15.5
    dx, dy = x - cx, y - cy
    r2 = dx * dx + dy * dy
    # The wand: a yellow star at the upper right on a dark stick across the disc.
    if 24 <= x <= 30 and 1 <= y <= 7 and (abs(x - 27) + abs(y - 4)) <= 3:
        return (255, 215, 0, 255)
    if 16 <= x <= 26 and abs((x + y) - 31) <= 0 and y >= 5:
        return (60, 40, 20, 255)
    if r2 <= 14.5 * 14.5:
        if r2 <= 2.2 * 2.2:
            return (0, 0, 0, 0)
        if r2 <= 4.5 * 4.5:
            return (160, 160, 170, 255)
        if r2 >= 13.5 * 13.5:
            return (90, 90, 110, 255)
        # A rainbow sheen running round the disc.
        band = (dx + dy + 30) / 60.0
        red = int(180 + 60 * band)
        green = int(200 + 40 * (1 - abs(band - 0.5) * 2))
        blue = int(240 - 60 * band)
        return (red, green, blue, 255)
    return (0, 0, 0, 0)


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "kvd_gen.png")
    with open(target, "wb") as out:
        out.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
