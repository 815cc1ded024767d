// Test support, sound; see support_sound.h.
#include "support_sound.h"

#include "app/app_internal.h"
#include <vostrel/audio/audio_internal.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <stdlib.h>
#include <string.h>

std::vector<std::vector<int16_t>> board_clip_samples() {
    std::vector<std::vector<int16_t>> clips(BOARD_BUTTONS);
    setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound device needed to decode
    if (SDL_Init(SDL_INIT_AUDIO) != 0) return clips;
    if (sound_mixer_open(SOUND_CHUNK_FRAMES)) {
        for (int k = 0; k < BOARD_BUTTONS; k++) {
            const AssetRecord *a = board_clips[k];
            Mix_Chunk *c = Mix_LoadWAV_RW(
                SDL_RWFromMem(const_cast<uint8_t *>(a->data), static_cast<int>(a->size)), 1);
            if (!c) continue;
            clips[k].resize(c->alen / 2);
            memcpy(clips[k].data(), c->abuf, clips[k].size() * 2);
            Mix_FreeChunk(c);
        }
        Mix_CloseAudio();
    }
    SDL_Quit();
    return clips;
}
