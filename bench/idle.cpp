// Idle cost and the latencies that follow the frame, each beside its floor in
// one run, measured from the outside on the real program:
//
// - idle, process CPU over 20 s (after 2 s to settle) and frames presented in
//   that time: the bare loop (SDL, the mixer, a 320x480 window, drain events,
//   clear, swap, sleep 20 ms, on the program's own context code), the board
//   with its picture drawn anew every frame ("--no-picture-cache": as before
//   the cache), the board, and the board with "--power-save" beside the bare
//   loop that presents nothing after its first frame; on the ES path and in
//   SDL's OpenGL context;
// - release -> play call over 200 taps, before ("--no-picture-cache"),
//   after, and with "--power-save";
// - press -> highlight shown (read back from the X server) over 50 taps,
//   beside one turn (20 ms and the frame), with and without "--power-save".
//
// Frames are counted by the benchmark shim (shim.cpp), which also stamps the
// play calls.
#include "tests/support.h"

#include <vostrel/audio/audio_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include <vostrel/threads/threads.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// After support.h: Xlib's macros would clash with names used there.
#include "tools/xwindow.h"

#include <algorithm>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double IDLE_SECONDS = 20.0, SETTLE_SECONDS = 2.0;
constexpr int LATENCY_TAPS = 200, HIGHLIGHT_TAPS = 50;

long long now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The floor: the loop's shape without the board, on the program's context
// code. With `drawing` 0 it presents one frame and then only drains events
// and sleeps: the floor of a loop that presents nothing.
int bare_loop(int path, int drawing) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return 1;
    shell_request_context(path);
    if (!shell_context_open(SCREEN_WIDTH, SCREEN_HEIGHT)) return 1;
    SDL_WM_SetCaption("Bare Loop", "Bare Loop");
    glClearColor(0, 0, 0, 1);
    for (int frame = 0;; frame++) {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            if (e.type == SDL_QUIT) return 0;
        if (drawing || frame == 0) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            shell_context_swap();
        }
        sleep_ms(20);
    }
}

struct Child {
    pid_t pid = -1;
    std::string trace;
};

Child launch(const std::string &dir, const std::vector<std::string> &args) {
    Child c;
    c.trace = dir + "/trace.txt";
    unlink(c.trace.c_str());
    fflush(nullptr);
    c.pid = fork();
    if (c.pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("LD_PRELOAD", SHIM_LIBRARY, 1);
        setenv("VOSTREL_BENCH_TRACE", c.trace.c_str(), 1);
        setenv("VOSTREL_BENCH_FRAMES", "1", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return c;
}

void stop(Child &c) {
    if (c.pid <= 0) return;
    kill(c.pid, SIGTERM);
    waitpid(c.pid, nullptr, 0);
    c.pid = -1;
}

std::vector<long long> stamps(const Child &c, const char *what) {
    std::vector<long long> out;
    FILE *f = fopen(c.trace.c_str(), "r");
    if (!f) return out;
    char line[128], word[16];
    long long t;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "%15s %lld", word, &t) == 2 && strcmp(word, what) == 0) out.push_back(t);
    fclose(f);
    return out;
}

long long wait_stamp(const Child &c, const char *what, size_t count, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited++) {
        std::vector<long long> s = stamps(c, what);
        if (s.size() >= count) return s[count - 1];
        pause_ms(1);
    }
    return -1;
}

// User and system CPU of the process and all its threads, in seconds.
double cpu_seconds(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE *f = fopen(path, "r");
    if (!f) return -1;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char *p = strrchr(buf, ')'); // the command name may hold spaces
    unsigned long utime = 0, stime = 0;
    if (!p ||
        sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Idle {
    double cpu_percent = -1;
    long frames = -1;
};

Idle measure_idle(const std::string &dir, const std::vector<std::string> &args) {
    Idle r;
    Child c = launch(dir, args);
    if (wait_stamp(c, "swap", 1, 10000) < 0) {
        stop(c);
        return r;
    }
    pause_ms(static_cast<int>(SETTLE_SECONDS * 1000));
    double c0 = cpu_seconds(c.pid);
    size_t f0 = stamps(c, "frame").size();
    long long t0 = now_ns();
    pause_ms(static_cast<int>(IDLE_SECONDS * 1000));
    double c1 = cpu_seconds(c.pid);
    size_t f1 = stamps(c, "frame").size();
    double wall = (now_ns() - t0) / 1e9;
    stop(c);
    if (c0 >= 0 && c1 >= 0) r.cpu_percent = (c1 - c0) / wall * 100.0;
    r.frames = static_cast<long>(f1 - f0);
    return r;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double maximum(const std::vector<double> &v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

struct Board {
    Child child;
    Window window = 0;
    int x = 0, y = 0; // the window's origin on the root window
};

bool open_board(Display *d, const std::string &dir, const std::vector<std::string> &args,
                Board *b) {
    b->child = launch(dir, args);
    if (wait_stamp(b->child, "swap", 1, 10000) < 0) return false;
    b->window = xwindow_wait(d, "Vostrel Soundboard", 5000, [] { return true; });
    if (!b->window) return false;
    Window child;
    XTranslateCoordinates(d, b->window, DefaultRootWindow(d), 0, 0, &b->x, &b->y, &child);
    pause_ms(500);
    return true;
}

// Release -> play call (shim stamps), in ms; taps without a call within a
// second are counted in *missing.
std::vector<double> release_to_play(Display *d, Board &b, int *missing) {
    std::vector<double> ms;
    *missing = 0;
    for (int tap = 0; tap < LATENCY_TAPS; tap++) {
        PixelBox cell = board_button_box(tap % 20, SCREEN_WIDTH, SCREEN_HEIGHT);
        XTestFakeMotionEvent(d, -1, b.x + cell.centre_x(), b.y + cell.centre_y(), 0);
        XTestFakeButtonEvent(d, 1, True, 0);
        XFlush(d);
        pause_ms(30 + (tap * 7) % 23); // spread the release over the loop's phase
        size_t before = stamps(b.child, "play").size();
        long long released = now_ns();
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
        long long played = wait_stamp(b.child, "play", before + 1, 1000);
        if (played < 0)
            (*missing)++;
        else
            ms.push_back((played - released) / 1e6);
    }
    return ms;
}

// 1 when the cell shows white ink: the selected caption (normal ink is grey
// 128, the tinted picture darker still).
bool highlighted(Display *d, const Board &b, const PixelBox &cell) {
    XImage *img = XGetImage(d, b.window, cell.x0, cell.y0, static_cast<unsigned>(cell.x1 - cell.x0),
                            static_cast<unsigned>(cell.y1 - cell.y0), AllPlanes, ZPixmap);
    if (!img) return false;
    bool white = false;
    for (int y = 0; y < img->height && !white; y++)
        for (int x = 0; x < img->width && !white; x++) {
            unsigned long p = XGetPixel(img, x, y);
            white = (p & 0xff) >= 200 && ((p >> 8) & 0xff) >= 200 && ((p >> 16) & 0xff) >= 200;
        }
    XDestroyImage(img);
    return white;
}

// Press -> highlight seen on the X server, in ms; presses never seen within
// a second are counted in *missing.
std::vector<double> press_to_highlight(Display *d, Board &b, int *missing) {
    std::vector<double> ms;
    *missing = 0;
    for (int tap = 0; tap < HIGHLIGHT_TAPS; tap++) {
        PixelBox cell = board_button_box(tap % 20, SCREEN_WIDTH, SCREEN_HEIGHT);
        XTestFakeMotionEvent(d, -1, b.x + cell.centre_x(), b.y + cell.centre_y(), 0);
        XFlush(d);
        pause_ms(100 + (tap * 7) % 23);
        long long pressed = now_ns();
        XTestFakeButtonEvent(d, 1, True, 0);
        XFlush(d);
        long long seen = -1;
        while (now_ns() - pressed < 1000000000LL) {
            if (highlighted(d, b, cell)) {
                seen = now_ns();
                break;
            }
            pause_ms(1);
        }
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
        pause_ms(100);
        if (seen < 0)
            (*missing)++;
        else
            ms.push_back((seen - pressed) / 1e6);
    }
    return ms;
}

// Median interval between presented frames over one second of the idle
// board from now on: one turn, the 20 ms sleep and the frame.
double turn_ms(const Child &c) {
    const long long from = now_ns();
    pause_ms(1000);
    std::vector<long long> f = stamps(c, "frame");
    std::vector<double> gaps;
    for (size_t i = 1; i < f.size(); i++)
        if (f[i - 1] >= from) gaps.push_back((f[i] - f[i - 1]) / 1e6);
    return median(gaps);
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && (strcmp(argv[1], "bare") == 0 || strcmp(argv[1], "events") == 0))
        return bare_loop(strcmp(argv[2], "es") == 0 ? CONTEXT_ES : CONTEXT_DESKTOP,
                         strcmp(argv[1], "bare") == 0);
    char tmpl[] = "/tmp/vostrel-bench-idle-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("bench_idle: mkdtemp");
        return 1;
    }
    char self_path[4096];
    ssize_t n = readlink("/proc/self/exe", self_path, sizeof self_path - 1);
    if (n <= 0) return 1;
    self_path[n] = 0; // the children start in the scratch folder: argv[0] may be relative
    const std::string dir = tmpl, self = self_path, board = VOSTREL_BINARY;

    printf("| figure | soundboard | floor | target |\n|---|---|---|---|\n");
    const char *paths[2] = {"es", "desktop"};
    const char *names[2] = {"ES through EGL", "SDL's OpenGL context"};
    for (int i = 0; i < 2; i++) {
        Idle bare = measure_idle(dir, {self, "bare", paths[i]});
        Idle events = measure_idle(dir, {self, "events", paths[i]});
        Idle before = measure_idle(dir, {board, "--gl", paths[i], "--no-picture-cache"});
        Idle cached = measure_idle(dir, {board, "--gl", paths[i]});
        Idle saving = measure_idle(dir, {board, "--gl", paths[i], "--power-save"});
        printf("| idle board, CPU over %.0f s, %s, drawn anew every frame (before) | %.1f %% | "
               "%.1f %% (bare loop) | - (%.2fx) |\n",
               IDLE_SECONDS, names[i], before.cpu_percent, bare.cpu_percent,
               bare.cpu_percent > 0 ? before.cpu_percent / bare.cpu_percent : 0.0);
        printf("| idle board, CPU over %.0f s, %s, cached | %.1f %% | %.1f %% (bare loop) | <= 2x "
               "(%.2fx) |\n",
               IDLE_SECONDS, names[i], cached.cpu_percent, bare.cpu_percent,
               bare.cpu_percent > 0 ? cached.cpu_percent / bare.cpu_percent : 0.0);
        printf("| idle board, CPU over %.0f s, %s, --power-save | %.1f %% | %.1f %% (bare loop "
               "presenting nothing: events and sleep) | <= 1 %% |\n",
               IDLE_SECONDS, names[i], saving.cpu_percent, events.cpu_percent);
        printf("| idle board, frames presented in %.0f s after settling, %s, --power-save | %ld | "
               "%ld (bare loop), %ld (board without it) | 0 |\n",
               IDLE_SECONDS, names[i], saving.frames, bare.frames, cached.frames);
    }

    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "bench_idle: no X display\n");
        return 1;
    }
    xwindow_survive_errors();
    const char *modes[3] = {"--no-picture-cache", nullptr, "--power-save"};
    const char *mode_names[3] = {"drawn anew every frame (before)", "cached (after)",
                                 "cached, --power-save"};
    for (int i = 0; i < 3; i++) {
        Board b;
        std::vector<std::string> args = {board};
        if (modes[i]) args.push_back(modes[i]);
        if (!open_board(d, dir, args, &b)) {
            fprintf(stderr, "bench_idle: the soundboard's window never appeared\n");
            stop(b.child);
            return 1;
        }
        const int saving = modes[i] && strcmp(modes[i], "--power-save") == 0;
        double turn = saving ? 0.0 : turn_ms(b.child); // an idle board under power saving presents nothing
        int missing = 0;
        std::vector<double> ms = release_to_play(d, b, &missing);
        stop(b.child);
        printf("| release -> play call, %s, median / maximum (%zu taps, %d without a call) | %.1f "
               "/ %.1f ms | - | falls with the frame |\n",
               mode_names[i], ms.size(), missing, median(ms), maximum(ms));
        if (!saving)
            printf("| one turn of the idle board, %s (median frame interval) | %.1f ms | 20 ms "
                   "(the sleep) | - |\n",
                   mode_names[i], turn);
    }
    double turn = 0; // of the board without power saving, which presents every turn
    for (int saving = 0; saving < 2; saving++) {
        Board b;
        std::vector<std::string> args = {board};
        if (saving) args.push_back("--power-save");
        if (!open_board(d, dir, args, &b)) {
            fprintf(stderr, "bench_idle: the soundboard's window never appeared\n");
            stop(b.child);
            return 1;
        }
        if (!saving) turn = turn_ms(b.child);
        int missing = 0;
        std::vector<double> ms = press_to_highlight(d, b, &missing);
        stop(b.child);
        printf("| press -> highlight shown%s, median / maximum (%zu taps, %d never seen) | %.1f / "
               "%.1f ms | one turn: %.1f ms (median frame interval) | <= one turn |\n",
               saving ? ", --power-save" : "", ms.size(), missing, median(ms), maximum(ms), turn);
    }
    XCloseDisplay(d);
    std::string cmd = "rm -rf '" + dir + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
