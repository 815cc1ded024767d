// Tests for the main loop's rules, driven turn by turn through real SDL events
// in a real window, with a clock and a sleep the test controls.
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/render/render.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>
#include <vostrel/shell/shell.h>
#include "support.h"
#include <vostrel/shell/shell_internal.h>
#include <vostrel/input/input_internal.h>

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <math.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<int> sleeps;

void record_sleep(int ms) { sleeps.push_back(ms); }

// One window and one initialisation chain for the whole program, as in a run.
struct LoopTest : ::testing::Test {
    static std::unique_ptr<TempDir> dir;
    static bool started;
    static int start_vertices, start_sounds;

    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>();
        if (!shell_test_begin(record_sleep)) return;
        shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
        started = SDL_GetVideoSurface() != nullptr && !quit_requested;
        start_vertices = vertex_store_count();
        start_sounds = sound_registry_count();
    }
    static void TearDownTestSuite() {
        shell_test_end();
        dir.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(started) << SDL_GetError();
        quit_requested = 0;
        paused = 0;
        drain();
        fake_now = 100.0f;
        last_update_time = fake_now;
        sleeps.clear();
    }
    // Throws away whatever the window system queued, so a turn sees only
    // what the test pushes.
    static void drain() {
        SDL_Event e;
        SDL_PumpEvents();
        while (SDL_PollEvent(&e)) {
        }
    }
    static void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 0); }
    static void push_active(int state, int gain) {
        SDL_Event e = {};
        e.type = SDL_ACTIVEEVENT;
        e.active.state = static_cast<Uint8>(state);
        e.active.gain = static_cast<Uint8>(gain);
        push(e);
    }
    static void push_type(Uint8 type) {
        SDL_Event e = {};
        e.type = type;
        push(e);
    }
    // Pauses through the event, as the window system would.
    void pause_now() {
        push_active(SDL_APPACTIVE, 0);
        ASSERT_TRUE(shell_turn());
        ASSERT_EQ(paused, 1);
        sleeps.clear();
        drain();
    }
};

std::unique_ptr<TempDir> LoopTest::dir;
bool LoopTest::started;
int LoopTest::start_vertices;
int LoopTest::start_sounds;

TEST_F(LoopTest, UpdatesAreRateLimitedAndGetTheRealElapsedTime) {
    int updates = shell_updates_run(), frames = shell_frames_drawn();

    fake_now = 100.01f; // less than 1/30 s
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates) << "no update yet";
    EXPECT_EQ(shell_frames_drawn(), frames + 1) << "but a frame all the same";
    EXPECT_EQ(sleeps, std::vector<int>({20}));

    fake_now = 100.2f; // a slow turn
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 1) << "exactly one update, no catching up";
    EXPECT_NEAR(shell_last_update_dt(), 0.2f, 1e-4);
    EXPECT_EQ(last_update_time, 100.2f);
    EXPECT_EQ(shell_frames_drawn(), frames + 2);

    fake_now = 100.22f;
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 1);

    fake_now = 105.0f; // far behind: still one update with the whole gap
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 2);
    EXPECT_NEAR(shell_last_update_dt(), 4.8f, 1e-3);
    EXPECT_EQ(sleeps, std::vector<int>({20, 20, 20, 20}));
}

TEST_F(LoopTest, UpdateRunsOnceTheIntervalIsReachedExactly) {
    last_update_time = 0.0f;
    fake_now = 0.033f;
    int updates = shell_updates_run();
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates);
    fake_now = 1.0f / 30.0f; // last + 1/30 is not greater than now
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 1);
}

TEST_F(LoopTest, LosingActivityPausesFromTheNextTurn) {
    int frames = shell_frames_drawn(), updates = shell_updates_run();
    push_active(SDL_APPINPUTFOCUS | SDL_APPMOUSEFOCUS, 0); // focus only: ignored
    push_active(SDL_APPACTIVE, 1);                         // gain while running: ignored
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 0);

    push_active(SDL_APPACTIVE | SDL_APPINPUTFOCUS, 0);
    fake_now = 100.5f;
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(shell_updates_run(), updates + 1) << "the rest of the turn still runs";
    EXPECT_EQ(shell_frames_drawn(), frames + 2);
    EXPECT_EQ(sleeps, std::vector<int>({20, 20}));

    // Paused turns block on one event and sleep half a second; no update or frame.
    sleeps.clear();
    fake_now = 200.0f;
    push_type(SDL_USEREVENT);
    ASSERT_TRUE(shell_turn());
    push_active(SDL_APPINPUTFOCUS, 1); // focus regained but not activity
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(shell_updates_run(), updates + 1);
    EXPECT_EQ(shell_frames_drawn(), frames + 2);
    EXPECT_EQ(sleeps, std::vector<int>({500, 500}));
}

// Hidden and shown again within one drain (the window system was quicker
// than the turn): the loop keeps running. Paused there, it would wait for a
// gain that already came, frozen while visible and deaf to quit requests.
TEST_F(LoopTest, ActivityLostAndRegainedInOneDrainKeepsRunning) {
    int frames = shell_frames_drawn();
    push_active(SDL_APPACTIVE, 0);
    push_active(SDL_APPACTIVE, 1);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 0);
    push_type(SDL_QUIT);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(quit_requested, 1);
    EXPECT_EQ(shell_frames_drawn(), frames + 2);
    EXPECT_EQ(sleeps, std::vector<int>({20, 20}));
}

TEST_F(LoopTest, RegainingActivityResumesWithTheClockReset) {
    pause_now();
    int frames = shell_frames_drawn(), updates = shell_updates_run();

    fake_now = 160.0f; // a minute in the background
    push_active(SDL_APPACTIVE, 1);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 0);
    EXPECT_EQ(last_update_time, 160.0f);
    EXPECT_EQ(shell_frames_drawn(), frames + 1) << "one frame at once";
    EXPECT_EQ(shell_updates_run(), updates);
    EXPECT_EQ(sleeps, std::vector<int>({500}));

    fake_now = 160.05f;
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 1);
    EXPECT_NEAR(shell_last_update_dt(), 0.05f, 1e-4) << "the paused minute is not handed on";
    EXPECT_EQ(sleeps, std::vector<int>({500, 20}));
}

// A hidden window must not make the program deaf to SIGTERM (SDL turns it
// into SDL_QUIT): the paused turn ends the loop without its half-second sleep.
TEST_F(LoopTest, QuitEndsTheLoopWhilePausedAndWhileRunning) {
    pause_now();
    int paused_frames = shell_frames_drawn();
    push_type(SDL_QUIT);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(quit_requested, 1);
    EXPECT_EQ(sleeps, std::vector<int>({})) << "no sleep once the quit is seen";
    EXPECT_FALSE(shell_turn());
    EXPECT_EQ(shell_frames_drawn(), paused_frames);

    quit_requested = 0;
    push_active(SDL_APPACTIVE, 1);
    ASSERT_TRUE(shell_turn());
    ASSERT_EQ(paused, 0);
    sleeps.clear();

    int frames = shell_frames_drawn(), updates = shell_updates_run();
    push_type(SDL_QUIT);
    fake_now = last_update_time + 0.1f;
    EXPECT_TRUE(shell_turn()) << "the turn that sees the quit runs to its end";
    EXPECT_EQ(quit_requested, 1);
    EXPECT_EQ(shell_updates_run(), updates + 1);
    EXPECT_EQ(shell_frames_drawn(), frames + 1);
    EXPECT_EQ(sleeps, std::vector<int>({20}));

    fake_now += 1.0f;
    EXPECT_FALSE(shell_turn());
    EXPECT_EQ(shell_updates_run(), updates + 1) << "nothing more after the quit";
    EXPECT_EQ(shell_frames_drawn(), frames + 1);
    EXPECT_EQ(sleeps, std::vector<int>({20}));
}

TEST_F(LoopTest, ExposeRedrawsOnlyWhilePaused) {
    int frames = shell_frames_drawn();
    push_type(SDL_VIDEOEXPOSE);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_frames_drawn(), frames + 1) << "running: just the turn's own frame";

    pause_now();
    frames = shell_frames_drawn();
    push_type(SDL_VIDEOEXPOSE);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_frames_drawn(), frames + 1);
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(sleeps, std::vector<int>({500}));
}

TEST_F(LoopTest, ResizesRebuildTheGlSideOnly) {
    // An unsaved setting would be lost if a resize reloaded the options.
    int32_t marker = 1234;
    options_set("test", "unsaved", OPTION_INT, &marker);
    const std::string complete = "] Initialization Complete\n";
    ASSERT_EQ(count_of(log_contents(), complete), 1);

    const int sizes[][2] = {{320, 480}, {480, 320}, {320, 480}, {320, 480}};
    for (const auto &size : sizes) {
        SDL_Event e = {};
        e.type = SDL_VIDEORESIZE;
        e.resize.w = size[0];
        e.resize.h = size[1];
        push(e);
        int frames = shell_frames_drawn();
        ASSERT_TRUE(shell_turn());
        ASSERT_EQ(quit_requested, 0) << SDL_GetError();
        SDL_Surface *surface = SDL_GetVideoSurface();
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(surface->w, size[0]);
        EXPECT_EQ(surface->h, size[1]);
        EXPECT_EQ(rect_width(&screen_rect), static_cast<float>(size[0]));
        EXPECT_EQ(fabsf(rect_height(&screen_rect)), static_cast<float>(size[1]));
        EXPECT_EQ(vertex_store_count(), start_vertices) << "vertex store rebuilt, not appended to";
        EXPECT_EQ(sound_registry_count(), start_sounds) << "sounds are not loaded again";
        EXPECT_EQ(shell_frames_drawn(), frames + 1) << "the new context draws";
    }
    int32_t got = 0;
    EXPECT_EQ(options_get("test", "unsaved", OPTION_INT, &got, sizeof got), 1);
    EXPECT_EQ(got, 1234);
    EXPECT_EQ(count_of(log_contents(), complete), 1) << "the chain did not run again";
    options_remove_section("test");
    options_changed = 0;
}

// Watched descriptors: pipes whose callbacks record what they were called with.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fd), 0); }
    ~Pipe() {
        shell_unwatch_fd(fd[0]);
        close_writer();
        if (fd[0] >= 0) close(fd[0]);
    }
    void close_writer() {
        if (fd[1] >= 0) close(fd[1]);
        fd[1] = -1;
    }
    void put(char c) const { ASSERT_EQ(write(fd[1], &c, 1), 1); }
};

std::vector<std::pair<int, void *>> calls;

// Reads the byte there: readable once per byte written.
void read_one(int fd, void *data) {
    calls.emplace_back(fd, data);
    char c;
    if (read(fd, &c, 1) <= 0) shell_unwatch_fd(fd); // the writer closed: the end
}
void other_callback(int fd, void *data) { calls.emplace_back(-fd, data); }

// The second pipe's descriptor, unwatched by the first callback before its own turn comes.
int unwatch_next;
void unwatch_other(int fd, void *data) {
    read_one(fd, data);
    shell_unwatch_fd(unwatch_next);
}

// A forked child writes, as another process would (a remote client).
void child_writes(const Pipe &p, int delay_ms) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        usleep(static_cast<useconds_t>(delay_ms) * 1000);
        char c = 'x';
        _exit(write(p.fd[1], &c, 1) == 1 ? 0 : 1);
    }
    if (delay_ms == 0) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_EQ(status, 0);
    }
}

TEST_F(LoopTest, AWatchedDescriptorIsServedInTheTurnItBecomesReadable) {
    calls.clear();
    Pipe p;
    int token = 0;
    ASSERT_EQ(shell_watch_fd(p.fd[0], read_one, &token), 1);
    ASSERT_TRUE(shell_turn());
    EXPECT_TRUE(calls.empty()) << "nothing written, no call";

    child_writes(p, 0);
    ASSERT_TRUE(shell_turn());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(p.fd[0], static_cast<void *>(&token)));
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(calls.size(), 1u) << "read empty: no second call";

    // The writer gone: a hang-up is served too, and the callback unwatches.
    p.close_writer();
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(calls.size(), 2u);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(calls.size(), 2u) << "unwatched in its callback";
    EXPECT_EQ(sleeps, std::vector<int>({20, 20, 20, 20, 20})) << "the turns' own sleeps";
}

TEST_F(LoopTest, WatchingTakesSixteenDescriptorsAndReplacesACallback) {
    calls.clear();
    std::vector<std::unique_ptr<Pipe>> pipes;
    for (int i = 0; i < 17; i++)
        pipes.push_back(std::make_unique<Pipe>());
    EXPECT_EQ(shell_watch_fd(-1, read_one, nullptr), 0);
    for (int i = 0; i < 16; i++)
        ASSERT_EQ(shell_watch_fd(pipes[i]->fd[0], read_one, nullptr), 1) << i;
    EXPECT_EQ(shell_watch_fd(pipes[16]->fd[0], read_one, nullptr), 0) << "the table is full";
    int data = 0;
    EXPECT_EQ(shell_watch_fd(pipes[3]->fd[0], other_callback, &data), 1) << "a replacement";
    pipes[3]->put('a');
    pipes[16]->put('b');
    ASSERT_TRUE(shell_turn());
    ASSERT_EQ(calls.size(), 1u) << "the replacement only; the seventeenth is not watched";
    EXPECT_EQ(calls[0], std::make_pair(-pipes[3]->fd[0], static_cast<void *>(&data)));

    shell_unwatch_fd(pipes[3]->fd[0]);
    EXPECT_EQ(shell_watch_fd(pipes[16]->fd[0], read_one, nullptr), 1) << "a slot set free";
    calls.clear();
    ASSERT_TRUE(shell_turn());
    ASSERT_EQ(calls.size(), 1u) << "the unwatched pipe, still readable, is not served";
    EXPECT_EQ(calls[0].first, pipes[16]->fd[0]);

    // A callback that unwatches another readable descriptor: that one is not called.
    calls.clear();
    unwatch_next = pipes[9]->fd[0];
    ASSERT_EQ(shell_watch_fd(pipes[2]->fd[0], unwatch_other, nullptr), 1);
    pipes[2]->put('c');
    pipes[9]->put('d');
    ASSERT_TRUE(shell_turn());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, pipes[2]->fd[0]);
}

// The hidden window's wait wakes for a watched descriptor: served at once,
// without the half second's sleep after an event; events still end the wait
// as before. A timer's event ends a wait that did not wake, so a fault
// fails the test instead of hanging it.
Uint32 push_user_event(Uint32, void *) {
    SDL_Event e = {};
    e.type = SDL_USEREVENT;
    SDL_PushEvent(&e);
    return 0;
}

TEST_F(LoopTest, TheHiddenWindowsWaitWakesForAWatchedDescriptor) {
    calls.clear();
    Pipe p;
    ASSERT_EQ(shell_watch_fd(p.fd[0], read_one, nullptr), 1);
    pause_now();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_TIMER), 0);
    SDL_TimerID backstop = SDL_AddTimer(3000, push_user_event, nullptr);
    child_writes(p, 100);
    const Uint32 start = SDL_GetTicks();
    ASSERT_TRUE(shell_turn());
    EXPECT_LT(SDL_GetTicks() - start, 2000u) << "woken by the pipe, not the backstop";
    SDL_RemoveTimer(backstop);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(sleeps, std::vector<int>({}));
    int status = 0;
    wait(&status);

    const int frames = shell_frames_drawn();
    push_type(SDL_VIDEOEXPOSE);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(shell_frames_drawn(), frames + 1) << "an event while watching: handled";
    EXPECT_EQ(sleeps, std::vector<int>({500}));
    EXPECT_EQ(calls.size(), 1u);
    push_active(SDL_APPACTIVE, 1);
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(paused, 0);
}

} // namespace
