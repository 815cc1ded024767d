// User interface: the paged menu system and the on-screen keyboard.
//
// Menu: pages of up to six items plus a back item under a red title, drawn in
// place of the application's screen while a page is open, with a half-second
// slide between pages during which the page is inert. Items run handlers
// (callbacks with two pointer-sized data words). Geometry is in menu units,
// the square (-100, 100, -100, 100), y up.
//
// Keyboard: a touch keyboard over the lower half of the screen; while shown it
// takes every touch (never navigation keys) and hands each typed character to
// a callback. Keys near the finger are drawn magnified. Geometry is in keyboard
// units, one ordinary key 1 x 1.
//
// An application that opens no menu page and never shows the keyboard pays
// for neither: the shell and input dispatch look at them only through
// menu_active and keyboard_is_shown. Main thread only; drawing needs the GL
// context.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>

#include <stdint.h>

// ---- Menu ------------------------------------------------------------------

constexpr int MENU_TEXT_SIZE = 64;   // bytes of a label or title, terminator included
constexpr int MENU_ITEM_SLOTS = 7;   // six regular items and the back item
constexpr int MENU_MAX_ITEMS = 6;    // regular items a page can hold
constexpr int MENU_BACK_ITEM = 6;    // slot of the back item, always selectable
constexpr int MENU_MODE_OPEN = 0;    // menu_transition: open the page in the second word
constexpr int MENU_MODE_BACK = 1;    // menu_transition: back to the previous page
constexpr float MENU_SLIDE_SECONDS = 0.5f; // length of the page slide
constexpr int MENU_LABEL_SHOW = 0;     // menu_toggle_label: write the label for the flag as it is
constexpr int MENU_LABEL_FLIP = 4;     // menu_toggle_label: flip the flag, then write the label
constexpr int MENU_LABEL_FLIP_ALT = 5; // menu_toggle_label: the same as MENU_LABEL_FLIP
extern const Rect menu_space;        // (-100, 100, -100, 100): the layout square

// Handler function: receives a pointer to the handler's first data word (data[0]; data[1] follows).
typedef void (*MenuHandlerFn)(void **data);

// A callback slot; running it calls function(&data[0]) if function is set, else nothing.
struct MenuHandler {
    MenuHandlerFn function;
    void *data[2];            // pointer-sized words, so they hold whole pointers on 64-bit hosts
};

struct MenuItem {
    char label[MENU_TEXT_SIZE]; // zero-terminated
    MenuHandler on_activate;    // select key, or a release on the item
    MenuHandler on_right;       // right key, release right of centre; stands in for an empty on_activate
    MenuHandler on_left;        // left key, release left of centre
};

struct MenuPage {
    char title[MENU_TEXT_SIZE];          // zero-terminated
    MenuItem items[MENU_ITEM_SLOTS];     // 0..5 regular, 6 the back item
    int32_t item_count;                  // regular items in use (0..6)
    int32_t selected;                    // highlighted slot, -1 for none
    MenuHandler draw_extra;              // run after the items; data[0] receives a pointer to the free area (const Rect *)
};

// The two data words of a menu_transition handler, in order.
struct MenuTransition {
    const int *mode;  // points to MENU_MODE_OPEN or MENU_MODE_BACK; null counts as open
    MenuPage *page;   // the page to open; ignored when going back
};

// Menu (closed for the whole run until a page is opened)
void menu_startup_hook(void);          // start-up chain step 5; nothing to do
void menu_shutdown_hook(void);         // shutdown step 9; frees the page stack (closes the menu)
void menu_init(void);                  // rows laid out, menu_gl_init, About page prepared, app_menu_built
void menu_gl_init(void);               // appends the item shape to the vertex store (new GL context); pages, rows and highlight untouched
int menu_active(void);                 // 1 while a page is open
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
void menu_close(void);                  // closes every page and frees the page stack
void menu_run_handler(MenuHandler *h);  // calls h's function with &h->data[0]; nothing if it has none
void menu_transition(void **data);      // handler: MenuTransition words; opens (pushing the current page) or goes back, then slides
void menu_close_handler(void **data);   // handler: menu_close; data ignored
void menu_quit_handler(void **data);    // handler: the shell's quit path with the quit flag set; data ignored
void menu_draw_about(void **data);      // handler: the About page's draw_extra; data[0] is the free area (const Rect *)
MenuHandler menu_transition_handler(int mode, MenuPage *page); // handler running menu_transition; a mode other than MENU_MODE_OPEN/MENU_MODE_BACK gives a handler that does nothing
void menu_toggle_label(int action, const char *base, char *out, int *flag); // MENU_LABEL_FLIP/MENU_LABEL_FLIP_ALT flip *flag first, any other action only writes; out (MENU_TEXT_SIZE bytes) = base + ": On"/": Off", truncated; then app_menu_label
void menu_set_text(char *dest, const char *text); // bounded copy into a MENU_TEXT_SIZE label or title buffer; null text gives ""
void menu_set_about_text(const char *text); // text shown by the About page (null: empty); the caller keeps it alive
MenuPage *menu_about_page(void);        // the About page prepared by menu_init
MenuPage *menu_current_page(void);      // open page, or null while closed
int menu_stack_depth(void);             // pages on the page stack (tests)
const Rect *menu_title_rect(void);      // title's current (animated) rectangle
const Rect *menu_item_rect(int i);      // current rectangle of slot i (0..6); null outside
const Rect *menu_item_target(int i);    // resting rectangle of slot i (0..6); null outside
int menu_item_shape(void);              // first of the 6 item-shape vertices; -1 before menu_init

// ---- On-screen keyboard ------------------------------------------------------

constexpr int KEY_SHIFT = 12;            // toggles shift; never delivered
constexpr int KEY_RETURN = 13;           // delivered like a character
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

typedef void (*KeyCallback)(int character); // receives each typed character

// On-screen keyboard (hidden for the whole run)
void keyboard_layout_init(void);            // start-up chain step 10: keyboard_build_default the first time; later calls change nothing
void keyboard_build_default(void);          // clears the keyboard and builds the 33-key "default" layout and the bounds
void keyboard_show(KeyCallback callback);   // shown; callback may be null (then nothing is delivered)
void keyboard_hide(void);                   // hidden; callback dropped; shift kept
int keyboard_is_shown(void);                // 1 while shown
void keyboard_draw(const Rect *screen);     // drawn on top of the frame; sets keyboard_input_rect; nothing before the layout is built
void keyboard_touch_down(TouchEvent touch); // mapped into keyboard_input_rect: lens on and key under the finger, or both cleared outside
void keyboard_touch_drag(TouchEvent touch); // as the press
void keyboard_touch_up(TouchEvent touch);   // as the press, then the key delivered (or shift toggled); lens off, no key
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
