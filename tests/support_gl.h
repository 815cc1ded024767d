// Test support, GL in the test process: SDL start-up on a display that may be
// resetting, a real SDL window with a GL context, and back-buffer read-back.
#pragma once

#include <stdint.h>
#include <vector>

// SDL_Init(flags), retried for up to ten seconds: Xvfb refuses connections for
// a moment while it resets after the previous client's last window closed.
// false, with SDL's error set, if it never succeeds.
bool sdl_init_retrying(uint32_t flags);

// A 320x480 SDL_OPENGL window, current for the lifetime of the object.
struct GlWindow {
    GlWindow(int width = 320, int height = 480);
    ~GlWindow();
    GlWindow(const GlWindow &) = delete;
    GlWindow &operator=(const GlWindow &) = delete;
    int width, height;
    bool ok;
};

// One window shared by every test of a program: SDL allows one video mode,
// and reopening the display between tests is slow.
GlWindow &shared_window();

// GL state as one start-up leaves it, font not yet loaded: what the previous
// test made is released first (textures, buffers, the vertex store).
void fresh_gl_state();

// RGBA bytes of the back buffer, bottom row first (glReadPixels order).
std::vector<uint8_t> read_pixels(int x, int y, int w, int h);
// Back-buffer pixels in columns x0 <= x < x1 (rows 0 to height) that are not
// black (red + green + blue above 30).
int lit_pixels(int x0, int x1, int height);
