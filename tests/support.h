// Helpers shared by the test programs: a private working directory, whole-file
// reads and writes, and a real SDL window with a GL context for read-back.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// Creates a fresh directory under /tmp and makes it the working directory
// (so the program's files land in the base directory "."); removes it again.
struct TempDir {
    std::string path;
    std::string old_cwd;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);                     // "" when missing
std::vector<uint8_t> read_bytes(const std::string &path);           // empty when missing
void write_file(const std::string &path, const std::string &bytes); // replaces the file

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
