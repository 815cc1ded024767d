// Test support, sound: the board's clips as the program's mixer holds them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Every board clip, by clip index, as the program's mixer holds it: 44100 Hz
// stereo 16-bit samples (empty if a clip fails to load). Starts SDL audio, on
// the dummy driver unless SDL_AUDIODRIVER names another, and ends with
// SDL_Quit: call it while SDL is not otherwise in use.
std::vector<std::vector<int16_t>> board_clip_samples();

// A PCM RIFF WAVE file's bytes: a 16-byte "fmt " chunk (format 1, channels,
// rate, byte rate, block align, bits), then a "data" chunk holding `data` as
// given (little-endian samples) under the declared length data_length (data's
// own size when negative). before_fmt and before_data are whole chunks put
// where their names say; the RIFF length counts every byte after it.
std::string wav_bytes(int channels, uint32_t rate, int bits, const std::string &data,
                      const std::string &before_fmt = "", const std::string &before_data = "",
                      long data_length = -1);

// Sample index of the clip's first audible frame (a frame with a non-zero
// sample), so leading silence, which cannot be told apart in the output, is
// not matched; clip.size() if it is silent throughout. Stereo samples.
size_t first_audible(const std::vector<int16_t> &clip);
// Frame in `out` (stereo samples) where the clip's first audible 64 frames
// appear exactly, searching `span` frames from frame `from`; -1 if nowhere.
long find_clip(const std::vector<int16_t> &out, const std::vector<int16_t> &clip, size_t from,
               size_t span = SIZE_MAX);
