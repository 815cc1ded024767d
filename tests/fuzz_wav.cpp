// Fuzz target: arbitrary bytes handed to the SDL_mixer loader as a WAV asset
// record. Every input must end in a loaded chunk or a clean, logged failure.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

// The mixer is opened once, as the shell does; loading converts to its format.
static int open_mixer(void) {
    if (SDL_Init(SDL_INIT_AUDIO) != 0) return 0;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return 0;
    log_threshold = LOG_CRITICAL; // the failure message is formatted but no file is written here
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const int mixer_open = open_mixer();
    if (!mixer_open || size > 1u << 20) return 0;
    static const uint8_t empty[1] = {0};
    const AssetRecord asset = {"fuzz.wav", "wav", static_cast<uint32_t>(size), size ? data : empty};
    SoundRecord rec;
    memset(&rec, 0xAA, sizeof rec);
    int ok = sound_mixer_load(&asset, &rec);
    if (ok != (rec.chunk != nullptr)) __builtin_trap();
    // The program keeps its chunks for the whole run; here each would pile up.
    if (rec.chunk) Mix_FreeChunk(rec.chunk);
    return 0;
}
