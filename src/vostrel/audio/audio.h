// Audio: the pluggable playback backend (a table of ten slots; the SDL_mixer
// backend fills five) and the sound manager that every caller uses.
//
// The manager forwards to the backend; an empty slot means nothing to do and
// reports success. It keeps a registry of loaded sounds, the five interface
// sounds, delayed plays from a 16-node pool, and the persisted "volume".
// Main thread only.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/assets/assets.h>

struct Mix_Chunk;

// One loaded sound, owned by the caller; identified by its chunk handle.
struct SoundRecord {
    unsigned char opaque[72]; // cleared by the loader; unused by the SDL_mixer backend
    Mix_Chunk *chunk;         // null when not loaded or loading failed
};

// The backend table; every slot starts empty (null).
struct SoundBackend {
    void (*unload)(SoundRecord *rec);                                   // release a loaded sound
    int (*load)(const AssetRecord *asset, SoundRecord *rec);            // non-zero on success
    int (*load_ui)(const AssetRecord *asset, SoundRecord *rec);         // same, for interface sounds
    void (*init)(void);                                                 // once, after the table is filled
    int (*is_playing)(SoundRecord *rec);                                // 1 playing, 0 not
    int (*reserved1)(void *arg);                                        // unused
    int (*play)(SoundRecord *rec, const float *vec, int loop);          // 1 started, 0 not
    int (*reserved2)(void *arg);                                        // unused
    int (*stop)(SoundRecord *rec);                                      // always 1
    void (*shutdown)(void);                                             // last call
};

extern SoundBackend sound_backend; // filled by sound_backend_init; tests may replace slots

constexpr int SOUND_CHANNELS = 16;  // channel table entries
constexpr int SOUND_POOL_SIZE = 16; // delay nodes allocated at start-up

// Backend over SDL_mixer
void sound_backend_init(void);                                 // clears the channel table, fills load, load_ui, is_playing, play, stop
int sound_mixer_load(const AssetRecord *asset, SoundRecord *rec); // record cleared, chunk from memory; 0 (ERROR logged if not plain PCM RIFF WAVE or decoding failed) on failure
int sound_mixer_is_playing(SoundRecord *rec);                   // lowest channel holding the chunk is playing
int sound_mixer_play(SoundRecord *rec, const float *vec, int loop); // any free channel, once or looping; 0 if none free or not loaded
int sound_mixer_stop(SoundRecord *rec);                         // halts the lowest channel holding the chunk; always 1
Mix_Chunk *sound_channel_chunk(int channel);                    // channel table entry (tests)

// Interface sounds, loaded by sound_init
extern SoundRecord sound_applause, sound_boo, sound_cheering, sound_click, sound_bubble;
extern uint8_t sound_volume;       // persisted, never applied to playback
extern uint8_t sound_saved_volume; // restored when muting is undone

// Manager
void sound_init(void);                                       // volume option, backend, interface sounds, 16 pool nodes
int sound_load(const AssetRecord *asset, SoundRecord *rec);  // load slot; registers on success; 1 and nothing registered if empty
int sound_load_ui(const AssetRecord *asset, SoundRecord *rec); // same over load_ui
int sound_is_playing(SoundRecord *rec);                      // is_playing slot; 1 if empty
int sound_play(SoundRecord *rec, int loop);                  // sound_play_at with vec3_zero
int sound_play_at(SoundRecord *rec, const float *vec, int loop); // play slot; 1 if empty
int sound_stop(SoundRecord *rec);                            // stop slot; 1 if empty
int sound_reserved1(void *arg);                              // reserved1 slot; 1 if empty
int sound_reserved2(void *arg);                              // reserved2 slot; 1 if empty
void sound_play_delayed(SoundRecord *rec, float delay);      // node from the pool to the front of the delayed list
void sound_update(float dt);                                 // dt > 0: fires delayed plays whose time ran out
void sound_toggle_mute(void);                                // volume <-> 0, persisted and saved
void sound_shutdown(void);                                   // unloads via the slot, frees registry, delayed list and pool
int sound_registry_count(void);                              // registered records (tests)
int sound_pool_count(void);                                  // free delay nodes (tests)
int sound_delayed_count(void);                               // pending delayed plays (tests)

// Board options (appended): per-sound volume, the WAV gate on its own
constexpr int SOUND_VOLUME_FULL = 128;                          // the mixer's full chunk volume
const char *sound_wav_problem(const AssetRecord *asset);        // null if the loader would hand the bytes to the mixer, else why not
int sound_mixer_set_volume(SoundRecord *rec, int volume);       // chunk volume 0 to SOUND_VOLUME_FULL (clamped) for every later play; 0 if not loaded

// Audio device watch: a device that stops mixing is reopened, loaded sounds kept
void sound_device_watch(int frequency, uint16_t format, int channels, int chunk_size); // after a successful Mix_OpenAudio with this request: count mixed buffers from now on
void sound_device_update(float dt);                          // main loop, every update: 3 s without a mixed buffer (6 s before 8 were mixed since opening) is a loss: WARNING, close, reopen at once, then after 0.25 s and every 0.5 s; INFO when back; sounds decoded again if the format changed
void sound_device_remember(const AssetRecord *asset, Mix_Chunk *chunk); // the loader's record of a chunk's source, for a decode in a new format
int sound_device_lost(void);                                 // 1 while the device is being reopened (tests)
int sound_device_attempts(void);                             // reopen attempts since the latest loss (tests)
// clang-format on
