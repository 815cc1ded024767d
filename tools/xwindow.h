// Finds a top-level or nested X window by its exact title; shared by the
// benchmark driver, the screenshot tool and the tests that run the program.
// Returns 0 when there is none.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <vector>

// Windows come and go under these helpers (a program quitting, a window
// manager's frame): a request about a window that has just vanished must
// fail as a result (XQueryTree, XFetchName and XGetImage return 0 or null),
// not through Xlib's default handler, which ends the process. Installed by
// every helper here; a caller that reads windows on its own may call it too.
inline int xwindow_ignore_error(Display *, XErrorEvent *) { return 0; }
inline void xwindow_survive_errors() { XSetErrorHandler(xwindow_ignore_error); }

inline Window xwindow_find(Display *d, Window w, const char *name) {
    xwindow_survive_errors();
    char *title = nullptr;
    if (XFetchName(d, w, &title) && title) {
        bool match = strcmp(title, name) == 0;
        XFree(title);
        if (match) return w;
    }
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; i++)
        found = xwindow_find(d, kids[i], name);
    if (kids) XFree(kids);
    return found;
}

// Polls for the window every 50 ms, for up to timeout_ms and only while
// alive() holds (so a program that died is not waited for); 0 if it never
// appeared.
template <class Alive>
inline Window xwindow_wait(Display *d, const char *name, int timeout_ms, Alive alive) {
    for (int waited = 0; waited < timeout_ms && alive(); waited += 50) {
        Window w = xwindow_find(d, DefaultRootWindow(d), name);
        if (w) return w;
        usleep(50000);
    }
    return 0;
}

// The window's top-left width x height pixels as 0xRRGGBB, row 0 the top row,
// read on a connection of its own to `display` (DISPLAY's when null); w 0 is
// that display's root window, the whole screen. Empty if there is no display
// or the window has gone.
inline std::vector<uint32_t> xwindow_pixels(Window w, int width, int height,
                                            const char *display = nullptr) {
    std::vector<uint32_t> px;
    Display *d = XOpenDisplay(display);
    if (!d) return px;
    xwindow_survive_errors();
    if (!w) w = DefaultRootWindow(d);
    if (XImage *img = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap)) {
        px.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                px[static_cast<size_t>(y) * width + x] = XGetPixel(img, x, y) & 0xFFFFFF;
        XDestroyImage(img);
    }
    XCloseDisplay(d);
    return px;
}
