"""WAV files: the one writer every sound goes through, and the sox and
espeak-ng helpers the clips and sounds share."""

import struct
import subprocess

import numpy as np

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
