// Remote control's servers: libmicrohttpd without a thread of its own (its
// epoll descriptor is the one the loop watches for every HTTP connection),
// and a UDP socket for OSC read without blocking. Both are served from the
// main loop's watched descriptors, so a request is answered in the turn it
// arrives, also while the loop sleeps for power saving or the window is
// hidden; the update tick runs the HTTP server's timeouts.
//
// A hostile network costs the board little: the connections at once are
// limited (in all and per address), so is a connection's memory (headers
// and all) and a request's body; a quiet connection is closed after a few
// seconds, and so is one that trickles a request in byte by byte: each
// connection must have a request answered within REMOTE_REQUEST_SECONDS of
// opening or of its last answer. A wake serves a bounded number of server
// runs and datagrams.
// Refused requests and ignored datagrams cost one log line a second at most.
#include "app/remote.h"
#include "app/app_internal.h"

#include <vostrel/diag/diag.h>
#include <vostrel/render/render.h>
#include <vostrel/shell/shell.h>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <stdarg.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

constexpr int HTTP_RUNS_PER_WAKE = 4;        // server runs a wake may take while work is pending
constexpr size_t CONNECTION_MEMORY = 16384;  // a connection's buffers: 8 KiB of headers fit
constexpr int URL_SIZE = 512;

static struct {
    int requested; // 0 off, 1 loopback, 2 every interface
    int port;
    uint32_t allow[REMOTE_ALLOW_MAX]; // host order
    int allow_count;

    MHD_Daemon *http;
    int http_fd; // the server's epoll descriptor, watched
    // The open HTTP connections and when each must have had an answer; a
    // connection past it has its socket shut down, which the server then
    // reads as the client's end and closes.
    struct {
        MHD_Connection *connection;
        int fd;
        double deadline; // monotonic seconds; 0 once shut down
    } open[2 * REMOTE_CONNECTIONS];
    int open_count;
    int osc_fd;  // watched
    char token[REMOTE_TOKEN_HEX + 1];
    char own_name[256];
    char url[URL_SIZE];
    double last_complaint; // monotonic seconds of the last refusal logged
    int running;
} remote = {0, REMOTE_DEFAULT_PORT, {}, 0, nullptr, -1, {}, 0, -1, "", "", "", -1e9, 0};

static double monotonic_seconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One WARNING a second at most, however many requests or datagrams are
// refused: a flood must not fill the log.
__attribute__((format(printf, 1, 2))) static void remote_complain(const char *format, ...) {
    const double now = monotonic_seconds();
    if (now - remote.last_complaint < 1.0) return;
    remote.last_complaint = now;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_printf(LOG_WARNING, "Remote: %s (more of these within a second are not logged)", line);
}

// Command line ------------------------------------------------------------

static int parse_allow_list(const char *text) {
    uint32_t found[REMOTE_ALLOW_MAX];
    int n = 0;
    char item[64];
    const char *p = text;
    while (*p) {
        const char *end = strchr(p, ',');
        size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
        if (length == 0 || length >= sizeof item || n == REMOTE_ALLOW_MAX) return 0;
        memcpy(item, p, length);
        item[length] = '\0';
        in_addr a;
        if (inet_pton(AF_INET, item, &a) != 1) return 0;
        found[n++] = ntohl(a.s_addr);
        p += length;
        if (*p == ',') p++;
    }
    if (n == 0) return 0;
    memcpy(remote.allow, found, sizeof found);
    remote.allow_count = n;
    return 1;
}

void remote_parse_args(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const int has_value = i + 1 < argc;
        if (strcmp(a, "--remote") == 0) {
            if (remote.requested < 1) remote.requested = 1;
        } else if (strcmp(a, "--remote-lan") == 0) {
            remote.requested = 2;
        } else if (strcmp(a, "--remote-port") == 0) {
            char *end = nullptr;
            long port = has_value ? strtol(argv[i + 1], &end, 10) : 0;
            if (!has_value || !end || *end || end == argv[i + 1] || port < 1 || port > 65534)
                fprintf(stderr, "--remote-port needs a port from 1 to 65534 (OSC takes the next)\n");
            else
                remote.port = static_cast<int>(port);
            if (has_value) i++;
        } else if (strcmp(a, "--osc-allow") == 0) {
            if (!has_value || !parse_allow_list(argv[i + 1]))
                fprintf(stderr, "--osc-allow needs IPv4 addresses separated by commas (at most %d)\n",
                        REMOTE_ALLOW_MAX);
            if (has_value) i++;
        }
    }
}

void remote_board_options(int on, int lan) {
    if (lan)
        remote.requested = 2;
    else if (on && remote.requested < 1)
        remote.requested = 1;
}

int remote_requested(void) { return remote.requested; }
int remote_port(void) { return remote.port; }
int remote_running(void) { return remote.running; }
const char *remote_url(void) { return remote.running ? remote.url : ""; }

int remote_osc_sender_allowed(uint32_t address, int lan) {
    if (address == INADDR_LOOPBACK) return 1;
    if (!lan) return 0;
    for (int i = 0; i < remote.allow_count; i++)
        if (remote.allow[i] == address) return 1;
    return 0;
}

// Token file --------------------------------------------------------------

static int token_valid(const char *text, size_t length) {
    if (length != REMOTE_TOKEN_HEX) return 0;
    for (size_t i = 0; i < length; i++)
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'))) return 0;
    return 1;
}

static int random_bytes(unsigned char *out, size_t n) {
    size_t have = 0;
    while (have < n) {
        ssize_t got = getrandom(out + have, n - have, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<size_t>(got);
    }
    if (have == n) return 1;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    have = 0;
    while (have < n) {
        ssize_t got = read(fd, out + have, n - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<size_t>(got);
    }
    close(fd);
    return have == n;
}

// The token in the file, when the file holds one (a final newline allowed).
// A file others could read is made private again: it is ours.
static int token_read(const char *path, char token[REMOTE_TOKEN_HEX + 1]) {
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[REMOTE_TOKEN_HEX + 2];
    ssize_t n = read(fd, text, sizeof text);
    struct stat st;
    int ok = n > 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && text[n - 1] == '\n') n--;
    ok = ok && token_valid(text, static_cast<size_t>(n));
    if (ok && (st.st_mode & 077)) {
        log_printf(LOG_WARNING, "Remote: %s was readable by others; made private", path);
        if (fchmod(fd, 0600) != 0) ok = 0;
    }
    close(fd);
    if (!ok) return 0;
    memcpy(token, text, REMOTE_TOKEN_HEX);
    token[REMOTE_TOKEN_HEX] = '\0';
    return 1;
}

int remote_token_load_or_make(const char *path, char token[REMOTE_TOKEN_HEX + 1]) {
    if (token_read(path, token)) return 1;
    unsigned char raw[REMOTE_TOKEN_HEX / 2];
    if (!random_bytes(raw, sizeof raw)) {
        log_printf(LOG_ERROR, "Remote: no random bytes for a token");
        return 0;
    }
    char text[REMOTE_TOKEN_HEX + 2];
    for (size_t i = 0; i < sizeof raw; i++)
        snprintf(text + 2 * i, 3, "%02x", raw[i]);
    text[REMOTE_TOKEN_HEX] = '\n';
    text[REMOTE_TOKEN_HEX + 1] = '\0';
    // Written whole under another name and renamed, so a crash leaves the
    // old file or the new one; private from its creation on.
    char fresh[1024];
    if (snprintf(fresh, sizeof fresh, "%s.new", path) >= static_cast<int>(sizeof fresh)) return 0;
    unlink(fresh);
    int fd = open(fresh, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        log_printf(LOG_ERROR, "Remote: cannot create %s: %s", fresh, strerror(errno));
        return 0;
    }
    int ok = fchmod(fd, 0600) == 0 &&
             write(fd, text, REMOTE_TOKEN_HEX + 1) == static_cast<ssize_t>(REMOTE_TOKEN_HEX + 1) &&
             fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(fresh, path) != 0) {
        log_printf(LOG_ERROR, "Remote: cannot write %s: %s", path, strerror(errno));
        unlink(fresh);
        return 0;
    }
    memcpy(token, text, REMOTE_TOKEN_HEX);
    token[REMOTE_TOKEN_HEX] = '\0';
    log_printf(LOG_INFO, "Remote: new pairing token written to %s", path);
    return 1;
}

// The board, numbered from 1 ---------------------------------------------

static int board_table_page_count(void) { return board_page_count(); }
static int board_table_page_shown(void) { return board_page_shown() + 1; }

static int board_table_press(int page, int button) {
    if (page < 1 || page > board_page_count()) return 0;
    if (button < 1 || button > board_page_buttons(page - 1)) return 0;
    BoardButton *b = board_page_button(page - 1, button - 1);
    if (!b) return 0;
    board_press(b);
    return 1;
}

static void board_table_stop(void) { board_stop_all(); }

static int board_table_show_page(int page) {
    if (page < 1 || page > board_page_count()) return 0;
    board_show_page(page - 1);
    picture_changed();
    return 1;
}

static void json_string(std::string *out, const char *s) {
    if (!s) s = "";
    out->push_back('"');
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; p++) {
        if (*p == '"' || *p == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(*p));
        } else if (*p == '\n') {
            out->append("\\n");
        } else if (*p < 0x20 || *p == 0x7f) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", *p);
            out->append(esc);
        } else {
            out->push_back(static_cast<char>(*p));
        }
    }
    out->push_back('"');
}

static void board_table_describe(std::string *out) {
    out->append("{\"name\":");
    json_string(out, board_payload ? board_payload->name : APP_NAME);
    out->append(",\"pages\":[");
    for (int page = 0, pages = board_page_count(); page < pages; page++) {
        if (page) out->push_back(',');
        out->append("{\"name\":");
        json_string(out, board_page_name(page));
        out->append(",\"buttons\":[");
        for (int i = 0, n = board_page_buttons(page); i < n; i++) {
            const BoardButton *b = board_page_button(page, i);
            if (!b) continue;
            if (i) out->push_back(',');
            out->append("{\"caption\":");
            json_string(out, b->caption);
            out->append(",\"playing\":");
            out->append(board_button_playing(b) ? "true" : "false");
            out->append(",\"loop\":");
            out->append(b->loop ? "true" : "false");
            out->append(",\"stop\":");
            out->append(b->stops_all ? "true" : "false");
            out->push_back('}');
        }
        out->append("]}");
    }
    char tail[48];
    snprintf(tail, sizeof tail, "],\"page\":%d}", board_page_shown() + 1);
    out->append(tail);
}

const RemoteBoard *remote_board_soundboard(void) {
    static const RemoteBoard table = {board_table_page_count, board_table_page_shown,
                                      board_table_press,      board_table_stop,
                                      board_table_show_page,  board_table_describe};
    return &table;
}

// HTTP server ---------------------------------------------------------------

static void add_header(MHD_Response *r, const char *name, const char *value) {
    MHD_add_response_header(r, name, value);
}

static MHD_Result send_reply(MHD_Connection *c, const RemoteReply *reply) {
    MHD_Response *r = MHD_create_response_from_buffer(
        reply->body.size(), const_cast<char *>(reply->body.data()), MHD_RESPMEM_MUST_COPY);
    if (!r) return MHD_NO;
    if (reply->content_type) add_header(r, "Content-Type", reply->content_type);
    add_header(r, "Cache-Control", "no-store");
    add_header(r, "X-Content-Type-Options", "nosniff");
    add_header(r, "Referrer-Policy", "no-referrer");
    if (reply->page) {
        add_header(r, "X-Frame-Options", "DENY");
        add_header(r, "Content-Security-Policy",
                   "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                   "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
    }
    if (reply->status == 401) add_header(r, "WWW-Authenticate", "Bearer");
    if (reply->allow) add_header(r, "Allow", reply->allow);
    MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(reply->status), r);
    MHD_destroy_response(r);
    return queued;
}

static MHD_Result refuse_too_large(MHD_Connection *c) {
    RemoteReply reply;
    reply.status = 413;
    reply.content_type = "text/plain; charset=utf-8";
    reply.body = "Content Too Large\n";
    reply.allow = nullptr;
    reply.page = 0;
    remote_complain("request body over %zu bytes refused", REMOTE_BODY_LIMIT);
    return send_reply(c, &reply);
}

// Called once when the headers are in (con_cls null), then for each piece
// of the body, then once more with no data: only then is the request
// answered. The body's length so far, plus one, rides in *con_cls, so a
// request needs no memory of its own.
static MHD_Result remote_http_access(void *, MHD_Connection *c, const char *url, const char *method,
                                     const char *, const char *, size_t *upload_size,
                                     void **con_cls) {
    uintptr_t seen = reinterpret_cast<uintptr_t>(*con_cls);
    if (seen == 0) {
        *con_cls = reinterpret_cast<void *>(static_cast<uintptr_t>(1));
        const char *length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Length");
        if (length && strtoull(length, nullptr, 10) > REMOTE_BODY_LIMIT) return refuse_too_large(c);
        return MHD_YES;
    }
    if (*upload_size) {
        seen += *upload_size;
        *upload_size = 0;
        *con_cls = reinterpret_cast<void *>(seen);
        if (seen - 1 > REMOTE_BODY_LIMIT) return refuse_too_large(c);
        return MHD_YES;
    }
    RemoteRequest request = {method, url, MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Host"),
                             MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Authorization"),
                             seen - 1};
    RemoteReply reply;
    remote_http_handle(&request, remote.token, remote.own_name, remote_board_soundboard(), &reply);
    if (reply.status == 401 || reply.status == 403) {
        char from[INET6_ADDRSTRLEN] = "?";
        const MHD_ConnectionInfo *info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (info && info->client_addr && info->client_addr->sa_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(info->client_addr)->sin_addr,
                      from, sizeof from);
        remote_complain("%s %.64s from %s refused (%d)", method, url, from, reply.status);
    }
    return send_reply(c, &reply);
}

// The server's word on connections opened and closed, and on requests
// answered: each answer moves the connection's deadline on.
static void http_connection_notice(void *, MHD_Connection *c, void **,
                                   MHD_ConnectionNotificationCode code) {
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        for (int i = 0; i < remote.open_count; i++)
            if (remote.open[i].connection == c) remote.open[i] = remote.open[--remote.open_count];
        return;
    }
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return;
    // The server admits no more than its limit; a table full regardless
    // keeps no connection it cannot time.
    if (remote.open_count == static_cast<int>(sizeof remote.open / sizeof remote.open[0])) {
        shutdown(info->connect_fd, SHUT_RDWR);
        return;
    }
    remote.open[remote.open_count++] = {c, info->connect_fd,
                                        monotonic_seconds() + REMOTE_REQUEST_SECONDS};
}

static void http_request_answered(void *, MHD_Connection *c, void **, MHD_RequestTerminationCode) {
    for (int i = 0; i < remote.open_count; i++)
        if (remote.open[i].connection == c && remote.open[i].deadline > 0)
            remote.open[i].deadline = monotonic_seconds() + REMOTE_REQUEST_SECONDS;
}

static void http_cut_slow(void) {
    const double now = monotonic_seconds();
    for (int i = 0; i < remote.open_count; i++) {
        if (remote.open[i].deadline <= 0 || remote.open[i].deadline > now) continue;
        remote.open[i].deadline = 0;
        shutdown(remote.open[i].fd, SHUT_RDWR);
        remote_complain("a connection with no request answered in %d s closed",
                        REMOTE_REQUEST_SECONDS);
    }
}

// Runs the server while it has work it can do now, a bounded number of
// times. The second run always comes: a connection accepted by the first
// has its request waiting already, and would otherwise wait a turn.
static void http_serve(void) {
    if (!remote.http) return;
    http_cut_slow();
    for (int run = 0; run < HTTP_RUNS_PER_WAKE; run++) {
        MHD_run(remote.http);
        MHD_UNSIGNED_LONG_LONG timeout = 1;
        if (run >= 1 && (MHD_get_timeout(remote.http, &timeout) != MHD_YES || timeout != 0)) break;
    }
}

static void http_ready(int, void *) { http_serve(); }

static int http_start(void) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(remote.port));
    address.sin_addr.s_addr = htonl(remote.requested == 2 ? INADDR_ANY : INADDR_LOOPBACK);
    remote.http = MHD_start_daemon(
        MHD_USE_EPOLL, 0, nullptr, nullptr, remote_http_access, nullptr, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr *>(&address), MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(REMOTE_CONNECTIONS), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(REMOTE_CONNECTIONS_PER_IP), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(REMOTE_IDLE_SECONDS), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        CONNECTION_MEMORY, MHD_OPTION_LISTEN_BACKLOG_SIZE, 16u, MHD_OPTION_NOTIFY_CONNECTION,
        http_connection_notice, nullptr, MHD_OPTION_NOTIFY_COMPLETED, http_request_answered,
        nullptr, MHD_OPTION_END);
    if (!remote.http) return 0;
    const MHD_DaemonInfo *info = MHD_get_daemon_info(remote.http, MHD_DAEMON_INFO_EPOLL_FD);
    remote.http_fd = info ? info->epoll_fd : -1;
    if (remote.http_fd < 0 || !shell_watch_fd(remote.http_fd, http_ready, nullptr)) {
        MHD_stop_daemon(remote.http);
        remote.http = nullptr;
        remote.http_fd = -1;
        return 0;
    }
    return 1;
}

// OSC socket --------------------------------------------------------------

static void osc_ready(int fd, void *) {
    alignas(8) unsigned char packet[1024];
    for (int i = 0; i < REMOTE_OSC_PER_TURN; i++) {
        sockaddr_in from = {};
        socklen_t from_size = sizeof from;
        ssize_t n = recvfrom(fd, packet, sizeof packet, MSG_DONTWAIT | MSG_TRUNC,
                             reinterpret_cast<sockaddr *>(&from), &from_size);
        if (n < 0) break;
        const int allowed = from.sin_family == AF_INET &&
                            remote_osc_sender_allowed(ntohl(from.sin_addr.s_addr),
                                                      remote.requested == 2);
        // A datagram cut short by the buffer is malformed, whatever it began with.
        const size_t size = static_cast<size_t>(n) > sizeof packet ? 0 : static_cast<size_t>(n);
        if (!remote_osc_handle(packet, size, allowed, remote_board_soundboard())) {
            char who[INET_ADDRSTRLEN] = "?";
            inet_ntop(AF_INET, &from.sin_addr, who, sizeof who);
            remote_complain("OSC datagram of %zd bytes from %s ignored (%s)", n, who,
                            allowed ? "not a message of ours" : "sender not allowed");
        }
    }
}

static int osc_start(void) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(remote.port + 1));
    address.sin_addr.s_addr = htonl(remote.requested == 2 ? INADDR_ANY : INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        !shell_watch_fd(fd, osc_ready, nullptr)) {
        int saved = errno;
        close(fd);
        errno = saved;
        return 0;
    }
    remote.osc_fd = fd;
    return 1;
}

// The address a phone on the network reaches: the first IPv4 address of an
// interface that is up and not the loopback; else the host's name.
static void lan_address(char *out, size_t size) {
    snprintf(out, size, "%s", remote.own_name[0] ? remote.own_name : "127.0.0.1");
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(i->ifa_addr)->sin_addr, out,
                  static_cast<socklen_t>(size));
        break;
    }
    freeifaddrs(list);
}

// Life --------------------------------------------------------------------

static int start_failed(const char *what) {
    const char *why = strerror(errno);
    fprintf(stderr, "remote: %s: %s; the board runs without remote control\n", what, why);
    log_printf(LOG_ERROR, "Remote: %s: %s", what, why);
    remote_stop();
    return 0;
}

int remote_start(void) {
    if (!remote.requested || remote.running) return remote.running;
    if (gethostname(remote.own_name, sizeof remote.own_name) != 0) remote.own_name[0] = '\0';
    remote.own_name[sizeof remote.own_name - 1] = '\0';
    char base[512], name[256], path[1024];
    get_base_dir(base, sizeof base);
    app_file_name(".token", 0, name, sizeof name);
    snprintf(path, sizeof path, "%s/%s", base, name);
    if (!remote_token_load_or_make(path, remote.token)) {
        errno = EIO;
        return start_failed("no pairing token");
    }
    const char *bound = remote.requested == 2 ? "0.0.0.0" : "127.0.0.1";
    char what[96];
    snprintf(what, sizeof what, "cannot serve HTTP on %s port %d", bound, remote.port);
    if (!http_start()) return start_failed(what);
    snprintf(what, sizeof what, "cannot receive OSC on %s port %d", bound, remote.port + 1);
    if (!osc_start()) return start_failed(what);
    char host[256];
    if (remote.requested == 2)
        lan_address(host, sizeof host);
    else
        snprintf(host, sizeof host, "127.0.0.1");
    snprintf(remote.url, sizeof remote.url, "http://%s:%d/#%s", host, remote.port, remote.token);
    remote.running = 1;
    if (remote.requested == 2 && remote_qr_set(remote.url)) remote_qr_start(shell_seconds());
    printf("remote: %s\n", remote.url);
    fflush(stdout);
    log_printf(LOG_INFO, "Remote: HTTP on %s port %d, OSC on port %d", bound, remote.port,
               remote.port + 1);
    return 1;
}

void remote_poll(void) { http_serve(); }

void remote_stop(void) {
    if (remote.http_fd >= 0) shell_unwatch_fd(remote.http_fd);
    if (remote.http) MHD_stop_daemon(remote.http);
    remote.http = nullptr;
    remote.http_fd = -1;
    remote.open_count = 0;
    if (remote.osc_fd >= 0) {
        shell_unwatch_fd(remote.osc_fd);
        close(remote.osc_fd);
    }
    remote.osc_fd = -1;
    remote.running = 0;
    remote.url[0] = '\0';
}

// The application's hooks the remote control takes: the servers start at
// the end of the first start-up (a resize's re-run keeps them), the update
// tick runs the HTTP server's timers, shutdown closes both.
void app_init_done(void) {
    static int tried;
    if (tried) return;
    tried = 1;
    remote_start();
}

void app_pre_update(float) {
    if (!remote.running) return;
    remote_poll();
    remote_qr_update(shell_seconds());
}

void app_shutdown(void) { remote_stop(); }
