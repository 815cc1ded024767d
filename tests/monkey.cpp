// Monkey run: the real program, in the sanitized build, in its real window on
// the test's X display, under random input sent through XTest and Xlib for a
// bounded time: taps, drags, other mouse buttons, key presses, focus moving
// away and back, window resizes, and the window unmapped and mapped again.
//
// It fails on any sanitizer report on the program's stderr, on the program
// ending by itself, on the debug gesture not being answered afterwards, on an
// exit status other than 0 after SIGTERM or a log whose last line is not
// "Application quitting" (the gesture turns the quit's INFO line on), and on
// resident memory
// growing by more than RSS_GROWTH_BOUND_KIB between a sample after the
// warm-up and one at the end (both taken in the start-up window size, after
// the input has settled).
//
// VOSTREL_MONKEY_SECONDS sets the run's length (default 30; `make soak` runs
// 600). The seed of the input sequence is printed; VOSTREL_MONKEY_SEED=N
// replays that sequence (the program's timing still varies from run to run).
#include "support.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include "app/app_internal.h"
#include <vostrel/text/text_internal.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

// Growth of VmRSS allowed between the sample after the warm-up and the one at
// the end. One start-up's worth of GL state (textures, meshes, the font) is
// under 2 MiB; a leak per resize, per frame or per touch passes this within
// minutes of soak.
constexpr long RSS_GROWTH_BOUND_KIB = 16 * 1024;
// Long enough for the first resizes to have compiled the renderer's shaders
// and for the sanitizer's quarantine of freed memory to have filled up: the
// quarantine is held at 32 MiB (ASAN_OPTIONS below), which the software
// renderer's per-frame scene memory fills within seconds. At the default
// 256 MiB it would still be growing when the warm-up sample is taken.
constexpr double WARM_UP_SECONDS = 10.0;
constexpr int BASE_WIDTH = 320, BASE_HEIGHT = 480;
constexpr double REPORT_SECONDS = 10.0; // VmRSS printed this often, for a soak's record

const char LOG_NAME[] = "vostrel soundboard_log.txt";

double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// VmRSS of the process in KiB, -1 if it cannot be read.
long vm_rss_kib(pid_t pid) {
    const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmRSS:");
    if (at == std::string::npos) return -1;
    return strtol(status.c_str() + at + 6, nullptr, 10);
}

// The window goes away and comes back under the monkey's hands (unmapped,
// resized, its inner window replaced by SDL): requests that meet it at the
// wrong moment fail with an X error, which is no fault of the program.
int x_errors;
int count_x_error(Display *, XErrorEvent *) {
    x_errors++;
    return 0;
}

bool env_number(const char *name, unsigned long *out) {
    const char *v = getenv(name);
    if (!v || !v[0]) return false;
    *out = strtoul(v, nullptr, 10);
    return true;
}

const char *const SANITIZER_MARKS[] = {"AddressSanitizer", "LeakSanitizer",
                                       "UndefinedBehaviorSanitizer", "runtime error:"};

struct Monkey {
    Display *d;
    Window top;
    Window decoy; // a window of our own to take the keyboard focus away
    std::mt19937 gen;
    int width = BASE_WIDTH, height = BASE_HEIGHT;
    bool mapped = true;
    std::array<int, 7> done = {}; // actions taken, by kind

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }

    // A point in window pixels, now and then a little outside the window.
    void point(int *x, int *y) {
        const int margin = pick(0, 9) == 0 ? 30 : 0;
        *x = pick(-margin, width - 1 + margin);
        *y = pick(-margin, height - 1 + margin);
    }
    void move_to(int x, int y) {
        int rx = x, ry = y;
        Window child;
        XTranslateCoordinates(d, top, DefaultRootWindow(d), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
    }
    void button(unsigned b, bool down) { XTestFakeButtonEvent(d, b, down, CurrentTime); }
    void settle(int ms) {
        XFlush(d);
        pause_ms(ms);
    }

    void tap() {
        int x, y;
        point(&x, &y);
        move_to(x, y);
        button(1, true);
        settle(pick(0, 80));
        button(1, false);
    }
    void drag() {
        int x, y;
        point(&x, &y);
        move_to(x, y);
        button(1, true);
        for (int steps = pick(2, 25); steps > 0; steps--) {
            x += pick(-40, 40);
            y += pick(-40, 40);
            move_to(x, y);
            settle(pick(0, 15));
        }
        button(1, false);
    }
    // Middle and right buttons and the wheel (buttons 4 and 5).
    void other_button() {
        int x, y;
        point(&x, &y);
        move_to(x, y);
        const unsigned b = static_cast<unsigned>(pick(2, 5));
        button(b, true);
        settle(pick(0, 30));
        button(b, false);
    }
    void key() {
        static const KeySym keys[] = {XK_Return, XK_Escape,    XK_Left, XK_Right, XK_Up,
                                      XK_Down,   XK_space,     XK_a,    XK_Z,     XK_1,
                                      XK_Tab,    XK_BackSpace, XK_F1,   XK_Delete};
        const KeyCode code = XKeysymToKeycode(d, keys[pick(0, std::size(keys) - 1)]);
        if (!code) return;
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        settle(pick(0, 40));
        XTestFakeKeyEvent(d, code, False, CurrentTime);
    }
    // Focus to our own window or to nobody, then back to the pointer's window.
    void focus() {
        XSetInputFocus(d, pick(0, 1) ? decoy : None, RevertToPointerRoot, CurrentTime);
        settle(pick(10, 150));
        XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
    }
    void resize(int w, int h) {
        width = w;
        height = h;
        XResizeWindow(d, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
        settle(pick(50, 300));
    }
    void unmap_map() {
        XUnmapWindow(d, top);
        settle(pick(50, 700));
        XMapWindow(d, top);
        settle(pick(50, 300));
    }

    void step() {
        // Weights: mostly touches, the heavier window changes less often.
        static const int weights[] = {40, 20, 6, 18, 6, 5, 5};
        int roll = pick(0, 99);
        int kind = 0;
        while (roll >= weights[kind])
            roll -= weights[kind++];
        done[static_cast<size_t>(kind)]++;
        switch (kind) {
        case 0:
            tap();
            break;
        case 1:
            drag();
            break;
        case 2:
            other_button();
            break;
        case 3:
            key();
            break;
        case 4:
            focus();
            break;
        case 5:
            resize(pick(0, 3) == 0 ? BASE_WIDTH : pick(60, 900),
                   pick(0, 3) == 0 ? BASE_HEIGHT : pick(60, 700));
            break;
        default:
            unmap_map();
            break;
        }
        settle(pick(0, 30));
    }

    // The start-up size, mapped, focus with the pointer, no button held.
    void restore() {
        XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
        XMapWindow(d, top);
        resize(BASE_WIDTH, BASE_HEIGHT);
        settle(1500);
    }

    // The debug gesture in the start-up size: more than four clockwise
    // circles round the centre in one stroke, then taps at the top-right and
    // top-left corners. It raises the debug level, and with it the log
    // threshold to DEBUG, so the quit is logged.
    void debug_gesture() {
        move_to(260, 240);
        button(1, true);
        for (int i = 1; i <= 108; i++) {
            const double a = 2 * 3.141592653589793 * i / 24;
            // y grows downwards: a growing angle turns clockwise as seen.
            move_to(160 + static_cast<int>(100 * cos(a)), 240 + static_cast<int>(100 * sin(a)));
            settle(10);
        }
        button(1, false);
        settle(100);
        for (const int x : {310, 10}) {
            move_to(x, 10);
            button(1, true);
            settle(60);
            button(1, false);
            settle(150);
        }
        settle(300);
    }
};

bool sanitizer_reported(const std::string &err) {
    for (const char *mark : SANITIZER_MARKS)
        if (err.find(mark) != std::string::npos) return true;
    return false;
}

TEST(Monkey, RandomInputLeavesNoSanitizerReportNoLeakAndAQuietExit) {
    unsigned long seconds = 30, seed = 0;
    env_number("VOSTREL_MONKEY_SECONDS", &seconds);
    if (!env_number("VOSTREL_MONKEY_SEED", &seed))
        seed = static_cast<unsigned long>(time(nullptr)) ^ static_cast<unsigned long>(getpid());
    const std::string replay = "seed " + std::to_string(seed) +
                               " (replay with VOSTREL_MONKEY_SEED=" + std::to_string(seed) + ")";
    printf("monkey: %lu s, %s\n", seconds, replay.c_str());
    fflush(stdout);
    SCOPED_TRACE(replay);

    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    Display *d = nullptr;
    for (int tries = 0; tries < 100 && !d; tries++) {
        d = XOpenDisplay(nullptr);
        if (!d) pause_ms(100); // Xvfb refuses connections while it resets
    }
    ASSERT_NE(d, nullptr);
    int event_base, error_base, major, minor;
    ASSERT_TRUE(XTestQueryExtension(d, &event_base, &error_base, &major, &minor));
    XSetErrorHandler(count_x_error);

    TempDir dir;
    const pid_t pid =
        program_start({"--log-level", "3"},
                      {"SDL_AUDIODRIVER=dummy",
                       "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:quarantine_size_mb=32",
                       "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"},
                      "stderr.txt");
    ASSERT_GT(pid, 0);
    const Window top =
        static_cast<Window>(strtoul(program_window(pid, 60000).c_str(), nullptr, 10));
    if (!top) program_wait(pid, 0);
    ASSERT_NE(top, 0u) << read_file(dir.file("stderr.txt"));
    pause_ms(2000); // the window appears before the start-up chain has run

    const Window decoy = XCreateSimpleWindow(d, DefaultRootWindow(d), 900, 700, 50, 50, 0, 0, 0);
    XMapWindow(d, decoy);
    Monkey monkey{d, top, decoy, std::mt19937(static_cast<std::mt19937::result_type>(seed))};

    const double start = now_seconds();
    const double warm_up = std::min(WARM_UP_SECONDS, static_cast<double>(seconds) / 2);
    long rss_warm = -1, rss_peak = 0;
    double next_report = start + REPORT_SECONDS;
    bool alive = true;
    while (alive && now_seconds() - start < static_cast<double>(seconds)) {
        monkey.step();
        alive = program_running(pid);
        if (rss_warm < 0 && now_seconds() - start >= warm_up) {
            monkey.restore();
            rss_warm = vm_rss_kib(pid);
        }
        const long rss = vm_rss_kib(pid);
        rss_peak = std::max(rss_peak, rss);
        if (now_seconds() >= next_report) {
            printf("monkey: %4.0f s, VmRSS %ld KiB\n", now_seconds() - start, rss);
            fflush(stdout);
            next_report += REPORT_SECONDS;
        }
    }
    long rss_end = -1;
    if (alive) {
        monkey.restore();
        rss_end = vm_rss_kib(pid);
        monkey.debug_gesture(); // the program still answers, and logs its quit
        alive = program_running(pid);
    }
    XDestroyWindow(d, decoy);
    XCloseDisplay(d);

    const int status = alive ? program_terminate(pid, 60) : program_wait(pid, 10);
    const std::string err = read_file(dir.file("stderr.txt"));
    const std::string log = read_file(dir.file(LOG_NAME));
    const auto &n = monkey.done;
    printf("monkey: %d taps, %d drags, %d other buttons, %d keys, %d focus changes, %d resizes, "
           "%d unmap/map; %d X errors\n",
           n[0], n[1], n[2], n[3], n[4], n[5], n[6], x_errors);
    printf("monkey: VmRSS %ld KiB after the warm-up, %ld KiB at the end (growth %ld KiB, bound "
           "%ld KiB), peak %ld KiB\n",
           rss_warm, rss_end, rss_end - rss_warm, RSS_GROWTH_BOUND_KIB, rss_peak);

    EXPECT_TRUE(alive) << "the program ended by itself, status " << status << "\n" << err;
    EXPECT_FALSE(sanitizer_reported(err)) << err;
    EXPECT_EQ(status, 0) << err;
    const size_t last = log.rfind('\n', log.size() >= 2 ? log.size() - 2 : 0);
    const std::string last_line = log.substr(last == std::string::npos ? 0 : last + 1);
    // Without the gesture answered, the threshold stays at WARNING and neither
    // line is written.
    EXPECT_EQ(count_of(log, "] Saving session\n"), 1) << log;
    EXPECT_NE(last_line.find("] Application quitting"), std::string::npos) << last_line;
    EXPECT_EQ(count_of(log, "] Application quitting"), 1);
    ASSERT_GT(rss_warm, 0);
    ASSERT_GT(rss_end, 0);
    EXPECT_LE(rss_end - rss_warm, RSS_GROWTH_BOUND_KIB)
        << "VmRSS " << rss_warm << " KiB after the warm-up, " << rss_end << " KiB at the end";
}

} // namespace
