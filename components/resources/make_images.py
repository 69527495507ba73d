#!/usr/bin/env python3
"""Draws the program's built-in images and writes them as ARGB files.

Usage: make_images.py [output-folder]   (default: this script's folder)

Shapes are signed distance functions (negative inside); an image is a
function from a point to a colour, sampled 4 x 4 times per pixel so that
edges are anti-aliased. write_argb writes any 32-bit straight-alpha pixel
list in the ARGB true-image format (components/ArgbFormat.h), so further
images of the application can be drawn the same way.

The cursors are 32 x 32, white with a black outline; their hot spots are
fixed by the code that installs them (components/CursorRoutines.cpp):
arrow (2, 0), hand (11, 1), hourglass (15, 15).
"""

import math
import os
import struct
import sys
import zlib

SIGNATURE = (b"ARGB True Image File Format.\r\n"
             b"This image is internally used in Ves Ondra Kal' software\r\n"
             b"\x1a")
assert len(SIGNATURE) == 89
HEADER_SIZE = 118
MODE_LINEAR = 1


def write_argb(path, width, height, pixels, master_alpha=255, mode=MODE_LINEAR):
    """pixels: width * height tuples (r, g, b, a), rows top-down."""
    raw = bytearray()
    for r, g, b, a in pixels:
        raw += bytes((b, g, r, a))
    data = zlib.compress(bytes(raw))
    header = SIGNATURE + struct.pack("<iiIBqq", width, height, master_alpha, mode, HEADER_SIZE, len(data))
    assert len(header) == HEADER_SIZE
    with open(path, "wb") as f:
        f.write(header + data)


def render(width, height, shade, samples=4):
    """shade(x, y) -> (r, g, b, a) or None; averaged over samples^2 points."""
    pixels = []
    for py in range(height):
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    c = shade(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] == 0:
                pixels.append((0, 0, 0, 0))
                continue
            alpha = acc[3] / (samples * samples)
            pixels.append(tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(alpha),))
    return pixels


# --- signed distances -----------------------------------------------------

def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def polygon(points):
    def sdf(x, y):
        d = min(segment_distance(x, y, *points[i], *points[(i + 1) % len(points)]) for i in range(len(points)))
        inside = False
        for i in range(len(points)):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % len(points)]
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -d if inside else d
    return sdf


def capsule(ax, ay, bx, by, radius):
    return lambda x, y: segment_distance(x, y, ax, ay, bx, by) - radius


def rounded_box(left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - radius
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


# --- the cursors ----------------------------------------------------------

WHITE = (255, 255, 255, 255)
BLACK = (0, 0, 0, 255)
OUTLINE = 1.1


def outlined(shape, fill=WHITE, details=()):
    """White (or fill) inside, a black outline around; details are
    (shape, colour) pairs painted over the inside."""
    def shade(x, y):
        d = shape(x, y)
        if d > OUTLINE:
            return None
        if d > 0:
            return BLACK
        for detail, colour in details:
            if detail(x, y) <= 0:
                return colour
        return fill(x, y) if callable(fill) else fill
    return shade


def arrow():
    return outlined(polygon([(2.5, 1.2), (2.5, 22), (7.3, 17.4), (10.6, 25.2), (13.6, 23.9),
                             (10.4, 16.2), (16.8, 16.2)]))


def hand():
    index = capsule(11.5, 3.6, 11.5, 15, 2.4)
    fingers = [capsule(15.5 + 4 * i, 14.2, 15.5 + 4 * i, 17, 2.0) for i in range(3)]
    palm = rounded_box(9.1, 14.5, 24.4, 28.5, 3.5)
    thumb = capsule(9.5, 22.5, 5.2, 17.2, 2.2)
    creases = [capsule(13.5 + 4 * i, 13.8, 13.5 + 4 * i, 17.5, 0.45) for i in range(3)]
    return outlined(union(index, palm, thumb, *fingers), details=[(c, BLACK) for c in creases])


def hourglass():
    bars = [rounded_box(6.6, 2.5, 24.4, 5.8, 1.2), rounded_box(6.6, 25.2, 24.4, 28.5, 1.2)]
    glass = polygon([(8.8, 5.5), (22.2, 5.5), (16.3, 15.5), (22.2, 25.5), (8.8, 25.5), (14.7, 15.5)])
    sand_top = polygon([(11.6, 10.2), (19.4, 10.2), (15.5, 14.8)])
    sand_bottom = polygon([(15.5, 19.5), (20.6, 24.2), (10.4, 24.2)])
    stream = capsule(15.5, 14.5, 15.5, 21, 0.5)
    amber = (214, 150, 40, 255)
    bar_colour = (70, 45, 25, 255)
    return outlined(union(glass, *bars),
                    details=[(bars[0], bar_colour), (bars[1], bar_colour), (sand_top, amber),
                             (sand_bottom, amber), (stream, amber)])


CURSORS = {
    "ARROWCURSOR": arrow,
    "HANDPOINTCURSOR": hand,
    "HOURGLASSCURSOR": hourglass,
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, design in CURSORS.items():
        write_argb(os.path.join(folder, name + ".argb"), 32, 32, render(32, 32, design()))


if __name__ == "__main__":
    main()
