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

static void put_le32(std::string &s, uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; i++)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string wav_bytes(int channels, uint32_t rate, int bits, const std::string &data,
                      const std::string &before_fmt, const std::string &before_data,
                      long data_length) {
    const uint32_t frame = static_cast<uint32_t>(channels * bits / 8);
    std::string body = "WAVE" + before_fmt + "fmt ";
    put_le32(body, 16);
    put_le32(body, 1, 2);
    put_le32(body, static_cast<uint32_t>(channels), 2);
    put_le32(body, rate);
    put_le32(body, rate * frame);
    put_le32(body, frame, 2);
    put_le32(body, static_cast<uint32_t>(bits), 2);
    body += before_data + "data";
    put_le32(body,
             static_cast<uint32_t>(data_length < 0 ? static_cast<long>(data.size()) : data_length));
    body += data;
    std::string file = "RIFF";
    put_le32(file, static_cast<uint32_t>(body.size()));
    return file + body;
}

size_t first_audible(const std::vector<int16_t> &clip) {
    size_t first = 0;
    while (first < clip.size() && clip[first] == 0)
        first++;
    return first - first % 2;
}

long find_clip(const std::vector<int16_t> &out, const std::vector<int16_t> &clip, size_t from,
               size_t span) {
    const size_t first = first_audible(clip);
    const size_t probe = 128; // samples = 64 frames
    if (first + probe > clip.size()) return -1;
    const size_t frames = out.size() / 2;
    const size_t end = from < frames && span < frames - from ? from + span : frames;
    for (size_t f = from; f < end && f * 2 + probe <= out.size(); f++)
        if (memcmp(&out[f * 2], &clip[first], probe * 2) == 0) return static_cast<long>(f);
    return -1;
}
