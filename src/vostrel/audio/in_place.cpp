// Clips played where they lie: a WAV whose samples are already in the
// mixer's format (signed 16-bit in the machine's order, SOUND_RATE, stereo)
// and aligned for 16-bit reads becomes a chunk that points at them, with no
// decoded copy, so a board mapped from its file costs no memory per clip
// until its pages are read. Any other clip, or a mixer opened otherwise, is
// loaded (and copied) by the load slot as always.
#include <vostrel/audio/audio.h>

#include <SDL/SDL_mixer.h>
#include <stdint.h>
#include <string.h>

namespace {

uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The samples of a PCM WAV in the mixer's format, or null.
const uint8_t *mixer_samples(const AssetRecord *asset, uint32_t *bytes) {
    const uint8_t *b = asset->data;
    size_t n = asset->size, at = 12;
    if (!b || n < 12 || memcmp(b, "RIFF", 4) != 0 || memcmp(b + 8, "WAVE", 4) != 0) return nullptr;
    int format_ok = 0;
    while (at + 8 <= n) {
        uint32_t length = le32(b + at + 4);
        if (memcmp(b + at, "fmt ", 4) == 0) {
            if (length < 16 || at + 8 + 16 > n) return nullptr;
            const uint8_t *f = b + at + 8;
            format_ok = le16(f) == 1 && le16(f + 2) == SOUND_OUTPUT_CHANNELS &&
                        le32(f + 4) == SOUND_RATE && le16(f + 12) == 2 * SOUND_OUTPUT_CHANNELS &&
                        le16(f + 14) == 16;
        } else if (memcmp(b + at, "data", 4) == 0) {
            size_t left = n - at - 8;
            uint32_t size = length < left ? length : static_cast<uint32_t>(left);
            size -= size % (2 * SOUND_OUTPUT_CHANNELS);
            const uint8_t *samples = b + at + 8;
            // Samples in the file are little-endian; the mixer reads them
            // as the machine's 16-bit words, aligned.
            if (!format_ok || size == 0 || SOUND_FORMAT != AUDIO_S16LSB ||
                reinterpret_cast<uintptr_t>(samples) % 4 != 0)
                return nullptr;
            *bytes = size;
            return samples;
        }
        if (length > n - at - 8) return nullptr;
        at += 8 + static_cast<size_t>(length) + (length & 1);
    }
    return nullptr;
}

} // namespace

int sound_load_in_place(const AssetRecord *asset, SoundRecord *rec) {
    int rate = 0, channels = 0;
    uint16_t format = 0;
    uint32_t bytes = 0;
    const uint8_t *samples = sound_backend.load ? mixer_samples(asset, &bytes) : nullptr;
    if (samples && Mix_QuerySpec(&rate, &format, &channels) && rate == SOUND_RATE &&
        format == SOUND_FORMAT && channels == SOUND_OUTPUT_CHANNELS) {
        memset(rec, 0, sizeof *rec);
        // The mixer only reads a chunk's samples; it never frees these
        // (the chunk is marked as not owning them).
        rec->chunk = Mix_QuickLoad_RAW(const_cast<uint8_t *>(samples), bytes);
        if (rec->chunk) return 1;
    }
    return sound_load(asset, rec);
}
