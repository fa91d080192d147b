"""Picture 132: facility marks, one landmark illustration per atlas rectangle.

The renderer copies a mark's rectangle centred on the facility's pixel, keyed
on magenta. Each rectangle gets a building drawn to fill it, chosen by the
rectangle's shape (towers for tall ones, halls, stations and stadiums for
wide ones). Where two rectangles of the table overlap, the shared pixels stay
magenta, so that no mark shows a piece of its neighbour.
"""

import math

from PIL import Image

import name_pictures
from sketch import Sketch, darker, lighter

ATLAS_SIZE = (672, 368)

# Class code: (x, y, width, height) of its mark in the atlas, as the
# renderer reads it.
MARKS = name_pictures.marks()

OUTLINE = (40, 42, 50)

STONE = (158, 154, 144)
STONE_LIGHT = (204, 198, 184)
WALL = (248, 246, 238)
ROOF = (70, 78, 92)
ROOF_GREEN = (78, 150, 128)
WOOD_RED = (196, 52, 36)
WOOD_DARK = (96, 62, 40)
BRICK = (178, 80, 54)
GLASS = (124, 176, 220)
GLASS_DEEP = (66, 112, 168)
GOLD = (232, 184, 40)
FIELD = (92, 172, 82)
CONCRETE = (214, 216, 220)
STEEL = (150, 160, 174)
WATER = (84, 152, 222)
SEATS = (70, 112, 196)


class Frame:
    """Fractional coordinates inside a box: (0, 0) top left, (1, 1) bottom right."""

    def __init__(self, x0, y0, x1, y1):
        self.x0, self.y0, self.w, self.h = x0, y0, x1 - x0, y1 - y0

    def x(self, f):
        return self.x0 + f * self.w

    def y(self, f):
        return self.y0 + f * self.h

    def box(self, fx0, fy0, fx1, fy1):
        return (self.x(fx0), self.y(fy0), self.x(fx1), self.y(fy1))

    def pts(self, *points):
        return [(self.x(a), self.y(b)) for a, b in points]


# --- pieces --------------------------------------------------------------------

def eave_roof(sk, f, x0, x1, y_top, y_bottom, colour, inset=0.12, lift=0.04):
    """A Japanese roof: sloping sides with eaves turned up at the tips."""
    sk.polygon(f.pts((x0, y_bottom - lift), (x0 + 0.05, y_bottom), (x1 - 0.05, y_bottom), (x1, y_bottom - lift),
                     (x1 - inset, y_top), (x0 + inset, y_top)), colour)
    sk.rect(f.box(x0 + 0.05, y_bottom - 0.02, x1 - 0.05, y_bottom), darker(colour, 0.7))


def windows(sk, f, box, columns, rows, colour, fill=0.55):
    """A grid of windows filling `fill` of each cell of a fractional box."""
    fx0, fy0, fx1, fy1 = box
    cw, ch = (fx1 - fx0) / columns, (fy1 - fy0) / rows
    for i in range(columns):
        for j in range(rows):
            cx, cy = fx0 + (i + 0.5) * cw, fy0 + (j + 0.5) * ch
            sk.rect(f.box(cx - cw * fill / 2, cy - ch * fill / 2, cx + cw * fill / 2, cy + ch * fill / 2), colour)


def half_width(profile, fy):
    """Half width at height fy of a symmetric outline given as (fy, half width) pairs, top down."""
    for (ya, wa), (yb, wb) in zip(profile, profile[1:]):
        if ya <= fy <= yb:
            return wa + (wb - wa) * (fy - ya) / (yb - ya)
    raise ValueError(f"{fy} outside the outline")


def band(sk, f, profile, y0, y1, colour):
    """A band from fy0 to fy1 across a symmetric tapering outline."""
    w0, w1 = half_width(profile, y0), half_width(profile, y1)
    sk.polygon(f.pts((0.5 - w0, y0), (0.5 + w0, y0), (0.5 + w1, y1), (0.5 - w1, y1)), colour)


def shaded(sk, f, box, colour, radius=0):
    sk.gradient_rect(f.box(*box), lighter(colour, 0.25), darker(colour, 0.85), radius)


# --- illustrations ------------------------------------------------------------------

def castle(sk, f, accent):
    sk.polygon(f.pts((0.06, 1), (0.94, 1), (0.82, 0.74), (0.18, 0.74)), STONE)
    for fy in (0.82, 0.9):
        sk.rect(f.box(0.12, fy, 0.88, fy + 0.015), darker(STONE, 0.8))
    sk.rect(f.box(0.2, 0.54, 0.8, 0.75), WALL)
    windows(sk, f, (0.24, 0.6, 0.76, 0.7), 5, 1, ROOF)
    eave_roof(sk, f, 0.1, 0.9, 0.44, 0.57, accent)
    sk.rect(f.box(0.28, 0.34, 0.72, 0.46), WALL)
    windows(sk, f, (0.32, 0.37, 0.68, 0.43), 3, 1, ROOF)
    eave_roof(sk, f, 0.2, 0.8, 0.27, 0.36, accent)
    sk.rect(f.box(0.35, 0.17, 0.65, 0.28), WALL)
    sk.polygon(f.pts((0.26, 0.2), (0.5, 0.03), (0.74, 0.2)), accent)
    sk.rect(f.box(0.24, 0.18, 0.76, 0.21), darker(accent, 0.7))
    for fx in (0.3, 0.7):
        sk.circle(f.x(fx), f.y(0.06), max(1.2, f.w * 0.035), GOLD)


def pagoda(sk, f, body):
    tiers = 5
    top, bottom = 0.16, 0.97
    step = (bottom - top) / tiers
    sk.rect(f.box(0.1, 0.94, 0.9, 1), STONE)
    for i in range(tiers):
        y = bottom - (i + 1) * step
        half_roof = 0.5 - 0.05 * i
        half_body = 0.3 - 0.035 * i
        sk.rect(f.box(0.5 - half_body, y + step * 0.3, 0.5 + half_body, y + step), body)
        sk.rect(f.box(0.5 - half_body * 0.4, y + step * 0.45, 0.5 + half_body * 0.4, y + step * 0.9),
                darker(body, 0.55))
        eave_roof(sk, f, 0.5 - half_roof, 0.5 + half_roof, y, y + step * 0.38, ROOF, inset=0.1, lift=0.025)
    sk.rect(f.box(0.47, 0.01, 0.53, top + 0.01), darker(GOLD, 0.85))
    for k in range(4):
        fy = 0.04 + k * 0.028
        sk.rect(f.box(0.4, fy, 0.6, fy + 0.012), GOLD)
    sk.circle(f.x(0.5), f.y(0.02), max(1.0, f.w * 0.05), GOLD)


def torii(sk, f, colour):
    sk.rect(f.box(0.2, 0.2, 0.3, 1), colour)
    sk.rect(f.box(0.7, 0.2, 0.8, 1), colour)
    sk.rect(f.box(0.16, 0.92, 0.34, 1), darker(colour, 0.45))
    sk.rect(f.box(0.66, 0.92, 0.84, 1), darker(colour, 0.45))
    sk.rect(f.box(0.1, 0.42, 0.9, 0.5), colour)
    sk.rect(f.box(0.44, 0.26, 0.56, 0.42), colour)
    sk.rect(f.box(0.08, 0.2, 0.92, 0.28), colour)
    sk.polygon(f.pts((0.0, 0.06), (0.12, 0.12), (0.88, 0.12), (1.0, 0.06), (0.96, 0.2), (0.04, 0.2)),
               (48, 48, 56))


def gate(sk, f, colour):
    """A two-storey temple gate with a big lantern."""
    sk.rect(f.box(0.06, 0.94, 0.94, 1), STONE)
    sk.rect(f.box(0.14, 0.6, 0.86, 0.94), darker(WOOD_DARK, 0.8))
    for fx in (0.14, 0.34, 0.6, 0.8):
        sk.rect(f.box(fx, 0.6, fx + 0.06, 0.94), colour)
    sk.ellipse(f.box(0.42, 0.62, 0.58, 0.86), (214, 40, 30))
    sk.rect(f.box(0.42, 0.6, 0.58, 0.64), (40, 40, 40))
    sk.rect(f.box(0.42, 0.84, 0.58, 0.88), (40, 40, 40))
    eave_roof(sk, f, 0.02, 0.98, 0.46, 0.62, ROOF)
    sk.rect(f.box(0.2, 0.3, 0.8, 0.47), colour)
    windows(sk, f, (0.24, 0.33, 0.76, 0.44), 4, 1, WALL, fill=0.6)
    eave_roof(sk, f, 0.04, 0.96, 0.06, 0.31, ROOF, inset=0.2)
    sk.rect(f.box(0.22, 0.04, 0.78, 0.08), darker(ROOF, 0.7))


def temple_hall(sk, f, roof):
    sk.rect(f.box(0.02, 0.88, 0.98, 1), STONE_LIGHT)
    sk.rect(f.box(0.1, 0.56, 0.9, 0.88), darker(WOOD_DARK, 0.9))
    for k in range(6):
        fx = 0.12 + k * 0.145
        sk.rect(f.box(fx, 0.56, fx + 0.045, 0.88), WOOD_RED)
    sk.rect(f.box(0.38, 0.66, 0.62, 0.88), (240, 226, 190))
    sk.polygon(f.pts((0.0, 0.5), (0.06, 0.6), (0.94, 0.6), (1.0, 0.5), (0.78, 0.16), (0.22, 0.16)), roof)
    sk.rect(f.box(0.06, 0.57, 0.94, 0.61), darker(roof, 0.7))
    sk.rect(f.box(0.2, 0.12, 0.8, 0.18), darker(roof, 0.7))
    for fx in (0.2, 0.8):
        sk.polygon(f.pts((fx - 0.04, 0.16), (fx, 0.05), (fx + 0.04, 0.16)), GOLD)


def ferris_wheel(sk, f, rim):
    cx, cy = f.x(0.5), f.y(0.42)
    r = min(f.w, f.h) * 0.4
    sk.polygon([(cx, cy), (cx - r * 0.7, f.y(0.96)), (cx - r * 0.5, f.y(0.96))], STEEL)
    sk.polygon([(cx, cy), (cx + r * 0.7, f.y(0.96)), (cx + r * 0.5, f.y(0.96))], STEEL)
    sk.rect(f.box(0.12, 0.94, 0.88, 1), STONE)
    sk.ring(cx, cy, r, rim, max(1.5, r * 0.12))
    for k in range(8):
        a = math.radians(k * 45)
        sk.line([(cx, cy), (cx + r * math.cos(a), cy + r * math.sin(a))], darker(rim, 0.8), max(0.8, r * 0.05))
    colours = ((230, 60, 40), (250, 190, 40), (60, 160, 80), (40, 120, 220))
    for k in range(12):
        a = math.radians(k * 30 + 15)
        sk.circle(cx + r * math.cos(a), cy + r * math.sin(a), max(1.6, r * 0.14), colours[k % 4])
    sk.circle(cx, cy, max(1.5, r * 0.12), darker(rim, 0.7))


def stadium(sk, f, seats):
    sk.ellipse(f.box(0.0, 0.12, 1.0, 1.0), CONCRETE)
    sk.ellipse(f.box(0.0, 0.12, 1.0, 0.9), lighter(CONCRETE, 0.4))
    sk.ellipse(f.box(0.07, 0.2, 0.93, 0.84), seats)
    sk.ellipse(f.box(0.2, 0.34, 0.8, 0.72), FIELD)
    sk.ellipse(f.box(0.42, 0.46, 0.58, 0.6), lighter(FIELD, 0.35))
    sk.rect(f.box(0.495, 0.34, 0.505, 0.72), lighter(FIELD, 0.5))
    for fx in (0.08, 0.92):
        sk.rect(f.box(fx - 0.012, 0.0, fx + 0.012, 0.4), STEEL)
        sk.rect(f.box(fx - 0.05, 0.0, fx + 0.05, 0.08), (250, 236, 150))


def dome(sk, f, shell):
    sk.rect(f.box(0.04, 0.66, 0.96, 1), CONCRETE)
    windows(sk, f, (0.08, 0.74, 0.92, 0.92), 8, 1, GLASS_DEEP, fill=0.7)
    sk.chord(f.box(0.08, 0.04, 0.92, 1.28), 180, 360, shell)
    for k in range(1, 6):
        a = math.radians(180 + k * 30)
        cx, cy, rx, ry = f.x(0.5), f.y(0.66), f.w * 0.42, f.h * 0.62
        sk.line([(cx, cy), (cx + rx * math.cos(a) * 0.98, cy + ry * math.sin(a) * 0.98)], darker(shell, 0.82), 0.8)
    sk.rect(f.box(0.04, 0.64, 0.96, 0.68), darker(CONCRETE, 0.75))


def station(sk, f, body):
    sk.rect(f.box(0.0, 0.42, 1.0, 1.0), body)
    for fy in (0.56, 0.78):
        sk.rect(f.box(0.0, fy, 1.0, fy + 0.03), WALL)
    windows(sk, f, (0.02, 0.6, 0.98, 0.76), 10, 1, WALL, fill=0.5)
    windows(sk, f, (0.02, 0.82, 0.98, 0.98), 10, 1, WALL, fill=0.5)
    windows(sk, f, (0.02, 0.46, 0.98, 0.55), 10, 1, WALL, fill=0.5)
    for fx0, fx1, top in ((0.0, 0.2, 0.2), (0.8, 1.0, 0.2), (0.38, 0.62, 0.1)):
        sk.rect(f.box(fx0, top + 0.14, fx1, 0.44), body)
        sk.chord(f.box(fx0, top, fx1, top + 0.32), 180, 360, ROOF)
    sk.circle(f.x(0.5), f.y(0.34), min(f.w, f.h) * 0.07, WALL)


def museum(sk, f, stone):
    sk.rect(f.box(0.0, 0.88, 1.0, 1.0), darker(stone, 0.85))
    sk.rect(f.box(0.06, 0.42, 0.94, 0.88), darker(stone, 0.6))
    columns = 6
    for k in range(columns):
        fx = 0.09 + k * (0.82 / (columns - 1))
        sk.rect(f.box(fx - 0.035, 0.42, fx + 0.035, 0.88), lighter(stone, 0.5))
    sk.rect(f.box(0.03, 0.32, 0.97, 0.42), stone)
    sk.polygon(f.pts((0.0, 0.33), (0.5, 0.04), (1.0, 0.33)), stone)
    sk.polygon(f.pts((0.16, 0.29), (0.5, 0.1), (0.84, 0.29)), lighter(stone, 0.3))


def bridge(sk, f, towers):
    sk.rect(f.box(0.0, 0.82, 1.0, 1.0), WATER)
    sk.rect(f.box(0.0, 0.62, 1.0, 0.72), STEEL)
    sk.rect(f.box(0.0, 0.7, 1.0, 0.74), darker(STEEL, 0.7))
    cable = darker(towers, 0.8)
    for fx in (0.22, 0.78):
        sk.rect(f.box(fx - 0.04, 0.04, fx + 0.04, 0.84), towers)
        sk.rect(f.box(fx - 0.05, 0.3, fx + 0.05, 0.34), darker(towers, 0.7))
    points = []
    for k in range(21):
        t = k / 20
        fx = 0.22 + 0.56 * t
        fy = 0.08 + 0.5 * (1 - (2 * t - 1) ** 2)
        points.append((f.x(fx), f.y(fy)))
    sk.line(points, cable, 1.2)
    sk.line(f.pts((0.0, 0.6), (0.22, 0.08)), cable, 1.2)
    sk.line(f.pts((1.0, 0.6), (0.78, 0.08)), cable, 1.2)
    for k in range(1, 8):
        t = k / 8
        fx = 0.22 + 0.56 * t
        fy = 0.08 + 0.5 * (1 - (2 * t - 1) ** 2)
        sk.line(f.pts((fx, fy), (fx, 0.62)), cable, 0.8)


def office(sk, f, glass):
    sk.rect(f.box(0.0, 0.56, 1.0, 1.0), CONCRETE)
    windows(sk, f, (0.02, 0.6, 0.98, 0.98), 10, 3, GLASS_DEEP)
    for fx0, fx1, top in ((0.08, 0.42, 0.08), (0.58, 0.92, 0.0)):
        shaded(sk, f, (fx0, top, fx1, 0.98), glass)
        windows(sk, f, (fx0 + 0.02, top + 0.04, fx1 - 0.02, 0.96), 3, 9, lighter(glass, 0.5), fill=0.45)
    sk.rect(f.box(0.42, 0.3, 0.58, 0.56), lighter(glass, 0.3))


def airport(sk, f, roof):
    sk.rect(f.box(0.0, 0.62, 0.76, 1.0), CONCRETE)
    sk.rect(f.box(0.02, 0.7, 0.74, 0.86), GLASS)
    sk.chord(f.box(-0.04, 0.4, 0.8, 0.84), 180, 360, roof)
    sk.rect(f.box(0.8, 0.22, 0.88, 1.0), CONCRETE)
    sk.polygon(f.pts((0.72, 0.06), (0.96, 0.06), (0.92, 0.24), (0.76, 0.24)), GLASS_DEEP)
    sk.rect(f.box(0.72, 0.02, 0.96, 0.07), darker(CONCRETE, 0.7))
    sk.rect(f.box(0.78, 0.92, 0.98, 1.0), CONCRETE)


def shopping(sk, f, awning):
    sk.rect(f.box(0.02, 0.16, 0.98, 1.0), (236, 226, 206))
    windows(sk, f, (0.04, 0.22, 0.96, 0.62), 7, 3, GLASS_DEEP)
    stripes = 8
    for k in range(stripes):
        colour = awning if k % 2 == 0 else WALL
        sk.rect(f.box(0.0 + k / stripes, 0.64, (k + 1) / stripes, 0.74), colour)
    sk.rect(f.box(0.06, 0.76, 0.94, 1.0), GLASS)
    sk.rect(f.box(0.3, 0.0, 0.7, 0.16), awning)
    sk.rect(f.box(0.34, 0.04, 0.66, 0.12), WALL)


def school(sk, f, body):
    sk.rect(f.box(0.0, 0.36, 1.0, 1.0), body)
    windows(sk, f, (0.02, 0.42, 0.4, 0.96), 4, 3, GLASS_DEEP)
    windows(sk, f, (0.6, 0.42, 0.98, 0.96), 4, 3, GLASS_DEEP)
    sk.rect(f.box(0.38, 0.12, 0.62, 1.0), lighter(body, 0.3))
    sk.polygon(f.pts((0.34, 0.14), (0.5, 0.0), (0.66, 0.14)), ROOF_GREEN)
    sk.circle(f.x(0.5), f.y(0.3), min(f.w, f.h) * 0.1, WALL)
    sk.rect(f.box(0.495, 0.24, 0.505, 0.31), ROOF)
    sk.rect(f.box(0.44, 0.78, 0.56, 1.0), WOOD_DARK)


def tv_tower(sk, f, colour):
    """A tapered lattice tower in red and white bands with an observation deck."""
    profile = ((0.18, 0.08), (0.5, 0.16), (0.78, 0.3), (1.0, 0.48))
    legs = [(0.5 - w, y) for y, w in profile] + [(0.5 + w, y) for y, w in reversed(profile)]
    sk.polygon(f.pts(*legs, (0.72, 1.0), (0.6, 0.82), (0.4, 0.82), (0.28, 1.0)), colour)
    for y0, y1 in ((0.62, 0.7), (0.34, 0.42), (0.22, 0.28)):
        band(sk, f, profile, y0, y1, WALL)
    sk.rect(f.box(0.12, 0.56, 0.88, 0.62), WALL)
    sk.rect(f.box(0.14, 0.52, 0.86, 0.56), GLASS_DEEP)
    sk.rect(f.box(0.28, 0.28, 0.72, 0.32), GLASS_DEEP)
    sk.rect(f.box(0.46, 0.02, 0.54, 0.18), colour)
    sk.rect(f.box(0.485, 0.0, 0.515, 0.04), darker(colour, 0.6))


def skyscraper(sk, f, glass, stepped=False):
    if stepped:
        for fx0, fx1, top in ((0.06, 0.94, 0.5), (0.16, 0.84, 0.26), (0.28, 0.72, 0.1)):
            shaded(sk, f, (fx0, top, fx1, 1.0), glass)
            windows(sk, f, (fx0 + 0.04, top + 0.02, fx1 - 0.04, 1.0), 3, round((1 - top) * 14), lighter(glass, 0.5),
                    fill=0.5)
        sk.rect(f.box(0.48, 0.0, 0.52, 0.1), STEEL)
        return
    shaded(sk, f, (0.1, 0.1, 0.9, 1.0), glass)
    windows(sk, f, (0.14, 0.14, 0.86, 0.98), 4, 16, lighter(glass, 0.45), fill=0.5)
    sk.polygon(f.pts((0.1, 0.1), (0.5, 0.03), (0.9, 0.1)), darker(glass, 0.7))
    sk.rect(f.box(0.48, 0.0, 0.52, 0.05), STEEL)


def lighthouse(sk, f, stripes):
    sk.polygon(f.pts((0.0, 1.0), (0.1, 0.9), (0.9, 0.9), (1.0, 1.0)), STONE)
    profile = ((0.3, 0.18), (0.92, 0.32))
    band(sk, f, profile, 0.3, 0.92, WALL)
    for y0, y1 in ((0.42, 0.52), (0.64, 0.74)):
        band(sk, f, profile, y0, y1, stripes)
    sk.rect(f.box(0.16, 0.26, 0.84, 0.31), (50, 50, 56))
    sk.rect(f.box(0.3, 0.13, 0.7, 0.26), (250, 220, 90))
    sk.rect(f.box(0.46, 0.13, 0.54, 0.26), (60, 60, 66))
    sk.chord(f.box(0.26, 0.02, 0.74, 0.24), 180, 360, stripes)
    sk.rect(f.box(0.44, 0.74, 0.56, 0.9), WOOD_DARK)


def clock_tower(sk, f, body):
    sk.rect(f.box(0.16, 0.32, 0.84, 1.0), body)
    windows(sk, f, (0.22, 0.4, 0.78, 0.96), 2, 5, WALL, fill=0.45)
    sk.rect(f.box(0.08, 0.16, 0.92, 0.34), STONE_LIGHT)
    r = min(f.w * 0.34, f.h * 0.08)
    cx, cy = f.x(0.5), f.y(0.25)
    sk.circle(cx, cy, r, WALL)
    sk.ring(cx, cy, r, (40, 40, 40), 0.8)
    sk.line([(cx, cy), (cx, cy - r * 0.7)], (40, 40, 40), 0.8)
    sk.line([(cx, cy), (cx + r * 0.5, cy)], (40, 40, 40), 0.8)
    sk.polygon(f.pts((0.06, 0.17), (0.5, 0.0), (0.94, 0.17)), ROOF_GREEN)


def observation_tower(sk, f, deck):
    sk.rect(f.box(0.2, 0.93, 0.8, 1.0), CONCRETE)
    sk.polygon(f.pts((0.36, 0.94), (0.44, 0.3), (0.56, 0.3), (0.64, 0.94)), CONCRETE)
    sk.rect(f.box(0.47, 0.34, 0.53, 0.9), darker(CONCRETE, 0.8))
    sk.ellipse(f.box(0.02, 0.26, 0.98, 0.42), darker(deck, 0.8))
    sk.rect(f.box(0.04, 0.3, 0.96, 0.36), deck)
    sk.ellipse(f.box(0.2, 0.12, 0.8, 0.2), darker(deck, 0.8))
    sk.rect(f.box(0.22, 0.14, 0.78, 0.17), deck)
    sk.rect(f.box(0.44, 0.2, 0.56, 0.27), CONCRETE)
    sk.rect(f.box(0.475, 0.0, 0.525, 0.13), STEEL)


# --- choosing an illustration --------------------------------------------------------

TALL = (
    lambda sk, f: tv_tower(sk, f, (214, 44, 30)),
    lambda sk, f: skyscraper(sk, f, GLASS),
    lambda sk, f: pagoda(sk, f, WOOD_RED),
    lambda sk, f: lighthouse(sk, f, (206, 40, 36)),
    lambda sk, f: clock_tower(sk, f, BRICK),
    lambda sk, f: observation_tower(sk, f, GLASS),
    lambda sk, f: skyscraper(sk, f, (120, 190, 180), stepped=True),
    lambda sk, f: tv_tower(sk, f, (236, 120, 30)),
    lambda sk, f: skyscraper(sk, f, (150, 160, 190)),
)
UPRIGHT = (
    lambda sk, f: pagoda(sk, f, (150, 80, 50)),
    lambda sk, f: castle(sk, f, ROOF),
    lambda sk, f: clock_tower(sk, f, (120, 130, 150)),
    lambda sk, f: gate(sk, f, WOOD_RED),
    lambda sk, f: skyscraper(sk, f, GLASS, stepped=True),
    lambda sk, f: lighthouse(sk, f, (30, 100, 190)),
)
SQUARE = (
    lambda sk, f: castle(sk, f, ROOF),
    lambda sk, f: torii(sk, f, (220, 56, 30)),
    lambda sk, f: ferris_wheel(sk, f, (60, 130, 210)),
    lambda sk, f: gate(sk, f, WOOD_RED),
    lambda sk, f: dome(sk, f, (236, 238, 242)),
    lambda sk, f: pagoda(sk, f, WOOD_RED),
    lambda sk, f: museum(sk, f, (214, 200, 168)),
    lambda sk, f: station(sk, f, BRICK),
    lambda sk, f: lighthouse(sk, f, (206, 40, 36)),
    lambda sk, f: stadium(sk, f, SEATS),
    lambda sk, f: office(sk, f, GLASS),
    lambda sk, f: temple_hall(sk, f, ROOF),
    lambda sk, f: observation_tower(sk, f, GLASS),
    lambda sk, f: clock_tower(sk, f, BRICK),
    lambda sk, f: school(sk, f, (232, 214, 178)),
    lambda sk, f: castle(sk, f, ROOF_GREEN),
)
WIDE = (
    lambda sk, f: station(sk, f, BRICK),
    lambda sk, f: temple_hall(sk, f, ROOF),
    lambda sk, f: stadium(sk, f, SEATS),
    lambda sk, f: museum(sk, f, (214, 200, 168)),
    lambda sk, f: bridge(sk, f, (214, 60, 40)),
    lambda sk, f: dome(sk, f, (236, 238, 242)),
    lambda sk, f: office(sk, f, GLASS),
    lambda sk, f: airport(sk, f, (190, 196, 206)),
    lambda sk, f: gate(sk, f, WOOD_RED),
    lambda sk, f: castle(sk, f, ROOF),
    lambda sk, f: shopping(sk, f, (220, 60, 40)),
    lambda sk, f: school(sk, f, (232, 214, 178)),
    lambda sk, f: temple_hall(sk, f, ROOF_GREEN),
    lambda sk, f: stadium(sk, f, (200, 70, 60)),
)


def illustration_for(index_by_group, w, h):
    """Picks the next illustration of the group that the shape w x h falls in."""
    ratio = h / w
    group = TALL if ratio >= 1.45 else UPRIGHT if ratio >= 1.1 else SQUARE if ratio >= 0.85 else WIDE
    k = index_by_group.get(id(group), 0)
    index_by_group[id(group)] = k + 1
    return group[k % len(group)]


def _edges(code):
    x, y, w, h = MARKS[code]
    return x, y, x + w, y + h


def free_boxes():
    """Each mark's rectangle with the parts it shares with another cut off
    along the thinner side of the overlap."""
    boxes = {code: list(_edges(code)) for code in MARKS}
    codes = sorted(MARKS)
    for i, a in enumerate(codes):
        for b in codes[i + 1:]:
            (ax0, ay0, ax1, ay1), (bx0, by0, bx1, by1) = _edges(a), _edges(b)
            ox0, oy0, ox1, oy1 = max(ax0, bx0), max(ay0, by0), min(ax1, bx1), min(ay1, by1)
            if ox0 >= ox1 or oy0 >= oy1:
                continue
            for box in (boxes[a], boxes[b]):
                if ox1 - ox0 <= oy1 - oy0:  # a tall overlap: cut a side
                    if ox0 <= box[0]:
                        box[0] = ox1
                    else:
                        box[2] = ox0
                elif oy0 <= box[1]:  # a wide overlap: cut the top or the bottom
                    box[1] = oy1
                else:
                    box[3] = oy0
    return {code: tuple(box) for code, box in boxes.items()}


def draw_mark(w, h, illustration):
    """One mark, w x h, with a dark edge around its silhouette."""
    sk = Sketch(w, h)
    illustration(sk, Frame(1, 1, w - 1, h - 1))
    sk.outline_silhouette(OUTLINE)
    return sk.finish()


def draw_atlas():
    atlas = Image.new("RGB", ATLAS_SIZE, (255, 0, 255))
    picked = {}
    for code, (x0, y0, x1, y1) in sorted(free_boxes().items()):
        w, h = x1 - x0, y1 - y0
        illustration = illustration_for(picked, *MARKS[code][2:])
        atlas.paste(draw_mark(w, h, illustration), (x0, y0))
    return atlas
