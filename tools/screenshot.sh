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
tmp=$(mktemp -d)
(cd "$tmp" && SDL_AUDIODRIVER=dummy "$OLDPWD/build/vostrel-soundboard") &
pid=$!
for i in $(seq 50); do
  xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1
win=$(xdotool search --name '^Vostrel Soundboard$' | head -1)
xdotool mousemove --window "$win" 200 200 mousedown 1
sleep 0.5
./build/tools/window_shot "Vostrel Soundboard" docs/board.png
xdotool mousemove --window "$win" 160 20 mouseup 1
kill "$pid"; wait "$pid" || true
rm -rf "$tmp"
echo "wrote docs/board.png"
