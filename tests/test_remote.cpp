// Remote control through real clients: the program under the test's X
// display with disk audio, driven by curl over HTTP and by oscsend (and a
// socket of the test's own for a sender it must not trust) over OSC, all on
// loopback, on ports found free for each program started.
//
// What a request did is heard, not asked: the program's mixed output goes
// to SDL's disk audio file, and a clip is found there by an exact match of
// its first audible samples as the test's own mixer decodes them; "nothing
// played" is an output that stays silent.
#include "support.h"

#include "app/app.h"
#include "app/remote.h"

#include <qrencode.h>

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include <X11/Xutil.h>

#include <algorithm>
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int RATE = 44100;
constexpr int FRAME_BYTES = 4;

// A TCP port on 127.0.0.1 whose next port is free for UDP too: bound to port
// 0 and released again, so programs started side by side do not clash.
int free_port_pair() {
    for (int attempt = 0; attempt < 50; attempt++) {
        int t = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (bind(t, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            getsockname(t, reinterpret_cast<sockaddr *>(&a), &n) != 0) {
            close(t);
            continue;
        }
        int port = ntohs(a.sin_port);
        close(t);
        if (port >= 65535) continue;
        int u = socket(AF_INET, SOCK_DGRAM, 0);
        a.sin_port = htons(static_cast<uint16_t>(port + 1));
        int ok = bind(u, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        close(u);
        if (ok) return port;
    }
    return -1;
}

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// Output of a shell command.
std::string command_output(const std::string &cmd) {
    std::string out;
    FILE *f = popen(cmd.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
    return out;
}

struct Reply {
    int status = 0;
    std::string headers; // lower-cased
    std::string body;
};

struct Program {
    TempDir dir;
    TestProgram run; // run.binary: another program (a board made by the maker)
    int port = -1;
    std::string url; // the line's address
    std::vector<std::string> launcher; // the program started through this command, when not empty

    bool start(std::vector<std::string> args, bool remote = true) {
        port = free_port_pair();
        if (port < 0) return false;
        if (remote) {
            args.push_back("--remote-port");
            args.push_back(std::to_string(port));
        }
        args.push_back("--log-level");
        args.push_back("3");
        // The child's stdout into a file: the program's URL line.
        int saved = dup(1);
        FILE *out = fopen(dir.file("stdout.txt").c_str(), "w");
        if (!out) return false;
        fflush(stdout);
        dup2(fileno(out), 1);
        if (!launcher.empty()) {
            std::vector<std::string> words(launcher.begin() + 1, launcher.end());
            words.push_back(VOSTREL_BINARY);
            words.insert(words.end(), args.begin(), args.end());
            run.binary = launcher[0];
            args = words;
        }
        run.folder = dir.path;
        run.start(args, run.disk_audio(), dir.file("stderr.txt"));
        dup2(saved, 1);
        close(saved);
        fclose(out);
        if (!run.wait_started()) return false;
        if (remote)
            for (int i = 0; i < 100 && url.empty(); i++) {
                std::string line = trim(read_file(dir.file("stdout.txt")));
                if (line.compare(0, 8, "remote: ") == 0) url = line.substr(8);
                if (url.empty()) pause_scaled_ms(50);
            }
        pause_scaled_ms(300);
        return run.running();
    }
    std::string log() const { return run.log(); }
    std::string token_file() const { return dir.file("vostrel soundboard.token"); }
    std::string token() const {
        size_t hash = url.find('#');
        return hash == std::string::npos ? "" : url.substr(hash + 1);
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }

    // curl against the program; extra holds curl's own arguments.
    Reply http(const std::string &method, const std::string &path,
               const std::string &extra = "") const {
        const std::string head = dir.file("headers.txt"), body = dir.file("body.txt");
        std::string cmd = "curl -s -m 5 -X " + method + " -D '" + head + "' -o '" + body +
                          "' -w '%{http_code}' " + extra + " '" + base() + path + "'";
        Reply r;
        r.status = atoi(command_output(cmd).c_str());
        r.headers = read_file(head);
        std::transform(r.headers.begin(), r.headers.end(), r.headers.begin(), ::tolower);
        r.body = read_file(body);
        return r;
    }
    Reply api(const std::string &method, const std::string &path,
              const std::string &extra = "") const {
        return http(method, path, "-H 'Authorization: Bearer " + token() + "' " + extra);
    }
    int stop() { return run.stop(); }
};

bool silent_from(const std::vector<int16_t> &out, size_t frame) {
    for (size_t i = frame * 2; i < out.size(); i++)
        if (out[i] != 0) return false;
    return true;
}

// Inodes of the sockets the process holds, as /proc/PID/fd names them.
std::vector<std::string> socket_inodes(pid_t pid) {
    std::vector<std::string> inodes;
    const std::string fd_dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR *d = opendir(fd_dir.c_str());
    if (!d) return inodes;
    while (dirent *e = readdir(d)) {
        char target[256];
        ssize_t n = readlink((fd_dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (strncmp(target, "socket:[", 8) == 0)
            inodes.push_back(std::string(target + 8, strlen(target + 8) - 1));
    }
    closedir(d);
    return inodes;
}

// Internet sockets (TCP or UDP, IPv4 or IPv6) among the process's sockets.
int internet_sockets(pid_t pid) {
    int found = 0;
    const std::vector<std::string> inodes = socket_inodes(pid);
    for (const char *table : {"tcp", "tcp6", "udp", "udp6"}) {
        const std::string text = read_file("/proc/" + std::to_string(pid) + "/net/" + table);
        size_t line_start = text.find('\n');
        while (line_start != std::string::npos && line_start + 1 < text.size()) {
            size_t end = text.find('\n', line_start + 1);
            std::string line = text.substr(line_start + 1, end - line_start - 1);
            // The inode is the tenth column.
            char inode[32] = "";
            if (sscanf(line.c_str(), "%*s %*s %*s %*s %*s %*s %*s %*s %*s %31s", inode) == 1 &&
                std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
                found++;
            line_start = end;
        }
    }
    return found;
}

// One OSC datagram to 127.0.0.1:port, sent from a socket bound to `from`.
bool osc_send_from(const char *from, int port, const std::vector<uint8_t> &packet) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    bool ok = bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok = ok && sendto(s, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&to),
                      sizeof to) == static_cast<ssize_t>(packet.size());
    close(s);
    return ok;
}

// "/vostrel/press" with two int32 arguments, as the OSC 1.0 encoding lays it
// out: the path and the type tags NUL-padded to four bytes, then big-endian.
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

class Remote : public ::testing::Test {
  protected:
    static Program *program;
    static std::vector<std::vector<int16_t>> clips;
    static std::vector<int> order;

    static void SetUpTestSuite() {
        clips = board_clip_samples();
        order = board_display_order();
        program = new Program();
        program->start({"--remote"});
    }
    static void TearDownTestSuite() { delete program; }
    void SetUp() override {
        ASSERT_FALSE(program->url.empty()) << "the program printed no remote line";
        ASSERT_EQ(clips.size(), static_cast<size_t>(BOARD_BUTTONS));
        // Whatever an earlier test started has stopped.
        program->api("POST", "/api/stop");
        pause_scaled_ms(200);
    }
    // Output frames now, and then after half a second whether anything but
    // silence came.
    static bool quiet_after(size_t mark) {
        program->run.wait_audio(mark + RATE / 2);
        return silent_from(program->run.audio(), mark);
    }
    // Whether the clip of display slot `slot` starts within a second of mark.
    static bool heard(int slot, size_t mark) {
        return program->run.wait_for_clip(clips[order[slot]], mark,
                                          RATE * static_cast<size_t>(wait_scale())) >= 0;
    }
    // The longest clip's slot, so it still plays when the next request comes.
    static int long_slot() {
        int best = 0;
        for (int s = 1; s < BOARD_BUTTONS; s++)
            if (clips[order[s]].size() > clips[order[best]].size()) best = s;
        return best;
    }
};
Program *Remote::program;
std::vector<std::vector<int16_t>> Remote::clips;
std::vector<int> Remote::order;

TEST_F(Remote, LinePrintedIsTheLoopbackAddressWithTheToken) {
    EXPECT_EQ(program->url.substr(0, program->url.find('#')),
              "http://127.0.0.1:" + std::to_string(program->port) + "/");
    const std::string token = program->token();
    EXPECT_GE(token.size() * 4, 128u) << "at least 128 bits of hex";
    EXPECT_EQ(trim(read_file(program->token_file())), token);
    EXPECT_EQ(program->log().find(token), std::string::npos) << "the token never goes to the log";
}

TEST_F(Remote, WithoutTheRightTokenEveryApiRequestIs401AndNothingPlays) {
    const std::string t = program->token();
    std::string wrong = t;
    wrong[wrong.size() - 1] = wrong.back() == '0' ? '1' : '0';
    const size_t mark = program->run.audio_frames();
    const char *const paths[] = {"/api/board", "/api/press/1/1", "/api/stop", "/api/page/1",
                                 "/api/nothing"};
    for (const char *path : paths)
        for (const std::string &auth :
             {std::string(""), "-H 'Authorization: Bearer " + wrong + "'",
              "-H 'Authorization: Bearer " + t + "x'", "-H 'Authorization: Bearer " + t.substr(1) + "'",
              "-H 'Authorization: Basic " + t + "'", "-H 'Authorization: " + t + "'",
              "-H 'Cookie: token=" + t + "'"}) {
            Reply r = program->http("POST", path, auth);
            EXPECT_EQ(r.status, 401) << path << " " << auth;
            EXPECT_NE(r.headers.find("www-authenticate: bearer"), std::string::npos);
            EXPECT_EQ(r.body.find("Awkward"), std::string::npos);
        }
    EXPECT_TRUE(quiet_after(mark)) << "an unauthenticated press played";
}

TEST_F(Remote, BoardIsDescribedInReadingOrder) {
    Reply r = program->api("GET", "/api/board");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.headers.find("content-type: application/json"), std::string::npos);
    // Every caption, JSON-escaped, in the sorted order the screen shows.
    size_t at = 0;
    for (int slot = 0; slot < BOARD_BUTTONS; slot++) {
        std::string caption = board_captions[order[slot]];
        std::string escaped;
        for (char c : caption) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
        size_t found = r.body.find("\"caption\":\"" + escaped + "\"", at);
        ASSERT_NE(found, std::string::npos) << "slot " << slot << ": " << escaped;
        at = found;
    }
    EXPECT_NE(r.body.find("\"page\":1"), std::string::npos);
}

TEST_F(Remote, PressPlaysThatButtonAndStopSilences) {
    const int slot = long_slot();
    size_t mark = program->run.audio_frames();
    Reply r = program->api("POST", "/api/press/1/" + std::to_string(slot + 1));
    EXPECT_EQ(r.status, 204);
    EXPECT_TRUE(r.body.empty());
    EXPECT_TRUE(heard(slot, mark)) << "button " << slot + 1 << " not heard";
    Reply b = program->api("GET", "/api/board");
    EXPECT_NE(b.body.find("\"playing\":true"), std::string::npos);
    r = program->api("POST", "/api/stop");
    EXPECT_EQ(r.status, 204);
    pause_scaled_ms(200);
    mark = program->run.audio_frames();
    EXPECT_TRUE(quiet_after(mark)) << "still playing after stop";
}

TEST_F(Remote, UnknownPagesButtonsAndPathsAre404) {
    const size_t mark = program->run.audio_frames();
    for (const char *path : {"/api/press/1/21", "/api/press/2/1", "/api/press/0/1",
                             "/api/press/1/0", "/api/press/01/1", "/api/press/1/1x",
                             "/api/press/1", "/api/press/-1/1", "/api/page/2", "/api/page/0",
                             "/api/nothing", "/nothing"}) {
        Reply r = program->api("POST", path);
        EXPECT_EQ(r.status, 404) << path;
    }
    EXPECT_EQ(program->api("POST", "/api/page/1").status, 204);
    EXPECT_TRUE(quiet_after(mark));
}

TEST_F(Remote, GetChangesNothing) {
    const int slot = long_slot();
    size_t mark = program->run.audio_frames();
    EXPECT_EQ(program->api("GET", "/api/press/1/1").status, 405);
    EXPECT_EQ(program->api("GET", "/api/page/1").status, 405);
    EXPECT_TRUE(quiet_after(mark)) << "a GET pressed a button";
    // A GET of stop leaves the playing clip playing.
    mark = program->run.audio_frames();
    ASSERT_EQ(program->api("POST", "/api/press/1/" + std::to_string(slot + 1)).status, 204);
    ASSERT_TRUE(heard(slot, mark));
    EXPECT_EQ(program->api("GET", "/api/stop").status, 405);
    pause_scaled_ms(100);
    const size_t after = program->run.audio_frames();
    program->run.wait_audio(after + RATE / 4);
    EXPECT_FALSE(silent_from(program->run.audio(), after)) << "a GET stopped the sound";
}

TEST_F(Remote, ForeignHostNamesAreRefused) {
    const size_t mark = program->run.audio_frames();
    for (const char *host : {"evil.example", "evil.example:8730", "localhost.evil.example",
                             "127.0.0.1.evil.example", ""}) {
        const std::string h = std::string("-H 'Host: ") + host + "'";
        EXPECT_EQ(program->http("GET", "/", h).status, 403) << host;
        EXPECT_EQ(program->api("POST", "/api/press/1/1", h).status, 403) << host;
        EXPECT_EQ(program->api("GET", "/api/board", h).status, 403) << host;
    }
    EXPECT_TRUE(quiet_after(mark)) << "a request for another host name played";
    char name[256] = "";
    gethostname(name, sizeof name);
    for (const std::string &host :
         {std::string("localhost"), std::string("LOCALHOST:1"), "127.0.0.1:" + std::to_string(program->port),
          std::string("127.1.2.3"), std::string("[::1]:80"), std::string(name)}) {
        EXPECT_EQ(program->http("GET", "/", "-H 'Host: " + host + "'").status, 200) << host;
        EXPECT_EQ(program->api("GET", "/api/board", "-H 'Host: " + host + "'").status, 200) << host;
    }
}

TEST_F(Remote, NoCrossOriginHeaders) {
    const std::string origin = "-H 'Origin: http://evil.example' ";
    std::vector<Reply> replies = {
        program->http("GET", "/", origin),
        program->api("GET", "/api/board", origin),
        program->http("OPTIONS", "/api/press/1/1",
                      origin + "-H 'Access-Control-Request-Method: POST' "
                               "-H 'Access-Control-Request-Headers: authorization'"),
        program->http("POST", "/api/stop", origin)};
    for (const Reply &r : replies) {
        EXPECT_GT(r.status, 0);
        EXPECT_EQ(r.headers.find("access-control-"), std::string::npos) << r.headers;
    }
    EXPECT_NE(replies[2].status, 204);
    EXPECT_NE(replies[2].status, 200);
}

TEST_F(Remote, PageIsServedWithoutTokenAndFetchesNothingElsewhere) {
    Reply r = program->http("GET", "/");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.headers.find("content-type: text/html"), std::string::npos);
    EXPECT_EQ(r.body.find(program->token()), std::string::npos);
    EXPECT_EQ(r.body.find("http://"), std::string::npos) << "nothing fetched from elsewhere";
    EXPECT_EQ(r.body.find("https://"), std::string::npos);
}

TEST_F(Remote, LargeBodiesAreRefused) {
    const size_t mark = program->run.audio_frames();
    const std::string big(4096, 'x');
    write_file(program->dir.file("big.txt"), big);
    Reply r = program->api("POST", "/api/press/1/1",
                           "--data-binary @'" + program->dir.file("big.txt") + "'");
    EXPECT_EQ(r.status, 413);
    EXPECT_TRUE(quiet_after(mark)) << "a refused request played";
    // A small body is fine.
    const int slot = long_slot();
    const size_t again = program->run.audio_frames();
    r = program->api("POST", "/api/press/1/" + std::to_string(slot + 1), "--data 'x=1'");
    EXPECT_EQ(r.status, 204);
    EXPECT_TRUE(heard(slot, again));
}

// A TCP connection to the program's HTTP port, non-blocking after connect.
int http_connect(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// What has arrived on s so far, appended to got; false once the peer has
// closed (end of stream or a reset).
bool http_read(int s, std::string *got) {
    char buf[4096];
    for (;;) {
        ssize_t n = recv(s, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            got->append(buf, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// A client that sends its request's headers a byte a second never lets the
// connection fall quiet, yet it is closed once it has gone the request time
// unanswered; a client on a kept-alive connection that asks every two
// seconds keeps it for longer than that. Nothing the trickle said plays.
TEST_F(Remote, ATrickledRequestIsCutOffAndAnsweredOnesKeepTheirConnection) {
    const size_t mark = program->run.audio_frames();
    int slow = http_connect(program->port), kept = http_connect(program->port);
    ASSERT_GE(slow, 0);
    ASSERT_GE(kept, 0);
    const std::string start = "POST /api/press/1/1 HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: "
                              "Bearer " + program->token() + "\r\nX-Slow: ";
    const std::string ask = "GET /api/board HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: "
                            "Bearer " + program->token() + "\r\n\r\n";
    ASSERT_EQ(send(slow, start.data(), start.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(start.size()));
    const double began = seconds_now(), limit = REMOTE_REQUEST_SECONDS + 3.0 * wait_scale();
    double cut_at = -1;
    int asked = 0;
    std::string slow_got, kept_got;
    bool kept_open = true;
    // Past the request time in any case, so the kept connection outlives it.
    while (seconds_now() - began < limit &&
           !(cut_at >= 0 && seconds_now() - began > REMOTE_REQUEST_SECONDS + 2)) {
        if (cut_at < 0) {
            if (!http_read(slow, &slow_got) || send(slow, "a", 1, MSG_NOSIGNAL) != 1)
                cut_at = seconds_now() - began;
        }
        if (asked == 0 || (seconds_now() - began) / 2 >= asked) {
            kept_open = kept_open && send(kept, ask.data(), ask.size(), MSG_NOSIGNAL) ==
                                         static_cast<ssize_t>(ask.size());
            asked++;
        }
        pause_ms(1000);
        kept_open = kept_open && http_read(kept, &kept_got);
    }
    close(slow);
    close(kept);
    EXPECT_GE(cut_at, REMOTE_REQUEST_SECONDS - 1.0) << "closed before the trickle went on long";
    EXPECT_GT(cut_at, 0) << "the trickling connection is still open after " << limit << " s";
    EXPECT_EQ(slow_got, "") << "the unfinished request was answered";
    EXPECT_TRUE(kept_open) << "the connection with answered requests was closed after "
                           << count_of(kept_got, "HTTP/1.1 200") << " answers";
    EXPECT_EQ(count_of(kept_got, "HTTP/1.1 200"), asked);
    EXPECT_TRUE(quiet_after(mark)) << "the trickled request played";
}

TEST_F(Remote, OscFromLoopbackPlays) {
    const int slot = long_slot();
    const size_t mark = program->run.audio_frames();
    const std::string cmd = "oscsend 127.0.0.1 " + std::to_string(program->port + 1) +
                            " /vostrel/press ii 1 " + std::to_string(slot + 1);
    ASSERT_EQ(run_command(cmd), 0);
    EXPECT_TRUE(heard(slot, mark));
    ASSERT_EQ(run_command("oscsend 127.0.0.1 " + std::to_string(program->port + 1) +
                          " /vostrel/stop"),
              0);
    pause_scaled_ms(200);
    EXPECT_TRUE(quiet_after(program->run.audio_frames())) << "/vostrel/stop did not stop";
}

TEST_F(Remote, OscOthersAndMalformedChangeNothing) {
    const int port = program->port + 1;
    const size_t mark = program->run.audio_frames();
    // Another address of the loopback device is not the loopback address.
    ASSERT_TRUE(osc_send_from("127.0.0.2", port, osc_press(1, 1)));
    const std::string to = "oscsend 127.0.0.1 " + std::to_string(port) + " ";
    EXPECT_EQ(run_command(to + "/vostrel/press ff 1 1"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/press i 1"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/press iii 1 1 1"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/press ss 1 1"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/pressx ii 1 1"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/press ii 1 21"), 0);
    EXPECT_EQ(run_command(to + "/vostrel/press ii 0 1"), 0);
    // Cut short, garbage, an empty datagram, a bundle around a press.
    std::vector<uint8_t> whole = osc_press(1, 1);
    for (size_t n = 0; n < whole.size(); n++)
        ASSERT_TRUE(osc_send_from("127.0.0.1", port, std::vector<uint8_t>(whole.begin(), whole.begin() + n)));
    std::vector<uint8_t> junk(200);
    for (size_t i = 0; i < junk.size(); i++) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    ASSERT_TRUE(osc_send_from("127.0.0.1", port, junk));
    std::vector<uint8_t> bundle = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const uint32_t size = static_cast<uint32_t>(whole.size());
    for (int shift = 24; shift >= 0; shift -= 8) bundle.push_back(static_cast<uint8_t>(size >> shift));
    bundle.insert(bundle.end(), whole.begin(), whole.end());
    ASSERT_TRUE(osc_send_from("127.0.0.1", port, bundle));
    EXPECT_TRUE(quiet_after(mark)) << "a malformed or foreign OSC datagram played";
    // Still answering afterwards, and the log was not flooded.
    const size_t again = program->run.audio_frames();
    ASSERT_TRUE(osc_send_from("127.0.0.1", port, osc_press(1, long_slot() + 1)));
    EXPECT_TRUE(heard(long_slot(), again));
    EXPECT_LE(count_of(program->log(), "Remote: OSC"), 3);
}

// The remote page in a real browser: Debian's chromium, headless, driven by
// chromedriver over WebDriver (curl speaks the protocol), as a phone held
// upright would open it.
struct Browser {
    ChildGuard driver;
    int port = -1;
    std::string session;
    pid_t browser_pid = -1;
    TempDir profile;

    // A request to chromedriver; the reply's body.
    std::string call(const std::string &method, const std::string &path,
                     const std::string &json = "") const {
        write_file(profile.file("request.json"), json);
        std::string cmd = "curl -s -m 30 -X " + method + " -H 'Content-Type: application/json' '" +
                          "http://127.0.0.1:" + std::to_string(port) + path + "'";
        if (!json.empty()) cmd += " --data-binary @'" + profile.file("request.json") + "'";
        return command_output(cmd);
    }
    bool start() {
        port = free_port_pair();
        driver.pid = program_start_binary("/usr/bin/chromedriver", {"--port=" + std::to_string(port)},
                                          {}, profile.file("driver.log"));
        for (int i = 0; i < 100 && call("GET", "/status").find("\"ready\":true") == std::string::npos; i++)
            pause_ms(100);
        const std::string reply = call(
            "POST", "/session",
            "{\"capabilities\":{\"alwaysMatch\":{\"browserName\":\"chrome\",\"goog:chromeOptions\":{"
            "\"binary\":\"/usr/bin/chromium\",\"args\":[\"--headless\",\"--no-sandbox\","
            "\"--disable-gpu\",\"--disable-quic\",\"--no-first-run\",\"--disable-background-networking\","
            "\"--disable-component-update\",\"--disable-sync\",\"--window-size=390,844\","
            "\"--user-data-dir=" + profile.path + "/profile\"]}}}}");
        session = field(reply, "sessionId");
        browser_pid = atoi(field(reply, "goog:processID").c_str());
        return !session.empty();
    }
    // The text of "name": VALUE (a string's inside, or a number).
    static std::string field(const std::string &json, const std::string &name) {
        size_t at = json.find("\"" + name + "\":");
        if (at == std::string::npos) return "";
        at += name.size() + 3;
        if (json[at] == '"') return json.substr(at + 1, json.find('"', at + 1) - at - 1);
        size_t end = json.find_first_of(",}", at);
        return json.substr(at, end - at);
    }
    void open(const std::string &url) const {
        call("POST", "/session/" + session + "/url", "{\"url\":\"" + url + "\"}");
    }
    // The value a script returns, as chromedriver's JSON gives it.
    std::string script(const std::string &body) const {
        std::string reply = call("POST", "/session/" + session + "/execute/sync",
                                 "{\"script\":\"" + body + "\",\"args\":[]}");
        size_t at = reply.find("\"value\":");
        return at == std::string::npos ? "" : reply.substr(at + 8, reply.rfind('}') - at - 8);
    }
    // A real click (pointer events through the browser's input) on the
    // index-th element the CSS selector finds: true if it was there.
    bool click(const std::string &selector, int index) const {
        std::string found = call("POST", "/session/" + session + "/elements",
                                 "{\"using\":\"css selector\",\"value\":\"" + selector + "\"}");
        const std::string key = "\"element-6066-11e4-a52e-4f735466cecf\":\"";
        size_t at = 0;
        for (int i = 0; i <= index; i++) {
            at = found.find(key, at);
            if (at == std::string::npos) return false;
            at += key.size();
        }
        std::string id = found.substr(at, found.find('"', at) - at);
        std::string reply = call("POST", "/session/" + session + "/element/" + id + "/click", "{}");
        if (reply.find("\"error\"") != std::string::npos) fprintf(stderr, "click: %s\n", reply.substr(0, 300).c_str());
        return reply.find("\"error\"") == std::string::npos;
    }
    ~Browser() {
        if (!session.empty()) call("DELETE", "/session/" + session);
        if (browser_pid > 0 && kill(browser_pid, 0) == 0) kill(browser_pid, SIGKILL);
    }
};

TEST_F(Remote, PageInABrowserShowsTheGridAndATapPlays) {
    Browser browser;
    ASSERT_TRUE(browser.start()) << read_file(browser.profile.file("driver.log"));
    browser.open(program->url);
    // The captions, JSON-escaped, in the order the screen shows them.
    std::string expected = "[";
    for (int slot = 0; slot < BOARD_BUTTONS; slot++) {
        if (slot) expected += ",";
        expected += "\"";
        for (const char *c = board_captions[order[slot]]; *c; c++)
            expected += *c == '\n' ? std::string("\\n") : std::string(1, *c);
        expected += "\"";
    }
    expected += "]";
    const std::string captions =
        "return Array.from(document.querySelectorAll('#grid button')).map(b => b.textContent)";
    std::string shown;
    for (int i = 0; i < 100 && (shown = browser.script(captions)) != expected; i++)
        pause_ms(100);
    ASSERT_EQ(shown, expected);
    // Laid out as the device lays it out: four columns, the fifth button
    // starts the second row.
    EXPECT_EQ(browser.script("const b = document.querySelectorAll('#grid button'); "
                             "return [b[0].getBoundingClientRect().top < b[4].getBoundingClientRect().top, "
                             "b[0].getBoundingClientRect().top === b[3].getBoundingClientRect().top, "
                             "b[3].getBoundingClientRect().right <= window.innerWidth]"),
              "[true,true,true]");

    const int slot = long_slot();
    const size_t mark = program->run.audio_frames();
    ASSERT_TRUE(browser.click("#grid button", slot));
    const double tapped = seconds_now();
    // Marked as playing (the page asks three times a second; the delay is
    // printed, a figure rather than a check).
    const std::string is_playing =
        "return document.querySelectorAll('#grid button')[" + std::to_string(slot) + "].className";
    double marked = -1;
    for (int i = 0; i < 100; i++) {
        if (browser.script(is_playing) == "\"playing\"") {
            marked = seconds_now() - tapped;
            break;
        }
        pause_ms(20);
    }
    EXPECT_GE(marked, 0.0) << "the playing button is never marked";
    printf("the page marked the button playing %.0f ms after the tap\n", marked * 1000);
    EXPECT_TRUE(heard(slot, mark)) << "the tap in the browser was not heard";
    // A change made elsewhere (a press through the API) is marked too.
    const int other = slot == 0 ? 1 : 0;
    const std::string other_playing =
        "return document.querySelectorAll('#grid button')[" + std::to_string(other) + "].className";
    ASSERT_EQ(program->api("POST", "/api/press/1/" + std::to_string(other + 1)).status, 204);
    const double pressed = seconds_now();
    marked = -1;
    for (int i = 0; i < 100; i++) {
        if (browser.script(other_playing) == "\"playing\"") {
            marked = seconds_now() - pressed;
            break;
        }
        pause_ms(20);
    }
    EXPECT_GE(marked, 0.0) << "a press made elsewhere is never marked";
    printf("the page marked a press made elsewhere %.0f ms after it\n", marked * 1000);

    // The same page without the token: not paired, and a tap plays nothing.
    program->api("POST", "/api/stop");
    pause_scaled_ms(200);
    browser.open(program->base() + "/");
    pause_scaled_ms(800);
    EXPECT_NE(browser.script("return document.getElementById('note').textContent").find("Not paired"),
              std::string::npos);
    EXPECT_EQ(browser.script("return document.querySelectorAll('#grid button').length"), "0");
    const size_t quiet = program->run.audio_frames();
    browser.click("button", 0);
    EXPECT_TRUE(quiet_after(quiet)) << "the page without the token played";
}

// On the network (--remote-lan), in a network namespace the test makes for
// the program: its loopback and one made-up interface (10.77.0.5), so the
// program's own address is known and nothing leaves the machine. Clients run
// inside the namespace through nsenter.
constexpr const char *LAN_ADDRESS = "10.77.0.5";


bool white(uint32_t p) { return (p & 0xFF) >= 250 && ((p >> 8) & 0xFF) >= 250 && (p >> 16) >= 250; }

// Where the white square of a code lies: the white pixels' bounding box;
// false when there is no white pixel.
bool white_box(const std::vector<uint32_t> &px, int *x0, int *y0, int *x1, int *y1) {
    *x0 = 320, *y0 = 480, *x1 = -1, *y1 = -1;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 320; x++)
            if (white(px[y * 320 + x])) {
                *x0 = std::min(*x0, x), *y0 = std::min(*y0, y);
                *x1 = std::max(*x1, x + 1), *y1 = std::max(*y1, y + 1);
            }
    return *x1 > 0;
}

// Modules of the picture's code that differ from the reference encoding of
// text (libqrencode, error correction M, 8-bit, the smallest version that
// holds it), each sampled at its centre, quiet zone of four included; -1 if
// no code is on the screen.
int code_mismatches(const std::vector<uint32_t> &px, const std::string &text) {
    int x0, y0, x1, y1;
    if (px.empty() || !white_box(px, &x0, &y0, &x1, &y1)) return -1;
    QRcode *code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code) return -1;
    const int span = code->width + 8;
    const double mx = static_cast<double>(x1 - x0) / span, my = static_cast<double>(y1 - y0) / span;
    int wrong = 0;
    for (int r = 0; r < span; r++)
        for (int c = 0; c < span; c++) {
            const int qr = r - 4, qc = c - 4;
            const bool dark = qr >= 0 && qc >= 0 && qr < code->width && qc < code->width &&
                              (code->data[qr * code->width + qc] & 1);
            const int x = x0 + static_cast<int>((c + 0.5) * mx);
            const int y = y0 + static_cast<int>((r + 0.5) * my);
            const uint32_t p = px[y * 320 + x];
            const bool black = (p & 0xFF) < 40 && ((p >> 8) & 0xFF) < 40 && (p >> 16) < 40;
            if (dark ? !black : !white(p)) wrong++;
        }
    QRcode_free(code);
    return wrong;
}

class RemoteLan : public ::testing::Test {
  protected:
    static Program *program;

    static void SetUpTestSuite() {
        program = new Program();
        if (program_emulator[0] != '\0') return; // the namespace's tools are the host's
        program->launcher = {"/usr/bin/unshare", "-n", "sh", "-c",
                             "ip link set lo up && ip link add r0 type bridge && "
                             "ip addr add " + std::string(LAN_ADDRESS) + "/24 dev r0 && "
                             "ip link set r0 up && exec \"$0\" \"$@\""};
        program->start({"--remote-lan", "--osc-allow", "127.0.0.3,127.0.0.9"}, false);
        program->port = REMOTE_PORT;
        for (int i = 0; i < 100 && program->url.empty(); i++) {
            std::string line = trim(read_file(program->dir.file("stdout.txt")));
            if (line.compare(0, 8, "remote: ") == 0) program->url = line.substr(8);
            pause_scaled_ms(50);
        }
        program->run.find_window();
    }
    static void TearDownTestSuite() { delete program; }
    void SetUp() override {
        if (program_emulator[0] != '\0') GTEST_SKIP() << "needs the host's own tools in the namespace";
        ASSERT_TRUE(program_running(program->run.pid)) << read_file(program->dir.file("stderr.txt"));
        ASSERT_FALSE(program->run.window.empty());
    }
    static constexpr int REMOTE_PORT = 8730;
    // A command run inside the program's network namespace; its status.
    static int inside(const std::string &cmd) {
        return run_command("nsenter -t " + std::to_string(program->run.pid) + " -n " + cmd);
    }
    static std::string inside_output(const std::string &cmd) {
        return command_output("nsenter -t " + std::to_string(program->run.pid) + " -n " + cmd);
    }
    // An OSC press sent from `from` inside the namespace (python's socket
    // bound there), to the program's OSC port on 127.0.0.1.
    static int osc_press_from(const char *from, int button) {
        const std::vector<uint8_t> p = osc_press(1, button);
        std::string bytes;
        for (uint8_t b : p) bytes += "\\\\x" + std::string(1, "0123456789abcdef"[b >> 4]) +
                                     std::string(1, "0123456789abcdef"[b & 15]);
        return inside("python3 -c \"import socket; s = socket.socket(socket.AF_INET, "
                      "socket.SOCK_DGRAM); s.bind(('" + std::string(from) + "', 0)); "
                      "s.sendto(b'" + bytes + "', ('127.0.0.1', " + std::to_string(REMOTE_PORT + 1) +
                      "))\"");
    }
    static bool quiet_after(size_t mark) {
        program->run.wait_audio(mark + RATE / 2);
        return silent_from(program->run.audio(), mark);
    }
};
Program *RemoteLan::program;

TEST_F(RemoteLan, TheCodeOnTheScreenIsTheAddressAndATapDismissesIt) {
    const std::string url = program->url;
    EXPECT_EQ(url.substr(0, url.find('#')),
              "http://" + std::string(LAN_ADDRESS) + ":" + std::to_string(REMOTE_PORT) + "/");
    ASSERT_EQ(url.size() - url.find('#') - 1, 32u);
    // Within its first 20 seconds: the code, module for module.
    EXPECT_EQ(code_mismatches(program->run.capture(), url), 0);
    // A tap on it dismisses it and plays nothing.
    const size_t mark = program->run.audio_frames();
    program->run.tap(160, 240, 50);
    pause_scaled_ms(300);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), -1) << "the code is still shown";
    EXPECT_TRUE(quiet_after(mark)) << "the tap on the code played";
    // A finger held on the band above the grid for 2 seconds shows it
    // until it lifts; not before the 2 seconds.
    const std::string w = program->run.window;
    ASSERT_EQ(run_command("xdotool mousemove --window " + w + " 160 15 mousedown 1"), 0);
    pause_ms(1200);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), -1) << "shown before 2 seconds";
    pause_ms(1300);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), 0) << "not shown while the band is held";
    ASSERT_EQ(run_command("xdotool mouseup 1"), 0);
    pause_scaled_ms(300);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), -1) << "still shown after the finger lifted";
    EXPECT_TRUE(quiet_after(mark)) << "holding the band played";
    // The band below the grid too.
    ASSERT_EQ(run_command("xdotool mousemove --window " + w + " 160 470 mousedown 1"), 0);
    pause_ms(2500);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), 0) << "not shown while the lower band is held";
    ASSERT_EQ(run_command("xdotool mouseup 1"), 0);
    pause_scaled_ms(300);
    EXPECT_EQ(code_mismatches(program->run.capture(), url), -1);
}

TEST_F(RemoteLan, ServesOnTheNetworkAndTakesOscFromTheAllowedOnly) {
    const std::string token = program->url.substr(program->url.find('#') + 1);
    const std::string base = "http://" + std::string(LAN_ADDRESS) + ":" + std::to_string(REMOTE_PORT);
    EXPECT_EQ(inside_output("curl -s -o /dev/null -w '%{http_code}' -H 'Authorization: Bearer " +
                            token + "' " + base + "/api/board"),
              "200");
    EXPECT_EQ(inside_output("curl -s -o /dev/null -w '%{http_code}' " + base + "/api/board"), "401");
    // Senders: 127.0.0.2 is not allowed, 127.0.0.3 is.
    std::vector<std::vector<int16_t>> clips = board_clip_samples();
    std::vector<int> order = board_display_order();
    size_t mark = program->run.audio_frames();
    ASSERT_EQ(osc_press_from("127.0.0.2", 1), 0);
    EXPECT_TRUE(quiet_after(mark)) << "a sender not allowed played";
    mark = program->run.audio_frames();
    ASSERT_EQ(osc_press_from("127.0.0.3", 1), 0);
    EXPECT_GE(program->run.wait_for_clip(clips[order[0]], mark, RATE), 0)
        << "the allowed sender was not heard";
}

// With the window unmapped the program is in the background and its loop
// waits on events; a remote press is answered and played all the same,
// without an event to wake it, and so is OSC.
TEST(RemoteHidden, PressesArePlayedWhileTheWindowIsHidden) {
    std::vector<std::vector<int16_t>> clips = board_clip_samples();
    std::vector<int> order = board_display_order();
    Program p;
    ASSERT_TRUE(p.start({"--remote"}));
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    ASSERT_TRUE(p.run.find_window());
    XUnmapWindow(d, static_cast<Window>(strtoul(p.run.window.c_str(), nullptr, 10)));
    XSync(d, False);
    pause_ms(1500); // the loss of activity is seen and the loop blocks
    size_t mark = p.run.audio_frames();
    EXPECT_EQ(p.api("POST", "/api/press/1/2").status, 204);
    EXPECT_GE(p.run.wait_for_clip(clips[order[1]], mark, RATE), 0) << "the press was not heard";
    mark = p.run.audio_frames();
    ASSERT_EQ(run_command("oscsend 127.0.0.1 " + std::to_string(p.port + 1) +
                          " /vostrel/press ii 1 3"),
              0);
    EXPECT_GE(p.run.wait_for_clip(clips[order[2]], mark, RATE), 0) << "the OSC press was not heard";
    XCloseDisplay(d);
    EXPECT_EQ(p.stop(), 0);
}

// Fresh programs each: what a start without the options opens, and the token file's life.
TEST(RemoteStart, WithoutTheOptionsNoSocketIsOpened) {
    Program p;
    ASSERT_TRUE(p.start({}, false));
    EXPECT_EQ(internet_sockets(p.run.pid), 0);
    EXPECT_EQ(trim(read_file(p.dir.file("stdout.txt"))), "");
    EXPECT_FALSE(file_exists(p.token_file()));
    // The same count with the option: the check sees a server's sockets.
    Program q;
    ASSERT_TRUE(q.start({"--remote"}));
    EXPECT_EQ(internet_sockets(q.run.pid), 2);
}

TEST(RemoteStart, TokenFileIsPrivateReusedAndRemade) {
    std::string first, dir;
    {
        Program p;
        ASSERT_TRUE(p.start({"--remote"}));
        struct stat st;
        ASSERT_EQ(stat(p.token_file().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        first = p.token();
        ASSERT_EQ(first.size(), 32u);
        EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_EQ(p.stop(), 0);
        // Started again in the same folder: the same token.
        const std::string kept = read_file(p.token_file());
        Program *q = &p;
        q->url.clear();
        ASSERT_TRUE(q->start({"--remote"}));
        EXPECT_EQ(q->token(), first);
        EXPECT_EQ(read_file(p.token_file()), kept);
        EXPECT_EQ(q->http("GET", "/api/board", "-H 'Authorization: Bearer " + first + "'").status,
                  200);
        EXPECT_EQ(q->stop(), 0);
        // Deleted: a new one, and the old one no longer opens anything.
        ASSERT_EQ(unlink(p.token_file().c_str()), 0);
        q->url.clear();
        ASSERT_TRUE(q->start({"--remote"}));
        EXPECT_EQ(q->token().size(), 32u);
        EXPECT_NE(q->token(), first);
        EXPECT_EQ(q->http("GET", "/api/board", "-H 'Authorization: Bearer " + first + "'").status,
                  401);
    }
}

// A board made by the maker with "remote" among its options serves as
// --remote would, with no option on the command line; one made without it
// opens nothing, even with --remote-port given.
TEST(RemoteStart, ABoardAskingForTheRemoteServesWithoutOptions) {
    TempDir work;
    const std::string sounds = work.file("sounds");
    mkdir(sounds.c_str(), 0755);
    for (const char *tone : {"low", "high"})
        ASSERT_EQ(run_command("sox -n -r 22050 -c 1 -b 16 '" + sounds + "/" + tone +
                              ".wav' synth 0.3 sine " + (tone[0] == 'l' ? "330" : "990") + " vol 0.5"),
                  0);
    auto make = [&](const std::string &options, const std::string &out) {
        write_file(sounds + "/captions.txt", options);
        return run_command("'" VOSTREL_MAKER "' '" + sounds + "' -o '" + out + "' --program '" +
                           VOSTREL_BINARY + "' --keep-levels >/dev/null");
    };
    ASSERT_EQ(make("remote\n", work.file("remote-board")), 0);
    ASSERT_EQ(make("overlap\n", work.file("plain-board")), 0);
    Program p;
    p.run.binary = work.file("remote-board");
    ASSERT_TRUE(p.start({}));
    ASSERT_EQ(p.url.substr(0, p.url.find('#')), "http://127.0.0.1:" + std::to_string(p.port) + "/");
    EXPECT_EQ(internet_sockets(p.run.pid), 2);
    Reply r = p.api("GET", "/api/board");
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("\"caption\":\"high\""), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("\"caption\":\"low\""), std::string::npos) << r.body;
    Program q;
    q.run.binary = work.file("plain-board");
    ASSERT_TRUE(q.start({"--remote-port", std::to_string(free_port_pair())}, false));
    EXPECT_EQ(internet_sockets(q.run.pid), 0);
    EXPECT_EQ(q.url, "");
}

// No token file can be read or made (a folder holds its name): the board
// runs, says why on stderr, and serves nothing (no token, no server).
TEST(RemoteStart, NoTokenFileNoServer) {
    Program p;
    ASSERT_EQ(mkdir(p.token_file().c_str(), 0700), 0);
    ASSERT_TRUE(p.start({"--remote", "--log-level", "1"}, false));
    pause_scaled_ms(500);
    EXPECT_TRUE(program_running(p.run.pid));
    EXPECT_EQ(internet_sockets(p.run.pid), 0);
    EXPECT_NE(read_file(p.dir.file("stderr.txt")).find("remote: no pairing token"), std::string::npos)
        << read_file(p.dir.file("stderr.txt"));
    EXPECT_EQ(trim(read_file(p.dir.file("stdout.txt"))), "");
}

// A board of pages through the API: pages and buttons numbered from 1, the
// page shown switched, and a press on a page not shown acting on that page.
TEST(RemoteStart, PagesAndButtonsAreNumberedFromOne) {
    TempDir work;
    const std::string sounds = work.file("sounds");
    mkdir(sounds.c_str(), 0755);
    mkdir((sounds + "/More").c_str(), 0755);
    for (const char *tone : {"one", "More/two", "More/three"})
        ASSERT_EQ(run_command("sox -n -r 22050 -c 1 -b 16 '" + sounds + "/" + tone +
                              ".wav' synth 3 sine 440 vol 0.5"),
                  0);
    write_file(sounds + "/captions.txt", "remote\n");
    ASSERT_EQ(run_command("'" VOSTREL_MAKER "' '" + sounds + "' -o '" + work.file("board") +
                          "' --program '" VOSTREL_BINARY "' --keep-levels >/dev/null"),
              0);
    Program p;
    p.run.binary = work.file("board");
    ASSERT_TRUE(p.start({}));
    Reply r = p.api("GET", "/api/board");
    ASSERT_EQ(r.status, 200);
    // Two pages: the folder's own sound, then "More" with its two.
    const size_t second = r.body.find("\"name\":\"More\"");
    ASSERT_NE(second, std::string::npos) << r.body;
    EXPECT_NE(r.body.find("\"caption\":\"one\""), std::string::npos);
    EXPECT_LT(r.body.find("\"caption\":\"one\""), second);
    EXPECT_GT(r.body.find("\"caption\":\"three\""), second);
    EXPECT_NE(r.body.find("\"page\":1}"), std::string::npos) << r.body;
    EXPECT_EQ(p.api("POST", "/api/page/3").status, 404);
    EXPECT_EQ(p.api("POST", "/api/press/1/2").status, 404);
    EXPECT_EQ(p.api("POST", "/api/press/2/3").status, 404);
    EXPECT_EQ(p.api("POST", "/api/page/2").status, 204);
    EXPECT_NE(p.api("GET", "/api/board").body.find("\"page\":2}"), std::string::npos);
    // Page 2's second button, and it alone, plays (pages in the order
    // described: one button, then two).
    ASSERT_EQ(p.api("POST", "/api/press/2/2").status, 204);
    pause_scaled_ms(300);
    const std::string body = p.api("GET", "/api/board").body;
    const size_t pages = body.find("\"pages\"");
    std::vector<size_t> playing;
    for (size_t at = body.find("\"playing\":", pages); at != std::string::npos;
         at = body.find("\"playing\":", at + 1))
        playing.push_back(body.compare(at + 10, 4, "true") == 0);
    ASSERT_EQ(playing.size(), 3u) << body;
    EXPECT_EQ(playing, (std::vector<size_t>{0, 0, 1})) << body;
    EXPECT_EQ(p.api("POST", "/api/page/1").status, 204);
    EXPECT_NE(p.api("GET", "/api/board").body.find("\"page\":1}"), std::string::npos);
}

} // namespace
