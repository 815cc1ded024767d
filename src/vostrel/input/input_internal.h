// Input, inside: the screen and consumer spaces the framework writes, the
// translation of SDL events the shell's poll loop calls, the dispatch and its
// consumer table, and the seams the tests reset and watch.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>

union SDL_Event;

// Screen and consumer spaces (module state, read and written by their owners)
extern Rect screen_rect;         // the screen in pixels, normalised y-up; (0, 100, 0, 100) until set
extern int flip_x, flip_y;       // the rectangle given to set_screen_rect was mirrored
extern Rect keyboard_input_rect; // touch space of the on-screen keyboard (owned by ui/)
extern Rect menu_input_rect;     // touch space of the menu (owned by ui/)
extern uint8_t debug_level;      // 0..3 by gesture, any byte from the command line; overlay above 2
extern float debug_progress;     // the gesture's progress value

void set_screen_rect(const Rect *r); // stores r normalised, sets flip flags, app_layout, gl_set_viewport

// Translation of SDL events (called by the shell's poll loop)
void input_handle_mouse(const SDL_Event *event); // motion, button down, button up -> touch dispatch
void input_handle_key(const SDL_Event *event);   // key down -> NavKey dispatch; other keys' presses and releases -> input_other_key
void input_set_window_area(float scale, float x, float y); // mouse positions in window pixels become screen pixels: minus (x, y), the screen's top-left corner (y down), divided by scale
void input_set_time(float seconds);        // the time of the events handed on next (the shell's clock, once a drain)
void input_set_leave_corner(int corner);   // a LeaveCorner: a press held 3 s in its 40-pixel square, released there, raises the leave request; LEAVE_OFF (the initial state, and anything unknown): never
int input_take_leave_request(void);        // 1 once after a completed leave gesture, then 0 until the next

// Dispatch: each input reaches exactly one consumer
void input_key(int code);                     // notice, else menu, else application
void input_other_key(int sdl_key, int down);  // a key that is no NavKey: to the application only while no notice, keyboard or menu shows
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
    void (*app_key_press)(int sdl_key, int down); // other key pressed (1) or released (0); may be null: dropped
};
extern InputConsumers input_consumers; // every slot filled; dispatch calls through it only
// clang-format on
