// Remote control's HTTP requests, apart from the server: what a request may
// see and do, decided from its method, path, Host and Authorization alone.
//
// Order of checks: a Host that is not an IP literal, "localhost" or this
// device's name is refused first (403), so a page elsewhere that rebinds its
// own name to this address gets nothing, not even a 401. The remote page at
// "/" needs no token (it holds none; it reads it from its URL's fragment).
// Every /api request needs the bearer token (401 without it, whatever the
// path); then the route, and the method: state changes only on POST, and a
// GET never acts. No CORS header is ever sent, so another origin's script
// cannot read a reply.
#include "app/remote.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

int remote_token_matches(const char *authorization, const char *token) {
    static const char scheme[] = "Bearer ";
    if (!authorization || !token) return 0;
    const size_t token_length = strlen(token);
    if (token_length == 0) return 0;
    // Every byte of the expected text is compared whatever the header holds
    // (past its end the header counts as zeros), so the time says nothing
    // about how much of a guess was right; the length is checked at the end.
    const size_t have = strlen(authorization);
    const size_t want = sizeof scheme - 1 + token_length;
    unsigned diff = have != want;
    for (size_t i = 0; i < want; i++) {
        const unsigned char expected = static_cast<unsigned char>(
            i < sizeof scheme - 1 ? scheme[i] : token[i - (sizeof scheme - 1)]);
        const unsigned char got = i < have ? static_cast<unsigned char>(authorization[i]) : 0;
        diff |= static_cast<unsigned>(expected ^ got);
    }
    return diff == 0;
}

int remote_host_allowed(const char *host, const char *own_name) {
    if (!host || !*host) return 0;
    char name[256];
    size_t n = strlen(host);
    if (n >= sizeof name) return 0;
    memcpy(name, host, n + 1);
    if (name[0] == '[') {
        // [IPv6]:port or [IPv6]
        char *end = strchr(name, ']');
        if (!end) return 0;
        if (end[1] != '\0' && end[1] != ':') return 0;
        *end = '\0';
        struct in6_addr a6;
        return inet_pton(AF_INET6, name + 1, &a6) == 1;
    }
    char *colon = strchr(name, ':');
    if (colon) {
        if (strchr(colon + 1, ':')) return 0;
        for (const char *p = colon + 1; *p; p++)
            if (!isdigit(static_cast<unsigned char>(*p))) return 0;
        *colon = '\0';
    }
    struct in_addr a4;
    if (inet_pton(AF_INET, name, &a4) == 1) return 1;
    if (strcasecmp(name, "localhost") == 0) return 1;
    return own_name && *own_name && strcasecmp(name, own_name) == 0;
}

// A page or button number: 1 to 9999 in plain decimal ("01", "+1", "1x" are
// not numbers); 0 otherwise.
static int path_number(const char *text, const char **rest) {
    int value = 0, digits = 0;
    const char *p = text;
    if (*p == '0') return 0;
    while (isdigit(static_cast<unsigned char>(*p))) {
        if (++digits > 4) return 0;
        value = value * 10 + (*p - '0');
        p++;
    }
    if (digits == 0) return 0;
    *rest = p;
    return value;
}

static void reply_set(RemoteReply *reply, int status, const char *type, const char *body) {
    reply->status = status;
    reply->content_type = type;
    reply->body = body ? body : "";
    reply->allow = nullptr;
    reply->page = 0;
}

static void reply_error(RemoteReply *reply, int status, const char *text) {
    reply_set(reply, status, "text/plain; charset=utf-8", text);
}

// What /api/... names: 1 board, 2 press, 3 stop, 4 page; 0 unknown. The
// numbers of press and page come back in page and button.
enum { API_NONE, API_BOARD, API_PRESS, API_STOP, API_PAGE };
static int api_route(const char *path, int *page, int *button) {
    const char *rest = nullptr;
    if (strcmp(path, "board") == 0) return API_BOARD;
    if (strcmp(path, "stop") == 0) return API_STOP;
    if (strncmp(path, "press/", 6) == 0) {
        *page = path_number(path + 6, &rest);
        if (!*page || *rest != '/') return API_NONE;
        *button = path_number(rest + 1, &rest);
        if (!*button || *rest) return API_NONE;
        return API_PRESS;
    }
    if (strncmp(path, "page/", 5) == 0) {
        *page = path_number(path + 5, &rest);
        if (!*page || *rest) return API_NONE;
        return API_PAGE;
    }
    return API_NONE;
}

void remote_http_handle(const RemoteRequest *request, const char *token, const char *own_name,
                        const RemoteBoard *board, RemoteReply *reply) {
    const char *method = request->method ? request->method : "";
    const char *url = request->url ? request->url : "";
    if (!remote_host_allowed(request->host, own_name)) {
        reply_error(reply, 403, "Forbidden: unknown host name\n");
        return;
    }
    const int get = strcmp(method, "GET") == 0 || strcmp(method, "HEAD") == 0;
    const int post = strcmp(method, "POST") == 0;
    if (strcmp(url, "/") == 0) {
        if (!get) {
            reply_error(reply, 405, "Method Not Allowed\n");
            reply->allow = "GET, HEAD";
            return;
        }
        reply_set(reply, 200, "text/html; charset=utf-8", remote_page_html());
        reply->page = 1;
        return;
    }
    if (strncmp(url, "/api/", 5) != 0 && strcmp(url, "/api") != 0) {
        reply_error(reply, 404, "Not Found\n");
        return;
    }
    if (!remote_token_matches(request->authorization, token)) {
        reply_error(reply, 401, "Unauthorized: pair with the code on the board's screen\n");
        return;
    }
    if (request->body_size > REMOTE_BODY_LIMIT) {
        reply_error(reply, 413, "Content Too Large\n");
        return;
    }
    int page = 0, button = 0;
    const int route = url[4] == '/' ? api_route(url + 5, &page, &button) : API_NONE;
    if (route == API_NONE) {
        reply_error(reply, 404, "Not Found\n");
        return;
    }
    if (route == API_BOARD) {
        if (!get) {
            reply_error(reply, 405, "Method Not Allowed\n");
            reply->allow = "GET, HEAD";
            return;
        }
        reply_set(reply, 200, "application/json", nullptr);
        board->describe(&reply->body);
        return;
    }
    if (!post) {
        reply_error(reply, 405, "Method Not Allowed\n");
        reply->allow = "POST";
        return;
    }
    int done = 1;
    if (route == API_PRESS)
        done = board->press(page, button);
    else if (route == API_PAGE)
        done = board->show_page(page);
    else
        board->stop();
    if (done)
        reply_set(reply, 204, nullptr, nullptr);
    else
        reply_error(reply, 404, "Not Found: no such page or button\n");
}
