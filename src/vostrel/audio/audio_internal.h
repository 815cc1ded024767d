// Audio, inside: what only the framework's own audio files and the tests use.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/audio/audio.h>

void sound_mixer_forget_channels(void); // the channel table emptied: after a reopen the mixer plays nothing
// clang-format on
