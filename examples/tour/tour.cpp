// Vostrel Tour: a small application on the Vostrel framework, written to be
// copied as the start of a new one.
//
// One 320 x 480 screen: a Menu button, a line that the on-screen keyboard
// types into, a box and a cylinder turning in a 3D view, a marker that tweens
// from side to side, a hint that a timer reveals after start-up and the
// tour's own compiled-in picture. Return or
// the Menu button opens the menu; a tap on the line shows the keyboard, whose
// Return key hides it again; the Up arrow takes a screenshot ("tour.png" in the
// base directory). The menu has an on/off item for the key clicks, the
// keyboard, a notice, the About page and a Close item. The typed line is kept
// in the session file from one run to the next.
//
// The framework calls the application only through the hooks declared in
// shell/shell.h; every one of them is defined below, in the order it is first
// called, most of them in one line.
#include <vostrel/anim/anim.h>
#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>
#include <vostrel/render/render.h>
#include <vostrel/shell/shell.h>
#include <vostrel/text/text.h>
#include <vostrel/ui/ui.h>

#include <GLES/gl.h>
#include <string.h>

// The window caption and the stem of the log, options and session file names.
const char APP_NAME[] = "Vostrel Tour";

// What --version and --help say of the tour, beside the framework's options.
const char *app_version(void) { return "1.0"; }
// The Menu button spans the top of the screen: --fullscreen is left from the
// empty bottom-left corner instead.
int app_leave_corner(void) { return LEAVE_BOTTOM_LEFT; }
const HelpLine *app_help_lines(void) {
    static const HelpLine lines[] = {
        {"", "Vostrel Tour, a small application that shows the framework's parts."},
        {".session", "the line typed last, restored at the next start"},
        {nullptr, nullptr},
    };
    return lines;
}

int main(int argc, char **argv) { return shell_main(argc, argv); }

// logo.png, compiled in by vostrel_asset_records (CMakeLists.txt).
extern "C" const AssetRecord asset_logo_png;

namespace {

// The screen is drawn in a 320 x 480 space (y up), grown to the window's
// aspect, so the layout below holds for any window size.
const Rect layout_space = {0.0f, 320.0f, 0.0f, 480.0f};
const Rect menu_button = {10.0f, 310.0f, 430.0f, 470.0f};
const Rect line_box = {10.0f, 310.0f, 360.0f, 420.0f};
const Rect view_box = {40.0f, 280.0f, 250.0f, 350.0f};
const Rect logo_box = {250.0f, 310.0f, 20.0f, 80.0f};
constexpr float MARKER_Y = 200.0f;
constexpr float MARKER_LEFT = 40.0f, MARKER_RIGHT = 280.0f;
constexpr float LINE_TEXT_SIZE = 32.0f;
constexpr int LINE_SIZE =
    16; // bytes of the typed line, terminator included: 15 characters fit the box

const Rgba grey = {128, 128, 128, 255};
const Rgba dark = {64, 64, 64, 222};
const Rgba white = {255, 255, 255, 255};
const Rgba amber = {255, 176, 0, 255};
const Rgba teal = {0, 170, 170, 255};

Rect space = layout_space; // layout_space grown to the screen's aspect
Rect screen_pixels;        // the screen, for the 3D view's viewport

char line[LINE_SIZE];         // typed text
float marker_x = MARKER_LEFT; // tweened back and forth
float spin;                   // degrees, turned every update
int hint_shown;               // set by a timer after start-up
int clicks_on = 1;            // menu toggle: keys click
unsigned logo_texture;        // made again for every new GL context

MenuPage tour_page;
const char CLICKS_LABEL[] = "Key clicks";

// The keyboard's callback: one typed character.
void type_character(int c) {
    size_t n = strlen(line);
    if (c == KEY_RETURN) {
        keyboard_hide();
        if (clicks_on) sound_play(&sound_bubble, 0);
        return;
    }
    if (c == '<') { // the wide "<" key rubs out
        if (n > 0) line[n - 1] = 0;
    } else if (n + 1 < sizeof line) {
        line[n] = static_cast<char>(c);
        line[n + 1] = 0;
    }
    if (clicks_on) sound_play(&sound_click, 0);
}

// Menu handlers: each receives its handler's two data words (unused here).
void toggle_clicks(void **) {
    menu_toggle_label(MENU_LABEL_FLIP, CLICKS_LABEL, tour_page.items[0].label, &clicks_on);
}
void open_keyboard(void **) {
    menu_close();
    keyboard_show(type_character);
}
void post_notice(void **) { notice_post("A notice: any touch or key dismisses it", 3.0f); }

MenuHandler handler(MenuHandlerFn f) { return {f, {nullptr, nullptr}}; }

void open_menu(void) {
    MenuHandler open = menu_transition_handler(MENU_MODE_OPEN, &tour_page);
    menu_run_handler(&open);
}

// The point of a touch in layout space.
void touch_point(const TouchEvent &touch, float *x, float *y) {
    *x = touch.points[0].x;
    *y = touch.points[0].y;
    rect_map_point(&app_input_rect, &space, x, y);
}

// A box and a cylinder, lit, through a perspective camera whose viewport is
// view_box on the screen. camera_setup loads both matrices: the model-view is
// saved around it, since 2D drawing (gl_begin_2d) sets only the projection.
void draw_view(void) {
    glPushMatrix();
    float x0 = view_box.left, y0 = view_box.bottom, x1 = view_box.right, y1 = view_box.top;
    rect_map_point(&space, &screen_pixels, &x0, &y0);
    rect_map_point(&space, &screen_pixels, &x1, &y1);
    const Rect viewport = {x0, x1, y0, y1};
    gl_set_viewport(&viewport);
    const float eye[3] = {0.0f, 1.2f, 3.2f}, target[3] = {0.0f, 0.0f, 0.0f},
                up[3] = {0.0f, 1.0f, 0.0f};
    camera_setup(eye, target, up, 45.0f, rect_aspect(&viewport), 0.5f, 20.0f);
    const float light[4] = {1.0f, 2.0f, 3.0f, 0.0f};
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glEnable(GL_NORMALIZE);

    glPushMatrix();
    glTranslatef(-1.0f, 0.0f, 0.0f);
    glRotatef(spin, 0.3f, 1.0f, 0.0f);
    gl_set_color(amber);
    const Rect face = {-0.6f, 0.6f, -0.6f, 0.6f};
    draw_box(&face, 1, 1.2f);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(1.0f, 0.0f, 0.0f);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f); // the cylinder's axis is z: stand it up
    glRotatef(spin, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -0.6f);
    gl_set_color(teal);
    draw_cylinder(0.6f, 6.2831855f, 1, 1.2f);
    glPopMatrix();

    glDisable(GL_LIGHT0);
    glDisable(GL_NORMALIZE);
    gl_set_viewport(&screen_pixels);
    glPopMatrix();
}

} // namespace

// ---- Application hooks (shell/shell.h) ----

void app_gl_ready(void) { logo_texture = texture_from_asset(&asset_logo_png); }

void app_layout(const Rect *screen) {
    app_input_rect = *screen;
    screen_pixels = *screen;
    space = layout_space;
    rect_grow_to_aspect(screen, &space);
}

void app_init(void) {
    keyboard_hide();
    hint_shown = 0;
    // A timer is blocking: app_update and menu input wait until it is due.
    timer_set_int(&hint_shown, 1, 1.0f);
}

void app_menu_built(void) {
    memset(&tour_page, 0, sizeof tour_page);
    menu_set_text(tour_page.title, "Tour");
    menu_toggle_label(MENU_LABEL_SHOW, CLICKS_LABEL, tour_page.items[0].label, &clicks_on);
    tour_page.items[0].on_activate = handler(toggle_clicks);
    menu_set_text(tour_page.items[1].label, "Keyboard");
    tour_page.items[1].on_activate = handler(open_keyboard);
    menu_set_text(tour_page.items[2].label, "Notice");
    tour_page.items[2].on_activate = handler(post_notice);
    menu_set_text(tour_page.items[3].label, "About");
    tour_page.items[3].on_activate = menu_transition_handler(MENU_MODE_OPEN, menu_about_page());
    tour_page.item_count = 4;
    menu_set_text(tour_page.items[MENU_BACK_ITEM].label, "Close");
    tour_page.items[MENU_BACK_ITEM].on_activate = handler(menu_close_handler);
    menu_set_about_text("A tour of the Vostrel framework: menus, the keyboard, notices, "
                        "tweens, text and a 3D view.");
}

void app_init_done(void) { shell_load_session(); }

void app_pre_update(float dt) {
    // Runs on every tick, even while a menu is open or a timer blocks.
    spin += 45.0f * dt;
    if (spin >= 360.0f) spin -= 360.0f;
    picture_changed(); // the turning view: no input or tween tells the framework of it
    if (marker_x == MARKER_LEFT) tween_start_background(&marker_x, MARKER_RIGHT, 1.5f);
    if (marker_x == MARKER_RIGHT) tween_start_background(&marker_x, MARKER_LEFT, 1.5f);
}

void app_draw(const Rect *screen) {
    app_input_rect = *screen;
    draw_view();
    glPushMatrix();
    gl_begin_2d(&space); // after the 3D view: depth test and lighting off again
    gl_begin_2d(&space);
    draw_label_box(&menu_button, "Menu", dark, grey);

    gl_set_color(dark);
    draw_rect(&line_box, 1);
    gl_set_color(grey);
    draw_rect(&line_box, 0);
    gl_set_color(white);
    text_draw_aligned(line, LINE_TEXT_SIZE, line_box.left + 8.0f, rect_center_y(&line_box),
                      TEXT_ALIGN_LEFT, TEXT_ALIGN_CENTRE);

    gl_set_color(grey);
    text_draw(line[0] ? "tap the line to type more" : "tap the line to type", 16.0f, 160.0f,
              235.0f);
    const Rect marker = {marker_x - 15.0f, marker_x + 15.0f, MARKER_Y - 15.0f, MARKER_Y + 15.0f};
    gl_set_color(amber);
    draw_rect(&marker, 1);
    gl_set_color(white);
    draw_textured_rect(&logo_box, logo_texture);
    if (hint_shown) {
        gl_set_color(grey);
        text_draw("Return: menu    Up: screenshot", 16.0f, 160.0f, 120.0f);
    }
    glPopMatrix();
}

void app_key(int code) {
    if (code == NAV_SELECT) open_menu();
    if (code == NAV_UP) shell_request_screenshot("tour.png");
}

void app_touch_up(TouchEvent touch) {
    float x, y;
    touch_point(touch, &x, &y);
    if (rect_contains(&menu_button, x, y)) open_menu();
    if (rect_contains(&line_box, x, y)) keyboard_show(type_character);
}

// The session holds the typed line: written at quit, read back by the next start.
int app_load_session(void) { return session_read(line, sizeof line); }
void app_session_loaded(void) { line[sizeof line - 1] = 0; }
void app_save_session(void) {
    if (line[0]) session_write(line, sizeof line);
}
