// User interface, inside: the menu's and the keyboard's steps that the
// shell's loop and start-up and input dispatch drive (drawing, touches, keys,
// start-up and shutdown, a new GL context), the keyboard's layout table and
// magnifier, and the geometry and state the tests read. An application builds
// pages and shows the keyboard with ui.h alone.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/ui/ui.h>

// ---- Menu ------------------------------------------------------------------

// The shell's steps and navigation
void menu_startup_hook(void);          // start-up chain step 5; nothing to do
void menu_shutdown_hook(void);         // shutdown step 9; frees the page stack (closes the menu)
void menu_init(void);                  // rows laid out, menu_gl_init, About page prepared, app_menu_built
void menu_gl_init(void);               // appends the item shape to the vertex store (new GL context); pages, rows and highlight untouched
int menu_ready(void);                  // 1 while a page is open and no blocking tween runs
int menu_item_valid(int i);            // 1 if menu_ready and i is the back item or a regular item in use
int menu_select(int i);                // valid i: highlight it (click if it changed), 1; else highlight cleared, 0
void menu_update(float dt);            // second update stage while a page is open; nothing to do
void menu_draw(const Rect *screen);    // draws the open page; sets menu_input_rect; nothing while closed
void menu_draw_item(int i, int with_background); // one row of the open page in the current projection
void menu_key(int code);               // navigation key; ignored unless menu_ready
void menu_touch_down(TouchEvent touch); // press, mapped into menu_input_rect: highlights the item under point 0
void menu_touch_drag(TouchEvent touch); // drag, mapped into menu_input_rect: as the press
void menu_touch_up(TouchEvent touch);   // release, mapped into menu_input_rect: activates or steps the highlighted item
void menu_draw_about(void **data);      // handler: the About page's draw_extra; data[0] is the free area (const Rect *)

// Geometry and state (tests)
int menu_stack_depth(void);             // pages on the page stack (tests)
const Rect *menu_title_rect(void);      // title's current (animated) rectangle
const Rect *menu_item_rect(int i);      // current rectangle of slot i (0..6); null outside
const Rect *menu_item_target(int i);    // resting rectangle of slot i (0..6); null outside
int menu_item_shape(void);              // first of the 6 item-shape vertices; -1 before menu_init

// ---- On-screen keyboard ------------------------------------------------------

constexpr int KEY_SHIFT = 12;            // toggles shift; never delivered
constexpr int KEYBOARD_MAX_KEYS = 64;    // key slots per layout
constexpr int KEYBOARD_MAX_LAYOUTS = 4;  // layout slots
constexpr int KEYBOARD_NAME_SIZE = 128;  // bytes of the name, terminator included
constexpr float KEYBOARD_LENS_STRENGTH = 2.0f; // h of the magnifier

struct Key {
    uint8_t lower;  // typed without shift
    uint8_t upper;  // typed with shift
    Rect rect;      // keyboard units
};

struct KeyboardLayout {
    int32_t key_count;             // slots in use
    Key keys[KEYBOARD_MAX_KEYS];
    Rect bounds;                   // smallest rectangle holding every key in use
};

struct Keyboard {
    char name[KEYBOARD_NAME_SIZE];             // zero-terminated
    int32_t current_layout;                    // layout in use
    int32_t layout_count;                      // layouts built
    KeyboardLayout layouts[KEYBOARD_MAX_LAYOUTS];
    Rect bounds;                               // smallest rectangle holding every built layout
};

// The shell's steps and touches
void keyboard_layout_init(void);            // start-up chain step 10: keyboard_build_default the first time; later calls change nothing
void keyboard_build_default(void);          // clears the keyboard and builds the 33-key "default" layout and the bounds
void keyboard_draw(const Rect *screen);     // drawn on top of the frame; sets keyboard_input_rect; nothing before the layout is built
void keyboard_touch_down(TouchEvent touch); // mapped into keyboard_input_rect: lens on and key under the finger, or both cleared outside
void keyboard_touch_drag(TouchEvent touch); // as the press
void keyboard_touch_up(TouchEvent touch);   // as the press, then the key delivered (or shift toggled); lens off, no key

// Layout, state and magnifier (tests, and the drawing)
const Keyboard *keyboard_get(void);         // the built keyboard, null before keyboard_build_default
const KeyboardLayout *keyboard_layout(void); // the current layout, null before keyboard_build_default
const Key *keyboard_pressed_key(void);      // key under the finger, or null
int keyboard_shift_on(void);                // 1 while shift is on
void keyboard_set_shift(int on);            // sets the shift state (tests, fresh starts)
int keyboard_lens_active(void);             // 1 while a finger is down inside the keyboard
const Rect *keyboard_drawn_rect(void);      // where the keyboard was last drawn: bounds, or the magnified extent
double keyboard_lens_scale(float a, float lo, float hi, float c); // magnifier's local scale at a (axis lo..hi, finger at c)
double keyboard_lens_integral(float a, float lo, float hi, float c); // its integral: F(b) - F(a) is the magnified length a..b
// clang-format on
