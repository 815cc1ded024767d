#!/usr/bin/env python3
"""Independent reference for tests/test_float_exact.cpp.

Recomputes, in IEEE single precision, the bilinear resize and the camera's
project/unproject exactly as their algorithms are written (each product and
each sum rounded to a 32-bit float on its own, never fused), and prints the
results as C++ initialisers. Python's float is a double; rounding each +, -,
* and / of two singles through a double to a single gives the correctly
rounded single result, so no numeric library is needed.

With --fused the same arithmetic is done with every a*b+c (and c-a*b) that a
compiler may contract fused into one rounding, to show which expected values
a contracting build gets wrong.
    python3 tests/float_exact_reference.py [--fused]
"""
import struct
import sys
from fractions import Fraction

FUSED = "--fused" in sys.argv


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def mul(a, b):
    return f32(a * b)


def add(a, b):
    return f32(a + b)


def sub(a, b):
    return f32(a - b)


def div(a, b):
    return f32(a / b)


def madd(c, a, b):
    """c + a*b: two roundings, or one when fused."""
    if FUSED:
        return f32(float(Fraction(c) + Fraction(a) * Fraction(b)))
    return add(c, mul(a, b))


def msub(c, a, b):
    """c - a*b."""
    if FUSED:
        return f32(float(Fraction(c) - Fraction(a) * Fraction(b)))
    return sub(c, mul(a, b))


def hexf(x):
    mant, exp = float.hex(f32(x)).split("p")
    return mant.rstrip("0").rstrip(".") + "p" + exp + "f"


# ---- bilinear resize of plane 0 -------------------------------------------
def resize(src, ow, oh, ch, nw, nh):
    def px(x, y, c):
        if 0 <= x < ow and 0 <= y < oh:
            return float(src[(y * ow + x) * ch + c])
        return 0.0

    sx = div(float(nw), float(ow))
    sy = div(float(nh), float(oh))
    out = []
    for y in range(nh):
        v = div(float(y), sy)
        y0 = int(v)
        fy = sub(v, float(y0))
        gy = sub(1.0, fy)
        for x in range(nw):
            u = div(float(x), sx)
            x0 = int(u)
            fx = sub(u, float(x0))
            gx = sub(1.0, fx)
            for c in range(ch):
                val = int(mul(px(x0, y0, c), mul(gx, gy)))
                val = int(madd(float(val), px(x0 + 1, y0, c), mul(fx, gy)))
                val = int(madd(float(val), px(x0, y0 + 1, c), mul(gx, fy)))
                val = int(madd(float(val), px(x0 + 1, y0 + 1, c), mul(fx, fy)))
                out.append(val & 0xFF)
    return out


# A 4 x 3 RGB picture resized to 11 x 9: bytes chosen so that a fused
# multiply-add changes six of the 297 results.
RESIZE_SRC = [100, 16, 39, 212, 216, 4, 214, 208, 180, 121, 209, 89, 4, 81, 211, 67, 245, 109,
              159, 99, 128, 54, 19, 54, 155, 137, 162, 88, 231, 147, 32, 190, 38, 162, 181, 76]


# ---- camera ----------------------------------------------------------------
def remap(v, a0, a1, b0, b1):
    if a0 == a1:
        return b0
    t = div(sub(v, a0), sub(a1, a0))
    return madd(b0, sub(b1, b0), t)


def remap_clamped(v, lo, hi, olo, ohi):
    if not v < hi:
        v = hi
    if not v > lo:
        v = lo
    return remap(v, lo, hi, olo, ohi)


def transform(m, v):
    out = []
    for i in range(4):
        acc = 0.0
        for k in range(4):
            acc = madd(acc, m[4 * i + k], v[k])
        out.append(acc)
    return out


def multiply(a, b):
    out = [0.0] * 16
    for i in range(4):
        for j in range(4):
            acc = 0.0
            for k in range(4):
                acc = madd(acc, a[4 * i + k], b[4 * k + j])
            out[4 * i + j] = acc
    return out


def invert(src):
    rows = [[src[r], src[4 + r], src[8 + r], src[12 + r]] + [1.0 if c == r else 0.0 for c in range(4)]
            for r in range(4)]
    r0, r1, r2, r3 = rows
    if abs(r3[0]) > abs(r2[0]): r3, r2 = r2, r3
    if abs(r2[0]) > abs(r1[0]): r2, r1 = r1, r2
    if abs(r1[0]) > abs(r0[0]): r1, r0 = r0, r1
    if r0[0] == 0: return None
    for ri in (r1, r2, r3):
        m = div(ri[0], r0[0])
        for c in (1, 2, 3):
            ri[c] = msub(ri[c], m, r0[c])
        for c in (4, 5, 6, 7):
            if r0[c] != 0: ri[c] = msub(ri[c], m, r0[c])
    if abs(r3[1]) > abs(r2[1]): r3, r2 = r2, r3
    if abs(r2[1]) > abs(r1[1]): r2, r1 = r1, r2
    if r1[1] == 0: return None
    for ri in (r2, r3):
        m = div(ri[1], r1[1])
        for c in (2, 3):
            ri[c] = msub(ri[c], m, r1[c])
        for c in (4, 5, 6, 7):
            if r1[c] != 0: ri[c] = msub(ri[c], m, r1[c])
    if abs(r3[2]) > abs(r2[2]): r3, r2 = r2, r3
    if r2[2] == 0: return None
    m = div(r3[2], r2[2])
    for c in (3, 4, 5, 6, 7):
        r3[c] = msub(r3[c], m, r2[c])
    if r3[3] == 0: return None
    s = div(1.0, r3[3])
    for c in (4, 5, 6, 7): r3[c] = mul(r3[c], s)
    m0, m1, m2 = r0[3], r1[3], r2[3]
    for c in (4, 5, 6, 7): r0[c] = msub(r0[c], r3[c], m0)
    for c in (4, 5, 6, 7): r1[c] = msub(r1[c], r3[c], m1)
    s = div(1.0, r2[2])
    for c in (4, 5, 6, 7): r2[c] = mul(msub(r2[c], r3[c], m2), s)
    m0, m1 = r0[2], r1[2]
    for c in (4, 5, 6, 7): r0[c] = msub(r0[c], r2[c], m0)
    s = div(1.0, r1[1])
    for c in (4, 5, 6, 7): r1[c] = mul(msub(r1[c], r2[c], m1), s)
    m0 = r0[1]
    s = div(1.0, r0[0])
    for c in (4, 5, 6, 7): r0[c] = mul(msub(r0[c], r1[c], m0), s)
    rows = (r0, r1, r2, r3)
    dst = [0.0] * 16
    for c in range(4):
        for r in range(4):
            dst[c * 4 + r] = rows[r][4 + c]
    return dst


# Inputs: a row-major view (eye (1, 2, 5) looking at the origin, y up) and a
# row-major perspective (frustum of 60 degrees horizontal on a 320 x 480
# portrait view, near 0.5, far 50), as singles. Any singles would do: the
# test hands these to the functions as they stand.
MODELVIEW = [0.980580688, 0.0, -0.196116135, 0.0,
             -0.0733235180, 0.927426457, -0.366617620, 0.0,
             0.182574183, 0.365148365, 0.912870884, -5.47722578,
             0.0, 0.0, 0.0, 1.0]
PROJECTION = [1.73205090, 0.0, 0.0, 0.0,
              0.0, 1.15470052, 0.0, 0.0,
              0.0, 0.0, -1.02020204, -1.01010096,
              0.0, 0.0, -1.0, 0.0]
VIEWPORT = (0.0, 320.0, 0.0, 480.0)  # left, right, bottom, top
POINTS = [(0.0, 0.0, 0.0), (0.3, -0.7, 1.1), (-1.25, 0.6, -0.4), (0.05, 1.9, 2.3)]


def project(p):
    e = transform(MODELVIEW, [f32(p[0]), f32(p[1]), f32(p[2]), 1.0])
    c = transform(PROJECTION, e)
    x, y, z = (div(c[i], c[3]) for i in range(3))
    l, r, b, t = VIEWPORT
    return (remap_clamped(x, -1.0, 1.0, l, r), remap_clamped(y, -1.0, 1.0, b, t),
            remap_clamped(z, -1.0, 1.0, 0.0, 1.0))


def unproject(w):
    l, r, b, t = VIEWPORT
    n = [remap_clamped(w[0], l, r, -1.0, 1.0), remap_clamped(w[1], b, t, -1.0, 1.0),
         remap_clamped(w[2], 0.0, 1.0, -1.0, 1.0), 1.0]
    inv = invert(multiply(PROJECTION, MODELVIEW))
    rr = transform(inv, n)
    return tuple(div(rr[i], rr[3]) for i in range(3))


def main():
    global MODELVIEW, PROJECTION
    MODELVIEW = [f32(v) for v in MODELVIEW]
    PROJECTION = [f32(v) for v in PROJECTION]
    out = resize(RESIZE_SRC, 4, 3, 3, 11, 9)
    print("// resize 4x3 RGB -> 11x9, row by row from the bottom")
    for y in range(9):
        print(", ".join(str(v) for v in out[y * 33:(y + 1) * 33]) + ",")
    print("// project: window x, y, z of each point")
    windows = [project(p) for p in POINTS]
    for w in windows:
        print("{" + ", ".join(hexf(v) for v in w) + "},")
    print("// unproject of each projected point: object x, y, z")
    for w in windows:
        print("{" + ", ".join(hexf(v) for v in unproject(w)) + "},")


main()
