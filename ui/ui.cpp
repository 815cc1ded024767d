// User interface: the menu stays closed and the keyboard hidden in this
// program; these entry points keep the shell's and dispatch's shape fixed
// until the menu and keyboard issue fills them.
#include "ui/ui.h"

void menu_startup_hook(void) {}
void menu_shutdown_hook(void) {}
void menu_init(void) {}
int menu_active(void) { return 0; }
void menu_update(float) {}
void menu_draw(const Rect *) {}
void menu_key(int) {}
void menu_touch_down(TouchEvent) {}
void menu_touch_drag(TouchEvent) {}
void menu_touch_up(TouchEvent) {}
void menu_close(void) {}

void keyboard_layout_init(void) {}
int keyboard_is_shown(void) { return 0; }
void keyboard_draw(const Rect *) {}
void keyboard_touch_down(TouchEvent) {}
void keyboard_touch_drag(TouchEvent) {}
void keyboard_touch_up(TouchEvent) {}
