// Application shell, inside: the loop's and the shutdown's state, and the
// seams through which tests and benchmarks drive and watch the loop. An
// application changes this state only through shell.h (shell_request_quit,
// shell_set_paused, shell_request_screenshot).
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/shell/shell.h>

#include <stdint.h>

struct SDL_Surface;
union SDL_Event;

extern int quit_requested;        // the loop ends at the top of the next turn; never cleared
extern int paused;                // the loop blocks on events while set
extern float last_update_time;    // seconds of the last update tick
extern int shutdown_done;         // the shutdown sequence has run
extern char screenshot_request[512]; // file to write after the next frame; "" for none

// The loop's own steps (tests and benchmarks drive them one at a time)
void shell_open_window(int width, int height); // video mode, caption, initialisation chain, screen rect
int shell_turn(void);                          // one loop turn; 0 once quit was requested (nothing done)
void shell_present(void);                      // draw a frame, then swap
void shell_update(float dt);                   // one update tick
void shell_draw_frame(void);                   // one frame, without the swap
void shell_poll_events(void);                  // drains SDL's queue
int shell_wait_event(void);                    // one SDL_WaitEvent while paused, handled: 1; 0 when a watched descriptor ended the wait instead (served)

// Drawing context's life (context.cpp)
int shell_context_open(int width, int height);  // video mode and a current context (a later call keeps the path and the ES context, remakes the surface); 0 with shell_context_failed_step/shell_context_error set
int shell_context_swap(void);                   // shows the frame: 1; 2 after a lost ES context was made anew (GL objects are gone); 0 if a loss could not be recovered or recurred before a good swap
const char *shell_context_failed_step(void);    // what failed last ("SDL_SetVideoMode", "OpenGL ES through EGL", "eglSwapBuffers")
const char *shell_context_error(void);          // why, with the EGL error's name where EGL failed
void shell_context_close(void);                 // releases EGL's surface, context and display; SDL's context ends with SDL_Quit
void shell_context_abandon(void);               // the display is gone: forgets EGL's objects without a call, so a later close makes none

// Start-up and shutdown steps
void shell_parse_command_line(int argc, char **argv); // "--log-level N", "--debug-level N", "--gl es|desktop", "--fullscreen", "--kiosk" (fullscreen, power saving, low latency by default), "--power-save", "--no-picture-cache", "--latency low|normal", "--audio-device NAME"
void shell_init(const Rect *window);                  // the initialisation chain
void shell_quit(int request_exit, int code);          // shutdown once, then the quit request if asked
void shell_save_session(void);                        // "Saving session", settle tweens, app_save_session
int session_stored_size(void);                   // the length word, 0 if missing, short, negative or more than the payload present

// Start-up steps (display.cpp, fullscreen.cpp, loop.cpp)
int shell_display_open(void); // DISPLAY checked, the X display held, SDL's video and audio started; 0 after a failure said
void shell_display_size(int *width, int *height); // the display's size before any video mode was set; 0 x 0 when unknown or before shell_display_open
int shell_fullscreen_requested(void); // 0 windowed, 1 --fullscreen, 2 --kiosk: what the command line asked for (tests)
int shell_leave_corner(void);         // the leave gesture's LeaveCorner while fullscreen: app_leave_corner's (unknown values LEAVE_OFF), LEAVE_OFF under --kiosk
SDL_Surface *shell_display_set_mode(int width, int height, uint32_t flags); // SDL_SetVideoMode for a width x height screen: windowed, or filling the display when fullscreen is asked for and can be had (else one WARNING and windowed); sets the viewport's and the mouse's display area and input's leave corner (shell_leave_corner while fullscreen, else LEAVE_OFF)
void shell_start_failure(const char *what, const char *reason); // said on stderr and in the log, then the quit path; exit status 1; reason null means SDL's error

// Waits (wait.cpp)
void shell_wait_input(int milliseconds);            // sleeps up to that long, ending early once SDL has an event for the loop (X11) or a watched descriptor is readable; on other video drivers only a watched descriptor ends it early
int shell_wait_event_or_watched(SDL_Event *event);  // SDL_WaitEvent while nothing is watched (1); else 1 with the next event taken, or 0 as soon as a watched descriptor is readable (event untouched)
int shell_serve_watched(void);                      // calls the callback of every watched descriptor readable now (hang-up and error count); 1 if one was called

// Seams: a clock and a sleep the tests control (null restores SDL's); counters
void shell_set_clock(float (*clock)(void));
void shell_set_sleep(void (*sleeper)(int milliseconds));
int shell_frames_drawn(void); // frames drawn since start (tests, benchmarks)
constexpr int PRESENT_AFTER_CHANGE = 2; // frames presented after the one that shows a change: a double-buffered swap's other buffer, and one more
int shell_present_due(void);  // power saving: 1 on a turn after a change of the frame (frame_take_change) and on the PRESENT_AFTER_CHANGE turns after it, else 0
int shell_updates_run(void);      // update ticks run since start (tests)
float shell_last_update_dt(void); // dt handed to the latest update tick; 0 before the first (tests)
// clang-format on
