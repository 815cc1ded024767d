// User interface: the paged menu system and the on-screen keyboard.
//
// In this program the application opens no menu page and never shows the
// keyboard; the shell and input dispatch reach them only through
// menu_active and keyboard_is_shown. The full menu and keyboard are built by
// a later issue in place of the functions below.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "input/input.h"

// Menu (closed for the whole run until a page is opened)
void menu_startup_hook(void);          // start-up chain step 5; nothing to do
void menu_shutdown_hook(void);         // shutdown step 9; nothing to release
void menu_init(void);                  // start-up chain step 13
int menu_active(void);                 // 1 while a page is open
void menu_update(float dt);            // second update stage while a page is open
void menu_draw(const Rect *screen);    // draws the open page
void menu_key(int code);               // navigation key
void menu_touch_down(TouchEvent touch); // press, mapped into menu_input_rect
void menu_touch_drag(TouchEvent touch); // drag, mapped into menu_input_rect
void menu_touch_up(TouchEvent touch);   // release, mapped into menu_input_rect
void menu_close(void);                  // closes every page

// On-screen keyboard (hidden for the whole run)
void keyboard_layout_init(void);            // start-up chain step 10
int keyboard_is_shown(void);                // 1 while shown
void keyboard_draw(const Rect *screen);     // drawn on top of the frame
void keyboard_touch_down(TouchEvent touch); // mapped into keyboard_input_rect
void keyboard_touch_drag(TouchEvent touch);
void keyboard_touch_up(TouchEvent touch);
// clang-format on
