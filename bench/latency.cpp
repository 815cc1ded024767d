// Tap -> sound benchmark: the time from a finger's release to the first
// audible sample arriving at the sound server's sink, measured from outside,
// for today's mode and for "--latency low", on PulseAudio and on PipeWire
// (with its pulse server), on classic SDL 1.2 and on sdl12-compat; and a
// looping sound recorded for a while under a bounded CPU load, checked for
// gaps.
//
// - a private server (tests/sound_servers.h) with a null sink "tap";
// - a recorder (parec, 1 ms fragments) of the sink's monitor, read by a
//   thread here that stamps every read with the monotonic clock; a sample's
//   arrival is the stamp of the read that brought it (late by up to 1 ms);
// - the floor: pacat with a 2 ms latency on the same server, a tone burst
//   written to it at a known time;
// - the board: the program with a board of its own appended (a 30 ms tone
//   burst, and a seamless 441 Hz loop), tapped through XTest; the release's
//   time is taken just before the release is sent;
// - dropouts: the loop played for the given time while stress-ng keeps both
//   cores busy (bounded by its own timeout); a run of silence longer than
//   0.5 ms or a jump in the waveform (its second difference far beyond a
//   sine's) counts as a dropout, events closer than 10 ms as one (a gap
//   where one of them is silent); the floor client (pacat, with the buffer
//   low latency asks for) plays the same loop under the same load first, so
//   that what the machine loses is told apart from what the program does;
//   and a real-time thread here, waking every millisecond through each
//   loop, says how late the machine let any thread run.
//
// Usage: bench_latency [--taps N] [--dropout-seconds S] [--servers pulse,pipewire]
//                      [--sdl classic,compat|none] [--modes normal,low] [--program-env NAME=VALUE]...
//                      [--stress 0|1] [--verbose 0|1] [--dropout-mode low|normal]
//                      [--floor-buffer-ms MS] [--loop-recorder-ms MS]
#include "app/app.h"
#include "app/payload.h"
#include "tests/sound_servers.h"
#include "tests/support.h"
#include "tools/xwindow.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <math.h>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double mono_now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr double PI = 3.14159265358979323846;
constexpr int AUDIBLE = 1000; // |sample| above this is sound (the bursts peak near 20000)
constexpr int WIDTH = 320, HEIGHT = 480;

// ---- the recorder ----------------------------------------------------------

struct Read {
    double at;      // monotonic seconds when the read returned
    size_t samples; // frames in the stream after it
};

// parec on the monitor into a pipe; a thread keeps the left channel and the
// stamps.
struct Recorder {
    int rate = 44100;
    pid_t pid = -1;
    int fd = -1;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<int16_t> left;
    std::vector<Read> reads;

    // Reads of `fragment_ms` (1 for the taps: a read's length is the
    // figure's error).
    bool start(const std::vector<std::string> &env, int sink_rate, int fragment_ms = 1) {
        rate = sink_rate;
        const std::string fragment = "--latency-msec=" + std::to_string(fragment_ms);
        int p[2];
        if (pipe(p) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(p[1], 1);
            close(p[0]);
            close(p[1]);
            for (const std::string &e : env)
                putenv(strdup(e.c_str()));
            std::string r = "--rate=" + std::to_string(rate);
            execl(PAREC, PAREC, "--device=tap.monitor", "--raw", "--format=s16le", r.c_str(),
                  "--channels=2", fragment.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(p[1]);
        fd = p[0];
        reader = std::thread([this] {
            std::vector<uint8_t> buf(4096);
            size_t carry = 0;
            uint8_t partial[4];
            while (!stop) {
                ssize_t n = read(fd, buf.data(), buf.size());
                if (n <= 0) break;
                double at = mono_now();
                std::lock_guard<std::mutex> g(lock);
                for (ssize_t i = 0; i < n; i++) {
                    partial[carry++] = buf[static_cast<size_t>(i)];
                    if (carry == 4) {
                        left.push_back(static_cast<int16_t>(partial[0] | (partial[1] << 8)));
                        carry = 0;
                    }
                }
                reads.push_back({at, left.size()});
            }
        });
        return true;
    }
    size_t frames() {
        std::lock_guard<std::mutex> g(lock);
        return left.size();
    }
    // The stream's frames from `from` on, and the reads, copied.
    void snapshot(std::vector<int16_t> &samples, std::vector<Read> &r) {
        std::lock_guard<std::mutex> g(lock);
        samples = left;
        r = reads;
    }
    // Waits until the stream has frames; false if none came within `seconds`.
    bool flowing(double seconds) {
        double start = mono_now();
        size_t first = frames();
        while (mono_now() - start < seconds) {
            if (frames() > first + static_cast<size_t>(rate / 10)) return true;
            pause_ms(20);
        }
        return false;
    }
    void end() {
        stop = true;
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (reader.joinable()) reader.join();
        if (fd >= 0) close(fd);
        fd = -1;
    }
    ~Recorder() { end(); }
};

// Arrival time of frame k: the stamp of the first read that held it. The
// monitor hands a frame over once the sink has rendered it, and the reads
// come every millisecond, so the figure errs late by up to a read's length.
double arrival(const std::vector<Read> &reads, size_t k) {
    for (const Read &r : reads)
        if (r.samples > k) return r.at;
    return NAN;
}

// First audible frame at or after `from`; npos if none.
size_t first_audible(const std::vector<int16_t> &s, size_t from) {
    for (size_t i = from; i < s.size(); i++)
        if (s[i] > AUDIBLE || s[i] < -AUDIBLE) return i;
    return std::string::npos;
}

// The frame whose arrival is at or after time t: the first frame after the
// read stamped before t, minus the frames that read could have held.
size_t frame_at(const std::vector<Read> &reads, double t, int rate) {
    size_t at = 0;
    for (const Read &r : reads)
        if (r.at <= t) at = r.samples;
    // Frames rendered before t may still come in reads after it; start a
    // little before, the audible test finds the burst.
    size_t back = static_cast<size_t>(rate / 50);
    return at > back ? at - back : 0;
}

// ---- statistics ------------------------------------------------------------

struct Figures {
    std::vector<double> ms; // per tap
    int missed = 0;
};

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string summary(const Figures &f) {
    char line[160];
    if (f.ms.empty()) return "no tap heard";
    double mx = *std::max_element(f.ms.begin(), f.ms.end());
    double mn = *std::min_element(f.ms.begin(), f.ms.end());
    snprintf(line, sizeof line, "median %5.1f ms, max %5.1f ms, min %5.1f ms over %zu taps%s",
             median(f.ms), mx, mn, f.ms.size(),
             f.missed ? (", " + std::to_string(f.missed) + " not heard").c_str() : "");
    return line;
}

// ---- clips and the board ---------------------------------------------------

void put_le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// 16-bit stereo PCM at the mixer's rate.
std::string wav(const std::vector<int16_t> &mono) {
    std::string data;
    for (int16_t v : mono) {
        put_le(data, static_cast<uint16_t>(v), 2);
        put_le(data, static_cast<uint16_t>(v), 2);
    }
    std::string w = "RIFF";
    put_le(w, static_cast<uint32_t>(36 + data.size()), 4);
    w += "WAVEfmt ";
    put_le(w, 16, 4);
    put_le(w, 1, 2);
    put_le(w, 2, 2);
    put_le(w, PAYLOAD_RATE, 4);
    put_le(w, PAYLOAD_RATE * 4, 4);
    put_le(w, 4, 2);
    put_le(w, 16, 2);
    w += "data";
    put_le(w, static_cast<uint32_t>(data.size()), 4);
    return w + data;
}

// A 30 ms burst of 1 kHz at full onset, then 20 ms of silence; and one second
// of 441 Hz, 441 whole periods, so that it loops without a seam.
std::string burst_wav() {
    std::vector<int16_t> s(static_cast<size_t>(PAYLOAD_RATE / 20), 0);
    for (int i = 0; i < PAYLOAD_RATE * 3 / 100; i++)
        s[static_cast<size_t>(i)] =
            static_cast<int16_t>(20000 * (i % 44 < 22 ? 1 : -1)); // a square wave: loud at once
    return wav(s);
}

std::string loop_wav() {
    std::vector<int16_t> s(static_cast<size_t>(PAYLOAD_RATE));
    for (int i = 0; i < PAYLOAD_RATE; i++)
        s[static_cast<size_t>(i)] =
            static_cast<int16_t>(lround(16000 * sin(2 * PI * 441.0 * i / PAYLOAD_RATE)));
    return wav(s);
}

PayloadBoard board_spec;

// The program with a board of two sounds appended: slot 0 the burst, slot 1
// the loop.
bool make_board(const std::string &path) {
    static std::string burst = burst_wav(), loop = loop_wav();
    std::vector<uint8_t> program = read_bytes(VOSTREL_BINARY);
    if (program.empty()) return false;
    PayloadBoard &b = board_spec;
    memset(&b, 0, sizeof b);
    snprintf(b.name, sizeof b.name, "latency");
    b.count = 2;
    b.ordered = 1;
    b.offset = program.size();
    const std::string *clips[2] = {&burst, &loop};
    const char *captions[2] = {"burst", "loop"};
    for (int k = 0; k < 2; k++) {
        snprintf(b.sounds[k].caption, sizeof b.sounds[k].caption, "%s", captions[k]);
        b.sounds[k].clip = {"c.wav", "wav", static_cast<uint32_t>(clips[k]->size()),
                            reinterpret_cast<const uint8_t *>(clips[k]->data())};
        b.sounds[k].volume = 100;
    }
    b.sounds[1].loop = 1;
    size_t need = payload_encode(&b, nullptr, 0);
    if (!need) return false;
    std::vector<uint8_t> payload(need);
    if (payload_encode(&b, payload.data(), payload.size()) != need) return false;
    std::string bytes(program.begin(), program.end());
    bytes.append(payload.begin(), payload.end());
    write_file(path, bytes);
    // The buttons here laid out as the program lays out this board, for the
    // taps' positions.
    board_payload = &b;
    app_init();
    return chmod(path.c_str(), 0755) == 0;
}

// ---- X input ---------------------------------------------------------------

struct Taps {
    Display *d = nullptr;
    Window w = 0;
    int x = 0, y = 0; // the window's origin on the screen
    bool find(pid_t pid) {
        d = XOpenDisplay(nullptr);
        if (!d) return false;
        w = xwindow_wait(d, "Vostrel Soundboard", 20000, [pid] { return program_running(pid); });
        if (!w) return false;
        Window child;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
        return true;
    }
    // Press on the slot's centre, hold 40 ms; the release's time.
    double tap(int slot) {
        PixelBox box = board_button_box(slot, WIDTH, HEIGHT);
        XTestFakeMotionEvent(d, -1, x + box.centre_x(), y + box.centre_y(), CurrentTime);
        XTestFakeButtonEvent(d, 1, True, CurrentTime);
        XFlush(d);
        pause_ms(40);
        double at = mono_now();
        XTestFakeButtonEvent(d, 1, False, CurrentTime);
        XFlush(d);
        return at;
    }
    ~Taps() {
        if (d) XCloseDisplay(d);
    }
};

// ---- one server ------------------------------------------------------------

struct Options {
    int taps = 30;
    int dropout_seconds = 30;
    std::vector<std::string> servers = {"pulse", "pipewire"};
    std::vector<std::string> sdls = {"classic", "compat"};
    std::vector<std::string> modes = {"normal", "low"};
    std::vector<std::string> program_env; // more NAME=value for the program alone
    int stress = 1;                       // 0: the dropout check without the load
    int verbose = 0;                      // 1: every dropout's time and kind
    std::string dropout_mode = "low";     // the mode the loop plays in
    int floor_buffer_ms = 12;             // the floor client's buffer in its dropout check
    int loop_recorder_ms = 20;            // the recorder's reads while a loop plays (1 ms reads run PipeWire's graph at 1 ms a cycle)
};

Options options;

// The bounded CPU load on both cores, for the check's `seconds` and a little
// more (stress-ng ends by itself), unless --stress 0: -1 when none.
pid_t start_load(int seconds, const std::string &log) {
    if (!options.stress) return -1;
    return program_start_binary(
        "/usr/bin/stress-ng", {"--cpu", "2", "--timeout", std::to_string(seconds + 3) + "s", "-q"},
        {}, log);
}

// How late the machine lets a thread run: a thread of this process at
// real-time priority (SCHED_FIFO, where it may have it) sleeping 1 ms at a
// time, as a sound server's or a client's thread waits for its next
// period. What it sees late, every thread sees at least as late.
struct Stalls {
    bool realtime = false;
    int wakes = 0, over_5ms = 0;
    double worst_ms = 0;
};

void watch_stalls(const std::atomic<bool> &stop, Stalls &out) {
    sched_param param{};
    param.sched_priority = 50;
    out.realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    while (!stop) {
        const double before = mono_now();
        const timespec ms{0, 1000000};
        nanosleep(&ms, nullptr);
        const double late = (mono_now() - before) * 1000 - 1.0;
        out.wakes++;
        out.over_5ms += late > 5.0;
        out.worst_ms = std::max(out.worst_ms, late);
    }
}

// A second for the load to take hold, then `seconds` recorded, the stall
// watch beside it: the whole recording in s, the span checked in [from, to).
void record_span(Recorder &rec, int seconds, std::vector<int16_t> &s, size_t &from, size_t &to,
                 Stalls *stalls = nullptr) {
    pause_ms(1000);
    std::atomic<bool> stop{false};
    Stalls seen;
    std::thread watch([&] { watch_stalls(stop, seen); });
    from = rec.frames();
    pause_ms(seconds * 1000);
    to = rec.frames();
    stop = true;
    watch.join();
    if (stalls) *stalls = seen;
    std::vector<Read> reads;
    rec.snapshot(s, reads);
}

// pacat playing raw 16-bit stereo at `rate` on the tap sink, asked for a
// buffer of `latency_ms`, fed through p[1] (p[0] is closed here); -1 if it
// could not be started.
pid_t start_pacat(const std::vector<std::string> &env, int rate, int latency_ms, int p[2]) {
    if (pipe(p) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(p[0], 0);
        close(p[0]);
        close(p[1]);
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        const std::string r = "--rate=" + std::to_string(rate);
        const std::string latency = "--latency-msec=" + std::to_string(latency_ms);
        execl(PACAT, PACAT, "--device=tap", "--raw", "--format=s16le", r.c_str(), "--channels=2",
              latency.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(p[0]);
    if (pid < 0) close(p[1]);
    return pid;
}

// pacat at 2 ms: a 30 ms burst written at a known time, `taps` times.
Figures floor_figures(const std::vector<std::string> &env, Recorder &rec, int taps) {
    Figures f;
    int p[2];
    const pid_t pid = start_pacat(env, rec.rate, 2, p);
    if (pid < 0) return f;
    std::vector<int16_t> burst(static_cast<size_t>(rec.rate * 3 / 100 * 2));
    for (size_t i = 0; i < burst.size(); i++)
        burst[i] = static_cast<int16_t>(20000 * ((i / 2) % 44 < 22 ? 1 : -1));
    pause_ms(1000); // the stream connected
    for (int t = 0; t < taps; t++) {
        pause_ms(250);
        double at = mono_now();
        if (write(p[1], burst.data(), burst.size() * 2) < 0) break;
        pause_ms(250);
        std::vector<int16_t> s;
        std::vector<Read> reads;
        rec.snapshot(s, reads);
        size_t k = first_audible(s, frame_at(reads, at, rec.rate));
        if (k == std::string::npos) {
            f.missed++;
            continue;
        }
        f.ms.push_back((arrival(reads, k) - at) * 1000);
    }
    close(p[1]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return f;
}

std::vector<std::string> program_env(const std::vector<std::string> &server_env,
                                     const std::string &sdl) {
    std::vector<std::string> env = server_env;
    env.push_back("SDL_AUDIODRIVER=pulse");
    if (sdl == "compat") env.push_back("LD_LIBRARY_PATH=" VOSTREL_SDL12_COMPAT_DIR);
    for (const std::string &e : options.program_env)
        env.push_back(e);
    return env;
}

// The board started in `mode`, tapped `taps` times on the burst.
Figures board_figures(const std::string &dir, const std::string &board,
                      const std::vector<std::string> &env, const std::string &mode, Recorder &rec,
                      int taps) {
    Figures f;
    pid_t pid = program_start_binary(board, {"--latency", mode}, env, dir + "/program.txt");
    ChildGuard guard(pid);
    Taps x;
    if (!x.find(pid)) {
        fprintf(stderr, "no window: %s\n", read_file(dir + "/program.txt").c_str());
        return f;
    }
    pause_ms(1500); // the stream flowing
    x.tap(0);       // the first tap may wait for a stream's start
    pause_ms(500);
    for (int t = 0; t < taps; t++) {
        pause_ms(150 + (t * 37) % 100); // not in step with any period of the loop
        double at = x.tap(0);
        pause_ms(300);
        std::vector<int16_t> s;
        std::vector<Read> reads;
        rec.snapshot(s, reads);
        size_t k = first_audible(s, frame_at(reads, at, rec.rate));
        if (k == std::string::npos) {
            f.missed++;
            continue;
        }
        f.ms.push_back((arrival(reads, k) - at) * 1000);
    }
    program_terminate(pid, 10);
    return f;
}

struct Dropouts {
    int gaps = 0, jumps = 0;
    double seconds = 0;
    bool played = false;
    Stalls stalls;
};

// Gaps and jumps in the recorded 441 Hz loop between frames `from` and `to`.
// A server that runs out of a stream's samples plays silence in their place:
// the run's first frame is a jump in the waveform, and 0.5 ms on the same
// run is a gap, so an event that goes silent within the 10 ms that make one
// event counts as a gap, not as a jump.
void count_dropouts(const std::vector<int16_t> &s, size_t from, size_t to, int rate, Dropouts &r) {
    r.seconds = static_cast<double>(to - from) / rate;
    r.played = first_audible(s, from) < to;
    // A sine of amplitude A at f Hz changes its slope by at most
    // A (2 pi f / rate)^2 a frame; ten times that, and more than a tenth of
    // the amplitude, is a jump.
    const double w = 2 * PI * 441.0 / rate;
    const double jump = std::max(10 * 16000 * w * w, 1600.0);
    const size_t gap = static_cast<size_t>(rate / 2000); // 0.5 ms
    double last_event = -1;
    int counted = 0; // the kind of the event being counted: 1 gap, 2 jump
    size_t quiet = 0;
    for (size_t i = from + 1; i + 1 < to; i++) {
        const double t = static_cast<double>(i) / rate;
        quiet = (s[i] > -200 && s[i] < 200) ? quiet + 1 : 0;
        const double d2 = fabs(static_cast<double>(s[i + 1]) - 2.0 * s[i] + s[i - 1]);
        int event = 0;
        if (quiet == gap)
            event = 1;
        else if (d2 > jump)
            event = 2;
        if (!event) continue;
        const bool fresh = last_event < 0 || t - last_event > 0.01;
        if (fresh || (event == 1 && counted == 2)) {
            if (options.verbose)
                printf("  %s at %.4f s (d2 %.0f)\n", event == 1 ? "gap" : "jump",
                       t - static_cast<double>(from) / rate, d2);
            if (!fresh) r.jumps--; // the jump opened a silence
            if (event == 1)
                r.gaps++;
            else
                r.jumps++;
            counted = event;
        }
        last_event = t;
    }
}

// The loop played for `seconds` under stress-ng on both cores.
Dropouts dropout_check(const std::string &dir, const std::string &board,
                       const std::vector<std::string> &env, Recorder &rec, int seconds) {
    Dropouts r;
    pid_t pid =
        program_start_binary(board, {"--latency", options.dropout_mode}, env, dir + "/program.txt");
    ChildGuard guard(pid);
    Taps x;
    if (!x.find(pid)) return r;
    pause_ms(1500);
    x.tap(1);
    pause_ms(1000);
    const pid_t stress = start_load(seconds, dir + "/stress.txt");
    ChildGuard stress_guard(stress);
    size_t from = 0, to = 0;
    std::vector<int16_t> s;
    record_span(rec, seconds, s, from, to, &r.stalls);
    if (options.verbose) {
        std::string raw(reinterpret_cast<const char *>(s.data() + from), (to - from) * 2);
        write_file("/tmp/latency_loop.raw", raw);
    }
    if (stress > 0) program_wait(stress, 10);
    program_terminate(pid, 10);
    count_dropouts(s, from, to, rec.rate, r);
    return r;
}

// The floor client under the same load: pacat, asked for the buffer the
// program's low latency asks for (--floor-buffer-ms), fed the 441 Hz loop
// without a seam (100 frames a period at 44100 Hz) from a thread here. What
// it loses is the machine's, not the program's.
Dropouts floor_dropouts(const std::vector<std::string> &env, Recorder &rec, int seconds) {
    Dropouts r;
    int p[2];
    const pid_t pid = start_pacat(env, 44100, options.floor_buffer_ms, p);
    if (pid < 0) return r;
    std::vector<int16_t> periods(44 * 100 * 2);
    for (size_t i = 0; i < periods.size(); i++)
        periods[i] =
            static_cast<int16_t>(lround(16000 * sin(2 * PI * static_cast<double>(i / 2) / 100)));
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop)
            if (write(p[1], periods.data(), periods.size() * 2) < 0) break;
    });
    pause_ms(1500); // the stream flowing
    const pid_t stress = start_load(seconds, "/dev/null");
    ChildGuard stress_guard(stress);
    size_t from = 0, to = 0;
    std::vector<int16_t> s;
    record_span(rec, seconds, s, from, to, &r.stalls);
    if (stress > 0) program_wait(stress, 10);
    stop = true;
    kill(pid, SIGKILL); // the feeder's write then fails (SIGPIPE is ignored: main)
    waitpid(pid, nullptr, 0);
    feeder.join();
    close(p[1]);
    count_dropouts(s, from, to, rec.rate, r);
    return r;
}

// One loop's line: who played it, what was lost, how late the machine ran.
void print_loop(const char *name, const std::string &who, const Options &o, const Dropouts &d) {
    printf("%s, %s, loop%s, %d ms reads: %.1f s recorded, %s, %d silent gaps, %d jumps; "
           "a %s thread here woke up to %.1f ms late (%d of %d wakes over 5 ms)\n",
           name, who.c_str(), o.stress ? " under stress-ng --cpu 2" : "", o.loop_recorder_ms,
           d.seconds, d.played ? "sounding" : "NOT SOUNDING", d.gaps, d.jumps,
           d.stalls.realtime ? "real-time" : "ordinary", d.stalls.worst_ms, d.stalls.over_5ms,
           d.stalls.wakes);
    fflush(stdout);
}

template <class Server>
void run_server(Server &server, const char *name, const Options &o, const std::string &board) {
    if (!server.start()) {
        printf("%s: cannot start: %s\n", name, server.logs().c_str());
        return;
    }
    Recorder rec;
    if (!rec.start(server.env(), server.rate()) || !rec.flowing(8)) {
        printf("%s: the recorder hears nothing\n", name);
        return;
    }
    printf("%s, floor (pacat, 2 ms): %s\n", name,
           summary(floor_figures(server.env(), rec, o.taps)).c_str());
    fflush(stdout);
    for (const std::string &sdl : o.sdls) {
        for (const std::string &mode : o.modes) {
            Figures f =
                board_figures(server.dir, board, program_env(server.env(), sdl), mode, rec, o.taps);
            printf("%s, %s SDL 1.2, --latency %s: %s\n", name, sdl.c_str(), mode.c_str(),
                   summary(f).c_str());
            fflush(stdout);
        }
    }
    rec.end();
    if (o.dropout_seconds <= 0) {
        server.kill_now();
        return;
    }
    // The loops with a recorder of their own: on PipeWire a recorder's
    // fragment sets the quantum of the whole graph, so the taps' 1 ms reads
    // would run the sink at a millisecond a cycle, and what a late cycle
    // loses would be the recorder's doing.
    Recorder loop_rec;
    if (!loop_rec.start(server.env(), server.rate(), o.loop_recorder_ms) || !loop_rec.flowing(8)) {
        printf("%s: the loop's recorder hears nothing\n", name);
        return;
    }
    print_loop(name, "floor (pacat, " + std::to_string(o.floor_buffer_ms) + " ms)", o,
               floor_dropouts(server.env(), loop_rec, o.dropout_seconds));
    for (const std::string &sdl : o.sdls)
        print_loop(name, sdl + " SDL 1.2, --latency " + o.dropout_mode, o,
                   dropout_check(server.dir, board, program_env(server.env(), sdl), loop_rec,
                                 o.dropout_seconds));
    loop_rec.end();
    server.kill_now();
}

std::vector<std::string> split(const char *s) {
    std::vector<std::string> out;
    std::string cur;
    for (; *s; s++) {
        if (*s == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += *s;
        }
    }
    out.push_back(cur);
    return out;
}

} // namespace

int main(int argc, char **argv) {
    Options &o = options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--taps") == 0)
            o.taps = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--dropout-seconds") == 0)
            o.dropout_seconds = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--servers") == 0)
            o.servers = split(argv[i + 1]);
        else if (strcmp(argv[i], "--sdl") == 0)
            o.sdls = strcmp(argv[i + 1], "none") == 0 ? std::vector<std::string>{} // the floor alone
                                                      : split(argv[i + 1]);
        else if (strcmp(argv[i], "--modes") == 0)
            o.modes = split(argv[i + 1]);
        else if (strcmp(argv[i], "--dropout-mode") == 0)
            o.dropout_mode = argv[i + 1];
        else if (strcmp(argv[i], "--stress") == 0)
            o.stress = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--verbose") == 0)
            o.verbose = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--floor-buffer-ms") == 0)
            o.floor_buffer_ms = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--loop-recorder-ms") == 0)
            o.loop_recorder_ms = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--program-env") == 0)
            o.program_env.push_back(argv[i + 1]);
    }
    // A pipe to a client that was ended reports EPIPE instead of ending the run.
    signal(SIGPIPE, SIG_IGN);
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_latency: run under an X server (xvfb-run -a)\n");
        return 2;
    }
    TempDir dir;
    const std::string board = dir.file("board-program");
    if (!make_board(board)) {
        fprintf(stderr, "bench_latency: the board could not be made\n");
        return 1;
    }
    for (const std::string &s : o.servers) {
        if (s == "pulse") {
            if (std::string missing = pulse_missing(); !missing.empty()) {
                printf("pulseaudio: %s is not installed\n", missing.c_str());
                continue;
            }
            TempDir sd;
            PulseServer server(sd.path);
            run_server(server, "PulseAudio", o, board);
        } else if (s == "pipewire") {
            if (std::string missing = pipewire_missing(); !missing.empty()) {
                printf("pipewire: %s is not installed\n", missing.c_str());
                continue;
            }
            TempDir sd;
            PipeWireServer server(sd.path);
            run_server(server, "PipeWire", o, board);
        }
    }
    return 0;
}
