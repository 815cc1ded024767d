// Tweens and timers: linear motion, restarts, delays, timer order, cancel,
// blocking versus background, finishing everything, node recycling.
#include <vostrel/anim/anim_internal.h>

#include <gtest/gtest.h>

namespace {

struct Tweens : ::testing::Test {
    void SetUp() override { tween_init(); }
    void TearDown() override { tween_shutdown(); }
};

TEST_F(Tweens, MovesLinearlyAndEndsExactlyOnTarget) {
    float v = 0.0f;
    tween_start(&v, 10.0f, 2.0f);
    EXPECT_EQ(tween_busy(), 1);
    tween_update(0.5f);
    EXPECT_FLOAT_EQ(v, 2.5f);
    tween_update(1.0f);
    EXPECT_FLOAT_EQ(v, 7.5f);
    tween_update(1.0f); // past the end: the target exactly
    EXPECT_EQ(v, 10.0f);
    EXPECT_EQ(tween_busy(), 0);
    EXPECT_EQ(tween_active_count(), 0);
}

TEST_F(Tweens, AlreadyAtTargetMakesNothingAndRestartsKeepOneNode) {
    float v = 3.0f;
    tween_start(&v, 3.0f, 1.0f);
    EXPECT_EQ(tween_active_count(), 0);
    EXPECT_EQ(tween_busy(), 0);

    tween_start(&v, 13.0f, 1.0f);
    tween_update(0.5f);          // 8
    tween_start(&v, 0.0f, 1.0f); // restarts from 8 toward 0
    EXPECT_EQ(tween_active_count(), 1);
    tween_update(0.25f);
    EXPECT_FLOAT_EQ(v, 6.0f);
    v = 0.0f; // someone else set the target: ends at the next update
    tween_update(0.01f);
    EXPECT_EQ(tween_active_count(), 0);
    EXPECT_EQ(v, 0.0f);
}

TEST_F(Tweens, OtherWritesAreOverwrittenAndZeroDurationLandsAtOnce) {
    float v = 0.0f, w = 5.0f;
    tween_start(&v, 4.0f, 4.0f);
    v = 100.0f;
    tween_update(1.0f);
    EXPECT_FLOAT_EQ(v, 1.0f);
    tween_start(&w, 9.0f, 0.0f);
    tween_update(0.001f);
    EXPECT_EQ(w, 9.0f);
}

TEST_F(Tweens, DelayedTweenCapturesItsStartWhenDue) {
    float v = 0.0f;
    tween_start_delayed(&v, 10.0f, 1.0f, 0.5f);
    EXPECT_EQ(tween_timer_count(), 1);
    v = 4.0f; // the start value is taken when the delay runs out
    tween_update(0.3f);
    EXPECT_EQ(v, 4.0f);
    tween_update(0.3f); // due: started and advanced by this whole dt
    EXPECT_EQ(tween_timer_count(), 0);
    EXPECT_FLOAT_EQ(v, 4.0f + 6.0f * 0.3f);
}

TEST_F(Tweens, TimersSetToggleAndRunNewestFirst) {
    int flag = 0, value = 0;
    int target = 7;
    void *ptr = nullptr;
    timer_toggle(&flag, 0.1f);
    timer_set_int(&value, 1, 0.2f); // older
    timer_set_int(&value, 2, 0.2f); // newer: runs first, so the older value remains
    timer_set_pointer(&ptr, &target, 0.2f);
    EXPECT_EQ(tween_busy(), 1); // timers always block
    tween_update(0.15f);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(value, 0);
    tween_update(0.1f);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ptr, &target); // the whole 64-bit pointer
    EXPECT_EQ(tween_busy(), 0);
}

TEST_F(Tweens, NonPositiveStepsChangeNothing) {
    float v = 0.0f;
    int flag = 0;
    tween_start(&v, 1.0f, 1.0f);
    timer_toggle(&flag, 0.1f);
    tween_update(0.0f);
    tween_update(-1.0f);
    EXPECT_EQ(v, 0.0f);
    tween_update(0.05f);
    EXPECT_EQ(flag, 0); // the delay did not shrink before
}

TEST_F(Tweens, CancelRemovesTheRunningTweenBeforeTimers) {
    float v = 0.0f;
    tween_start(&v, 10.0f, 1.0f);
    tween_start_delayed(&v, 20.0f, 1.0f, 5.0f);
    tween_update(0.5f);
    tween_cancel(&v);
    EXPECT_EQ(tween_active_count(), 0);
    EXPECT_EQ(tween_timer_count(), 1);
    EXPECT_FLOAT_EQ(v, 5.0f); // keeps its value
    tween_cancel(&v);
    EXPECT_EQ(tween_timer_count(), 0);
}

TEST_F(Tweens, CancelWithoutARunningTweenRemovesTheNewestTimer) {
    int value = 0;
    timer_set_int(&value, 1, 0.2f); // older
    timer_set_int(&value, 2, 0.1f); // newer
    tween_cancel(&value);
    EXPECT_EQ(tween_timer_count(), 1);
    tween_update(0.15f);
    EXPECT_EQ(value, 0); // the newer one, due now, is gone
    tween_update(0.1f);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(tween_timer_count(), 0);
}

TEST_F(Tweens, DelayedBackgroundTweenBlocksNeitherWaitingNorRunning) {
    float v = 0.0f;
    tween_start_delayed_background(&v, 2.0f, 1.0f, 0.5f);
    EXPECT_EQ(tween_timer_count(), 1);
    EXPECT_EQ(tween_busy(), 0);
    tween_update(0.5f); // due: runs, still in the background
    EXPECT_EQ(tween_active_count(), 1);
    EXPECT_FLOAT_EQ(v, 1.0f);
    EXPECT_EQ(tween_busy(), 0);
    tween_start_delayed(&v, 0.0f, 1.0f, 5.0f); // a blocking one waiting alongside
    EXPECT_EQ(tween_busy(), 1);
}

TEST_F(Tweens, BackgroundNodesDoNotBlockAndFinishAllSettles) {
    float a = 0.0f, b = 0.0f;
    tween_start_background(&a, 1.0f, 1.0f);
    EXPECT_EQ(tween_busy(), 0);
    tween_start_delayed(&b, 3.0f, 2.0f, 1.0f);
    EXPECT_EQ(tween_busy(), 1);
    tween_finish_all();
    EXPECT_EQ(b, 3.0f);
    EXPECT_EQ(tween_busy(), 0);
}

TEST_F(Tweens, NodesAreRecycledThroughThePool) {
    EXPECT_EQ(tween_pool_count(), TWEEN_POOL_SIZE);
    float v[20] = {};
    for (float &x : v)
        tween_start(&x, 1.0f, 1.0f);
    EXPECT_EQ(tween_pool_count(), 0); // four more were allocated
    tween_update(2.0f);
    EXPECT_EQ(tween_pool_count(), 20);
}

} // namespace
