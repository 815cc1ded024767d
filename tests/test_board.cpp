// The soundboard's own rules: grid shape, layout, sort order, picking and the
// stop-then-play sequence, with the sound backend replaced by a table that
// records which button's sound was stopped or played.
#include "app/app.h"
#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>
#include "app/app_internal.h"
#include "support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;

std::string caption_of(SoundRecord *rec) {
    auto *b = reinterpret_cast<BoardButton *>(reinterpret_cast<char *>(rec) -
                                              offsetof(BoardButton, sound));
    return b->caption;
}
int record_play(SoundRecord *rec, const float *, int loop) {
    calls.push_back("play " + caption_of(rec) + (loop ? " looping" : ""));
    return 1;
}
int record_stop(SoundRecord *rec) {
    calls.push_back("stop " + caption_of(rec));
    return 1;
}

class Board : public ::testing::Test {
  protected:
    SoundBackend saved;
    Rect screen = {0, 320, 0, 480};
    void SetUp() override {
        saved = sound_backend;
        sound_backend = SoundBackend{};
        sound_backend.play = record_play;
        sound_backend.stop = record_stop;
        app_init();
        app_layout(&screen);
        calls.clear();
    }
    void TearDown() override { sound_backend = saved; }
    // Screen point (y up) at the centre of display slot k.
    TouchEvent slot(int k) { return touch_at(40.0f + 80 * (k % 4), 400.0f - 80 * (k / 4)); }
};

TEST(BoardGrid, ShapeFollowsTheAspect) {
    int c = 0, r = 0;
    Rect portrait = {0, 320, 0, 480};
    board_grid_size(&portrait, 20, &c, &r);
    EXPECT_EQ(c, 4);
    EXPECT_EQ(r, 5);
    Rect landscape = {0, 480, 0, 320};
    board_grid_size(&landscape, 20, &c, &r);
    EXPECT_EQ(c, 6);
    EXPECT_EQ(r, 4);
    Rect square = {0, 100, 0, 100};
    board_grid_size(&square, 20, &c, &r); // 4x5 and 5x4 are 0.2 and 0.25 away
    EXPECT_EQ(c, 4);
    EXPECT_EQ(r, 5);
    board_grid_size(&square, 1, &c, &r);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(r, 1);
}

TEST_F(Board, LayoutGivesSquareCellsInReadingOrder) {
    Rect expected_grid = {0, 4, -0.5f, 5.5f};
    EXPECT_TRUE(rect_equals(&grid_rect, &expected_grid));
    Rect top_left = {0, 1, 4, 5}, top_right = {3, 4, 4, 5}, bottom_right = {3, 4, 0, 1};
    EXPECT_TRUE(rect_equals(&buttons[0].cell, &top_left));
    EXPECT_TRUE(rect_equals(&buttons[3].cell, &top_right));
    EXPECT_TRUE(rect_equals(&buttons[19].cell, &bottom_right));
    // Landscape: 6 x 4, the last row holds only buttons 18 and 19.
    Rect wide = {0, 480, 0, 320};
    app_layout(&wide);
    Rect b18 = {0, 1, 0, 1}, b19 = {1, 2, 0, 1}, b5 = {5, 6, 3, 4};
    EXPECT_TRUE(rect_equals(&buttons[18].cell, &b18));
    EXPECT_TRUE(rect_equals(&buttons[19].cell, &b19));
    EXPECT_TRUE(rect_equals(&buttons[5].cell, &b5));
}

TEST_F(Board, ButtonsAreSortedByRawBytesAndKeepTheirClips) {
    for (int i = 1; i < BOARD_BUTTONS; i++)
        EXPECT_LT(strcmp(buttons[i - 1].caption, buttons[i].caption), 0) << i;
    for (int i = 0; i < BOARD_BUTTONS; i++) {
        const BoardButton &b = buttons[i];
        int k = 0;
        while (k < BOARD_BUTTONS && strcmp(board_captions[k], b.caption) != 0)
            k++;
        ASSERT_LT(k, BOARD_BUTTONS) << b.caption;
        EXPECT_EQ(b.clip, board_clips[k]) << b.caption;
    }
}

TEST_F(Board, PickSelectsTheCellUnderTheFinger) {
    board_pick(slot(6));
    EXPECT_EQ(selected_button, &buttons[6]);
    // x = 80 is the edge shared by columns 0 and 1: the later button wins.
    board_pick(touch_at(80, 400));
    EXPECT_EQ(selected_button, &buttons[1]);
    // The bands above and below the grid select nothing.
    board_pick(touch_at(160, 470));
    EXPECT_EQ(selected_button, nullptr);
    board_pick(touch_at(160, 10));
    EXPECT_EQ(selected_button, nullptr);
}

TEST_F(Board, ReleaseStopsTheLastClipAndPlaysTheSelection) {
    std::string a = buttons[2].caption, b = buttons[9].caption;
    app_touch_down(slot(2));
    app_touch_up(slot(2));
    EXPECT_EQ(calls, (std::vector<std::string>{"play " + a}));
    EXPECT_EQ(playing_button, &buttons[2]);
    EXPECT_EQ(selected_button, nullptr);

    app_touch_down(slot(5));
    app_touch_drag(slot(9)); // dragged onto a neighbour: the neighbour plays
    app_touch_up(slot(9));
    EXPECT_EQ(calls, (std::vector<std::string>{"play " + a, "stop " + a, "play " + b}));

    calls.clear();
    app_touch_down(slot(9)); // the playing button again: restarted
    app_touch_up(slot(9));
    EXPECT_EQ(calls, (std::vector<std::string>{"stop " + b, "play " + b}));

    calls.clear();
    app_touch_down(slot(3));
    app_touch_drag(touch_at(160, 470)); // off the grid
    app_touch_up(touch_at(160, 470));
    app_touch_up(slot(3)); // a release with nothing selected
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(playing_button, &buttons[9]);
}

TEST_F(Board, MouseEventsReachTheBoardThroughDispatch) {
    input_reset();
    Rect window = {0, 320, 480, 0}; // SDL's top-down window
    set_screen_rect(&window);
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 100; // column 1
    e.button.y = 50;  // first row (the band is 0..40)
    input_handle_mouse(&e);
    EXPECT_EQ(selected_button, &buttons[1]);
    e.type = SDL_MOUSEBUTTONUP;
    input_handle_mouse(&e);
    EXPECT_EQ(calls, (std::vector<std::string>{"play " + std::string(buttons[1].caption)}));
}

// An appended board with the options overlap and stop: a tap restarts only
// its own clip, the "Stop" button (after the sorted sounds) stops every
// clip, and a tap on a playing loop stops it instead of restarting it.
std::vector<std::string> sounding; // captions the fake backend reports as playing
int record_is_playing(SoundRecord *rec) {
    for (const std::string &c : sounding)
        if (c == caption_of(rec)) return 1;
    return 0;
}

TEST_F(Board, OverlapRestartsOnlyItsOwnClipAndStopStopsEveryClip) {
    static PayloadBoard p;
    memset(&p, 0, sizeof p);
    p.overlap = 1;
    p.stop = 1;
    p.count = 3;
    const char *captions[] = {"c", "a", "b"};
    for (int k = 0; k < 3; k++) {
        snprintf(p.sounds[k].caption, sizeof p.sounds[k].caption, "%s", captions[k]);
        p.sounds[k].volume = 100;
    }
    p.sounds[2].loop = 1; // "b"
    board_payload = &p;
    sound_backend.is_playing = record_is_playing;
    sounding.clear();
    app_init();
    app_layout(&screen);
    calls.clear();
    ASSERT_EQ(board_button_count(), 4);
    EXPECT_STREQ(buttons[3].caption, "Stop") << "last, after the sorted sounds";

    board_press(&buttons[0]); // a
    board_press(&buttons[2]); // c: a goes on
    board_press(&buttons[0]); // a again: only a restarts
    EXPECT_EQ(calls, (std::vector<std::string>{"stop a", "play a", "stop c", "play c", "stop a",
                                               "play a"}));
    calls.clear();
    board_press(&buttons[3]);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop a", "stop b", "stop c"}));
    EXPECT_EQ(playing_button, nullptr);

    calls.clear();
    board_press(&buttons[1]); // the loop, not playing: started looping
    sounding = {"b"};
    board_press(&buttons[1]); // playing: stopped, not restarted
    EXPECT_EQ(calls, (std::vector<std::string>{"stop b", "play b looping", "stop b"}));

    board_payload = nullptr;
    app_init();
}

} // namespace
