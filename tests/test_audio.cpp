// Audio: the SDL_mixer backend against the real mixer (dummy driver), and the
// sound manager over a backend table of recording test functions.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>

#include "app/app.h"
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/math/maths.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>
#include "support.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// The mixer is opened once for the whole program, as the shell does.
struct MixerEnvironment : ::testing::Environment {
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_TRUE(sound_mixer_open(SOUND_CHUNK_FRAMES)) << Mix_GetError();
    }
    void TearDown() override {
        Mix_CloseAudio();
        SDL_Quit();
    }
};

::testing::Environment *const mixer_env = ::testing::AddGlobalTestEnvironment(new MixerEnvironment);

const AssetRecord *const all_wavs[] = {
    &vostrel_asset_applause_wav, &vostrel_asset_boo_wav,   &vostrel_asset_bubble_wav,
    &vostrel_asset_cheering_wav, &vostrel_asset_click_wav, &asset_vostrel_00_wav,
    &asset_vostrel_01_wav,       &asset_vostrel_02_wav,    &asset_vostrel_03_wav,
    &asset_vostrel_04_wav,       &asset_vostrel_05_wav,    &asset_vostrel_06_wav,
    &asset_vostrel_07_wav,       &asset_vostrel_08_wav,    &asset_vostrel_09_wav,
    &asset_vostrel_10_wav,       &asset_vostrel_11_wav,    &asset_vostrel_12_wav,
    &asset_vostrel_13_wav,       &asset_vostrel_14_wav,    &asset_vostrel_15_wav,
    &asset_vostrel_16_wav,       &asset_vostrel_17_wav,    &asset_vostrel_18_wav,
    &asset_vostrel_19_wav,
};

class Backend : public ::testing::Test {
  protected:
    void SetUp() override {
        Mix_HaltChannel(-1);
        sound_backend_init();
    }
    void TearDown() override { Mix_HaltChannel(-1); }
};

} // namespace

TEST_F(Backend, EveryCompiledInWavLoadsIntoAClearedRecord) {
    ASSERT_EQ(std::size(all_wavs), 25u);
    for (const AssetRecord *asset : all_wavs) {
        SoundRecord rec;
        memset(&rec, 0xAA, sizeof rec);
        EXPECT_EQ(sound_mixer_load(asset, &rec), 1) << asset->name;
        EXPECT_NE(rec.chunk, nullptr) << asset->name;
        for (unsigned char b : rec.opaque)
            ASSERT_EQ(b, 0) << asset->name;
    }
}

TEST_F(Backend, SameSoundOnTwoChannelsAndStopHaltsOnlyTheLower) {
    SoundRecord rec, other, never;
    ASSERT_EQ(sound_mixer_load(&asset_vostrel_00_wav, &rec), 1);
    ASSERT_EQ(sound_mixer_load(&vostrel_asset_click_wav, &other), 1);
    ASSERT_EQ(sound_mixer_load(&vostrel_asset_boo_wav, &never), 1);
    EXPECT_EQ(sound_mixer_is_playing(&never), 0);

    // Looping, so that neither play can end by itself during the test.
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    ASSERT_EQ(sound_mixer_play(&other, vec3_zero, 1), 1);
    EXPECT_EQ(sound_channel_chunk(0), rec.chunk);
    EXPECT_EQ(sound_channel_chunk(1), rec.chunk);
    EXPECT_EQ(sound_channel_chunk(2), other.chunk);
    EXPECT_EQ(sound_mixer_is_playing(&rec), 1);

    EXPECT_EQ(sound_mixer_stop(&rec), 1);
    EXPECT_EQ(Mix_Playing(0), 0);
    EXPECT_NE(Mix_Playing(1), 0);
    EXPECT_EQ(sound_channel_chunk(0), nullptr);
    EXPECT_EQ(sound_channel_chunk(1), rec.chunk);
    EXPECT_EQ(sound_mixer_is_playing(&rec), 1); // now found on channel 1

    EXPECT_EQ(sound_mixer_stop(&rec), 1);
    EXPECT_EQ(sound_mixer_is_playing(&rec), 0);
    EXPECT_EQ(sound_mixer_stop(&never), 1); // not in the table: halts nothing
    EXPECT_NE(Mix_Playing(2), 0);
    EXPECT_EQ(sound_mixer_is_playing(&other), 1);
}

TEST_F(Backend, IsPlayingAsksOnlyTheLowestChannelHoldingTheSound) {
    SoundRecord rec;
    ASSERT_EQ(sound_mixer_load(&asset_vostrel_00_wav, &rec), 1);
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    // The play on channel 0 ends without the backend's stop: its entry stays.
    Mix_HaltChannel(0);
    EXPECT_EQ(sound_channel_chunk(0), rec.chunk);
    EXPECT_NE(Mix_Playing(1), 0);
    EXPECT_EQ(sound_channel_chunk(1), rec.chunk);
    EXPECT_EQ(sound_mixer_is_playing(&rec), 0);
}

// A fade reaches every play of the sound and no other; the fading plays keep
// their entries, so the sound counts as playing until they end.
TEST_F(Backend, FadeOutFadesEveryPlayOfTheSoundAndKeepsItPlaying) {
    SoundRecord rec, other, never{};
    ASSERT_EQ(sound_mixer_load(&asset_vostrel_00_wav, &rec), 1);
    ASSERT_EQ(sound_mixer_load(&vostrel_asset_click_wav, &other), 1);
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    ASSERT_EQ(sound_mixer_play(&other, vec3_zero, 1), 1);
    ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    EXPECT_EQ(sound_mixer_fade_out(&rec, 5000), 1);
    EXPECT_EQ(Mix_FadingChannel(0), MIX_FADING_OUT);
    EXPECT_EQ(Mix_FadingChannel(1), MIX_NO_FADING);
    EXPECT_EQ(Mix_FadingChannel(2), MIX_FADING_OUT);
    EXPECT_EQ(sound_channel_chunk(0), rec.chunk);
    EXPECT_EQ(sound_channel_chunk(2), rec.chunk);
    EXPECT_EQ(sound_mixer_is_playing(&rec), 1);
    EXPECT_EQ(sound_mixer_fade_out(&never, 5000), 1); // never loaded: nothing
    EXPECT_EQ(Mix_FadingChannel(1), MIX_NO_FADING);
    EXPECT_EQ(sound_mixer_fade_out(&other, 0), 1); // no time to fade: a stop
    EXPECT_EQ(Mix_Playing(1), 0);
    EXPECT_EQ(sound_channel_chunk(1), nullptr);
}

TEST_F(Backend, PlayWithoutAFreeChannelFailsAndLeavesTheTable) {
    SoundRecord rec;
    ASSERT_EQ(sound_mixer_load(&vostrel_asset_click_wav, &rec), 1);
    int channels = Mix_AllocateChannels(-1);
    ASSERT_LE(channels, SOUND_CHANNELS);
    for (int i = 0; i < channels; i++)
        ASSERT_EQ(sound_mixer_play(&rec, vec3_zero, 1), 1);
    std::vector<Mix_Chunk *> before;
    for (int i = 0; i < SOUND_CHANNELS; i++)
        before.push_back(sound_channel_chunk(i));
    EXPECT_EQ(sound_mixer_play(&rec, vec3_zero, 0), 0);
    for (int i = 0; i < SOUND_CHANNELS; i++)
        EXPECT_EQ(sound_channel_chunk(i), before[i]);
}

namespace {

void put_le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A PCM RIFF WAVE built from parts; `before_fmt` and `before_data` are whole
// extra chunks placed there.
std::string make_wav(int channels, uint32_t rate, int bits, const std::string &before_fmt = "",
                     const std::string &before_data = "", uint32_t data_length = 64) {
    return wav_bytes(channels, rate, bits, std::string(64, '\x10'), before_fmt, before_data,
                     data_length);
}

std::string make_chunk(const char *id, const std::string &payload) {
    std::string c = id;
    put_le(c, static_cast<uint32_t>(payload.size()), 4);
    return c + payload;
}

int load_bytes(const std::string &bytes, SoundRecord *rec) {
    const AssetRecord asset = {"test.wav", "wav", static_cast<uint32_t>(bytes.size()),
                               reinterpret_cast<const uint8_t *>(bytes.data())};
    memset(rec, 0x55, sizeof *rec);
    return sound_mixer_load(&asset, rec);
}

} // namespace

TEST_F(Backend, PlainPcmVariantsLoad) {
    SoundRecord rec;
    EXPECT_EQ(load_bytes(make_wav(1, 22050, 16), &rec), 1);
    EXPECT_EQ(load_bytes(make_wav(2, 11025, 8), &rec), 1);
    EXPECT_EQ(load_bytes(make_wav(2, 48000, 16, make_chunk("fact", "1234"),
                                  make_chunk("LIST", "INFOabcd")),
                         &rec),
              1);
    EXPECT_NE(rec.chunk, nullptr);
}

// Each damaged record fails cleanly: zero channels used to crash the mixer's
// conversion and an AIFF header without its sound chunk used to hang it.
TEST_F(Backend, DamagedRecordsLogTheErrorAndPlayNothing) {
    TempDir dir;
    log_reset_for_test();
    std::string click(reinterpret_cast<const char *>(vostrel_asset_click_wav.data),
                      vostrel_asset_click_wav.size);
    std::string not_wave = click;
    not_wave.replace(8, 4, "JUNK");
    // SDL reads "WAVE" in the length field as a missing length and takes the
    // next "WAVE" for a chunk whose length is "fmt ": 544 MB.
    std::string wave_for_length = make_wav(1, 22050, 16);
    wave_for_length.replace(4, 4, "WAVE");
    std::string aiff = "FORM";
    put_le(aiff, 30, 4);
    aiff += "AIFFCOMM";
    aiff +=
        std::string("\0\0\0\x12\0\x01\0\0\0\x04\0\x10\x40\x0d\xac\x44", 16) + std::string(6, '\0');
    const std::string damaged[] = {
        not_wave,
        wave_for_length,
        click.substr(0, 40),                        // no data chunk
        make_wav(1, 22050, 16, "", "", 0x7fffffff), // data longer than the file
        make_wav(0, 22050, 16),                     // no channels
        make_wav(1, 1, 16),                         // absurd rate
        make_wav(1, 22050, 12),                     // odd sample size
        make_wav(1, 22050, 16, make_chunk("JUNK", "xx")),
        aiff,
        std::string(),
    };
    for (const std::string &bytes : damaged) {
        SoundRecord rec;
        // The mixer is never handed these bytes, so SDL sets no error of its own.
        SDL_SetError("untouched");
        EXPECT_EQ(load_bytes(bytes, &rec), 0) << bytes.size();
        EXPECT_STREQ(SDL_GetError(), "untouched") << bytes.size();
        EXPECT_EQ(rec.chunk, nullptr);
        EXPECT_EQ(sound_mixer_play(&rec, vec3_zero, 0), 0);
        EXPECT_EQ(sound_mixer_is_playing(&rec), 0);
        EXPECT_EQ(sound_mixer_stop(&rec), 1);
    }
    EXPECT_EQ(Mix_Playing(-1), 0);
    for (int i = 0; i < SOUND_CHANNELS; i++)
        EXPECT_EQ(sound_channel_chunk(i), nullptr);
    log_close();
    std::string log = read_file("vostrel soundboard_log.txt");
    size_t lines = 0;
    for (size_t at = log.find("ERROR    ["); at != std::string::npos;
         at = log.find("ERROR    [", at + 1))
        lines++;
    EXPECT_EQ(lines, std::size(damaged)) << log;
    EXPECT_NE(log.find("] SDL: Mix_LoadWAV_RW: "), std::string::npos) << log;
    log_reset_for_test();
}

// --- manager over a recording backend ---------------------------------------

namespace {

struct Fake {
    std::vector<SoundRecord *> played, stopped, unloaded;
    std::vector<const AssetRecord *> loaded;
    std::vector<const float *> vectors;
    std::vector<int> loops;
    std::vector<int> fades, volumes; // milliseconds, volumes handed to the slots
    int load_result = 1;
    int play_result = 1;
    int shutdowns = 0;
};

Fake fake;

int fake_load(const AssetRecord *asset, SoundRecord *) {
    fake.loaded.push_back(asset);
    return fake.load_result;
}
int fake_play(SoundRecord *rec, const float *vec, int loop) {
    fake.played.push_back(rec);
    fake.vectors.push_back(vec);
    fake.loops.push_back(loop);
    return fake.play_result;
}
int fake_stop(SoundRecord *rec) {
    fake.stopped.push_back(rec);
    return 7;
}
int fake_is_playing(SoundRecord *) { return 0; }
int fake_fade_out(SoundRecord *, int milliseconds) {
    fake.fades.push_back(milliseconds);
    return 0;
}
int fake_set_volume(SoundRecord *, int volume) {
    fake.volumes.push_back(volume);
    return 0;
}
void fake_unload(SoundRecord *rec) { fake.unloaded.push_back(rec); }
void fake_shutdown(void) { fake.shutdowns++; }
void fake_init_takes_load_ui(void) { sound_backend.load_ui = fake_load; }

// Each test starts from a fresh manager state with the real backend loaded,
// then may swap slots; the table is restored and everything freed afterwards.
class Manager : public ::testing::Test {
  protected:
    TempDir dir;
    SoundBackend saved = sound_backend;
    void SetUp() override {
        log_reset_for_test();
        options_free();
        options_changed = 0;
        sound_volume = 255;
        sound_saved_volume = 255;
        fake = Fake{};
        sound_backend = SoundBackend{};
        sound_init();
    }
    void TearDown() override {
        sound_shutdown();
        sound_backend = saved;
        options_free();
        options_changed = 0;
        log_reset_for_test();
        Mix_HaltChannel(-1);
    }
};

SoundRecord a, b, c;

} // namespace

TEST_F(Manager, InitLoadsTheFiveInterfaceSoundsInOrder) {
    EXPECT_EQ(sound_registry_count(), 5);
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE);
    EXPECT_EQ(sound_delayed_count(), 0);
    for (SoundRecord *r :
         {&sound_applause, &sound_boo, &sound_cheering, &sound_click, &sound_bubble})
        EXPECT_NE(r->chunk, nullptr);

    sound_shutdown();
    sound_backend = SoundBackend{};
    sound_backend.init = fake_init_takes_load_ui; // runs after the table is filled
    sound_init();
    ASSERT_EQ(fake.loaded.size(), 5u);
    EXPECT_EQ(fake.loaded[0], &vostrel_asset_applause_wav);
    EXPECT_EQ(fake.loaded[1], &vostrel_asset_boo_wav);
    EXPECT_EQ(fake.loaded[2], &vostrel_asset_cheering_wav);
    EXPECT_EQ(fake.loaded[3], &vostrel_asset_click_wav);
    EXPECT_EQ(fake.loaded[4], &vostrel_asset_bubble_wav);
}

TEST_F(Manager, RepeatedInitReplacesRegistryAndNodesInsteadOfAddingToThem) {
    sound_play_delayed(&a, 1.0f);
    sound_init();
    EXPECT_EQ(sound_registry_count(), 5);
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE);
    EXPECT_EQ(sound_delayed_count(), 0);
}

TEST_F(Manager, EmptySlotsSucceedAndFilledSlotsForward) {
    sound_backend = SoundBackend{};
    int before = sound_registry_count();
    EXPECT_EQ(sound_load(&vostrel_asset_click_wav, &a), 1);
    EXPECT_EQ(sound_load_ui(&vostrel_asset_click_wav, &a), 1);
    EXPECT_EQ(sound_registry_count(), before);
    EXPECT_EQ(sound_is_playing(&a), 1);
    EXPECT_EQ(sound_play(&a, 0), 1);
    EXPECT_EQ(sound_stop(&a), 1);
    EXPECT_EQ(sound_fade_out(&a, 100), 1);
    EXPECT_EQ(sound_set_volume(&a, 64), 1);
    sound_backend.stop = fake_stop; // without a fade slot a fade is a stop
    EXPECT_EQ(sound_fade_out(&b, 100), 7);
    ASSERT_EQ(fake.stopped.size(), 1u);
    EXPECT_EQ(fake.stopped[0], &b);
    fake.stopped.clear();

    sound_backend = {nullptr,       fake_load, fake_load,       nullptr,   fake_is_playing,
                     fake_fade_out, fake_play, fake_set_volume, fake_stop, nullptr};
    fake.load_result = 0;
    EXPECT_EQ(sound_load(&vostrel_asset_boo_wav, &a), 0);
    EXPECT_EQ(sound_registry_count(), before);
    fake.load_result = 1;
    EXPECT_EQ(sound_load(&vostrel_asset_boo_wav, &a), 1);
    EXPECT_EQ(sound_load_ui(&vostrel_asset_boo_wav, &b), 1);
    EXPECT_EQ(sound_registry_count(), before + 2);
    EXPECT_EQ(sound_is_playing(&a), 0);
    EXPECT_EQ(sound_fade_out(&a, 250), 0);
    EXPECT_EQ(fake.fades, std::vector<int>{250});
    EXPECT_TRUE(fake.stopped.empty()) << "a back end that fades is not asked to stop";
    EXPECT_EQ(sound_set_volume(&a, 64), 0);
    EXPECT_EQ(sound_set_volume(&a, 300), 0);
    EXPECT_EQ(sound_set_volume(&a, -5), 0);
    EXPECT_EQ(fake.volumes, (std::vector<int>{64, SOUND_VOLUME_FULL, 0}));
    EXPECT_EQ(sound_stop(&b), 7);
    fake.play_result = 0;
    EXPECT_EQ(sound_play(&c, 1), 0);
    ASSERT_EQ(fake.played.size(), 1u);
    EXPECT_EQ(fake.played[0], &c);
    EXPECT_EQ(fake.vectors[0], vec3_zero);
    EXPECT_EQ(fake.loops[0], 1);
}

TEST_F(Manager, DelayedPlaysFireMostRecentFirstWhenTheirTimeRunsOut) {
    sound_backend.play = fake_play;
    sound_play_delayed(&a, 1.0f);
    sound_play_delayed(&b, 0.5f);
    sound_play_delayed(&c, 0.5f);
    EXPECT_EQ(sound_delayed_count(), 3);
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE - 3);

    sound_update(0.0f);
    sound_update(-5.0f);
    EXPECT_TRUE(fake.played.empty());

    sound_update(0.5f);
    ASSERT_EQ(fake.played.size(), 2u);
    EXPECT_EQ(fake.played[0], &c);
    EXPECT_EQ(fake.played[1], &b);
    EXPECT_EQ(fake.loops[0], 0);
    EXPECT_EQ(sound_delayed_count(), 1);

    sound_update(0.5f); // a's remaining time reaches exactly 0
    ASSERT_EQ(fake.played.size(), 3u);
    EXPECT_EQ(fake.played[2], &a);
    EXPECT_EQ(sound_delayed_count(), 0);
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE);

    sound_play_delayed(nullptr, 0.0f); // no record: recycled without a play
    sound_play_delayed(&b, -1.0f);
    sound_update(0.0f);
    EXPECT_EQ(sound_delayed_count(), 2);
    sound_update(0.001f);
    ASSERT_EQ(fake.played.size(), 4u);
    EXPECT_EQ(fake.played[3], &b);
    EXPECT_EQ(sound_delayed_count(), 0);
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE);
}

TEST_F(Manager, PoolGrowsByOneNodeAtTheSeventeenthPendingPlay) {
    sound_backend.play = fake_play;
    for (int i = 0; i < SOUND_POOL_SIZE; i++)
        sound_play_delayed(&a, 2.0f);
    EXPECT_EQ(sound_pool_count(), 0);
    sound_play_delayed(&b, 1.0f);
    EXPECT_EQ(sound_delayed_count(), SOUND_POOL_SIZE + 1);
    EXPECT_EQ(sound_pool_count(), 0);
    sound_update(1.0f);
    ASSERT_EQ(fake.played.size(), 1u);
    EXPECT_EQ(fake.played[0], &b);
    sound_update(1.0f);
    EXPECT_EQ(fake.played.size(), static_cast<size_t>(SOUND_POOL_SIZE + 1));
    EXPECT_EQ(sound_pool_count(), SOUND_POOL_SIZE + 1);
}

TEST_F(Manager, ShutdownUnloadsNewestFirstAndDropsPendingPlays) {
    sound_backend = {fake_unload, fake_load, fake_load, nullptr, nullptr,
                     nullptr,     fake_play, nullptr,   nullptr, fake_shutdown};
    sound_load(&vostrel_asset_click_wav, &a);
    sound_load(&vostrel_asset_boo_wav, &b);
    sound_play_delayed(&c, 0.1f);
    sound_play_delayed(&a, 0.2f);
    sound_shutdown();
    EXPECT_TRUE(fake.played.empty());
    EXPECT_EQ(fake.shutdowns, 1);
    ASSERT_EQ(fake.unloaded.size(), 7u); // two here, then the five interface sounds
    EXPECT_EQ(fake.unloaded[0], &b);
    EXPECT_EQ(fake.unloaded[1], &a);
    EXPECT_EQ(fake.unloaded[2], &sound_bubble);
    EXPECT_EQ(fake.unloaded[6], &sound_applause);
    EXPECT_EQ(sound_registry_count(), 0);
    EXPECT_EQ(sound_delayed_count(), 0);
    EXPECT_EQ(sound_pool_count(), 0);
    sound_update(1.0f);
    EXPECT_TRUE(fake.played.empty());
}

TEST_F(Manager, VolumeComesFromTheOptionsFileLowEightBits) {
    EXPECT_EQ(sound_volume, 255); // no option
    sound_shutdown();
    write_file("vostrel soundboard.conf", "[options]\nvolume\t2\t300\n\n");
    ASSERT_EQ(options_load(), 1);
    sound_init();
    EXPECT_EQ(sound_volume, 44);
}

// A "volume" of another type must neither reach the 4-byte volume (a string
// copied whole overran the stack) nor change it: the default stays, and the
// file's mistake is named in the log.
TEST_F(Manager, StringOrFloatVolumeKeepsTheDefaultAndWarns) {
    const char *files[] = {"[options]\nvolume\t3\tloud\n\n", "[options]\nvolume\t3\t3\n\n",
                           "[options]\nvolume\t1\t3.000000\n\n"};
    for (const char *text : files) {
        sound_shutdown();
        log_reset_for_test();
        write_file("vostrel soundboard.conf", text);
        ASSERT_EQ(options_load(), 1);
        sound_init();
        EXPECT_EQ(sound_volume, 255) << text;
        log_close();
        std::string log = read_file("vostrel soundboard_log.txt");
        EXPECT_EQ(count_of(log, "WARNING  ["), 1) << log;
        EXPECT_EQ(count_of(log, " volume "), 1) << "the warning names the key: " << log;
    }
}

TEST_F(Manager, MuteToggleRoundTripsAndWritesTheOptionsFile) {
    sound_shutdown();
    write_file("vostrel soundboard.conf", "[options]\nvolume\t2\t300\n\n");
    ASSERT_EQ(options_load(), 1);
    sound_init();
    sound_toggle_mute();
    EXPECT_EQ(sound_volume, 0);
    EXPECT_EQ(sound_saved_volume, 44);
    EXPECT_EQ(read_file("vostrel soundboard.conf"), "[options]\nvolume\t2\t0\n\n");
    sound_toggle_mute();
    EXPECT_EQ(sound_volume, 44);
    EXPECT_EQ(read_file("vostrel soundboard.conf"), "[options]\nvolume\t2\t44\n\n");
}

TEST_F(Manager, MutedFromTheFileUnmutesToTheInitialSavedVolume) {
    sound_shutdown();
    write_file("vostrel soundboard.conf", "[options]\nvolume\t0\t0\n\n");
    ASSERT_EQ(options_load(), 1);
    sound_init();
    EXPECT_EQ(sound_volume, 0);
    sound_toggle_mute();
    EXPECT_EQ(sound_volume, 255);
    EXPECT_EQ(read_file("vostrel soundboard.conf"), "[options]\nvolume\t2\t255\n\n");
}
