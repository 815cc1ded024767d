// Application shell: the audio device, the window and the main loop. The
// display and SDL's start are display.cpp's; the waits and the watched
// descriptors are wait.cpp's.
//
// Running turn: drain events, serve the watched descriptors, at most one
// update per 1/30 s with the real elapsed time, a frame, a 20 ms sleep.
// Paused turn (application in the background): block on one event, then
// sleep 500 ms, or serve the watched descriptor that ended the wait; a quit
// request ends the loop in either state. The clock and the sleep go through two pointers
// so that tests can drive the loop turn by turn.
//
// With power saving on, a running turn draws and presents its frame only when
// the schedule here (shell_present_due) says so: on a change of what is on
// screen, as render/picture.cpp's marks record it, and on the turns a swap
// chain needs after it. The shell marks what
// it sees. The application's picture: every input event (bar a pointer
// moving with no button held), since its consumer may call back into the
// application; an update tick in which a tween or timer ran; a menu opening
// or closing; a new window or context. The frame alone: a notice or the
// keyboard shown or hidden, the log overlay's text grown, a screenshot
// request, activation and expose events. Its turns still come at least
// every 20 ms, and sooner when input arrives: the sleep ends at the first
// event from the X server or the first readable watched descriptor. A
// watched descriptor's callback marks the picture itself when it changed it.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/anim/anim_internal.h>
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>
#include <vostrel/threads/threads.h>
#include <vostrel/ui/ui_internal.h>
#include <vostrel/input/input_internal.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

constexpr float UPDATE_INTERVAL = 1.0f / 30.0f; // 0.033333335 in single precision
constexpr int RUNNING_SLEEP_MS = 20;
constexpr int PAUSED_SLEEP_MS = 500;
// Attribute 17 is the context's major version on the device's SDL; desktop
// SDL 1.2 does not know it and refuses it harmlessly.
constexpr int GL_CONTEXT_MAJOR_VERSION_ATTRIBUTE = 17;

int quit_requested;
int paused;
float last_update_time;

static struct {
    SDL_Event poll_event;
    SDL_Event wait_event;
    int window_open;  // the chain has run once; later video modes only rebuild GL state
    Rect window;      // the window as SDL gives it (y down), for set_screen_rect
    int start_failed; // SDL, audio or the video mode failed: exit status 1
    int frames;
    int updates;
    float last_dt;
    float (*clock)(void);
    void (*sleeper)(int);
    int power_save; // present only frames whose picture changed
    int turns_left; // frames still to present after the latest change (shell_present_due)
    int latency = -1, latency_default = -1; // SHELL_LATENCY_*, -1 when not chosen
    const char *audio_device;               // null: the default output
    // What the frame showed at the last look, to notice changes the rule must hear of.
    int notice_shown, menu_open, keyboard_shown, overlay_log_size;
} shell;

static float sdl_clock(void) { return static_cast<float>(SDL_GetTicks()) / 1000.0f; }

float shell_seconds(void) { return shell.clock ? shell.clock() : sdl_clock(); }
void shell_set_clock(float (*clock)(void)) { shell.clock = clock; }
void shell_set_sleep(void (*sleeper)(int)) { shell.sleeper = sleeper; }
int shell_frames_drawn(void) { return shell.frames; }

// The power-saving schedule: a change of the frame presents its turn's frame
// and the PRESENT_AFTER_CHANGE turns' after it, so that every buffer of a
// double-buffered swap chain holds the new picture.
int shell_present_due(void) {
    if (frame_take_change()) shell.turns_left = 1 + PRESENT_AFTER_CHANGE;
    if (shell.turns_left <= 0) return 0;
    shell.turns_left--;
    return 1;
}
int shell_updates_run(void) { return shell.updates; }
float shell_last_update_dt(void) { return shell.last_dt; }

static void shell_sleep(int ms) {
    if (shell.sleeper)
        shell.sleeper(ms);
    else
        sleep_ms(ms);
}

void shell_set_paused(int flag) { paused = flag; }
void shell_set_power_save(int flag) {
    shell.power_save = flag != 0;
    frame_changed();
}
int shell_power_save(void) { return shell.power_save; }

static int latency_mode(int mode) {
    return mode == SHELL_LATENCY_LOW || mode == SHELL_LATENCY_NORMAL ? mode : -1;
}
void shell_set_audio_device(const char *name) { shell.audio_device = name; }
void shell_set_latency(int mode) { shell.latency = latency_mode(mode); }
void shell_set_latency_default(int mode) { shell.latency_default = latency_mode(mode); }
int shell_latency(void) {
    if (shell.latency >= 0) return shell.latency;
    return shell.latency_default >= 0 ? shell.latency_default : SHELL_LATENCY_NORMAL;
}
void shell_request_quit(int) { quit_requested = 1; }

void shell_start_failure(const char *what, const char *reason) {
    const char *err = reason ? reason : SDL_GetError();
    char program[64];
    app_file_name("", 1, program, sizeof program);
    fprintf(stderr, "%s: %s failed: %s\n", program, what, err);
    log_printf(LOG_ERROR, "%s failed: %s", what, err);
    shell.start_failed = 1;
    shell_quit(1, 1);
}

// After a new video mode the GL context is new: rebuild what lives in it, in
// the chain's order so vertex-store indices come out as at start-up. Options,
// sounds, clips, the board and the menu's pages stay as they are, so any
// number of resizes leaves the program as one start-up did.
static void shell_rebuild_gl(void) {
    gl_init();
    app_gl_ready();
    font_init();
    menu_gl_init();
}

void shell_open_window(int width, int height) {
    if (shell.window_open) {
        picture_cache_reset(1);
        font_release();
        gl_release();
    }
    if (!shell_context_open(width, height)) {
        shell_start_failure(shell_context_failed_step(), shell_context_error());
        return;
    }
    SDL_WM_SetCaption(APP_NAME, APP_NAME);
    shell.window = {0.0f, static_cast<float>(width), static_cast<float>(height), 0.0f};
    if (shell.window_open) {
        shell_rebuild_gl();
    } else {
        shell_init(&shell.window);
        shell.window_open = 1;
    }
    set_screen_rect(&shell.window);
    picture_cache_reset(0); // nothing cached from before this context
}

void shell_update(float dt) {
    shell.updates++;
    shell.last_dt = dt;
    app_pre_update(dt);
    notice_update(dt);
    sound_update(dt);
    sound_device_update(dt);
    if (tween_active_count() + tween_timer_count() > 0) picture_changed();
    tween_update(dt);
    if (tween_busy()) return;
    if (menu_active())
        menu_update(dt);
    else
        app_update(dt);
}

// The application's part of a frame, which the picture cache keeps.
static void shell_draw_application(const Rect *screen) {
    app_pre_draw(screen);
    app_draw(screen);
}

void shell_draw_frame(void) {
    frame_begin(&screen_rect);
    if (menu_active()) {
        app_pre_draw(&screen_rect);
        menu_draw(&screen_rect);
    } else {
        picture_draw(&screen_rect, shell_draw_application);
    }
    if (keyboard_is_shown()) keyboard_draw(&screen_rect);
    frame_end(&screen_rect);
    if (screenshot_request[0]) {
        screenshot_write(&screen_rect, screenshot_request);
        screenshot_request[0] = 0;
    }
}

// A swap that had to make a new context leaves no texture or buffer behind:
// they are made again as after a resize. One that cannot recover ends the run
// as a failed video start would.
void shell_present(void) {
    shell_draw_frame();
    int swapped = shell_context_swap();
    shell.frames++;
    if (swapped == 2) {
        picture_cache_reset(0);
        font_release();
        gl_release();
        shell_rebuild_gl();
        set_screen_rect(&shell.window);
    } else if (!swapped) {
        shell_start_failure(shell_context_failed_step(), shell_context_error());
    }
}

void shell_poll_events(void) {
    SDL_Event *e = &shell.poll_event;
    input_set_time(shell_seconds());
    while (SDL_PollEvent(e)) {
        switch (e->type) {
        case SDL_ACTIVEEVENT:
            frame_changed();
            // The last word wins: a window hidden and shown again before this
            // drain (a slow turn) must not stay paused, since no further gain
            // would come to wake the paused loop.
            if (e->active.state & SDL_APPACTIVE) shell_set_paused(e->active.gain == 0);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            picture_changed();
            input_handle_key(e);
            break;
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            // A pointer passing over the window with no button held reaches no
            // consumer (input/dispatch.cpp): it changes nothing on screen.
            if (e->type != SDL_MOUSEMOTION || e->motion.state) picture_changed();
            input_handle_mouse(e);
            if (input_take_leave_request()) shell_leave_fullscreen();
            break;
        case SDL_VIDEOEXPOSE:
            frame_changed();
            break;
        case SDL_QUIT:
            quit_requested = 1;
            break;
        case SDL_VIDEORESIZE:
            shell_open_window(e->resize.w, e->resize.h);
            break;
        default:
            break;
        }
    }
}

int shell_wait_event(void) {
    SDL_Event *e = &shell.wait_event;
    // SDL_WaitEvent's failure is not looked at: the previous event is looked at again.
    if (!shell_wait_event_or_watched(e)) {
        shell_serve_watched();
        return 0;
    }
    if (e->type == SDL_ACTIVEEVENT && (e->active.state & SDL_APPACTIVE) && e->active.gain == 1) {
        shell_set_paused(0);
        last_update_time = shell_seconds(); // the paused time is not handed to the next update
        frame_changed(); // with power saving, the swap chain's turns after this frame follow
        shell_present();
    } else if (e->type == SDL_VIDEOEXPOSE) {
        shell_present();
    } else if (e->type == SDL_QUIT) {
        // A termination request (SIGTERM, a logout, a supervisor) while the
        // window is hidden ends the loop as it does while running.
        quit_requested = 1;
    }
    return 1;
}

// Changes of the frame that no event or tween announced: a notice or the
// keyboard shown or hidden by application code, a menu opened or closed, the
// log overlay's text grown, a screenshot to take. Looked at on every running
// turn, so the cache hears of a menu closing with or without power saving.
static void shell_watch_frame(void) {
    const int notice = notice_showing(), menu = menu_active(), keyboard = keyboard_is_shown();
    const int log = debug_level > 2 ? log_size() : -1;
    if (menu != shell.menu_open) picture_changed();
    if (notice != shell.notice_shown || menu != shell.menu_open ||
        keyboard != shell.keyboard_shown || log != shell.overlay_log_size || screenshot_request[0])
        frame_changed();
    shell.notice_shown = notice;
    shell.menu_open = menu;
    shell.keyboard_shown = keyboard;
    shell.overlay_log_size = log;
}

int shell_turn(void) {
    if (quit_requested) return 0;
    if (paused) {
        // A watched descriptor is served without the half second's sleep
        // that follows an event, so a request while hidden is answered at once.
        if (shell_wait_event() && !quit_requested) shell_sleep(PAUSED_SLEEP_MS);
        return 1;
    }
    shell_poll_events();
    shell_serve_watched();
    float now = shell_seconds();
    if (!(last_update_time + UPDATE_INTERVAL > now)) {
        shell_update(now - last_update_time);
        last_update_time = now;
    }
    shell_watch_frame();
    if (!shell.power_save || shell_present_due()) shell_present();
    // A turn that presents nothing costs little, so with power saving the
    // sleep ends at the first input and the press is shown at once instead
    // of a whole turn later; in low latency the press is heard at once. A
    // test's sleeper keeps the turns in its hands.
    if ((shell.power_save || shell_latency() == SHELL_LATENCY_LOW) && !shell.sleeper)
        shell_wait_input(RUNNING_SLEEP_MS);
    else
        shell_sleep(RUNNING_SLEEP_MS);
    return 1;
}

// The remaining start-up steps are skipped after a failure: they would only
// run against a subsystem that is not there.
int shell_run(int argc, char **argv, int width, int height) {
    // The list needs neither the display nor the log: printed, and done.
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--list-audio-devices") == 0) {
            sound_print_outputs(stdout);
            return 0;
        }
    shell_parse_command_line(argc, argv);
    if (shell_display_open()) {
        if (shell.audio_device && shell.audio_device[0]) sound_use_output(shell.audio_device);
        const int low = shell_latency() == SHELL_LATENCY_LOW;
        const int chunk = low ? SOUND_CHUNK_FRAMES_LOW : SOUND_CHUNK_FRAMES;
        if (!sound_mixer_open(chunk)) {
            shell_start_failure("Mix_OpenAudio", nullptr);
        } else {
            log_printf(LOG_INFO, "Audio: %d-frame chunks, %s latency", chunk,
                       low ? "low" : "normal");
            SDL_GL_SetAttribute(static_cast<SDL_GLattr>(GL_CONTEXT_MAJOR_VERSION_ATTRIBUTE), 1);
            shell_open_window(width, height);
        }
    }
    last_update_time = shell_seconds();
    while (shell_turn()) {
    }
    shell_save_session();
    shell_quit(0, 0);
    return shell.start_failed ? 1 : 0;
}
