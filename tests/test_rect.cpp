// Tests for rectangles and coordinate mapping.
#include <vostrel/input/input.h>
#include <vostrel/math/maths.h>

#include <gtest/gtest.h>

#include <math.h>

namespace {

const Rect SCREEN = {0, 320, 0, 480};
const Rect UNIT = {0, 1, 0, 1};

void expect_rect(const Rect &r, float l, float rt, float b, float t) {
    EXPECT_FLOAT_EQ(r.left, l);
    EXPECT_FLOAT_EQ(r.right, rt);
    EXPECT_FLOAT_EQ(r.bottom, b);
    EXPECT_FLOAT_EQ(r.top, t);
}

TEST(Remap, LinearWithoutClampingAndDegenerateSource) {
    EXPECT_FLOAT_EQ(remap(5, 0, 10, 100, 200), 150);
    EXPECT_FLOAT_EQ(remap(20, 0, 10, 100, 200), 300) << "no clamping";
    EXPECT_FLOAT_EQ(remap(-10, 0, 10, 100, 200), 0);
    EXPECT_FLOAT_EQ(remap(2, 0, 10, 1, 0), 0.8f) << "reversed target";
    EXPECT_EQ(remap(3, 7, 7, 11, 99), 11) << "a0 == a1 gives b0";
    EXPECT_EQ(remap(NAN, 7, 7, 11, 99), 11);
    EXPECT_EQ(remap(-1e30f, 0, 0, -4, 4), -4);
}

TEST(RectMap, PointsDeltasAndMirrors) {
    float x = 160, y = 240;
    rect_map_point(&SCREEN, &UNIT, &x, &y);
    EXPECT_FLOAT_EQ(x, 0.5f);
    EXPECT_FLOAT_EQ(y, 0.5f);
    x = 320, y = 480;
    rect_map_point(&SCREEN, &UNIT, &x, &y);
    EXPECT_FLOAT_EQ(x, 1);
    EXPECT_FLOAT_EQ(y, 1);
    x = 0, y = 0;
    rect_map_point(&SCREEN, &UNIT, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    const Rect mirrored = {1, 0, 0, 1};
    x = 80, y = 120;
    rect_map_point(&SCREEN, &mirrored, &x, &y);
    EXPECT_FLOAT_EQ(x, 0.75f);
    EXPECT_FLOAT_EQ(y, 0.25f);

    float dx = 32, dy = -48;
    rect_map_delta(&SCREEN, &UNIT, &dx, &dy);
    EXPECT_FLOAT_EQ(dx, 0.1f);
    EXPECT_FLOAT_EQ(dy, -0.1f);
    // Position does not matter for a displacement.
    Rect moved_src = SCREEN, moved_dst = UNIT;
    rect_translate(&moved_src, 1000, -77);
    rect_translate(&moved_dst, -5, 5);
    dx = 32, dy = -48;
    rect_map_delta(&moved_src, &moved_dst, &dx, &dy);
    EXPECT_FLOAT_EQ(dx, 0.1f);
    EXPECT_FLOAT_EQ(dy, -0.1f);
    // Mirrored destination flips the sign; a zero-width source gives -wd.
    dx = 32, dy = 48;
    rect_map_delta(&SCREEN, &mirrored, &dx, &dy);
    EXPECT_FLOAT_EQ(dx, -0.1f);
    EXPECT_FLOAT_EQ(dy, 0.1f);
    const Rect flat = {5, 5, 0, 0};
    dx = 3, dy = 3;
    rect_map_delta(&flat, &SCREEN, &dx, &dy);
    EXPECT_EQ(dx, -320);
    EXPECT_EQ(dy, -480);
}

TEST(RectContains, EdgesCornersNaNAndInvertedRectangles) {
    const Rect r = {10, 20, 30, 40};
    for (float x : {10.0f, 15.0f, 20.0f})
        for (float y : {30.0f, 35.0f, 40.0f})
            EXPECT_TRUE(rect_contains(&r, x, y)) << x << "," << y;
    EXPECT_FALSE(rect_contains(&r, nextafterf(10, 0), 35));
    EXPECT_FALSE(rect_contains(&r, nextafterf(20, 100), 35));
    EXPECT_FALSE(rect_contains(&r, 15, nextafterf(30, 0)));
    EXPECT_FALSE(rect_contains(&r, 15, nextafterf(40, 100)));
    EXPECT_FALSE(rect_contains(&r, NAN, 35));
    EXPECT_FALSE(rect_contains(&r, 15, NAN));
    const Rect nan_edge = {NAN, 20, 30, 40};
    EXPECT_FALSE(rect_contains(&nan_edge, 15, 35));

    const Rect inverted = {20, 10, 30, 40};
    for (float x : {5.0f, 10.0f, 15.0f, 20.0f, 25.0f})
        EXPECT_FALSE(rect_contains(&inverted, x, 35)) << x;
    const Rect upside = {10, 20, 40, 30};
    EXPECT_FALSE(rect_contains(&upside, 15, 35));
}

TEST(RectBasics, SizeCentreAspectEqualityTranslate) {
    const Rect mirrored = {320, 0, 480, 0};
    EXPECT_EQ(rect_width(&SCREEN), 320);
    EXPECT_EQ(rect_height(&mirrored), -480) << "signed";
    float cx, cy;
    rect_center(&SCREEN, &cx, &cy);
    EXPECT_EQ(cx, 160);
    EXPECT_EQ(cy, 240);
    rect_center(&mirrored, &cx, &cy);
    EXPECT_EQ(cx, 160);
    EXPECT_EQ(cy, 240);

    EXPECT_FLOAT_EQ(rect_aspect(&SCREEN), 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(rect_aspect(&mirrored), 2.0f / 3.0f) << "absolute value";
    const Rect flat = {0, 320, 5, 5};
    EXPECT_EQ(rect_aspect(&flat), 0);

    Rect r = SCREEN;
    EXPECT_TRUE(rect_equals(&r, &SCREEN));
    rect_translate(&r, 10, -20);
    expect_rect(r, 10, 330, -20, 460);
    EXPECT_FALSE(rect_equals(&r, &SCREEN));
    const Rect with_nan = {NAN, 1, 0, 1};
    EXPECT_FALSE(rect_equals(&with_nan, &with_nan));
}

TEST(RectAspect, InsetGrowAndShrink) {
    Rect r = SCREEN;
    rect_inset_percent(&r, 2);
    expect_rect(r, 6.4f, 313.6f, 9.6f, 470.4f);
    r = {0, 100, 0, 100};
    rect_inset_percent(&r, -10);
    expect_rect(r, -10, 110, -10, 110);

    r = {-0.5f, 0.5f, -0.5f, 0.5f};
    rect_grow_to_aspect(&SCREEN, &r);
    expect_rect(r, -0.5f, 0.5f, -0.75f, 0.75f);

    const Rect landscape = {0, 480, 0, 320};
    r = {-0.5f, 0.5f, -0.5f, 0.5f};
    rect_grow_to_aspect(&landscape, &r);
    expect_rect(r, -0.75f, 0.75f, -0.5f, 0.5f);

    r = {-0.5f, 0.5f, -0.5f, 0.5f};
    rect_shrink_to_aspect(&SCREEN, &r);
    expect_rect(r, -1.0f / 3.0f, 1.0f / 3.0f, -0.5f, 0.5f);
    r = {-0.5f, 0.5f, -0.5f, 0.5f};
    rect_shrink_to_aspect(&landscape, &r);
    expect_rect(r, -0.5f, 0.5f, -1.0f / 3.0f, 1.0f / 3.0f);

    // The grid: 4 x 5 cells grown to the screen keep their centre and reach its aspect.
    r = {0, 4, 0, 5};
    rect_grow_to_aspect(&SCREEN, &r);
    EXPECT_FLOAT_EQ(rect_aspect(&r), rect_aspect(&SCREEN));
    EXPECT_FLOAT_EQ(rect_center_x(&r), 2);
    EXPECT_FLOAT_EQ(rect_center_y(&r), 2.5f);
    EXPECT_FLOAT_EQ(rect_height(&r), 6);

    // A reference of aspect 0 (zero height or zero width) changes nothing.
    for (Rect ref : {Rect{0, 320, 5, 5}, Rect{7, 7, 0, 480}}) {
        Rect before = {1, 2, 3, 5}, g = before, s = before;
        rect_grow_to_aspect(&ref, &g);
        rect_shrink_to_aspect(&ref, &s);
        EXPECT_TRUE(rect_equals(&g, &before));
        EXPECT_TRUE(rect_equals(&s, &before));
    }
}

} // namespace
