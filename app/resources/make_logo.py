#!/usr/bin/env python3
"""Draws the program's logo for the about and splash window: LOGO.argb.

Usage: make_logo.py [output-folder]   (default: this script's folder)

A dark card with a soft shadow, a seal holding a check mark and three
score bars. The band below the card stays transparent: the window draws the
version and copyright lines there, in the picture's lower right corner.
Uses the shape and file helpers of the components' image script.
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "components", "resources"))
from make_images import capsule, render, rounded_box, write_argb  # noqa: E402

WIDTH, HEIGHT = 360, 200
CARD = (10, 8, 350, 140)
RADIUS = 22


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


card = rounded_box(*CARD, RADIUS)
shadow = rounded_box(CARD[0] + 3, CARD[1] + 6, CARD[2] + 3, CARD[3] + 6, RADIUS)
seal = circle(82, 74, 46)
seal_ring = ring(82, 74, 46, 5)
tick = [capsule(60, 76, 76, 93, 6.5), capsule(76, 93, 108, 55, 6.5)]
bars = [(150, 52, 318), (150, 76, 286), (150, 100, 300)]
bar_shapes = [capsule(x0, y, x1, y, 7) for x0, y, x1 in bars]
bar_heads = [capsule(x0, y, x0 + 34, y, 7) for x0, y, _ in bars]

NAVY_TOP = (28, 52, 96)
NAVY_BOTTOM = (12, 24, 52)
GOLD = (240, 190, 70)
SEAL = (22, 84, 70)
BAR = (120, 160, 210)
HEAD = (0, 192, 96)


def shade(x, y):
    if card(x, y) > 0:
        d = shadow(x, y)
        if d > 10:
            return None
        a = 0.45 * (1 - max(d, 0) / 10) ** 2
        return (0, 0, 0, 255 * a) if a > 0 else None
    c = mix(NAVY_TOP, NAVY_BOTTOM, (y - CARD[1]) / (CARD[3] - CARD[1]))
    # a faint highlight along the top edge
    if y - CARD[1] < 30:
        c = mix(c, (70, 100, 150), 0.25 * (1 - (y - CARD[1]) / 30))
    if seal(x, y) < 0:
        c = mix(SEAL, (10, 50, 40), math.hypot(x - 70, y - 60) / 70)
    if seal_ring(x, y) < 0:
        c = GOLD
    if min(t(x, y) for t in tick) < 0:
        c = (250, 250, 240)
    for body, head in zip(bar_shapes, bar_heads):
        if body(x, y) < 0:
            c = HEAD if head(x, y) < 0 else BAR
    return (c[0], c[1], c[2], 255)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    write_argb(os.path.join(out, "LOGO.argb"), WIDTH, HEIGHT, render(WIDTH, HEIGHT, shade))


if __name__ == "__main__":
    main()
