// Power saving ("--power-save") on the real loop in a real window under X,
// with real time: an untouched board presents no frame after it settled, a
// tap through the X server presents the frames that show it and then none,
// a turn's sleep ends at the first input, and without the option every turn
// presents one.
#include "app/app_internal.h"
#include <vostrel/audio/audio_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <X11/extensions/XTest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

TEST(PowerSave, AnIdleBoardPresentsNothingAndATapOnlyTheFramesThatShowIt) {
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    ASSERT_EQ(sdl_implementation_mismatch(getpid()), "");
    ASSERT_TRUE(shell_open_power_saving()) << SDL_GetError();
    Window w = xwindow_wait(d, APP_NAME, 5000, [] { return true; });
    ASSERT_NE(w, 0u);
    const PixelBox cell =
        board_button_box(0, SCREEN_WIDTH, SCREEN_HEIGHT); // lays the board out again

    // Under emulation a turn can take longer than 20 ms: the windows stretch.
    const double scale = wait_scale();
    EXPECT_GE(frames_presented_in(1.0 * scale), 1) << "the first picture is shown";
    EXPECT_EQ(frames_presented_in(5.0), 0) << "5 s idle";

    // A tap on a button: press, held, release; the highlight and its end are shown.
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    XTestFakeMotionEvent(d, -1, x + cell.centre_x(), y + cell.centre_y(), 0);
    XTestFakeButtonEvent(d, 1, True, 0);
    XFlush(d);
    const int pressed = frames_presented_in(0.5 * scale);
    EXPECT_EQ(selected_button, &buttons[0]);
    XTestFakeButtonEvent(d, 1, False, 0);
    XFlush(d);
    const int released = frames_presented_in(0.5 * scale);
    EXPECT_EQ(playing_button, &buttons[0]);
    EXPECT_EQ(selected_button, nullptr);
    // Each change: its frame and the two after it (the motion may come in
    // a turn of its own).
    EXPECT_GE(pressed, 3);
    EXPECT_LE(pressed, 6);
    EXPECT_GE(released, 3);
    EXPECT_LE(released, 6);
    EXPECT_EQ(frames_presented_in(2.0), 0) << "after the tap, while the clip plays and ends";

    // A turn's sleep ends at the first input, and only then.
    double start = seconds_now();
    shell_wait_input(400);
    EXPECT_GE(seconds_now() - start, 0.39) << "no input: the whole sleep";
    XTestFakeButtonEvent(d, 1, True, 0);
    XFlush(d);
    start = seconds_now();
    shell_wait_input(10000);
    EXPECT_LT(seconds_now() - start, 5.0) << "a press ends the sleep";
    frames_presented_in(0.5 * scale);
    EXPECT_EQ(selected_button, &buttons[0]);
    XTestFakeButtonEvent(d, 1, False, 0);
    XFlush(d);
    frames_presented_in(0.5 * scale);
    EXPECT_EQ(selected_button, nullptr);

    // A watched pipe ends the sleep as input does: a child writes the time
    // it wrote, so the wake's delay after the write is measured.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    static int served;
    static double sent;
    auto serve = [](int fd, void *) {
        if (read(fd, &sent, sizeof sent) == sizeof sent) served++;
    };
    ASSERT_EQ(shell_watch_fd(fds[0], serve, nullptr), 1);
    start = seconds_now();
    shell_wait_input(400);
    EXPECT_GE(seconds_now() - start, 0.39) << "a watched pipe with nothing in it: the whole sleep";
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        usleep(200000);
        const double sent = seconds_now();
        _exit(write(fds[1], &sent, sizeof sent) == sizeof sent ? 0 : 1);
    }
    start = seconds_now();
    shell_wait_input(10000);
    const double woke = seconds_now();
    EXPECT_LT(woke - start, 2.0 * scale) << "the write ends the sleep";
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_EQ(served, 0) << "the wait itself calls nothing";
    ASSERT_TRUE(shell_turn());
    EXPECT_EQ(served, 1) << "the next turn serves it";
    // Loosely: well under a 20 ms turn on a quiet machine (bench/ measures it).
    EXPECT_LT(woke - sent, 0.5 * scale) << "woke " << (woke - sent) * 1000 << " ms after the write";
    printf("the watched pipe woke the sleep %.2f ms after the write\n", (woke - sent) * 1000);
    shell_unwatch_fd(fds[0]);
    close(fds[0]);
    close(fds[1]);

    shell_set_power_save(0);
    EXPECT_GE(frames_presented_in(1.0 * scale), 25)
        << "without power saving every 20 ms turn presents";
    // SDL 2 beneath sdl12-compat, left running at exit, crashes under qemu.
    shell_context_close();
    Mix_CloseAudio();
    SDL_Quit();
    XCloseDisplay(d);
}

} // namespace
