// Input translation, dispatch and the debug gesture, driven through real SDL
// event records with the consumer table swapped for recorders.
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>

#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include "support.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string who; // "notice_dismiss", "keyboard_down", "menu_key", "app_up", ...
    TouchEvent touch;
    int code;
};

struct Recorder {
    std::vector<Call> calls;
    int notice = 0, keyboard = 0, menu = 0;
};

Recorder rec;

void record_touch(const char *who, TouchEvent t) { rec.calls.push_back({who, t, -1}); }
void record_key(const char *who, int code) { rec.calls.push_back({who, TouchEvent{}, code}); }

const InputConsumers recorders = {
    [] { return rec.notice; },
    [] {
        rec.calls.push_back({"notice_dismiss", TouchEvent{}, -1});
    },
    [] { return rec.keyboard; },
    [](TouchEvent t) { record_touch("keyboard_down", t); },
    [](TouchEvent t) { record_touch("keyboard_drag", t); },
    [](TouchEvent t) { record_touch("keyboard_up", t); },
    [] { return rec.menu; },
    [](int c) { record_key("menu_key", c); },
    [](TouchEvent t) { record_touch("menu_down", t); },
    [](TouchEvent t) { record_touch("menu_drag", t); },
    [](TouchEvent t) { record_touch("menu_up", t); },
    [](int c) { record_key("app_key", c); },
    [](TouchEvent t) { record_touch("app_down", t); },
    [](TouchEvent t) { record_touch("app_drag", t); },
    [](TouchEvent t) { record_touch("app_up", t); },
    [](int key, int down) { record_key(down ? "app_key_down" : "app_key_up", key); },
};

SDL_Event mouse(Uint8 type, Uint16 x, Uint16 y) {
    SDL_Event e = {};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = x;
        e.button.y = y;
    }
    return e;
}

void send_mouse(Uint8 type, Uint16 x, Uint16 y) {
    SDL_Event e = mouse(type, x, y);
    input_handle_mouse(&e);
}

void send_key(Uint8 type, SDLKey sym) {
    SDL_Event e = {};
    e.type = type;
    e.key.keysym.sym = sym;
    input_handle_key(&e);
}

// Swaps in the recorders and the 320 x 480 screen; restores the real
// consumers afterwards so no other test sees the fakes.
class Dispatch : public ::testing::Test {
  protected:
    TempDir dir; // the log file, if a test lets a line through, lands here
    InputConsumers saved = input_consumers;
    unsigned saved_threshold = log_threshold;
    void SetUp() override {
        log_reset_for_test();
        input_reset();
        rec = Recorder{};
        input_consumers = recorders;
        const Rect window = {0.0f, 320.0f, 480.0f, 0.0f};
        set_screen_rect(&window);
        app_input_rect = {0.0f, 1.0f, 0.0f, 1.0f};
    }
    void TearDown() override {
        input_consumers = saved;
        input_reset();
        log_reset_for_test();
        log_threshold = saved_threshold;
    }
};

} // namespace

TEST_F(Dispatch, ScreenRectIsNormalisedAndFlipFlagsSet) {
    EXPECT_EQ(flip_x, 0);
    EXPECT_EQ(flip_y, 1);
    const Rect expected = {0.0f, 320.0f, 0.0f, 480.0f};
    EXPECT_TRUE(rect_equals(&screen_rect, &expected));

    const Rect mirrored = {320.0f, 0.0f, 0.0f, 480.0f};
    set_screen_rect(&mirrored);
    EXPECT_EQ(flip_x, 1);
    EXPECT_EQ(flip_y, 0);
    EXPECT_TRUE(rect_equals(&screen_rect, &expected));
    TouchEvent t = {1, {{100.0f, 50.0f}}, {{4.0f, 6.0f}}};
    input_flip_touch(&t);
    EXPECT_FLOAT_EQ(t.points[0].x, 220.0f);
    EXPECT_FLOAT_EQ(t.points[0].y, 50.0f);
    EXPECT_FLOAT_EQ(t.deltas[0].x, -4.0f);
    EXPECT_FLOAT_EQ(t.deltas[0].y, 6.0f);
}

TEST_F(Dispatch, PressAndReleaseReachTheApplicationFlippedAndMapped) {
    send_mouse(SDL_MOUSEBUTTONDOWN, 100, 50);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].who, "app_down");
    EXPECT_EQ(rec.calls[0].touch.count, 1u);
    EXPECT_FLOAT_EQ(rec.calls[0].touch.points[0].x, 0.3125f);
    EXPECT_NEAR(rec.calls[0].touch.points[0].y, 430.0 / 480.0, 1e-6);
    EXPECT_EQ(rec.calls[0].touch.deltas[0].x, 0.0f);
    EXPECT_EQ(rec.calls[0].touch.deltas[0].y, 0.0f);

    send_mouse(SDL_MOUSEBUTTONUP, 160, 240);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[1].who, "app_up");
    EXPECT_FLOAT_EQ(rec.calls[1].touch.points[0].x, 0.5f);
    EXPECT_FLOAT_EQ(rec.calls[1].touch.points[0].y, 0.5f);
}

TEST_F(Dispatch, DragDeltasAreFlippedScaledAndChained) {
    send_mouse(SDL_MOUSEBUTTONDOWN, 100, 50);
    send_mouse(SDL_MOUSEMOTION, 132, 60);
    send_mouse(SDL_MOUSEMOTION, 132, 75);
    ASSERT_EQ(rec.calls.size(), 3u);
    const TouchEvent &first = rec.calls[1].touch;
    EXPECT_EQ(rec.calls[1].who, "app_drag");
    EXPECT_NEAR(first.deltas[0].x, 32.0 / 320.0, 1e-6);
    EXPECT_NEAR(first.deltas[0].y, -10.0 / 480.0, 1e-6); // down on the display is negative
    EXPECT_NEAR(first.points[0].y, 420.0 / 480.0, 1e-6);
    const TouchEvent &second = rec.calls[2].touch; // measured from the previous motion
    EXPECT_NEAR(second.deltas[0].x, 0.0, 1e-6);
    EXPECT_NEAR(second.deltas[0].y, -15.0 / 480.0, 1e-6);
}

TEST_F(Dispatch, UnheldMotionIsNotPassedOnButMovesTheReferencePoint) {
    send_mouse(SDL_MOUSEBUTTONDOWN, 10, 10);
    send_mouse(SDL_MOUSEBUTTONUP, 10, 10);
    rec.calls.clear();
    send_mouse(SDL_MOUSEMOTION, 200, 300);
    EXPECT_TRUE(rec.calls.empty());
    float x = 0, y = 0;
    input_last_mouse(&x, &y);
    EXPECT_EQ(x, 200.0f);
    EXPECT_EQ(y, 300.0f);

    // Any button counts: a right press holds, its motion is a drag from the
    // last position.
    SDL_Event e = mouse(SDL_MOUSEBUTTONDOWN, 200, 300);
    e.button.button = SDL_BUTTON_RIGHT;
    input_handle_mouse(&e);
    send_mouse(SDL_MOUSEMOTION, 200, 310);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[1].who, "app_drag");
    EXPECT_NEAR(rec.calls[1].touch.deltas[0].y, -10.0 / 480.0, 1e-6);
}

TEST_F(Dispatch, KeysGoToMenuOrApplicationNeverToTheKeyboard) {
    rec.keyboard = 1;
    const SDLKey keys[6] = {SDLK_RETURN, SDLK_ESCAPE, SDLK_LEFT, SDLK_RIGHT, SDLK_DOWN, SDLK_UP};
    for (int code = 0; code < 6; code++)
        send_key(SDL_KEYDOWN, keys[code]);
    ASSERT_EQ(rec.calls.size(), 6u);
    for (int code = 0; code < 6; code++) {
        EXPECT_EQ(rec.calls[code].who, "app_key");
        EXPECT_EQ(rec.calls[code].code, code);
    }
    rec.calls.clear();
    send_key(SDL_KEYUP, SDLK_RETURN);
    send_key(SDL_KEYDOWN, SDLK_a);
    EXPECT_TRUE(rec.calls.empty());

    rec.menu = 1;
    send_key(SDL_KEYDOWN, SDLK_UP);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].who, "menu_key");
    EXPECT_EQ(rec.calls[0].code, NAV_UP);

    // Other keys' presses and releases reach the application only while
    // nothing else shows; a navigation key's release reaches nobody.
    rec.calls.clear();
    send_key(SDL_KEYDOWN, SDLK_a);
    rec.menu = 0;
    rec.keyboard = 0;
    rec.notice = 1;
    send_key(SDL_KEYUP, SDLK_a);
    rec.notice = 0;
    send_key(SDL_KEYDOWN, SDLK_7);
    send_key(SDL_KEYUP, SDLK_7);
    send_key(SDL_KEYUP, SDLK_ESCAPE);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].who, "app_key_down");
    EXPECT_EQ(rec.calls[0].code, SDLK_7);
    EXPECT_EQ(rec.calls[1].who, "app_key_up");
    EXPECT_EQ(rec.calls[1].code, SDLK_7);
}

TEST_F(Dispatch, NoticeSwallowsPressesAndKeysButNotDragsOrReleases) {
    rec.notice = 1;
    send_mouse(SDL_MOUSEBUTTONDOWN, 100, 50);
    send_key(SDL_KEYDOWN, SDLK_ESCAPE);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].who, "notice_dismiss");
    EXPECT_EQ(rec.calls[1].who, "notice_dismiss");

    send_mouse(SDL_MOUSEMOTION, 100, 60);
    send_mouse(SDL_MOUSEBUTTONUP, 100, 60);
    ASSERT_EQ(rec.calls.size(), 4u);
    EXPECT_EQ(rec.calls[2].who, "app_drag");
    EXPECT_EQ(rec.calls[3].who, "app_up");
}

TEST_F(Dispatch, ShownKeyboardTakesTouchesInItsOwnSpaceThenMenuThenApplication) {
    rec.keyboard = 1;
    rec.menu = 1;
    send_mouse(SDL_MOUSEBUTTONDOWN, 100, 50);
    send_mouse(SDL_MOUSEMOTION, 100, 60);
    send_mouse(SDL_MOUSEBUTTONUP, 100, 60);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].who, "keyboard_down");
    EXPECT_EQ(rec.calls[1].who, "keyboard_drag");
    EXPECT_EQ(rec.calls[2].who, "keyboard_up");
    EXPECT_FLOAT_EQ(rec.calls[0].touch.points[0].x, -0.375f); // keyboard space (-1, 1, -1, 1)
    EXPECT_NEAR(rec.calls[0].touch.points[0].y, 2.0 * 430.0 / 480.0 - 1.0, 1e-6);
    EXPECT_NEAR(rec.calls[1].touch.deltas[0].y, -20.0 / 480.0, 1e-6);

    rec.keyboard = 0;
    rec.calls.clear();
    send_mouse(SDL_MOUSEBUTTONDOWN, 160, 240);
    send_mouse(SDL_MOUSEMOTION, 160, 250);
    send_mouse(SDL_MOUSEBUTTONUP, 160, 250);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].who, "menu_down");
    EXPECT_EQ(rec.calls[1].who, "menu_drag");
    EXPECT_EQ(rec.calls[2].who, "menu_up");
    EXPECT_FLOAT_EQ(rec.calls[0].touch.points[0].x, 5.0f); // menu space (0, 10, 0, 10)
    EXPECT_FLOAT_EQ(rec.calls[0].touch.points[0].y, 5.0f);
    EXPECT_NEAR(rec.calls[1].touch.deltas[0].y, -100.0 / 480.0, 1e-6);
}

TEST_F(Dispatch, EmptyPressIsIgnored) {
    TouchEvent empty = {};
    input_touch_down(empty);
    rec.notice = 1;
    input_touch_down(empty); // not even the notice sees it
    EXPECT_TRUE(rec.calls.empty());
}

// --- debug gesture ---------------------------------------------------------

namespace {

constexpr float CX = 160.0f, CY = 240.0f; // screen centre in SDL (y-down) pixels

void drag_to(float x, float y) {
    TouchEvent t = {1, {{x, y}}, {}};
    input_touch_drag(t);
}

void release_at(float x, float y) {
    TouchEvent t = {1, {{x, y}}, {}};
    input_touch_up(t);
}

// One stroke about the centre: starts at the centre (no angle against any
// previous point), then `steps` steps of a turn split into `per_turn`,
// clockwise on the display unless `clockwise` is 0. Not released.
void circle(int steps, int per_turn, int clockwise) {
    drag_to(CX, CY);
    for (int k = 0; k <= steps; k++) {
        double t = 2.0 * M_PI * k / per_turn * (clockwise ? 1.0 : -1.0);
        drag_to(static_cast<float>(CX + 100.0 * cos(t)), static_cast<float>(CY + 100.0 * sin(t)));
    }
}

void arm(void) {
    circle(5 * 8, 8, 1);
    release_at(CX, CY);
}

void tap_top_right(void) { release_at(310.0f, 10.0f); }
void tap_top_left(void) { release_at(10.0f, 10.0f); }

std::string log_text(void) {
    log_close();
    return read_file("vostrel soundboard_log.txt");
}

} // namespace

TEST_F(Dispatch, GestureRaisesLevelByCirclingThenCornerTaps) {
    arm();
    EXPECT_FLOAT_EQ(debug_progress, 0.5f);
    EXPECT_EQ(debug_level, 0);
    circle(5 * 8, 8, 1); // armed: circling adds nothing
    tap_top_right();
    EXPECT_NEAR(debug_progress, 0.7501, 1e-6);
    EXPECT_EQ(debug_level, 0);
    log_threshold = LOG_INFO; // each release resets it; let the change through
    tap_top_left();
    EXPECT_EQ(debug_level, 1);
    EXPECT_FLOAT_EQ(debug_progress, 1.0f);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_DEBUG));
    EXPECT_NE(log_text().find("Debugging Level changed to: 1\n"), std::string::npos);
}

TEST_F(Dispatch, ExactlyFourTurnsDoNotArmSlightlyMoreDo) {
    // 16 steps a turn: the float sum of the step angles stays at 8 pi.
    circle(4 * 16, 16, 1);
    release_at(CX + 100.0f, CY);
    EXPECT_EQ(debug_progress, 0.0f);

    circle(4 * 16, 16, 1);
    drag_to(CX + 100.0f * cosf(0.01f), CY + 100.0f * sinf(0.01f));
    release_at(CX, CY);
    EXPECT_EQ(debug_progress, 0.5f);
    EXPECT_EQ(debug_level, 0);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_WARNING));
}

TEST_F(Dispatch, WrongTapDisarmsAndArmedDragsAreNotCounted) {
    arm();
    circle(5 * 8, 8, 1);
    release_at(CX, CY); // not a corner: disarmed
    EXPECT_EQ(debug_progress, 0.0f);
    // Had the armed circling counted, this bare release would arm again.
    release_at(CX, CY);
    EXPECT_EQ(debug_progress, 0.0f);

    // The corner counts within 80 pixels, not beyond.
    arm();
    release_at(320.0f - 81.0f, 0.0f);
    EXPECT_EQ(debug_progress, 0.0f);
    arm();
    release_at(320.0f - 79.0f, 0.0f);
    EXPECT_NEAR(debug_progress, 0.7501, 1e-6);
    tap_top_right(); // the second tap wants the top-left corner
    EXPECT_EQ(debug_progress, 0.0f);
    EXPECT_EQ(debug_level, 0);
}

TEST_F(Dispatch, CounterClockwiseCirclingFromZeroWrapsToThree) {
    circle(5 * 8, 8, 0);
    log_threshold = LOG_INFO;
    release_at(CX, CY);
    EXPECT_EQ(debug_level, 3);
    EXPECT_EQ(debug_progress, 3.0f);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_DEBUG));

    circle(5 * 8, 8, 0);
    release_at(CX, CY);
    EXPECT_EQ(debug_level, 2);
    std::string text = log_text();
    EXPECT_NE(text.find("INFO     ["), std::string::npos);
    EXPECT_NE(text.find("Debugging Level changed to: 3\n"), std::string::npos);
    EXPECT_NE(text.find("Debugging Level changed to: 2\n"), std::string::npos);
}

TEST_F(Dispatch, EveryReleaseResetsTheLogThreshold) {
    log_threshold = LOG_CRITICAL;
    release_at(CX, CY);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_WARNING));

    // A level from the command line holds only until the first release.
    debug_level = 7;
    log_threshold = LOG_DEBUG;
    release_at(CX, CY);
    EXPECT_EQ(debug_level, 0);
    EXPECT_EQ(debug_progress, 0.0f);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_WARNING));

    debug_level = 2;
    debug_progress = 2.0f;
    log_threshold = LOG_CRITICAL;
    send_mouse(SDL_MOUSEBUTTONDOWN, 10, 10);
    send_mouse(SDL_MOUSEBUTTONUP, 10, 10);
    EXPECT_EQ(log_threshold, static_cast<unsigned>(LOG_DEBUG));
}

TEST_F(Dispatch, CompletingTheRaiseAtLevelThreeDoesNotLockTheGesture) {
    debug_level = 3;
    debug_progress = 3.0f;
    arm();
    tap_top_right();
    tap_top_left();
    EXPECT_EQ(debug_level, 3);
    EXPECT_EQ(debug_progress, 3.0f);

    circle(5 * 8, 8, 0);
    release_at(CX, CY);
    EXPECT_EQ(debug_level, 2);
}

TEST_F(Dispatch, GestureSeesDragsAndReleasesWhoeverConsumesThem) {
    rec.notice = 1;
    rec.keyboard = 1;
    circle(5 * 8, 8, 1);
    release_at(CX, CY);
    EXPECT_EQ(debug_progress, 0.5f);
    ASSERT_FALSE(rec.calls.empty());
    EXPECT_EQ(rec.calls.back().who, "keyboard_up");
}

// The leave gesture: a press held 3 s in the named corner's 40-pixel square
// and released there raises one request, which input only raises.
namespace {
void hold(float x, float y, float seconds, float x_up, float y_up) {
    static float now = 10.0f;
    input_set_time(now);
    send_mouse(SDL_MOUSEBUTTONDOWN, static_cast<Uint16>(x), static_cast<Uint16>(y));
    now += seconds;
    input_set_time(now);
    send_mouse(SDL_MOUSEBUTTONUP, static_cast<Uint16>(x_up), static_cast<Uint16>(y_up));
    now += 1.0f;
}
} // namespace

TEST_F(Dispatch, TheLeaveGestureIsRaisedOnlyInTheCornerNamedAfterThreeSeconds) {
    hold(8, 8, 5.0f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "no corner until one is set";

    input_set_leave_corner(LEAVE_TOP_LEFT);
    hold(8, 8, 2.9f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "shorter than 3 s";
    hold(8, 8, 3.0f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 1);
    EXPECT_EQ(input_take_leave_request(), 0) << "taken once";
    hold(8, 8, 3.5f, 60, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "released outside the corner";
    hold(45, 8, 3.5f, 45, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "pressed outside the corner";
    ASSERT_EQ(rec.calls.size(), 10u) << "the presses and releases still reach the application";

    input_set_leave_corner(LEAVE_BOTTOM_RIGHT);
    hold(8, 8, 3.5f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "the corner moved away";
    hold(300, 470, 3.5f, 300, 470);
    EXPECT_EQ(input_take_leave_request(), 1) << "bottom-right";
    input_set_leave_corner(LEAVE_TOP_RIGHT);
    hold(300, 470, 3.5f, 300, 470);
    EXPECT_EQ(input_take_leave_request(), 0);
    hold(300, 8, 3.5f, 300, 8);
    EXPECT_EQ(input_take_leave_request(), 1) << "top-right";
    input_set_leave_corner(LEAVE_BOTTOM_LEFT);
    hold(8, 470, 3.5f, 8, 470);
    EXPECT_EQ(input_take_leave_request(), 1) << "bottom-left";

    input_set_leave_corner(LEAVE_OFF);
    hold(8, 470, 3.5f, 8, 470);
    hold(8, 8, 3.5f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "turned off";
    input_set_leave_corner(99);
    hold(8, 8, 3.5f, 8, 8);
    EXPECT_EQ(input_take_leave_request(), 0) << "an unknown corner is none";
}

// The corner the shell gives input: the application's (the soundboard keeps
// the default, top-left), and none under a kiosk.
TEST(LeaveCorner, AKioskHasNoLeaveGesture) {
    EXPECT_EQ(shell_leave_corner(), LEAVE_TOP_LEFT);
    shell_request_fullscreen(0);
    EXPECT_EQ(shell_leave_corner(), LEAVE_TOP_LEFT);
    shell_request_fullscreen(1);
    EXPECT_EQ(shell_leave_corner(), LEAVE_OFF);
}
