#!/bin/sh
# Starts PROGRAM (a soundboard) in a scratch folder on the current display,
# holds a finger at window point X Y so the highlight shows, saves the window
# to OUT with build/tools/window_shot, then lets go and ends the program.
# Called from the repository root by the picture scripts, under their Xvfb.
# Usage: sh tools/held_shot.sh PROGRAM X Y OUT
set -e
program=$1 x=$2 y=$3 out=$4
run=$(mktemp -d)
(cd "$run" && SDL_AUDIODRIVER=dummy "$program") &
pid=$!
for i in $(seq 50); do
  xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1
win=$(xdotool search --name '^Vostrel Soundboard$' | head -1)
xdotool mousemove --window "$win" "$x" "$y" mousedown 1
sleep 0.5
./build/tools/window_shot "Vostrel Soundboard" "$out"
# Let go off the grid, in the top band, so nothing plays.
xdotool mousemove --window "$win" 160 5 mouseup 1
kill "$pid"; wait "$pid" || true
rm -rf "$run"
