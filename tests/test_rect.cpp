// Tests for rectangles and coordinate mapping, the scalar and vector helpers,
// and the thread, lock and sleep wrappers.
#include <vostrel/input/input.h>
#include <vostrel/math/maths.h>
#include <vostrel/threads/threads.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(Scalar, RemapClampedAndRounding) {
    EXPECT_FLOAT_EQ(remap_clamped(30, 10, 20, 0, 100), 100);
    EXPECT_FLOAT_EQ(remap_clamped(5, 10, 20, 0, 100), 0);
    EXPECT_FLOAT_EQ(remap_clamped(15, 10, 20, 0, 100), 50);
    EXPECT_FLOAT_EQ(remap_clamped(NAN, 10, 20, 0, 100), 100) << "NaN becomes in_hi";
    for (float v : {-100.0f, 15.0f, 100.0f})
        EXPECT_FLOAT_EQ(remap_clamped(v, 20, 10, 0, 100), 0) << "in_lo > in_hi: always in_lo";

    EXPECT_EQ(round_to_int(2.5f), 3);
    EXPECT_EQ(round_to_int(-2.5f), -3);
    EXPECT_EQ(round_to_int(2.4999f), 2);
    EXPECT_EQ(round_to_int(-0.4f), 0);
    EXPECT_EQ(round_to_int(0.0f), 0);
    EXPECT_EQ(round_to_int(-0.5f), -1);
    EXPECT_EQ(round_to_int(479.5f), 480);
}

TEST(Vectors, DotCrossLengthAngleDistance) {
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, zero[3] = {0, 0, 0};
    float out[3] = {9, 9, 9};
    vec3_cross(x, y, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 1);
    vec3_cross(y, x, out);
    EXPECT_EQ(out[2], -1);
    const float a[3] = {2, 3, 4}, b[3] = {5, 6, 7};
    vec3_cross(a, b, out);
    EXPECT_EQ(out[0], -3);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], -3);
    EXPECT_EQ(vec3_dot(a, b), 56);

    const float v[3] = {3, 4, 12};
    EXPECT_FLOAT_EQ(vec3_length(v), 13);

    EXPECT_EQ(vec3_angle(zero, x), 0);
    EXPECT_EQ(vec3_angle(x, zero), 0);
    EXPECT_FLOAT_EQ(vec3_angle(x, y), static_cast<float>(M_PI / 2));
    const float minus_x[3] = {-3, 0, 0};
    EXPECT_FLOAT_EQ(vec3_angle(x, minus_x), static_cast<float>(M_PI));
    EXPECT_FLOAT_EQ(vec3_angle(v, v), 0.0f);

    const float p[3] = {0, 0, 5}, q[3] = {3, 4, -7};
    EXPECT_FLOAT_EQ(vec_distance(p, q, 2), 5) << "n = 2 ignores z";
    EXPECT_FLOAT_EQ(vec_distance(p, q, 3), 13);
    EXPECT_EQ(vec_distance(p, q, 0), 0);
    EXPECT_EQ(vec3_zero[0], 0);
    EXPECT_EQ(vec3_zero[1], 0);
    EXPECT_EQ(vec3_zero[2], 0);
}

// ---- threads ----

void *set_flag(void *arg) {
    static_cast<std::atomic<int> *>(arg)->store(1);
    return nullptr;
}

TEST(Threads, JoinableAndDetachedThreadsRun) {
    std::atomic<int> flag{0};
    ThreadHandle t = nullptr;
    thread_create(set_flag, &flag, 1, &t);
    ASSERT_NE(t, nullptr);
    thread_join(&t);
    EXPECT_EQ(flag.load(), 1) << "joined only after the routine ran";

    static std::atomic<int> detached_flag{0};
    ThreadHandle d = nullptr;
    thread_create(set_flag, &detached_flag, 0, &d);
    for (int i = 0; i < 5000 && !detached_flag.load(); i++)
        sleep_ms(1);
    EXPECT_EQ(detached_flag.load(), 1);
}

struct Shared {
    MutexHandle mutex = nullptr;
    RwLockHandle rw = nullptr;
    long counter = 0;
    long a = 0, b = 0;
    std::atomic<long> torn{0};
};

void *count_up(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 100000; i++) {
        mutex_lock(&s->mutex);
        s->counter++;
        mutex_unlock(&s->mutex);
    }
    return nullptr;
}

TEST(Threads, MutexGuardsACounterFromTwoThreads) {
    Shared s;
    mutex_create(&s.mutex);
    ThreadHandle t1 = nullptr, t2 = nullptr;
    thread_create(count_up, &s, 1, &t1);
    thread_create(count_up, &s, 1, &t2);
    thread_join(&t1);
    thread_join(&t2);
    EXPECT_EQ(s.counter, 200000);
    mutex_destroy(&s.mutex);
}

void *write_pairs(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 20000; i++) {
        rwlock_write_lock(&s->rw);
        s->a++;
        s->b++;
        rwlock_write_unlock(&s->rw);
    }
    return nullptr;
}

void *read_pairs(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    for (int i = 0; i < 20000; i++) {
        rwlock_read_lock(&s->rw);
        if (s->a != s->b) s->torn++;
        rwlock_read_unlock(&s->rw);
    }
    return nullptr;
}

void *read_once(void *arg) {
    Shared *s = static_cast<Shared *>(arg);
    rwlock_read_lock(&s->rw);
    s->torn++;
    rwlock_read_unlock(&s->rw);
    return nullptr;
}

TEST(Threads, ReadWriteLockSharesReadersAndExcludesWriters) {
    Shared s;
    rwlock_create(&s.rw);

    // A reader gets in while another reader holds the lock (a deadlock here
    // would show as the test timing out).
    rwlock_read_lock(&s.rw);
    ThreadHandle r = nullptr;
    thread_create(read_once, &s, 1, &r);
    thread_join(&r);
    EXPECT_EQ(s.torn.load(), 1);
    rwlock_read_unlock(&s.rw);

    // A reader waits while a writer holds it.
    s.torn = 0;
    rwlock_write_lock(&s.rw);
    thread_create(read_once, &s, 1, &r);
    sleep_ms(50);
    EXPECT_EQ(s.torn.load(), 0) << "reader got in under a writer";
    rwlock_write_unlock(&s.rw);
    thread_join(&r);
    EXPECT_EQ(s.torn.load(), 1);

    // Readers never see a half-done write.
    s.torn = 0;
    ThreadHandle w1 = nullptr, w2 = nullptr, r1 = nullptr, r2 = nullptr;
    thread_create(write_pairs, &s, 1, &w1);
    thread_create(read_pairs, &s, 1, &r1);
    thread_create(write_pairs, &s, 1, &w2);
    thread_create(read_pairs, &s, 1, &r2);
    thread_join(&w1);
    thread_join(&w2);
    thread_join(&r1);
    thread_join(&r2);
    EXPECT_EQ(s.a, 40000);
    EXPECT_EQ(s.b, 40000);
    EXPECT_EQ(s.torn.load(), 0);
    rwlock_destroy(&s.rw);
}

TEST(Threads, SleepLastsAtLeastTheRequestedTime) {
    auto t0 = std::chrono::steady_clock::now();
    sleep_ms(20);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(waited).count(), 20000);
}

} // namespace
