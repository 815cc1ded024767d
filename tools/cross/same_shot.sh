#!/bin/sh
# The board's picture must be the same bytes whatever processor drew it:
# starts the native program (NATIVE_BUILD) and then the cross-built one
# (CROSS_BUILD, through EMULATOR, e.g. "qemu-aarch64 -L /path/to/sysroot") on
# the current display, holds a finger on the same button of each (the
# highlight must show), saves each window with the native build's
# tools/window_shot and compares the PNG files
# byte for byte (the encoder is the same native one, so equal pixels make
# equal files). Exit status 0 when they are equal. DRIVER, when given, is the
# Mesa driver (GALLIUM_DRIVER) both programs draw with.
#   usage: same_shot.sh NATIVE_BUILD CROSS_BUILD EMULATOR [DRIVER]
set -eu
native=$1 cross=$2 emulator=$3
if [ -n "${4:-}" ]; then
  GALLIUM_DRIVER=$4
  export GALLIUM_DRIVER
fi
shot=$native/tools/window_shot
for f in "$shot" "$native/vostrel-soundboard" "$cross/vostrel-soundboard"; do
  [ -x "$f" ] || { echo "same_shot.sh: no $f" >&2; exit 2; }
done
work=$(mktemp -d /tmp/vostrel-same-shot.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

# settle OUT [BEFORE]: saves the window as OUT once two shots a second apart
# agree, hold a picture (a blank window's PNG is a few hundred bytes, the
# board's tens of kilobytes) and differ from BEFORE, so the emulated program's
# slower frames are waited for.
settle() {
  n=0
  "$shot" "Vostrel Soundboard" "$work/last.png" >/dev/null
  while :; do
    sleep 1
    "$shot" "Vostrel Soundboard" "$1" >/dev/null
    if cmp -s "$1" "$work/last.png" && [ "$(wc -c <"$1")" -gt 5000 ] &&
      ! { [ -n "${2:-}" ] && cmp -s "$1" "$2"; }; then
      return 0
    fi
    n=$((n + 1))
    [ $n -lt 120 ] || { echo "same_shot.sh: the window never settled for $1" >&2; exit 1; }
    cp "$1" "$work/last.png"
  done
}

# take NAME COMMAND...: runs the program in its own folder until its window
# shows a settled picture, holds a finger at (200, 200), saves the settled
# window, which must have changed (the highlight), as $work/NAME.png, lets go
# off the grid and ends the program.
take() {
  name=$1
  shift
  mkdir "$work/$name"
  (cd "$work/$name" && SDL_AUDIODRIVER=dummy exec "$@") &
  pid=$!
  i=0
  until xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 600 ] && kill -0 "$pid" 2>/dev/null || { echo "same_shot.sh: $name never started" >&2; exit 1; }
    sleep 0.1
  done
  win=$(xdotool search --name '^Vostrel Soundboard$' | head -1)
  settle "$work/$name-idle.png"
  xdotool mousemove --window "$win" 200 200 mousedown 1
  settle "$work/$name.png" "$work/$name-idle.png"
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
