// Audio: the playback backend over SDL_mixer. WAV assets are decoded from
// memory into mixer chunks; a play takes any free mixer channel and is
// remembered in the channel table so that is-playing and stop can find it.
// Chunks are never freed: they live until the process ends.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include <vostrel/diag/diag.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <array>
#include <string.h>

static_assert(SOUND_FORMAT == AUDIO_S16SYS, "the mixer's format is SDL's AUDIO_S16SYS");
static_assert(SOUND_VOLUME_FULL == MIX_MAX_VOLUME, "a record's full volume is the mixer's");

SoundBackend sound_backend;

// Entry i: the chunk this backend last started on mixer channel i; cleared
// only by a stop of that channel, so a chunk that ended by itself stays.
static std::array<Mix_Chunk *, SOUND_CHANNELS> channel_chunks;

void sound_mixer_forget_channels(void) { channel_chunks.fill(nullptr); }

void sound_backend_init(void) {
    channel_chunks.fill(nullptr);
    sound_backend.load = sound_mixer_load;
    sound_backend.load_ui = sound_mixer_load;
    sound_backend.is_playing = sound_mixer_is_playing;
    sound_backend.play = sound_mixer_play;
    sound_backend.stop = sound_mixer_stop;
    sound_backend.fade_out = sound_mixer_fade_out;
    sound_backend.set_volume = sound_mixer_set_volume;
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

// While the device is lost the mixer is closed, and SDL_mixer's channel
// calls then read its freed channel table: nothing plays until it is back.
int sound_mixer_play(SoundRecord *rec, const float *, int loop) {
    if (!rec->chunk || sound_device_lost()) return 0;
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

// The table keeps a fading channel's chunk until the channel is reused, so a
// fading sound still counts as playing; a fade already under way keeps its
// own pace rather than starting over.
int sound_mixer_fade_out(SoundRecord *rec, int milliseconds) {
    if (milliseconds <= 0) return sound_mixer_stop(rec);
    if (!rec->chunk || sound_device_lost()) return 1;
    for (int channel = 0; channel < SOUND_CHANNELS; channel++)
        if (channel_chunks[channel] == rec->chunk && Mix_Playing(channel) &&
            !Mix_FadingChannel(channel))
            Mix_FadeOutChannel(channel, milliseconds);
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
