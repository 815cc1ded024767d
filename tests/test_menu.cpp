// Menu system: layout, highlight and key navigation, touch selection and
// release actions, the page stack and its slide, the interface sounds (heard
// through a recording sound backend), and drawing read back from a real
// 320x480 GL window, with input arriving through the real dispatch.
#include <vostrel/ui/ui_internal.h>

#include <vostrel/anim/anim_internal.h>
#include "app/app.h"
#include <vostrel/audio/audio.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include "support.h"
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>
#include <vostrel/input/input_internal.h>
#include "app/app_internal.h"

#include <GLES/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> handlers; // words handed to record_handler, in run order

void record_handler(void **data) { handlers.push_back(static_cast<const char *>(data[0])); }

MenuHandler recorder(const char *word) {
    MenuHandler h = {};
    h.function = record_handler;
    h.data[0] = const_cast<char *>(word);
    return h;
}

// Centre of slot i's resting rectangle, in menu units.
TouchEvent on_item(int i, float dx = 0.0f) {
    const Rect *r = menu_item_target(i);
    return touch_at(rect_center_x(r) + dx, rect_center_y(r));
}

void open_page(MenuPage *page) {
    MenuHandler h = menu_transition_handler(MENU_MODE_OPEN, page);
    menu_run_handler(&h);
}

void settle() { tween_update(MENU_SLIDE_SECONDS + 0.1f); }

class Menu : public ::testing::Test {
  protected:
    SoundBackend saved_backend;
    MenuPage page; // three items: 0 activates, 1 has only left/right, 2 only right
    MenuPage second;

    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        tween_init();
        saved_backend = sound_recording_begin();
        fresh_gl_state();
        font_init();
        menu_init();
        menu_close();

        memset(&page, 0, sizeof page);
        menu_set_text(page.title, "Options");
        page.item_count = 3;
        menu_set_text(page.items[0].label, "Open");
        page.items[0].on_activate = menu_transition_handler(MENU_MODE_OPEN, &second);
        menu_set_text(page.items[1].label, "Volume");
        page.items[1].on_left = recorder("1 left");
        page.items[1].on_right = recorder("1 right");
        menu_set_text(page.items[2].label, "Right");
        page.items[2].on_right = recorder("2 right");
        page.items[MENU_BACK_ITEM].on_activate = recorder("back");

        memset(&second, 0, sizeof second);
        menu_set_text(second.title, "Second");
        second.item_count = 1;
        second.items[0].on_activate = recorder("second 0");
        second.items[MENU_BACK_ITEM].on_activate = menu_transition_handler(MENU_MODE_BACK, nullptr);
        sounds_played.clear();
        handlers.clear();
    }
    void TearDown() override {
        menu_close();
        tween_shutdown();
        sound_recording_end(saved_backend);
        font_release();
        gl_release();
    }
    void open_settled(MenuPage *p) {
        open_page(p);
        settle();
        sounds_played.clear();
    }
};

// ---- Layout and the About page ----------------------------------------------

TEST_F(Menu, InitLaysOutTheRowsAndPreparesTheAboutPage) {
    const Rect *title = menu_title_rect();
    EXPECT_FLOAT_EQ(title->bottom, 66.666667f);
    EXPECT_FLOAT_EQ(title->top, 100.0f);
    EXPECT_FLOAT_EQ(menu_item_target(0)->top, 55.555556f);
    EXPECT_FLOAT_EQ(menu_item_target(0)->bottom, 33.333333f);
    EXPECT_FLOAT_EQ(menu_item_target(5)->bottom, -77.777778f);
    const Rect *back = menu_item_target(MENU_BACK_ITEM);
    EXPECT_FLOAT_EQ(back->left, -66.666667f);
    EXPECT_FLOAT_EQ(back->right, 66.666667f);
    EXPECT_FLOAT_EQ(back->bottom, -100.0f);
    EXPECT_FLOAT_EQ(back->top, -77.777778f);
    EXPECT_EQ(menu_item_rect(7), nullptr);

    // The item shape is the last thing appended; a second run appends a fresh copy.
    const int count = vertex_store_count();
    EXPECT_EQ(menu_item_shape(), count - 6);
    const float *pos = vertex_store_array(VERTEX_POSITION) + menu_item_shape() * 4;
    EXPECT_FLOAT_EQ(pos[0], -0.6f);
    EXPECT_FLOAT_EQ(pos[3 * 4 + 0], 0.6f);
    const float *tex = vertex_store_array(VERTEX_TEXCOORD) + menu_item_shape() * 4;
    EXPECT_FLOAT_EQ(tex[1], 0.5f);
    menu_init();
    EXPECT_EQ(vertex_store_count(), count + 6);
    EXPECT_EQ(menu_item_shape(), count);

    MenuPage *about = menu_about_page();
    EXPECT_STREQ(about->title, "About");
    EXPECT_EQ(about->item_count, 0);
    EXPECT_STREQ(about->items[MENU_BACK_ITEM].label, "Back");
    EXPECT_EQ(about->draw_extra.function, menu_draw_about);
    EXPECT_EQ(about->items[MENU_BACK_ITEM].on_activate.function, menu_transition);
    EXPECT_EQ(*static_cast<const int *>(about->items[MENU_BACK_ITEM].on_activate.data[0]),
              MENU_MODE_BACK);
    EXPECT_FALSE(menu_active());
}

TEST_F(Menu, GlRebuildAppendsTheShapeAndLeavesPagesAndRowsAlone) {
    open_page(menu_about_page());
    tween_update(MENU_SLIDE_SECONDS / 2.0f);
    menu_about_page()->selected = -1;
    const Rect title = *menu_title_rect();
    const Rect row = *menu_item_rect(0);
    const int count = vertex_store_count();

    menu_gl_init();
    EXPECT_EQ(vertex_store_count(), count + 6);
    EXPECT_EQ(menu_item_shape(), count);
    EXPECT_EQ(menu_current_page(), menu_about_page());
    EXPECT_EQ(menu_about_page()->selected, -1);
    EXPECT_STREQ(menu_about_page()->title, "About");
    EXPECT_TRUE(rect_equals(menu_title_rect(), &title)) << "the slide goes on";
    EXPECT_TRUE(rect_equals(menu_item_rect(0), &row));
    EXPECT_TRUE(tween_busy());
}

TEST_F(Menu, AboutPageKeepsTheBackItemHighlightedWithoutClicks) {
    open_settled(menu_about_page());
    EXPECT_TRUE(menu_active());
    EXPECT_EQ(menu_about_page()->selected, MENU_BACK_ITEM);
    menu_key(NAV_DOWN);
    EXPECT_EQ(menu_about_page()->selected, MENU_BACK_ITEM);
    menu_key(NAV_UP);
    EXPECT_EQ(menu_about_page()->selected, MENU_BACK_ITEM);
    EXPECT_TRUE(sounds_played.empty());
    // Back with an empty stack: nothing moves, only the bubble is heard.
    menu_key(NAV_BACK);
    EXPECT_EQ(menu_current_page(), menu_about_page());
    EXPECT_FALSE(tween_busy());
    EXPECT_EQ(sounds_played, std::vector<std::string>{"bubble"});
}

// ---- Keys -------------------------------------------------------------------

TEST_F(Menu, UpAndDownWrapThroughTheBackItem) {
    open_settled(&page);
    EXPECT_EQ(page.selected, 0);
    menu_key(NAV_UP); // from item 0 to the back item
    EXPECT_EQ(page.selected, MENU_BACK_ITEM);
    menu_key(NAV_UP); // from the back item to the last regular item
    EXPECT_EQ(page.selected, 2);
    menu_key(NAV_DOWN); // past the last regular item to the back item
    EXPECT_EQ(page.selected, MENU_BACK_ITEM);
    menu_key(NAV_DOWN); // from the back item round to item 0
    EXPECT_EQ(page.selected, 0);
    EXPECT_EQ(sounds_played.size(), 4u);
    page.selected = -1;
    menu_key(NAV_UP);
    EXPECT_EQ(page.selected, MENU_BACK_ITEM);
    page.selected = -1;
    menu_key(NAV_DOWN);
    EXPECT_EQ(page.selected, 0);
    EXPECT_EQ(sounds_played, std::vector<std::string>(6, "click"));
    menu_key(17); // not a navigation code
    EXPECT_EQ(sounds_played.size(), 6u);
}

TEST_F(Menu, KeysRunHandlersAndPlayTheirSounds) {
    open_settled(&page);
    page.selected = 1;
    menu_key(NAV_LEFT);
    menu_key(NAV_RIGHT);
    menu_key(NAV_SELECT); // no on_activate: on_right stands in
    menu_key(NAV_BACK);   // the back item's on_activate, whatever is highlighted
    EXPECT_EQ(handlers, (std::vector<std::string>{"1 left", "1 right", "1 right", "back"}));
    EXPECT_EQ(sounds_played, (std::vector<std::string>{"click", "click", "bubble", "bubble"}));

    // Nothing highlighted: no handler runs, the sounds still play.
    handlers.clear();
    sounds_played.clear();
    page.selected = -1;
    menu_key(NAV_SELECT);
    menu_key(NAV_LEFT);
    EXPECT_TRUE(handlers.empty());
    EXPECT_EQ(sounds_played, (std::vector<std::string>{"bubble", "click"}));
}

// ---- Touches ----------------------------------------------------------------

TEST_F(Menu, DraggingClicksOncePerChangeAndOffClearsTheHighlight) {
    open_settled(&page);
    page.selected = -1;
    menu_touch_down(on_item(1));
    menu_touch_drag(on_item(1, 5.0f));
    menu_touch_drag(on_item(2));
    menu_touch_drag(on_item(MENU_BACK_ITEM));
    EXPECT_EQ(page.selected, MENU_BACK_ITEM);
    EXPECT_EQ(sounds_played, std::vector<std::string>(3, "click"));
    // The edge shared by items 0 and 1 belongs to item 0.
    menu_touch_drag(touch_at(0.0f, menu_item_target(0)->bottom));
    EXPECT_EQ(page.selected, 0);
    // Item 3 is not in use, and x = 90 is beside every row.
    menu_touch_drag(on_item(3));
    EXPECT_EQ(page.selected, -1);
    menu_touch_drag(touch_at(90.0f, rect_center_y(menu_item_target(1))));
    EXPECT_EQ(page.selected, -1);
    sounds_played.clear();
    menu_touch_up(touch_at(90.0f, rect_center_y(menu_item_target(1))));
    EXPECT_TRUE(handlers.empty());
    EXPECT_TRUE(sounds_played.empty());
}

TEST_F(Menu, ReleaseStepsLeftOrRightOfTheCentre) {
    open_settled(&page);
    menu_touch_down(on_item(1));
    sounds_played.clear();
    menu_touch_up(on_item(1, 10.0f));
    menu_touch_up(on_item(1, -10.0f));
    menu_touch_up(on_item(1, 0.0f)); // the centre itself counts as right
    EXPECT_EQ(handlers, (std::vector<std::string>{"1 right", "1 left", "1 right"}));
    EXPECT_EQ(sounds_played, std::vector<std::string>(3, "click"));

    // Item 2 has no left handler: a release left of centre runs nothing but clicks.
    handlers.clear();
    sounds_played.clear();
    menu_touch_down(on_item(2));
    menu_touch_up(on_item(2, -10.0f));
    EXPECT_TRUE(handlers.empty());
    EXPECT_EQ(sounds_played, (std::vector<std::string>{"click", "click"}));
}

// ---- Page stack and slide -----------------------------------------------------

TEST_F(Menu, PagesStackSlideInAndIgnoreInputWhileSliding) {
    open_settled(&page);
    menu_touch_down(on_item(0));
    menu_touch_up(on_item(0)); // opens the second page
    EXPECT_EQ(menu_current_page(), &second);
    EXPECT_EQ(menu_stack_depth(), 1);
    EXPECT_EQ(second.selected, 0);
    // The title drops from above, the items come in from the left.
    EXPECT_FLOAT_EQ(menu_title_rect()->bottom, 100.0f);
    EXPECT_LE(menu_item_rect(0)->right, -100.0f);
    EXPECT_FLOAT_EQ(menu_item_rect(MENU_BACK_ITEM)->left, menu_item_target(MENU_BACK_ITEM)->left);

    sounds_played.clear();
    tween_update(0.25f);
    EXPECT_TRUE(tween_busy());
    EXPECT_FALSE(menu_ready());
    EXPECT_FALSE(menu_item_valid(MENU_BACK_ITEM));
    menu_key(NAV_DOWN);
    menu_key(NAV_SELECT);
    menu_touch_down(on_item(MENU_BACK_ITEM));
    menu_touch_up(on_item(MENU_BACK_ITEM));
    EXPECT_EQ(second.selected, 0);
    EXPECT_TRUE(sounds_played.empty());
    EXPECT_TRUE(handlers.empty());

    tween_update(0.25f);
    EXPECT_TRUE(menu_ready());
    for (int i = 0; i < MENU_ITEM_SLOTS; i++)
        EXPECT_TRUE(rect_equals(menu_item_rect(i), menu_item_target(i))) << i;

    menu_key(NAV_BACK); // back to the first page; the items come in from the right
    EXPECT_EQ(menu_current_page(), &page);
    EXPECT_EQ(menu_stack_depth(), 0);
    EXPECT_GE(menu_item_rect(0)->left, 100.0f);
    settle();
    menu_key(NAV_BACK); // the first page's own back handler; the stack stays empty
    EXPECT_EQ(handlers, std::vector<std::string>{"back"});
    EXPECT_EQ(menu_current_page(), &page);

    MenuHandler close = {menu_close_handler, {nullptr, nullptr}};
    open_settled(&second);
    EXPECT_EQ(menu_stack_depth(), 1);
    menu_run_handler(&close);
    EXPECT_FALSE(menu_active());
    EXPECT_EQ(menu_stack_depth(), 0);
}

TEST_F(Menu, TransitionsWithoutAPageOrWithAnUnknownModeChangeNothing) {
    int seven = 7;
    MenuHandler odd = {menu_transition, {&seven, &page}};
    menu_run_handler(&odd);
    EXPECT_FALSE(menu_active());
    MenuHandler none = {menu_transition, {nullptr, nullptr}}; // null mode word means open
    menu_run_handler(&none);
    EXPECT_FALSE(menu_active());
    MenuHandler open = {menu_transition, {nullptr, &page}};
    menu_run_handler(&open);
    EXPECT_EQ(menu_current_page(), &page);
    EXPECT_EQ(menu_transition_handler(3, &page).function, nullptr);
    const int sliding = tween_active_count();
    MenuHandler empty = {};
    menu_run_handler(&empty); // no function: nothing to do
    EXPECT_EQ(menu_current_page(), &page);
    EXPECT_EQ(menu_stack_depth(), 0);
    EXPECT_EQ(page.selected, 0);
    EXPECT_EQ(tween_active_count(), sliding);
    EXPECT_TRUE(handlers.empty());
    EXPECT_TRUE(sounds_played.empty());
}

TEST_F(Menu, ToggleLabelFlipsOnStepActionsAndStaysInItsBuffer) {
    char out[MENU_TEXT_SIZE + 16];
    memset(out, 'x', sizeof out);
    int flag = 0;
    menu_toggle_label(MENU_LABEL_FLIP, "Sound", out, &flag);
    EXPECT_EQ(flag, 1);
    EXPECT_STREQ(out, "Sound: On");
    menu_toggle_label(MENU_LABEL_SHOW, "Sound", out, &flag);
    EXPECT_EQ(flag, 1);
    menu_toggle_label(MENU_LABEL_FLIP_ALT, "Sound", out, &flag);
    EXPECT_STREQ(out, "Sound: Off");

    const std::string long_base(100, 'b');
    menu_toggle_label(MENU_LABEL_SHOW, long_base.c_str(), out, &flag);
    EXPECT_EQ(strlen(out), static_cast<size_t>(MENU_TEXT_SIZE - 1));
    for (size_t i = MENU_TEXT_SIZE; i < sizeof out; i++)
        EXPECT_EQ(out[i], 'x') << i;
    MenuItem item;
    menu_set_text(item.label, long_base.c_str());
    EXPECT_EQ(strlen(item.label), static_cast<size_t>(MENU_TEXT_SIZE - 1));
}

// ---- Drawing and dispatch -----------------------------------------------------

struct Pixels {
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    const uint8_t *at(int x, int y) const { return &px[(static_cast<size_t>(y) * 320 + x) * 4]; }
    // Pixels of rows y0..y1 (GL, bottom up) that pass the test.
    template <class F> int count(int y0, int y1, F test) const {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < 320; x++)
                n += test(at(x, y)) ? 1 : 0;
        return n;
    }
};

bool red(const uint8_t *p) { return p[0] > 200 && p[1] < 60 && p[2] < 60; }
bool white(const uint8_t *p) { return p[0] > 240 && p[1] > 240 && p[2] > 240; }

// GL row range of a slot on the 320x480 screen, where menu y -150..150 spans it.
int row_of(float menu_y) { return static_cast<int>((menu_y + 150.0f) / 300.0f * 480.0f); }

class MenuOnScreen : public Menu {
  protected:
    void SetUp() override {
        Menu::SetUp();
        app_init();
        input_reset();
        Rect sdl_window = {0, 320, 480, 0};
        set_screen_rect(&sdl_window);
        selected_button = nullptr;
        playing_button = nullptr;
    }
    void TearDown() override {
        input_reset();
        Menu::TearDown();
    }
    static void mouse(Uint8 type, int x, int y) {
        SDL_Event e = {};
        e.type = type;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = static_cast<Uint16>(x);
        e.button.y = static_cast<Uint16>(y);
        input_handle_mouse(&e);
    }
};

TEST_F(MenuOnScreen, AnOpenPageTakesTouchesAndIsDrawnInsteadOfTheBoard) {
    const int title_lo = row_of(66.7f), title_hi = row_of(100.0f);
    shell_draw_frame();
    EXPECT_EQ(Pixels().count(title_lo, title_hi, red), 0);

    // A press and release on the board's area go to the board while no page is open.
    mouse(SDL_MOUSEBUTTONDOWN, 160, 205);
    EXPECT_NE(selected_button, nullptr);
    selected_button = nullptr;

    open_settled(&page);
    shell_draw_frame();
    EXPECT_FLOAT_EQ(menu_input_rect.bottom, -150.0f);
    EXPECT_FLOAT_EQ(menu_input_rect.top, 150.0f);
    Pixels shot;
    EXPECT_GT(shot.count(title_lo, title_hi, red), 100);
    // The highlighted row's label is white, the others grey.
    const Rect *r0 = menu_item_target(0), *r1 = menu_item_target(1);
    EXPECT_GT(shot.count(row_of(r0->bottom) + 1, row_of(r0->top) - 1, white), 20);
    EXPECT_EQ(shot.count(row_of(r1->bottom) + 1, row_of(r1->top) - 1, white), 0);
    // Behind each row lies the grey bar (64 at alpha 222 on black, shaded by the
    // button picture), 0.8 of the row high, its pointed ends reaching to 1.2
    // times the row's width: beside the row at mid-height, not near its top.
    const int mid = row_of(rect_center_y(r1));
    const int upper = row_of(rect_center_y(r1) + 0.4f * 0.8f * rect_height(r1));
    auto column = [](float menu_x) {
        return static_cast<int>((menu_x + 100.0f) / 200.0f * 320.0f);
    };
    for (const uint8_t *p : {shot.at(column(-74.0f), mid), shot.at(column(-60.0f), upper)}) {
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[1], p[2]);
        EXPECT_GT(p[0], 30);
        EXPECT_LT(p[0], 60);
    }
    EXPECT_EQ(shot.at(column(-74.0f), upper)[0], 0);
    EXPECT_EQ(shot.at(column(-85.0f), mid)[0], 0);

    // SDL y 205 is item 1 (menu y 11.1..33.3): the menu highlights it, the board gets nothing.
    mouse(SDL_MOUSEBUTTONDOWN, 160, 205);
    EXPECT_EQ(page.selected, 1);
    EXPECT_EQ(selected_button, nullptr);
    mouse(SDL_MOUSEBUTTONUP, 250, 205); // right of the centre
    EXPECT_EQ(handlers, std::vector<std::string>{"1 right"});
    EXPECT_EQ(playing_button, nullptr);
    EXPECT_EQ(sounds_played, (std::vector<std::string>{"click", "click"}));
}

TEST_F(MenuOnScreen, AboutPageDrawsItsBoxBetweenTitleAndBackItem) {
    open_settled(menu_about_page());
    shell_draw_frame();
    Pixels shot;
    // The free area (-90..90, -71..49 in menu units) is the grey box: 64 at alpha 222 on black.
    const uint8_t *p = shot.at(160, row_of(-11.0f));
    EXPECT_NEAR(p[0], 56, 2);
    EXPECT_NEAR(p[1], 56, 2);
    EXPECT_NEAR(p[2], 56, 2);
    // Beside the box (menu x -95) nothing is drawn.
    const uint8_t *q = shot.at(8, row_of(-11.0f));
    EXPECT_EQ(q[0] + q[1] + q[2], 0);
    // The back item is highlighted, so "Back" is drawn in white.
    EXPECT_GT(shot.count(row_of(-100.0f), row_of(-77.8f), white), 20);
}

} // namespace
