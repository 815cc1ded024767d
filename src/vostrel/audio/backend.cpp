// Audio: the playback backend over SDL_mixer. WAV assets are decoded from
// memory into mixer chunks; a play takes any free mixer channel and is
// remembered in the channel table so that is-playing and stop can find it.
// Chunks are never freed: they live until the process ends.
#include <vostrel/audio/audio.h>

#include <vostrel/diag/diag.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <array>
#include <atomic>
#include <stdlib.h>
#include <string.h>
#include <vector>

SoundBackend sound_backend;

// Entry i: the chunk this backend last started on mixer channel i; cleared
// only by a stop of that channel, so a chunk that ended by itself stays.
static std::array<Mix_Chunk *, SOUND_CHANNELS> channel_chunks;

void sound_backend_init(void) {
    channel_chunks.fill(nullptr);
    sound_backend.load = sound_mixer_load;
    sound_backend.load_ui = sound_mixer_load;
    sound_backend.is_playing = sound_mixer_is_playing;
    sound_backend.play = sound_mixer_play;
    sound_backend.stop = sound_mixer_stop;
}

// The mixer's decoders trust their input: a chunk length past the end makes
// SDL allocate and read whatever the length says, zero channels or an extreme
// rate crash the format conversion, and an AIFF header without its sound
// chunk never stops seeking. Only a RIFF WAVE of plain PCM (1 or 2 channels,
// 8 or 16 bits, 4000 to 192000 Hz) whose chunks, walked as SDL walks them
// (no padding; "fact" and "LIST" skipped before "fmt "), all lie inside the
// bytes and end in "data" is handed over. Returns null when acceptable, else
// the reason.
//
// SDL takes "WAVE" in the length field (bytes 4..8) for a header without a
// length and walks chunks from byte 8, not 12; such a file is refused, so
// the walk below is the one SDL makes.
static const char *wav_problem(const uint8_t *p, uint32_t n) {
    if (n < 12 || memcmp(p, "RIFF", 4) != 0 || memcmp(p + 8, "WAVE", 4) != 0)
        return "not a RIFF WAVE file";
    if (memcmp(p + 4, "WAVE", 4) == 0) return "no RIFF length";
    uint32_t pos = 12;
    int have_format = 0;
    for (;;) {
        if (n - pos < 8) return "no data chunk";
        const uint8_t *id = p + pos;
        uint32_t length = read_le32(p + pos + 4);
        pos += 8;
        if (length > n - pos) return "chunk runs past the end of the file";
        if (have_format) {
            if (memcmp(id, "data", 4) == 0) return nullptr;
        } else if (memcmp(id, "fmt ", 4) == 0) {
            if (length < 16) return "format chunk too short";
            const uint8_t *f = p + pos;
            uint16_t tag = read_le16(f), channels = read_le16(f + 2), bits = read_le16(f + 14);
            uint32_t rate = read_le32(f + 4);
            if (tag != 1) return "not PCM";
            if (channels < 1 || channels > 2) return "unsupported channel count";
            if (bits != 8 && bits != 16) return "unsupported sample size";
            if (rate < 4000 || rate > 192000) return "unsupported sample rate";
            have_format = 1;
        } else if (memcmp(id, "fact", 4) != 0 && memcmp(id, "LIST", 4) != 0) {
            return "no format chunk first";
        }
        pos += length;
    }
}

int sound_mixer_load(const AssetRecord *asset, SoundRecord *rec) {
    memset(rec, 0, sizeof *rec);
    if (const char *problem = wav_problem(asset->data, asset->size)) {
        log_printf(LOG_ERROR, "SDL: Mix_LoadWAV_RW: %s\n", problem);
        return 0;
    }
    SDL_RWops *rw =
        SDL_RWFromMem(const_cast<uint8_t *>(asset->data), static_cast<int>(asset->size));
    if (!rw) return 0;
    rec->chunk = Mix_LoadWAV_RW(rw, 1); // the mixer closes the stream, loaded or not
    if (!rec->chunk) log_printf(LOG_ERROR, "SDL: Mix_LoadWAV_RW: %s\n", SDL_GetError());
    sound_device_remember(asset, rec->chunk);
    return rec->chunk != nullptr;
}

// Lowest channel whose table entry holds the record's chunk, or -1. A record
// without a chunk is never found: it must not match the empty entries.
static int find_channel(const SoundRecord *rec) {
    if (!rec->chunk) return -1;
    for (int i = 0; i < SOUND_CHANNELS; i++)
        if (channel_chunks[i] == rec->chunk) return i;
    return -1;
}

int sound_mixer_is_playing(SoundRecord *rec) {
    int channel = find_channel(rec);
    if (channel < 0) return 0;
    return Mix_Playing(channel) != 0;
}

int sound_mixer_play(SoundRecord *rec, const float *, int loop) {
    if (!rec->chunk) return 0;
    int channel = Mix_PlayChannelTimed(-1, rec->chunk, loop ? -1 : 0, -1);
    if (channel < 0 || channel >= SOUND_CHANNELS) return 0;
    channel_chunks[channel] = rec->chunk;
    return 1;
}

int sound_mixer_stop(SoundRecord *rec) {
    int channel = find_channel(rec);
    if (channel >= 0) {
        Mix_HaltChannel(channel);
        channel_chunks[channel] = nullptr;
    }
    return 1;
}

Mix_Chunk *sound_channel_chunk(int channel) {
    if (channel < 0 || channel >= SOUND_CHANNELS) return nullptr;
    return channel_chunks[channel];
}

const char *sound_wav_problem(const AssetRecord *asset) {
    return wav_problem(asset->data, asset->size);
}

int sound_mixer_set_volume(SoundRecord *rec, int volume) {
    if (!rec->chunk) return 0;
    Mix_VolumeChunk(rec->chunk, volume < 0 ? 0 : volume > MIX_MAX_VOLUME ? MIX_MAX_VOLUME : volume);
    return 1;
}

// The audio device's watch. A device can go away under a running program
// (the sound server restarts, a USB card is pulled): SDL's audio thread then
// stops and every later play is silent, with no error anywhere. The mixer's
// post-mix callback counts the buffers mixed; a count that stands still
// while the main loop runs means the device is gone, and it is reopened with
// the same request, on the same driver, after growing pauses. Chunks are
// the program's and survive the reopen; if the device comes back in another
// format each one is decoded again from its asset, in place, so every record
// holding it plays on.
namespace {

struct LoadedChunk {
    Mix_Chunk *chunk;
    const AssetRecord *asset;
};

struct AudioDevice {
    int watching;
    int frequency, channels, chunk_size; // the request, repeated on reopen
    Uint16 format;
    int have_frequency, have_channels; // what the device gave
    Uint16 have_format;
    std::atomic<unsigned> mixed; // post-mix calls (audio thread)
    unsigned seen;               // count at the latest check
    unsigned opened_at;          // count when the device was (re)opened
    float stalled;               // seconds the count stood still
    int lost;
    float retry_in, backoff;         // seconds
    int attempts;                    // reopen attempts since the loss
    std::vector<LoadedChunk> chunks; // every chunk loaded, with its asset
};

AudioDevice device;

// A device that mixes steadily (23 ms a buffer) and then stops for 3 s is
// gone; a shorter gap can be a starved thread on a busy machine, and a
// needless reopen would cut off what plays. A stream just opened may wait
// before it flows (PulseAudio's takes up to two seconds), so until it has
// mixed a few buffers it has 6 s.
constexpr float DEVICE_STALL_SECONDS = 3.0f;
constexpr float DEVICE_START_SECONDS = 6.0f;
constexpr unsigned DEVICE_STEADY_BUFFERS = 8;
constexpr float DEVICE_FIRST_RETRY = 0.25f;
constexpr float DEVICE_LONGEST_RETRY = 0.5f;

void count_mixed(void *, Uint8 *, int) { device.mixed.fetch_add(1, std::memory_order_relaxed); }

// A fresh decode swapped into the old chunk: the handle stays, its samples
// are the device's new format; the old samples go with the temporary.
void reload_chunk(const LoadedChunk &loaded) {
    SDL_RWops *rw = SDL_RWFromMem(const_cast<uint8_t *>(loaded.asset->data),
                                  static_cast<int>(loaded.asset->size));
    Mix_Chunk *fresh = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
    if (!fresh) {
        log_printf(LOG_ERROR, "SDL: Mix_LoadWAV_RW: %s\n", SDL_GetError());
        return;
    }
    Mix_Chunk old = *loaded.chunk;
    loaded.chunk->allocated = fresh->allocated;
    loaded.chunk->abuf = fresh->abuf;
    loaded.chunk->alen = fresh->alen;
    fresh->allocated = old.allocated;
    fresh->abuf = old.abuf;
    fresh->alen = old.alen;
    Mix_FreeChunk(fresh);
}

int device_open(void) {
    // SDL 1.2 marks its audio subsystem started even when no driver could
    // start, and then refuses every later open: a failed attempt is undone
    // before the next, so each one starts the driver anew.
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (Mix_OpenAudio(device.frequency, device.format, device.channels, device.chunk_size) != 0)
        return 0;
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    if (frequency != device.have_frequency || format != device.have_format ||
        channels != device.have_channels) {
        for (const LoadedChunk &loaded : device.chunks)
            reload_chunk(loaded);
        device.have_frequency = frequency;
        device.have_format = format;
        device.have_channels = channels;
    }
    channel_chunks.fill(nullptr); // the reopened mixer plays nothing
    Mix_SetPostMix(count_mixed, nullptr);
    return 1;
}

} // namespace

void sound_device_remember(const AssetRecord *asset, Mix_Chunk *chunk) {
    if (chunk) device.chunks.push_back({chunk, asset});
}

void sound_device_watch(int frequency, uint16_t format, int channels, int chunk_size) {
    device.frequency = frequency;
    device.format = format;
    device.channels = channels;
    device.chunk_size = chunk_size;
    Mix_QuerySpec(&device.have_frequency, &device.have_format, &device.have_channels);
    // Left to itself SDL would reopen on the first driver that starts, which
    // after a sound server's restart may be another one than the user's.
    char driver[32];
    if (!getenv("SDL_AUDIODRIVER") && SDL_AudioDriverName(driver, sizeof driver))
        setenv("SDL_AUDIODRIVER", driver, 1);
    device.seen = device.mixed.load(std::memory_order_relaxed);
    device.opened_at = device.seen;
    device.stalled = 0.0f;
    device.lost = 0;
    device.watching = 1;
    Mix_SetPostMix(count_mixed, nullptr);
}

void sound_device_update(float dt) {
    if (!device.watching || !(dt > 0.0f)) return;
    if (!device.lost) {
        unsigned mixed = device.mixed.load(std::memory_order_relaxed);
        if (mixed != device.seen) {
            device.seen = mixed;
            device.stalled = 0.0f;
            return;
        }
        device.stalled += dt;
        const int steady = mixed - device.opened_at >= DEVICE_STEADY_BUFFERS;
        if (device.stalled < (steady ? DEVICE_STALL_SECONDS : DEVICE_START_SECONDS)) return;
        log_printf(LOG_WARNING, "Audio device lost: reopening it");
        Mix_CloseAudio();
        device.lost = 1;
        device.attempts = 0;
        device.retry_in = 0.0f;
        device.backoff = DEVICE_FIRST_RETRY;
    }
    device.retry_in -= dt;
    if (device.retry_in > 0.0f) return;
    device.attempts++;
    if (!device_open()) {
        log_printf(LOG_DEBUG, "Audio device not open yet: %s", Mix_GetError());
        device.retry_in = device.backoff;
        device.backoff = device.backoff * 2.0f;
        if (device.backoff > DEVICE_LONGEST_RETRY) device.backoff = DEVICE_LONGEST_RETRY;
        return;
    }
    log_printf(LOG_INFO, "Audio device back after %d attempt%s", device.attempts,
               device.attempts == 1 ? "" : "s");
    device.lost = 0;
    device.stalled = 0.0f;
    device.seen = device.mixed.load(std::memory_order_relaxed);
    device.opened_at = device.seen;
}

int sound_device_lost(void) { return device.lost; }
int sound_device_attempts(void) { return device.attempts; }
