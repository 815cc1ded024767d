// Remote control figures (not pass/fail), on loopback only:
//   - remote press -> play call: an HTTP POST on a new connection, and an
//     OSC datagram, each stamped as it is sent, to the shim's stamp of the
//     Mix_PlayChannelTimed it causes; with and without --power-save;
//   - a bounded flood: at most FLOOD_REQUESTS HTTP requests in at most
//     FLOOD_SECONDS from FLOOD_SLOTS connections at once (more than the
//     program takes), half pressing with a wrong token, half reading the
//     board with the right one, plus FLOOD_OSC malformed OSC datagrams;
//     meanwhile panel taps through XTest, their release -> play call, the
//     loop's turn (frame to frame), the memory before and after, and every
//     play call matched to a tap (so none came from a request without the
//     token).
#include "tests/support.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "tools/xwindow.h"

#include <algorithm>
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LATENCY_PRESSES = 50;
constexpr int FLOOD_REQUESTS = 20000;
constexpr double FLOOD_SECONDS = 10.0;
constexpr int FLOOD_SLOTS = 200;
constexpr long long FLOOD_PATIENCE_NS = 100000000LL; // a connection unanswered this long is dropped
constexpr int FLOOD_OSC = 1000;
constexpr int FLOOD_TAP_MS = 400; // a panel tap this often during the flood

long long now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct Child {
    pid_t pid = -1;
    std::string dir, trace;
    int port = 0;
    std::string token;
};

int free_port() {
    for (int attempt = 0; attempt < 50; attempt++) {
        int t = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        bind(t, reinterpret_cast<sockaddr *>(&a), sizeof a);
        getsockname(t, reinterpret_cast<sockaddr *>(&a), &n);
        close(t);
        int port = ntohs(a.sin_port);
        int u = socket(AF_INET, SOCK_DGRAM, 0);
        a.sin_port = htons(static_cast<uint16_t>(port + 1));
        int ok = port < 65535 && bind(u, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        close(u);
        if (ok) return port;
    }
    return -1;
}

Child launch(const std::string &dir, std::vector<std::string> args) {
    Child c;
    c.dir = dir;
    c.trace = dir + "/trace.txt";
    c.port = free_port();
    unlink(c.trace.c_str());
    args.insert(args.begin(), VOSTREL_BINARY);
    args.push_back("--remote");
    args.push_back("--remote-port");
    args.push_back(std::to_string(c.port));
    fflush(nullptr);
    c.pid = fork();
    if (c.pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
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
    for (int i = 0; i < 200 && c.token.empty(); i++) {
        std::string t = read_file(dir + "/vostrel soundboard.token");
        if (t.size() >= 32) c.token = t.substr(0, 32);
        pause_ms(25);
    }
    pause_ms(1000);
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

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double maximum(const std::vector<double> &v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

long rss_kib(pid_t pid) {
    std::string s = read_file("/proc/" + std::to_string(pid) + "/status");
    size_t at = s.find("VmRSS:");
    return at == std::string::npos ? -1 : atol(s.c_str() + at + 6);
}

sockaddr_in loopback(int port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

std::string request(const char *method, const std::string &path, const std::string &token) {
    return std::string(method) + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
           token + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

// One request on a new blocking connection; the reply's status, 0 if none.
int http_once(int port, const std::string &text) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv = {2, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a = loopback(port);
    int status = 0;
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        send(s, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        char buf[512];
        ssize_t n = recv(s, buf, sizeof buf - 1, 0);
        if (n > 12) {
            buf[n] = 0;
            status = atoi(buf + 9);
        }
    }
    close(s);
    return status;
}

std::vector<uint8_t> osc_press(int page, int button) {
    std::vector<uint8_t> p;
    auto str = [&p](const char *s) {
        size_t n = strlen(s) + 1;
        p.insert(p.end(), s, s + n);
        while (p.size() % 4) p.push_back(0);
    };
    auto i32 = [&p](int v) {
        for (int shift = 24; shift >= 0; shift -= 8) p.push_back(static_cast<uint8_t>(v >> shift));
    };
    str("/vostrel/press");
    str(",ii");
    i32(page);
    i32(button);
    return p;
}

struct Latency {
    std::vector<double> http, osc;
    int missing = 0;
};

// Presses through HTTP and OSC, one at a time, each matched to the next play call.
Latency remote_latency(const std::string &dir, const std::vector<std::string> &args) {
    Latency r;
    Child c = launch(dir, args);
    int udp = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in osc = loopback(c.port + 1);
    for (int i = 0; i < 2 * LATENCY_PRESSES; i++) {
        const bool by_osc = i % 2;
        const int button = i % 20 + 1;
        pause_ms(60 + (i * 7) % 23); // spread over the loop's phase
        size_t before = stamps(c, "play").size();
        long long sent = now_ns();
        if (by_osc) {
            std::vector<uint8_t> p = osc_press(1, button);
            sendto(udp, p.data(), p.size(), 0, reinterpret_cast<const sockaddr *>(&osc), sizeof osc);
        } else {
            http_once(c.port, request("POST", "/api/press/1/" + std::to_string(button), c.token));
        }
        long long played = wait_stamp(c, "play", before + 1, 1000);
        if (played < 0)
            r.missing++;
        else
            (by_osc ? r.osc : r.http).push_back((played - sent) / 1e6);
    }
    close(udp);
    stop(c);
    return r;
}

struct Slot {
    int fd = -1;
    std::string out;
    size_t sent = 0;
    int wrong = 0;
    std::string in;
    long long opened = 0;
};

struct Flood {
    long attempted = 0, answered = 0, refused = 0, dropped = 0, ok = 0, unauthorised = 0, other = 0;
    int osc = 0;
    double seconds = 0;
    std::vector<double> tap_ms;
    int taps = 0, plays = 0;
    std::vector<double> turns;
    long rss_before = -1, rss_after = -1;
};

void slot_close(Slot &s) {
    if (s.fd >= 0) close(s.fd);
    s = Slot();
}

Flood flood(Display *d, const std::string &dir, bool requests) {
    Flood r;
    Child c = launch(dir, {});
    Window w = xwindow_wait(d, "Vostrel Soundboard", 5000, [] { return true; });
    int wx = 0, wy = 0;
    Window child;
    if (w) XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &wx, &wy, &child);
    pause_ms(500);
    r.rss_before = rss_kib(c.pid);
    std::string wrong = c.token;
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    int udp = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in osc = loopback(c.port + 1);
    const sockaddr_in http = loopback(c.port);
    Slot slots[FLOOD_SLOTS];
    std::vector<long long> releases;
    const long long start = now_ns();
    long long next_tap = start + 200000000LL;
    int tap_state = 0; // 0 up, 1 down
    unsigned seed = 12345;
    const size_t frames_before = stamps(c, "frame").size();
    while (true) {
        const long long now = now_ns();
        const bool time_left = (now - start) / 1e9 < FLOOD_SECONDS;
        if (!time_left) break;
        // Panel taps: press, 40 ms, release.
        if (w && now >= next_tap) {
            PixelBox cell = board_button_box(r.taps % 20, 320, 480);
            if (tap_state == 0) {
                XTestFakeMotionEvent(d, -1, wx + cell.centre_x(), wy + cell.centre_y(), 0);
                XTestFakeButtonEvent(d, 1, True, 0);
                XFlush(d);
                tap_state = 1;
                next_tap = now + 40000000LL;
            } else {
                XTestFakeButtonEvent(d, 1, False, 0);
                XFlush(d);
                releases.push_back(now_ns());
                r.taps++;
                tap_state = 0;
                next_tap = now + FLOOD_TAP_MS * 1000000LL;
            }
        }
        // New connections into free slots while requests are left.
        bool any = false;
        for (Slot &s : slots) {
            if (requests && s.fd < 0 && r.attempted < FLOOD_REQUESTS) {
                s.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
                s.wrong = r.attempted % 2 == 0;
                s.out = s.wrong ? request("POST", "/api/press/1/" + std::to_string(r.attempted % 20 + 1), wrong)
                                : request("GET", "/api/board", c.token);
                connect(s.fd, reinterpret_cast<const sockaddr *>(&http), sizeof http);
                s.opened = now;
                r.attempted++;
                // Malformed OSC alongside: one datagram every twentieth request.
                if (r.attempted % 20 == 0 && r.osc < FLOOD_OSC) {
                    uint8_t junk[64];
                    const size_t n = 4 + (r.osc % 15) * 4;
                    for (size_t i = 0; i < n; i++) junk[i] = static_cast<uint8_t>(rand_r(&seed));
                    if (r.osc % 3 == 0) memcpy(junk, "/vostrel/press\0\0,ii", std::min<size_t>(n, 19));
                    sendto(udp, junk, n, 0, reinterpret_cast<const sockaddr *>(&osc), sizeof osc);
                    r.osc++;
                }
            }
            any = any || s.fd >= 0;
        }
        if (!any && requests) break;
        pollfd fds[FLOOD_SLOTS];
        for (int i = 0; i < FLOOD_SLOTS; i++)
            fds[i] = {slots[i].fd, static_cast<short>(slots[i].sent < slots[i].out.size() ? POLLOUT : POLLIN), 0};
        poll(fds, FLOOD_SLOTS, 1);
        for (int i = 0; i < FLOOD_SLOTS; i++) {
            Slot &s = slots[i];
            if (s.fd >= 0 && !fds[i].revents && now_ns() - s.opened > FLOOD_PATIENCE_NS) {
                r.dropped++;
                slot_close(s);
                continue;
            }
            if (s.fd < 0 || !fds[i].revents) continue;
            if (s.sent < s.out.size()) {
                ssize_t n = send(s.fd, s.out.data() + s.sent, s.out.size() - s.sent, MSG_NOSIGNAL);
                if (n > 0) s.sent += static_cast<size_t>(n);
                else if (errno != EAGAIN) { r.refused++; slot_close(s); }
                continue;
            }
            char buf[4096];
            ssize_t n = recv(s.fd, buf, sizeof buf, 0);
            if (n > 0) {
                s.in.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EAGAIN) continue;
            if (s.in.size() > 12) {
                r.answered++;
                int status = atoi(s.in.c_str() + 9);
                if (status == 200) r.ok++;
                else if (status == 401) r.unauthorised++;
                else r.other++;
            } else {
                r.refused++;
            }
            slot_close(s);
        }
    }
    for (Slot &s : slots) {
        if (s.fd >= 0) r.refused++;
        slot_close(s);
    }
    if (tap_state == 1) {
        XTestFakeButtonEvent(d, 1, False, 0);
        XFlush(d);
        releases.push_back(now_ns());
        r.taps++;
    }
    r.seconds = (now_ns() - start) / 1e9;
    close(udp);
    pause_ms(1500);
    r.rss_after = rss_kib(c.pid);
    const std::vector<long long> plays = stamps(c, "play");
    r.plays = static_cast<int>(plays.size());
    for (long long released : releases)
        for (long long p : plays)
            if (p >= released) {
                r.tap_ms.push_back((p - released) / 1e6);
                break;
            }
    const std::vector<long long> frames = stamps(c, "frame");
    for (size_t i = frames_before + 1; i < frames.size(); i++)
        if (frames[i - 1] >= start && frames[i] <= start + static_cast<long long>(r.seconds * 1e9))
            r.turns.push_back((frames[i] - frames[i - 1]) / 1e6);
    stop(c);
    return r;
}

} // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "bench_remote: no X display\n");
        return 1;
    }
    xwindow_survive_errors();
    printf("Remote control (loopback; %d presses each way and mode)\n", LATENCY_PRESSES);
    for (int power_save = 0; power_save < 2; power_save++) {
        Latency l = remote_latency(dir.path, power_save ? std::vector<std::string>{"--power-save"}
                                                        : std::vector<std::string>{});
        printf("  remote press -> play call%s: HTTP (new connection) median %.2f ms, max %.2f ms; "
               "OSC median %.2f ms, max %.2f ms; %d without a play call\n",
               power_save ? ", --power-save" : "", median(l.http), maximum(l.http), median(l.osc),
               maximum(l.osc), l.missing);
    }
    Flood quiet = flood(d, dir.path, false);
    printf("  without requests, %.1f s: panel taps %d, play calls %d, release -> play call median "
           "%.2f ms, max %.2f ms; loop turn median %.2f ms, max %.2f ms\n",
           quiet.seconds, quiet.taps, quiet.plays, median(quiet.tap_ms), maximum(quiet.tap_ms),
           median(quiet.turns), maximum(quiet.turns));
    Flood f = flood(d, dir.path, true);
    printf("  flood: %ld requests in %.1f s from up to %d connections at once (half pressing with a wrong "
           "token), %d malformed OSC datagrams\n",
           f.attempted, f.seconds, FLOOD_SLOTS, f.osc);
    printf("    answered %ld (200: %ld, 401: %ld, other: %ld), refused or cut by the limits %ld, "
           "given up after %lld ms unanswered %ld\n",
           f.answered, f.ok, f.unauthorised, f.other, f.refused, FLOOD_PATIENCE_NS / 1000000, f.dropped);
    printf("    panel taps during it: %d, play calls %d (none but the taps'), release -> play call "
           "median %.2f ms, max %.2f ms\n",
           f.taps, f.plays, median(f.tap_ms), maximum(f.tap_ms));
    printf("    loop turn (frame to frame) during it: median %.2f ms, max %.2f ms\n", median(f.turns),
           maximum(f.turns));
    printf("    resident memory: %ld KiB before, %ld KiB after (%+ld KiB)\n", f.rss_before,
           f.rss_after, f.rss_after - f.rss_before);
    XCloseDisplay(d);
    return 0;
}
