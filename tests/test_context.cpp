// The ES drawing context inside a running shell: a resize gives the window a
// surface of the new size that is drawn into; a surface lost at the swap is
// logged once and made again, and a second loss before any good swap ends the
// run instead of recreating forever. Real SDL, EGL and Mesa's ES driver.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/render/render.h>
#include <vostrel/shell/shell_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <memory>

namespace {

void no_sleep(int) {}

EGLint surface_size(EGLint which) {
    EGLint value = -1;
    eglQuerySurface(eglGetCurrentDisplay(), eglGetCurrentSurface(EGL_DRAW), which, &value);
    return value;
}

// The surface behind the shell's back, as a driver that lost it would leave it.
void lose_surface() {
    EGLDisplay display = eglGetCurrentDisplay();
    EGLSurface surface = eglGetCurrentSurface(EGL_DRAW);
    ASSERT_NE(surface, EGL_NO_SURFACE);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    ASSERT_TRUE(eglDestroySurface(display, surface));
}

struct EsShell : ::testing::Test {
    static std::unique_ptr<TempDir> dir;
    static bool started;

    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>();
        if (!shell_test_begin(no_sleep)) return;
        shell_request_context(CONTEXT_ES);
        shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
        started = !quit_requested && shell_context_path() == CONTEXT_ES;
    }
    static void TearDownTestSuite() {
        shell_test_end();
        dir.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(started) << shell_context_error();
        fake_now += 1.0f;
        last_update_time = fake_now;
    }
    static void resize(int w, int h) {
        SDL_Event e = {};
        e.type = SDL_VIDEORESIZE;
        e.resize.w = w;
        e.resize.h = h;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
        ASSERT_TRUE(shell_turn());
        ASSERT_EQ(quit_requested, 0) << shell_context_error();
    }
};

std::unique_ptr<TempDir> EsShell::dir;
bool EsShell::started;

TEST_F(EsShell, AResizeGivesASurfaceOfTheNewSizeThatIsDrawnInto) {
    EXPECT_EQ(surface_size(EGL_WIDTH), 320);
    EXPECT_EQ(surface_size(EGL_HEIGHT), 480);
    const int sizes[][2] = {{480, 320}, {320, 480}, {400, 400}};
    for (const auto &size : sizes) {
        resize(size[0], size[1]);
        ASSERT_EQ(shell_context_path(), CONTEXT_ES) << "a resize keeps the path";
        EXPECT_EQ(surface_size(EGL_WIDTH), size[0]);
        EXPECT_EQ(surface_size(EGL_HEIGHT), size[1]);
        shell_draw_frame();
        // The board spreads over the whole window: buttons reach its right
        // quarter, which a surface of the old size would not hold.
        EXPECT_GT(lit_pixels(size[0] * 3 / 4, size[0], size[1]), 100)
            << size[0] << " x " << size[1];
    }
    EXPECT_EQ(count_of(log_contents(), "eglSwapBuffers failed"), 0) << "no swap went wrong";
}

TEST_F(EsShell, ALostSurfaceIsLoggedOnceAndMadeAgain) {
    const std::string said = "eglSwapBuffers failed: EGL_BAD_SURFACE; making a new surface";
    int before = count_of(log_contents(), said);
    lose_surface();
    shell_present();
    ASSERT_EQ(quit_requested, 0) << shell_context_error();
    EXPECT_EQ(count_of(log_contents(), said), before + 1);
    ASSERT_NE(eglGetCurrentSurface(EGL_DRAW), EGL_NO_SURFACE);
    for (int i = 0; i < 3; i++)
        shell_present();
    EXPECT_EQ(quit_requested, 0);
    EXPECT_EQ(count_of(log_contents(), said), before + 1) << "later swaps succeed";
    shell_draw_frame();
    EXPECT_GT(lit_pixels(0, SCREEN_WIDTH, SCREEN_HEIGHT), 1000) << "the new surface is drawn into";
}

// Last: it ends the run.
TEST_F(EsShell, ASecondLossBeforeAGoodSwapEndsTheRun) {
    const std::string said = "eglSwapBuffers failed: EGL_BAD_SURFACE; making a new surface";
    int before = count_of(log_contents(), said);
    lose_surface();
    shell_present();
    ASSERT_EQ(quit_requested, 0);
    lose_surface();
    shell_present();
    EXPECT_EQ(quit_requested, 1) << "a loss that recurs at once is not recreated again";
    std::string log = read_file(dir->file("vostrel soundboard_log.txt")); // closed by the quit
    EXPECT_EQ(count_of(log, said), before + 1);
    EXPECT_EQ(count_of(log, "] eglSwapBuffers failed: EGL_BAD_SURFACE\n"), 1) << log;
    EXPECT_EQ(shell_context_path(), 0) << "the shutdown released the context";
}

} // namespace
