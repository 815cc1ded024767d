// Input: rectangles and the linear maps between coordinate spaces; SDL key and
// mouse events turned into navigation keys and touch records, dispatched to
// exactly one consumer (notice, on-screen keyboard, menu, application) and
// mapped into that consumer's rectangle; the hidden debug gesture.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stdint.h>

union SDL_Event;

// A screen area or coordinate space. Not normalised: a mirrored rectangle
// (right < left or top < bottom) mirrors what is mapped through it.
struct Rect {
    float left, right, bottom, top;
};

struct TouchPoint {
    float x, y;
};

// One touch, handed by value; entries at or beyond count are ignored.
struct TouchEvent {
    uint32_t count;           // 0 to 4; mouse events give 1
    TouchPoint points[4];     // positions
    TouchPoint deltas[4];     // displacement since the previous mouse event; 0 on press/release
};

enum NavKey { NAV_SELECT = 0, NAV_BACK = 1, NAV_LEFT = 2, NAV_RIGHT = 3, NAV_DOWN = 4, NAV_UP = 5 };

// Rectangles (all take pointers; in-place operations change only their target)
float remap(float v, float a0, float a1, float b0, float b1);  // linear map; b0 when a0 == a1; no clamping
float rect_width(const Rect *r);                               // right - left (signed)
float rect_height(const Rect *r);                              // top - bottom (signed)
float rect_center_x(const Rect *r);                            // midpoint, halving in double
float rect_center_y(const Rect *r);                            // midpoint, halving in double
void rect_center(const Rect *r, float *x, float *y);           // both midpoints
float rect_aspect(const Rect *r);                              // |width / height|; 0 when height is 0
int rect_contains(const Rect *r, float x, float y);            // 1 if inside, all edges inclusive; NaN never inside
int rect_equals(const Rect *a, const Rect *b);                 // 1 if all four fields compare equal
void rect_translate(Rect *r, float dx, float dy);              // moves r
void rect_inset_percent(Rect *r, float p);                     // each side in by p% of the size (negative grows)
void rect_grow_to_aspect(const Rect *ref, Rect *r);            // widens or heightens r about its centre to ref's aspect; no change if ref's aspect is 0
void rect_shrink_to_aspect(const Rect *ref, Rect *r);          // narrows or flattens r about its centre to ref's aspect; no change if ref's aspect is 0
void rect_map_point(const Rect *src, const Rect *dst, float *x, float *y);   // point from src space into dst space
void rect_map_delta(const Rect *src, const Rect *dst, float *dx, float *dy); // displacement scaled from src to dst

// Screen and consumer spaces (module state, read and written by their owners)
extern Rect screen_rect;         // the screen in pixels, normalised y-up; (0, 100, 0, 100) until set
extern int flip_x, flip_y;       // the rectangle given to set_screen_rect was mirrored
extern Rect keyboard_input_rect; // touch space of the on-screen keyboard (owned by ui/)
extern Rect menu_input_rect;     // touch space of the menu (owned by ui/)
extern Rect app_input_rect;      // touch space of the application (set by the application)
extern uint8_t debug_level;      // 0..3 by gesture, any byte from the command line; overlay above 2
extern float debug_progress;     // the gesture's progress value

void set_screen_rect(const Rect *r); // stores r normalised, sets flip flags, app_layout, gl_set_viewport

// Translation of SDL events (called by the shell's poll loop)
void input_handle_mouse(const SDL_Event *event); // motion, button down, button up -> touch dispatch
void input_handle_key(const SDL_Event *event);   // key down -> NavKey dispatch; other keys dropped
void input_set_window_area(float scale, float x, float y); // mouse positions in window pixels become screen pixels: minus (x, y), the screen's top-left corner (y down), divided by scale

// Dispatch: each input reaches exactly one consumer
void input_key(int code);                     // notice, else menu, else application
void input_touch_down(TouchEvent touch);      // count 0 ignored; notice, keyboard, menu, application
void input_touch_drag(TouchEvent touch);      // gesture sees it; keyboard, menu, application
void input_touch_up(TouchEvent touch);        // gesture sees it; keyboard, menu, application
void input_flip_touch(TouchEvent *touch);     // screen y-down -> y-up per flip flags
void input_map_touch(TouchEvent *touch, const Rect *target); // screen_rect space -> target space
void input_debug_gesture(TouchEvent touch, int moving);      // flipped, unmapped touch; may change debug_level and log_threshold
void input_last_mouse(float *x, float *y);    // position of the previous mouse event of any kind (tests)
void input_reset(void);                       // back to the initial state (tests, and a fresh start); input_consumers untouched

// Consumers reached by dispatch; defaults are the real notice, ui and app functions. Tests swap entries and restore them.
struct InputConsumers {
    int (*notice_showing)(void);            // 1 while a notice is on screen
    void (*notice_dismiss)(void);           // hides the notice
    int (*keyboard_is_shown)(void);         // 1 while the on-screen keyboard is shown
    void (*keyboard_touch_down)(TouchEvent touch); // press, mapped into keyboard_input_rect
    void (*keyboard_touch_drag)(TouchEvent touch); // drag, mapped into keyboard_input_rect
    void (*keyboard_touch_up)(TouchEvent touch);   // release, mapped into keyboard_input_rect
    int (*menu_active)(void);               // 1 while a menu page is open
    void (*menu_key)(int code);             // navigation key
    void (*menu_touch_down)(TouchEvent touch); // press, mapped into menu_input_rect
    void (*menu_touch_drag)(TouchEvent touch); // drag, mapped into menu_input_rect
    void (*menu_touch_up)(TouchEvent touch);   // release, mapped into menu_input_rect
    void (*app_key)(int code);              // navigation key nobody else took
    void (*app_touch_down)(TouchEvent touch); // press, mapped into app_input_rect
    void (*app_touch_drag)(TouchEvent touch); // drag, mapped into app_input_rect
    void (*app_touch_up)(TouchEvent touch);   // release, mapped into app_input_rect
};
extern InputConsumers input_consumers; // every slot filled; dispatch calls through it only
// clang-format on
