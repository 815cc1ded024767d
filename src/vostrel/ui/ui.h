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
// menu_active and keyboard_is_shown. This header is what an application
// builds pages and shows the keyboard with; the steps the shell and input
// dispatch drive (drawing, touches, keys, start-up) and the geometry the
// tests read are in ui_internal.h. Main thread only; drawing needs the GL
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
int menu_active(void);                 // 1 while a page is open
void menu_close(void);                 // closes every page and frees the page stack
void menu_run_handler(MenuHandler *h);  // calls h's function with &h->data[0]; nothing if it has none
void menu_transition(void **data);      // handler: MenuTransition words; opens (pushing the current page) or goes back, then slides
void menu_close_handler(void **data);   // handler: menu_close; data ignored
void menu_quit_handler(void **data);    // handler: the shell's quit path with the quit flag set; data ignored
MenuHandler menu_transition_handler(int mode, MenuPage *page); // handler running menu_transition; a mode other than MENU_MODE_OPEN/MENU_MODE_BACK gives a handler that does nothing
void menu_toggle_label(int action, const char *base, char *out, int *flag); // MENU_LABEL_FLIP/MENU_LABEL_FLIP_ALT flip *flag first, any other action only writes; out (MENU_TEXT_SIZE bytes) = base + ": On"/": Off", truncated; then app_menu_label
void menu_set_text(char *dest, const char *text); // bounded copy into a MENU_TEXT_SIZE label or title buffer; null text gives ""
void menu_set_about_text(const char *text); // text shown by the About page (null: empty); the caller keeps it alive
MenuPage *menu_about_page(void);        // the About page prepared by menu_init
MenuPage *menu_current_page(void);      // open page, or null while closed

// ---- On-screen keyboard ------------------------------------------------------

constexpr int KEY_RETURN = 13;           // delivered like a character

typedef void (*KeyCallback)(int character); // receives each typed character

// On-screen keyboard (hidden for the whole run)
void keyboard_show(KeyCallback callback);   // shown; callback may be null (then nothing is delivered)
void keyboard_hide(void);                   // hidden; callback dropped; shift kept
int keyboard_is_shown(void);                // 1 while shown
// clang-format on
