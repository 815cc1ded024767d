#!/bin/sh
# Prints the benchmark table (figures, not pass/fail). Needs an X display;
# `make bench` provides Xvfb when there is none. bench_kernels is built only
# where liblqr and pixman are installed.
set -e
cd "$(dirname "$0")/../build/bench"
SDL_AUDIODRIVER=dummy ./bench_driver
SDL_AUDIODRIVER=dummy ./bench_frames
# Idle CPU beside the bare loop, frames presented with --power-save, release
# -> play call before and after the picture cache, press -> highlight shown.
SDL_AUDIODRIVER=dummy ./bench_idle
if [ -x ./bench_kernels ]; then
  ./bench_kernels
else
  echo "(image kernels beside liblqr and pixman: not built, the libraries are missing)"
fi
# Remote control: press -> play call over HTTP and OSC, and a bounded flood.
SDL_AUDIODRIVER=dummy ./bench_remote
# Tap -> first audible sample on private PulseAudio and PipeWire servers,
# both modes, both SDL 1.2s, and the loop's dropouts under stress-ng.
./bench_latency
# Options file: read rate and the start-up with a 10 MB file.
SDL_AUDIODRIVER=dummy ./bench_options_read
# The board maker: 20 sounds of 5 s each through vostrel-make-board.
sh ../../bench/make_board.sh ../vostrel-soundboard
