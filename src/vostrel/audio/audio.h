// Audio: the pluggable playback backend (a table of ten slots; the SDL_mixer
// backend fills five) and the sound manager that every caller uses.
//
// The manager forwards to the backend; an empty slot means nothing to do and
// reports success. It keeps a registry of loaded sounds, the five interface
// sounds, delayed plays from a 16-node pool, and the persisted "volume".
// Main thread only. The SDL_mixer back end's own functions, the manager's
// life cycle and the device watch are in audio_internal.h.
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
// fade_out: every play of the record that is not already fading fades to
// silence over that many milliseconds and then ends; a fading play still
// counts as playing until it ends. set_volume: the record's volume, 0 to
// SOUND_VOLUME_FULL, for its plays from now on.
struct SoundBackend {
    void (*unload)(SoundRecord *rec);                                   // release a loaded sound
    int (*load)(const AssetRecord *asset, SoundRecord *rec);            // non-zero on success
    int (*load_ui)(const AssetRecord *asset, SoundRecord *rec);         // same, for interface sounds
    void (*init)(void);                                                 // once, after the table is filled
    int (*is_playing)(SoundRecord *rec);                                // 1 playing, 0 not
    int (*fade_out)(SoundRecord *rec, int milliseconds);                // 1; plays already fading keep their pace
    int (*play)(SoundRecord *rec, const float *vec, int loop);          // 1 started, 0 not
    int (*set_volume)(SoundRecord *rec, int volume);                    // 1, or 0 if the record holds no sound
    int (*stop)(SoundRecord *rec);                                      // always 1
    void (*shutdown)(void);                                             // last call
};

extern SoundBackend sound_backend; // filled by the framework's start-up (sound_init) before app_init; an application or a test may replace slots

constexpr int SOUND_CHANNELS = 16;  // channel table entries
constexpr int SOUND_POOL_SIZE = 16; // delay nodes allocated at start-up
constexpr int SOUND_VOLUME_FULL = 128; // a record's full volume (set_volume)

// The mixer's format, the one the device is opened in and every sound is decoded to
constexpr int SOUND_RATE = 44100;           // frames a second
constexpr uint16_t SOUND_FORMAT = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 0x9010 : 0x8010; // signed 16-bit samples in the machine's byte order (SDL's AUDIO_S16SYS)
constexpr int SOUND_OUTPUT_CHANNELS = 2;    // stereo
constexpr int SOUND_CHUNK_FRAMES = 1024;    // frames mixed at a time
constexpr int SOUND_CHUNK_FRAMES_LOW = 256; // frames mixed at a time in low latency
constexpr int SOUND_SERVER_CHUNKS = 2;      // a low-latency open asks the sound server for this many chunks of buffer

// Interface sounds, loaded at start-up (before app_gl_ready); the volume option
extern SoundRecord sound_applause, sound_boo, sound_cheering, sound_click, sound_bubble;
uint8_t sound_get_volume(void);    // the persisted "volume" option; never applied to playback

// Manager
int sound_load(const AssetRecord *asset, SoundRecord *rec);  // load slot; registers on success; 1 and nothing registered if empty
int sound_load_ui(const AssetRecord *asset, SoundRecord *rec); // same over load_ui
int sound_load_in_place(const AssetRecord *asset, SoundRecord *rec); // a chunk pointing at asset's samples (not copied; they must outlive it) when they are 16-bit SOUND_RATE stereo, aligned, and the mixer is open in that format and the load slot is filled; else sound_load (in_place.cpp)
int sound_is_playing(SoundRecord *rec);                      // is_playing slot; 1 if empty
int sound_play(SoundRecord *rec, int loop);                  // sound_play_at with vec3_zero
int sound_play_at(SoundRecord *rec, const float *vec, int loop); // play slot; 1 if empty
int sound_stop(SoundRecord *rec);                            // stop slot; 1 if empty
int sound_fade_out(SoundRecord *rec, int milliseconds);     // fade_out slot; the stop slot's result if empty (a backend without fades cuts)
int sound_set_volume(SoundRecord *rec, int volume);          // set_volume slot (volume clamped to 0..SOUND_VOLUME_FULL); 1 if empty
void sound_play_delayed(SoundRecord *rec, float delay);      // node from the pool to the front of the delayed list
void sound_toggle_mute(void);                                // volume <-> 0, persisted and saved

// WAV check
const char *sound_wav_problem(const AssetRecord *asset);        // null if the loader would hand the bytes to the mixer, else why not
// clang-format on
