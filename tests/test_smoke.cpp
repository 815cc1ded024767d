// Smoke tests of the real program: a normal run on the current display ended
// by SIGTERM, and a start-up that cannot reach any display.
#include "support.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

// Starts the program in the current directory with its stderr in a file;
// extra_env entries are "NAME=value" (or "NAME=" to clear).
pid_t start_program(const std::vector<std::string> &extra_env) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    for (const std::string &kv : extra_env) {
        size_t eq = kv.find('=');
        setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
    }
    int fd = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) dup2(fd, 2);
    execl(VOSTREL_BINARY, VOSTREL_BINARY, "--log-level", "3", static_cast<char *>(nullptr));
    _exit(127);
}

// Polls for a top-level window named after the program, owned by pid.
bool wait_for_window(pid_t pid, int seconds) {
    std::string cmd =
        "xdotool search --pid " + std::to_string(pid) + " --name 'Vostrel Soundboard' 2>/dev/null";
    for (int i = 0; i < seconds * 10; i++) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return false; // it died
        FILE *p = popen(cmd.c_str(), "r");
        if (p) {
            char line[64];
            bool found = fgets(line, sizeof line, p) != nullptr;
            pclose(p);
            if (found) return true;
        }
        usleep(100000);
    }
    return false;
}

int wait_exit(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 10; i++) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        usleep(100000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

int count_ending(const std::vector<std::string> &lines, const std::string &tail) {
    int n = 0;
    for (const std::string &l : lines)
        if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0)
            n++;
    return n;
}

bool ends_with(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Keeps a connection to the display for the test's lifetime. Xvfb resets
// when its last client leaves and refuses connections meanwhile; without a
// client of our own, the program could start just as the previous test's
// window closed and find no display.
struct DisplayHold {
    bool ok = false;
    DisplayHold() {
        for (int i = 0; i < 100 && !ok; i++) {
            ok = SDL_Init(SDL_INIT_VIDEO) == 0;
            if (!ok) usleep(100000);
        }
    }
    ~DisplayHold() {
        if (ok) SDL_Quit();
    }
};

TEST(Smoke, RunsUntilSigtermAndQuitsCleanly) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    DisplayHold hold;
    ASSERT_TRUE(hold.ok) << SDL_GetError();
    TempDir dir;
    pid_t pid = start_program({"SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"});
    ASSERT_GT(pid, 0);
    bool shown = wait_for_window(pid, 60);
    if (!shown) kill(pid, SIGKILL);
    ASSERT_TRUE(shown) << read_file(dir.file("stderr.txt"));
    usleep(300000); // let it run a few turns
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(wait_exit(pid, 60), 0) << read_file(dir.file("stderr.txt"));

    std::string log = read_file(dir.file(LOG_NAME));
    ASSERT_TRUE(ends_with(log, "\n")) << log;
    std::vector<std::string> lines = lines_of(log);
    ASSERT_GE(lines.size(), 3u) << log;
    EXPECT_TRUE(ends_with(lines.back(), "] Application quitting")) << log;
    EXPECT_TRUE(ends_with(lines[lines.size() - 2], "] Saving session")) << log;
    EXPECT_EQ(lines.back().rfind("INFO     [", 0), 0u);
    EXPECT_EQ(count_ending(lines, "] Application quitting"), 1);
    EXPECT_EQ(count_ending(lines, "] Saving session"), 1);
    EXPECT_EQ(count_ending(lines, "] Initialization Complete"), 1);
    EXPECT_EQ(count_ending(lines, "] Could not load settings from ./vostrel soundboard.conf"), 1)
        << "first run: no options file";
    EXPECT_FALSE(file_exists(dir.file("vostrel soundboard.session"))) << "no session kept";
    EXPECT_FALSE(file_exists(dir.file("vostrel soundboard.conf")))
        << "nothing changed, nothing saved";
}

// Runs the program with a start-up that must fail at `what`, and checks the
// exit status, the one stderr line and the log.
void expect_failed_start(const std::vector<std::string> &env, const std::string &what) {
    TempDir dir;
    pid_t pid = start_program(env);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wait_exit(pid, 60), 1);

    std::string err_text = read_file(dir.file("stderr.txt"));
    std::vector<std::string> err = lines_of(err_text);
    ASSERT_EQ(err.size(), 1u) << err_text;
    EXPECT_NE(err[0].find(what + " failed: "), std::string::npos) << err[0];
    EXPECT_GT(err[0].size(), err[0].find("failed: ") + 8) << "SDL's reason follows";

    std::vector<std::string> lines = lines_of(read_file(dir.file(LOG_NAME)));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(count_ending(lines, "] Application quitting"), 1);
    EXPECT_TRUE(ends_with(lines.back(), "] Application quitting"));
    EXPECT_EQ(count_ending(lines, "] Initialization Complete"), 0)
        << "the rest of start-up is skipped";
    int errors = 0;
    for (const std::string &l : lines)
        if (l.rfind("ERROR    [", 0) == 0) {
            errors++;
            EXPECT_NE(l.find(what + " failed: "), std::string::npos) << l;
        }
    EXPECT_EQ(errors, 1);
}

TEST(Smoke, NoDisplayFailsAtSdlInit) {
    // A display number nobody serves, and no fallback to another driver.
    expect_failed_start({"DISPLAY=:7391", "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                         "ASAN_OPTIONS=detect_leaks=0"},
                        "SDL_Init");
}

TEST(Smoke, NoGlFailsAtSetVideoMode) {
    // SDL's dummy video driver starts but offers no OpenGL.
    expect_failed_start(
        {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
        "SDL_SetVideoMode");
}

} // namespace
