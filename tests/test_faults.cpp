// The real program against the faults of a real desktop: killed outright,
// asked to stop while its window is hidden, and losing its X server. Each
// run is watched from outside: the log file while it runs, the exit status,
// the time it takes.
#include "support.h"

#include <SDL.h>
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

// Exit status once the child ends, reaped; -1 if it had not ended within
// `seconds` (it is then killed). elapsed gets the time waited.
int wait_exit(pid_t pid, double seconds, double *elapsed) {
    double start = seconds_now();
    while (seconds_now() - start < seconds) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            *elapsed = seconds_now() - start;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pause_ms(10);
    }
    *elapsed = seconds_now() - start;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// Every line the program logs is in the file as soon as it is logged: the
// file is read while the program runs, and again after a SIGKILL, which
// leaves no chance to flush anything.
TEST(Faults, LogLinesReachTheFileWhileRunningAndSurviveAKill) {
    TempDir dir;
    pid_t pid = program_start({"--log-level", "3"}, {"SDL_AUDIODRIVER=dummy"});
    ChildGuard guard(pid);
    ASSERT_TRUE(wait_for_log_line(dir.file(LOG_NAME), STARTED_LINE, 20, pid))
        << "not in the file while the program runs: '" << read_file(dir.file(LOG_NAME)) << "'";
    ASSERT_TRUE(program_running(pid));
    kill(pid, SIGKILL);
    EXPECT_EQ(program_wait(pid, 5), 128 + SIGKILL);
    EXPECT_NE(read_file(dir.file(LOG_NAME)).find(STARTED_LINE), std::string::npos);
}

// SIGTERM (a logout, systemctl stop, a kiosk supervisor) while the window is
// unmapped, so the application is in the background and the loop waits on
// events: the program quits through its normal path within a second.
TEST(Faults, SigtermWhileTheWindowIsHiddenQuitsAtOnce) {
    TempDir dir;
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    pid_t pid = program_start({"--log-level", "3"}, {"SDL_AUDIODRIVER=dummy"});
    ChildGuard guard(pid);
    const Window w = static_cast<Window>(strtoul(program_window(pid, 20000).c_str(), nullptr, 10));
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(wait_for_log_line(dir.file(LOG_NAME), STARTED_LINE, 20, pid));
    pause_ms(300);
    XUnmapWindow(d, w);
    XSync(d, False);
    pause_ms(1500); // the loss of activity is seen and the loop blocks
    kill(pid, SIGTERM);
    double elapsed = 0;
    int status = wait_exit(pid, 10, &elapsed);
    XCloseDisplay(d);
    EXPECT_EQ(status, 0) << "still running after 10 s (-1) or ended abnormally";
    // Within a second; an emulated program's saving and closing take longer.
    EXPECT_LT(elapsed, 1.0 * wait_scale());
    std::string log = read_file(dir.file(LOG_NAME));
    EXPECT_NE(log.find("Saving session"), std::string::npos) << log;
    EXPECT_NE(log.find("Application quitting"), std::string::npos) << log;
}

// The X server goes away under a running program: the shutdown that needs
// no display still runs and says why, and the process ends with status 1.
TEST(Faults, LosingTheXServerSavesAndLogsBeforeExiting) {
    TempDir dir;
    XServer server({"-noreset"});
    ASSERT_TRUE(server.ok) << "Xvfb did not start";
    pid_t pid =
        program_start({"--log-level", "3"}, {"SDL_AUDIODRIVER=dummy", "DISPLAY=" + server.display});
    ChildGuard guard(pid);
    ASSERT_TRUE(wait_for_log_line(dir.file(LOG_NAME), STARTED_LINE, 20, pid))
        << read_file(dir.file(LOG_NAME));
    pause_ms(500);
    kill(server.pid, SIGKILL);
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
    double elapsed = 0;
    int status = wait_exit(pid, 10, &elapsed);
    EXPECT_EQ(status, 1);
    std::string log = read_file(dir.file(LOG_NAME));
    size_t lost = log.find("X display connection lost");
    ASSERT_NE(lost, std::string::npos) << log;
    size_t saving = log.find("Saving session", lost),
           quitting = log.find("Application quitting", lost);
    EXPECT_NE(saving, std::string::npos) << log;
    EXPECT_NE(quitting, std::string::npos) << log;
    EXPECT_LT(saving, quitting) << log;
}

} // namespace

namespace {

// The tests' window search meets windows that vanish between being listed
// and being read (a program quitting, a test's own window closed). A read of
// a destroyed window must come back as "not found" instead of Xlib's default
// error handler ending the test process, with SDL's handler in front of it
// as in every test that opened a window through SDL.
TEST(Faults, TheWindowSearchSurvivesAWindowThatVanished) {
    ASSERT_TRUE(sdl_init_retrying(SDL_INIT_VIDEO)) << SDL_GetError();
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    XStoreName(d, w, "Vanishing");
    XSync(d, False);
    EXPECT_EQ(xwindow_find(d, DefaultRootWindow(d), "Vanishing"), w);
    XDestroyWindow(d, w);
    XSync(d, False);
    EXPECT_EQ(xwindow_find(d, w, "Vanishing"), 0u) << "a destroyed window is not found";
    EXPECT_EQ(xwindow_find(d, DefaultRootWindow(d), "Vanishing"), 0u);
    XCloseDisplay(d);
    SDL_Quit();
}

} // namespace
