#!/bin/sh
# Prints the benchmark table (figures, not pass/fail). Needs an X display;
# `make bench` provides Xvfb when there is none.
set -e
cd "$(dirname "$0")/../build/bench"
SDL_AUDIODRIVER=dummy ./bench_driver
SDL_AUDIODRIVER=dummy ./bench_frames
# Options file: read rate and the start-up with a 10 MB file.
SDL_AUDIODRIVER=dummy ./bench_options_read
