// Test support, GL in the test process; see support_gl.h.
#include "support_gl.h"

#include <vostrel/render/render_internal.h>
#include <vostrel/text/text_internal.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <stdio.h>
#include <unistd.h>

bool sdl_init_retrying(uint32_t flags) {
    for (int tries = 0; tries < 100; tries++) {
        if (SDL_Init(flags) == 0) return true;
        usleep(100000);
    }
    return false;
}

GlWindow::GlWindow(int w, int h) : width(w), height(h), ok(false) {
    if (!sdl_init_retrying(SDL_INIT_VIDEO)) {
        fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return;
    }
    ok = SDL_SetVideoMode(w, h, 0, SDL_OPENGL) != nullptr;
    if (!ok) fprintf(stderr, "SDL_SetVideoMode: %s\n", SDL_GetError());
}

GlWindow::~GlWindow() { SDL_Quit(); }

GlWindow &shared_window() {
    static GlWindow w;
    return w;
}

void fresh_gl_state() {
    font_release();
    gl_release();
    gl_init();
}

std::vector<uint8_t> read_pixels(int x, int y, int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

int lit_pixels(int x0, int x1, int height) {
    std::vector<uint8_t> px = read_pixels(x0, 0, x1 - x0, height);
    int n = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        n += px[i] + px[i + 1] + px[i + 2] > 30 ? 1 : 0;
    return n;
}
