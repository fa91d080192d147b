"""Picture 133: small map symbols.

Pictograms on coloured discs and tiles (16 x 16 unless the table gives
another size), small road plates (14 x 10, 22 x 10), route plates that get a
white number drawn over them at run time (20 x 18, 26 x 18), the numbered
20 x 20 cells (12 a row from y 64) and the extra symbol at (64, 0). Every
position the renderer reads is drawn; everything else stays magenta.
"""

import math

from PIL import Image

import name_pictures
from sketch import Sketch, darker, lighter

ATLAS_SIZE = (240, 200)

OUTLINE = (40, 42, 50)
WHITE = (255, 255, 255)

BLUE = (30, 100, 210)
GREEN = (36, 146, 70)
RED = (208, 48, 38)
ORANGE = (234, 128, 20)
TEAL = (0, 136, 148)
BROWN = (140, 92, 50)
SLATE = (78, 88, 104)
NAVY = (28, 58, 108)
OLIVE = (120, 140, 30)

# 16 x 16 symbols: position in the atlas, then (pictogram, colour, shape).
SYMBOL = (16, 16)
SYMBOLS = {
    (176, 48): ("train", BLUE, "tile"),
    (192, 48): ("bus", GREEN, "tile"),
    (208, 48): ("ship", TEAL, "tile"),
    (224, 48): ("plane", NAVY, "tile"),
    (208, 32): ("fuel", RED, "tile"),
    (192, 32): ("parking", BLUE, "tile"),
    (144, 32): ("cross", RED, "disc"),
    (160, 32): ("post", RED, "disc"),
    (176, 32): ("police", NAVY, "disc"),
    (144, 16): ("school", BROWN, "disc"),
    (160, 16): ("book", BROWN, "disc"),
    (112, 48): ("torii", RED, "disc"),
    (128, 48): ("temple", SLATE, "disc"),
    (32, 48): ("bank", OLIVE, "tile"),
    (48, 48): ("bed", TEAL, "tile"),
    (80, 48): ("fork", ORANGE, "tile"),
    (64, 48): ("cup", BROWN, "tile"),
    (96, 48): ("bag", ORANGE, "tile"),
    (224, 32): ("spa", RED, "disc"),
    (128, 16): ("tree", GREEN, "disc"),
    (96, 32): ("office", NAVY, "disc"),
    (112, 32): ("town", NAVY, "disc"),
    (128, 32): ("fire", RED, "disc"),
    (48, 0): ("mountain", BROWN, "disc"),
    (0, 32): ("factory", SLATE, "tile"),
    (16, 32): ("castle", SLATE, "tile"),
    (64, 32): ("anchor", BLUE, "disc"),
    (80, 32): ("lighthouse", TEAL, "disc"),
    (32, 32): ("golf", GREEN, "tile"),
    (48, 32): ("tent", OLIVE, "tile"),
    (112, 16): ("info", BLUE, "tile"),
    (96, 16): ("car", SLATE, "tile"),
    (0, 48): ("star", ORANGE, "disc"),
    (16, 48): ("flower", GREEN, "disc"),
    (0, 16): ("bank", NAVY, "disc"),
    (16, 16): ("stadium", GREEN, "tile"),
    (16, 0): ("fish", BLUE, "disc"),
    (32, 0): ("cross", GREEN, "tile"),
    (47, 16): ("phone", SLATE, "tile"),
    (64, 16): ("museum", BROWN, "tile"),
}

# The symbol drawn beside the labels of classes that have none of their own.
EXTRA_SYMBOL_AT = tuple(name_pictures.extra_symbol()[:2])

# Small road plates: position, size, colour and pattern.
PLATES = (
    ((97, 3), (14, 10), GREEN, "arrow"),
    ((113, 3), (14, 10), GREEN, "loop"),
    ((129, 3), (14, 10), BLUE, "arrow"),
    ((145, 3), (14, 10), BLUE, "loop"),
    ((161, 3), (14, 10), BROWN, "bars"),
    ((176, 3), (22, 10), ORANGE, "bars"),
)

# Route plates that get a white number at run time: position, size, colour, shape.
ROUTE_PLATES = (
    ((0, 164), (20, 18), BLUE, "shield"),
    ((20, 164), (20, 18), GREEN, "shield"),
    ((40, 164), (26, 18), GREEN, "plate"),
    ((86, 164), (26, 18), BLUE, "plate"),
)

# Numbered cells: 20 x 20, 12 a row from y 64, indices 0 to 56.
CELL = 20
CELLS_PER_ROW = 12
CELLS_TOP = 64
CELL_COUNT = name_pictures.numbered_cell_count()
CELL_PICTOGRAMS = ("train", "bus", "parking", "fuel", "cross", "post", "police", "school", "book", "torii",
                   "temple", "bank", "bed", "fork", "cup", "bag", "spa", "tree", "office", "town", "fire",
                   "mountain", "factory", "castle", "anchor", "lighthouse", "golf", "tent", "info", "car",
                   "star", "flower", "stadium", "fish", "phone", "museum", "ship", "plane")
CELL_COLOURS = (BLUE, GREEN, RED, ORANGE, TEAL, BROWN, SLATE, NAVY, OLIVE)


def cell_position(index):
    return (index % CELLS_PER_ROW) * CELL, CELLS_TOP + (index // CELLS_PER_ROW) * CELL


# --- pictograms: shapes of colour c centred on (cx, cy), s = half their size;
#     cut-outs take the base colour b ---------------------------------------------

def _train(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.7, cy - s * 0.85, cx + s * 0.7, cy + s * 0.6), c, radius=s * 0.3)
    sk.rect((cx - s * 0.5, cy - s * 0.6, cx + s * 0.5, cy - s * 0.1), b)
    for dx in (-0.4, 0.4):
        sk.circle(cx + s * dx, cy + s * 0.25, s * 0.12, b)
    sk.line([(cx - s * 0.5, cy + s * 0.6), (cx - s * 0.8, cy + s * 0.95)], c, s * 0.18)
    sk.line([(cx + s * 0.5, cy + s * 0.6), (cx + s * 0.8, cy + s * 0.95)], c, s * 0.18)


def _bus(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.75, cy - s * 0.8, cx + s * 0.75, cy + s * 0.6), c, radius=s * 0.2)
    sk.rect((cx - s * 0.55, cy - s * 0.55, cx + s * 0.55, cy), b)
    for dx in (-0.45, 0.45):
        sk.rect((cx + s * dx - s * 0.15, cy + s * 0.6, cx + s * dx + s * 0.15, cy + s * 0.9), c)


def _ship(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.9, cy + s * 0.1), (cx + s * 0.9, cy + s * 0.1), (cx + s * 0.55, cy + s * 0.7),
                (cx - s * 0.55, cy + s * 0.7)], c)
    sk.rect((cx - s * 0.45, cy - s * 0.35, cx + s * 0.35, cy + s * 0.1), c)
    sk.rect((cx - s * 0.1, cy - s * 0.8, cx + s * 0.15, cy - s * 0.35), c)


def _plane(sk, cx, cy, s, c, b):
    sk.polygon([(cx, cy - s * 0.95), (cx + s * 0.14, cy - s * 0.7), (cx + s * 0.14, cy - s * 0.2),
                (cx + s * 0.9, cy + s * 0.25), (cx + s * 0.9, cy + s * 0.42), (cx + s * 0.14, cy + s * 0.2),
                (cx + s * 0.12, cy + s * 0.6), (cx + s * 0.4, cy + s * 0.85), (cx - s * 0.4, cy + s * 0.85),
                (cx - s * 0.12, cy + s * 0.6), (cx - s * 0.14, cy + s * 0.2), (cx - s * 0.9, cy + s * 0.42),
                (cx - s * 0.9, cy + s * 0.25), (cx - s * 0.14, cy - s * 0.2), (cx - s * 0.14, cy - s * 0.7)], c)


def _fuel(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.65, cy - s * 0.75, cx + s * 0.25, cy + s * 0.85), c, radius=s * 0.1)
    sk.rect((cx - s * 0.45, cy - s * 0.55, cx + s * 0.05, cy - s * 0.15), b)
    sk.line([(cx + s * 0.25, cy - s * 0.2), (cx + s * 0.6, cy), (cx + s * 0.6, cy + s * 0.5),
             (cx + s * 0.75, cy + s * 0.5), (cx + s * 0.75, cy - s * 0.5)], c, s * 0.16)


def _parking(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.45, cy - s * 0.8, cx - s * 0.15, cy + s * 0.85), c)
    sk.ellipse((cx - s * 0.45, cy - s * 0.8, cx + s * 0.6, cy + s * 0.25), c)
    sk.ellipse((cx - s * 0.15, cy - s * 0.5, cx + s * 0.3, cy - s * 0.05), b)
    sk.rect((cx - s * 0.15, cy - s * 0.5, cx + s * 0.05, cy - s * 0.05), b)


def _cross(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.7, cy - s * 0.22, cx + s * 0.7, cy + s * 0.22), c)
    sk.rect((cx - s * 0.22, cy - s * 0.7, cx + s * 0.22, cy + s * 0.7), c)


def _post(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.65, cy - s * 0.65, cx + s * 0.65, cy - s * 0.42), c)
    sk.rect((cx - s * 0.65, cy - s * 0.2, cx + s * 0.65, cy + s * 0.03), c)
    sk.rect((cx - s * 0.12, cy - s * 0.2, cx + s * 0.12, cy + s * 0.75), c)


def _police(sk, cx, cy, s, c, b):
    sk.line([(cx - s * 0.6, cy - s * 0.6), (cx + s * 0.6, cy + s * 0.6)], c, s * 0.28)
    sk.line([(cx + s * 0.6, cy - s * 0.6), (cx - s * 0.6, cy + s * 0.6)], c, s * 0.28)


def _fire(sk, cx, cy, s, c, b):
    sk.line([(cx - s * 0.6, cy - s * 0.65), (cx, cy - s * 0.05), (cx + s * 0.6, cy - s * 0.65)], c, s * 0.24)
    sk.line([(cx, cy - s * 0.05), (cx, cy + s * 0.7)], c, s * 0.24)


def _school(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.75, cy - s * 0.1, cx + s * 0.75, cy + s * 0.7), c)
    sk.polygon([(cx - s * 0.85, cy - s * 0.05), (cx, cy - s * 0.55), (cx + s * 0.85, cy - s * 0.05)], c)
    sk.rect((cx - s * 0.04, cy - s * 0.9, cx + s * 0.1, cy - s * 0.45), c)
    sk.rect((cx + s * 0.1, cy - s * 0.9, cx + s * 0.5, cy - s * 0.65), c)
    sk.rect((cx - s * 0.15, cy + s * 0.25, cx + s * 0.15, cy + s * 0.7), b)


def _book(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.85, cy - s * 0.55), (cx - s * 0.05, cy - s * 0.4), (cx - s * 0.05, cy + s * 0.7),
                (cx - s * 0.85, cy + s * 0.55)], c)
    sk.polygon([(cx + s * 0.85, cy - s * 0.55), (cx + s * 0.05, cy - s * 0.4), (cx + s * 0.05, cy + s * 0.7),
                (cx + s * 0.85, cy + s * 0.55)], c)


def _torii(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.9, cy - s * 0.75, cx + s * 0.9, cy - s * 0.5), c)
    sk.rect((cx - s * 0.7, cy - s * 0.25, cx + s * 0.7, cy - s * 0.05), c)
    for dx in (-0.45, 0.45):
        sk.rect((cx + s * dx - s * 0.11, cy - s * 0.5, cx + s * dx + s * 0.11, cy + s * 0.8), c)


def _temple(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.9, cy - s * 0.05), (cx - s * 0.5, cy - s * 0.6), (cx + s * 0.5, cy - s * 0.6),
                (cx + s * 0.9, cy - s * 0.05)], c)
    sk.rect((cx - s * 0.6, cy + s * 0.1, cx + s * 0.6, cy + s * 0.7), c)
    sk.rect((cx - s * 0.2, cy + s * 0.25, cx + s * 0.2, cy + s * 0.7), b)


def _museum(sk, cx, cy, s, c, b):
    """A classical front: pediment, columns, base."""
    sk.polygon([(cx - s * 0.85, cy - s * 0.35), (cx, cy - s * 0.85), (cx + s * 0.85, cy - s * 0.35)], c)
    for dx in (-0.55, -0.18, 0.18, 0.55):
        sk.rect((cx + s * dx - s * 0.1, cy - s * 0.25, cx + s * dx + s * 0.1, cy + s * 0.5), c)
    sk.rect((cx - s * 0.85, cy + s * 0.55, cx + s * 0.85, cy + s * 0.75), c)


def _bank(sk, cx, cy, s, c, b):
    """A stack of coins."""
    for k in range(3):
        y = cy + s * (0.45 - 0.4 * k)
        sk.rect((cx - s * 0.7, y - s * 0.05, cx + s * 0.7, y + s * 0.25), c)
        sk.ellipse((cx - s * 0.7, y - s * 0.25, cx + s * 0.7, y + s * 0.15), c)
        sk.rect((cx - s * 0.7, y + s * 0.22, cx + s * 0.7, y + s * 0.3), b)
    sk.ellipse((cx - s * 0.45, cy - s * 0.75, cx + s * 0.45, cy - s * 0.5), b)


def _bed(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.85, cy - s * 0.55, cx - s * 0.6, cy + s * 0.7), c)
    sk.rect((cx - s * 0.85, cy + s * 0.05, cx + s * 0.85, cy + s * 0.35), c)
    sk.rect((cx + s * 0.6, cy + s * 0.05, cx + s * 0.85, cy + s * 0.7), c)
    sk.circle(cx - s * 0.3, cy - s * 0.2, s * 0.2, c)
    sk.rect((cx - s * 0.05, cy - s * 0.35, cx + s * 0.85, cy + s * 0.05), c, radius=s * 0.1)


def _fork(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.5, cy - s * 0.2, cx - s * 0.3, cy + s * 0.85), c)
    for dx in (-0.7, -0.4, -0.1):
        sk.rect((cx + s * dx, cy - s * 0.85, cx + s * dx + s * 0.12, cy - s * 0.2), c)
    sk.rect((cx - s * 0.7, cy - s * 0.3, cx - s * 0.1, cy - s * 0.1), c)
    sk.ellipse((cx + s * 0.2, cy - s * 0.85, cx + s * 0.7, cy + s * 0.05), c)
    sk.rect((cx + s * 0.35, cy - s * 0.2, cx + s * 0.55, cy + s * 0.85), c)


def _cup(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.65, cy - s * 0.4, cx + s * 0.35, cy + s * 0.5), c, radius=s * 0.2)
    sk.ring(cx + s * 0.4, cy, s * 0.3, c, s * 0.14)
    sk.rect((cx - s * 0.85, cy + s * 0.6, cx + s * 0.6, cy + s * 0.75), c)


def _bag(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.65, cy - s * 0.3, cx + s * 0.65, cy + s * 0.8), c, radius=s * 0.1)
    sk.ring(cx, cy - s * 0.35, s * 0.35, c, s * 0.14)


def _spa(sk, cx, cy, s, c, b):
    """A bath with three wisps of steam rising from it."""
    sk.arc((cx - s * 0.85, cy - s * 0.35, cx + s * 0.85, cy + s * 0.85), 0, 180, c, s * 0.2)
    for dx in (-0.42, 0.0, 0.42):
        x = cx + s * dx
        sk.line([(x, cy + s * 0.3), (x - s * 0.14, cy), (x + s * 0.14, cy - s * 0.4), (x, cy - s * 0.9)], c,
                s * 0.17)


def _tree(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.12, cy, cx + s * 0.12, cy + s * 0.85), c)
    sk.circle(cx, cy - s * 0.25, s * 0.55, c)


def _office(sk, cx, cy, s, c, b):
    sk.ring(cx, cy, s * 0.7, c, s * 0.2)
    sk.ring(cx, cy, s * 0.35, c, s * 0.18)


def _town(sk, cx, cy, s, c, b):
    sk.ring(cx, cy, s * 0.7, c, s * 0.22)
    sk.circle(cx, cy, s * 0.22, c)


def _mountain(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.9, cy + s * 0.6), (cx - s * 0.1, cy - s * 0.7), (cx + s * 0.3, cy - s * 0.1),
                (cx + s * 0.45, cy - s * 0.3), (cx + s * 0.9, cy + s * 0.6)], c)


def _factory(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.85, cy + s * 0.7), (cx - s * 0.85, cy - s * 0.2), (cx - s * 0.35, cy - s * 0.5),
                (cx - s * 0.35, cy - s * 0.2), (cx + s * 0.15, cy - s * 0.5), (cx + s * 0.15, cy - s * 0.2),
                (cx + s * 0.45, cy - s * 0.4), (cx + s * 0.45, cy - s * 0.9), (cx + s * 0.75, cy - s * 0.9),
                (cx + s * 0.75, cy - s * 0.2), (cx + s * 0.85, cy - s * 0.2), (cx + s * 0.85, cy + s * 0.7)], c)


def _castle(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.7, cy - s * 0.3, cx + s * 0.7, cy + s * 0.75), c)
    for dx in (-0.7, -0.2, 0.3):
        sk.rect((cx + s * dx, cy - s * 0.65, cx + s * dx + s * 0.3, cy - s * 0.3), c)
    sk.rect((cx - s * 0.2, cy + s * 0.25, cx + s * 0.2, cy + s * 0.75), b)


def _anchor(sk, cx, cy, s, c, b):
    sk.ring(cx, cy - s * 0.6, s * 0.22, c, s * 0.14)
    sk.rect((cx - s * 0.09, cy - s * 0.4, cx + s * 0.09, cy + s * 0.75), c)
    sk.rect((cx - s * 0.45, cy - s * 0.2, cx + s * 0.45, cy - s * 0.04), c)
    sk.arc((cx - s * 0.75, cy - s * 0.35, cx + s * 0.75, cy + s * 0.8), 20, 160, c, s * 0.16)


def _lighthouse(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.45, cy + s * 0.8), (cx - s * 0.22, cy - s * 0.35), (cx + s * 0.22, cy - s * 0.35),
                (cx + s * 0.45, cy + s * 0.8)], c)
    sk.rect((cx - s * 0.25, cy - s * 0.75, cx + s * 0.25, cy - s * 0.45), c)
    sk.polygon([(cx + s * 0.3, cy - s * 0.6), (cx + s * 0.9, cy - s * 0.85), (cx + s * 0.9, cy - s * 0.35)], c)


def _golf(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.3, cy - s * 0.85, cx - s * 0.15, cy + s * 0.6), c)
    sk.polygon([(cx - s * 0.15, cy - s * 0.85), (cx + s * 0.7, cy - s * 0.55), (cx - s * 0.15, cy - s * 0.25)], c)
    sk.ellipse((cx - s * 0.8, cy + s * 0.45, cx + s * 0.5, cy + s * 0.85), c)


def _tent(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.9, cy + s * 0.7), (cx, cy - s * 0.8), (cx + s * 0.9, cy + s * 0.7)], c)
    sk.polygon([(cx - s * 0.25, cy + s * 0.7), (cx, cy + s * 0.1), (cx + s * 0.25, cy + s * 0.7)], b)


def _info(sk, cx, cy, s, c, b):
    sk.circle(cx, cy - s * 0.6, s * 0.2, c)
    sk.rect((cx - s * 0.16, cy - s * 0.25, cx + s * 0.16, cy + s * 0.75), c)
    sk.rect((cx - s * 0.35, cy - s * 0.25, cx + s * 0.16, cy - s * 0.1), c)
    sk.rect((cx - s * 0.35, cy + s * 0.6, cx + s * 0.35, cy + s * 0.75), c)


def _car(sk, cx, cy, s, c, b):
    sk.polygon([(cx - s * 0.55, cy - s * 0.1), (cx - s * 0.35, cy - s * 0.55), (cx + s * 0.35, cy - s * 0.55),
                (cx + s * 0.55, cy - s * 0.1)], c)
    sk.rect((cx - s * 0.85, cy - s * 0.15, cx + s * 0.85, cy + s * 0.4), c, radius=s * 0.12)
    for dx in (-0.5, 0.5):
        sk.circle(cx + s * dx, cy + s * 0.45, s * 0.22, c)
    sk.rect((cx - s * 0.25, cy - s * 0.45, cx + s * 0.25, cy - s * 0.15), b)


def _star(sk, cx, cy, s, c, b):
    points = []
    for k in range(10):
        r = s * (0.9 if k % 2 == 0 else 0.38)
        a = math.radians(-90 + 36 * k)
        points.append((cx + r * math.cos(a), cy + s * 0.05 + r * math.sin(a)))
    sk.polygon(points, c)


def _flower(sk, cx, cy, s, c, b):
    for k in range(5):
        a = math.radians(-90 + 72 * k)
        sk.circle(cx + s * 0.42 * math.cos(a), cy + s * 0.42 * math.sin(a), s * 0.32, c)
    sk.circle(cx, cy, s * 0.22, (250, 210, 60))


def _stadium(sk, cx, cy, s, c, b):
    sk.ellipse((cx - s * 0.85, cy - s * 0.6, cx + s * 0.85, cy + s * 0.6), c)
    sk.ellipse((cx - s * 0.5, cy - s * 0.3, cx + s * 0.5, cy + s * 0.3), b)


def _fish(sk, cx, cy, s, c, b):
    sk.ellipse((cx - s * 0.7, cy - s * 0.45, cx + s * 0.45, cy + s * 0.45), c)
    sk.polygon([(cx + s * 0.3, cy), (cx + s * 0.9, cy - s * 0.45), (cx + s * 0.9, cy + s * 0.45)], c)
    sk.circle(cx - s * 0.35, cy - s * 0.08, s * 0.1, b)


def _phone(sk, cx, cy, s, c, b):
    sk.rect((cx - s * 0.45, cy - s * 0.85, cx + s * 0.45, cy + s * 0.85), c, radius=s * 0.15)
    sk.rect((cx - s * 0.3, cy - s * 0.6, cx + s * 0.3, cy + s * 0.4), b)
    sk.circle(cx, cy + s * 0.6, s * 0.1, b)


PICTOGRAMS = {
    "train": _train, "bus": _bus, "ship": _ship, "plane": _plane, "fuel": _fuel, "parking": _parking,
    "cross": _cross, "post": _post, "police": _police, "fire": _fire, "school": _school, "book": _book,
    "torii": _torii, "temple": _temple, "bank": _bank, "bed": _bed, "fork": _fork, "cup": _cup, "bag": _bag,
    "spa": _spa, "tree": _tree, "office": _office, "town": _town, "mountain": _mountain, "factory": _factory,
    "castle": _castle, "anchor": _anchor, "lighthouse": _lighthouse, "golf": _golf, "tent": _tent,
    "info": _info, "car": _car, "star": _star, "flower": _flower, "stadium": _stadium, "fish": _fish,
    "phone": _phone, "museum": _museum,
}

def symbol(w, h, pictogram, colour, shape):
    """A pictogram in white on a coloured disc or tile, with a dark edge."""
    sk = Sketch(w, h)
    box = (1, 1, w - 1, h - 1)
    if shape == "disc":
        sk.ellipse(box, colour)
    else:
        sk.gradient_rect(box, lighter(colour, 0.18), darker(colour, 0.9), radius=2.5)
    s = (min(w, h) - 2) / 2 * 0.78
    PICTOGRAMS[pictogram](sk, w / 2, h / 2, s, WHITE, colour)
    sk.outline_silhouette(OUTLINE)
    return sk.finish()


def extra_symbol():
    """A small orange point marker."""
    sk = Sketch(*SYMBOL)
    sk.circle(8, 8, 6, (236, 120, 20))
    sk.circle(8, 8, 2.5, WHITE)
    sk.outline_silhouette(OUTLINE)
    return sk.finish()


def road_plate(w, h, colour, pattern):
    sk = Sketch(w, h)
    sk.rect((0, 0, w, h), OUTLINE, radius=2)
    sk.rect((1, 1, w - 1, h - 1), colour, radius=1.5)
    cy = h / 2
    if pattern == "arrow":
        sk.rect((3, cy - 0.75, w - 5, cy + 0.75), WHITE)
        sk.polygon([(w - 3, cy), (w - 6, cy - 2.8), (w - 6, cy + 2.8)], WHITE)
    elif pattern == "loop":
        sk.ring(w / 2, cy, 3, WHITE, 1.3)
        sk.rect((2, cy - 0.65, w / 2 - 2.5, cy + 0.65), WHITE)
    else:
        for x in range(3, w - 3, 4):
            sk.rect((x, 3, x + 2, h - 3), WHITE)
    return sk.finish()


def route_plate(w, h, colour, shape):
    """A plate the run-time route number (white) is written on."""
    sk = Sketch(w, h)
    if shape == "shield":
        # straight sides for most of the height, so that the number fits above the point
        for inset, colour in ((0, OUTLINE), (1, WHITE), (2, colour)):
            sk.polygon([(inset, inset), (w - inset, inset), (w - inset, h * 0.76 - inset * 0.4),
                        (w / 2, h - inset * 1.4), (inset, h * 0.76 - inset * 0.4)], colour)
    else:
        sk.rect((0, 0, w, h), OUTLINE, radius=3)
        sk.rect((1, 1, w - 1, h - 1), WHITE, radius=2.5)
        sk.rect((2, 2, w - 2, h - 2), colour, radius=2)
    return sk.finish()


def check_against_renderer_table():
    """Every symbol the renderer copies has a picture of its size here."""
    drawn = {position: SYMBOL for position in SYMBOLS}
    drawn.update({position: size for position, size, _, _ in PLATES + ROUTE_PLATES})
    for position, (w, h, _) in name_pictures.symbols().items():
        if drawn.get(position) != (w, h):
            raise SystemExit("picture 133 draws nothing of %dx%d at %s" % (w, h, position))


def draw_atlas():
    check_against_renderer_table()
    atlas = Image.new("RGB", ATLAS_SIZE, (255, 0, 255))
    for (x, y), (pictogram, colour, shape) in SYMBOLS.items():
        atlas.paste(symbol(*SYMBOL, pictogram, colour, shape), (x, y))
    atlas.paste(extra_symbol(), EXTRA_SYMBOL_AT)
    for (x, y), (w, h), colour, pattern in PLATES:
        atlas.paste(road_plate(w, h, colour, pattern), (x, y))
    for (x, y), (w, h), colour, shape in ROUTE_PLATES:
        atlas.paste(route_plate(w, h, colour, shape), (x, y))
    for index in range(CELL_COUNT):
        pictogram = CELL_PICTOGRAMS[index % len(CELL_PICTOGRAMS)]
        colour = CELL_COLOURS[index % len(CELL_COLOURS)]
        shape = "tile" if (index // CELLS_PER_ROW) % 2 == 0 else "disc"
        atlas.paste(symbol(CELL, CELL, pictogram, colour, shape), cell_position(index))
    return atlas
