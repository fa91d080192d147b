"""Drawing surface shared by the picture generator and its helpers.

Shapes are drawn on a supersampled RGBA surface and reduced to the picture's
size when it is finished. Against the transparent colour (magenta) nothing is
ever blended: a pixel is either exactly magenta or takes the average of the
picture's own colours under it, so the pictures have no pink fringes once the
viewer keys magenta out. Text is drawn after the reduction, at the picture's
own size, so that it keeps the font's hinting; it may only land on pixels of
the picture, never on magenta.
"""

import subprocess

from PIL import Image, ImageDraw, ImageFilter, ImageFont

# The transparent colour of every picture.
KEY = (255, 0, 255)
# Shapes are drawn this many times larger and then reduced.
SUPERSAMPLING = 4
# A pixel belongs to the picture when at least this share of it (of 255) is covered.
COVERAGE_THRESHOLD = 128
# Text and shapes must stay this far from magenta: a pixel whose red and blue
# both exceed its green by more than this looks pink once keyed.
MAGENTA_MARGIN = 96

FONT_FAMILY = "IPAPGothic"
FONT_PACKAGE = "fonts-ipafont-gothic"


class PictureError(Exception):
    """A picture cannot be drawn as required (missing font, fringe, wrong size)."""


def find_font_file(family=FONT_FAMILY):
    """Returns the file of the Japanese Gothic face, found with fontconfig."""
    try:
        result = subprocess.run(["fc-match", "-f", "%{family}\n%{file}", family],
                                capture_output=True, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        raise PictureError(f"fc-match is not available ({error}); install fontconfig") from error
    families, _, path = result.stdout.partition("\n")
    if family not in families.split(","):
        raise PictureError(f"font {family} not found (fc-match gave {families or 'nothing'}); "
                           f"install the Debian package {FONT_PACKAGE}")
    return path.strip()


_font_file = None
_fonts = {}


def font(pixels):
    """The Japanese Gothic face at an em size in pixels."""
    global _font_file
    if _font_file is None:
        _font_file = find_font_file()
    if pixels not in _fonts:
        _fonts[pixels] = ImageFont.truetype(_font_file, pixels)
    return _fonts[pixels]


def text_width(string, pixels):
    return font(pixels).getlength(string)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def darker(colour, factor=0.6):
    return tuple(round(c * factor) for c in colour)


def lighter(colour, amount=0.5):
    return lerp(colour, (255, 255, 255), amount)


def looks_magenta(rgb):
    """True for the key itself and for pinkish blends of it with other colours."""
    r, g, b = rgb[:3]
    return min(r, b) - g > MAGENTA_MARGIN


def rounded_rectangle(draw, box, radius, fill, corners=None):
    """Inclusive box; `corners` as in Sketch.rect (this Pillow has no such option)."""
    if radius <= 0:
        draw.rectangle(box, fill=fill)
        return
    draw.rounded_rectangle(box, radius=radius, fill=fill)
    if corners is None:
        return
    x0, y0, x1, y1 = box
    squares = ((x0, y0, x0 + radius, y0 + radius), (x1 - radius, y0, x1, y0 + radius),
               (x1 - radius, y1 - radius, x1, y1), (x0, y1 - radius, x0 + radius, y1))
    for rounded, square in zip(corners, squares):
        if not rounded:
            draw.rectangle(square, fill=fill)


class Sketch:
    """A picture under construction: width x height pixels, coordinates in
    picture pixels (fractions allowed), boxes as (left, top, right, bottom)
    with exclusive right and bottom edges."""

    def __init__(self, width, height, background=None):
        self.width = width
        self.height = height
        fill = (*background, 255) if background else (0, 0, 0, 0)
        self.image = Image.new("RGBA", (width * SUPERSAMPLING, height * SUPERSAMPLING), fill)
        self.draw = ImageDraw.Draw(self.image)
        self.texts = []

    # --- coordinates -------------------------------------------------------
    @staticmethod
    def _s(v):
        return round(v * SUPERSAMPLING)

    def _box(self, box):
        x0, y0, x1, y1 = box
        return (self._s(x0), self._s(y0), self._s(x1) - 1, self._s(y1) - 1)

    def _points(self, points):
        return [(x * SUPERSAMPLING, y * SUPERSAMPLING) for x, y in points]

    # --- shapes ------------------------------------------------------------
    def rect(self, box, fill, radius=0, corners=None):
        """A rectangle, its corners rounded by `radius`; `corners` (top left,
        top right, bottom right, bottom left) picks which ones."""
        rounded_rectangle(self.draw, self._box(box), self._s(radius), (*fill, 255), corners)

    def framed_rect(self, box, fill, edge, radius=0, edge_width=1, corners=None):
        """A rectangle with an edge line of edge_width pixels inside its box."""
        self.rect(box, edge, radius, corners)
        x0, y0, x1, y1 = box
        inner = (x0 + edge_width, y0 + edge_width, x1 - edge_width, y1 - edge_width)
        self.rect(inner, fill, max(0, radius - edge_width), corners)

    def gradient_rect(self, box, top, bottom, radius=0, corners=None):
        """A rectangle shaded from `top` to `bottom` colour."""
        x0, y0, x1, y1 = (self._s(v) for v in box)
        w, h = x1 - x0, y1 - y0
        column = Image.new("RGBA", (1, h))
        for i in range(h):
            column.putpixel((0, i), (*lerp(top, bottom, i / max(1, h - 1)), 255))
        shade = column.resize((w, h))
        mask = Image.new("L", (w, h), 0)
        rounded_rectangle(ImageDraw.Draw(mask), (0, 0, w - 1, h - 1), self._s(radius), 255, corners)
        self.image.paste(shade, (x0, y0), mask)

    def gradient_ellipse(self, box, top, bottom):
        """An ellipse shaded from `top` to `bottom` colour."""
        x0, y0, x1, y1 = (self._s(v) for v in box)
        w, h = x1 - x0, y1 - y0
        column = Image.new("RGBA", (1, h))
        for i in range(h):
            column.putpixel((0, i), (*lerp(top, bottom, i / max(1, h - 1)), 255))
        mask = Image.new("L", (w, h), 0)
        ImageDraw.Draw(mask).ellipse((0, 0, w - 1, h - 1), fill=255)
        self.image.paste(column.resize((w, h)), (x0, y0), mask)

    def ellipse(self, box, fill, edge=None, edge_width=1):
        if edge is not None:
            self.draw.ellipse(self._box(box), fill=(*edge, 255))
            x0, y0, x1, y1 = box
            box = (x0 + edge_width, y0 + edge_width, x1 - edge_width, y1 - edge_width)
        self.draw.ellipse(self._box(box), fill=(*fill, 255))

    def circle(self, cx, cy, r, fill, edge=None, edge_width=1):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), fill, edge, edge_width)

    def ring(self, cx, cy, r, colour, width):
        self.draw.ellipse(self._box((cx - r, cy - r, cx + r, cy + r)), outline=(*colour, 255),
                          width=self._s(width))

    def arc(self, box, start, end, colour, width):
        """An arc of the ellipse in `box`, from `start` to `end` degrees clockwise from 3 o'clock."""
        self.draw.arc(self._box(box), start, end, fill=(*colour, 255), width=max(1, self._s(width)))

    def polygon(self, points, fill):
        self.draw.polygon(self._points(points), fill=(*fill, 255))

    def line(self, points, colour, width=1):
        self.draw.line(self._points(points), fill=(*colour, 255), width=max(1, self._s(width)),
                       joint="curve")

    def pieslice(self, box, start, end, fill):
        self.draw.pieslice(self._box(box), start, end, fill=(*fill, 255))

    def chord(self, box, start, end, fill):
        self.draw.chord(self._box(box), start, end, fill=(*fill, 255))

    def clear(self, box):
        """Makes a box transparent again."""
        self.draw.rectangle(self._box(box), fill=(0, 0, 0, 0))

    def outline_silhouette(self, colour, width=1):
        """Puts an edge of `colour`, `width` pixels wide, around everything drawn so far."""
        alpha = self.image.getchannel("A")
        size = 2 * self._s(width) + 1
        grown = alpha.filter(ImageFilter.MaxFilter(size))
        under = Image.new("RGBA", self.image.size, (*colour, 255))
        under.putalpha(grown)
        self.image = Image.alpha_composite(under, self.image)
        self.draw = ImageDraw.Draw(self.image)

    # --- text --------------------------------------------------------------
    def text(self, box, string, pixels, colour, bold=False, align="centre", dy=0):
        """Queues text centred (or left-aligned) in a box; drawn once the
        shapes are reduced, at the picture's own size."""
        self.texts.append((box, string, pixels, colour, bold, align, dy))

    # --- finishing ---------------------------------------------------------
    def finish(self, keyed=True):
        """Reduces the shapes to the picture's size and draws the text.
        Keyed pictures get exact magenta where less than half a pixel is
        covered; opaque pictures must cover every pixel."""
        reduced = self.image.resize((self.width, self.height), Image.BOX)
        alpha = reduced.getchannel("A")
        picture = Image.new("RGB", (self.width, self.height), KEY)
        covered = alpha.point(lambda a: 255 if a >= COVERAGE_THRESHOLD else 0)
        if not keyed and covered.getextrema()[0] != 255:
            raise PictureError("an opaque picture has uncovered pixels")
        picture.paste(reduced.convert("RGB"), (0, 0), covered)
        for job in self.texts:
            draw_text_job(picture, job)
        return picture


def text_mask(size, box, string, pixels, bold=False, align="centre", dy=0):
    """Coverage (L image of `size`) of a text in a box: regular text at the
    picture's size with the font's hinting, bold text supersampled with a
    thin stroke."""
    x0, y0, x1, y1 = box
    x = (x0 + x1) / 2 if align == "centre" else x0
    y = (y0 + y1) / 2 + dy
    anchor = "mm" if align == "centre" else "lm"
    if not bold:
        mask = Image.new("L", size, 0)
        ImageDraw.Draw(mask).text((x, y), string, font=font(pixels), fill=255, anchor=anchor)
        return mask
    s = SUPERSAMPLING
    big = Image.new("L", (size[0] * s, size[1] * s), 0)
    ImageDraw.Draw(big).text((x * s, y * s), string, font=font(pixels * s), fill=255, anchor=anchor,
                             stroke_width=max(1, round(s * 0.35)), stroke_fill=255)
    return big.resize(size, Image.BOX)


def draw_text_job(picture, job):
    box, string, pixels, colour, bold, align, dy = job
    mask = text_mask(picture.size, box, string, pixels, bold, align, dy)
    bounds = mask.getbbox()
    if bounds is None:
        raise PictureError(f"text {string!r} falls outside its picture")
    x0, y0, x1, y1 = bounds
    for y in range(y0, y1):
        for x in range(x0, x1):
            if mask.getpixel((x, y)) and picture.getpixel((x, y)) == KEY:
                raise PictureError(f"text {string!r} touches magenta at ({x}, {y})")
    picture.paste(colour, (0, 0), mask)


def check_no_fringe(picture, name):
    """Fails when a pixel other than the key looks magenta."""
    data = picture.getdata()
    for i, rgb in enumerate(data):
        if rgb != KEY and looks_magenta(rgb):
            raise PictureError(f"{name}: pinkish pixel {rgb} at ({i % picture.width}, {i // picture.width})")
