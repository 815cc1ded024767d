// Test support, the shell driven turn by turn inside the test process: a
// clock set by hand, interface sounds recorded instead of played, the open
// log, and touches.
#pragma once

#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>

#include <string>
#include <vector>

// The whole open log file as written so far ("" when none is open).
std::string log_contents();

// The interface sounds played, in play order: "click", "bubble" or "other",
// recorded by the back end sound_recording_begin swaps in.
extern std::vector<std::string> sounds_played;
// Swaps in a sound back end whose only slot, play, records into sounds_played
// instead of playing; the back end it replaced, for sound_recording_end.
SoundBackend sound_recording_begin();
// Puts back the back end sound_recording_begin replaced.
void sound_recording_end(const SoundBackend &saved);

// A clock the test sets by hand: fake_clock returns fake_now.
extern float fake_now;
float fake_clock(void);
// Before a test drives the shell turn by turn: logs from LOG_INFO, starts SDL
// video and audio and opens the mixer (44100 Hz stereo), and gives the shell
// fake_clock and `sleeper`. false if SDL or the mixer did not start.
bool shell_test_begin(void (*sleeper)(int milliseconds));
// After: the shell's own clock and sleep back, the shell shut down (without a
// quit request), the mixer closed and SDL ended.
void shell_test_end();

// A one-point touch at (x, y), no displacement.
TouchEvent touch_at(float x, float y);

// The shell as `vostrel-soundboard --power-save` opens it, in this process:
// SDL video and audio, the mixer, the command line, the 320 x 480 window,
// the update clock at now. false if a step failed.
bool shell_open_power_saving();

// Frames the loop's own turns present over `seconds` of real time (the
// shell's real clock and sleep in place).
int frames_presented_in(double seconds);
