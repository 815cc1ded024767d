#!/bin/sh
# Makes the program's icons (tools/install/icons/vostrel-soundboard-N.png,
# committed, so a build needs neither this script nor Python) from the board's
# own look: a four-button board built with tools/board/vostrel-make-board, shown
# under a private Xvfb with one button held down, saved by window_shot; its
# 2 x 2 grid of buttons, corners rounded, scaled to each size with python3-pil.
# Run after `make build`: sh tools/install/make_icons.sh
set -e
cd "$(dirname "$0")/../.."
if [ -z "${INNER:-}" ]; then
  exec env INNER=1 xvfb-run -a -s "-screen 0 640x640x24" sh "$0"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/sounds"
for name in one two three four; do
  sox -n -r 22050 "$tmp/sounds/$name.wav" synth 0.2 sine 440
done
printf 'one.wav\tBa dum\\ntss!\ntwo.wav\tWow!\nthree.wav\tYes!\nfour.wav\toops\n' \
  >"$tmp/sounds/captions.txt"
mkdir "$tmp/board"
build/vostrel-make-board "$tmp/sounds" -o "$tmp/board/vostrel-soundboard" --program build/vostrel-soundboard >/dev/null
# Buttons sort "Ba dum", "Wow!", "Yes!", "oops": hold "Wow!", top right.
sh tools/held_shot.sh "$tmp/board/vostrel-soundboard" 240 160 "$tmp/shot.png"
/usr/bin/python3 - "$tmp/shot.png" tools/install/icons <<'PY'
import sys
from PIL import Image, ImageDraw
shot = Image.open(sys.argv[1]).convert("RGBA")
# Four 160-pixel cells, a 80-pixel band above and below them.
grid = shot.crop((0, 80, 320, 400))
mask = Image.new("L", grid.size, 0)
ImageDraw.Draw(mask).rounded_rectangle((0, 0, 319, 319), radius=40, fill=255)
grid.putalpha(mask)
for size in (32, 48, 64, 128, 256):
    grid.resize((size, size), Image.LANCZOS).save(
        "%s/vostrel-soundboard-%d.png" % (sys.argv[2], size), optimize=True)
PY
echo "wrote tools/install/icons"
