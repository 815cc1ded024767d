#!/bin/sh
# The board's picture must be the same bytes whatever processor drew it:
# starts the native program (NATIVE_BUILD) and then the cross-built one
# (CROSS_BUILD, through EMULATOR, e.g. "qemu-aarch64 -L /path/to/sysroot") on
# the current display, holds a finger on the same button of each, saves each
# window with the native build's tools/window_shot and compares the PNG files
# byte for byte (the encoder is the same native one, so equal pixels make
# equal files). Exit status 0 when they are equal.
#   usage: same_shot.sh NATIVE_BUILD CROSS_BUILD EMULATOR
set -eu
native=$1 cross=$2 emulator=$3
shot=$native/tools/window_shot
for f in "$shot" "$native/vostrel-soundboard" "$cross/vostrel-soundboard"; do
  [ -x "$f" ] || { echo "same_shot.sh: no $f" >&2; exit 2; }
done
work=$(mktemp -d /tmp/vostrel-same-shot.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

# take NAME COMMAND...: runs the program in its own folder until its log says
# it has started and its window shows, presses at (200, 200), saves the window
# as $work/NAME.png, lets go off the grid and ends the program.
take() {
  name=$1
  shift
  mkdir "$work/$name"
  (cd "$work/$name" && SDL_AUDIODRIVER=dummy exec "$@" --log-level 3) &
  pid=$!
  i=0
  until grep -q "Initialization Complete" "$work/$name/vostrel soundboard_log.txt" 2>/dev/null &&
    xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 600 ] && kill -0 "$pid" 2>/dev/null || { echo "same_shot.sh: $name never started" >&2; exit 1; }
    sleep 0.1
  done
  win=$(xdotool search --name '^Vostrel Soundboard$' | head -1)
  sleep 2
  xdotool mousemove --window "$win" 200 200 mousedown 1
  sleep 3
  "$shot" "Vostrel Soundboard" "$work/$name.png"
  xdotool mousemove --window "$win" 160 5 mouseup 1
  kill "$pid"
  wait "$pid" || true
  pid=""
  # The window is gone before the next program maps its own.
  i=0
  while xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1 && [ $i -lt 100 ]; do
    i=$((i + 1))
    sleep 0.1
  done
}

take native "$native/vostrel-soundboard"
# shellcheck disable=SC2086 # the emulator command is words
take cross $emulator "$cross/vostrel-soundboard"
if cmp -s "$work/native.png" "$work/cross.png"; then
  echo "same_shot.sh: the cross-built board's picture equals the native one ($(wc -c <"$work/native.png") bytes)"
else
  cp "$work/native.png" "$cross/same_shot-native.png"
  cp "$work/cross.png" "$cross/same_shot-cross.png"
  echo "same_shot.sh: the pictures differ: $cross/same_shot-native.png, $cross/same_shot-cross.png" >&2
  exit 1
fi
