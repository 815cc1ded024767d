// Test support, the program under test (VOSTREL_BINARY) as a child process,
// and the board as seen from outside: button positions in window pixels.
#pragma once

#include "support_process.h"

#include <string>
#include <sys/types.h>
#include <vector>

// The program under test started as program_start_binary starts a binary.
pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    const std::string &stderr_path = "");
// "" if the running process uses the SDL 1.2 implementation that
// VOSTREL_SDL_IMPL names ("classic": libsdl1.2debian; "compat": sdl12-compat,
// chosen through LD_LIBRARY_PATH) or if that variable is unset; else what it
// uses instead.
std::string sdl_implementation_mismatch(pid_t pid);

// Window pixels of a board button: columns x0 <= x < x1, rows y0 <= y < y1,
// row 0 at the top.
struct PixelBox {
    int x0, y0, x1, y1;
    int centre_x() const { return (x0 + x1) / 2; }
    int centre_y() const { return (y0 + y1) / 2; }
};
// Where the button in display slot `slot` lies in a width x height window, by
// the board's own layout rule (app_layout, run in the calling process).
PixelBox board_button_box(int slot, int width, int height);

// Clip index of each display slot: the board shows its buttons sorted by
// caption bytes (the order is computed here, not taken from the board).
std::vector<int> board_display_order();
