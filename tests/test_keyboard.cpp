// On-screen keyboard: the default layout, typed characters and shift, edges
// and the empty corner, the magnifier's geometry, drawing read back from a
// real 320x480 GL window, and the dispatch rule that a shown keyboard takes
// touches but never navigation keys.
#include <vostrel/ui/ui_internal.h>

#include <vostrel/anim/anim_internal.h>
#include "app/app.h"
#include <vostrel/audio/audio.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include "support.h"
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>
#include <vostrel/input/input_internal.h>
#include "app/app_internal.h"

#include <GLES/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <math.h>
#include <string>
#include <vector>

namespace {

std::vector<int> typed;
void record_char(int c) { typed.push_back(c); }

const Rect screen = {0, 320, 0, 480};

// A press and release at (x, y) in keyboard units (the lens-off drawing space).
void tap(float x, float y) {
    keyboard_touch_down(touch_at(x, y));
    keyboard_touch_up(touch_at(x, y));
}

class KeyboardTest : public ::testing::Test {
  protected:
    SoundBackend saved_backend;
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        tween_init();
        saved_backend = sound_recording_begin();
        fresh_gl_state();
        font_init();
        keyboard_build_default();
        keyboard_set_shift(0);
        keyboard_show(record_char);
        keyboard_touch_up(TouchEvent{}); // lifts a finger an earlier test left down: lens off
        draw(); // places the keyboard: its rectangle becomes the layout bounds
        typed.clear();
        sounds_played.clear();
    }
    void TearDown() override {
        keyboard_hide();
        menu_close();
        tween_shutdown();
        sound_recording_end(saved_backend);
        font_release();
        gl_release();
    }
    static void draw() {
        gl_set_viewport(&screen);
        frame_begin(&screen);
        keyboard_draw(&screen);
    }
};

TEST_F(KeyboardTest, DefaultLayoutHasItsKeysAndBounds) {
    const Keyboard *kb = keyboard_get();
    ASSERT_NE(kb, nullptr);
    EXPECT_STREQ(kb->name, "default");
    EXPECT_EQ(kb->layout_count, 1);
    EXPECT_EQ(kb->current_layout, 0);
    const KeyboardLayout *layout = keyboard_layout();
    ASSERT_EQ(layout->key_count, 33);
    const Rect bounds = {-5, 5, -2, 2};
    EXPECT_TRUE(rect_equals(&layout->bounds, &bounds));
    EXPECT_TRUE(rect_equals(&kb->bounds, &bounds));
    EXPECT_EQ(layout->keys[0].lower, 'q');
    EXPECT_EQ(layout->keys[9].upper, 'P');
    EXPECT_EQ(layout->keys[27].upper, '>');
    const Rect ret = {4, 5, -1, 1};
    EXPECT_EQ(layout->keys[29].lower, KEY_RETURN);
    EXPECT_TRUE(rect_equals(&layout->keys[29].rect, &ret));
    // Rebuilding starts from a clear keyboard: still one layout of 33 keys.
    keyboard_build_default();
    keyboard_layout_init();
    EXPECT_EQ(keyboard_get()->layout_count, 1);
    EXPECT_EQ(keyboard_layout()->key_count, 33);
}

TEST_F(KeyboardTest, KeysDeliverLowerOrUpperUntilShiftIsReleasedAgain) {
    tap(-4.5f, 0.5f); // a
    EXPECT_EQ(keyboard_lens_active(), 0);
    EXPECT_EQ(keyboard_pressed_key(), nullptr);
    tap(-4.5f, -1.5f); // shift: toggles, delivers nothing
    EXPECT_EQ(keyboard_shift_on(), 1);
    tap(-4.5f, 0.5f);
    tap(-3.5f, 0.5f);  // s, still shifted
    tap(2.5f, -0.5f);  // comma key: "<" when shifted
    tap(-3.0f, -1.5f); // the wide "<" key
    tap(-4.5f, -1.5f);
    EXPECT_EQ(keyboard_shift_on(), 0);
    tap(2.5f, -0.5f);
    tap(-3.0f, -1.5f);
    tap(0.0f, -1.5f); // space
    tap(4.5f, 0.0f);  // Return
    EXPECT_EQ(typed, (std::vector<int>{'a', 'A', 'S', '<', '<', ',', '<', ' ', 13}));
    // Shift survives hiding and showing.
    tap(-4.5f, -1.5f);
    keyboard_hide();
    keyboard_show(record_char);
    EXPECT_EQ(keyboard_shift_on(), 1);
}

TEST_F(KeyboardTest, EdgesGoToTheEarlierKeyAndTheCornerHasNoKey) {
    keyboard_touch_down(touch_at(-4.0f, 1.5f)); // edge of q and w
    ASSERT_NE(keyboard_pressed_key(), nullptr);
    EXPECT_EQ(keyboard_pressed_key()->lower, 'q');
    EXPECT_EQ(keyboard_lens_active(), 1);
    keyboard_touch_drag(touch_at(4.5f, -1.5f)); // right of ">", under Return
    EXPECT_EQ(keyboard_pressed_key(), nullptr);
    EXPECT_EQ(keyboard_lens_active(), 1);
    keyboard_touch_up(touch_at(4.5f, -1.5f));
    keyboard_touch_down(touch_at(0.0f, 3.0f)); // above the keyboard: lens off
    EXPECT_EQ(keyboard_lens_active(), 0);
    keyboard_touch_up(touch_at(0.0f, 3.0f));
    EXPECT_TRUE(typed.empty());

    // A touch without points is ignored: it would otherwise be read at (0, 0),
    // inside the keyboard on "g".
    keyboard_touch_down(TouchEvent{});
    EXPECT_EQ(keyboard_lens_active(), 0);
    EXPECT_EQ(keyboard_pressed_key(), nullptr);
    keyboard_touch_down(touch_at(-4.5f, 1.5f));
    const Key *q = keyboard_pressed_key();
    ASSERT_NE(q, nullptr);
    keyboard_touch_drag(TouchEvent{});
    EXPECT_EQ(keyboard_pressed_key(), q);
    EXPECT_EQ(keyboard_lens_active(), 1);
    keyboard_touch_down(TouchEvent{});
    EXPECT_EQ(keyboard_pressed_key(), q);
    EXPECT_EQ(keyboard_lens_active(), 1);
}

TEST_F(KeyboardTest, WithoutACallbackNothingIsDeliveredAndShiftStays) {
    keyboard_show(nullptr);
    keyboard_touch_down(touch_at(-4.5f, -1.5f));
    EXPECT_NE(keyboard_pressed_key(), nullptr);
    keyboard_touch_up(touch_at(-4.5f, -1.5f));
    EXPECT_EQ(keyboard_shift_on(), 0);
    EXPECT_EQ(keyboard_pressed_key(), nullptr);
    EXPECT_EQ(keyboard_lens_active(), 0);
    EXPECT_TRUE(typed.empty());
}

TEST_F(KeyboardTest, MagnifierScalesAndIntegratesConsistently) {
    EXPECT_NEAR(keyboard_lens_scale(1.0f, -5, 5, 1.0f), 2.0 * sqrt(2.0) - 2.0, 1e-9);
    EXPECT_NEAR(keyboard_lens_scale(5.0f, -5, 5, -5.0f), 0.0, 1e-9);
    // F(b) - F(a) is the area under the scale: compare with a fine trapezoid sum.
    const float c = 1.3f;
    double sum = 0.0;
    const int n = 10000;
    for (int i = 0; i < n; i++) {
        const float a = -5.0f + 10.0f * i / n, b = -5.0f + 10.0f * (i + 1) / n;
        sum += (keyboard_lens_scale(a, -5, 5, c) + keyboard_lens_scale(b, -5, 5, c)) / 2 * (b - a);
    }
    EXPECT_NEAR(keyboard_lens_integral(5, -5, 5, c) - keyboard_lens_integral(-5, -5, 5, c), sum,
                1e-4);

    // With a finger down at the centre the keyboard is drawn at its magnified extent,
    // and a drag is mapped back through that extent.
    keyboard_touch_down(touch_at(0.0f, 0.0f));
    draw();
    const Rect *drawn = keyboard_drawn_rect();
    const double width = keyboard_lens_integral(5, -5, 5, 0) - keyboard_lens_integral(-5, -5, 5, 0);
    const double height =
        keyboard_lens_integral(2, -2, 2, 0) - keyboard_lens_integral(-2, -2, 2, 0);
    EXPECT_FLOAT_EQ(drawn->left, 0.0f);
    EXPECT_NEAR(drawn->right, width, 1e-5);
    EXPECT_NEAR(drawn->top, height, 1e-5);
    EXPECT_NEAR(keyboard_input_rect.top, 2.0 * height, 1e-5);
    keyboard_touch_drag(
        touch_at(drawn->right * 0.05f, drawn->top * 0.875f)); // q: 5% across, 87.5% up
    ASSERT_NE(keyboard_pressed_key(), nullptr);
    EXPECT_EQ(keyboard_pressed_key()->lower, 'q');
    keyboard_touch_up(touch_at(drawn->right * 0.05f, drawn->top * 0.875f));
    EXPECT_EQ(typed, std::vector<int>{'q'});
    draw();
    const Rect bounds = {-5, 5, -2, 2};
    EXPECT_TRUE(rect_equals(keyboard_drawn_rect(), &bounds));
}

TEST_F(KeyboardTest, MagnifierDrawsTheKeyUnderTheFingerLarger) {
    // Finger on "w" (-4..-3, 1..2); lens off, a key is 32 x 60 pixels.
    const float fx = -3.5f, fy = 1.5f;
    keyboard_touch_down(touch_at(fx, fy));
    ASSERT_NE(keyboard_pressed_key(), nullptr);
    ASSERT_EQ(keyboard_pressed_key()->lower, 'w');
    glClearColor(0, 0, 0, 1);
    draw();
    const Rect *drawn = keyboard_drawn_rect();
    // Pixels per unit of the magnified drawing space, which fills the screen
    // (the keyboard the lower half), and where and how large "w" should be.
    const double ppx = 320.0 / drawn->right, ppy = 240.0 / drawn->top;
    const double cx =
        (keyboard_lens_integral(fx, -5, 5, fx) - keyboard_lens_integral(-5, -5, 5, fx)) * ppx;
    const double cy =
        (keyboard_lens_integral(fy, -2, 2, fy) - keyboard_lens_integral(-2, -2, 2, fy)) * ppy;
    const double w = keyboard_lens_scale(fx, -5, 5, fx) * ppx;
    const double h = keyboard_lens_scale(fy, -2, 2, fy) * ppy;
    ASSERT_GT(w, 32.0 * 1.25);
    ASSERT_GT(h, 60.0 * 1.25);

    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    // The pressed key's face (fill 128 on the key picture) is brighter than
    // the other faces and the backing (about 56).
    auto lit = [&](int x, int y) {
        return x >= 0 && x < 320 && y >= 0 && y < 480 &&
               px[(static_cast<size_t>(y) * 320 + x) * 4] > 80;
    };
    // Lit pixels from (x, y) on in direction (dx, dy), (x, y) included.
    auto reach = [&](int x, int y, int dx, int dy) {
        int n = 0;
        for (; lit(x, y); x += dx, y += dy)
            n++;
        return n;
    };
    // From the key's place outwards through points clear of the label (across
    // above it, down and up left of it), each half is half the scaled size.
    // Halves are measured apart because keys drawn later, right of and below
    // it, would cover the overflow of a key drawn too large. The picture's rim
    // is darker than the threshold.
    const int x0 = static_cast<int>(lround(cx)), y0 = static_cast<int>(lround(cy));
    const int above = static_cast<int>(lround(cy + 0.35 * h));
    const int beside = static_cast<int>(lround(cx - 0.35 * w));
    const int half[4] = {reach(x0, above, -1, 0), reach(x0, above, 1, 0), reach(beside, y0, 0, -1),
                         reach(beside, y0, 0, 1)};
    const double want[4] = {w / 2, w / 2, h / 2, h / 2};
    for (int i = 0; i < 4; i++) {
        EXPECT_GE(half[i], want[i] - 3.0) << i;
        EXPECT_LE(half[i], want[i] + 1.5) << i;
    }
    keyboard_touch_up(touch_at(fx, fy));
}

TEST_F(KeyboardTest, DrawsOverTheLowerHalf) {
    glClearColor(0, 0, 0, 1);
    draw();
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    auto at = [&](int x, int y) { return &px[(static_cast<size_t>(y) * 320 + x) * 4]; };
    int lit_above = 0, lit_below = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 320; x++) {
            const uint8_t *p = at(x, y);
            const int sum = p[0] + p[1] + p[2];
            (y < 240 ? lit_below : lit_above) += sum > 0 ? 1 : 0;
        }
    EXPECT_EQ(lit_above, 0);
    EXPECT_GT(lit_below, 320 * 240 * 9 / 10); // backing and keys (the key picture has dark seams)
    // The empty corner right of ">" shows only the backing: 64 at alpha 222 on black.
    const uint8_t *corner = at(304, 30);
    EXPECT_NEAR(corner[0], 56, 2);
    EXPECT_NEAR(corner[2], 56, 2);
    // Keys are 32 x 60 pixels: the centre of "a" differs from the bare backing.
    const uint8_t *key_a = at(16, 150);
    EXPECT_NE(key_a[0], corner[0]);
}

TEST_F(KeyboardTest, ShownKeyboardTakesTouchesButNotKeys) {
    app_init();
    input_reset();
    Rect sdl_window = {0, 320, 480, 0};
    set_screen_rect(&sdl_window);
    draw();
    selected_button = nullptr;
    playing_button = nullptr;
    menu_init();
    MenuHandler open = menu_transition_handler(MENU_MODE_OPEN, menu_about_page());
    menu_run_handler(&open);
    tween_update(1.0f);
    sounds_played.clear();

    // "a" is at keyboard (-4.5, 0.5): SDL x = 0.5 * 32, y = 480 - 2.5 * 60.
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 16;
    e.button.y = 330;
    input_handle_mouse(&e);
    e.type = SDL_MOUSEBUTTONUP;
    input_handle_mouse(&e);
    EXPECT_EQ(typed, std::vector<int>{'a'});
    EXPECT_EQ(selected_button, nullptr);
    EXPECT_EQ(menu_about_page()->selected, MENU_BACK_ITEM);
    EXPECT_TRUE(sounds_played.empty()); // the menu saw no touch

    input_key(NAV_BACK); // keys go to the menu
    EXPECT_EQ(sounds_played, std::vector<std::string>{"bubble"});
    EXPECT_EQ(typed.size(), 1u);
    input_reset();
}

} // namespace
