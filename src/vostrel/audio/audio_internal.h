// Audio, inside: what only the framework (the shell's start-up, loop and
// shutdown, the audio files themselves) and the tests use.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/audio/audio.h>

#include <stdio.h>

extern uint8_t sound_volume;       // persisted, never applied to playback
extern uint8_t sound_saved_volume; // restored when muting is undone

// Backend over SDL_mixer
void sound_backend_init(void);                                 // clears the channel table, fills load, load_ui, is_playing, play, stop
int sound_mixer_load(const AssetRecord *asset, SoundRecord *rec); // record cleared, chunk from memory; 0 (ERROR logged if not plain PCM RIFF WAVE or decoding failed) on failure
int sound_mixer_is_playing(SoundRecord *rec);                   // lowest channel holding the chunk is playing
int sound_mixer_play(SoundRecord *rec, const float *vec, int loop); // any free channel, once or looping; 0 if none free or not loaded
int sound_mixer_stop(SoundRecord *rec);                         // halts the lowest channel holding the chunk; always 1
int sound_mixer_fade_out(SoundRecord *rec, int milliseconds);   // every channel in the table playing the chunk and not fading starts a fade-out (entries kept); a stop if milliseconds <= 0; always 1
int sound_mixer_set_volume(SoundRecord *rec, int volume);       // chunk volume 0 to SOUND_VOLUME_FULL (clamped) for every later play; 0 if not loaded
Mix_Chunk *sound_channel_chunk(int channel);                    // the chunk this back end last started on that mixer channel (0 to SOUND_CHANNELS - 1), null if none or stopped
void sound_mixer_forget_channels(void); // the channel table emptied: after a reopen the mixer plays nothing

// Manager's life cycle and counters
void sound_init(void);                                       // volume option, backend, interface sounds, 16 pool nodes
void sound_update(float dt);                                 // dt > 0: fires delayed plays whose time ran out
void sound_shutdown(void);                                   // unloads via the slot, frees registry, delayed list and pool
int sound_registry_count(void);                              // registered records (tests)
int sound_pool_count(void);                                  // free delay nodes (tests)
int sound_delayed_count(void);                               // pending delayed plays (tests)

// The mixer's device
int sound_mixer_open(int chunk_frames);                      // Mix_OpenAudio in the mixer's format (SOUND_RATE, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS) with chunks of that many frames, then the device watch; below SOUND_CHUNK_FRAMES the sound server is first asked for SOUND_SERVER_CHUNKS chunks of buffer (PULSE_LATENCY_MSEC; PULSE_PROP's minimum request and quantum of half a chunk; PIPEWIRE_LATENCY of half a chunk; each unless set); 1, or 0 with Mix_GetError saying why

// Outputs: a sound server's sinks where one answers (PulseAudio, or PipeWire's pulse server), else ALSA's playback devices
int sound_print_outputs(FILE *stream);                       // the names one can give, one a line (a tab and the description after it where there is one); how many
int sound_use_output(const char *name);                      // after SDL's audio driver started, before sound_mixer_open: the output the device plays on (PULSE_SINK for a server's sink, and beneath SDL 2 SDL_AUDIO_DEVICE_NAME, the name SDL 2 lists it by: its description, numbered " (N)" for the Nth sink sharing it; AUDIODEV for an ALSA device), 1; 0 and one WARNING naming it and those that exist when there is none of that name, or one WARNING when SDL 2's driver lists no output of that name: the default output plays

// Audio device watch: a device that stops mixing is reopened, loaded sounds kept
void sound_device_watch(int frequency, uint16_t format, int channels, int chunk_size); // after a successful Mix_OpenAudio with this request: count mixed buffers from now on
void sound_device_update(float dt);                          // main loop, every update: 3 s without a mixed buffer (6 s before 8 were mixed since opening) is a loss: WARNING, close, reopen at once, then after 0.25 s and every 0.5 s; INFO when back; sounds decoded again if the format changed
void sound_device_remember(const AssetRecord *asset, Mix_Chunk *chunk); // the loader's record of a chunk's source, for a decode in a new format
int sound_device_lost(void);                                 // 1 while the device is being reopened: the mixer is closed
int sound_device_attempts(void);                             // reopen attempts since the latest loss (tests)
// clang-format on
