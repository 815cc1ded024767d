// Helpers shared by the test programs; see support.h.
#include "support.h"

#include "app/app_internal.h"
#include <vostrel/diag/diag.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <stdlib.h>
#include <string.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

TempDir::TempDir() {
    char tmpl[] = "/tmp/vostrel-test-XXXXXX";
    char *dir = mkdtemp(tmpl);
    path = dir ? dir : "/tmp";
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) old_cwd = cwd;
    if (chdir(path.c_str()) != 0) perror("chdir");
}

TempDir::~TempDir() {
    if (!old_cwd.empty() && chdir(old_cwd.c_str()) != 0) perror("chdir");
    std::string cmd = "rm -rf '" + path + "'";
    if (path.rfind("/tmp/vostrel-test-", 0) == 0 && system(cmd.c_str()) != 0) perror("rm");
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

std::string read_file(const std::string &path) {
    std::vector<uint8_t> b = read_bytes(path);
    return std::string(b.begin(), b.end());
}

void write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

int count_of(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

bool sdl_init_retrying(uint32_t flags) {
    for (int tries = 0; tries < 100; tries++) {
        if (SDL_Init(flags) == 0) return true;
        usleep(100000);
    }
    return false;
}

GlWindow::GlWindow(int w, int h) : width(w), height(h), ok(false) {
    if (!sdl_init_retrying(SDL_INIT_VIDEO)) {
        fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return;
    }
    ok = SDL_SetVideoMode(w, h, 0, SDL_OPENGL) != nullptr;
    if (!ok) fprintf(stderr, "SDL_SetVideoMode: %s\n", SDL_GetError());
}

GlWindow::~GlWindow() { SDL_Quit(); }

GlWindow &shared_window() {
    static GlWindow w;
    return w;
}

void fresh_gl_state() {
    font_release();
    gl_release();
    gl_init();
}

std::vector<uint8_t> read_pixels(int x, int y, int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

int lit_pixels(int x0, int x1, int height) {
    std::vector<uint8_t> px = read_pixels(x0, 0, x1 - x0, height);
    int n = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        n += px[i] + px[i + 1] + px[i + 2] > 30 ? 1 : 0;
    return n;
}

std::string log_contents() {
    int size = log_size();
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0) log_read(text.data(), size, 0);
    return text;
}

std::vector<std::string> sounds_played;

static int record_play(SoundRecord *rec, const float *, int) {
    sounds_played.push_back(rec == &sound_click    ? "click"
                            : rec == &sound_bubble ? "bubble"
                                                   : "other");
    return 1;
}

SoundBackend sound_recording_begin() {
    SoundBackend saved = sound_backend;
    sound_backend = SoundBackend{};
    sound_backend.play = record_play;
    return saved;
}

void sound_recording_end(const SoundBackend &saved) { sound_backend = saved; }

float fake_now;
float fake_clock(void) { return fake_now; }

bool shell_test_begin(void (*sleeper)(int milliseconds)) {
    log_threshold = LOG_INFO;
    if (!sdl_init_retrying(SDL_INIT_VIDEO | SDL_INIT_AUDIO)) return false;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return false;
    shell_set_clock(fake_clock);
    shell_set_sleep(sleeper);
    return true;
}

void shell_test_end() {
    shell_set_clock(nullptr);
    shell_set_sleep(nullptr);
    shell_quit(0, 0);
    Mix_CloseAudio();
    SDL_Quit();
}

pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    const std::string &stderr_path) {
    return program_start_binary(VOSTREL_BINARY, args, env, stderr_path);
}

// A cross build's tests run under qemu-user, which cannot exec a foreign
// program by itself (no binfmt_misc): the program is started through the same
// emulator command, whose words VOSTREL_EMULATOR holds, separated by spaces.
#ifndef VOSTREL_EMULATOR
#define VOSTREL_EMULATOR ""
#endif
const char *const program_emulator = VOSTREL_EMULATOR;

int run_command(const std::string &cmd) {
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int xdotool_tap(const std::string &window, int x, int y, const char *hold) {
    return run_command("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                       std::to_string(y) + " mousedown 1 sleep " + hold + " mouseup 1");
}

int wait_scale() {
    const char *s = getenv("VOSTREL_WAIT_SCALE");
    int n = s ? atoi(s) : 1;
    return n >= 1 && n <= 100 ? n : 1;
}

void pause_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

void pause_scaled_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000 * wait_scale()); }

pid_t program_start_binary(const std::string &binary, const std::vector<std::string> &args,
                           const std::vector<std::string> &env, const std::string &stderr_path) {
    pid_t parent = getpid();
    std::vector<std::string> words;
    for (const char *p = VOSTREL_EMULATOR; *p;) {
        size_t n = strcspn(p, " ");
        if (n) words.emplace_back(p, n);
        p += n + (p[n] == ' ');
    }
    words.push_back(binary);
    words.insert(words.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid != 0) return pid;
    // A test that dies (a failed assertion's exit, a crash, ctest's timeout)
    // takes the program with it: an orphan holding the test's output pipe
    // would keep ctest waiting until its timeout.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    for (const std::string &kv : env) {
        size_t eq = kv.find('=');
        setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
    }
    if (!stderr_path.empty()) {
        int fd = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
    }
    std::vector<char *> argv;
    for (const std::string &w : words)
        argv.push_back(const_cast<char *>(w.c_str()));
    // The drawing path a test run holds every program to (CTest sets it).
    std::string gl = getenv("VOSTREL_TEST_GL") ? getenv("VOSTREL_TEST_GL") : "";
    std::string gl_option = "--gl";
    if (!gl.empty()) {
        argv.push_back(gl_option.data());
        argv.push_back(gl.data());
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

bool program_running(pid_t pid) {
    siginfo_t info = {};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false; // no such child
    return info.si_pid == 0;
}

int program_wait(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(50000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

int program_terminate(pid_t pid, int seconds) {
    kill(pid, SIGTERM);
    return program_wait(pid, seconds);
}

std::string program_sdl_library(pid_t pid) {
    std::string maps = read_file("/proc/" + std::to_string(pid) + "/maps");
    size_t at = maps.find("/libSDL-1.2.so");
    if (at == std::string::npos) return "";
    size_t start = maps.rfind(' ', at) + 1, end = maps.find('\n', at);
    return maps.substr(start, end - start);
}

std::string sdl_implementation_mismatch(pid_t pid) {
    const char *want = getenv("VOSTREL_SDL_IMPL");
    if (!want) return "";
    std::string lib = program_sdl_library(pid);
    bool compat = lib.find("/sdl12-compat/") != std::string::npos;
    bool ok = !lib.empty() && (strcmp(want, "compat") == 0 ? compat : !compat);
    return ok ? "" : std::string("wanted ") + want + " SDL 1.2, the program maps '" + lib + "'";
}

PixelBox board_button_box(int slot, int width, int height) {
    Rect screen = {0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height)};
    app_layout(&screen);
    const Rect &cell = buttons[slot].cell;
    float x0 = cell.left, y0 = cell.top, x1 = cell.right, y1 = cell.bottom;
    rect_map_point(&grid_rect, &app_input_rect, &x0, &y0);
    rect_map_point(&grid_rect, &app_input_rect, &x1, &y1);
    // The board's space is y-up; window rows count down from the top.
    return {static_cast<int>(lroundf(x0)), height - static_cast<int>(lroundf(y0)),
            static_cast<int>(lroundf(x1)), height - static_cast<int>(lroundf(y1))};
}

std::vector<int> board_display_order() {
    std::vector<int> order(board_count);
    for (int k = 0; k < board_count; k++)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [](int a, int b) { return strcmp(board_captions[a], board_captions[b]) < 0; });
    return order;
}

std::vector<std::vector<int16_t>> board_clip_samples() {
    std::vector<std::vector<int16_t>> clips(BOARD_BUTTONS);
    setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound device needed to decode
    if (SDL_Init(SDL_INIT_AUDIO) != 0) return clips;
    if (sound_mixer_open(SOUND_CHUNK_FRAMES)) {
        for (int k = 0; k < BOARD_BUTTONS; k++) {
            const AssetRecord *a = board_clips[k];
            Mix_Chunk *c = Mix_LoadWAV_RW(
                SDL_RWFromMem(const_cast<uint8_t *>(a->data), static_cast<int>(a->size)), 1);
            if (!c) continue;
            clips[k].resize(c->alen / 2);
            memcpy(clips[k].data(), c->abuf, clips[k].size() * 2);
            Mix_FreeChunk(c);
        }
        Mix_CloseAudio();
    }
    SDL_Quit();
    return clips;
}

FileSizeLimit::FileSizeLimit(long bytes) {
    saved_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    ok = getrlimit(RLIMIT_FSIZE, &limit) == 0;
    saved_soft = ok ? static_cast<long>(limit.rlim_cur) : 0;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ok = ok && setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = static_cast<rlim_t>(saved_soft);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    signal(SIGXFSZ, saved_handler);
}

static bool set_immutable(const std::string &path, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

ImmutableDir::ImmutableDir(const std::string &p) : path(p), ok(set_immutable(p, true)) {}

ImmutableDir::~ImmutableDir() {
    if (ok) set_immutable(path, false);
}

XServer::XServer(const std::vector<std::string> &extra_args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t parent = getpid();
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        close(fds[0]);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd,          "-screen",
                                         "0",    "640x480x24", "-nolisten", "tcp"};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    struct pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    ok = !number.empty();
    display = ":" + number;
}

void XServer::stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (program_wait(pid, 5) < 0) fprintf(stderr, "Xvfb %s needed SIGKILL\n", display.c_str());
    pid = -1;
}

XServer::~XServer() { stop(); }

ChildGuard::~ChildGuard() {
    if (pid > 0 && program_running(pid)) kill(pid, SIGKILL);
    if (pid > 0) waitpid(pid, nullptr, 0);
}

double seconds_now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TouchEvent touch_at(float x, float y) {
    TouchEvent t = {};
    t.count = 1;
    t.points[0] = {x, y};
    return t;
}
