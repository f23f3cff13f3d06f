#!/usr/bin/env python3
"""Writes balloon.bmp, the help balloon's texture: 128x128 pixels, 8 bits per
pixel with a full 256-entry grey colour table, uncompressed. A light grey
stone: irregular cells with darker seams, fine grain and a few pits. The
pattern wraps at the edges, so tiles join without seams. Deterministic,
standard library only: running it again gives the same bytes.

    python3 src/resources/make_balloon_bmp.py [OUTPUT]
"""
import math
import os
import struct
import sys

SIZE = 128
CELLS = 5          # cell centres per side for the stone's grains
GRAIN_CELLS = 16   # lattice of the fine value noise
LIGHTEST = 246     # colour table range that the texture uses
DARKEST = 196


class Lcg:
    """A fixed 32-bit linear congruential generator: the same numbers on every Python."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 2.0 ** 32


def cell_centres(rng):
    return [[(0.15 + 0.7 * rng.next(), 0.15 + 0.7 * rng.next()) for _ in range(CELLS)]
            for _ in range(CELLS)]


def seam_distance(centres, u, v):
    """Distance between the nearest and second nearest cell centre (wrapping)."""
    gx, gy = int(u), int(v)
    nearest = [math.inf, math.inf]
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            cx, cy = gx + dx, gy + dy
            px, py = centres[cy % CELLS][cx % CELLS]
            d = math.hypot(cx - gx + px - (u - gx), cy - gy + py - (v - gy))
            if d < nearest[0]:
                nearest = [d, nearest[0]]
            elif d < nearest[1]:
                nearest[1] = d
    return nearest[1] - nearest[0]


def value_noise(lattice, u, v):
    """Smoothly interpolated noise on a wrapping lattice."""
    n = len(lattice)
    x0, y0 = int(u) % n, int(v) % n
    x1, y1 = (x0 + 1) % n, (y0 + 1) % n
    fx, fy = u - int(u), v - int(v)
    sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    top = lattice[y0][x0] + (lattice[y0][x1] - lattice[y0][x0]) * sx
    bottom = lattice[y1][x0] + (lattice[y1][x1] - lattice[y1][x0]) * sx
    return top + (bottom - top) * sy


def texture():
    rng = Lcg(0x51A7E)
    centres = cell_centres(rng)
    coarse = [[rng.next() for _ in range(GRAIN_CELLS // 2)] for _ in range(GRAIN_CELLS // 2)]
    fine = [[rng.next() for _ in range(GRAIN_CELLS)] for _ in range(GRAIN_CELLS)]
    pits = [(rng.next() * SIZE, rng.next() * SIZE, 0.8 + 1.2 * rng.next()) for _ in range(24)]

    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            u, v = x * CELLS / SIZE, y * CELLS / SIZE
            seam = min(1.0, seam_distance(centres, u, v) / 0.12)
            shade = 0.55 * value_noise(coarse, x * (GRAIN_CELLS // 2) / SIZE, y * (GRAIN_CELLS // 2) / SIZE)
            shade += 0.45 * value_noise(fine, x * GRAIN_CELLS / SIZE, y * GRAIN_CELLS / SIZE)
            level = 0.35 + 0.65 * shade * (0.45 + 0.55 * seam)
            for px, py, radius in pits:
                dx = min(abs(x - px), SIZE - abs(x - px))
                dy = min(abs(y - py), SIZE - abs(y - py))
                if dx * dx + dy * dy < radius * radius:
                    level *= 0.8
            row.append(round(DARKEST + (LIGHTEST - DARKEST) * min(1.0, max(0.0, level))))
        rows.append(row)
    return rows


def bmp_bytes(rows):
    colours = b"".join(bytes((i, i, i, 0)) for i in range(256))  # blue, green, red, reserved
    pixels = b"".join(bytes(row) for row in reversed(rows))     # bottom-up
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "balloon.bmp")
    with open(output, "wb") as f:
        f.write(bmp_bytes(texture()))


if __name__ == "__main__":
    main()
