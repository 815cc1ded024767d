// Fuzz target: arbitrary bytes as an HTTP request's method, path, Host,
// Authorization and body length (lines of the input, in that order), handed
// to the remote control's request handler over a board that records what it
// is asked. Whatever the request, the board is acted on only by a POST with
// the right bearer token and an allowed Host, and read only with the token;
// the status is one the handler gives.
#include "app/remote.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static struct {
    int acted, described;
} seen;

static int fake_page_count(void) { return 3; }
static int fake_page_shown(void) { return 1; }
static int fake_press(int page, int button) {
    seen.acted++;
    return page >= 1 && page <= 3 && button >= 1 && button <= 20;
}
static void fake_stop(void) { seen.acted++; }
static int fake_show_page(int page) {
    seen.acted++;
    return page >= 1 && page <= 3;
}
static void fake_describe(std::string *json) {
    seen.described++;
    json->append("{}");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const RemoteBoard board = {fake_page_count, fake_page_shown, fake_press,
                                      fake_stop,       fake_show_page,  fake_describe};
    static const char token[] = "0123456789abcdef0123456789abcdef";
    std::string field[5];
    int f = 0;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '\n' && f < 4)
            f++;
        else if (data[i] != '\0')
            field[f].push_back(static_cast<char>(data[i]));
    }
    RemoteRequest request = {field[0].c_str(), field[1].c_str(),
                             f >= 2 ? field[2].c_str() : nullptr,
                             f >= 3 ? field[3].c_str() : nullptr,
                             static_cast<size_t>(strtoul(field[4].c_str(), nullptr, 10))};
    seen = {};
    RemoteReply reply;
    remote_http_handle(&request, token, "board", &board, &reply);

    const int host_ok = remote_host_allowed(request.host, "board");
    const int token_ok = request.authorization &&
                         std::string(request.authorization) == std::string("Bearer ") + token;
    if (seen.acted && !(host_ok && token_ok && field[0] == "POST")) __builtin_trap();
    if (seen.acted > 1) __builtin_trap();
    if (seen.described && !(host_ok && token_ok)) __builtin_trap();
    if (remote_token_matches(request.authorization, token) != token_ok) __builtin_trap();
    if (!host_ok && reply.status != 403) __builtin_trap();
    switch (reply.status) {
    case 200: case 204: case 401: case 403: case 404: case 405: case 413: break;
    default: __builtin_trap();
    }
    if (reply.status == 204 && !seen.acted) __builtin_trap();
    if (reply.status == 204 && !reply.body.empty()) __builtin_trap();
    return 0;
}
