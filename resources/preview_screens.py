#!/usr/bin/python3
"""Composes a few screens from the pictures as the viewer shows them, for review.

    resources/preview_screens.py OUT.png [--scale N]

The screens are built the way the viewer builds them: backgrounds copied,
buttons and marks keyed or copied over them at their screen positions,
notices blended at their weights, run-time texts drawn in the Gothic face.
"""

import argparse
import os
import sys

from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sketch import font, text_mask  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURES = os.path.join(HERE, "pictures")
SCREEN = (480, 272)
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
SUNDAY, SATURDAY = (253, 47, 6), (0, 84, 255)


def load(picture_id):
    return Image.open(os.path.join(PICTURES, f"{picture_id}.png")).convert("RGB")


def key_mask(picture):
    """255 where the picture is not magenta."""
    r, g, b = picture.split()
    is_key = Image.merge("RGB", (r.point(lambda v: 255 if v == 255 else 0),
                                 g.point(lambda v: 255 if v == 0 else 0),
                                 b.point(lambda v: 255 if v == 255 else 0))).convert("L")
    return is_key.point(lambda v: 0 if v == 255 else 255)


def blit_opaque(dst, src, dx, dy, w, h, sx, sy):
    dst.paste(src.crop((sx, sy, sx + w, sy + h)), (dx, dy))


def blit_keyed(dst, src, dx, dy, w, h, sx, sy):
    part = src.crop((sx, sy, sx + w, sy + h))
    dst.paste(part, (dx, dy), key_mask(part))


def blit_blend(dst, src, dx, dy, w, h, sx, sy, weight):
    part = src.crop((sx, sy, sx + w, sy + h))
    under = dst.crop((dx, dy, dx + w, dy + h))
    mixed = Image.blend(under, part, weight / 256)
    dst.paste(mixed, (dx, dy), key_mask(part))


def text(dst, box, string, pixels, colour, bold=False, align="centre"):
    mask = text_mask(dst.size, box, string, pixels, bold, align)
    dst.paste(colour, (0, 0), mask)


def weekday_of_first(year, month):
    m, y = (month + 12, year - 1) if month < 3 else (month, year)
    return ((13 * m + 8) // 5 + y // 400 + y // 4 + y - y // 100 + 1) % 7 + 1


def month_days(year, month):
    if month == 2:
        return 29 if (year % 4 == 0 and year % 100 != 0) or year % 400 == 0 else 28
    return (31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31)[month - 1]


def calendar(mode_delete, year, month, marked, pressed_day=None, arrow_pressed=None):
    sheet = load(129)
    screen = load(147 if mode_delete else 144)
    text(screen, (185, 4, 285, 36), f"{year}年{month:02d}月", 16, BLACK, bold=True)
    column, row = weekday_of_first(year, month), 0
    for d in range(1, month_days(year, month) + 1):
        left, top = 64 * column - 48, 32 * (row + 2)
        if d in marked:
            sx = 64 if d == pressed_day else 0
            blit_opaque(screen, sheet, left, top, 62, 30, sx, 256)
        colour = SUNDAY if left == 16 else SATURDAY if left + 64 == 464 else BLACK
        text(screen, (left, top, left + 64, top + 32), str(d), 16, colour, bold=True)
        column += 1
        if column > 7:
            column, row = 1, row + 1
            if row > 5:
                break
    if mode_delete:
        blit_keyed(screen, sheet, 336, 240, 64, 32, 64, 160)
    else:
        blit_keyed(screen, sheet, 400, 240, 64, 32, 64, 96)
        blit_keyed(screen, sheet, 336, 240, 64, 32, 64, 192)
    blit_keyed(screen, sheet, 336, 0, 64, 32, 0, 0 if arrow_pressed == "prev" else 32)
    blit_keyed(screen, sheet, 400, 0, 64, 32, 64, 0 if arrow_pressed == "next" else 32)
    return screen


def busy(screen, step):
    picture = load(140)
    blit_keyed(screen, picture, 225, 121, 30, 30, 17, 17)
    dots = ((236, 104), (256, 112), (264, 132), (256, 152), (236, 160), (216, 152), (208, 132), (216, 112))
    for k, (x, y) in enumerate(dots):
        if k <= step <= k + 7:
            blit_keyed(screen, picture, x, y, 8, 8, 28, 1)


def day_confirm(screen, year, month, day, pressed=None):
    blit_blend(screen, load(146), 80, 72, 320, 128, 0, 0, 224)
    text(screen, (132, 96, 330, 118), f"{year}年{month:02d}月{day:02d}日", 18, WHITE)
    sheet = load(129)
    if pressed == "yes":
        blit_keyed(screen, sheet, 111, 160, 64, 32, 0, 224)
    elif pressed == "no":
        blit_keyed(screen, sheet, 303, 160, 64, 32, 64, 224)


def settings(free_text=None, segments=0, red=False, card_missing=False, log_rec=(128, 64), no_logs=False,
             overlay=None):
    sheet = load(129)
    screen = load(150)
    blit_opaque(screen, sheet, 170, 53, 102, 32, *log_rec)
    if no_logs:
        blit_opaque(screen, sheet, 170, 120, 102, 32, 128, 160)
        blit_opaque(screen, sheet, 306, 120, 102, 32, 128, 224)
    blit_keyed(screen, sheet, 336, 240, 64, 32, 64, 160)
    if card_missing:
        blit_keyed(screen, sheet, 192, 189, 200, 32, 0, 288)
    else:
        for i in range(segments):
            x = 192 if red else 192 + 10 * i
            blit_keyed(screen, sheet, x, 189, 10, 32, 138 if red else 128, 256)
        text(screen, (192, 170, 392, 194), free_text, 16, BLACK, align="left")
    if overlay == "confirm":
        blit_blend(screen, load(153), 80, 72, 320, 128, 0, 0, 224)
        blit_keyed(screen, sheet, 303, 160, 64, 32, 64, 224)
    elif overlay == "deleted":
        blit_blend(screen, load(149), 80, 72, 320, 128, 0, 0, 192)
    return screen


def fake_map(colour):
    """A plain map colour with a few roads, marks, symbols and a track."""
    screen = Image.new("RGB", SCREEN, colour)
    draw = ImageDraw.Draw(screen)
    draw.rectangle((300, 0, 480, 60), fill=(108, 152, 199))
    for y in (70, 180):
        draw.line((0, y, 480, y + 20), fill=(255, 255, 255), width=7)
        draw.line((0, y, 480, y + 20), fill=(255, 190, 90), width=5)
    draw.line((150, 0, 190, 272), fill=(160, 160, 160), width=4)
    marks = load(132)
    for x, y, sx, sy, w, h in ((60, 110, 0, 0, 48, 48), (330, 120, 68, 112, 26, 64), (250, 200, 0, 72, 64, 40)):
        blit_keyed(screen, marks, x, y, w, h, sx, sy)
    symbols = load(133)
    for i, (sx, sy, w, h) in enumerate(((176, 48, 16, 16), (0, 64, 20, 20), (20, 164, 20, 18),
                                        (97, 3, 14, 10), (64, 0, 16, 16), (48, 0, 16, 16))):
        blit_keyed(screen, symbols, 40 + 36 * i, 30, w, h, sx, sy)
    text(screen, (112, 30, 132, 48), "23", 12, WHITE)  # the route number on the plate
    points = [(120 + 3 * i, 150 - (i * i) // 30) for i in range(60)]
    for x, y in points:
        draw.rectangle((x - 2, y - 1, x + 1, y), fill=(255, 0, 0))
        draw.rectangle((x - 1, y - 2, x, y + 1), fill=(255, 0, 0))
    flags = load(136)
    for (x, y), sx in ((points[0], 96), (points[-1], 116)):
        blit_keyed(screen, flags, x, y - 20, 20, 20, sx, 0)
    return screen


def map_screen(colour, step, pressed=None, scale="1.0km"):
    screen = fake_map(colour)
    blit_keyed(screen, load(131), 224, 120, 32, 32, 0, 0)
    blit_blend(screen, load(137), 0, 0, 480, 272, 0, 0, 255)
    blit_keyed(screen, load(135), 452, 45 + 13 * (step // 2), 24, 13, 0, 0)
    buttons = load(136)
    if pressed == "plus":
        blit_opaque(screen, buttons, 448, 0, 32, 32, 32, 0)
    elif pressed == "minus":
        blit_opaque(screen, buttons, 448, 240, 32, 32, 0, 0)
    elif pressed == "back":
        blit_keyed(screen, buttons, 0, 0, 32, 33, 64, 0)
    text(screen, (388, 246, 425, 267), scale, 16, WHITE)
    ImageDraw.Draw(screen).line(((389, 260), (389, 265), (421, 265), (421, 260)), fill=WHITE, width=1)
    return screen


def screens():
    marked = {1, 2, 5, 12, 13, 20, 27, 30, 31}
    browse = calendar(False, 2009, 5, marked, pressed_day=12, arrow_pressed="next")
    busy_screen = calendar(False, 2009, 5, marked)
    busy(busy_screen, 9)
    delete = calendar(True, 2009, 5, marked)
    day_confirm(delete, 2009, 5, 12, pressed="yes")
    notice = calendar(False, 2010, 1, set())
    blit_blend(notice, load(134), 80, 72, 320, 128, 0, 0, 192)
    deleted = calendar(True, 2009, 8, {3, 4})
    blit_blend(deleted, load(149), 80, 72, 320, 128, 0, 0, 192)
    return [
        ("browse, 12 pressed, next arrow pressed", browse),
        ("busy indicator", busy_screen),
        ("delete: confirmation, yes pressed", delete),
        ("no logs notice", notice),
        ("deleted notice", deleted),
        ("settings, 2.5GB", settings("2.5GB", 15, log_rec=(230, 64))),
        ("settings, estimate, grey buttons", settings("12MB 残り約17時間", 1, red=True, no_logs=True,
                                                      log_rec=(230, 160))),
        ("settings, no card", settings(card_missing=True)),
        ("settings, delete-all confirmation", settings("999MB", 20, overlay="confirm")),
        ("settings, deleted", settings("17MB", 21, overlay="deleted")),
        ("map on land, step 12", map_screen((248, 248, 192), 12)),
        ("map on sea, plus pressed", map_screen((108, 152, 199), 0, pressed="plus", scale="10m")),
        ("map, minus pressed", map_screen((248, 248, 192), 26, pressed="minus", scale="200km")),
        ("map, back pressed", map_screen((60, 60, 60), 6, pressed="back", scale="100m")),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--scale", type=int, default=1)
    args = parser.parse_args()
    shots = screens()
    s = args.scale
    columns = 2
    caption = 18
    w, h = SCREEN[0] * s, SCREEN[1] * s
    rows = (len(shots) + columns - 1) // columns
    page = Image.new("RGB", (columns * (w + 10) + 10, rows * (h + caption + 10) + 10), (80, 80, 80))
    draw = ImageDraw.Draw(page)
    for i, (title, shot) in enumerate(shots):
        x = 10 + (i % columns) * (w + 10)
        y = 10 + (i // columns) * (h + caption + 10)
        draw.text((x, y), title, font=font(13), fill=WHITE)
        page.paste(shot.resize((w, h), Image.NEAREST), (x, y + caption))
    page.save(args.out)
    print(args.out)


if __name__ == "__main__":
    main()
