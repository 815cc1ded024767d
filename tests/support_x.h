// Test support, X: private X servers and pointer input through xdotool.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A tap through xdotool at pixel (x, y) of the X window whose id (decimal) is
// `window`, the button held `hold` seconds ("0.05"): xdotool's exit status.
int xdotool_tap(const std::string &window, int x, int y, const char *hold);

// A private Xvfb on a display number of its own choosing (-displayfd), ended
// with the object. Started without -noreset unless extra_args say otherwise,
// so it resets whenever its last client disconnects, as a kiosk's server
// does. ok is false if it did not report a display within ten seconds.
struct XServer {
    explicit XServer(const std::vector<std::string> &extra_args = {});
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;
    void stop(); // SIGTERM, reaped; the display is gone afterwards
    pid_t pid = -1;
    std::string display; // ":N"
    bool ok = false;
};
