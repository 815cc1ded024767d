// Application shell: the entry point's run function, the main loop with its
// paused and running turns, the initialisation chain, the one-time shutdown
// sequence, the command line, session files and screenshot requests. The
// loop's own steps, the drawing context's life and the start-up chain are in
// shell_internal.h.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>

constexpr int SCREEN_WIDTH = 320;
constexpr int SCREEN_HEIGHT = 480;

// Process entry
int shell_main(int argc, char **argv); // shell_early_options, heap tuning, PDL_Init (PDL_Quit at exit), shell_run at 320 x 480; an application's main returns this
int shell_early_options(int argc, char **argv); // "--help"/"--version" print the application's help and version (app_help_lines, app_version) to stdout and give 0 (exit with it); "--xdg-state" moves the base directory to the state folder; else -1

// Main loop
int shell_run(int argc, char **argv, int width, int height); // whole program life; 0 on a normal quit, 1 if SDL, audio or video failed to start
float shell_seconds(void);                     // SDL_GetTicks / 1000
void shell_set_paused(int flag);               // stores the flag
void shell_request_quit(int code);             // ends the loop at its next turn
void shell_set_power_save(int flag);           // 1: a running turn presents a frame only when the picture changed (and the swap chain's turns after); 0: every turn (the default); "--power-save" sets 1
int shell_power_save(void);                    // the flag in force
void shell_set_latency(int mode);              // SHELL_LATENCY_LOW or SHELL_LATENCY_NORMAL for the device opened at start-up; anything else undoes the choice (back to the default); "--latency low|normal" sets it
void shell_set_latency_default(int mode);      // the mode used when none was set ("--kiosk" sets SHELL_LATENCY_LOW; an application may for its own reasons)
int shell_latency(void);                       // the mode in force: the one set, else the default, else SHELL_LATENCY_NORMAL
void shell_set_audio_device(const char *name); // the output the device opened at start-up plays on (a sound server's sink or an ALSA device; null or "" for the default); "--audio-device NAME" sets it; the name is not copied
constexpr int SHELL_LATENCY_NORMAL = 0; // chunks of SOUND_CHUNK_FRAMES, a running turn sleeps its 20 ms
constexpr int SHELL_LATENCY_LOW = 1;    // chunks of SOUND_CHUNK_FRAMES_LOW, the server asked for a matching buffer, a running turn's sleep ends at input

// Watched descriptors: the loop polls them every turn and calls back, on the main thread, for each readable one (a hang-up or an error counts); a readable one ends the power-saving sleep and the hidden window's wait at once. A callback reads what is there (or unwatches), and calls picture_changed when it changed the picture.
int shell_watch_fd(int fd, void (*ready)(int fd, void *data), void *data); // 1 on success; 0 if fd < 0, ready is null or all 16 slots are taken; watching a watched fd replaces its callback and data
void shell_unwatch_fd(int fd);                 // no longer watched; nothing if it was not; a watched fd must be unwatched before it is closed

// Drawing context: an OpenGL ES 1.1 context on an EGL window surface made on SDL's X11 window, else SDL's own OpenGL context
constexpr int CONTEXT_AUTO = 0;    // ES through EGL where it can be made, else SDL's OpenGL context
constexpr int CONTEXT_ES = 1;      // ES through EGL only
constexpr int CONTEXT_DESKTOP = 2; // SDL_OPENGL only
void shell_request_context(int path);           // the path the first window takes; anything but CONTEXT_ES/CONTEXT_DESKTOP means CONTEXT_AUTO
int shell_context_path(void);                   // CONTEXT_ES or CONTEXT_DESKTOP in use; 0 before a window opened or after close

// Fullscreen (fullscreen.cpp)
void shell_request_fullscreen(int kiosk); // the video modes fill the display, the screen scaled into it; kiosk also hides the pointer, holds screen blanking off and has no leave gesture; before shell_run's window
void shell_leave_fullscreen(void);        // from now on a window of the screen's size, pointer shown; nothing when not fullscreen (the leave gesture calls it; an application may, kiosk or not)
int shell_fullscreen_active(void);        // 1 while the window fills the display

// Session file ("<app name>.session": native 32-bit length, then the payload)
void shell_load_session(void);                   // asks the application to restore (app_load_session)
int session_write(const void *data, int length); // 1 if both writes succeeded
int session_read(void *buffer, int length);      // 1 if the length matched and all was read; the file is deleted either way; buffer untouched on failure

// Screenshots
void shell_request_screenshot(const char *name); // "Taking screenshot"; written after the next frame

// Application hooks: the framework calls them on the main thread, in the orders
// of the start-up chain, the loop and dispatch. An application defines APP_NAME
// and main, and only the hooks it uses: the framework's defaults (shell/hooks.cpp)
// do nothing, and app_load_session's returns 0. Touches arrive mapped into
// app_input_rect, which the application sets (normally in app_layout) to the
// part of the screen it owns.
extern const char APP_NAME[];          // the application's name (diag/diag.h): window caption, About credit, file-name stem
struct HelpLine { const char *key; const char *text; }; // one entry of the application's --help: key "" the line under "Usage:", an option ("--size N"), or a file suffix ("_log.txt", ".conf", ".session"); text's lines split by '\n', "%s" in it the program's name, null to leave a common option or file out
const char *app_version(void);          // the application's own version for --version; null (the default): the framework's version, said as such
int app_leave_corner(void);             // a LeaveCorner (input.h): where --fullscreen's leave gesture is held; LEAVE_TOP_LEFT by default, LEAVE_OFF for none
const HelpLine *app_help_lines(void);   // the application's --help entries, ended by {nullptr, nullptr}: an option or file of the framework's takes these words, any other option is listed after them; null (the default): none
void app_gl_ready(void);               // GL state, textures and meshes are ready (start-up and every resize)
void app_layout(const Rect *screen);   // the screen rectangle was set: lay out, set app_input_rect
void app_init(void);                   // once, after the keyboard layout: build state, load sounds
void app_init_done(void);              // end of the start-up chain
void app_menu_built(void);             // the menu and its About page were just built
void app_menu_label(void);             // an on/off label was just rewritten by menu_toggle_label
void app_pre_update(float dt);         // every update tick, first, even while blocked
void app_update(float dt);             // update tick while no menu is open and nothing blocks
void app_pre_draw(const Rect *screen); // every frame, before the menu or the application draws
void app_draw(const Rect *screen);     // the frame while no menu is open
void app_key(int code);                // a NavKey no notice or menu took
void app_key_press(int sdl_key, int down); // any other key's press (down 1) or release (down 0), when no notice, keyboard or menu is showing
void app_touch_down(TouchEvent touch); // press, mapped into app_input_rect
void app_touch_drag(TouchEvent touch); // drag, mapped into app_input_rect
void app_touch_up(TouchEvent touch);   // release, mapped into app_input_rect
int app_load_session(void);            // 1 if a stored session was restored (then app_session_loaded follows)
void app_session_loaded(void);         // after a restored session
void app_save_session(void);           // before shutdown: write a session with session_write, or nothing
void app_shutdown(void);               // in the shutdown sequence, after tweens

// clang-format on
