// The soundboard's words in its --help and its version: the board's screen
// when fullscreen, its desktop menu entry, the volume in its options file.
#include <vostrel/shell/shell.h>

// The soundboard's version, given by the build (CMakeLists.txt project VERSION).
#ifndef VOSTREL_VERSION
#error "VOSTREL_VERSION is not defined: build this file through the project's CMakeLists.txt"
#endif

const char *app_version(void) { return VOSTREL_VERSION; }

const HelpLine *app_help_lines(void) {
    static const HelpLine lines[] = {
        {"--fullscreen", "fill the screen, the board scaled to the largest size\n"
                         "that fits, centred on black; hold a finger on the\n"
                         "top-left corner for 3 seconds and lift it to leave"},
        {"--xdg-state", "keep the program's files in $XDG_STATE_HOME/%s\n"
                        "(~/.local/state/%s when it is not set), creating\n"
                        "the folder as needed; the desktop menu entry uses it"},
        {"--remote", "remote control from this device: HTTP (a phone page and\n"
                     "an API) on 127.0.0.1 port 8730, OSC on port 8731; prints\n"
                     "the page's address with its pairing token, kept in\n"
                     "\"vostrel soundboard.token\" (delete it for a new one)"},
        {"--remote-lan", "the same on every network interface, for a phone on\n"
                         "the same network: plain HTTP, so only on a trusted one"},
        {"--remote-port N", "HTTP on port N, OSC on N+1"},
        {"--osc-allow LIST", "with --remote-lan, OSC is also taken from the IPv4\n"
                             "addresses in LIST, separated by commas (else from\n"
                             "127.0.0.1 only)"},
        {".conf", "options (the volume), written when they change"},
        {nullptr, nullptr},
    };
    return lines;
}
