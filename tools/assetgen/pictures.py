"""The button and check pictures, drawn with PIL."""

import os

import numpy as np
from PIL import Image, ImageDraw

from assetgen.paths import DATA

# ---------------------------------------------------------------------------
# Pictures

SS = 8  # supersampling factor for anti-aliased shapes


def save_rgba(img, name):
    assert img.mode == "RGBA"
    img.save(os.path.join(DATA, name), optimize=True)


def white_on_alpha(mask):
    """RGBA picture that is white everywhere with mask as alpha (white under
    transparent texels too, so linear filtering never darkens the edges)."""
    img = Image.new("RGBA", mask.size, (255, 255, 255, 0))
    img.putalpha(mask)
    return img


def make_button():
    size = 32
    big = size * SS
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, big - 1, big - 1), radius=8 * SS, fill=255)
    alpha = mask.resize((size, size), Image.Resampling.BOX)
    # Face: light, brighter at the top, with a soft darker rim so the tinted
    # button keeps an edge against the black background.
    y, x = np.mgrid[0:size, 0:size] + 0.5
    grey = 250 - 45 * (y / size)
    edge = np.minimum(np.minimum(x, size - x), np.minimum(y, size - y))
    grey = np.where(edge < 2.0, grey * (0.72 + 0.14 * edge), grey)
    grey = np.clip(grey, 0, 255).astype(np.uint8)
    rgba = np.dstack([grey, grey, grey, np.asarray(alpha)])
    save_rgba(Image.fromarray(rgba, "RGBA"), "button.png")


def make_mark(points_list, name):
    size = 64
    big = size * SS
    mask = Image.new("L", (big, big), 0)
    draw = ImageDraw.Draw(mask)
    width = 9 * SS
    for points in points_list:
        pts = [(px * SS, py * SS) for px, py in points]
        draw.line(pts, fill=255, width=width, joint="curve")
        for px, py in pts:
            r = width / 2
            draw.ellipse((px - r, py - r, px + r, py + r), fill=255)
    save_rgba(white_on_alpha(mask.resize((size, size), Image.Resampling.BOX)), name)


def make_pictures():
    make_button()
    make_mark([[(12, 34), (26, 48), (52, 17)]], "check.png")
    make_mark([[(17, 17), (47, 47)], [(47, 17), (17, 47)]], "check_bad.png")
