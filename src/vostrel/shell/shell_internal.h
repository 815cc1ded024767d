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

extern int quit_requested;        // the loop ends at the top of the next turn; never cleared
extern int paused;                // the loop blocks on events while set
extern float last_update_time;    // seconds of the last update tick
extern int shutdown_done;         // the shutdown sequence has run
extern char screenshot_request[512]; // file to write after the next frame; "" for none

// Start-up steps (display.cpp, loop.cpp)
int shell_display_open(void); // DISPLAY checked, the X display held, SDL's video and audio started; 0 after a failure said
int shell_fullscreen_requested(void); // 0 windowed, 1 --fullscreen, 2 --kiosk: what the command line asked for (tests)
SDL_Surface *shell_display_set_mode(int width, int height, uint32_t flags); // SDL_SetVideoMode for a width x height screen: windowed, or filling the display when fullscreen is asked for and can be had (else one WARNING and windowed); sets the viewport's and the mouse's display area
void shell_start_failure(const char *what, const char *reason); // said on stderr and in the log, then the quit path; exit status 1; reason null means SDL's error

// Seams: a clock and a sleep the tests control (null restores SDL's); counters
void shell_set_clock(float (*clock)(void));
void shell_set_sleep(void (*sleeper)(int milliseconds));
int shell_frames_drawn(void); // frames drawn since start (tests, benchmarks)
int shell_updates_run(void);      // update ticks run since start (tests)
float shell_last_update_dt(void); // dt handed to the latest update tick; 0 before the first (tests)
// clang-format on
