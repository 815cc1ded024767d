// Benchmark driver: start-up time, release latency and peak memory of the
// real program, each beside its floor, measured from the outside.
//
// - start-up: exec to the first swapped frame (shim time stamp), soundboard
//   on the ES path, soundboard in SDL's OpenGL context ("--gl desktop") and
//   bare window program alternately, median of several runs; the bare
//   program starts SDL and the mixer as the soundboard does;
// - release -> play call: an XTest button release on a cell, to the
//   program's Mix_PlayChannelTimed call (shim time stamp), over 200 taps;
//   taps with no call within a second are counted, not dropped;
// - release -> first audible sample: the same taps, heard through SDL's disk
//   audio driver. The tapped clip is found in the output file by an exact
//   match of its first audible samples (the clip as the mixer holds it; the
//   previous clip is cut off by the tap); the shim stamps every write to the
//   file with its offset, and a sample's time is its write's stamp plus its
//   place in that buffer at 44100 frames a second: when a sound device would
//   start playing it. The driver sleeps one buffer's length (1024 frames) a
//   buffer, as a device would take them;
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
#include <stdint.h>
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

constexpr int RATE = 44100, FRAME_BYTES = 4; // the mixer's format: 16-bit stereo
constexpr int BUFFER_FRAMES = 1024;          // the mixer's buffer

struct Child {
    pid_t pid = -1;
    std::string trace, audio; // audio: the disk audio file, empty on the dummy driver
};

// gl, when given, is the value of the program's "--gl" option.
static Child launch(const char *binary, const std::string &dir, bool disk_audio = false,
                    const char *gl = nullptr) {
    Child c;
    c.trace = dir + "/trace.txt";
    unlink(c.trace.c_str());
    if (disk_audio) {
        c.audio = dir + "/audio.raw";
        unlink(c.audio.c_str());
    }
    char delay[16];
    snprintf(delay, sizeof delay, "%d", BUFFER_FRAMES * 1000 / RATE);
    c.pid = fork();
    if (c.pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        // The disk driver announces itself on standard error, inside the
        // table; the child's messages go to a file that a failure prints.
        if (disk_audio && !freopen((dir + "/stderr.txt").c_str(), "w", stderr)) _exit(126);
        setenv("LD_PRELOAD", SHIM_LIBRARY, 1);
        setenv("VOSTREL_BENCH_TRACE", c.trace.c_str(), 1);
        setenv("SDL_AUDIODRIVER", disk_audio ? "disk" : "dummy", 1);
        if (disk_audio) {
            setenv("SDL_DISKAUDIOFILE", c.audio.c_str(), 1);
            setenv("SDL_DISKAUDIODELAY", delay, 1);
        }
        if (gl)
            execl(binary, binary, "--gl", gl, static_cast<char *>(nullptr));
        else
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

struct Stamp {
    long long t, extra; // extra: the third field, -1 when the line has none
};

// The lines of the trace that start with 'what', in order.
static std::vector<Stamp> trace_lines(const Child &c, const char *what) {
    std::vector<Stamp> out;
    FILE *f = fopen(c.trace.c_str(), "r");
    if (!f) return out;
    char line[128], word[16];
    while (fgets(line, sizeof line, f)) {
        Stamp s{0, -1};
        if (sscanf(line, "%15s %lld %lld", word, &s.t, &s.extra) >= 2 && strcmp(word, what) == 0)
            out.push_back(s);
    }
    fclose(f);
    return out;
}

// Time stamps of the lines starting with 'what' in the trace.
static std::vector<long long> stamps(const Child &c, const char *what) {
    std::vector<long long> out;
    for (const Stamp &s : trace_lines(c, what))
        out.push_back(s.t);
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

static size_t converted_clip_bytes(const std::vector<std::vector<int16_t>> &clips) {
    size_t total = 0;
    for (const std::vector<int16_t> &clip : clips)
        total += clip.size() * sizeof(int16_t);
    return total;
}

static std::vector<int16_t> read_samples(const std::string &path) {
    std::vector<int16_t> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    int16_t block[4096];
    size_t n;
    while ((n = fread(block, sizeof block[0], 4096, f)) > 0)
        out.insert(out.end(), block, block + n);
    fclose(f);
    return out;
}

// Time of output frame 'frame' from the audio writes (ascending offsets):
// its write's stamp plus its place in that buffer; -1 if no write holds it.
static long long frame_time(const std::vector<Stamp> &writes, long frame) {
    long long byte = static_cast<long long>(frame) * FRAME_BYTES;
    auto after = std::upper_bound(writes.begin(), writes.end(), byte,
                                  [](long long b, const Stamp &w) { return b < w.extra; });
    if (after == writes.begin()) return -1;
    const Stamp &w = *(after - 1);
    return w.t + (byte - w.extra) / FRAME_BYTES * 1000000000LL / RATE;
}

// First output frame of a buffer written at or after time t, or -1.
static long frame_after(const std::vector<Stamp> &writes, long long t) {
    for (const Stamp &w : writes)
        if (w.t >= t) return static_cast<long>(w.extra / FRAME_BYTES);
    return -1;
}

struct Series {
    std::vector<double> ms;
    int missing = 0;
};

static void print_series(const char *what, const Series &s, const char *missing_as,
                         const char *median_target, const char *max_target) {
    double med = median(s.ms), max = s.ms.empty() ? 0 : *std::max_element(s.ms.begin(), s.ms.end());
    printf("| %s, median (%zu taps) | %.1f ms | - | %s |\n", what, s.ms.size(), med, median_target);
    printf("| %s, maximum | %.1f ms | - | %s |\n", what, max, max_target);
    printf("| %s, taps %s | %d of %zu | - | 0 |\n", what, missing_as, s.missing,
           s.ms.size() + s.missing);
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
    // Before any child runs: SDL audio in this process, then SDL_Quit.
    std::vector<std::vector<int16_t>> clips = board_clip_samples();
    std::vector<int> order = board_display_order();
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "bench: no X display\n");
        remove_dir(dir);
        return 1;
    }

    // Start-up, alternating so all three see the same machine load: the
    // soundboard on the ES path, in SDL's OpenGL context, the bare window.
    std::vector<double> start_board, start_desktop, start_bare;
    long rss_bare = 0;
    for (int run = 0; run < 7; run++) {
        for (int which = 0; which < 3; which++) {
            long long t0 = now_ns();
            Child c = which == 2 ? launch(BARE_BINARY, dir)
                                 : launch(VOSTREL_BINARY, dir, false, which ? "desktop" : "es");
            long long t1 = wait_stamp(c, "swap", 1, 10000);
            std::vector<double> &series = which == 0   ? start_board
                                          : which == 1 ? start_desktop
                                                       : start_bare;
            if (t1 > 0) series.push_back((t1 - t0) / 1e6);
            if (which == 2) {
                pause_ms(300);
                rss_bare = std::max(rss_bare, peak_rss_kib(c.pid));
            }
            stop(c);
        }
    }

    // Release -> play call and -> first audible sample over 200 taps, then
    // the peak memory.
    Child c = launch(VOSTREL_BINARY, dir, true);
    wait_stamp(c, "swap", 1, 10000);
    Window w = xwindow_wait(d, "Vostrel Soundboard", 5000, [] { return true; });
    if (!w) {
        fprintf(stderr, "bench: the soundboard's window never appeared\n");
        std::string cmd = "cat '" + dir + "/stderr.txt' >&2";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "bench: no messages from the soundboard\n");
        stop(c);
        XCloseDisplay(d);
        remove_dir(dir);
        return 1;
    }
    int wx = 0, wy = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &wx, &wy, &child);
    pause_ms(300);
    const int taps = 200;
    std::vector<long long> released(taps), played(taps, -1);
    for (int tap = 0; tap < taps; tap++) {
        PixelBox cell = board_button_box(tap % BOARD_BUTTONS, 320, 480);
        int x = wx + cell.centre_x(), y = wy + cell.centre_y();
        XTestFakeMotionEvent(d, -1, x, y, 0);
        XTestFakeButtonEvent(d, 1, True, 0);
        XFlush(d);
        pause_ms(30 + (tap * 7) % 23); // spread the release over the loop's phase
        size_t before = stamps(c, "play").size();
        released[tap] = now_ns();
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
        played[tap] = wait_stamp(c, "play", before + 1, 1000);
    }
    pause_ms(500); // the last clip reaches the file
    long rss_board = peak_rss_kib(c.pid);
    std::vector<Stamp> writes = trace_lines(c, "audio");
    stop(c);
    XCloseDisplay(d);

    Series call, heard;
    std::vector<int16_t> out = read_samples(c.audio);
    for (int tap = 0; tap < taps; tap++) {
        if (played[tap] < 0) {
            call.missing++;
            heard.missing++;
            continue;
        }
        call.ms.push_back((played[tap] - released[tap]) / 1e6);
        long from = frame_after(writes, released[tap]);
        const std::vector<int16_t> &clip = clips[order[tap % BOARD_BUTTONS]];
        long at = from < 0 ? -1 : find_clip(out, clip, static_cast<size_t>(from), RATE);
        long long t = at < 0 ? -1 : frame_time(writes, at);
        if (t < 0)
            heard.missing++;
        else
            heard.ms.push_back((t - released[tap]) / 1e6);
    }

    double clips_kib = converted_clip_bytes(clips) / 1024.0;
    double rss_allow = (rss_bare + clips_kib) * 1.3;
    printf("| figure | soundboard | floor | target |\n|---|---|---|---|\n");
    print_series("release -> play call", call, "without a play call", "<= 12 ms", "<= 25 ms");
    print_series("release -> first audible sample", heard, "not heard", "-", "-");
    printf("| start-up, exec to first frame (median of %zu) | %.0f ms | %.0f ms (bare window) | "
           "<= 1.5x floor (%.2fx) |\n",
           start_board.size(), median(start_board), median(start_bare),
           median(start_bare) > 0 ? median(start_board) / median(start_bare) : 0.0);
    printf("| start-up in SDL's OpenGL context (--gl desktop, median of %zu) | %.0f ms | %.0f ms "
           "(ES path above) | ES <= 1.10x (%.2fx) |\n",
           start_desktop.size(), median(start_desktop), median(start_board),
           median(start_desktop) > 0 ? median(start_board) / median(start_desktop) : 0.0);
    double floor_kib = rss_bare + clips_kib;
    printf("| peak RSS | %ld KiB | %ld KiB bare + %.0f KiB clips | <= %.0f KiB (1.3x; now %.2fx) "
           "|\n",
           rss_board, rss_bare, clips_kib, rss_allow, floor_kib > 0 ? rss_board / floor_kib : 0.0);
    return remove_dir(dir) ? 0 : 1;
}
