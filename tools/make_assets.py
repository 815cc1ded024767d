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
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from assetgen.captions import read_board  # noqa: E402
from assetgen.clips import make_clips  # noqa: E402
from assetgen.font import make_font  # noqa: E402
from assetgen.pictures import make_pictures  # noqa: E402
from assetgen.preview import make_preview  # noqa: E402
from assetgen.sounds import make_sounds  # noqa: E402


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
