// Input: SDL mouse and key events turned into touch records and navigation
// keys, each handed to exactly one consumer (notice, on-screen keyboard, menu,
// application) after mapping into that consumer's rectangle; and the hidden
// debug gesture that every drag and release passes through; the leave
// gesture, which input only raises: the shell decides what leaving means.
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>

#include <vostrel/shell/shell.h>
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/math/maths.h>
#include <vostrel/render/render.h>
#include <vostrel/ui/ui_internal.h>

#include <SDL.h>
#include <math.h>

Rect screen_rect = {0.0f, 100.0f, 0.0f, 100.0f};
int flip_x, flip_y;
Rect keyboard_input_rect = {-1.0f, 1.0f, -1.0f, 1.0f};
Rect menu_input_rect = {0.0f, 10.0f, 0.0f, 10.0f};
Rect app_input_rect = {0.0f, 1.0f, 0.0f, 1.0f};
uint8_t debug_level;
float debug_progress;

InputConsumers input_consumers = {
    .notice_showing = notice_showing,
    .notice_dismiss = notice_dismiss,
    .keyboard_is_shown = keyboard_is_shown,
    .keyboard_touch_down = keyboard_touch_down,
    .keyboard_touch_drag = keyboard_touch_drag,
    .keyboard_touch_up = keyboard_touch_up,
    .menu_active = menu_active,
    .menu_key = menu_key,
    .menu_touch_down = menu_touch_down,
    .menu_touch_drag = menu_touch_drag,
    .menu_touch_up = menu_touch_up,
    .app_key = app_key,
    .app_touch_down = app_touch_down,
    .app_touch_drag = app_touch_drag,
    .app_touch_up = app_touch_up,
    .app_key_press = app_key_press,
};

// Private state: the mouse between events, the gesture between strokes, and
// where the screen lies in the window.
static struct {
    int button_held;
    float last_mouse_x, last_mouse_y;
    float gesture_angle;           // radians turned in the current stroke; clockwise adds
    TouchEvent gesture_last_touch; // previous drag or release, in gesture space
    float window_scale;            // window pixels per screen pixel; 0 means 1 (the identity)
    float window_x, window_y;      // the screen's top-left corner in window pixels, y down
    float now;                     // seconds, as the shell last said (input_set_time)
    int leave_corner;              // LeaveCorner in force; LEAVE_OFF until the shell sets one
    int corner_held;               // the press began in the leave corner and has not left it
    float corner_since;            // the time of that press
    int leave_raised;              // a leave gesture completed and not yet taken
} input;

// The leave gesture: a press held this long in a corner square of the
// screen (screen pixels), then released there. No tap is that long.
static constexpr float LEAVE_CORNER_SIZE = 40.0f;
static constexpr float LEAVE_HOLD_SECONDS = 3.0f;

// (x, y): screen pixels, y down.
static int in_leave_corner(float x, float y) {
    const float w = screen_rect.right - screen_rect.left, h = screen_rect.top - screen_rect.bottom;
    const int left = x >= 0.0f && x < LEAVE_CORNER_SIZE;
    const int right = x >= w - LEAVE_CORNER_SIZE && x < w;
    const int top = y >= 0.0f && y < LEAVE_CORNER_SIZE;
    const int bottom = y >= h - LEAVE_CORNER_SIZE && y < h;
    switch (input.leave_corner) {
    case LEAVE_TOP_LEFT:
        return top && left;
    case LEAVE_TOP_RIGHT:
        return top && right;
    case LEAVE_BOTTOM_LEFT:
        return bottom && left;
    case LEAVE_BOTTOM_RIGHT:
        return bottom && right;
    default:
        return 0;
    }
}

void input_set_time(float seconds) { input.now = seconds; }

void input_set_leave_corner(int corner) {
    input.leave_corner =
        corner >= LEAVE_TOP_LEFT && corner <= LEAVE_BOTTOM_RIGHT ? corner : LEAVE_OFF;
    input.corner_held = 0;
}

int input_take_leave_request(void) {
    const int raised = input.leave_raised;
    input.leave_raised = 0;
    return raised;
}

static constexpr double TWO_PI = 6.283185307179586;
static constexpr uint8_t DEBUG_LEVEL_MAX = 3;

void set_screen_rect(const Rect *r) {
    screen_rect = *r;
    flip_x = screen_rect.left > screen_rect.right;
    if (flip_x) {
        screen_rect.left = r->right;
        screen_rect.right = r->left;
    }
    flip_y = screen_rect.bottom > screen_rect.top;
    if (flip_y) {
        screen_rect.bottom = r->top;
        screen_rect.top = r->bottom;
    }
    app_layout(&screen_rect);
    gl_set_viewport(&screen_rect);
}

void input_handle_mouse(const SDL_Event *event) {
    TouchEvent touch = {};
    touch.count = 1;
    float x, y;
    switch (event->type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        x = static_cast<float>(event->button.x);
        y = static_cast<float>(event->button.y);
        break;
    case SDL_MOUSEMOTION:
        x = static_cast<float>(event->motion.x);
        y = static_cast<float>(event->motion.y);
        break;
    default:
        return;
    }
    if (input.window_scale > 0.0f) {
        x = (x - input.window_x) / input.window_scale;
        y = (y - input.window_y) / input.window_scale;
    }
    touch.points[0] = {x, y};
    const int in_corner = in_leave_corner(x, y);
    if (!in_corner) input.corner_held = 0;
    if (event->type == SDL_MOUSEBUTTONDOWN) {
        input.button_held = 1;
        input.corner_held = in_corner;
        input.corner_since = input.now;
        input_touch_down(touch);
    } else if (event->type == SDL_MOUSEBUTTONUP) {
        input.button_held = 0;
        input_touch_up(touch);
        if (input.corner_held && input.now - input.corner_since >= LEAVE_HOLD_SECONDS)
            input.leave_raised = 1;
        input.corner_held = 0;
    } else if (input.button_held) {
        touch.deltas[0] = {x - input.last_mouse_x, y - input.last_mouse_y};
        input_touch_drag(touch);
    }
    // Un-held motion is not passed on but still moves the reference point,
    // so the next drag's delta starts where the pointer really was.
    input.last_mouse_x = x;
    input.last_mouse_y = y;
}

// The NavKey a key stands for; -1 for any other key.
static int nav_key_for(SDLKey key) {
    switch (key) {
    case SDLK_RETURN:
        return NAV_SELECT;
    case SDLK_ESCAPE:
        return NAV_BACK;
    case SDLK_LEFT:
        return NAV_LEFT;
    case SDLK_RIGHT:
        return NAV_RIGHT;
    case SDLK_DOWN:
        return NAV_DOWN;
    case SDLK_UP:
        return NAV_UP;
    default:
        return -1;
    }
}

// NavKeys act on their press; every other key's press and release go on.
void input_handle_key(const SDL_Event *event) {
    if (event->type != SDL_KEYDOWN && event->type != SDL_KEYUP) return;
    const int down = event->type == SDL_KEYDOWN;
    const int nav = nav_key_for(event->key.keysym.sym);
    if (nav < 0)
        input_other_key(static_cast<int>(event->key.keysym.sym), down);
    else if (down)
        input_key(nav);
}

// A key that is no NavKey. A notice, the on-screen keyboard or a menu owns
// the screen while it shows, so the key is dropped then rather than acting
// on a board the user cannot see.
void input_other_key(int sdl_key, int down) {
    const InputConsumers &c = input_consumers;
    if (!c.app_key_press || c.notice_showing() || c.keyboard_is_shown() || c.menu_active()) return;
    c.app_key_press(sdl_key, down);
}

void input_key(int code) {
    const InputConsumers &c = input_consumers;
    if (c.notice_showing()) {
        c.notice_dismiss();
    } else if (c.menu_active()) {
        c.menu_key(code);
    } else {
        c.app_key(code);
    }
}

// Maps a flipped touch into the rectangle of the consumer that takes it and
// hands it over. Presses, drags and releases share the keyboard -> menu ->
// application order; the callers handle the notice and the gesture.
static void deliver(TouchEvent touch, void (*keyboard)(TouchEvent), void (*menu)(TouchEvent),
                    void (*app)(TouchEvent)) {
    const InputConsumers &c = input_consumers;
    if (c.keyboard_is_shown()) {
        input_map_touch(&touch, &keyboard_input_rect);
        keyboard(touch);
    } else if (c.menu_active()) {
        input_map_touch(&touch, &menu_input_rect);
        menu(touch);
    } else {
        input_map_touch(&touch, &app_input_rect);
        app(touch);
    }
}

void input_touch_down(TouchEvent touch) {
    if (touch.count == 0) return;
    input_flip_touch(&touch);
    const InputConsumers &c = input_consumers;
    if (c.notice_showing()) {
        c.notice_dismiss();
        return;
    }
    deliver(touch, c.keyboard_touch_down, c.menu_touch_down, c.app_touch_down);
}

void input_touch_drag(TouchEvent touch) {
    input_flip_touch(&touch);
    input_debug_gesture(touch, 1);
    const InputConsumers &c = input_consumers;
    deliver(touch, c.keyboard_touch_drag, c.menu_touch_drag, c.app_touch_drag);
}

void input_touch_up(TouchEvent touch) {
    input_flip_touch(&touch);
    input_debug_gesture(touch, 0);
    const InputConsumers &c = input_consumers;
    deliver(touch, c.keyboard_touch_up, c.menu_touch_up, c.app_touch_up);
}

void input_flip_touch(TouchEvent *touch) {
    for (uint32_t i = 0; i < touch->count && i < 4; i++) {
        if (flip_x) {
            touch->points[i].x = screen_rect.left + (screen_rect.right - touch->points[i].x);
            touch->deltas[i].x = -touch->deltas[i].x;
        }
        if (flip_y) {
            touch->points[i].y = screen_rect.bottom + (screen_rect.top - touch->points[i].y);
            touch->deltas[i].y = -touch->deltas[i].y;
        }
    }
}

void input_map_touch(TouchEvent *touch, const Rect *target) {
    for (uint32_t i = 0; i < touch->count && i < 4; i++) {
        rect_map_point(&screen_rect, target, &touch->points[i].x, &touch->points[i].y);
        rect_map_delta(&screen_rect, target, &touch->deltas[i].x, &touch->deltas[i].y);
    }
}

// Progress runs level -> level + 0.5 (armed by circling) -> + 0.7501 (top-right
// tap) -> + 1.0002 (top-left tap), whose integer part is the new level.
void input_debug_gesture(TouchEvent touch, int moving) {
    Rect space = {-0.5f, 0.5f, -0.5f, 0.5f};
    rect_grow_to_aspect(&screen_rect, &space);
    TouchEvent g = touch;
    input_map_touch(&g, &space);
    float diff = debug_progress - static_cast<float>(debug_level);

    if (moving) {
        if (diff < 0.5f) {
            const float a[3] = {input.gesture_last_touch.points[0].x,
                                input.gesture_last_touch.points[0].y, 0.0f};
            const float b[3] = {g.points[0].x, g.points[0].y, 0.0f};
            float theta = vec3_angle(a, b);
            float cross[3];
            vec3_cross(a, b, cross);
            if (cross[2] < 0.0f)
                input.gesture_angle += theta;
            else if (cross[2] > 0.0f)
                input.gesture_angle -= theta;
        }
    } else {
        uint8_t old = debug_level;
        if (diff < 0.5f) {
            if (fabs(static_cast<double>(input.gesture_angle) / TWO_PI) > 4.0) {
                if (input.gesture_angle > 0.0f)
                    debug_progress += 0.5f;
                else
                    debug_progress -= 1.0f;
            }
            input.gesture_angle = 0.0f;
        } else if (diff < 1.0f) {
            const float corner[2] = {screen_rect.right, screen_rect.top};
            const float corner_left[2] = {screen_rect.left, screen_rect.top};
            const float p[2] = {touch.points[0].x, touch.points[0].y};
            float d = vec_distance(diff < 0.75f ? corner : corner_left, p, 2);
            float w = rect_width(&screen_rect), h = rect_height(&screen_rect);
            if (d < (w < h ? w : h) / 4.0f)
                debug_progress = static_cast<float>(static_cast<double>(debug_progress) + 0.2501);
            else
                debug_progress = static_cast<float>(debug_level);
        }
        uint8_t level = static_cast<uint8_t>(static_cast<int>(debug_progress) & 0xFF);
        if (level > DEBUG_LEVEL_MAX) {
            // Clamped (a completed raise at the top level, or a lowering that
            // wrapped): without bringing the progress back to the level, a raise
            // completed at level 3 would leave it at 4.0002, and with the
            // difference stuck above 1 no later circling or tap could act.
            level = DEBUG_LEVEL_MAX;
            debug_progress = static_cast<float>(level);
        }
        debug_level = level;
        if (debug_level != old) {
            log_printf(LOG_INFO, "Debugging Level changed to: %d", debug_level);
            debug_progress = static_cast<float>(debug_level);
        }
        log_threshold = debug_level != 0 ? LOG_DEBUG : LOG_WARNING;
    }
    input.gesture_last_touch = g;
}

void input_set_window_area(float scale, float x, float y) {
    input.window_scale = scale;
    input.window_x = x;
    input.window_y = y;
}

void input_last_mouse(float *x, float *y) {
    *x = input.last_mouse_x;
    *y = input.last_mouse_y;
}

void input_reset(void) {
    screen_rect = {0.0f, 100.0f, 0.0f, 100.0f};
    flip_x = 0;
    flip_y = 0;
    keyboard_input_rect = {-1.0f, 1.0f, -1.0f, 1.0f};
    menu_input_rect = {0.0f, 10.0f, 0.0f, 10.0f};
    debug_level = 0;
    debug_progress = 0.0f;
    input = {};
}

const Rect *input_get_screen_rect(void) { return &screen_rect; }

uint8_t input_get_debug_level(void) { return debug_level; }
