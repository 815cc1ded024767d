// Tally: a counter on the Vostrel framework, built the way a newcomer builds
// an application against the installed framework. Tapping the lower half of
// the screen counts, with the application's own click.wav; the count is drawn
// in the framework's bitmap font and kept in the options file ("tally.conf").
#include <GLES/gl.h>
#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>
#include <vostrel/render/render.h>
#include <vostrel/settings/settings.h>
#include <vostrel/shell/shell.h>
#include <vostrel/text/text.h>

#include <stdio.h>

const char APP_NAME[] = "Tally";

// This application's own click.wav: the framework's is vostrel_asset_click_wav.
extern "C" const AssetRecord asset_click_wav;

const char *app_version(void) { return "0.3"; }

const HelpLine *app_help_lines(void) {
    static const HelpLine lines[] = {
        {"", "Tally, a counter: tap the lower half of the screen to count."},
        {".conf", "options: the count, saved at every tap"},
        {nullptr, nullptr},
    };
    return lines;
}

// The counting area is the lower half: the leave gesture takes the top right.
int app_leave_corner(void) { return LEAVE_TOP_RIGHT; }

static SoundRecord click;
static int count;
static Rect counting_area;

void app_layout(const Rect *screen) {
    app_input_rect = *screen; // touches in pixels, y up
    counting_area = {screen->left, screen->right, screen->bottom, rect_center_y(screen)};
}

void app_init(void) {
    sound_load(&asset_click_wav, &click);
    options_get("tally", "count", OPTION_INT, &count, sizeof count);
}

void app_touch_down(TouchEvent touch) {
    if (!rect_contains(&counting_area, touch.points[0].x, touch.points[0].y)) return;
    count++;
    options_set("tally", "count", OPTION_INT, &count);
    options_save(); // at once, not only at quit
    sound_play(&click, 0);
}

void app_draw(const Rect *screen) {
    const Rgba grey = {60, 60, 70, 255}, white = {255, 255, 255, 255};
    char text[16];
    snprintf(text, sizeof text, "%d", count);
    glPushMatrix();
    gl_begin_2d(screen);
    gl_set_color(grey);
    draw_rect(&counting_area, 1);
    gl_set_color(white);
    text_draw(text, 150.0f, rect_center_x(screen), screen->top - 120.0f); // digits 75 pixels tall
    text_draw("tap here", 32.0f, rect_center_x(&counting_area), rect_center_y(&counting_area));
    glPopMatrix();
}

int main(int argc, char **argv) { return shell_main(argc, argv); }
