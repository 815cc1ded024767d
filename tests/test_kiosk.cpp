// A kiosk session: the program is the only client of an X server that resets
// whenever its last client disconnects (Xorg, or Xvfb without -noreset, as
// xinit starts them). Every start on a fresh such server shows the board.
// The test connects to the server only once the program's start-up is
// complete (read from its log), so until then the program is alone on it.
#include "support.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <algorithm>
#include <X11/Xutil.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

// Pixels of the program's window that are not black: the board draws its 20
// buttons on black, so a drawn board has thousands.
int lit_pixels(const std::string &display) {
    Display *d = XOpenDisplay(display.c_str());
    if (!d) return -1;
    int lit = -1;
    if (Window w = xwindow_find(d, DefaultRootWindow(d), "Vostrel Soundboard")) {
        std::vector<uint32_t> px = xwindow_pixels(w, 320, 480, display.c_str());
        if (!px.empty())
            lit = static_cast<int>(
                std::count_if(px.begin(), px.end(), [](uint32_t p) { return p != 0; }));
    }
    XCloseDisplay(d);
    return lit;
}

// One start on a fresh server: "" when the board showed and SIGTERM ended
// the program with status 0, else what went wrong.
std::string one_start(int n) {
    TempDir dir;
    XServer server;
    if (!server.ok) return "Xvfb did not start";
    pid_t pid =
        program_start({"--log-level", "3"}, {"SDL_AUDIODRIVER=dummy", "DISPLAY=" + server.display},
                      dir.file("stderr.txt"));
    ChildGuard guard(pid);
    const std::string what = "start " + std::to_string(n) + " on " + server.display + ": ";
    if (!wait_for_log_line(dir.file(LOG_NAME), STARTED_LINE, 10, pid)) {
        int status = program_wait(pid, 2);
        return what + "no start-up (exit status " + std::to_string(status) +
               "): " + read_file(dir.file("stderr.txt"));
    }
    int lit = 0;
    // Two seconds for the first frame; more under emulation, where llvmpipe
    // generates its code slowly.
    for (int i = 0; i < 40 * wait_scale() && lit < 1000; i++) {
        lit = lit_pixels(server.display);
        if (lit < 1000) pause_ms(50);
    }
    if (lit < 1000) return what + "no board drawn (" + std::to_string(lit) + " lit pixels)";
    int status = program_terminate(pid, 10);
    if (status != 0) return what + "SIGTERM gave exit status " + std::to_string(status);
    return "";
}

TEST(Kiosk, EveryStartAsTheOnlyClientOfAResettingServerShowsTheBoard) {
    const char *env = getenv("VOSTREL_KIOSK_STARTS");
    const int starts = env ? atoi(env) : 50;
    int shown = 0;
    for (int n = 1; n <= starts; n++) {
        std::string fault = one_start(n);
        if (fault.empty())
            shown++;
        else
            ADD_FAILURE() << fault;
    }
    EXPECT_EQ(shown, starts);
    printf("kiosk: %d of %d starts showed the board\n", shown, starts);
}

} // namespace
