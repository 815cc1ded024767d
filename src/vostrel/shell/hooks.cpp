// Do-nothing application hooks. Each is a weak definition, so an application
// defines only the hooks it uses: its own definition, in its own object file,
// takes the place of the one here at link time, whether the framework is
// linked as an archive or as objects. APP_NAME and main have no default: every
// application names itself and starts the shell (shell_main).
#include <vostrel/shell/shell.h>

#define VOSTREL_DEFAULT __attribute__((weak))

VOSTREL_DEFAULT void app_gl_ready(void) {}
VOSTREL_DEFAULT void app_layout(const Rect *) {}
VOSTREL_DEFAULT void app_init(void) {}
VOSTREL_DEFAULT void app_init_done(void) {}
VOSTREL_DEFAULT void app_menu_built(void) {}
VOSTREL_DEFAULT void app_menu_label(void) {}
VOSTREL_DEFAULT void app_pre_update(float) {}
VOSTREL_DEFAULT void app_update(float) {}
VOSTREL_DEFAULT void app_pre_draw(const Rect *) {}
VOSTREL_DEFAULT void app_draw(const Rect *) {}
VOSTREL_DEFAULT void app_key(int) {}
VOSTREL_DEFAULT void app_key_press(int, int) {}
VOSTREL_DEFAULT void app_touch_down(TouchEvent) {}
VOSTREL_DEFAULT void app_touch_drag(TouchEvent) {}
VOSTREL_DEFAULT void app_touch_up(TouchEvent) {}
VOSTREL_DEFAULT int app_load_session(void) { return 0; }
VOSTREL_DEFAULT void app_session_loaded(void) {}
VOSTREL_DEFAULT void app_save_session(void) {}
VOSTREL_DEFAULT void app_shutdown(void) {}
VOSTREL_DEFAULT const char *app_version(void) { return nullptr; }
VOSTREL_DEFAULT int app_leave_corner(void) { return LEAVE_TOP_LEFT; }
VOSTREL_DEFAULT const HelpLine *app_help_lines(void) { return nullptr; }
