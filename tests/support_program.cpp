// Test support, the program under test; see support_program.h.
#include "support_program.h"

#include "support_files.h"

#include "app/app_internal.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    const std::string &stderr_path) {
    return program_start_binary(VOSTREL_BINARY, args, env, stderr_path);
}

std::string sdl_implementation_mismatch(pid_t pid) {
    const char *want = getenv("VOSTREL_SDL_IMPL");
    if (!want) return "";
    std::string lib = program_sdl_library(pid);
    bool compat = lib.find("/sdl12-compat/") != std::string::npos;
    bool ok = !lib.empty() && (strcmp(want, "compat") == 0 ? compat : !compat);
    return ok ? "" : std::string("wanted ") + want + " SDL 1.2, the program maps '" + lib + "'";
}

PixelBox board_button_box(int slot, int width, int height) {
    Rect screen = {0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height)};
    app_layout(&screen);
    const Rect &cell = buttons[slot].cell;
    float x0 = cell.left, y0 = cell.top, x1 = cell.right, y1 = cell.bottom;
    rect_map_point(&grid_rect, &app_input_rect, &x0, &y0);
    rect_map_point(&grid_rect, &app_input_rect, &x1, &y1);
    // The board's space is y-up; window rows count down from the top.
    return {static_cast<int>(lroundf(x0)), height - static_cast<int>(lroundf(y0)),
            static_cast<int>(lroundf(x1)), height - static_cast<int>(lroundf(y1))};
}

std::vector<int> board_display_order() {
    std::vector<int> order(board_count);
    for (int k = 0; k < board_count; k++)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [](int a, int b) { return strcmp(board_captions[a], board_captions[b]) < 0; });
    return order;
}
