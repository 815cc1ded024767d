"""The soundboard clips: each caption spoken by espeak-ng and shaped with sox."""

import os

import numpy as np

from assetgen.captions import read_board
from assetgen.paths import DATA
from assetgen.wav import finish, speak, tones, write_wav

CLIP_RATE = 22050

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
