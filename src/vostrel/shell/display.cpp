// Application shell: the display. The X display is chosen and held before
// SDL starts (kiosk servers, display loss, a kiosk's screen kept from
// blanking), then SDL's video and audio start. Video modes, fullscreen and
// kiosk are fullscreen.cpp's.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/diag/diag.h>
#include <vostrel/threads/threads.h>

#include <SDL.h>
#include <atomic>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static struct {
    void *held;               // our own X connection, kept for the whole run
    int display_w, display_h; // the display's size before any mode was set; 0 when unknown
} display;

static int kiosk(void) { return shell_fullscreen_requested() == 2; }

constexpr char NO_DISPLAY_SET[] =
    "no display to open: DISPLAY is not set (set DISPLAY to name an X display, e.g. DISPLAY=:0)";

static int env_set(const char *name) {
    const char *value = getenv(name);
    return value && value[0];
}

// On desktop Linux only SDL's X11 driver gives this program its GL window.
// Left to itself, SDL without a display falls through its driver list to a
// text-terminal one (caca, aalib) that takes the terminal over with escape
// sequences before the GL video mode fails; so, unless SDL_VIDEODRIVER names
// a driver (the caller's choice, kept as it is), a missing DISPLAY is said
// before SDL starts and SDL is asked for X11 alone. 0 after a failure.
//
// SDL_VIDEODRIVER=wayland (sdl12-compat over SDL 2, which newer SDL releases
// choose by themselves) gives no X11 window for the ES context, and SDL's own
// context needs EGL on the compositor, which a software compositor lacks. So,
// with an X display at hand (XWayland), X11 is asked for instead, as
// sdl12-compat advises for programs that draw on the X11 window.
static int choose_video_driver(void) {
    const char *asked = getenv("SDL_VIDEODRIVER");
    if (asked && strcmp(asked, "wayland") == 0 && env_set("DISPLAY")) {
        log_printf(LOG_INFO, "SDL_VIDEODRIVER=wayland: drawing through X11 on DISPLAY %s",
                   getenv("DISPLAY"));
        setenv("SDL_VIDEODRIVER", "x11", 1);
        return 1;
    }
    if (env_set("SDL_VIDEODRIVER")) return 1;
    if (!env_set("DISPLAY")) {
        shell_start_failure("SDL video", NO_DISPLAY_SET);
        return 0;
    }
    setenv("SDL_VIDEODRIVER", "x11", 1);
    return 1;
}

// Xlib, looked up at run time from the library SDL's X11 driver loads itself
// (one copy in the process, so the handler set here is the one SDL chains
// to); the framework gains no link dependency of its own on X.
struct XlibCalls {
    void *(*open_display)(const char *name);
    void *(*set_io_error_handler)(int (*handler)(void *display));
    int (*next_event)(void *display, void *event);
};

static int xlib_calls(XlibCalls *x) {
    void *lib = dlopen("libX11.so.6", RTLD_NOW);
    if (!lib) return 0;
    x->open_display = reinterpret_cast<void *(*)(const char *)>(dlsym(lib, "XOpenDisplay"));
    x->set_io_error_handler =
        reinterpret_cast<void *(*)(int (*)(void *))>(dlsym(lib, "XSetIOErrorHandler"));
    x->next_event = reinterpret_cast<int (*)(void *, void *)>(dlsym(lib, "XNextEvent"));
    return x->open_display && x->set_io_error_handler && x->next_event;
}

// The X server went away under the program: Xlib calls this and ends the
// process when it returns. What needs no X and no GL still runs (session
// and options saves, the shutdown sequence, the log's close), then the
// process ends at once with status 1, running no exit handler: SDL_Quit
// would talk to the dead connection.
//
// Two threads may get here at once (the main thread through SDL's
// connection, the watcher through the held one): the first does the work and
// ends the process, the other waits for that. EGL's objects are forgotten,
// not released: the main thread may be inside an EGL call on the dead
// connection, holding EGL's locks.
static int shell_display_lost(void *) {
    static std::atomic<int> taken;
    if (taken.exchange(1)) {
        for (;;)
            pause();
    }
    shell_context_abandon();
    log_printf(LOG_ERROR, "X display connection lost: saving and quitting");
    shell_save_session();
    shell_quit(0, 0);
    _exit(1);
}

// Mesa's software EGL path writes each frame to the X socket through XCB and
// never reaches Xlib's I/O error handler when the server dies: a swap on the
// dead connection can spin for ever. So a thread waits on the connection held
// below, which carries no requests and so no events: XNextEvent returns only
// through the I/O error handler, when the server goes away.
static XlibCalls held_calls;

static void *watch_display(void *display) {
    long event[24]; // an XEvent: 24 longs on every ABI
    for (;;)
        held_calls.next_event(display, event);
    return nullptr;
}

static void cannot_open_display(char *reason, size_t size) {
    snprintf(reason, size,
             "no display to open: cannot open X display \"%s\" (set DISPLAY to name a "
             "running X server)",
             getenv("DISPLAY"));
}

constexpr int DISPLAY_TRIES = 20;
constexpr int DISPLAY_RETRY_MS = 100;

// A kiosk's screen must not blank while the board runs: the screen saver
// extension suspends the saver and DPMS for as long as the asking connection
// lives, so the held connection asks once, before its watcher takes it over,
// and the X server ends the suspension when the process ends however it ends.
static void suspend_blanking(void *held) {
    void *lib = dlopen("libXss.so.1", RTLD_NOW);
    auto suspend =
        lib ? reinterpret_cast<void (*)(void *, int)>(dlsym(lib, "XScreenSaverSuspend")) : nullptr;
    auto query = lib ? reinterpret_cast<int (*)(void *, int *, int *)>(
                           dlsym(lib, "XScreenSaverQueryExtension"))
                     : nullptr;
    int event_base = 0, error_base = 0;
    if (!suspend || !query) {
        log_printf(LOG_WARNING, "The screen may blank: libXss.so.1 (libxss1) is not installed");
    } else if (!query(held, &event_base, &error_base)) {
        // XWayland has no saver of its own: blanking is the compositor's.
        log_printf(LOG_INFO, "The X server has no screen saver to hold off");
    } else {
        suspend(held, 1);
    }
}

// SDL's X11 driver probes the display with a connection it closes at once
// and then opens its own. On a server that resets when its last client
// leaves (a kiosk whose only client is this program) that close empties
// the server and the next connection lands in the reset. One connection of
// our own, opened first, means the server never sees a moment without
// clients. It stays open until the process ends: closed once the window is
// up, it left SDL 2 (under sdl12-compat) drawing black frames after the
// first click. A server that is still resetting from an earlier client is
// retried for about two seconds. 0 (start-up failure said) when no
// connection can be made.
static int hold_display(void) {
    const char *driver = getenv("SDL_VIDEODRIVER");
    if (!driver || strcmp(driver, "x11") != 0) return 1;
    XlibCalls x;
    if (!xlib_calls(&x)) return 1; // SDL will say what is missing
    x.set_io_error_handler(shell_display_lost);
    for (int i = 0; i < DISPLAY_TRIES && !display.held; i++) {
        if (i) sleep_ms(DISPLAY_RETRY_MS);
        display.held = x.open_display(nullptr);
    }
    if (display.held) {
        if (kiosk()) suspend_blanking(display.held);
        held_calls = x;
        ThreadHandle watcher = nullptr;
        thread_create(watch_display, display.held, 0, &watcher);
        return 1;
    }
    char reason[256];
    cannot_open_display(reason, sizeof reason);
    shell_start_failure("SDL video", reason);
    return 0;
}

// Video first, so that a missing display is named as such whatever the audio
// driver; audio on its own, because SDL 1.2 lets a failed audio start pass
// SDL_Init and leaves the reason to a later, vaguer error. 0 after a failure.
static int start_sdl(void) {
    char reason[256];
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const char *driver = getenv("SDL_VIDEODRIVER"); // set: see choose_video_driver
        if (strcmp(driver, "x11") != 0)
            snprintf(reason, sizeof reason, "%s (SDL_VIDEODRIVER=%s)", SDL_GetError(), driver);
        else if (!env_set("DISPLAY"))
            snprintf(reason, sizeof reason, "%s", NO_DISPLAY_SET);
        else
            cannot_open_display(reason, sizeof reason);
        shell_start_failure("SDL video", reason);
        return 0;
    }
    atexit(SDL_Quit);
    char name[32];
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || !SDL_AudioDriverName(name, sizeof name)) {
        if (env_set("SDL_AUDIODRIVER"))
            snprintf(reason, sizeof reason,
                     "audio driver \"%s\" (SDL_AUDIODRIVER) is unknown or cannot start",
                     getenv("SDL_AUDIODRIVER"));
        else
            snprintf(reason, sizeof reason, "no audio driver can start: %s", SDL_GetError());
        shell_start_failure("SDL audio", reason);
        return 0;
    }
    return 1;
}

// Both SDL 1.2s read this variable (SDL 2 as its hint of the same name); a
// kiosk overrides a desktop's wish to let the screen blank. It is what holds
// blanking off where no X connection is held (SDL 2 on native Wayland asks
// the compositor to inhibit idling); on X the held connection's suspension
// below does it whatever SDL makes of the variable.
static void hold_off_blanking(void) {
    if (kiosk()) setenv("SDL_VIDEO_ALLOW_SCREENSAVER", "0", 1);
}

// The display's size, read before the first video mode changes what SDL reports.
static void note_display_size(void) {
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    display.display_w = info ? info->current_w : 0;
    display.display_h = info ? info->current_h : 0;
}

int shell_display_open(void) {
    hold_off_blanking();
    if (!choose_video_driver() || !hold_display() || !start_sdl()) return 0;
    note_display_size();
    return 1;
}

void shell_display_size(int *width, int *height) {
    *width = display.display_w;
    *height = display.display_h;
}
