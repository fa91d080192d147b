#!/usr/bin/python3
"""Draws the desktop icon of tevo-logviewer into resources/desktop/icons/.

    resources/desktop/generate_icon.py [--out DIR]

Needs Debian's python3-pil. The icon is the viewer in small: a calendar page
with the navy title tab of the calendar screen, and over its lower part a
piece of the map screen in the renderer's land colour, with a red dotted
track between the start flag and the end flag. Colours come from the picture
generator, so the icon keeps the pictures' look. Each size is drawn on its
own (four times larger, then reduced) and written as an RGBA PNG with a
transparent surround: icons/<size>x<size>/tevo-logviewer.png.
"""

import argparse
import math
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))

from generate_pictures import (END_FLAG_COLOUR, GRID_LINE, MARK_DOT, MARK_TINT, NAVY, PAGE,  # noqa: E402
                               START_FLAG_COLOUR, WHITE)
from sketch import rounded_rectangle  # noqa: E402

SIZES = (16, 32, 48, 64, 128, 256)
SUPERSAMPLING = 4
LAND = (248, 248, 192)   # the renderer's land colour
TRACK = (230, 24, 24)    # the track's dots
ROAD = (255, 255, 255)
ROAD_EDGE = (196, 186, 150)
SHADOW = (0, 0, 0, 70)


def track_points(n):
    """A drive across the map piece, in unit coordinates of that piece."""
    points = []
    for i in range(n):
        t = i / (n - 1)
        x = 0.12 + 0.76 * t
        y = 0.72 - 0.42 * t + 0.16 * math.sin(t * math.pi * 2.2)
        points.append((x, y))
    return points


def draw_flag(draw, foot, size, colour):
    """A flag whose pole stands on `foot`, `size` pixels high."""
    x, y = foot
    pole = max(1.0, size * 0.12)
    draw.rectangle((x - pole / 2, y - size, x + pole / 2, y), fill=(30, 30, 30))
    banner = (x + pole / 2, y - size, x + pole / 2 + size * 0.78, y - size * 0.42)
    draw.rectangle(banner, fill=tuple(round(c * 0.55) for c in colour))
    inset = max(1.0, size * 0.06)
    draw.rectangle((banner[0], banner[1] + inset, banner[2] - inset, banner[3] - inset), fill=colour)


def draw_icon(size):
    s = size * SUPERSAMPLING
    image = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image, "RGBA")
    margin = s * 0.06
    radius = s * 0.12
    page = (margin, margin, s - margin, s - margin * 0.6)
    draw.rounded_rectangle((page[0] + s * 0.02, page[1] + s * 0.03, page[2] + s * 0.02, page[3] + s * 0.02),
                           radius=radius, fill=SHADOW)
    draw.rounded_rectangle(page, radius=radius, fill=PAGE, outline=GRID_LINE, width=max(1, round(s * 0.012)))

    # The title band: navy tab across the top, with two rings of the binder.
    band = (page[0], page[1], page[2], page[1] + s * 0.22)
    rounded_rectangle(draw, band, radius, NAVY, corners=(True, True, False, False))
    for cx in (0.32, 0.68):
        ring = (s * cx - s * 0.035, page[1] - s * 0.03, s * cx + s * 0.035, page[1] + s * 0.07)
        draw.rounded_rectangle(ring, radius=s * 0.03, fill=WHITE, outline=GRID_LINE)

    # A row of days with the marked one, as on the calendar.
    top = band[3] + s * 0.03
    cell = (page[2] - page[0] - s * 0.08) / 4
    for i in range(4):
        x0 = page[0] + s * 0.04 + i * cell
        box = (x0 + s * 0.008, top, x0 + cell - s * 0.008, top + s * 0.12)
        marked = i == 2
        draw.rectangle(box, fill=MARK_TINT if marked else WHITE, outline=GRID_LINE)
        if marked:
            r = s * 0.022
            draw.ellipse((box[0] + r, box[1] + r, box[0] + 3 * r, box[1] + 3 * r), fill=MARK_DOT)

    # The map piece: land, two roads, the track and its flags.
    map_box = (page[0] + s * 0.04, top + s * 0.15, page[2] - s * 0.04, page[3] - s * 0.04)
    draw.rectangle(map_box, fill=LAND, outline=GRID_LINE)
    w, h = map_box[2] - map_box[0], map_box[3] - map_box[1]

    def at(u, v):
        return (map_box[0] + u * w, map_box[1] + v * h)

    road = max(2, round(s * 0.035))
    for line in ((at(0.0, 0.35), at(1.0, 0.55)), (at(0.62, 0.0), at(0.45, 1.0))):
        draw.line(line, fill=ROAD_EDGE, width=road + max(2, round(s * 0.012)))
        draw.line(line, fill=ROAD, width=road)
    dots = 9 if size < 48 else 15
    dot = max(s * 0.022, SUPERSAMPLING * 1.2)
    for u, v in track_points(dots):
        x, y = at(u, v)
        draw.ellipse((x - dot, y - dot, x + dot, y + dot), fill=TRACK)
    first, last = track_points(dots)[0], track_points(dots)[-1]
    flag = s * 0.16
    draw_flag(draw, at(*first), flag, START_FLAG_COLOUR)
    draw_flag(draw, at(*last), flag, END_FLAG_COLOUR)
    return image.resize((size, size), Image.LANCZOS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(HERE, "icons"), help="folder of the size folders")
    args = parser.parse_args()
    for size in SIZES:
        folder = os.path.join(args.out, f"{size}x{size}")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "tevo-logviewer.png")
        draw_icon(size).save(path, optimize=True)
        print(path)


if __name__ == "__main__":
    main()
