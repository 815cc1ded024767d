// Sound through a real PulseAudio server that goes away and comes back, as a
// desktop's sound server does when it restarts: a private server with a null
// sink, its monitor recorded with parec, the program tapped with xdotool.
// Also the device watch itself, in-process, with the dummy driver: a mixer
// that stops mixing is reopened, and sounds follow a change of format.
#include "support.h"

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

#include <algorithm>

namespace {

constexpr int WIDTH = 320, HEIGHT = 480;
constexpr int BYTES_PER_SECOND = SOUND_RATE * 4;

long file_size(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

const char PULSEAUDIO[] = "/usr/bin/pulseaudio";
const char PAREC[] = "/usr/bin/parec";

// A private PulseAudio server in dir: a null sink "tap" as the default sink
// and a native socket of its own. Root is refused unless the server is told
// it runs as a system instance; --system brings its own checks, so the
// server runs as an ordinary per-user instance under a private HOME.
struct PulseServer {
    const TempDir &dir;
    pid_t pid = -1;
    explicit PulseServer(const TempDir &d) : dir(d) {
        write_file(dir.file("server.pa"),
                   "load-module module-null-sink sink_name=tap\n"
                   "set-default-sink tap\n"
                   "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                       dir.file("native") + "\n");
    }
    std::string server() const { return "unix:" + dir.file("native"); }
    std::vector<std::string> env() const {
        return {"HOME=" + dir.path, "XDG_RUNTIME_DIR=" + dir.path, "PULSE_SERVER=" + server()};
    }
    // Started and answering a client; false if not within five seconds.
    bool start() {
        unlink(dir.file("native").c_str());
        pid = program_start_binary(PULSEAUDIO,
                                   {"-n", "--daemonize=no", "--exit-idle-time=-1",
                                    "--disable-shm=yes", "-F", dir.file("server.pa")},
                                   env(), dir.file("pulse.log"));
        for (int i = 0; i < 100; i++) {
            if (!program_running(pid)) return false;
            if (file_exists(dir.file("native"))) return true;
            pause_ms(50);
        }
        return false;
    }
    void kill_now() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        program_wait(pid, 5);
        pid = -1;
    }
    ~PulseServer() { kill_now(); }
};

const char PIPEWIRE[] = "/usr/bin/pipewire";
const char PIPEWIRE_PULSE[] = "/usr/bin/pipewire-pulse";
const char WIREPLUMBER[] = "/usr/bin/wireplumber";
const char DBUS_DAEMON[] = "/usr/bin/dbus-daemon";

// A private PipeWire, as Debian 13 and Raspberry Pi OS run it: pipewire with
// a null sink "tap" of its own configuration, wireplumber (which needs a
// session bus: a private dbus-daemon) and pipewire-pulse, whose socket the
// program and parec talk to. Restarting it restarts all four.
struct PipeWireServer {
    const TempDir &dir;
    std::vector<pid_t> pids;
    explicit PipeWireServer(const TempDir &d) : dir(d) {
        mkdir(dir.file("run").c_str(), 0700);
        mkdir(dir.file("config").c_str(), 0755);
        mkdir(dir.file("config/pipewire").c_str(), 0755);
        mkdir(dir.file("config/pipewire/pipewire.conf.d").c_str(), 0755);
        write_file(
            dir.file("config/pipewire/pipewire.conf.d/tap.conf"),
            "context.objects = [\n"
            "  { factory = adapter\n"
            "    args = { factory.name = support.null-audio-sink node.name = \"tap\"\n"
            "             media.class = \"Audio/Sink\" audio.position = [ FL FR ]\n"
            "             object.linger = true node.driver = true priority.driver = 8000 } }\n"
            "]\n");
    }
    std::string server() const { return "unix:" + dir.file("run/pulse/native"); }
    std::vector<std::string> env() const {
        return {"HOME=" + dir.path, "XDG_RUNTIME_DIR=" + dir.file("run"),
                "XDG_CONFIG_HOME=" + dir.file("config"),
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("run/bus"),
                "PULSE_SERVER=" + server()};
    }
    // Started and its pulse socket answering; false if not within ten seconds.
    bool start() {
        unlink(dir.file("run/bus").c_str());
        unlink(dir.file("run/pulse/native").c_str());
        pids.push_back(program_start_binary(
            DBUS_DAEMON, {"--session", "--nofork", "--address=unix:path=" + dir.file("run/bus")},
            env(), dir.file("dbus.log")));
        for (int i = 0; i < 100 && !file_exists(dir.file("run/bus")); i++)
            pause_ms(20);
        pids.push_back(program_start_binary(PIPEWIRE, {}, env(), dir.file("pipewire.log")));
        pause_ms(300);
        pids.push_back(program_start_binary(WIREPLUMBER, {}, env(), dir.file("wireplumber.log")));
        pids.push_back(program_start_binary(PIPEWIRE_PULSE, {}, env(), dir.file("pulse.log")));
        for (int i = 0; i < 200; i++) {
            for (pid_t p : pids)
                if (!program_running(p)) return false;
            if (file_exists(dir.file("run/pulse/native")) && sink_listed()) return true;
            pause_ms(50);
        }
        return false;
    }
    // pipewire-pulse lists the sink once wireplumber has taken it in.
    bool sink_listed() const {
        std::string cmd = "PULSE_SERVER='" + server() + "' XDG_RUNTIME_DIR='" + dir.file("run") +
                          "' pactl list short sinks 2>/dev/null";
        FILE *p = popen(cmd.c_str(), "r");
        if (!p) return false;
        char line[256];
        bool found = false;
        while (fgets(line, sizeof line, p))
            found = found || strstr(line, "\ttap\t") != nullptr;
        pclose(p);
        return found;
    }
    void kill_now() {
        for (pid_t p : pids) {
            kill(p, SIGKILL);
            program_wait(p, 5);
        }
        pids.clear();
    }
    std::string logs() const {
        return read_file(dir.file("pipewire.log")) + read_file(dir.file("wireplumber.log")) +
               read_file(dir.file("pulse.log"));
    }
    ~PipeWireServer() { kill_now(); }
};

// parec of the sink's monitor into a raw file (44100 Hz 16-bit stereo).
template <class Server> pid_t start_recording(const Server &pulse, const std::string &path) {
    return program_start_binary("/bin/sh",
                                {"-c", std::string("exec ") + PAREC +
                                           " --device=tap.monitor --raw --format=s16le "
                                           "--rate=44100 --channels=2 > '" +
                                           path + "'"},
                                pulse.env());
}

// Whether the recording holds audible samples from byte `from` on.
bool audible_since(const std::string &path, long from) {
    std::vector<uint8_t> b = read_bytes(path);
    for (size_t i = static_cast<size_t>(from) & ~size_t{1}; i + 1 < b.size(); i += 2) {
        int16_t s = static_cast<int16_t>(b[i] | (b[i + 1] << 8));
        if (s > 200 || s < -200) return true;
    }
    return false;
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
template <class Server> void sound_comes_back(Server &pulse, const TempDir &dir, const char *name) {
    const int slot = loud_slot();

    std::string first = dir.file("first.raw");
    ChildGuard recorder(start_recording(pulse, first));
    std::vector<std::string> env = pulse.env();
    env.push_back("SDL_AUDIODRIVER=pulse");
    pid_t pid = program_start({"--log-level", "3"}, env, dir.file("stderr.txt"));
    ChildGuard program(pid);
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    Window w = xwindow_wait(d, "Vostrel Soundboard", 20000, [pid] { return program_running(pid); });
    XCloseDisplay(d);
    ASSERT_NE(w, 0u) << read_file(dir.file("stderr.txt"));
    ASSERT_EQ(sdl_implementation_mismatch(pid), "");
    Tapper tapper{std::to_string(w)};
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
    pause_ms(4000);
    ASSERT_TRUE(program_running(pid))
        << "the program ended while the server was down:\n"
        << read_file(dir.file("stderr.txt")) << read_file(dir.file("vostrel soundboard_log.txt"));
    ASSERT_TRUE(pulse.start()) << read_file(dir.file("pulse.log"));
    const double back = seconds_now();
    std::string second = dir.file("second.raw");
    ChildGuard recorder2(start_recording(pulse, second));
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
    EXPECT_EQ(program_terminate(pid, 10), 0);

    // Every release sets the log threshold to WARNING; the loss and the
    // return are logged (once each) all the same.
    std::string log = read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_EQ(count_of(log, "Audio device lost"), 1) << log;
    EXPECT_EQ(count_of(log, "Audio device back"), 1) << log;
}

TEST(PulseAudio, SoundComesBackAfterTheServerRestarts) {
    if (access(PULSEAUDIO, X_OK) != 0 || access(PAREC, X_OK) != 0)
        GTEST_SKIP() << "pulseaudio and parec are not installed (tools/setup.sh installs them)";
    TempDir dir;
    PulseServer pulse(dir);
    if (!pulse.start())
        GTEST_SKIP() << "pulseaudio cannot run here: " << read_file(dir.file("pulse.log"));
    sound_comes_back(pulse, dir, "pulseaudio");
}

TEST(PipeWire, SoundComesBackAfterTheServerRestarts) {
    for (const char *p : {PIPEWIRE, PIPEWIRE_PULSE, WIREPLUMBER, DBUS_DAEMON, PAREC})
        if (access(p, X_OK) != 0)
            GTEST_SKIP() << p << " is not installed (tools/setup.sh installs it)";
    TempDir dir;
    PipeWireServer pipewire(dir);
    if (!pipewire.start()) GTEST_SKIP() << "pipewire cannot run here: " << pipewire.logs();
    sound_comes_back(pipewire, dir, "pipewire");
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
    ASSERT_EQ(Mix_OpenAudio(SOUND_RATE / 2, SOUND_FORMAT, SOUND_OUTPUT_CHANNELS, SOUND_CHUNK_FRAMES), 0)
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
