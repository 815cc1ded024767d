// Helpers shared by the test programs; see support.h.
#include "support.h"

#include "platform/gles.h"
#include "render/render.h"
#include "text/text.h"

#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

TempDir::TempDir() {
    char tmpl[] = "/tmp/vostrel-test-XXXXXX";
    char *dir = mkdtemp(tmpl);
    path = dir ? dir : "/tmp";
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) old_cwd = cwd;
    if (chdir(path.c_str()) != 0) perror("chdir");
}

TempDir::~TempDir() {
    if (!old_cwd.empty() && chdir(old_cwd.c_str()) != 0) perror("chdir");
    std::string cmd = "rm -rf '" + path + "'";
    if (path.rfind("/tmp/vostrel-test-", 0) == 0 && system(cmd.c_str()) != 0) perror("rm");
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

std::string read_file(const std::string &path) {
    std::vector<uint8_t> b = read_bytes(path);
    return std::string(b.begin(), b.end());
}

void write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Xvfb may refuse connections for a moment after the previous client's last
// window closed, so opening the display is retried for a while.
GlWindow::GlWindow(int w, int h) : width(w), height(h), ok(false) {
    int tries = 0;
    while (SDL_Init(SDL_INIT_VIDEO) != 0) {
        if (++tries == 50) {
            fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
            return;
        }
        usleep(100000);
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
