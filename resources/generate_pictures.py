#!/usr/bin/python3
"""Draws every picture of the viewer into resources/pictures/<id>.png.

    resources/generate_pictures.py [--out DIR] [--sheet OUT.png]

Needs Debian's python3-pil and the IPAPGothic face (fonts-ipafont-gothic).
The pictures are 24-bit RGB PNGs, except 131, a 32-bit RGBA PNG with opaque
alpha. Magenta (255, 0, 255) is the transparent colour; the run-time code
blits buttons, marks, numbers and texts over these pictures at fixed places,
so the positions below are the ones the screens use.
"""

import argparse
import math
import os
import sys

from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sketch import PictureError, Sketch, check_no_fringe, darker, font, text_width  # noqa: E402
import landmarks  # noqa: E402
import map_symbols  # noqa: E402

# --- Colours -----------------------------------------------------------------

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
PAGE = (231, 236, 243)          # screen background around panels and grids
BAND = (250, 251, 253)          # top band behind the month title and the arrows
NAVY = (28, 58, 108)            # title tabs and rules
DELETE_RED = (168, 38, 38)      # the delete-mode title tab
INK = (34, 40, 52)              # labels on light ground
GRID_LINE = (188, 198, 214)
CELL = WHITE
WEEKDAY_STRIP = (216, 225, 238)
SUNDAY = (253, 47, 6)
SATURDAY = (0, 84, 255)

MARK_TINT = (220, 233, 253)
MARK_EDGE = (168, 196, 240)
MARK_DOT = (0, 84, 255)
MARK_PRESSED_TINT = (218, 218, 218)
MARK_PRESSED_EDGE = (176, 176, 176)
MARK_PRESSED_DOT = (120, 120, 120)

# Button looks: shade top, shade bottom, edge, text.
LOOK_NORMAL = ((255, 255, 255), (216, 226, 240), (110, 128, 160), (24, 46, 88))
LOOK_GREY = ((164, 164, 164), (122, 122, 122), (92, 92, 92), (255, 255, 255))
LOOK_BLUE = ((72, 146, 255), (0, 84, 230), (214, 228, 255), (255, 255, 255))
LOOK_DARK = ((86, 86, 86), (46, 46, 46), (196, 196, 196), (255, 255, 255))

ARROW_BLUE = (0, 84, 230)

PANEL_FILL = BLACK
PANEL_EDGE = (190, 190, 190)

GAUGE_FRAME = (140, 150, 166)
GAUGE_TRACK = (238, 241, 246)
GAUGE_BLUE = ((70, 140, 255), (0, 84, 230))
GAUGE_RED = ((255, 96, 80), (214, 30, 20))
CARD_MESSAGE_TEXT = (190, 20, 20)

RAIL = (46, 56, 72)             # the map screen's zoom rail and plates
RAIL_GROOVE = (22, 28, 38)
RAIL_TICK = (132, 144, 162)
MAP_BUTTON = ((250, 251, 253), (214, 222, 234))
MAP_BUTTON_PRESSED = ((176, 176, 176), (132, 132, 132))
MAP_BUTTON_EDGE = (20, 26, 36)

# --- Screen geometry -----------------------------------------------------------

SCREEN = (480, 272)
BUTTON = (64, 32)
WIDE_BUTTON = (102, 32)
BUTTON_INSET = 2                # buttons leave this margin in their 64 x 32 cell
BUTTON_RADIUS = 6
BUTTON_TEXT_PX = 16

TITLE_BAND_BOTTOM = 37          # band y 0..36, rule below it
TITLE_RULE = 3
TITLE_TAB_WIDTH = 150
TITLE_TEXT_PX = 20

MONTH_TITLE_RECT = (185, 4, 285, 36)
PREV_ARROW_AT = (336, 0)
NEXT_ARROW_AT = (400, 0)
CALENDAR_LEFT_BUTTON_AT = (336, 240)   # settings (browse) or back (delete)
CALENDAR_RIGHT_BUTTON_AT = (400, 240)  # exit (browse)

GRID_LEFT, GRID_TOP = 16, 64
CELL_W, CELL_H = 64, 32
GRID_COLUMNS, GRID_ROWS = 7, 6
LAST_ROW_COLUMNS = 5            # the sixth row never holds days right of column 2; the buttons sit there
WEEKDAYS = "日月火水木金土"
WEEKDAY_STRIP_TOP = 42
WEEKDAY_TEXT_PX = 14

DAY_MARK = (62, 30)
DAY_MARK_TINT_BOX = (3, 3, 62, 30)  # symmetric about the cell centre (32, 16) where the number goes
DAY_MARK_DOT_BOX = (6, 6, 13, 13)

NOTICE = (320, 128)
NOTICE_RADIUS = 14
NOTICE_TEXT_PX = 18
CONFIRM_TEXT_PX = 16
CONFIRM_DATE_RECT = (52, 24, 250, 46)   # panel-relative; the date is drawn here at run time
DATE_FONT_PX = 18                        # the run-time date font (14 pt at 96 dpi)
CONFIRM_FIRST_LINE_GAP = 5     # room for the run-time font rounding its advances up
CONFIRM_LINE_CENTRES = (58, 78)
CONFIRM_YES_AT = (31, 88)
CONFIRM_NO_AT = (223, 88)

SETTINGS_CARD = (12, 44, 468, 228)
SETTINGS_DIVIDERS = (102, 161)
SETTINGS_LABEL_X = 28
SETTINGS_LABEL_PX = 16
SETTINGS_ROW_CENTRES = (69, 136, 195)
LOG_REC_BUTTON_AT = (170, 53)
DATE_DELETE_AT = (170, 120)
ALL_DELETE_AT = (306, 120)
SETTINGS_BACK_AT = (336, 240)
GAUGE_X, GAUGE_Y = 192, 189          # segments are blitted from here, 10 pixels apart
GAUGE_SEGMENT = (10, 32)
GAUGE_SEGMENTS = 21
GAUGE_FRAME_TOP, GAUGE_FRAME_BOTTOM = 6, 30   # frame lines, rows below GAUGE_Y
GAUGE_BAR_BOX = (1, 8, 9, 29)        # a segment's bar within its 10 x 32 cell

# SpriteSheet cells.
SHEET = (332, 320)
SHEET_PRESSED_X, SHEET_NORMAL_X = 0, 64
SHEET_ARROWS_PRESSED_Y, SHEET_ARROWS_NORMAL_Y = 0, 32
SHEET_BUTTON_ROWS = ((64, "消去"), (96, "終了"), (128, "全消去"), (160, "戻る"), (192, "設定"))
SHEET_YES_NO_Y = 224
SHEET_DAY_MARK_Y = 256
SHEET_GAUGE_BLUE_AT = (128, 256)
SHEET_GAUGE_RED_AT = (138, 256)
SHEET_CARD_MESSAGE_AT = (0, 288)
CARD_MESSAGE = (200, 32)
CARD_MESSAGE_PX = 13
SHEET_WIDE_COLUMNS = ((128, ("ON", "OFF", "日付指定", "全消去")), (230, ("8時間", "12時間", "24時間", "記録中")))
SHEET_WIDE_ROW_STEP = 64             # a normal look, and the grey look 32 below it

# Map screen.
MAP_BACK_BUTTON = (32, 33)
MAP_ZOOM_BUTTON = (32, 32)
PLUS_AT = (448, 0)
MINUS_AT = (448, 240)
RAIL_LEFT = 442
KNOB = (24, 13)
KNOB_X, KNOB_TOP, KNOB_ROW, KNOB_ROWS = 452, 45, 13, 14
SCALE_LABEL_RECT = (388, 246, 425, 267)
SCALE_LABEL_PX = 16
SCALE_LABELS = ("10m", "17m", "25m", "37m", "50m", "75m", "100m", "150m", "200m", "350m", "500m", "750m",
                "1.0km", "1.7km", "2.5km", "3.7km", "5.0km", "7km", "10km", "15km", "20km", "35km", "50km",
                "75km", "100km", "150km", "200km")
NORTH_CENTRE = (419, 21)
NORTH_RADIUS = 18

BUTTONS_PICTURE = (156, 33)
FLAG = (20, 20)
START_FLAG_AT = (96, 0)
END_FLAG_AT = (116, 0)
START_FLAG_COLOUR = (0, 150, 70)
END_FLAG_COLOUR = (0, 84, 220)

MARKER = (32, 32)
MARKER_RED = (230, 0, 0)

BUSY = (64, 64)
HOURGLASS_BOX = (17, 17, 47, 47)
BUSY_DOT = 8
BUSY_FIRST_DOT_AT = (28, 1)
BUSY_DOT_COLOUR = NAVY


# --- Shared pieces -------------------------------------------------------------

def button(sk, at, size, look, label=None, corner=None, inset=BUTTON_INSET):
    """A rounded button in a cell at `at` of `size`, `inset` pixels inside
    it; `corner` fills the cell around it (for cells that are copied
    opaquely), else it stays transparent."""
    x, y = at
    w, h = size
    if corner is not None:
        sk.rect((x, y, x + w, y + h), corner)
    top, bottom, edge, ink = look
    box = (x + inset, y + inset, x + w - inset, y + h - inset)
    sk.rect(box, edge, BUTTON_RADIUS)
    inner = (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1)
    sk.gradient_rect(inner, top, bottom, BUTTON_RADIUS - 1)
    if label:
        sk.text(box, label, BUTTON_TEXT_PX, ink)
    return ink


def arrow_button(sk, at, look, pointing_left):
    """A month arrow: a button with a triangle pointing left or right."""
    ink = button(sk, at, BUTTON, look)
    x, y = at
    cx, cy = x + BUTTON[0] / 2, y + BUTTON[1] / 2
    half_w, half_h = 7, 9
    colour = ARROW_BLUE if look is LOOK_NORMAL else ink
    if pointing_left:
        points = [(cx - half_w, cy), (cx + half_w, cy - half_h), (cx + half_w, cy + half_h)]
    else:
        points = [(cx + half_w, cy), (cx - half_w, cy - half_h), (cx - half_w, cy + half_h)]
    sk.polygon(points, colour)


def title_band(sk, title, tab_colour):
    """The light band across the top with the screen's title tab at the left."""
    sk.rect((0, 0, SCREEN[0], TITLE_BAND_BOTTOM), BAND)
    sk.rect((0, TITLE_BAND_BOTTOM, SCREEN[0], TITLE_BAND_BOTTOM + TITLE_RULE), tab_colour)
    sk.rect((0, 0, TITLE_TAB_WIDTH, TITLE_BAND_BOTTOM + 1), tab_colour, radius=10,
            corners=(False, True, False, False))
    sk.text((0, 0, TITLE_TAB_WIDTH, TITLE_BAND_BOTTOM), title, TITLE_TEXT_PX, WHITE, bold=True)


def notice_panel(sk):
    """The black rounded panel of the notices, with a light edge."""
    sk.framed_rect((0, 0, *NOTICE), PANEL_FILL, PANEL_EDGE, NOTICE_RADIUS, edge_width=2)


def cell_box(column, row):
    """Cell of column 1..7 and row 0..5 of the day grid."""
    left = CELL_W * column - 48
    top = CELL_H * (row + 2)
    return left, top, left + CELL_W, top + CELL_H


def day_mark(sk, at, tint, edge, dot):
    """A day mark: the top-left 62 x 30 of a grid cell (grid lines on its top
    and left edge) with a tinted plate and a dot, laid under the day number."""
    x, y = at
    sk.rect((x, y, x + DAY_MARK[0], y + DAY_MARK[1]), CELL)
    sk.rect((x, y, x + DAY_MARK[0], y + 1), GRID_LINE)
    sk.rect((x, y, x + 1, y + DAY_MARK[1]), GRID_LINE)
    tx0, ty0, tx1, ty1 = DAY_MARK_TINT_BOX
    sk.framed_rect((x + tx0, y + ty0, x + tx1, y + ty1), tint, edge, radius=5)
    dx0, dy0, dx1, dy1 = DAY_MARK_DOT_BOX
    sk.ellipse((x + dx0, y + dy0, x + dx1, y + dy1), dot)


def gauge_segment(sk, at, colours):
    x, y = at
    bx0, by0, bx1, by1 = GAUGE_BAR_BOX
    sk.gradient_rect((x + bx0, y + by0, x + bx1, y + by1), *colours, radius=1)


def gauge_frame(sk, at, width):
    """The empty gauge: a framed track that segments are laid into."""
    x, y = at
    sk.rect((x, y + GAUGE_FRAME_TOP, x + width, y + GAUGE_FRAME_BOTTOM + 1), GAUGE_FRAME)
    sk.rect((x, y + GAUGE_FRAME_TOP + 1, x + width, y + GAUGE_FRAME_BOTTOM), GAUGE_TRACK)


def round_button(sk, at, size, shades, glyph, glyph_colour, corner=None):
    """A round map button (plus, minus or back) in a cell at `at`: a dark
    rim, a thin white ring and a shaded face with the glyph."""
    x, y = at
    w, h = size
    if corner is not None:
        sk.rect((x, y, x + w, y + h), corner)
    cx, cy = x + w / 2, y + h / 2
    r = min(w, h) / 2 - 0.5
    sk.circle(cx, cy, r, MAP_BUTTON_EDGE)
    sk.circle(cx, cy, r - 1.5, WHITE)
    sk.gradient_ellipse((cx - r + 2.5, cy - r + 2.5, cx + r - 2.5, cy + r - 2.5), *shades)
    glyph(sk, cx, cy, glyph_colour)


def plus_glyph(sk, cx, cy, colour):
    sk.rect((cx - 7, cy - 1.5, cx + 7, cy + 1.5), colour)
    sk.rect((cx - 1.5, cy - 7, cx + 1.5, cy + 7), colour)


def minus_glyph(sk, cx, cy, colour):
    sk.rect((cx - 7, cy - 1.5, cx + 7, cy + 1.5), colour)


def back_glyph(sk, cx, cy, colour):
    """A curved arrow turning back to the left."""
    sk.arc((cx - 6, cy - 6, cx + 8, cy + 7), 270, 90, colour, 3)
    sk.rect((cx - 2, cy - 6, cx + 1.5, cy - 3), colour)
    sk.rect((cx - 2, cy + 4, cx + 1.5, cy + 7), colour)
    sk.polygon([(cx - 9, cy - 4.5), (cx - 2, cy - 11), (cx - 2, cy + 2)], colour)


# --- The pictures ----------------------------------------------------------------

def draw_sprite_sheet():
    """129: buttons, arrows, day marks, gauge segments and the card message."""
    sk = Sketch(*SHEET)
    arrow_button(sk, (SHEET_PRESSED_X, SHEET_ARROWS_PRESSED_Y), LOOK_GREY, pointing_left=True)
    arrow_button(sk, (SHEET_NORMAL_X, SHEET_ARROWS_PRESSED_Y), LOOK_GREY, pointing_left=False)
    arrow_button(sk, (SHEET_PRESSED_X, SHEET_ARROWS_NORMAL_Y), LOOK_NORMAL, pointing_left=True)
    arrow_button(sk, (SHEET_NORMAL_X, SHEET_ARROWS_NORMAL_Y), LOOK_NORMAL, pointing_left=False)
    for y, label in SHEET_BUTTON_ROWS:
        button(sk, (SHEET_PRESSED_X, y), BUTTON, LOOK_GREY, label)
        button(sk, (SHEET_NORMAL_X, y), BUTTON, LOOK_NORMAL, label)
    button(sk, (SHEET_PRESSED_X, SHEET_YES_NO_Y), BUTTON, LOOK_BLUE, "はい")
    button(sk, (SHEET_NORMAL_X, SHEET_YES_NO_Y), BUTTON, LOOK_BLUE, "いいえ")
    day_mark(sk, (SHEET_PRESSED_X, SHEET_DAY_MARK_Y), MARK_TINT, MARK_EDGE, MARK_DOT)
    day_mark(sk, (SHEET_NORMAL_X, SHEET_DAY_MARK_Y), MARK_PRESSED_TINT, MARK_PRESSED_EDGE, MARK_PRESSED_DOT)
    gauge_segment(sk, SHEET_GAUGE_BLUE_AT, GAUGE_BLUE)
    gauge_segment(sk, SHEET_GAUGE_RED_AT, GAUGE_RED)
    card_message(sk, SHEET_CARD_MESSAGE_AT)
    # The wide buttons are copied opaquely onto the settings card, so their
    # cells carry the card's colour around the button.
    for x, labels in SHEET_WIDE_COLUMNS:
        for i, label in enumerate(labels):
            y = i * SHEET_WIDE_ROW_STEP
            button(sk, (x, y), WIDE_BUTTON, LOOK_NORMAL, label, corner=CELL)
            button(sk, (x, y + BUTTON[1]), WIDE_BUTTON, LOOK_GREY, label, corner=CELL)
    return sk.finish()


def card_message(sk, at):
    """The card message replaces the gauge: it is the left part of the empty
    gauge frame with the message written in it."""
    x, y = at
    gauge_frame(sk, at, CARD_MESSAGE[0])
    gauge_width = GAUGE_SEGMENT[0] * GAUGE_SEGMENTS
    sk.text((x, y + GAUGE_FRAME_TOP, x + gauge_width, y + GAUGE_FRAME_BOTTOM + 1),
            "microSDカードが認識できません。", CARD_MESSAGE_PX, CARD_MESSAGE_TEXT)


def draw_marker():
    """131: the red cross-hair at the map centre; pixel (16, 16) is its centre."""
    sk = Sketch(*MARKER)
    c = MARKER[0] / 2 + 0.5
    arms = ((1, c - 0.5, c - 8, c + 0.5), (c + 8, c - 0.5, MARKER[0] - 1, c + 0.5),
            (c - 0.5, 1, c + 0.5, c - 8), (c - 0.5, c + 8, c + 0.5, MARKER[1] - 1))
    # a white halo first, so that the cross-hair shows on red and dark map areas too
    for colour, grow in ((WHITE, 1), (MARKER_RED, 0)):
        sk.ring(c, c, 10 + grow, colour, 2 + 2 * grow)
        for x0, y0, x1, y1 in arms:
            sk.rect((x0 - grow, y0 - grow, x1 + grow, y1 + grow), colour)
        sk.circle(c, c, 1.5 + grow, colour)
    return sk.finish()


def draw_notice(lines):
    """134, 149 and 154 to 156: a notice panel with one or more centred lines."""
    sk = Sketch(*NOTICE)
    notice_panel(sk)
    line_height = NOTICE_TEXT_PX + 8
    top = NOTICE[1] / 2 - line_height * len(lines) / 2
    for i, line in enumerate(lines):
        y = top + i * line_height
        sk.text((0, y, NOTICE[0], y + line_height), line, NOTICE_TEXT_PX, WHITE)
    return sk.finish()


def widest_date_width():
    """Width of the widest date the confirmation shows, in the run-time date font."""
    digits = max("0123456789", key=lambda d: text_width(d, DATE_FONT_PX))
    return text_width(f"{digits * 4}年{digits * 2}月{digits * 2}日", DATE_FONT_PX)


def draw_confirm(first_line, after_date):
    """146 and 153: a confirmation panel. With `after_date` the first line is
    the run-time date followed by `first_line`; otherwise it stands alone."""
    sk = Sketch(*NOTICE)
    notice_panel(sk)
    x0, y0, x1, y1 = CONFIRM_DATE_RECT
    if after_date:
        left = (x0 + x1) / 2 + widest_date_width() / 2 + CONFIRM_FIRST_LINE_GAP
        sk.text((left, y0, left + DATE_FONT_PX * 2, y1), first_line, DATE_FONT_PX, WHITE, align="left")
    else:
        sk.text((0, y0, NOTICE[0], y1), first_line, DATE_FONT_PX, WHITE)
    for centre, line in zip(CONFIRM_LINE_CENTRES, ("履歴を消去します。", "よろしいですか？")):
        sk.text((0, centre - 10, NOTICE[0], centre + 10), line, CONFIRM_TEXT_PX, WHITE)
    # One pixel smaller than the pressed looks laid over them, so that their
    # antialiased corners never show around a pressed button.
    button(sk, CONFIRM_YES_AT, BUTTON, LOOK_DARK, "はい", inset=BUTTON_INSET + 1)
    button(sk, CONFIRM_NO_AT, BUTTON, LOOK_DARK, "いいえ", inset=BUTTON_INSET + 1)
    return sk.finish()


def draw_knob():
    """135: the zoom slider knob."""
    sk = Sketch(*KNOB)
    sk.rect((0, 0, *KNOB), RAIL_GROOVE, radius=3)
    sk.gradient_rect((1, 1, KNOB[0] - 1, KNOB[1] - 1), (252, 252, 252), (196, 204, 216), radius=2)
    sk.rect((6, 5.5, KNOB[0] - 6, 7.5), (90, 100, 116))
    return sk.finish()


def draw_map_buttons():
    """136: pressed minus and plus (opaque cells on the rail), the pressed
    back arrow (keyed), and the start and end flags."""
    sk = Sketch(*BUTTONS_PICTURE)
    round_button(sk, (0, 0), MAP_ZOOM_BUTTON, MAP_BUTTON_PRESSED, minus_glyph, WHITE, corner=RAIL)
    round_button(sk, (32, 0), MAP_ZOOM_BUTTON, MAP_BUTTON_PRESSED, plus_glyph, WHITE, corner=RAIL)
    round_button(sk, (64, 0), MAP_BACK_BUTTON, MAP_BUTTON_PRESSED, back_glyph, WHITE)
    flag(sk, START_FLAG_AT, START_FLAG_COLOUR, "S")
    flag(sk, END_FLAG_AT, END_FLAG_COLOUR, "G")
    return sk.finish()


def flag(sk, at, colour, letter):
    """A 20 x 20 flag whose pole ends at the bottom-left pixel, which is
    placed on the track point."""
    x, y = at
    sk.rect((x, y, x + 3, y + FLAG[1]), (30, 30, 30))
    sk.rect((x + 1, y + 1, x + 2, y + FLAG[1]), (200, 200, 200))
    banner = (x + 3, y, x + FLAG[0], y + 14)
    sk.rect(banner, darker(colour, 0.55))
    sk.rect((banner[0], banner[1] + 1, banner[2] - 1, banner[3] - 1), colour)
    sk.text((banner[0], banner[1] + 1, banner[2] - 1, banner[3] - 1), letter, 12, WHITE, bold=True)


def draw_map_frame():
    """137: what lies over the map: back button, zoom rail, north indicator
    and the plate behind the scale label. Magenta elsewhere."""
    sk = Sketch(*SCREEN)
    round_button(sk, (0, 0), MAP_BACK_BUTTON, MAP_BUTTON, back_glyph, NAVY)
    zoom_rail(sk)
    north_indicator(sk)
    scale_plate(sk)
    return sk.finish()


def zoom_rail(sk):
    w, h = SCREEN
    sk.rect((RAIL_LEFT, 0, w, h), RAIL, radius=8, corners=(True, False, False, True))
    round_button(sk, PLUS_AT, MAP_ZOOM_BUTTON, MAP_BUTTON, plus_glyph, NAVY)
    round_button(sk, MINUS_AT, MAP_ZOOM_BUTTON, MAP_BUTTON, minus_glyph, NAVY)
    cx = KNOB_X + KNOB[0] / 2
    first = KNOB_TOP + KNOB[1] / 2
    last = KNOB_TOP + (KNOB_ROWS - 1) * KNOB_ROW + KNOB[1] / 2
    for k in range(KNOB_ROWS):
        y = KNOB_TOP + k * KNOB_ROW + KNOB[1] / 2
        reach = 9 if k % 2 == 0 else 6
        sk.rect((cx - reach, y - 0.5, cx + reach, y + 0.5), RAIL_TICK)
    sk.rect((cx - 2, first - 4, cx + 2, last + 4), RAIL_GROOVE, radius=2)


def north_indicator(sk):
    """A round plate with "N" over a needle whose red half points up."""
    cx, cy = NORTH_CENTRE
    r = NORTH_RADIUS
    sk.circle(cx, cy, r, RAIL)
    sk.ring(cx, cy, r - 1.5, (200, 208, 220), 1)
    sk.polygon([(cx, cy - 5), (cx + 5, cy + 5), (cx - 5, cy + 5)], (236, 52, 36))
    sk.polygon([(cx, cy + 14), (cx + 5, cy + 5), (cx - 5, cy + 5)], (236, 240, 246))
    sk.text((cx - 6, cy - 15, cx + 6, cy - 5), "N", 11, WHITE, bold=True)


def scale_plate(sk):
    """A dark plate under the run-time scale label and its bracket."""
    x0, y0, x1, y1 = SCALE_LABEL_RECT
    widest = max(text_width(label, SCALE_LABEL_PX) for label in SCALE_LABELS)
    cx = (x0 + x1) / 2
    half = max(widest / 2, (x1 - x0) / 2) + 6
    sk.rect((round(cx - half), y0 - 4, round(cx + half), y1 + 4), RAIL, radius=6)


def draw_busy():
    """140: hourglass inside a ring of eight dots."""
    sk = Sketch(*BUSY)
    hourglass(sk, HOURGLASS_BOX)
    centre = BUSY[0] / 2
    radius = centre - (BUSY_FIRST_DOT_AT[1] + BUSY_DOT / 2)
    # eight dots clockwise from the top one, which sits at BUSY_FIRST_DOT_AT
    for k in range(8):
        angle = math.radians(45 * k)
        busy_dot(sk, round(centre + radius * math.sin(angle) - BUSY_DOT / 2),
                 round(centre - radius * math.cos(angle) - BUSY_DOT / 2))
    return sk.finish()


def busy_dot(sk, x, y):
    sk.circle(x + BUSY_DOT / 2, y + BUSY_DOT / 2, BUSY_DOT / 2, BUSY_DOT_COLOUR)
    sk.circle(x + BUSY_DOT / 2 - 0.7, y + BUSY_DOT / 2 - 0.7, 1.6, (110, 150, 220))


def hourglass(sk, box):
    x0, y0, x1, y1 = box
    w = x1 - x0
    wood = (120, 78, 40)
    glass_edge = (70, 92, 120)
    glass = (214, 234, 250)
    sand = (232, 168, 40)
    cx = x0 + w / 2
    # glass bulbs
    top_bulb = [(x0 + 5, y0 + 4), (x1 - 5, y0 + 4), (cx + 2, y0 + 14.5), (cx + 2, y0 + 15.5),
                (x1 - 5, y1 - 4), (x0 + 5, y1 - 4), (cx - 2, y0 + 15.5), (cx - 2, y0 + 14.5)]
    sk.polygon(top_bulb, glass_edge)
    inner = [(x0 + 6.5, y0 + 5), (x1 - 6.5, y0 + 5), (cx + 0.8, y0 + 14.6), (cx + 0.8, y0 + 15.4),
             (x1 - 6.5, y1 - 5), (x0 + 6.5, y1 - 5), (cx - 0.8, y0 + 15.4), (cx - 0.8, y0 + 14.6)]
    sk.polygon(inner, glass)
    # sand: what is left above and the heap below
    sk.polygon([(x0 + 10, y0 + 10), (x1 - 10, y0 + 10), (cx, y0 + 15)], sand)
    sk.polygon([(x0 + 7.5, y1 - 5), (x1 - 7.5, y1 - 5), (cx, y1 - 11)], sand)
    sk.rect((cx - 0.5, y0 + 15, cx + 0.5, y1 - 9), sand)
    # top and bottom boards
    sk.rect((x0 + 1, y0, x1 - 1, y0 + 4), wood, radius=1.5)
    sk.rect((x0 + 1, y1 - 4, x1 - 1, y1), wood, radius=1.5)


def draw_calendar(title, tab_colour):
    """144 and 147: the calendar background with its title tab, weekday
    header and empty day grid."""
    sk = Sketch(*SCREEN, background=PAGE)
    title_band(sk, title, tab_colour)
    grid_right = GRID_LEFT + GRID_COLUMNS * CELL_W
    sk.rect((GRID_LEFT, WEEKDAY_STRIP_TOP, grid_right + 1, GRID_TOP), WEEKDAY_STRIP, radius=4,
            corners=(True, True, False, False))
    for column, name in enumerate(WEEKDAYS, start=1):
        left, _, right, _ = cell_box(column, 0)
        colour = SUNDAY if column == 1 else SATURDAY if column == GRID_COLUMNS else INK
        sk.text((left, WEEKDAY_STRIP_TOP, right + 1, GRID_TOP), name, WEEKDAY_TEXT_PX, colour)
    for row in range(GRID_ROWS):
        columns = GRID_COLUMNS if row < GRID_ROWS - 1 else LAST_ROW_COLUMNS
        for column in range(1, columns + 1):
            left, top, right, bottom = cell_box(column, row)
            sk.rect((left, top, right + 1, bottom + 1), GRID_LINE)
            sk.rect((left + 1, top + 1, right, bottom), CELL)
    return sk.finish(keyed=False)


def draw_settings():
    """150: the settings background: title tab, the three rows with the
    buttons in their normal look and the empty gauge frame."""
    sk = Sketch(*SCREEN, background=PAGE)
    title_band(sk, "設定", NAVY)
    sk.framed_rect(SETTINGS_CARD, CELL, GRID_LINE, radius=8)
    for y in SETTINGS_DIVIDERS:
        sk.rect((SETTINGS_CARD[0] + 8, y, SETTINGS_CARD[2] - 8, y + 1), GRID_LINE)
    labels = ("ログ記録時間", "履歴消去", "SDカード空き容量")
    for centre, label in zip(SETTINGS_ROW_CENTRES, labels):
        sk.text((SETTINGS_LABEL_X, centre - 12, LOG_REC_BUTTON_AT[0], centre + 12), label, SETTINGS_LABEL_PX,
                INK, align="left")
    button(sk, LOG_REC_BUTTON_AT, WIDE_BUTTON, LOOK_NORMAL, "OFF", corner=CELL)
    button(sk, DATE_DELETE_AT, WIDE_BUTTON, LOOK_NORMAL, "日付指定", corner=CELL)
    button(sk, ALL_DELETE_AT, WIDE_BUTTON, LOOK_NORMAL, "全消去", corner=CELL)
    gauge_width = GAUGE_SEGMENT[0] * GAUGE_SEGMENTS
    gauge_frame(sk, (GAUGE_X - 1, GAUGE_Y), gauge_width + 2)
    sk.rect((GAUGE_X - 1, GAUGE_Y + GAUGE_FRAME_TOP, GAUGE_X, GAUGE_Y + GAUGE_FRAME_BOTTOM + 1), GAUGE_FRAME)
    sk.rect((GAUGE_X + gauge_width, GAUGE_Y + GAUGE_FRAME_TOP, GAUGE_X + gauge_width + 1,
             GAUGE_Y + GAUGE_FRAME_BOTTOM + 1), GAUGE_FRAME)
    return sk.finish(keyed=False)


# --- Table of pictures -----------------------------------------------------------

PICTURES = {
    129: (SHEET, draw_sprite_sheet),
    131: (MARKER, draw_marker),
    132: (landmarks.ATLAS_SIZE, landmarks.draw_atlas),
    133: (map_symbols.ATLAS_SIZE, map_symbols.draw_atlas),
    134: (NOTICE, lambda: draw_notice(["記録されているログはありません。"])),
    135: (KNOB, draw_knob),
    136: (BUTTONS_PICTURE, draw_map_buttons),
    137: (SCREEN, draw_map_frame),
    140: (BUSY, draw_busy),
    144: (SCREEN, lambda: draw_calendar("走行履歴", NAVY)),
    146: (NOTICE, lambda: draw_confirm("の", after_date=True)),
    147: (SCREEN, lambda: draw_calendar("履歴消去", DELETE_RED)),
    149: (NOTICE, lambda: draw_notice(["履歴を消去しました。"])),
    150: (SCREEN, draw_settings),
    153: (NOTICE, lambda: draw_confirm("全て の", after_date=False)),
    154: (NOTICE, lambda: draw_notice(["履歴を消去できませんでした。"])),
    155: (NOTICE, lambda: draw_notice(["記録設定を読み込めません。"])),
    156: (NOTICE, lambda: draw_notice(["記録設定を保存できませんでした。"])),
}
# 131 is stored with an alpha channel so that the 32-bit loading path is used.
RGBA_PICTURES = {131}


def make_picture(picture_id):
    size, draw = PICTURES[picture_id]
    picture = draw()
    if picture.size != size:
        raise PictureError(f"{picture_id}: drawn {picture.size}, expected {size}")
    check_no_fringe(picture, str(picture_id))
    return picture


def save_picture(picture, picture_id, directory):
    path = os.path.join(directory, f"{picture_id}.png")
    if picture_id in RGBA_PICTURES:
        picture = picture.convert("RGBA")  # opaque alpha everywhere
    picture.save(path, optimize=True)
    return path


def contact_sheet(pictures, path):
    """All pictures on one page for review, small ones enlarged."""
    margin, caption = 12, 18
    width = 1000
    tiles = []
    for picture_id, picture in pictures.items():
        scale = 3 if max(picture.size) <= 64 else 2 if max(picture.size) <= 200 else 1
        tile = picture.resize((picture.width * scale, picture.height * scale), Image.NEAREST)
        tiles.append((picture_id, tile, scale))
    x = y = margin
    row_height = 0
    placed = []
    for picture_id, tile, scale in tiles:
        if x + tile.width > width - margin:
            x = margin
            y += row_height + caption + margin
            row_height = 0
        placed.append((picture_id, tile, scale, x, y))
        x += max(tile.width, 130) + margin
        row_height = max(row_height, tile.height)
    sheet = Image.new("RGB", (width, y + row_height + caption + margin), (96, 96, 96))
    draw = ImageDraw.Draw(sheet)
    for picture_id, tile, scale, x, y in placed:
        draw.text((x, y), f"{picture_id}  {tile.width // scale}x{tile.height // scale}  x{scale}",
                  font=font(12), fill=WHITE)
        sheet.paste(tile, (x, y + caption))
    sheet.save(path)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.join(here, "pictures"), help="directory for <id>.png")
    parser.add_argument("--sheet", help="also write a contact sheet of all pictures to this PNG")
    parser.add_argument("ids", nargs="*", type=int, help="only these pictures (default: all)")
    args = parser.parse_args()
    ids = args.ids or sorted(PICTURES)
    unknown = [i for i in ids if i not in PICTURES]
    if unknown:
        parser.error(f"no such picture: {unknown}")
    os.makedirs(args.out, exist_ok=True)
    pictures = {}
    try:
        for picture_id in ids:
            pictures[picture_id] = make_picture(picture_id)
            print(save_picture(pictures[picture_id], picture_id, args.out))
    except PictureError as error:
        sys.exit(f"generate_pictures: {error}")
    if args.sheet:
        contact_sheet(pictures, args.sheet)
        print(args.sheet)


if __name__ == "__main__":
    main()
