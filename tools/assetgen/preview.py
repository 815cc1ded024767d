"""The board drawn the way the program draws it, for eyeballing."""

import os

import numpy as np
from PIL import Image

from assetgen.captions import read_board
from assetgen.font import (CELL_HEIGHT, GLYPH_ADVANCE, GLYPH_BEARING, GLYPH_WIDTH, LINE_HEIGHT,
                           PAD_X, PITCH, TEX, average_advance, glyph_layout)
from assetgen.paths import DATA

# ---------------------------------------------------------------------------
# Preview: the board drawn the way the program draws it (label box text
# scaling, centred lines, pen advances, glyph quads, drop shadow, linear
# texture sampling without mipmaps).


def load_rgba(name):
    """Texture as float RGBA with row 0 the bottom row (GL's t = 0)."""
    img = Image.open(os.path.join(DATA, name)).convert("RGBA")
    return np.asarray(img, dtype=np.float64)[::-1] / 255.0


def sample(tex, s, t):
    """GL_LINEAR sampling with GL_REPEAT wrap."""
    h, w = tex.shape[:2]
    u = s * w - 0.5
    v = t * h - 0.5
    x0 = np.floor(u).astype(int)
    y0 = np.floor(v).astype(int)
    fx = (u - x0)[..., None]
    fy = (v - y0)[..., None]
    x1, y1 = (x0 + 1) % w, (y0 + 1) % h
    x0, y0 = x0 % w, y0 % h
    return ((tex[y0, x0] * (1 - fx) + tex[y0, x1] * fx) * (1 - fy)
            + (tex[y1, x0] * (1 - fx) + tex[y1, x1] * fx) * fy)


def draw_quad(dst, tex, x0, x1, y0, y1, s0, s1, t0, t1, colour):
    """Blends a textured, colour-modulated quad (screen y up) into dst."""
    height = dst.shape[0]
    xs = np.arange(max(0, int(np.floor(x0))), min(dst.shape[1], int(np.ceil(x1))))
    ys = np.arange(max(0, int(np.floor(y0))), min(height, int(np.ceil(y1))))
    xs = xs[(xs + 0.5 >= x0) & (xs + 0.5 < x1)]
    ys = ys[(ys + 0.5 >= y0) & (ys + 0.5 < y1)]
    if len(xs) == 0 or len(ys) == 0:
        return
    px, py = np.meshgrid(xs + 0.5, ys + 0.5)
    s = s0 + (px - x0) / (x1 - x0) * (s1 - s0)
    t = t0 + (py - y0) / (y1 - y0) * (t1 - t0)
    texel = sample(tex, s, t) * np.asarray(colour) / 255.0
    a = texel[..., 3:4]
    rows = height - 1 - ys
    region = dst[rows[:, None], xs[None, :]]
    dst[rows[:, None], xs[None, :]] = texel[..., :3] * a + region * (1 - a)


def draw_text(dst, font_tex, text, size, cx, cy, unit, colour):
    """text_draw(text, size, cx, cy) in a frame where one unit is `unit` px."""
    layout = glyph_layout()
    avg = average_advance()
    lines = text.split("\n")
    k = size / CELL_HEIGHT * unit  # px per font unit
    top = (len(lines) - 1) / 2 * LINE_HEIGHT
    for shadow in (True, False):
        for i, line in enumerate(lines):
            pen = -sum(GLYPH_ADVANCE[ord(c) - 32] for c in line) / 2
            line_y = top - i * LINE_HEIGHT
            for c in line:
                g = ord(c) - 32
                band, gx = layout[g]
                qx0 = pen + avg / 2 + GLYPH_BEARING[g] - avg / 2
                qx1 = qx0 + GLYPH_WIDTH[g] + 2 * PAD_X
                qy0, qy1 = line_y - PITCH / 2, line_y + PITCH / 2
                off = (2.0, -2.0) if shadow else (0.0, 0.0)
                draw_quad(dst, font_tex,
                          cx + (qx0 + off[0]) * k, cx + (qx1 + off[0]) * k,
                          cy + (qy0 + off[1]) * k, cy + (qy1 + off[1]) * k,
                          gx / TEX, (gx + GLYPH_WIDTH[g] + 2 * PAD_X) / TEX,
                          PITCH * band / TEX, PITCH * (band + 1) / TEX,
                          (0, 0, 0, 255) if shadow else colour)
                pen += GLYPH_ADVANCE[g]


def draw_label_box(dst, font_tex, button_tex, left, bottom, side, text, fill, ink):
    draw_quad(dst, button_tex, left, left + side, bottom, bottom + side, 0, 1, 0, 1, fill)
    lines = text.split("\n")
    longest = max(len(l) for l in lines)
    span = max(longest + 2, 2 * len(lines))  # the text box grown to a square
    draw_text(dst, font_tex, text, 2, left + side / 2, bottom + side / 2, side / span, ink)


def make_preview(path):
    font_tex = load_rgba("font_chicago.png")
    button_tex = load_rgba("button.png")
    captions = sorted((c for _, c in read_board()), key=lambda c: c.encode())
    board = np.zeros((480, 320, 3))
    for i, caption in enumerate(captions):
        col, row = i % 4, 4 - i // 4
        ink = (255, 255, 255, 255) if i == 5 else (128, 128, 128, 255)
        draw_label_box(board, font_tex, button_tex, col * 80, 40 + row * 80, 80,
                       caption, (64, 64, 64, 222), ink)
    # A large line of every character under the board, to judge the shapes.
    sheet = np.zeros((200, 320, 3)) + 0.25
    chars = "".join(chr(c) for c in range(33, 127))
    for i in range(3):
        part = chars[i * 32:(i + 1) * 32]
        draw_text(sheet, font_tex, part, 35 * 0.55, 160, 165 - i * 60, 1.0, (255, 255, 255, 255))
    out = np.concatenate([board, sheet])
    Image.fromarray(np.clip(out * 255, 0, 255).astype(np.uint8), "RGB").save(path)
    print(f"preview: {path}")
