#!/usr/bin/python3
"""Asset generator: writes every WAV and PNG file in data/.

The soundboard clips are spoken by espeak-ng from the captions in
data/board.txt (the one place captions live) plus the per-clip settings below,
then shaped with sox. The interface sounds, the button and check pictures and
the bitmap font are drawn with numpy and PIL. Random parts use fixed seeds, so
running it again on the same tools gives the same files.

Every WAV is written by write_wav: PCM, mono, a 16-byte "fmt " chunk and a
"data" chunk, nothing else (file size == data size + 44). Every PNG is 8-bit
RGBA, not interlaced.

Usage:
    /usr/bin/python3 tools/make_assets.py              regenerate all of data/
    /usr/bin/python3 tools/make_assets.py --only font  just some parts
        (parts: clips, sounds, pictures, font)
    /usr/bin/python3 tools/make_assets.py --preview board.png
        also draw the board as the program lays it out (for eyeballing)
"""

import argparse
import os
import struct
import subprocess
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")

CLIP_RATE = 22050
BOARD_CLIPS = 20
CAPTION_MAX_LINES = 4
CAPTION_MAX_LINE = 12
CAPTION_MAX_TOTAL = 27
CAPTION_FORBIDDEN = ';"\\@'  # list separator of the build, string quoting, escapes

# Per clip: what is said after the caption, the voice, a target length in
# seconds (the speaking rate is fitted to it within natural limits, so a
# caption edit keeps its clip near the planned length), pitch (0..99), extra
# sox effects, and an optional tone sting (frequency Hz, seconds) before the
# speech. The caption itself is always spoken first, its line breaks read as
# spaces, unless "say" replaces the caption's wording.
CLIP_SETTINGS = {
    0: dict(say="Ba dum, tss!", voice="en-us+m3", target=1.4, pitch=55),
    1: dict(more="Not today.", voice="en-gb+m7", target=1.3, pitch=35),
    2: dict(more="That did not go as planned. Not even a little bit. "
                 "Let us never speak of it again.",
            voice="en-us+m2", target=5.6, pitch=40),
    3: dict(say="Whoa! Wow!", voice="en-us+f3", target=1.3, pitch=80),
    4: dict(more="there was a tiny robot who wanted to be a soundboard. "
                 "Every day it practised its beeps and its boops, its drum rolls "
                 "and its dramatic pauses, and the other robots laughed at it. "
                 "Then came the night of the big show. The lights went up, the "
                 "crowd went quiet, and the tiny robot pressed its very own "
                 "button. The crowd went wild. The end.",
            voice="en-gb+f2", target=18.6, pitch=50),
    5: dict(say="Dun, dun, dunnnnn!", voice="en-us+m1", target=3.8, pitch=10,
            effects=["pitch", "-400", "reverb", "60"]),
    6: dict(more="Oh, yes!", voice="en-us+f4", target=1.6, pitch=70),
    7: dict(more="My bad. Sorry!", voice="en-gb+f5", target=2.1, pitch=60),
    8: dict(more="Go on, I am all ears. Really. This is absolutely fascinating. "
                 "And then what happened?",
            voice="en-gb-x-rp+m4", target=6.3, pitch=45),
    9: dict(more="I am out. Good night, everybody!", voice="en-us+m6",
            target=4.6, pitch=30, effects=["reverb", "40"]),
    10: dict(more="We have a winner!", voice="en-us+f1", target=1.9, pitch=75),
    11: dict(more="Come again?", voice="en-gb-scotland", target=1.5, pitch=60),
    12: dict(more="Nobody saw that coming. Nobody.", voice="en-us+m5",
             target=4.4, pitch=25),
    13: dict(more="the hamsters were running the experiments themselves. "
                  "The results were inconclusive, but delicious.",
             voice="en-gb+m3", target=8.7, pitch=50),
    14: dict(say="O K. Cool.", voice="en-us+m7", target=1.25, pitch=40),
    15: dict(more="Ahem. So. Nice weather we are having, is it not?",
             voice="en-us+f2", target=4.3, pitch=55),
    16: dict(more="Local cat knocks a glass off the table and shows no remorse. "
                  "More at eleven.",
             voice="en-us+m3", target=7.0, pitch=40,
             sting=[(587.33, 0.12), (587.33, 0.12), (880.0, 0.35)]),
    17: dict(more="To us, and to loud buttons!", voice="en-gb+f3", target=2.5, pitch=65),
    18: dict(more='<break time="1200ms"/> And then <break time="900ms"/> '
                  'nothing happened.',
             voice="en-gb+m2", target=4.3, pitch=35, ssml=True),
    19: dict(more="Tap, tap.", voice="en-us+m4", target=2.5, pitch=50),
}

# ---------------------------------------------------------------------------
# WAV files


def write_wav(path, samples, rate, bits):
    """Writes samples (floats in -1..1) as a 44-byte-header PCM mono WAV.

    A RIFF chunk of odd length must be followed by a pad byte, which readers
    skip and the header shape (data plus 44 bytes) has no room for; so an odd
    count of 8-bit samples gets one more sample of silence instead, keeping
    the data chunk even and the file exactly its two chunks."""
    x = np.clip(np.asarray(samples, dtype=np.float64), -1.0, 1.0)
    if bits == 8 and len(x) % 2:
        x = np.append(x, 0.0)
    if bits == 16:
        data = np.round(x * 32767.0).astype("<i2").tobytes()
    elif bits == 8:
        data = (np.round(x * 127.0) + 128).astype(np.uint8).tobytes()
    else:
        raise ValueError("bits must be 8 or 16")
    block = bits // 8
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * block, block, bits)
    header += b"data" + struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(header + data)


def finish(x, rate, peak=0.9, lead=0.02, tail=0.12, fade=0.005):
    """Trims silence at both ends (keeping a short lead-in and tail),
    normalises to peak and fades the ends so a restart does not click."""
    x = np.asarray(x, dtype=np.float64)
    loud = np.nonzero(np.abs(x) > 0.01 * np.max(np.abs(x)))[0]
    start = max(0, loud[0] - int(lead * rate))
    end = min(len(x), loud[-1] + int(tail * rate))
    x = x[start:end]
    x = x * (peak / np.max(np.abs(x)))
    n = int(fade * rate)
    ramp = np.linspace(0.0, 1.0, n)
    x[:n] *= ramp
    x[-n:] *= ramp[::-1]
    return x


def sox_float(wav_bytes, rate, effects=()):
    """Runs sox on WAV bytes; returns mono float samples at rate."""
    cmd = ["sox", "-R", "-t", "wav", "-", "-t", "raw", "-e", "floating-point",
           "-b", "32", "-L", "-c", "1", "-r", str(rate), "-"] + list(effects)
    out = subprocess.run(cmd, input=wav_bytes, stdout=subprocess.PIPE, check=True).stdout
    return np.frombuffer(out, dtype="<f4").astype(np.float64)


def espeak(text, voice, speed, pitch, ssml=False):
    cmd = ["espeak-ng", "--stdout", "-v", voice, "-s", str(int(speed)),
           "-p", str(int(pitch))] + (["-m"] if ssml else []) + [text]
    return subprocess.run(cmd, stdout=subprocess.PIPE, check=True).stdout


def speak(text, voice, speed, pitch, rate, ssml=False, effects=()):
    return finish(sox_float(espeak(text, voice, speed, pitch, ssml), rate, effects), rate)


def tones(steps, rate):
    """A short brass-like sting: each (frequency, seconds) a decaying tone."""
    parts = []
    for freq, secs in steps:
        t = np.arange(int(secs * rate)) / rate
        env = np.minimum(1.0, t / 0.01) * np.exp(-t * 3.0)
        wave = sum(np.sin(2 * np.pi * freq * k * t) / k for k in (1, 2, 3, 4))
        parts.append(0.5 * env * wave)
    return np.concatenate(parts)


# ---------------------------------------------------------------------------
# Captions


def read_board():
    """Reads data/board.txt: [(clip file, caption with real line breaks)]."""
    board = []
    with open(os.path.join(DATA, "board.txt"), encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line:
                continue
            clip, sep, caption = line.partition("\t")
            if not sep:
                sys.exit(f"board.txt:{number}: expected '<clip>\\t<caption>'")
            board.append((clip, caption.replace("\\n", "\n")))
    check_board(board)
    return board


def check_board(board):
    if len(board) != BOARD_CLIPS:
        sys.exit(f"board.txt: {len(board)} lines, expected {BOARD_CLIPS}")
    seen = set()
    for k, (clip, caption) in enumerate(board):
        where = f"board.txt line {k + 1}"
        if clip != f"vostrel_{k:02d}.wav":
            sys.exit(f"{where}: clip {clip}, expected vostrel_{k:02d}.wav")
        lines = caption.split("\n")
        if not 1 <= len(lines) <= CAPTION_MAX_LINES:
            sys.exit(f"{where}: {len(lines)} lines, 1 to {CAPTION_MAX_LINES} allowed")
        if max(len(l) for l in lines) > CAPTION_MAX_LINE or not all(lines):
            sys.exit(f"{where}: every line needs 1 to {CAPTION_MAX_LINE} characters")
        if sum(len(l) for l in lines) > CAPTION_MAX_TOTAL:
            sys.exit(f"{where}: more than {CAPTION_MAX_TOTAL} characters")
        for c in "".join(lines):
            if not " " <= c <= "~" or c in CAPTION_FORBIDDEN:
                sys.exit(f"{where}: character {c!r} not allowed")
        if caption in seen:
            sys.exit(f"{where}: caption used twice")
        seen.add(caption)


# ---------------------------------------------------------------------------
# Soundboard clips


def make_clip(k, caption):
    s = CLIP_SETTINGS.get(k, {})
    text = s.get("say", caption.replace("\n", " "))
    if s.get("more"):
        # Read the caption as a sentence of its own before the rest.
        text += ("" if text[-1] in ".,!?" else ".") + " " + s["more"]
    voice = s.get("voice", "en-us")
    pitch = s.get("pitch", 50)
    ssml = s.get("ssml", False)
    effects = s.get("effects", [])
    speed = 160
    target = s.get("target")
    if target:
        natural = len(speak(text, voice, speed, pitch, CLIP_RATE, ssml, effects)) / CLIP_RATE
        speed = min(230, max(100, speed * natural / target))
    x = speak(text, voice, speed, pitch, CLIP_RATE, ssml, effects)
    if s.get("sting"):
        x = np.concatenate([tones(s["sting"], CLIP_RATE), np.zeros(CLIP_RATE // 10), x])
        x = finish(x, CLIP_RATE)
    return x


def make_clips():
    total = 0
    for k, (clip, caption) in enumerate(read_board()):
        x = make_clip(k, caption)
        write_wav(os.path.join(DATA, clip), x, CLIP_RATE, 16)
        total += 44 + 2 * len(x)
        print(f"{clip}: {len(x) / CLIP_RATE:5.2f} s  {caption!r}")
    print(f"clips: {total} bytes")


# ---------------------------------------------------------------------------
# Interface sounds


def biquad(x, b, a):
    """Direct-form I filter with normalised a[0] == 1."""
    y = np.zeros_like(x)
    x1 = x2 = y1 = y2 = 0.0
    b0, b1, b2 = b
    _, a1, a2 = a
    for i, v in enumerate(x):
        out = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, v, y1, out
        y[i] = out
    return y


def bandpass(x, rate, centre, q):
    w = 2 * np.pi * centre / rate
    alpha = np.sin(w) / (2 * q)
    a0 = 1 + alpha
    b = (alpha / a0, 0.0, -alpha / a0)
    a = (1.0, -2 * np.cos(w) / a0, (1 - alpha) / a0)
    return biquad(x, b, a)


def claps(rng, rate, secs, per_second, rise, fall):
    """A crowd clapping: short noise bursts at random times whose density
    rises over `rise` seconds and dies away over the last `fall` seconds."""
    n = int(secs * rate)
    out = np.zeros(n)
    count = int(per_second * secs)
    times = rng.uniform(0, secs, count)
    density = np.minimum(1.0, times / rise) * np.minimum(1.0, (secs - times) / fall)
    times = times[rng.uniform(0, 1, count) < density]
    burst = int(0.03 * rate)
    t = np.arange(burst) / rate
    for start in times:
        i = int(start * rate)
        m = min(burst, n - i)
        tau = rng.uniform(0.004, 0.009)
        out[i:i + m] += rng.uniform(0.3, 1.0) * rng.normal(0, 1, m) * np.exp(-t[:m] / tau)
    return bandpass(out, rate, 1400.0, 0.7) + 0.3 * out


def voices(rng, rate, secs, count, f0_range, glide, formants, start_spread, vibrato=0.02):
    """A crowd of voices on one vowel: band-limited sawtooth sources, each with
    its own pitch, onset and vibrato, shaped by the vowel's formants."""
    n = int(secs * rate)
    t = np.arange(n) / rate
    src = np.zeros(n)
    for _ in range(count):
        f0 = rng.uniform(*f0_range)
        onset = rng.uniform(0, start_spread)
        length = rng.uniform(0.75, 1.0) * (secs - onset)
        u = np.clip((t - onset) / length, 0, 1)
        freq = f0 * (1 + glide * u) * (1 + vibrato * np.sin(2 * np.pi * rng.uniform(4, 6) * t))
        phase = 2 * np.pi * np.cumsum(freq) / rate
        saw = np.zeros(n)
        for k in range(1, int(rate / 2 / (f0 * (1 + max(glide, 0)) * 1.05))):
            saw += np.sin(k * phase) / k
        env = np.clip((t - onset) / 0.06, 0, 1) * np.clip((onset + length - t) / 0.4, 0, 1)
        env[t < onset] = 0
        src += rng.uniform(0.5, 1.0) * env * saw
    return sum(gain * bandpass(src, rate, f, q) for f, q, gain in formants)


def normalised(x, peak=0.9):
    return x * (peak / np.max(np.abs(x)))


def faded(x, rate, fade_in=0.005, fade_out=0.3):
    x = x.copy()
    a, b = int(fade_in * rate), int(fade_out * rate)
    x[:a] *= np.linspace(0, 1, a)
    x[-b:] *= np.linspace(1, 0, b)
    return x


OO_FORMANTS = [(300.0, 5.0, 1.0), (870.0, 8.0, 0.5), (2240.0, 12.0, 0.15)]


def make_sounds():
    rng = np.random.default_rng(20240601)
    rate = 11025

    secs = 2.87
    x = claps(rng, rate, secs, 420, 0.15, 1.2)
    write_wav(os.path.join(DATA, "applause.wav"), faded(normalised(x), rate), rate, 8)

    secs = 4.34
    x = voices(rng, rate, secs, 14, (95, 210), -0.12, OO_FORMANTS, 0.5)
    x += 0.02 * bandpass(rng.normal(0, 1, len(x)), rate, 500, 0.5)
    write_wav(os.path.join(DATA, "boo.wav"), faded(normalised(x), rate), rate, 8)

    secs = 4.65
    crowd = claps(rng, rate, secs, 380, 0.3, 1.5)
    whoops = voices(rng, rate, secs, 8, (230, 420), 0.6, OO_FORMANTS, 1.5, 0.03)
    murmur = bandpass(rng.normal(0, 1, len(crowd)), rate, 900, 0.4)
    murmur *= 0.5 + 0.5 * np.sin(2 * np.pi * 0.7 * np.arange(len(crowd)) / rate) ** 2
    shouts = np.zeros(len(crowd))
    for text, voice, pitch, at in (("Yaaay!", "en-us+f3", 85, 0.2),
                                   ("Woo hoo!", "en-us+m3", 60, 1.1),
                                   ("Bravo!", "en-gb+m4", 45, 2.2),
                                   ("Yeah!", "en-us+f4", 80, 3.0)):
        v = speak(text, voice, 170, pitch, rate)
        i = int(at * rate)
        m = min(len(v), len(shouts) - i)
        shouts[i:i + m] += v[:m]
    x = normalised(crowd) + 0.45 * normalised(whoops) + 0.25 * normalised(murmur) + 0.6 * shouts
    write_wav(os.path.join(DATA, "cheering.wav"), faded(normalised(x), rate), rate, 8)

    rate = 44100
    n = int(0.0135 * rate)
    t = np.arange(n) / rate
    x = rng.normal(0, 1, n) * np.exp(-t / 0.0008) + np.sin(2 * np.pi * 3200 * t) * np.exp(-t / 0.003)
    write_wav(os.path.join(DATA, "click.wav"), faded(normalised(x), rate, 0.0002, 0.002), rate, 16)

    n = int(0.078 * rate)
    t = np.arange(n) / rate
    freq = 480 * np.exp(t * 14)
    env = np.minimum(1, t / 0.004) * np.exp(-t / 0.03)
    x = np.sin(2 * np.pi * np.cumsum(freq) / rate) * env
    write_wav(os.path.join(DATA, "bubble.wav"), faded(normalised(x), rate, 0.001, 0.01), rate, 8)


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--only", action="append",
                        choices=["clips", "sounds", "pictures", "font"])
    parser.add_argument("--preview", metavar="PNG")
    args = parser.parse_args()
    parts = args.only or ["clips", "sounds", "pictures", "font"]
    read_board()
    if "pictures" in parts:
        make_pictures()
    if "font" in parts:
        make_font()
    if "sounds" in parts:
        make_sounds()
    if "clips" in parts:
        make_clips()
    if args.preview:
        make_preview(args.preview)


if __name__ == "__main__":
    main()
