// Finds a top-level or nested X window by its exact title; shared by the
// benchmark driver and the screenshot tool. Returns 0 when there is none.
#pragma once

#include <X11/Xlib.h>
#include <string.h>

inline Window xwindow_find(Display *d, Window w, const char *name) {
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
