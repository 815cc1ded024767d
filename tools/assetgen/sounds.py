"""The interface sounds, synthesised with numpy."""

import os

import numpy as np

from assetgen.paths import DATA
from assetgen.wav import speak, write_wav

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
