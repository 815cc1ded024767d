#!/bin/sh
# Makes docs/custom_board.png, the README's picture of a board of one's own:
# a small folder of sounds in several formats (made here with sox) built with
# vostrel-make-board, shown under a private Xvfb with one button held down.
# Run after `make build`: sh tools/board/screenshot.sh
set -e
cd "$(dirname "$0")/../.."
if [ -z "${INNER:-}" ]; then
  exec env INNER=1 xvfb-run -a -s "-screen 0 640x640x24" sh "$0"
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
s=$tmp/my-sounds
mkdir "$s"
sox -n -r 44100 -c 2 "$s/air_horn.wav" synth 0.8 square 233 pad 0.5 0
sox -n -r 48000 "$s/drum-roll.flac" synth 1.2 pinknoise tremolo 18 90
sox -n -r 22050 "$s/sad_trombone.ogg" synth 1.5 sine 300-200
sox -n -r 16000 -b 8 "$s/ta-da.wav" synth 0.6 sine 523 sine 659
sox -n -r 44100 "$s/laugh.wav" synth 0.9 sine 700 tremolo 8 100
printf 'laugh.wav\tLaugh\\ntrack\n' >"$s/captions.txt"
mkdir "$tmp/board"
build/vostrel-make-board "$s" -o "$tmp/board/vostrel-soundboard" --program build/vostrel-soundboard >/dev/null
mkdir -p docs
sh tools/held_shot.sh "$tmp/board/vostrel-soundboard" 240 240 docs/custom_board.png
echo "wrote docs/custom_board.png"
