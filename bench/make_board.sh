#!/bin/sh
# The board maker's time for 20 sounds of 5 s each (44100 Hz stereo WAV,
# made here with sox and not timed), appended to PROGRAM: the median of five
# runs, printed as one row of the benchmark table. Target: under 2 s.
# The maker is the one built beside PROGRAM.
#
#   sh bench/make_board.sh PROGRAM
set -e
PROGRAM=$1
MAKER=$(dirname "$PROGRAM")/vostrel-make-board
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/sounds"
k=0
while [ "$k" -lt 20 ]; do
  sox -n -r 44100 -c 2 -b 16 "$tmp/sounds/tone $k.wav" synth 5 sine $((300 + 40 * k)) vol 0.5
  k=$((k + 1))
done
runs=""
for i in 1 2 3 4 5; do
  start=$(date +%s%N)
  "$MAKER" "$tmp/sounds" -o "$tmp/board" --program "$PROGRAM" >/dev/null
  end=$(date +%s%N)
  runs="$runs $(((end - start) / 1000000))"
done
median=$(printf '%s\n' $runs | sort -n | sed -n 3p)
size=$(($(wc -c <"$tmp/board") / 1000000))
# Processor time of the five runs (the sox conversions before them included,
# a small part): on a busy machine the wall time is mostly waiting.
times >"$tmp/times"
cpu=$(awk 'NR == 2 { split($1, u, "m"); split($2, s, "m"); printf "%.0f", (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000 / 5 }' "$tmp/times")
echo "| board maker, 20 sounds of 5 s (44.1 kHz stereo WAV) to a ${size} MB board, median of 5 | $median ms | runs:$runs ms; processor time about $cpu ms a run | under 2 s |"
