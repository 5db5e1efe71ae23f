#!/usr/bin/env python3
"""Draws the window's pictures: the blue mosaic background (789 x 461) and
the program's 32 x 32 icon. Deterministic: the same files on every run.

    python3 ui/tools/make_pictures.py ui/resources
"""
import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, rows, alpha):
    """rows: list of bytes objects, one per row, RGB or RGBA."""
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    colour_type = 6 if alpha else 2
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


class Lcg:
    """A small fixed random sequence, so the pictures never change."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state / 0x7FFFFFFF


def mosaic(width=789, height=461, cell=26):
    rnd = Lcg(20)
    cols = width // cell + 2
    lines = height // cell + 2
    seeds = {}
    for gy in range(lines):
        for gx in range(cols):
            sx = (gx + rnd.next()) * cell
            sy = (gy + rnd.next()) * cell
            # Shades around the window's own light blue, a few darker tiles.
            shade = rnd.next()
            base = (102, 175, 230)
            k = 0.78 + 0.34 * shade
            colour = tuple(max(0, min(255, int(c * k))) for c in base)
            if rnd.next() < 0.12:
                colour = (60, 120 + int(40 * shade), 200)
            seeds[(gx, gy)] = (sx, sy, colour)
    grout = (64, 118, 178)
    rows = []
    for y in range(height):
        row = bytearray()
        gy = y // cell
        for x in range(width):
            gx = x // cell
            best = second = 1e18
            best_colour = grout
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    s = seeds.get((gx + dx, gy + dy))
                    if s is None:
                        continue
                    d = (s[0] - x) ** 2 + (s[1] - y) ** 2
                    if d < best:
                        second = best
                        best = d
                        best_colour = s[2]
                    elif d < second:
                        second = d
            edge = math.sqrt(second) - math.sqrt(best)
            if edge < 1.6:
                row += bytes(grout)
            else:
                # A faint light from the upper left on every tile.
                lift = int(14 * (1 - min(1.0, math.sqrt(best) / cell)))
                row += bytes(min(255, c + lift) for c in best_colour)
        rows.append(bytes(row))
    return width, height, rows


def icon(size=32):
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            # Rounded blue tile.
            cx = min(x, size - 1 - x)
            cy = min(y, size - 1 - y)
            inside = not (cx < 4 and cy < 4 and (4 - cx) ** 2 + (4 - cy) ** 2 > 17)
            if not inside:
                row += bytes((0, 0, 0, 0))
                continue
            t = y / (size - 1)
            pixel = (int(40 + 62 * (1 - t)), int(100 + 75 * (1 - t)), int(190 + 40 * (1 - t)), 255)
            # White page with a folded corner.
            if 8 <= x <= 23 and 4 <= y <= 27 and not (x - 17 > y - 4):
                pixel = (255, 255, 255, 255)
                if x - 17 == y - 4 or (x == 17 and y <= 10) or (y == 10 and x >= 17):
                    pixel = (150, 170, 190, 255)
                # Lines of plain text.
                if y in (14, 17, 20, 23) and 10 <= x <= (21 if y != 23 else 17):
                    pixel = (40, 60, 110, 255)
                # Angle brackets being sifted out, top left of the page.
                if (y, x) in {(7, 12), (6, 13), (8, 13), (5, 14), (9, 14)}:
                    pixel = (230, 110, 30, 255)
            row += bytes(pixel)
        rows.append(bytes(row))
    return size, size, rows


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(target, exist_ok=True)
    w, h, rows = mosaic()
    write_png(os.path.join(target, "background.png"), w, h, rows, alpha=False)
    w, h, rows = icon()
    write_png(os.path.join(target, "sievetext.png"), w, h, rows, alpha=True)


if __name__ == "__main__":
    main()
