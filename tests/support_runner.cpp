// Test support, driving a program from outside; see support_runner.h.
#include "support_runner.h"
#include "support_sound.h"
#include "support_x.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

const char STARTED_LINE[] = "Initialization Complete";

bool wait_for_log_line(const std::string &path, const std::string &text, int seconds, pid_t pid) {
    for (int i = 0; i < seconds * 20; i++) {
        if (read_file(path).find(text) != std::string::npos) return true;
        if (pid > 0 && !program_running(pid))
            return read_file(path).find(text) != std::string::npos;
        pause_scaled_ms(50);
    }
    return false;
}

TestProgram::~TestProgram() { stop(); }

static std::string current_directory() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? buf : ".";
}

bool TestProgram::start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                        const std::string &stderr_path) {
    std::string here = current_directory();
    if (folder.empty()) folder = here;
    if (chdir(folder.c_str()) != 0) return false;
    pid = program_start_binary(binary.empty() ? VOSTREL_BINARY : binary, args, env, stderr_path);
    if (chdir(here.c_str()) != 0) perror("chdir");
    return pid > 0;
}

std::vector<std::string> TestProgram::disk_audio(int chunk_frames) const {
    std::string where = folder.empty() ? current_directory() : folder;
    const int delay = std::max(1, chunk_frames * 20 / SOUND_CHUNK_FRAMES);
    return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + where + "/audio.raw",
            "SDL_DISKAUDIODELAY=" + std::to_string(delay)};
}

std::string program_window(pid_t pid, int timeout_ms, const char *title) {
    std::string window;
    if (Display *d = XOpenDisplay(nullptr)) {
        Window w = xwindow_wait(d, title, timeout_ms, [pid] { return program_running(pid); });
        if (w) window = std::to_string(w);
        XCloseDisplay(d);
    }
    return window;
}

bool TestProgram::find_window(int timeout_ms) {
    if (pid > 0) window = program_window(pid, timeout_ms, title.c_str());
    return !window.empty();
}

bool TestProgram::wait_started(int seconds) {
    return wait_for_log_line(log_path(), STARTED_LINE, seconds, pid);
}

bool TestProgram::wait_drawn() {
    for (int i = 0; !window.empty() && i < 100 * wait_scale(); i++) {
        std::vector<uint32_t> px = capture();
        for (uint32_t p : px)
            if (p != 0) return true;
        pause_ms(100);
    }
    return false;
}

bool TestProgram::start_shown(const std::vector<std::string> &args,
                              const std::vector<std::string> &env, int settle_ms,
                              int window_timeout_ms) {
    if (!start(args, env)) return false;
    find_window(window_timeout_ms);
    const bool started = wait_started();
    wait_drawn();
    pause_scaled_ms(settle_ms);
    return !window.empty() && started;
}

bool TestProgram::running() const { return pid > 0 && program_running(pid); }

std::string TestProgram::log_path() const {
    return (folder.empty() ? current_directory() : folder) + "/" + log_name;
}

std::string TestProgram::log() const { return read_file(log_path()); }

std::vector<uint32_t> TestProgram::capture(int width, int height) const {
    return xwindow_pixels(static_cast<Window>(strtoul(window.c_str(), nullptr, 10)), width, height);
}

void TestProgram::xdo(const std::string &cmd) const {
    std::string full = "xdotool " + cmd;
    if (run_command(full) != 0) ADD_FAILURE() << "failed: " << full;
}

void TestProgram::move(int x, int y) const {
    xdo("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y));
}

void TestProgram::press(int x, int y) const {
    move(x, y);
    xdo("mousedown 1");
}

void TestProgram::release() const { xdo("mouseup 1"); }

void TestProgram::tap(int x, int y, int hold_ms) const {
    char hold[32];
    snprintf(hold, sizeof hold, "%.3f", hold_ms * wait_scale() / 1000.0);
    if (xdotool_tap(window, x, y, hold) != 0) ADD_FAILURE() << "xdotool could not tap " << window;
}

void TestProgram::key(const char *name) const { xdo("key --window " + window + " " + name); }

// Read from the frame on, so a wait that reads again and again reads only
// what came after its mark.
std::vector<int16_t> TestProgram::audio(size_t from_frame) const {
    std::vector<int16_t> s;
    FILE *f = fopen((folder + "/audio.raw").c_str(), "rb");
    if (!f) return s;
    if (fseeko(f, static_cast<off_t>(from_frame) * 4, SEEK_SET) == 0) {
        int16_t block[4096];
        size_t n;
        while ((n = fread(block, 2, sizeof block / 2, f)) > 0)
            s.insert(s.end(), block, block + n);
    }
    fclose(f);
    s.resize(s.size() - s.size() % 2); // whole frames
    return s;
}

size_t TestProgram::audio_frames() const {
    struct stat st;
    if (stat((folder + "/audio.raw").c_str(), &st) != 0) return 0;
    return static_cast<size_t>(st.st_size) / 4; // 16-bit stereo
}

void TestProgram::wait_audio(size_t frames) const {
    for (int i = 0; i < 200 && audio_frames() < frames; i++)
        pause_scaled_ms(25);
}

long TestProgram::wait_for_clip(const std::vector<int16_t> &clip, size_t from,
                                size_t span) const {
    for (int i = 0; i < 200; i++) {
        const std::vector<int16_t> out = audio(from);
        const long at = find_clip(out, clip, 0, span);
        if (at >= 0) return static_cast<long>(from) + at;
        if (out.size() / 2 >= span) return -1;
        pause_scaled_ms(25);
    }
    return -1;
}

int TestProgram::stop(int seconds) {
    int status = pid > 0 ? program_terminate(pid, seconds) : -1;
    pid = -1;
    return status;
}
