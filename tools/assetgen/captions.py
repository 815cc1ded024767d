"""The board's captions: data/board.txt read and held to the caption rules."""

import os
import sys

from assetgen.paths import DATA

BOARD_CLIPS = 20
CAPTION_MAX_LINES = 4
CAPTION_MAX_LINE = 12
CAPTION_MAX_TOTAL = 27
CAPTION_FORBIDDEN = ';"\\@'  # list separator of the build, string quoting, escapes


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


def caption_problem(caption):
    """The caption rule, in one place: why a caption (line breaks as "\\n"
    already turned into real ones) cannot go on a button, or None."""
    lines = caption.split("\n")
    if not 1 <= len(lines) <= CAPTION_MAX_LINES:
        return f"{len(lines)} lines, 1 to {CAPTION_MAX_LINES} allowed"
    if max(len(l) for l in lines) > CAPTION_MAX_LINE or not all(lines):
        return f"every line needs 1 to {CAPTION_MAX_LINE} characters"
    if sum(len(l) for l in lines) > CAPTION_MAX_TOTAL:
        return f"more than {CAPTION_MAX_TOTAL} characters"
    for c in "".join(lines):
        if not " " <= c <= "~" or c in CAPTION_FORBIDDEN:
            return f"character {c!r} not allowed"
    return None


def check_board(board):
    if len(board) != BOARD_CLIPS:
        sys.exit(f"board.txt: {len(board)} lines, expected {BOARD_CLIPS}")
    seen = set()
    for k, (clip, caption) in enumerate(board):
        where = f"board.txt line {k + 1}"
        if clip != f"vostrel_{k:02d}.wav":
            sys.exit(f"{where}: clip {clip}, expected vostrel_{k:02d}.wav")
        problem = caption_problem(caption)
        if problem:
            sys.exit(f"{where}: {problem}")
        if caption in seen:
            sys.exit(f"{where}: caption used twice")
        seen.add(caption)
