// The "picture changed" rule, without SDL or GL: when the cached picture is
// drawn anew, and which turns present a frame with power saving on.
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell_internal.h>

#include <gtest/gtest.h>

namespace {

PictureKey key_of(int width, int height) {
    PictureKey k = {};
    k.viewport[2] = width;
    k.viewport[3] = height;
    k.screen = {0.0f, 320.0f, 0.0f, 480.0f};
    return k;
}

int presented_in(int turns) {
    int n = 0;
    for (int i = 0; i < turns; i++)
        n += shell_present_due();
    return n;
}

TEST(PictureRule, ThePictureIsDrawnAnewOnlyWhenMarkedForgottenOrDrawnForAnotherPlace) {
    picture_cache_reset(0);
    const PictureKey board = key_of(320, 480);
    EXPECT_EQ(picture_redraw_due(&board), 1); // nothing cached yet
    EXPECT_EQ(picture_redraw_due(&board), 0);
    EXPECT_EQ(picture_redraw_due(&board), 0);
    picture_changed();
    picture_changed(); // two marks, one redraw
    EXPECT_EQ(picture_redraw_due(&board), 1);
    EXPECT_EQ(picture_redraw_due(&board), 0);
    frame_changed(); // a notice or an overlay: the cached picture stays good
    EXPECT_EQ(picture_redraw_due(&board), 0);
    PictureKey moved = board;
    moved.viewport[0] = 160; // a centred viewport on a wider window
    EXPECT_EQ(picture_redraw_due(&moved), 1);
    EXPECT_EQ(picture_redraw_due(&moved), 0);
    PictureKey other_screen = moved;
    other_screen.screen.top = 600.0f;
    EXPECT_EQ(picture_redraw_due(&other_screen), 1);
    picture_cache_reset(0); // a new context: the texture is gone
    EXPECT_EQ(picture_redraw_due(&other_screen), 1);
}

TEST(PictureRule, AChangePresentsItsFrameAndTheSwapChainsTwoMoreThenNothing) {
    picture_cache_reset(0);
    presented_in(100); // whatever an earlier test left going out
    picture_cache_reset(0);
    EXPECT_EQ(presented_in(1), 1) << "the first frame is due";
    EXPECT_EQ(presented_in(500), 2) << "then the two a double-buffered swap needs, then none";
    picture_changed();
    EXPECT_EQ(presented_in(3), 3);
    EXPECT_EQ(presented_in(100), 0);
    frame_changed();
    EXPECT_EQ(presented_in(2), 2);
    frame_changed(); // a change while the last ones are still going out starts the count again
    EXPECT_EQ(presented_in(100), 3);
    picture_cache_reset(0);
    EXPECT_EQ(presented_in(100), 3);
}

} // namespace
