"""The bitmap font's picture, drawn where the font metrics put each glyph."""

import numpy as np
from PIL import Image, ImageDraw, ImageFont

from assetgen.pictures import SS, save_rgba, white_on_alpha

# ---------------------------------------------------------------------------
# Bitmap font. The metrics below are the program's font metrics (text/): the
# picture must put every glyph exactly where they say.

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"
TEX = 256
PAD_X = 1.5315321
PAD_Y = 3.6936941
CELL_HEIGHT = 35.0
LINE_HEIGHT = 28.0
PITCH = CELL_HEIGHT + 2 * PAD_Y  # 42.387388, the height of one band
BAND_END = [19, 34, 49, 64, 80, 95]
# Where the glyph drawings sit inside a cell (font units, y up from the cell's
# centre line): the baseline and the height of capitals. Capitals are then
# centred a little above the line's centre and descenders still fit.
BASELINE = -10.0
CAP_HEIGHT = 21.0
MAX_STRETCH = 1.25


def _groups(table, default=None):
    out = {}
    for value, chars in table:
        for c in chars:
            out[c] = value
    return [out.get(chr(c), default) for c in range(32, 127)]


GLYPH_WIDTH = _groups([
    (0.0, " "), (2.3242, "|"), (2.3379, "'"), (4.6621, "!,.:;Iil"), (4.6758, "`"),
    (7.0, '"()1[]{}'), (9.3379, "t"), (11.6621, "$+-/EFLS\\cfjrs"), (11.9355, "*"),
    (12.8379, "<>"), (14.0, "02356789=?ABCDGHJOPQRTUVXYZ^abdeghnopquvxyz~"),
    (16.3379, "4KNk"), (18.6621, "#&_"), (21.0, "%@"), (23.3379, "MWmw")])
GLYPH_BEARING = _groups([
    (0.0, " 4JT_j"), (0.4648, "<"), (0.6973, ">"), (2.2012, "*"), (4.6621, '!"1I|`')], 2.3379)
GLYPH_ADVANCE = _groups([
    (7.0, "'"), (9.3379, " ,.:;il"), (11.6621, "()[]{|}"), (14.0, "!<>IT`fjrt"),
    (16.3379, '"$*+-/EFJLS\\cs'), (18.6758, "X"), (21.0, "KN"), (23.3379, "#&"),
    (25.6621, "%@"), (28.0, "MWmw")], 18.6621)
assert None not in GLYPH_WIDTH


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
