// Audio: the device's watch, beside the mixer back end it reopens.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include <vostrel/diag/diag.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <atomic>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

// The audio device's watch. A device can go away under a running program
// (the sound server restarts, a USB card is pulled): SDL's audio thread then
// stops and every later play is silent, with no error anywhere. The mixer's
// post-mix callback counts the buffers mixed; a count that stands still
// while the main loop runs means the device is gone, and it is reopened with
// the same request, on the same driver, after growing pauses. Chunks are
// the program's and survive the reopen; if the device comes back in another
// format each one is decoded again from its asset, in place, so every record
// holding it plays on.
//
// sdl12-compat (SDL 1.2 over SDL 2) hides a loss from that count: SDL 2 keeps
// calling the mixer at the device's pace after its device is gone, the
// samples going nowhere, and its SDL 1.2 status still says playing. SDL 2's
// own status of the device sdl12-compat opens (SDL_OpenAudio's, id 1) turns
// to stopped at the loss; where SDL 2 is in the process, that status is
// asked on every update as well. SDL 2's audio driver also outlives its
// server: its PulseAudio back end keeps the connection it made at start-up,
// dead once the server goes, and every later open fails ("Could not connect
// PulseAudio stream"). Each reopen there starts SDL 2's audio driver anew
// first (SDL_AudioInit, which ends the old one), leaving its subsystem count
// and event queue alone.
namespace {

// SDL 2's SDL_GetAudioDeviceStatus: 0 stopped, 1 playing, 2 paused.
using Sdl2DeviceStatus = int (*)(Uint32 device);
// SDL 2's SDL_AudioInit: its audio driver ended and started again; 0 on success.
using Sdl2AudioInit = int (*)(const char *driver);
constexpr Uint32 SDL2_LEGACY_DEVICE = 1;
constexpr int SDL2_AUDIO_STOPPED = 0;

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
    Sdl2DeviceStatus sdl2_status;    // set when SDL 2 runs under SDL 1.2 (sdl12-compat)
    Sdl2AudioInit sdl2_audio_init;   // likewise
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

// SDL 2's calls beneath sdl12-compat, looked up without loading anything.
// SDL 2 may be in the process on classic SDL 1.2 too (SDL_mixer's fluidsynth
// links it), its device 1 never opened there: sdl12-compat is told apart by
// its version, 1.2.50 and later (classic SDL 1.2 ended at 1.2.15). Both
// null when SDL 2 is not beneath.
void find_sdl2_calls(void) {
    device.sdl2_status = nullptr;
    device.sdl2_audio_init = nullptr;
    const SDL_version *linked = SDL_Linked_Version();
    if (!linked || linked->major != 1 || linked->minor != 2 || linked->patch < 50) return;
    void *sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!sdl2) return;
    void *status = dlsym(sdl2, "SDL_GetAudioDeviceStatus");
    void *audio_init = dlsym(sdl2, "SDL_AudioInit");
    dlclose(sdl2); // the library stays: sdl12-compat holds it
    memcpy(&device.sdl2_status, &status, sizeof status);
    memcpy(&device.sdl2_audio_init, &audio_init, sizeof audio_init);
}

// The open device stopped by itself: SDL 1.2's own status, or SDL 2's
// beneath sdl12-compat.
int device_stopped(void) {
    if (SDL_GetAudioStatus() == SDL_AUDIO_STOPPED) return 1;
    return device.sdl2_status && device.sdl2_status(SDL2_LEGACY_DEVICE) == SDL2_AUDIO_STOPPED;
}

// The loss and the return are written whatever the log threshold: the first
// touch release lowers it to WARNING, and a user who finds the board silent
// needs both lines in the log.
void log_device_line(unsigned level, const char *text, int attempts) {
    if (attempts > 0)
        log_always(level, "%s after %d attempt%s", text, attempts, attempts == 1 ? "" : "s");
    else
        log_always(level, "%s", text);
}

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
    // before the next, so each one starts the driver anew. Not beneath
    // sdl12-compat: there it would also stop SDL 2's event queue, which
    // audio holds a share of, and the window's events and SIGTERM's quit
    // would be dropped from then on; SDL 2 starts its driver anew on every
    // open by itself.
    if (!device.sdl2_status)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    else if (device.sdl2_audio_init && device.sdl2_audio_init(nullptr) != 0)
        return 0; // no driver yet: SDL 2 has said why (Mix_GetError)
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
    sound_mixer_forget_channels(); // the reopened mixer plays nothing
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
    find_sdl2_calls();
    device.watching = 1;
    Mix_SetPostMix(count_mixed, nullptr);
}

void sound_device_update(float dt) {
    if (!device.watching || !(dt > 0.0f)) return;
    if (!device.lost) {
        unsigned mixed = device.mixed.load(std::memory_order_relaxed);
        if (!device_stopped()) {
            if (mixed != device.seen) {
                device.seen = mixed;
                device.stalled = 0.0f;
                return;
            }
            device.stalled += dt;
            const int steady = mixed - device.opened_at >= DEVICE_STEADY_BUFFERS;
            if (device.stalled < (steady ? DEVICE_STALL_SECONDS : DEVICE_START_SECONDS)) return;
        }
        log_device_line(LOG_WARNING, "Audio device lost: reopening it", 0);
        Mix_CloseAudio();
        sound_mixer_forget_channels(); // no channel exists to ask about
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
    log_device_line(LOG_INFO, "Audio device back", device.attempts);
    device.lost = 0;
    device.stalled = 0.0f;
    device.seen = device.mixed.load(std::memory_order_relaxed);
    device.opened_at = device.seen;
}

int sound_device_lost(void) { return device.lost; }
int sound_device_attempts(void) { return device.attempts; }

// A small chunk alone does not make a short path: the sound server keeps
// its own buffer, sized by the client's request. Classic SDL 1.2 asks
// PulseAudio for four of its half-size chunks, SDL 2 beneath sdl12-compat
// for one chunk with the server's default request size; PipeWire's pulse
// server raises any request to at least two of its 5 ms minimum requests
// and runs the stream at a quantum of at least 5 ms. The client libraries
// read these variables when a stream connects, under both SDL 1.2s:
// libpulse's target length (PULSE_LATENCY_MSEC), the client's properties
// (PULSE_PROP: PipeWire's pulse server takes its minimum request and
// quantum from them, PulseAudio ignores them) and the node latency of
// PipeWire's own clients (PIPEWIRE_LATENCY, for SDL 2's PipeWire driver:
// half a chunk, as for the pulse server; a whole one kept the tap 5 ms
// later).
// Whatever the user has set stays.
static void ask_server_buffer(int chunk_frames) {
    char value[128];
    snprintf(value, sizeof value, "%d",
             (SOUND_SERVER_CHUNKS * chunk_frames * 1000 + SOUND_RATE - 1) / SOUND_RATE);
    setenv("PULSE_LATENCY_MSEC", value, 0);
    snprintf(value, sizeof value, "pulse.min.req='%d/%d' pulse.min.quantum='%d/%d'",
             chunk_frames / 2, SOUND_RATE, chunk_frames / 2, SOUND_RATE);
    setenv("PULSE_PROP", value, 0);
    snprintf(value, sizeof value, "%d/%d", chunk_frames / 2, SOUND_RATE);
    setenv("PIPEWIRE_LATENCY", value, 0);
}

int sound_mixer_open(int chunk_frames) {
    if (chunk_frames < SOUND_CHUNK_FRAMES) ask_server_buffer(chunk_frames);
    if (Mix_OpenAudio(SOUND_RATE, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS, chunk_frames) != 0) return 0;
    sound_device_watch(SOUND_RATE, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS, chunk_frames);
    return 1;
}
