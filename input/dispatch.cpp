// PLACEHOLDER: replaced by the input work.
#include "input/input.h"
#include "app/app.h"
#include "render/render.h"
Rect screen_rect = {0, 100, 0, 100};
int flip_x, flip_y;
Rect keyboard_input_rect = {-1, 1, -1, 1};
Rect menu_input_rect = {0, 10, 0, 10};
uint8_t debug_level;
float debug_progress;
void set_screen_rect(const Rect *r) {
    screen_rect = *r;
    app_layout(&screen_rect);
    gl_set_viewport(&screen_rect);
}
void input_handle_mouse(const SDL_Event *) {}
void input_handle_key(const SDL_Event *) {}
