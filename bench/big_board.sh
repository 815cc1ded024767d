#!/bin/sh
# Big boards at start-up, side by side in one run with the default board:
# seconds from exec to the first page shown (the window's first picture that
# is not black) and the process's anonymous (private) memory two seconds
# later, from /proc/PID/smaps_rollup. Boards: 200 stereo sounds of 10 s (ten
# pages) and 20 mono sounds of 2.5 minutes, made by this build's maker.
# Run after `make build`, from the repository root: sh bench/big_board.sh
set -e
cd "$(dirname "$0")/.."
if [ -z "${INNER:-}" ]; then
  exec env INNER=1 xvfb-run -a -s "-screen 0 640x640x24" sh "$0"
fi
build=$(cd "${BUILD:-build}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/b200" "$tmp/b20"
i=1
while [ $i -le 200 ]; do
  sox -n -r 44100 -c 2 -b 16 "$tmp/b200/s$i.wav" synth 10 sine $((200 + i)) vol 0.3
  [ $i -le 20 ] && sox -n -r 44100 -c 1 -b 16 "$tmp/b20/l$i.wav" synth 150 sine $((300 + 7 * i)) vol 0.3
  i=$((i + 1))
done
for b in b200 b20; do
  "$build/vostrel-make-board" "$tmp/$b" -o "$tmp/$b-board" --program "$build/vostrel-soundboard" \
    --keep-levels --keep-silence >/dev/null
done
measure() {
  run=$(mktemp -d)
  t0=$(date +%s.%N)
  (cd "$run" && SDL_AUDIODRIVER=dummy exec "$1") &
  pid=$!
  n=0
  while [ $n -lt 1500 ]; do
    if xdotool search --name '^Vostrel Soundboard$' >/dev/null 2>&1 &&
      "$build/tools/window_shot" "Vostrel Soundboard" "$run/shot.png" 2>/dev/null &&
      [ "$(stat -c %s "$run/shot.png")" -gt 3000 ]; then
      break
    fi
    n=$((n + 1))
    sleep 0.02
  done
  t1=$(date +%s.%N)
  sleep 2
  anon=$(awk '/^Anonymous:/ {print $2}' /proc/$pid/smaps_rollup)
  kill $pid
  wait $pid 2>/dev/null || true
  printf '%-28s first page %.2f s   anonymous %6d kB\n' "$2" "$(echo "$t1 - $t0" | bc)" "$anon"
  rm -rf "$run"
}
measure "$build/vostrel-soundboard" "default board"
measure "$tmp/b200-board" "200 x 10 s (stereo)"
measure "$tmp/b20-board" "20 x 2.5 min (mono)"
