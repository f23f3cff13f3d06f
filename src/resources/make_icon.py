#!/usr/bin/env python3
"""Writes QorvelGen.ico, the panel's 32x32 icon: two sine traces, one period
and two periods, on a dark rounded screen. Deterministic, standard library
only: running it again gives the same bytes.

    python3 src/resources/make_icon.py [OUTPUT]
"""
import math
import os
import struct
import sys

SIZE = 32
SUB = 4  # subsamples per pixel side, for smooth edges

SCREEN = (0x1B, 0x26, 0x33)
BEZEL = (0x5C, 0x6B, 0x7A)
GRID = (0x2F, 0x40, 0x52)
CHANNEL1 = (0x4C, 0xE0, 0x7A)
CHANNEL2 = (0xFF, 0xB2, 0x3F)


def inside_rounded(x, y, inset, radius):
    lo, hi = inset, SIZE - inset
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def trace_distance(x, y, periods, amplitude, phase):
    """Distance from (x, y) to the sine trace drawn across the screen."""
    left, width, middle = 4.0, SIZE - 8.0, SIZE / 2.0
    t = (x - left) / width
    angle = 2 * math.pi * periods * t + phase
    fy = middle - amplitude * math.sin(angle)
    slope = -amplitude * math.cos(angle) * 2 * math.pi * periods / width
    return abs(y - fy) / math.sqrt(1 + slope * slope)


def sample(x, y):
    """Colour and coverage (0 or 1) of one subsample."""
    if not inside_rounded(x, y, 0.5, 6.0):
        return None
    if not inside_rounded(x, y, 2.0, 4.5):
        return BEZEL
    colour = SCREEN
    if abs(y - SIZE / 2.0) < 0.5 or abs(x - SIZE / 2.0) < 0.4:
        colour = GRID
    if 4.0 <= x <= SIZE - 4.0:
        if trace_distance(x, y, 2, 6.0, 0.0) < 1.0:
            colour = CHANNEL2
        if trace_distance(x, y, 1, 9.5, 0.0) < 1.2:
            colour = CHANNEL1
    return colour


def pixels():
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = covered = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    c = sample(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB)
                    if c is not None:
                        r, g, b, covered = r + c[0], g + c[1], b + c[2], covered + 1
            if covered:
                row.append((round(r / covered), round(g / covered), round(b / covered),
                            round(255 * covered / (SUB * SUB))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def ico_bytes(rows):
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up, as in every DIB
        bits = 0
        for i, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits |= 1 << (31 - i)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "QorvelGen.ico")
    with open(out, "wb") as f:
        f.write(ico_bytes(pixels()))


if __name__ == "__main__":
    main()
