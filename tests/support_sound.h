// Test support, sound: the board's clips as the program's mixer holds them.
#pragma once

#include <stdint.h>
#include <vector>

// Every board clip, by clip index, as the program's mixer holds it: 44100 Hz
// stereo 16-bit samples (empty if a clip fails to load). Starts SDL audio, on
// the dummy driver unless SDL_AUDIODRIVER names another, and ends with
// SDL_Quit: call it while SDL is not otherwise in use.
std::vector<std::vector<int16_t>> board_clip_samples();
