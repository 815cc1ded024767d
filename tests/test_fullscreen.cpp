// The board filling the screen (--fullscreen, --kiosk): on a 320 x 480 screen
// under a window manager with title bars and a panel, and scaled into screens
// of other shapes, centred on black, with taps landing on the button drawn
// under them; the leave gesture; a kiosk's pointer and screen blanking.
// VOSTREL_TEST_GL and LD_LIBRARY_PATH (tests/CMakeLists.txt) choose the GL
// path and the SDL 1.2 the program runs on.
#include "support.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/scrnsaver.h>

#include <unistd.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

// The whole screen as 0xRRGGBB, row 0 at the top.
struct Shot {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Shot grab(Display *d) {
    Shot s;
    XWindowAttributes a;
    XGetWindowAttributes(d, DefaultRootWindow(d), &a);
    s.px = xwindow_pixels(0, a.width, a.height, DisplayString(d));
    if (s.px.empty()) return s;
    s.w = a.width;
    s.h = a.height;
    return s;
}

// Where the 320 x 480 board lands on a screen: its top-left corner and scale.
struct Placement {
    int screen_w, screen_h;
    int left, top;
    double scale;
};

// Board pixels of a button's box, on screen.
PixelBox on_screen(const Placement &p, int slot) {
    PixelBox b = board_button_box(slot, 320, 480);
    return {p.left + static_cast<int>(b.x0 * p.scale), p.top + static_cast<int>(b.y0 * p.scale),
            p.left + static_cast<int>(b.x1 * p.scale), p.top + static_cast<int>(b.y1 * p.scale)};
}

int count_in(const Shot &s, const PixelBox &b, bool (*pick)(uint32_t)) {
    int n = 0;
    for (int y = b.y0; y < b.y1; y++)
        for (int x = b.x0; x < b.x1; x++)
            n += pick(s.at(x, y));
    return n;
}

bool lit(uint32_t p) { return p != 0; }
// A selected caption's ink is (255, 255, 255); unselected captions are grey.
bool white(uint32_t p) { return p == 0xFFFFFF; }

struct Session {
    TempDir dir;
    XServer server;
    Display *d = nullptr;
    std::vector<pid_t> helpers;
    pid_t program = -1;

    explicit Session(int w, int h)
        : server(
              {"-screen", "0", std::to_string(w) + "x" + std::to_string(h) + "x24", "-noreset"}) {
        if (server.ok) d = XOpenDisplay(server.display.c_str());
        if (d) xwindow_survive_errors();
    }
    ~Session() {
        if (program > 0) program_terminate(program, 10);
        for (pid_t p : helpers)
            program_terminate(p, 5);
        if (d) XCloseDisplay(d);
    }
    std::vector<std::string> env(std::vector<std::string> extra = {}) const {
        extra.push_back("DISPLAY=" + server.display);
        return extra;
    }
    // A desktop program through sh, which takes the "--gl" that
    // program_start_binary may add as its $0.
    pid_t run_helper(const char *command) {
        return program_start_binary("/bin/sh", {"-c", command}, env(), dir.file("helpers.txt"));
    }
    // Openbox (title bars) and tint2 (a panel), ready once openbox has
    // announced itself on the root window.
    bool desktop() {
        helpers.push_back(run_helper("exec openbox"));
        Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
        for (int i = 0; i < 100; i++) {
            Atom type;
            int format;
            unsigned long n = 0, rest;
            unsigned char *data = nullptr;
            XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type,
                               &format, &n, &rest, &data);
            if (data) XFree(data);
            if (n == 1) {
                helpers.push_back(run_helper("exec tint2"));
                pause_scaled_ms(1000);
                return true;
            }
            pause_scaled_ms(100);
        }
        return false;
    }
    // The program, drawn: its start-up complete and two frames' time passed.
    bool start(const std::vector<std::string> &args, std::vector<std::string> extra_env = {}) {
        std::vector<std::string> all = {"--log-level", "3"};
        all.insert(all.end(), args.begin(), args.end());
        program = program_start(all, env(extra_env), dir.file("stderr.txt"));
        if (!wait_for_log_line(LOG_NAME, STARTED_LINE, 10, program)) return false;
        EXPECT_EQ(sdl_implementation_mismatch(program), "");
        pause_scaled_ms(700);
        return true;
    }
    void move(int x, int y) {
        XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime);
        XSync(d, False);
    }
    void button(bool down) {
        XTestFakeButtonEvent(d, 1, down, CurrentTime);
        XSync(d, False);
    }
};

// Every button shows whole on the screen and nothing else does: the band
// around the board is black, each button's box holds its picture, and a
// finger held on a button turns that button's caption white and no other.
void expect_board(Session &s, const Placement &p) {
    Shot shot = grab(s.d);
    ASSERT_EQ(shot.w, p.screen_w);
    int board_w = static_cast<int>(320 * p.scale), board_h = static_cast<int>(480 * p.scale);
    int stray = 0;
    for (int y = 0; y < shot.h; y++)
        for (int x = 0; x < shot.w; x++)
            if (x < p.left || x >= p.left + board_w || y < p.top || y >= p.top + board_h)
                stray += lit(shot.at(x, y));
    EXPECT_EQ(stray, 0) << "lit pixels outside the board's place";
    for (int slot = 0; slot < 20; slot++) {
        PixelBox b = on_screen(p, slot);
        int area = (b.x1 - b.x0) * (b.y1 - b.y0);
        // The button picture covers most of its cell; a box cut by a title
        // bar or a panel, or drawn elsewhere, does not.
        EXPECT_GT(count_in(shot, b, lit), area / 2) << "button " << slot;
        EXPECT_EQ(count_in(shot, b, white), 0) << "button " << slot;
    }
    for (int slot : {0, 6, 19}) {
        PixelBox b = on_screen(p, slot);
        s.move(b.centre_x(), b.centre_y());
        s.button(true);
        pause_scaled_ms(400);
        Shot held = grab(s.d);
        s.button(false);
        pause_scaled_ms(200);
        for (int other = 0; other < 20; other++) {
            int n = count_in(held, on_screen(p, other), white);
            if (other == slot)
                EXPECT_GT(n, 0) << "pressed " << slot << ": its caption is not white";
            else
                EXPECT_EQ(n, 0) << "pressed " << slot << ", button " << other << " lit";
        }
    }
}

TEST(Fullscreen, SmallScreenUnderWindowManagerShowsEveryButtonAndLeavesOnlyOnLongCornerHold) {
    Session s(320, 480);
    ASSERT_TRUE(s.d);
    ASSERT_TRUE(s.desktop()) << "openbox did not start";
    ASSERT_TRUE(s.start({"--fullscreen"})) << read_file(s.dir.file("stderr.txt"));
    expect_board(s, {320, 480, 0, 0, 1.0});

    // A short press in the corner is a stray tap: the board stays.
    s.move(8, 8);
    s.button(true);
    pause_scaled_ms(500);
    s.button(false);
    pause_scaled_ms(500);
    Shot still = grab(s.d);
    int top_band = count_in(still, {0, 0, 320, 20}, lit);
    EXPECT_EQ(top_band, 0) << "a short corner press left fullscreen";

    // Held for more than 3 seconds, then lifted: a window with its title bar.
    s.button(true);
    pause_scaled_ms(3300);
    s.button(false);
    pause_scaled_ms(1500);
    Shot windowed = grab(s.d);
    EXPECT_GT(count_in(windowed, {0, 0, 320, 20}, lit), 320 * 10) << "no title bar after leaving";
    EXPECT_EQ(program_terminate(s.program, 10), 0);
    s.program = -1;
}

TEST(Fullscreen, OtherScreensShowTheBoardScaledAndCentred) {
    // Scale: the largest that fits (1.5, 1, 1.5); the rest split evenly.
    for (Placement p : {Placement{480, 800, 0, 40, 1.5}, Placement{800, 480, 240, 0, 1.0},
                        Placement{1280, 720, 400, 0, 1.5}}) {
        SCOPED_TRACE(std::to_string(p.screen_w) + "x" + std::to_string(p.screen_h));
        Session s(p.screen_w, p.screen_h);
        ASSERT_TRUE(s.d);
        ASSERT_TRUE(s.start({"--fullscreen"})) << read_file(s.dir.file("stderr.txt"));
        expect_board(s, p);
    }
}

// Pixels of the pointer's picture that show; -1 if XFixes gives none.
int visible_pointer_pixels(Display *d) {
    XFixesCursorImage *cursor = XFixesGetCursorImage(d);
    if (!cursor) return -1;
    int visible = 0;
    for (int i = 0; i < cursor->width * cursor->height; i++)
        visible += (cursor->pixels[i] >> 24) != 0;
    XFree(cursor);
    return visible;
}

TEST(Kiosk, HidesThePointerAndHoldsBlankingOffAndTheCornerHoldDoesNotLeave) {
    Session s(320, 480);
    ASSERT_TRUE(s.d);
    // The screen saver would start after one idle second; the environment
    // asks SDL to allow it, as a desktop's may.
    XSetScreenSaver(s.d, 1, 0, DontPreferBlanking, AllowExposures);
    XSync(s.d, False);
    ASSERT_TRUE(s.start({"--kiosk"}, {"SDL_VIDEO_ALLOW_SCREENSAVER=1"}))
        << read_file(s.dir.file("stderr.txt"));
    s.move(160, 240);
    pause_scaled_ms(2500);
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    ASSERT_TRUE(XScreenSaverQueryInfo(s.d, DefaultRootWindow(s.d), info));
    EXPECT_NE(info->state, ScreenSaverOn) << "the screen blanked under the kiosk";
    XFree(info);
    EXPECT_EQ(visible_pointer_pixels(s.d), 0) << "the pointer is drawn over the board";
    expect_board(s, {320, 480, 0, 0, 1.0});

    // The corner hold that leaves --fullscreen does not leave a kiosk: the
    // pointer stays hidden, as it would not in the window left for.
    s.move(8, 8);
    s.button(true);
    pause_scaled_ms(3300);
    s.button(false);
    pause_scaled_ms(1500);
    EXPECT_EQ(visible_pointer_pixels(s.d), 0) << "the corner hold left the kiosk";
    expect_board(s, {320, 480, 0, 0, 1.0});
}

} // namespace
