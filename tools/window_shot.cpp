// Saves a window of the X display as a PNG: window_shot "<window name>" out.png
// Used by tools/screenshot.sh for the README's picture of the board.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <lodepng.h>

#include "tools/xwindow.h"

#include <stdio.h>
#include <string.h>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: window_shot <window name> <out.png>\n");
        return 2;
    }
    Display *d = XOpenDisplay(nullptr);
    if (!d) return 1;
    Window w = xwindow_find(d, DefaultRootWindow(d), argv[1]);
    XWindowAttributes attr;
    if (!w || !XGetWindowAttributes(d, w, &attr)) {
        fprintf(stderr, "window_shot: no window named '%s'\n", argv[1]);
        return 1;
    }
    XImage *img = XGetImage(d, w, 0, 0, attr.width, attr.height, AllPlanes, ZPixmap);
    if (!img) return 1;
    std::vector<unsigned char> rgb(static_cast<size_t>(attr.width) * attr.height * 3);
    for (int y = 0; y < attr.height; y++)
        for (int x = 0; x < attr.width; x++) {
            unsigned long p = XGetPixel(img, x, y);
            unsigned char *o = &rgb[(static_cast<size_t>(y) * attr.width + x) * 3];
            o[0] = (p >> 16) & 0xFF;
            o[1] = (p >> 8) & 0xFF;
            o[2] = p & 0xFF;
        }
    XDestroyImage(img);
    XCloseDisplay(d);
    unsigned err = lodepng_encode24_file(argv[2], rgb.data(), attr.width, attr.height);
    if (err) fprintf(stderr, "window_shot: %s\n", lodepng_error_text(err));
    return err ? 1 : 0;
}
