// Sound through a real PulseAudio server that goes away and comes back, as a
// desktop's sound server does when it restarts: a private server with a null
// sink, its monitor recorded with parec, the program tapped with xdotool.
// Also the device watch itself, in-process, with the dummy driver: a mixer
// that stops mixing is reopened, and sounds follow a change of format.
#include "support.h"
#include "tests/sound_servers.h"

#include "app/app.h"
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag_internal.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int WIDTH = 320, HEIGHT = 480;
constexpr int BYTES_PER_SECOND = SOUND_RATE * 4;

long file_size(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

// parec of a sink's monitor into a raw file (44100 Hz 16-bit stereo).
template <class Server>
pid_t start_recording(const Server &pulse, const std::string &path,
                      const std::string &sink = "tap") {
    return start_sink_recording(pulse.env(), sink, path, 44100);
}

// The byte of the recording's first audible sample from byte `from` on; -1 if none.
long first_audible_byte(const std::string &path, long from) {
    std::vector<uint8_t> b = read_bytes(path);
    for (size_t i = static_cast<size_t>(from) & ~size_t{1}; i + 1 < b.size(); i += 2) {
        int16_t s = static_cast<int16_t>(b[i] | (b[i + 1] << 8));
        if (s > 200 || s < -200) return static_cast<long>(i);
    }
    return -1;
}

bool audible_since(const std::string &path, long from) {
    return first_audible_byte(path, from) >= 0;
}

struct Tapper {
    std::string window;
    void tap(int slot) const {
        PixelBox box = board_button_box(slot, WIDTH, HEIGHT);
        if (xdotool_tap(window, box.centre_x(), box.centre_y(), "0.05") != 0)
            ADD_FAILURE() << "xdotool tap in " << window << " at " << box.centre_x() << ","
                          << box.centre_y();
    }
};

// A tap, then up to `ms` for the recording to hold sound from the tap on.
bool tap_heard(const Tapper &t, int slot, const std::string &recording, int ms) {
    long mark = file_size(recording);
    t.tap(slot);
    for (int waited = 0; waited < ms; waited += 50) {
        pause_ms(50);
        if (audible_since(recording, mark)) return true;
    }
    return false;
}

// The slot whose clip is longest: it sounds well past the tap.
int loud_slot() {
    std::vector<std::vector<int16_t>> clips = board_clip_samples();
    std::vector<int> order = board_display_order();
    int best = 0;
    for (int s = 1; s < BOARD_BUTTONS; s++)
        if (clips[order[s]].size() > clips[order[best]].size()) best = s;
    return best;
}

// The program on a running sound server, tapped; the server killed, down
// four seconds, started again; a tap must be heard within three seconds of
// its return.
// With `args`, the program plays on `sink`; the other sink, when the server
// has two, must stay silent before the restart and after it.
template <class Server>
void sound_comes_back(Server &pulse, const TempDir &dir, const char *name,
                      std::vector<std::string> args = {}, const std::string &sink = "tap") {
    const int slot = loud_slot();
    const std::string *elsewhere = nullptr;
    for (const std::string &s : pulse.sinks)
        if (s != sink) elsewhere = &s;

    std::string first = dir.file("first.raw"), first_elsewhere = dir.file("first_elsewhere.raw");
    ChildGuard recorder(start_recording(pulse, first, sink));
    ChildGuard recorder_elsewhere(elsewhere ? start_recording(pulse, first_elsewhere, *elsewhere)
                                            : -1);
    std::vector<std::string> env = pulse.env();
    env.push_back("SDL_AUDIODRIVER=pulse");
    args.insert(args.begin(), {"--log-level", "3"});
    pid_t pid = program_start(args, env, dir.file("stderr.txt"));
    ChildGuard program(pid);
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    const std::string w = program_window(pid, 20000);
    ASSERT_NE(w, "") << read_file(dir.file("stderr.txt"));
    ASSERT_EQ(sdl_implementation_mismatch(pid), "");
    Tapper tapper{w};
    pause_ms(500);
    // A fresh server's first stream may take a moment to flow: taps until
    // one is heard.
    bool heard = false;
    for (double start = seconds_now(); !heard && seconds_now() - start < 5.0;)
        heard = tap_heard(tapper, slot, first, 500);
    ASSERT_TRUE(heard) << "no sound before the restart";

    // Down long enough for the program to notice and fail to reopen a few
    // times: the attempts themselves must not spoil the later ones.
    pulse.kill_now();
    program_wait(recorder.pid, 5);
    if (elsewhere) program_wait(recorder_elsewhere.pid, 5);
    pause_ms(4000);
    ASSERT_TRUE(program_running(pid))
        << "the program ended while the server was down:\n"
        << read_file(dir.file("stderr.txt")) << read_file(dir.file("vostrel soundboard_log.txt"));
    ASSERT_TRUE(pulse.start()) << pulse.logs();
    const double back = seconds_now();
    std::string second = dir.file("second.raw"),
                second_elsewhere = dir.file("second_elsewhere.raw");
    ChildGuard recorder2(start_recording(pulse, second, sink));
    ChildGuard recorder2_elsewhere(elsewhere ? start_recording(pulse, second_elsewhere, *elsewhere)
                                             : -1);
    // The recorder is a new client of the new server too: PipeWire lets a
    // new stream flow only a second or two after it connects (parec and the
    // program alike), PulseAudio at once. The three seconds are counted from
    // when the recorder can hear.
    while (file_size(second) == 0 && seconds_now() - back < 8)
        pause_ms(10);
    const double flowing = seconds_now();

    // Taps until one is heard; the first heard must come within three
    // seconds of the recorder's start.
    double heard_at = -1;
    while (heard_at < 0 && seconds_now() - flowing < 3.0)
        if (tap_heard(tapper, slot, second, 250)) heard_at = seconds_now() - back;
    printf("%s: server back -> recorder flowing %.2f s -> first audible tap %.2f s\n", name,
           flowing - back, heard_at);
    EXPECT_GE(heard_at, 0) << "no tap heard within 3 s of the recorder's start";
    ASSERT_TRUE(program_running(pid))
        << "the program ended after the server came back:\n"
        << read_file(dir.file("stderr.txt")) << read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_EQ(program_terminate(pid, 10), 0) << read_file(dir.file("stderr.txt"));

    // Every release sets the log threshold to WARNING; the loss and the
    // return are logged (once each) all the same.
    std::string log = read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_EQ(count_of(log, "Audio device lost"), 1) << log;
    EXPECT_EQ(count_of(log, "Audio device back"), 1) << log;
    if (elsewhere) {
        EXPECT_FALSE(audible_since(first_elsewhere, 0))
            << "heard on " << *elsewhere << " from "
            << first_audible_byte(first_elsewhere, 0) / double(BYTES_PER_SECOND) << " s of "
            << file_size(first_elsewhere) / double(BYTES_PER_SECOND) << " s recorded\n"
            << log << read_file(dir.file("stderr.txt")) << pulse.logs();
        EXPECT_FALSE(audible_since(second_elsewhere, 0))
            << "heard on " << *elsewhere << " after the restart";
    }
}

TEST(PulseAudio, SoundComesBackAfterTheServerRestarts) {
    if (std::string missing = pulse_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PulseServer pulse(dir.path);
    if (!pulse.start()) GTEST_SKIP() << "pulseaudio cannot run here: " << pulse.logs();
    sound_comes_back(pulse, dir, "pulseaudio");
}

TEST(PipeWire, SoundComesBackAfterTheServerRestarts) {
    if (std::string missing = pipewire_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PipeWireServer pipewire(dir.path);
    if (!pipewire.start()) GTEST_SKIP() << "pipewire cannot run here: " << pipewire.logs();
    sound_comes_back(pipewire, dir, "pipewire");
}

// Low latency on a named sink of two: the device's loss and reopen keep both.
TEST(PulseAudio, SoundComesBackOnTheNamedSinkInLowLatency) {
    if (std::string missing = pulse_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PulseServer pulse(dir.path, {"tap", "other"});
    if (!pulse.start()) GTEST_SKIP() << "pulseaudio cannot run here: " << pulse.logs();
    sound_comes_back(pulse, dir, "pulseaudio, low latency, sink other",
                     {"--latency", "low", "--audio-device", "other"}, "other");
}

TEST(PipeWire, SoundComesBackOnTheNamedSinkInLowLatency) {
    if (std::string missing = pipewire_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PipeWireServer pipewire(dir.path, {"tap", "other"});
    if (!pipewire.start()) GTEST_SKIP() << "pipewire cannot run here: " << pipewire.logs();
    sound_comes_back(pipewire, dir, "pipewire, low latency, sink other",
                     {"--latency", "low", "--audio-device", "other"}, "other");
}

// What the program prints for --list-audio-devices (exit status first).
template <class Server>
std::pair<int, std::string> device_list(const Server &server, const TempDir &dir) {
    std::string cmd;
    for (const std::string &e : server.env())
        cmd += e.substr(0, e.find('=') + 1) + "'" + e.substr(e.find('=') + 1) + "' ";
    cmd += std::string(program_emulator) + "'" + VOSTREL_BINARY + "' --list-audio-devices > '" +
           dir.file("list.txt") + "'";
    int status = run_command(cmd);
    return {status, read_file(dir.file("list.txt"))};
}

// Two sinks: the one named plays, the other stays silent; a name that is no
// sink is one warning naming it and the sinks there are, and the default
// sink plays. PulseAudio's null sinks share one description ("Null Output"),
// as two like speakers do, which SDL 2 beneath sdl12-compat lists numbered.
template <class Server> void sound_on_the_named_sink(Server &server, const TempDir &dir) {
    auto [status, list] = device_list(server, dir);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count_of("\n" + list, "\ntap"), 1) << list;
    EXPECT_EQ(count_of("\n" + list, "\nother"), 1) << list;

    const int slot = loud_slot();
    std::vector<std::string> env = server.env();
    env.push_back("SDL_AUDIODRIVER=pulse");
    const char *names[2] = {"other", "nosuch"};
    for (int run = 0; run < 2; run++) {
        const std::string heard_on = run == 0 ? "other" : "tap",
                          silent_on = run == 0 ? "tap" : "other";
        std::string on = dir.file(std::to_string(run) + heard_on + ".raw"),
                    off = dir.file(std::to_string(run) + silent_on + ".raw");
        ChildGuard rec_on(start_recording(server, on, heard_on));
        ChildGuard rec_off(start_recording(server, off, silent_on));
        std::string log_path = dir.file("vostrel soundboard_log.txt");
        unlink(log_path.c_str());
        pid_t pid = program_start({"--audio-device", names[run]}, env, dir.file("stderr.txt"));
        ChildGuard program(pid);
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
        const std::string w = program_window(pid, 20000);
        ASSERT_NE(w, "") << read_file(dir.file("stderr.txt"));
        ASSERT_EQ(sdl_implementation_mismatch(pid), "");
        Tapper tapper{w};
        pause_ms(500);
        bool heard = false;
        for (double start = seconds_now(); !heard && seconds_now() - start < 6.0;)
            heard = tap_heard(tapper, slot, on, 500);
        EXPECT_TRUE(heard) << "--audio-device " << names[run] << ": nothing on " << heard_on;
        pause_ms(300);
        EXPECT_FALSE(audible_since(off, 0))
            << "--audio-device " << names[run] << ": heard on " << silent_on;
        EXPECT_EQ(program_terminate(pid, 10), 0);
        std::string log = read_file(log_path);
        if (run == 0) {
            EXPECT_EQ(count_of(log, "Audio device \""), 0) << log;
        } else {
            EXPECT_EQ(count_of(log, "Audio device \""), 1) << log;
            size_t at = log.find("\"nosuch\"");
            ASSERT_NE(at, std::string::npos) << log;
            size_t start = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
            std::string line = log.substr(start, log.find('\n', at) - start);
            EXPECT_EQ(line.rfind("WARNING ", 0), 0u) << line;
            EXPECT_NE(line.find("tap"), std::string::npos) << line;
            EXPECT_NE(line.find("other"), std::string::npos) << line;
        }
    }
}

TEST(PulseAudio, SoundPlaysOnTheNamedSinkOnly) {
    if (std::string missing = pulse_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PulseServer pulse(dir.path, {"tap", "other"});
    if (!pulse.start()) GTEST_SKIP() << "pulseaudio cannot run here: " << pulse.logs();
    sound_on_the_named_sink(pulse, dir);
}

// SDL 2's own PipeWire driver (beneath sdl12-compat) lists a server's sinks
// by their descriptions and passes over a sink that has none, as the null
// sinks here: the name must then not reach SDL 2, whose open would fail and
// leave the board silent. One WARNING names the sink; the default one plays.
TEST(PipeWire, ASinkSdl2DoesNotListIsOneWarningAndTheDefaultPlays) {
    if (std::string missing = pipewire_missing(); !missing.empty())
        GTEST_SKIP() << missing << " is not installed (tools/setup.sh installs it)";
    const SDL_version *linked = SDL_Linked_Version();
    if (linked->patch < 50) GTEST_SKIP() << "classic SDL 1.2 has no PipeWire driver";
    TempDir dir;
    PipeWireServer pipewire(dir.path, {"tap", "other"});
    if (!pipewire.start()) GTEST_SKIP() << "pipewire cannot run here: " << pipewire.logs();
    std::string on = dir.file("tap.raw"), off = dir.file("other.raw");
    ChildGuard rec_on(start_recording(pipewire, on, "tap"));
    ChildGuard rec_off(start_recording(pipewire, off, "other"));
    std::vector<std::string> env = pipewire.env();
    env.push_back("SDL_AUDIODRIVER=pipewire");
    pid_t pid = program_start({"--audio-device", "other"}, env, dir.file("stderr.txt"));
    ChildGuard program(pid);
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    const std::string w = program_window(pid, 20000);
    ASSERT_NE(w, "") << read_file(dir.file("stderr.txt"))
                     << read_file(dir.file("vostrel soundboard_log.txt"));
    Tapper tapper{w};
    pause_ms(500);
    bool heard = false;
    for (double start = seconds_now(); !heard && seconds_now() - start < 6.0;)
        heard = tap_heard(tapper, loud_slot(), on, 500);
    EXPECT_TRUE(heard) << "nothing on the default sink\n"
                       << read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_FALSE(audible_since(off, 0)) << "heard on other";
    EXPECT_EQ(program_terminate(pid, 10), 0);
    std::string log = read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_EQ(count_of(log, "Audio device \""), 1) << log;
    size_t at = log.find("Audio device \"other\"");
    ASSERT_NE(at, std::string::npos) << log;
    size_t start = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
    EXPECT_EQ(log.compare(start, 8, "WARNING "), 0)
        << log.substr(start, log.find('\n', at) - start);
}

// In-process: the dummy driver's mixing is paused to stand for a device
// that stopped. The watch's clock is the dt it is handed (steps of 1/8 s,
// exact in binary), so the pauses between attempts are counted exactly.
struct DeviceWatch : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        log_threshold = LOG_INFO;
    }
    void TearDown() override {
        Mix_CloseAudio();
        SDL_Quit();
        log_reset_for_test();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    static constexpr float STEP = 0.125f;
    // Updates over `seconds` of the watch's clock, at once.
    static void run_for(float seconds) {
        for (float t = 0; t < seconds; t += STEP)
            sound_device_update(STEP);
    }
    // Updates over `seconds` of real time, the mixer's thread running.
    static void live_for(float seconds) {
        for (float t = 0; t < seconds; t += STEP) {
            pause_ms(125);
            sound_device_update(STEP);
        }
    }
    // Mixing stops, and one update sees the count's last move: the watch's
    // stall clock then stands at 0 or one step.
    static void stop_mixing() {
        SDL_PauseAudio(1);
        pause_ms(150); // a buffer being mixed is finished
        sound_device_update(STEP);
    }
    static std::string log() { return read_file("vostrel soundboard_log.txt"); }
};

// The device gave 22050 Hz for a 44100 Hz request and comes back at 44100:
// the chunk keeps its handle and now holds the clip at 44100 Hz, sample for
// sample as a fresh decode at that rate has it.
TEST_F(DeviceWatch, AStoppedMixerIsReopenedAndSoundsFollowTheNewFormat) {
    std::vector<std::vector<int16_t>> reference = board_clip_samples(); // 44100 Hz stereo
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(
        Mix_OpenAudio(SOUND_RATE / 2, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS, SOUND_CHUNK_FRAMES), 0)
        << Mix_GetError();
    sound_backend_init();
    SoundRecord rec;
    ASSERT_TRUE(sound_mixer_load(board_clips[0], &rec));
    Mix_Chunk *handle = rec.chunk;
    const size_t at_22050 = rec.chunk->alen;
    sound_device_watch(SOUND_RATE, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS, SOUND_CHUNK_FRAMES);

    live_for(3.0f);
    EXPECT_EQ(sound_device_lost(), 0) << "a mixing device is left alone";
    EXPECT_EQ(count_of(log(), "Audio device"), 0) << log();

    stop_mixing();
    run_for(2.75f);
    EXPECT_EQ(count_of(log(), "Audio device lost"), 0) << "2.875 s without mixing is no loss yet";
    run_for(0.25f);
    EXPECT_EQ(count_of(log(), "Audio device lost"), 1) << log();
    EXPECT_EQ(sound_device_lost(), 0) << "reopened at once";
    EXPECT_EQ(sound_device_attempts(), 1);
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_TRUE(Mix_QuerySpec(&frequency, &format, &channels));
    EXPECT_EQ(frequency, 44100);

    EXPECT_EQ(rec.chunk, handle);
    ASSERT_EQ(rec.chunk->alen, reference[0].size() * 2) << "was " << at_22050 << " bytes";
    EXPECT_EQ(memcmp(rec.chunk->abuf, reference[0].data(), rec.chunk->alen), 0);
    EXPECT_TRUE(sound_mixer_play(&rec, nullptr, 0));
    EXPECT_TRUE(sound_mixer_is_playing(&rec));

    live_for(2.0f);
    EXPECT_EQ(sound_device_lost(), 0);
    EXPECT_EQ(count_of(log(), "WARNING "), 1) << log();
    EXPECT_EQ(count_of(log(), "Audio device lost"), 1) << log();
    EXPECT_EQ(count_of(log(), "Audio device back"), 1) << log();
}

// While the device cannot be opened, attempts come after growing pauses
// (at once, then 0.25 s later and every 0.5 s), not on every update; a tap
// meanwhile plays nothing (the closed mixer has no channels to touch).
TEST_F(DeviceWatch, ReopeningBacksOff) {
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_TRUE(sound_mixer_open(SOUND_CHUNK_FRAMES)) << Mix_GetError();
    sound_backend_init();
    SoundRecord rec;
    ASSERT_TRUE(sound_mixer_load(board_clips[0], &rec));
    ASSERT_TRUE(sound_mixer_play(&rec, nullptr, 1));
    live_for(1.0f); // mixing steadily
    stop_mixing();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    run_for(3.0f); // the loss, and the first attempt with it
    EXPECT_EQ(sound_device_lost(), 1);
    EXPECT_EQ(sound_device_attempts(), 1);
    EXPECT_FALSE(sound_mixer_is_playing(&rec));
    EXPECT_FALSE(sound_mixer_play(&rec, nullptr, 0));
    EXPECT_TRUE(sound_mixer_stop(&rec));
    run_for(5.0f); // ten more: 0.25, 0.75, ... 4.75 s after the first
    EXPECT_EQ(sound_device_attempts(), 11);
    EXPECT_EQ(count_of(log(), "WARNING "), 1) << "one warning however long it takes";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    run_for(0.5f);
    EXPECT_EQ(sound_device_lost(), 0) << "a failed attempt does not spoil the next";
    EXPECT_EQ(count_of(log(), "Audio device back after 12 attempts"), 1) << log();
}

} // namespace
