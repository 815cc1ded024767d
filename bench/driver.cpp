// Benchmark driver: start-up time, release-to-play latency and peak memory of
// the real program, each beside its floor, measured from the outside.
//
// - start-up: exec to the first swapped frame (shim time stamp), soundboard
//   and bare window program alternately, median of several runs;
// - release -> play: an XTest button release on a cell, to the program's
//   Mix_PlayChannelTimed call (shim time stamp), over 200 taps;
// - peak RSS (VmHWM) after every button has played once, beside the bare
//   program's; the allowance is the clips as the mixer holds them (converted
//   to 44100 Hz stereo 16-bit), measured here with SDL_mixer itself.
#include "app/app.h"
#include "tests/support.h"
#include "tools/xwindow.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

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

static long long now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

static void pause_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

struct Child {
    pid_t pid = -1;
    std::string trace;
};

static Child launch(const char *binary, const std::string &dir) {
    Child c;
    c.trace = dir + "/trace.txt";
    unlink(c.trace.c_str());
    c.pid = fork();
    if (c.pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("LD_PRELOAD", SHIM_LIBRARY, 1);
        setenv("VOSTREL_BENCH_TRACE", c.trace.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(binary, binary, static_cast<char *>(nullptr));
        _exit(127);
    }
    return c;
}

static void stop(Child &c) {
    if (c.pid <= 0) return;
    kill(c.pid, SIGTERM);
    waitpid(c.pid, nullptr, 0);
    c.pid = -1;
}

// Time stamps of the lines starting with 'what' in the trace.
static std::vector<long long> stamps(const Child &c, const char *what) {
    std::vector<long long> out;
    FILE *f = fopen(c.trace.c_str(), "r");
    if (!f) return out;
    char word[16];
    long long t;
    while (fscanf(f, "%15s %lld", word, &t) == 2)
        if (strcmp(word, what) == 0) out.push_back(t);
    fclose(f);
    return out;
}

static long long wait_stamp(const Child &c, const char *what, size_t count, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited++) {
        std::vector<long long> s = stamps(c, what);
        if (s.size() >= count) return s[count - 1];
        usleep(1000);
    }
    return -1;
}

static long peak_rss_kib(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", pid);
    FILE *f = fopen(path, "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    fclose(f);
    return kib;
}

static double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static size_t converted_clip_bytes() {
    size_t total = 0;
    for (const std::vector<int16_t> &clip : board_clip_samples())
        total += clip.size() * sizeof(int16_t);
    return total;
}

static bool remove_dir(const std::string &dir) {
    std::string cmd = "rm -rf '" + dir + "'";
    return system(cmd.c_str()) == 0;
}

int main() {
    char tmpl[] = "/tmp/vostrel-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("bench: mkdtemp");
        return 1;
    }
    std::string dir = tmpl;
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "bench: no X display\n");
        remove_dir(dir);
        return 1;
    }

    // Start-up, alternating so both see the same machine load.
    std::vector<double> start_board, start_bare;
    long rss_bare = 0;
    for (int run = 0; run < 7; run++) {
        for (int which = 0; which < 2; which++) {
            long long t0 = now_ns();
            Child c = launch(which ? BARE_BINARY : VOSTREL_BINARY, dir);
            long long t1 = wait_stamp(c, "swap", 1, 10000);
            if (t1 > 0) (which ? start_bare : start_board).push_back((t1 - t0) / 1e6);
            if (which) {
                pause_ms(300);
                rss_bare = std::max(rss_bare, peak_rss_kib(c.pid));
            }
            stop(c);
        }
    }

    // Release -> play over 200 taps, then the peak memory.
    Child c = launch(VOSTREL_BINARY, dir);
    wait_stamp(c, "swap", 1, 10000);
    Window w = xwindow_wait(d, "Vostrel Soundboard", 5000, [] { return true; });
    if (!w) {
        fprintf(stderr, "bench: the soundboard's window never appeared\n");
        stop(c);
        XCloseDisplay(d);
        remove_dir(dir);
        return 1;
    }
    int wx = 0, wy = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &wx, &wy, &child);
    pause_ms(300);
    std::vector<double> latency;
    for (int tap = 0; tap < 200; tap++) {
        PixelBox cell = board_button_box(tap % BOARD_BUTTONS, 320, 480);
        int x = wx + cell.centre_x(), y = wy + cell.centre_y();
        XTestFakeMotionEvent(d, -1, x, y, 0);
        XTestFakeButtonEvent(d, 1, True, 0);
        XFlush(d);
        pause_ms(30 + (tap * 7) % 23); // spread the release over the loop's phase
        size_t before = stamps(c, "play").size();
        long long t0 = now_ns();
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
        long long t1 = wait_stamp(c, "play", before + 1, 1000);
        if (t1 > 0) latency.push_back((t1 - t0) / 1e6);
    }
    long rss_board = peak_rss_kib(c.pid);
    stop(c);
    XCloseDisplay(d);

    double clips_kib = converted_clip_bytes() / 1024.0;
    double rss_allow = (rss_bare + clips_kib) * 1.3;
    double lat_max = latency.empty() ? 0 : *std::max_element(latency.begin(), latency.end());
    printf("| figure | soundboard | floor | target |\n|---|---|---|---|\n");
    printf("| release -> play, median (%zu taps) | %.1f ms | - | <= 12 ms |\n", latency.size(),
           median(latency));
    printf("| release -> play, maximum | %.1f ms | - | <= 25 ms |\n", lat_max);
    printf("| start-up, exec to first frame (median of %zu) | %.0f ms | %.0f ms (bare window) | "
           "<= 1.5x floor (%.2fx) |\n",
           start_board.size(), median(start_board), median(start_bare),
           median(start_bare) > 0 ? median(start_board) / median(start_bare) : 0.0);
    double floor_kib = rss_bare + clips_kib;
    printf("| peak RSS | %ld KiB | %ld KiB bare + %.0f KiB clips | <= %.0f KiB (1.3x; now %.2fx) "
           "|\n",
           rss_board, rss_bare, clips_kib, rss_allow, floor_kib > 0 ? rss_board / floor_kib : 0.0);
    return remove_dir(dir) ? 0 : 1;
}
