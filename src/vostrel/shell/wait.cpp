// Application shell: the loop's waits and the descriptors it watches. A
// running turn's sleep under power saving ends at the first input from the X
// server or the first readable watched descriptor; the hidden window's wait
// ends at an SDL event or, while descriptors are watched, at one of them.
// Every turn calls the callbacks of the watched descriptors that are
// readable, on the main thread, so a callback may call anything the
// framework offers.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/diag/diag.h>
#include <vostrel/threads/threads.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>

constexpr int WATCH_SLOTS = 16;

struct Watch {
    int used;
    int fd;
    void (*ready)(int fd, void *data);
    void *data;
};

static struct {
    Watch slot[WATCH_SLOTS];
    int count; // slots in use
} waits;

static Watch *watch_find(int fd) {
    for (Watch &w : waits.slot)
        if (w.used && w.fd == fd) return &w;
    return nullptr;
}

static Watch *watch_free_slot(void) {
    for (Watch &w : waits.slot)
        if (!w.used) return &w;
    return nullptr;
}

int shell_watch_fd(int fd, void (*ready)(int fd, void *data), void *data) {
    if (fd < 0 || !ready) return 0;
    Watch *w = watch_find(fd);
    if (!w) {
        w = watch_free_slot();
        if (!w) return 0;
        waits.count++;
    }
    *w = {1, fd, ready, data};
    return 1;
}

void shell_unwatch_fd(int fd) {
    Watch *w = watch_find(fd);
    if (!w) return;
    *w = {};
    waits.count--;
}

// A pollfd a slot for every watched descriptor after the first `first`
// entries; the number of entries filled in all.
static int watched_pollfds(pollfd *fds, int first) {
    int n = first;
    for (const Watch &w : waits.slot)
        if (w.used) fds[n++] = {w.fd, POLLIN, 0};
    return n;
}

// A hang-up or an error counts as readable: the callback's read sees the end
// or the error and can unwatch. A descriptor closed while still watched
// would make every poll return at once, so it is dropped with a warning.
static int watched_readable(const pollfd *p) {
    if (p->revents & POLLNVAL) {
        log_printf(LOG_WARNING, "Descriptor %d was closed while watched: no longer watched", p->fd);
        shell_unwatch_fd(p->fd);
        return 0;
    }
    return (p->revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Polls the X socket (x < 0: none) and the watched descriptors for up to
// `milliseconds`: 2 when a watched descriptor is readable, 1 when only the X
// socket is, 0 when the time ran out or a signal came.
static int poll_with_watched(int x, int milliseconds) {
    pollfd fds[WATCH_SLOTS + 1];
    int first = 0;
    if (x >= 0) fds[first++] = {x, POLLIN, 0};
    const int n = watched_pollfds(fds, first);
    if (n == 0) {
        sleep_ms(milliseconds);
        return 0;
    }
    if (poll(fds, static_cast<nfds_t>(n), milliseconds) <= 0) return 0;
    int found = 0;
    for (int i = first; i < n; i++)
        if (watched_readable(&fds[i])) found = 2;
    if (found) return found;
    return first && fds[0].revents ? 1 : 0;
}

int shell_serve_watched(void) {
    if (!waits.count) return 0;
    pollfd fds[WATCH_SLOTS];
    const int n = watched_pollfds(fds, 0);
    if (poll(fds, static_cast<nfds_t>(n), 0) <= 0) return 0;
    int called = 0;
    for (int i = 0; i < n; i++) {
        if (!watched_readable(&fds[i])) continue;
        // An earlier callback may have unwatched this descriptor or given it
        // another callback: the table as it is now decides.
        const Watch *w = watch_find(fds[i].fd);
        if (!w) continue;
        w->ready(w->fd, w->data);
        called = 1;
    }
    return called;
}

// The X connection's socket under SDL's X11 driver, else -1.
static int x_socket(void) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display)
        return -1;
    return ConnectionNumber(info.info.x11.display);
}

// SDL 1.2 has no wait with a timeout, so the X connection's socket is
// polled: a turn sleeping here starts as soon as the X server has something
// for the program. Events already read off the socket (a GL swap may read
// some while it waits for a reply) are found by pumping first. Bytes that
// make no SDL event (a reply, an event SDL drops or one that comes in
// pieces; sdl12-compat's SDL 2 sees a few of those before a press) wake it
// at most WAKES_WITHOUT_EVENT times; then the rest is spent on the watched
// descriptors alone, so a socket that stays readable cannot make the loop
// spin.
constexpr int WAKES_WITHOUT_EVENT = 4;

void shell_wait_input(int milliseconds) {
    int x = x_socket();
    if (x < 0) {
        poll_with_watched(-1, milliseconds);
        return;
    }
    SDL_Event event;
    const Uint32 start = SDL_GetTicks();
    for (int wake = 0;; wake++) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) > 0) return;
        const int left = milliseconds - static_cast<int>(SDL_GetTicks() - start);
        if (left <= 0) return;
        if (wake == WAKES_WITHOUT_EVENT) x = -1;
        // Slept it out, a signal, or a watched descriptor to serve.
        if (poll_with_watched(x, left) != 1) return;
    }
}

// SDL 1.2's own wait looks for an event every 10 ms; this one does the same
// between polls of the X socket and the watched descriptors, so an event
// that comes from no socket (a signal's SDL_QUIT) is seen as soon.
constexpr int WAIT_SLICE_MS = 10;

int shell_wait_event_or_watched(SDL_Event *event) {
    if (!waits.count) {
        SDL_WaitEvent(event);
        return 1;
    }
    int x = x_socket();
    for (int wake = 0;; wake++) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(event, 1, SDL_GETEVENT, SDL_ALLEVENTS) > 0) return 1;
        if (wake == WAKES_WITHOUT_EVENT) x = -1;
        const int woke = poll_with_watched(x, WAIT_SLICE_MS);
        if (woke == 2) return 0;
        if (woke == 0) wake = 0; // only the socket's wakes with nothing for SDL count
    }
}
