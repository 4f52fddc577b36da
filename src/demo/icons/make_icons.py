#!/usr/bin/env python3
"""Draws the demo's four marker icons as 32 x 32 RGBA PNG files.

    python3 make_icons.py [output folder]     (default: this script's folder)

Pure Python and zlib, so the icons can be drawn again anywhere. Each icon is
a stack of filled shapes, the last one on top; every pixel is sampled 4 x 4
times, which gives smooth edges.
"""

import math
import os
import struct
import sys
import zlib

SIZE = 32
SAMPLES = 4


# --- Shapes: each is a test "is the point (x, y) inside", in pixel units.

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def segment(x0, y0, x1, y1, width):
    """A stroke of the given width from (x0, y0) to (x1, y1), round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half = width / 2.0

    def inside(x, y):
        t = 0.0 if length2 == 0 else ((x - x0) * dx + (y - y0) * dy) / length2
        t = max(0.0, min(1.0, t))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half * half

    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# --- Colours (r, g, b, a)

WHITE = (255, 255, 255, 255)


def badge(fill, edge):
    """A round badge filling the icon: a darker rim around the colour."""
    c = SIZE / 2.0
    return [(disc(c, c, 15.5), edge), (disc(c, c, 14.2), fill)]


def red_pushpin():
    # A red ball with a highlight on a short steel needle whose point is the
    # bottom middle pixel (where a marker stands).
    return [
        (segment(16, 16, 16, 31, 2.2), (110, 110, 120, 255)),
        (disc(16, 10.5, 9.5), (120, 0, 0, 255)),
        (disc(16, 10.5, 8.5), (220, 20, 20, 255)),
        (disc(13, 7.5, 2.8), (255, 150, 150, 255)),
    ]


def restaurant():
    fork = union(
        rect(8.5, 6, 9.9, 13),    # tines
        rect(11.3, 6, 12.7, 13),
        rect(14.1, 6, 15.5, 13),
        polygon([(8.5, 12.5), (15.5, 12.5), (13.5, 16.5), (10.5, 16.5)]),
        segment(12, 15, 12, 26, 2.6),  # handle
    )
    knife = union(
        polygon([(19, 6), (22, 5.5), (23.2, 9), (23.2, 17), (19, 17)]),  # blade
        segment(21.1, 16, 21.1, 26, 2.6),  # handle
    )
    return badge((240, 140, 20, 255), (170, 85, 0, 255)) + [(union(fork, knife), WHITE)]


def doctor():
    cross = union(rect(13, 7, 19, 25), rect(7, 13, 25, 19))
    return badge((30, 160, 70, 255), (10, 95, 35, 255)) + [(cross, WHITE)]


def supermarket():
    basket = polygon([(9, 10), (25, 10), (22.5, 19), (11.5, 19)])
    handle = union(segment(5, 7.5, 8.5, 7.5, 2.0), segment(8.5, 7.5, 12, 21.5, 2.0),
                   segment(12, 21.5, 23, 21.5, 2.0))
    wheels = union(disc(13, 24.5, 2.0), disc(21.5, 24.5, 2.0))
    return badge((30, 90, 200, 255), (10, 45, 130, 255)) + [(union(basket, handle, wheels), WHITE)]


ICONS = {
    "red-pushpin.png": red_pushpin,
    "restaurant.png": restaurant,
    "doctor.png": doctor,
    "supermarket.png": supermarket,
}


# --- Rendering and PNG writing

def render(layers):
    rows = []
    step = 1.0 / SAMPLES
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied sums
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) * step
                    y = py + (sy + 0.5) * step
                    colour = None
                    for inside, c in reversed(layers):
                        if inside(x, y):
                            colour = c
                            break
                    if colour is not None:
                        a = colour[3] / 255.0
                        acc[0] += colour[0] * a
                        acc[1] += colour[1] * a
                        acc[2] += colour[2] * a
                        acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha <= 0:
                row += bytes((0, 0, 0, 0))
            else:
                row += bytes(int(round(acc[i] / acc[3])) for i in range(3))
                row.append(int(round(alpha * 255)))
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(rows):
    raw = b"".join(b"\x00" + r for r in rows)  # filter "none" on every row
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, draw in ICONS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(png(render(draw())))


if __name__ == "__main__":
    main()
