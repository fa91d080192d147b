"""The marks, symbols and numbered cells of the map's names, read from the
table the renderer compiles (render/name_pictures.def), so that the pictures
have something drawn wherever the renderer copies from."""

import os
import re

TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "render", "name_pictures.def")


def _calls(name):
    with open(TABLE, encoding="utf-8") as table:
        text = table.read()
    return [tuple(int(v) for v in args.split(","))
            for args in re.findall(r"^%s\(([-\d, ]+)\)" % name, text, re.MULTILINE)]


def marks():
    """Class code: (x, y, width, height) of its facility mark in picture 132."""
    return {code: (x, y, w, h) for code, x, y, w, h in _calls("MARK")}


def symbols():
    """(x, y): (width, height, with number) of every small symbol of picture 133."""
    return {(x, y): (w, h, numbered) for _, _, x, y, w, h, numbered in _calls("SYMBOL")}


def numbered_cell_count():
    """Cells of the numbered grid the renderer reads: the highest cell + 1."""
    return max(cell + last - first for first, last, cell in _calls("NUMBERED")) + 1


def extra_symbol():
    """(x, y, width, height) of the symbol beside labels without one of their own."""
    return _calls("EXTRA_SYMBOL")[0]
