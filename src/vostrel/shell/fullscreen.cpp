// Application shell: fullscreen and kiosk. A video mode fills the display
// when either is asked for and the driver gives one, the screen scaled into
// it; a kiosk also hides the pointer. The leave gesture belongs to
// --fullscreen alone: input raises it in the corner the application names
// (app_leave_corner) and the shell's poll acts on it; a kiosk has none, so
// nobody at the touch screen can reach the desktop behind it.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/diag/diag.h>
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>
#include <vostrel/render/render.h>

#include <SDL.h>
#include <stdio.h>

static struct {
    int fullscreen;            // asked for (--fullscreen, --kiosk)
    int kiosk;                 // pointer hidden, screen blanking held off, no leave gesture
    int windowed;              // fullscreen was refused or left: every later mode is a window
    int active;                // the current mode fills the display
    int screen_w, screen_h;    // the screen's size in screen pixels, for a mode made anew
    SDL_Cursor *blank_cursor;  // a kiosk's pointer
    SDL_Cursor *normal_cursor; // SDL's own, shown again on leaving
} fullscreen;

void shell_request_fullscreen(int kiosk) {
    fullscreen.fullscreen = 1;
    fullscreen.kiosk = fullscreen.kiosk || kiosk;
}

int shell_fullscreen_active(void) { return fullscreen.active; }
int shell_fullscreen_requested(void) { return fullscreen.kiosk ? 2 : fullscreen.fullscreen; }

int shell_leave_corner(void) {
    if (fullscreen.kiosk) return LEAVE_OFF;
    const int corner = app_leave_corner();
    return corner >= LEAVE_TOP_LEFT && corner <= LEAVE_BOTTOM_RIGHT ? corner : LEAVE_OFF;
}

// The screen scaled uniformly to the largest size the display holds, centred;
// the rest of the window stays as the frame's clear leaves it (black).
static void place_screen(int width, int height, int window_w, int window_h) {
    float sx = static_cast<float>(window_w) / static_cast<float>(width);
    float sy = static_cast<float>(window_h) / static_cast<float>(height);
    float scale = sx < sy ? sx : sy;
    int shown_w = static_cast<int>(static_cast<float>(width) * scale);
    int shown_h = static_cast<int>(static_cast<float>(height) * scale);
    int left = (window_w - shown_w) / 2;
    int top = (window_h - shown_h) / 2;
    gl_set_display_area(scale, static_cast<float>(left),
                        static_cast<float>(window_h - top - shown_h));
    input_set_window_area(scale, static_cast<float>(left), static_cast<float>(top));
}

static void place_identity(void) {
    gl_set_display_area(1.0f, 0.0f, 0.0f);
    input_set_window_area(0.0f, 0.0f, 0.0f);
}

// A pointer of no pixels, not SDL_ShowCursor(SDL_DISABLE): sdl12-compat
// takes a hidden pointer in a fullscreen window for relative mouse mode, in
// which absolute touch positions no longer reach the program as they are.
static void hide_pointer(void) {
    static uint8_t blank[8];
    if (!fullscreen.blank_cursor)
        fullscreen.blank_cursor = SDL_CreateCursor(blank, blank, 8, 8, 0, 0);
    if (!fullscreen.normal_cursor) fullscreen.normal_cursor = SDL_GetCursor();
    if (fullscreen.blank_cursor) SDL_SetCursor(fullscreen.blank_cursor);
}

SDL_Surface *shell_display_set_mode(int width, int height, uint32_t flags) {
    fullscreen.screen_w = width;
    fullscreen.screen_h = height;
    fullscreen.active = 0;
    input_set_leave_corner(LEAVE_OFF);
    if (fullscreen.fullscreen && !fullscreen.windowed) {
        char why[160] = "";
        SDL_Surface *s = nullptr;
        int display_w = 0, display_h = 0;
        shell_display_size(&display_w, &display_h);
        if (display_w <= 0 || display_h <= 0)
            snprintf(why, sizeof why, "the video driver reports no display size");
        else if (!(s = SDL_SetVideoMode(display_w, display_h, 0, flags | SDL_FULLSCREEN)))
            snprintf(why, sizeof why, "%s", SDL_GetError());
        else if (!(s->flags & SDL_FULLSCREEN))
            snprintf(why, sizeof why, "the video driver gave a window");
        if (!why[0]) {
            fullscreen.active = 1;
            place_screen(width, height, s->w, s->h);
            if (fullscreen.kiosk) hide_pointer();
            input_set_leave_corner(shell_leave_corner());
            return s;
        }
        log_printf(LOG_WARNING, "Fullscreen is not available (%s): running in a window", why);
        fullscreen.windowed = 1;
    }
    place_identity();
    return SDL_SetVideoMode(width, height, 0, flags);
}

// The next video mode is a window; the shell reopens it as after a resize.
void shell_leave_fullscreen(void) {
    if (!fullscreen.active) return;
    log_printf(LOG_INFO, "Leaving fullscreen");
    fullscreen.windowed = 1;
    if (fullscreen.normal_cursor) SDL_SetCursor(fullscreen.normal_cursor);
    shell_open_window(fullscreen.screen_w, fullscreen.screen_h);
}
