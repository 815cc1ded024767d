"""The bitmap font's picture, drawn where the font metrics put each glyph."""

import ast
import os
import re
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

from assetgen.paths import ROOT
from assetgen.pictures import SS, save_rgba, white_on_alpha

# ---------------------------------------------------------------------------
# Bitmap font. The metrics are the program's own, read from their one source,
# src/vostrel/text/font.cpp (font_set_metrics and its tables): the picture
# must put every glyph exactly where the program draws it.

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"
FONT_SOURCE = os.path.join(ROOT, "src", "vostrel", "text", "font.cpp")
# Where the glyph drawings sit inside a cell (font units, y up from the cell's
# centre line): the baseline and the height of capitals. Capitals are then
# centred a little above the line's centre and descenders still fit.
BASELINE = -10.0
CAP_HEIGHT = 21.0
MAX_STRETCH = 1.25

_FLOAT = r"(-?[0-9]+(?:\.[0-9]*)?)f"


def _source_float(text, pattern):
    match = re.search(pattern, text)
    if not match:
        sys.exit(f"{FONT_SOURCE}: no match for {pattern!r}: the font metrics moved")
    return float(match.group(1))


def _source_groups(text, name, default):
    """A `constexpr MetricGroup name[] = {{value, "chars"}, ...};` table as a
    list over the 95 glyphs, characters not listed taking default."""
    match = re.search(r"MetricGroup " + name + r"\[\] = \{(.*?)\n\};", text, re.S)
    if not match:
        sys.exit(f"{FONT_SOURCE}: table {name} not found: the font metrics moved")
    out = {}
    entries = re.findall(r'\{' + _FLOAT + r', ("(?:[^"\\]|\\.)*")\}', match.group(1))
    if not entries:
        sys.exit(f"{FONT_SOURCE}: table {name} is empty")
    for value, literal in entries:
        for c in ast.literal_eval(literal):  # C and Python escapes agree for \\ and \"
            out[c] = float(value)
    table = [out.get(chr(c), default) for c in range(32, 127)]
    if None in table:
        sys.exit(f"{FONT_SOURCE}: table {name} leaves a glyph without a value")
    return table


with open(FONT_SOURCE, encoding="utf-8") as _f:
    _SOURCE = _f.read()
TEX = int(_source_float(_SOURCE, r"m->texture_width = " + _FLOAT + ";"))
PAD_X = _source_float(_SOURCE, r"m->pad_x = " + _FLOAT + ";")
PAD_Y = _source_float(_SOURCE, r"m->pad_y = " + _FLOAT + ";")
CELL_HEIGHT = _source_float(_SOURCE, r"m->cell_height = " + _FLOAT + ";")
LINE_HEIGHT = _source_float(_SOURCE, r"m->line_height = " + _FLOAT + ";")
PITCH = CELL_HEIGHT + 2 * PAD_Y  # 42.387388, the height of one band
_bands = re.search(r"band_end\[FONT_BANDS\] = \{([0-9, ]+)\};", _SOURCE)
if not _bands:
    sys.exit(f"{FONT_SOURCE}: band_end not found: the font metrics moved")
BAND_END = [int(v) for v in _bands.group(1).split(",")]
GLYPH_WIDTH = _source_groups(_SOURCE, "width_groups", None)
GLYPH_BEARING = _source_groups(
    _SOURCE, "bearing_groups", _source_float(_SOURCE, r"default_bearing = " + _FLOAT + ";"))
GLYPH_ADVANCE = _source_groups(
    _SOURCE, "advance_groups", _source_float(_SOURCE, r"default_advance = " + _FLOAT + ";"))


def float32(v):
    return float(np.float32(v))


def glyph_layout():
    """Per glyph index: (band, glyph_x), cells packed from the left of each
    band in single precision as the program accumulates them."""
    out = []
    start = 0
    for band, end in enumerate(BAND_END):
        x = np.float32(0)
        for g in range(start, end):
            out.append((band, float(x)))
            x = np.float32(x + np.float32(GLYPH_WIDTH[g]) + np.float32(2 * PAD_X))
        assert float(x) <= TEX, f"band {band} is {float(x)} wide"
        start = end
    return out


def average_advance():
    total = np.float32(0)
    for a in GLYPH_ADVANCE:
        total = np.float32(total + np.float32(a))
    return float(total / np.float32(len(GLYPH_ADVANCE)))


def render_glyph(font, ch):
    """The glyph's coverage at SS times the font's scale, cropped to its ink
    horizontally, and the row of its baseline in that picture."""
    asc, desc = font.getmetrics()
    w = int(font.getlength(ch)) + 32 * SS
    img = Image.new("L", (w, asc + desc + 8 * SS), 0)
    base = asc + 4 * SS
    ImageDraw.Draw(img).text((8 * SS, base), ch, font=font, fill=255, anchor="ls")
    box = img.getbbox()
    if box is None:
        return None, 0
    return img.crop((box[0], 0, box[2], img.height)), base


def make_font():
    cap_px = CAP_HEIGHT * SS
    size = 10 * SS
    probe = ImageFont.truetype(FONT_FILE, size)
    left, top, right, bottom = probe.getbbox("H", anchor="ls")
    font = ImageFont.truetype(FONT_FILE, round(size * cap_px / (bottom - top)))

    canvas = Image.new("L", (TEX * SS, TEX * SS), 0)
    for g, (band, gx) in enumerate(glyph_layout()):
        ch = chr(32 + g)
        width = GLYPH_WIDTH[g] * SS
        if width == 0:
            continue
        pic, base = render_glyph(font, ch)
        # Fit the ink to the cell, but do not widen a narrow drawing into a
        # blob (J, j): beyond MAX_STRETCH it is centred in its cell instead.
        # Bars may stretch freely.
        fitted = width
        if ch not in "-_":
            fitted = min(width, pic.width * MAX_STRETCH)
        pic = pic.resize((max(1, round(fitted)), pic.height), Image.Resampling.LANCZOS)
        # Band rows counted from the picture's top edge, at SS scale.
        band_top = (TEX - (band + 1) * PITCH) * SS
        band_bottom = (TEX - band * PITCH) * SS
        centre = (band_top + band_bottom) / 2
        y = round(centre - BASELINE * SS) - base
        x = round((gx + PAD_X) * SS + (width - fitted) / 2)
        # Keep the drawing inside its band (half a texel clear of the edges)
        # so no neighbouring quad ever samples it.
        clip_top = int(np.ceil(band_top + SS / 2))
        clip_bottom = int(np.floor(band_bottom - SS / 2))
        crop_top = max(0, clip_top - y)
        crop_bottom = min(pic.height, clip_bottom - y)
        part = pic.crop((0, crop_top, pic.width, crop_bottom))
        canvas.paste(part, (x, y + crop_top), part)
    mask = canvas.resize((TEX, TEX), Image.Resampling.BOX)
    save_rgba(white_on_alpha(mask), "font_chicago.png")
