// Remote control's OSC messages, apart from the socket: a datagram is read by
// liblo's own parser and acted on only when it comes from an allowed sender,
// names one of the three paths and carries exactly the argument types
// given. A bundle, a truncated or malformed message, an unknown path or
// other types change nothing.
#include "app/remote.h"

#include <lo/lo.h>

#include <stdint.h>
#include <string.h>

constexpr size_t OSC_LARGEST = 1024; // a valid message of ours is a few dozen bytes

// An int32 argument. liblo's arguments sit on OSC's 4-byte boundaries inside
// its buffer, while lo_arg's union wants 8: read the bytes, not the member.
static int32_t osc_int(const lo_arg *arg) {
    int32_t v;
    memcpy(&v, arg, sizeof v);
    return v;
}

int remote_osc_handle(const void *data, size_t size, int sender_allowed, const RemoteBoard *board) {
    if (!sender_allowed || !data || size == 0 || size > OSC_LARGEST || size % 4 != 0) return 0;
    // A copy: liblo's parser takes a writable buffer, and alignment is ours.
    alignas(8) char copy[OSC_LARGEST];
    memcpy(copy, data, size);
    int result = 0;
    lo_message m = lo_message_deserialise(copy, size, &result);
    if (!m) return 0;
    // After a successful parse the buffer starts with the NUL-ended path.
    const char *path = copy;
    const char *types = lo_message_get_types(m);
    lo_arg **argv = lo_message_get_argv(m);
    if (!types) types = "";
    int acted = 0;
    if (strcmp(path, "/vostrel/press") == 0 && strcmp(types, "ii") == 0)
        acted = board->press(osc_int(argv[0]), osc_int(argv[1]));
    else if (strcmp(path, "/vostrel/page") == 0 && strcmp(types, "i") == 0)
        acted = board->show_page(osc_int(argv[0]));
    else if (strcmp(path, "/vostrel/stop") == 0 && types[0] == '\0') {
        board->stop();
        acted = 1;
    }
    lo_message_free(m);
    return acted;
}
