// Fuzz target: arbitrary bytes as an OSC datagram (after a first byte whose
// low bit says whether the sender is allowed), handed to the remote
// control's OSC handler over a board that records what it is asked. A sender
// not allowed changes nothing; an allowed one acts at most once, and only
// through a message whose path and type tags are exactly one of ours.
#include "app/remote.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <string>

static struct {
    int pressed, stopped, paged;
} seen;

static int fake_page_count(void) { return 2; }
static int fake_page_shown(void) { return 1; }
static int fake_press(int page, int button) {
    seen.pressed++;
    return page >= 1 && page <= 2 && button >= 1 && button <= 20;
}
static void fake_stop(void) { seen.stopped++; }
static int fake_show_page(int page) {
    seen.paged++;
    return page >= 1 && page <= 2;
}
static void fake_describe(std::string *json) { json->append("{}"); }

// The datagram starts with the path and then the type tags, each ended by
// NUL and padded to four bytes.
static int starts_with(const uint8_t *data, size_t size, const char *path, const char *types) {
    const size_t p = strlen(path) + 1, pp = (p + 3) & ~size_t{3};
    const size_t t = strlen(types) + 1;
    if (size < pp + t) return 0;
    return memcmp(data, path, p) == 0 && memcmp(data + pp, types, t) == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const RemoteBoard board = {fake_page_count, fake_page_shown, fake_press,
                                      fake_stop,       fake_show_page,  fake_describe};
    if (size == 0) return 0;
    const int allowed = data[0] & 1;
    seen = {};
    int acted = remote_osc_handle(data + 1, size - 1, allowed, &board);
    const int calls = seen.pressed + seen.stopped + seen.paged;
    if (!allowed && (calls || acted)) __builtin_trap();
    if (calls > 1) __builtin_trap();
    if (acted && !calls) __builtin_trap();
    if (seen.pressed && !starts_with(data + 1, size - 1, "/vostrel/press", ",ii")) __builtin_trap();
    if (seen.paged && !starts_with(data + 1, size - 1, "/vostrel/page", ",i")) __builtin_trap();
    if (seen.stopped && !starts_with(data + 1, size - 1, "/vostrel/stop", ",")) __builtin_trap();
    return 0;
}
