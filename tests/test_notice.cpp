// Notices and the log overlay: the queue driven tick by tick as the shell does,
// dismissal through real SDL events, and both overlays read back from a real
// 320x480 GL window with the real font.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <vostrel/anim/anim_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>
#include "support.h"
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};
const char LOG_NAME[] = "vostrel soundboard_log.txt";

// One update tick in the shell's order: the notice queue, then the tweens.
void tick(float dt) {
    notice_update(dt);
    tween_update(dt);
}

struct Pixels {
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    bool dark(int x, int y) const {
        const uint8_t *p = &px[(static_cast<size_t>(y) * 320 + x) * 4];
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
    int lit_count(int x0, int y0, int x1, int y1) const { // half-open box
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += !dark(x, y);
        return n;
    }
};

// Fresh tweens and an empty notice queue for every test; GL state, the font
// and the log come from a real window and a private directory.
class Notice : public ::testing::Test {
  protected:
    TempDir dir;
    unsigned saved_threshold = log_threshold;
    uint8_t saved_debug = debug_level;
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        log_reset_for_test();
        tween_init();
        fresh_gl_state(); // starts with notice_reset
        font_init();
        ASSERT_NE(font.font_texture, 0u);
        gl_set_viewport(&screen);
        log_overlay_reset();
    }
    void TearDown() override {
        notice_reset();
        tween_shutdown();
        font_release();
        gl_release();
        log_reset_for_test();
        log_threshold = saved_threshold;
        debug_level = saved_debug;
        log_overlay_reset();
    }
    // The log is not flushed per line; log_size seeks, which flushes it.
    std::string log_text() const {
        log_size();
        return read_file(dir.file(LOG_NAME));
    }
    static void frame() {
        gl_begin_2d(&screen);
        glLoadIdentity();
        frame_begin(&screen);
        frame_end(&screen);
    }
};

} // namespace

// ---- Queue and timing ---------------------------------------------------------

TEST_F(Notice, ThreeNoticesShowInTurnWithNoIdleTickBetween) {
    const float dt = 0.25f; // exact in binary, so the timers fall due on known ticks
    notice_post("two seconds", 2.0f);
    notice_post("until dismissed", 0.0f);
    notice_post("one second", 1.0f);
    EXPECT_EQ(notice_showing(), 0); // nothing shows before the first update

    tick(dt);
    ASSERT_EQ(notice_showing(), 1);
    EXPECT_STREQ(notice_text(), "two seconds");
    for (int i = 2; i <= 7; i++) { // 1.75 s shown
        tick(dt);
        EXPECT_EQ(notice_showing(), 1) << "tick " << i;
        EXPECT_EQ(tween_busy(), 1) << "tick " << i;
    }
    tick(dt); // 2 s: the hide timer falls due in this tick's tween update
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_busy(), 0);

    tick(dt); // the very next tick shows the second
    ASSERT_EQ(notice_showing(), 1);
    EXPECT_STREQ(notice_text(), "until dismissed");
    for (int i = 0; i < 400; i++)
        tick(dt);
    EXPECT_EQ(notice_showing(), 1);
    EXPECT_STREQ(notice_text(), "until dismissed");
    EXPECT_EQ(tween_busy(), 0); // no timer for a notice without a duration

    notice_dismiss();
    EXPECT_EQ(notice_showing(), 0);
    tick(dt);
    ASSERT_EQ(notice_showing(), 1);
    EXPECT_STREQ(notice_text(), "one second");
    for (int i = 0; i < 2; i++) // 0.75 s shown
        tick(dt);
    EXPECT_EQ(notice_showing(), 1);
    tick(dt); // 1 s
    EXPECT_EQ(notice_showing(), 0);
    tick(dt); // the queue is empty: nothing more shows
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_timer_count(), 0);
}

TEST_F(Notice, DismissWhileHiddenChangesNothingAndCancelsOnlyTheHideTimer) {
    int other = 7;
    timer_set_int(&other, 1, 5.0f);
    notice_dismiss(); // nothing showing: no timer of anyone else is touched
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_timer_count(), 1);

    notice_post("queued", 0.0f);
    notice_dismiss(); // a queued notice is not dropped by a dismiss
    tick(0.1f);
    EXPECT_EQ(notice_showing(), 1);
    EXPECT_STREQ(notice_text(), "queued");
    notice_dismiss();

    notice_post("timed", 3.0f);
    tick(0.1f);
    ASSERT_EQ(notice_showing(), 1);
    EXPECT_EQ(tween_timer_count(), 2);
    notice_dismiss();
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_timer_count(), 1); // only the hide timer went
    for (int i = 0; i < 60; i++)
        tick(0.1f);
    EXPECT_EQ(other, 1);
    EXPECT_EQ(notice_showing(), 0); // a cancelled timer never fires later
}

TEST_F(Notice, PendingHideTimerBlocksUntilItFires) {
    notice_post("wait", 1.0f);
    EXPECT_EQ(tween_busy(), 0);
    tick(0.5f);
    EXPECT_EQ(notice_showing(), 1);
    EXPECT_EQ(tween_busy(), 1); // the application's second update stage is held up
    tick(0.5f);
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_busy(), 0);
}

TEST_F(Notice, LongTextIsCutAndNodesAreReused) {
    const std::string longer(300, 'x');
    notice_post(longer.c_str(), 0.0f);
    notice_post(nullptr, 0.0f);
    tick(0.1f);
    EXPECT_EQ(std::string(notice_text()), std::string(255, 'x'));
    notice_dismiss();
    tick(0.1f);
    EXPECT_STREQ(notice_text(), "");
    notice_dismiss();
    for (int round = 0; round < 20; round++) { // recycled through the free list
        notice_post("again", 0.0f);
        tick(0.1f);
        EXPECT_STREQ(notice_text(), "again");
        notice_dismiss();
    }
}

TEST_F(Notice, ResetDropsTheQueueAndTheHideTimer) {
    notice_post("shown", 4.0f);
    notice_post("queued", 0.0f);
    tick(0.1f);
    ASSERT_EQ(notice_showing(), 1);
    ASSERT_EQ(tween_busy(), 1);

    gl_release();
    gl_init(); // as after a window resize
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(tween_busy(), 0);
    EXPECT_STREQ(notice_text(), "");
    tick(0.1f);
    EXPECT_EQ(notice_showing(), 0); // the queued notice went with the reset

    notice_post("after", 0.0f); // the queue works again afterwards
    tick(0.1f);
    EXPECT_STREQ(notice_text(), "after");
}

// ---- Dispatch -------------------------------------------------------------------

namespace {
int app_downs, app_ups;
}

TEST_F(Notice, PressDismissesAndStopsThereReleaseReachesTheApplication) {
    const InputConsumers saved = input_consumers;
    const Rect saved_screen = screen_rect;
    const Rect window_rect = {0.0f, 320.0f, 480.0f, 0.0f};
    set_screen_rect(&window_rect);
    input_reset();
    app_downs = app_ups = 0;
    input_consumers.app_touch_down = [](TouchEvent) { app_downs++; };
    input_consumers.app_touch_up = [](TouchEvent) { app_ups++; };
    input_consumers.menu_touch_down = [](TouchEvent) { ADD_FAILURE() << "menu got the press"; };
    input_consumers.keyboard_touch_down = [](TouchEvent) {
        ADD_FAILURE() << "keyboard got the press";
    };

    notice_post("touch me", 0.0f);
    tick(0.1f);
    ASSERT_EQ(notice_showing(), 1);

    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 100;
    e.button.y = 50;
    input_handle_mouse(&e);
    EXPECT_EQ(notice_showing(), 0);
    EXPECT_EQ(app_downs, 0);

    e.type = SDL_MOUSEBUTTONUP;
    input_handle_mouse(&e);
    EXPECT_EQ(app_ups, 1);

    e.type = SDL_MOUSEBUTTONDOWN; // nothing showing now: the press goes through
    input_handle_mouse(&e);
    EXPECT_EQ(app_downs, 1);

    input_consumers = saved;
    input_reset();
    set_screen_rect(&saved_screen);
}

// ---- Drawing --------------------------------------------------------------------

TEST_F(Notice, NoticeBoxFillsTheInsetMiddleThird) {
    frame();
    EXPECT_EQ(Pixels().lit_count(0, 0, 320, 480), 0); // nothing showing: nothing drawn

    notice_post("Hello", 0.0f);
    tick(0.1f);
    frame();
    const Pixels p;
    // The middle third is y 160..320; inset 10 percent: x 32..288, y 176..304.
    EXPECT_EQ(p.lit_count(0, 0, 320, 170), 0);   // bottom third and the inset margin
    EXPECT_EQ(p.lit_count(0, 310, 320, 480), 0); // top third and the inset margin
    EXPECT_EQ(p.lit_count(0, 0, 26, 480), 0);    // left margin
    EXPECT_EQ(p.lit_count(294, 0, 320, 480), 0); // right margin
    const int inside = p.lit_count(40, 184, 280, 296);
    EXPECT_GT(inside, 240 * 112 * 3 / 4); // the tinted picture covers the box
    // The white text, scaled to the box, sits about its centre.
    const std::vector<uint8_t> row = read_pixels(32, 240, 256, 1);
    int white = 0;
    for (int x = 0; x < 256; x++)
        white += row[x * 4] > 200 && row[x * 4 + 1] > 200 && row[x * 4 + 2] > 200;
    EXPECT_GT(white, 0);

    notice_dismiss();
    frame();
    EXPECT_EQ(Pixels().lit_count(0, 0, 320, 480), 0);
}

TEST_F(Notice, OverlayShowsAboveDebugLevelTwoOnly) {
    log_threshold = 4;
    for (int i = 0; i < 12; i++)
        log_printf(LOG_INFO, "overlay line %d with some words to wrap across the width", i);

    debug_level = 2;
    frame();
    EXPECT_EQ(Pixels().lit_count(0, 0, 320, 480), 0);

    debug_level = 3;
    frame();
    const Pixels p;
    EXPECT_GT(p.lit_count(0, 400, 320, 480), 100); // the first lines hang from the top
    EXPECT_EQ(p.lit_count(0, 0, 5, 480), 0);       // left of the 2 percent inset
}

// ---- Overlay buffer -------------------------------------------------------------

TEST_F(Notice, ShortLogIsShownFromItsFirstByteToItsLastLineFeed) {
    log_overlay_draw(&screen); // log not open: empty
    EXPECT_STREQ(log_overlay_text(), "");

    log_threshold = 4;
    log_printf(LOG_INFO, "first");
    log_printf(LOG_DEBUG, "second");
    log_overlay_draw(&screen);
    const std::string text = log_text();
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(log_overlay_text(), text.substr(0, text.size() - 1));

    log_printf(LOG_WARNING, "third"); // growth is picked up at the next draw
    log_overlay_draw(&screen);
    const std::string grown = log_text();
    EXPECT_EQ(log_overlay_text(), grown.substr(0, grown.size() - 1));
}

TEST_F(Notice, LongLogIsShownFromTheFirstWholeLineInTheLastKilobyte) {
    log_threshold = 4;
    // Lines of 128 bytes: 31 bytes of level and stamp, 96 of message, the line feed.
    const std::string message(96, 'm');
    for (int i = 0; i < 8; i++)
        log_printf(LOG_INFO, "%s", message.c_str());
    ASSERT_EQ(log_size(), 1024); // also flushes the stream, so the file can be read
    log_overlay_draw(&screen);
    std::string text = log_text();
    EXPECT_EQ(log_overlay_text(), text.substr(0, 1023)); // exactly 1024: from the first byte

    log_printf(LOG_INFO, "%s", message.c_str()); // 1152: the read starts inside line 1
    log_overlay_draw(&screen);
    text = log_text();
    ASSERT_EQ(text.size(), 1152u);
    EXPECT_EQ(log_overlay_text(), text.substr(256, 1152 - 256 - 1)); // lines 3 to 9

    // Odd lengths: whatever is shown starts a line inside the last 1024 bytes,
    // is the file's tail without its final line feed, and the line before it
    // started outside the window.
    for (int i = 0; i < 30; i++)
        log_printf(LOG_DEBUG, "line %d %.*s", i, i * 7 % 50,
                   "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz");
    log_overlay_draw(&screen);
    text = log_text();
    const std::string shown = log_overlay_text();
    ASSERT_FALSE(shown.empty());
    const size_t at = text.size() - 1 - shown.size();
    EXPECT_EQ(text.substr(at), shown + "\n");
    EXPECT_EQ(text[at - 1], '\n');
    EXPECT_GE(at, text.size() - 1024);
    const size_t previous = text.rfind('\n', at - 2) + 1;
    EXPECT_LT(previous, text.size() - 1024);
}
