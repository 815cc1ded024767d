#!/bin/sh
# Makes docs/board.png, the README's picture: starts the built program under a
# private Xvfb, holds a finger on one button (so the highlight shows), and
# saves the window. Run after `make build`: sh tools/screenshot.sh
set -e
cd "$(dirname "$0")/.."
mkdir -p docs
if [ -z "$INNER" ]; then
  exec env INNER=1 xvfb-run -a -s "-screen 0 640x640x24" sh "$0"
fi
sh tools/held_shot.sh "$PWD/build/vostrel-soundboard" 200 200 docs/board.png
echo "wrote docs/board.png"
