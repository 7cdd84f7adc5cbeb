#!/usr/bin/env python3
"""Writes the program's icon: a sun over a rounded dark-blue tile, as 32-bit images of the sizes
Windows asks for. Drawn here so that the icon is our own. The program's resources use the committed
result; after a change here, redraw it: make_icon.py runner/resources/Lumerovantix.ico"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64, 128, 256)
TILE = (0x5F, 0x3A, 0x1F)  # blue-green-red
SUN = (0x00, 0xB4, 0xF5)
SAMPLES = 4  # per axis, for smooth edges


def inside_tile(x, y):
    r = 0.18
    dx = max(abs(x - 0.5) - (0.5 - r), 0.0)
    dy = max(abs(y - 0.5) - (0.5 - r), 0.0)
    return dx * dx + dy * dy <= r * r


def inside_sun(x, y):
    dx, dy = x - 0.5, y - 0.5
    distance = math.hypot(dx, dy)
    if distance <= 0.2:
        return True
    # Eight rays between 0.27 and 0.4 from the centre.
    angle = math.atan2(dy, dx) % (math.pi / 4)
    return 0.27 <= distance <= 0.4 and min(angle, math.pi / 4 - angle) * distance <= 0.03


def pixel(size, column, row):
    tile = sun = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (column + (sx + 0.5) / SAMPLES) / size
            y = (row + (sy + 0.5) / SAMPLES) / size
            if inside_tile(x, y):
                tile += 1
                sun += inside_sun(x, y)
    n = SAMPLES * SAMPLES
    if tile == 0:
        return bytes(4)
    colour = [round((t * (tile - sun) + s * sun) / tile) for t, s in zip(TILE, SUN)]
    return bytes(colour + [round(255 * tile / n)])


def image(size):
    # A DIB: header with the double height of colour plus mask, rows bottom-up, then an AND mask.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = [b"".join(pixel(size, c, r) for c in range(size)) for r in reversed(range(size))]
    mask = bytes(((size + 31) // 32) * 4 * size)
    return header + b"".join(rows) + mask


def main():
    images = [image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for size, data in zip(SIZES, images):
        side = size % 256  # 0 means 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + b"".join(images))


if __name__ == "__main__":
    main()
