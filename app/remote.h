// Remote control of the board: an HTTP API and its phone page, and OSC over
// UDP, both served from the main loop through watched descriptors (no thread
// of their own). Off unless asked: without --remote or --remote-lan (or the
// board's own options) no socket is opened.
//
// Pairing: a random token of 128 bits, kept as "<app name>.token" (mode
// 0600) in the base directory, made at the first start and reused; the page's
// URL carries it in its fragment and the page sends it as a bearer token.
// Every /api request needs it; OSC, which has no authentication, is taken
// only from 127.0.0.1 and, on the network, from the addresses allowed.
//
// Pages and buttons are numbered from 1 in reading order here, as the API
// and OSC number them.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>

#include <stddef.h>
#include <stdint.h>
#include <string>

constexpr int REMOTE_DEFAULT_PORT = 8730;       // HTTP; OSC is the next port
constexpr int REMOTE_TOKEN_HEX = 32;            // 128 bits as lower-case hex
constexpr int REMOTE_ALLOW_MAX = 16;            // --osc-allow addresses kept
constexpr size_t REMOTE_BODY_LIMIT = 1024;      // bytes of a request's body; more is refused (413)
constexpr int REMOTE_CONNECTIONS = 10;          // HTTP connections at once, all senders
constexpr int REMOTE_CONNECTIONS_PER_IP = 6;    // HTTP connections at once from one address
constexpr int REMOTE_IDLE_SECONDS = 5;          // an HTTP connection quiet this long is closed
constexpr int REMOTE_REQUEST_SECONDS = 10;      // an HTTP connection with no request answered this long (since it opened or its last answer) is closed, however it trickles
constexpr int REMOTE_OSC_PER_TURN = 64;         // datagrams read at most per wake

// What the servers may do to the board; pages and buttons from 1
struct RemoteBoard {
    int (*page_count)(void);                       // pages of the board
    int (*page_shown)(void);                       // the page on the screen, 1 to page_count
    int (*press)(int page, int button);            // as a tap on that button: 1; 0 (nothing done) if there is no such button
    void (*stop)(void);                            // stops every sound
    int (*show_page)(int page);                    // shows it: 1; 0 (nothing done) if there is no such page
    void (*describe)(std::string *json);           // appends the board as JSON: name, pages (name, buttons: caption, playing, loop), page shown
};
const RemoteBoard *remote_board_soundboard(void); // the running board's table

// Command line and board options
void remote_parse_args(int argc, char **argv);  // "--remote", "--remote-lan", "--remote-port N", "--osc-allow ADDR[,ADDR...]"; other words ignored; a bad value: one line on stderr, that option left out
void remote_board_options(int remote, int lan);  // the board's own "remote"/"remote-lan": as if given on the command line
int remote_requested(void);                      // 0 off, 1 loopback, 2 every interface
int remote_port(void);                           // the HTTP port asked for (OSC is the next)

// Life (on the main thread; the app's hooks call these)
int remote_start(void);                          // token, both servers watched, the URL line on stdout: 1; 0 (and nothing open) when off or a server could not start (said on stderr and in the log)
void remote_poll(void);                          // HTTP timeouts and pending work; called every update tick
void remote_stop(void);                          // both servers closed and unwatched
int remote_running(void);                        // 1 between a successful remote_start and remote_stop
const char *remote_url(void);                    // "http://ADDRESS:PORT/#TOKEN" while running, else ""

// Token file
int remote_token_load_or_make(const char *path, char token[REMOTE_TOKEN_HEX + 1]); // reads a valid token from path, else writes a new random one (mode 0600): 1; 0 if neither could be done
int remote_token_matches(const char *authorization, const char *token); // "Bearer TOKEN" exactly, compared in time independent of where it differs: 1

// HTTP requests, without sockets (the fuzz target calls these)
struct RemoteRequest {
    const char *method;        // "GET", "POST", ...
    const char *url;           // path, query already split off by the server
    const char *host;          // Host header, or null
    const char *authorization; // Authorization header, or null
    size_t body_size;          // bytes of the request's body
};
struct RemoteReply {
    int status;                // HTTP status
    const char *content_type;  // null for none
    std::string body;
    const char *allow;         // Allow header for 405, else null
    int page;                  // 1: the remote page (cached never, framing refused)
};
int remote_host_allowed(const char *host, const char *own_name);  // host (port cut off) is an IP literal, "localhost" or own_name (case aside): 1
void remote_http_handle(const RemoteRequest *request, const char *token, const char *own_name, const RemoteBoard *board, RemoteReply *reply); // Host check (403), /api needs the token (401), routes (200/204/404/405/413); acts on the board only for an allowed, authorised POST
const char *remote_page_html(void);              // the remote page: the board's grid, pages, what plays; reads the token from its URL's fragment

// The pairing code on the screen (remote_qr.cpp); now is shell seconds
int remote_qr_set(const char *text);             // the code of text, shown by the calls below: 1; 0 (no code, nothing shown) if it cannot be encoded
void remote_qr_start(float now);                 // shown over the board for the next 20 seconds
int remote_qr_shown(void);                       // 1 while drawn
void remote_qr_update(float now);                // the start's 20 seconds ending, a finger's 2 seconds on a band beginning
int remote_qr_touch(int phase, TouchEvent touch, float now); // phase 0 down, 1 drag, 2 up (touch in app_input_rect): 1 if the code took it (the board must not see it)
void remote_qr_draw(const Rect *screen);         // the code over the frame while shown

// OSC datagrams, without sockets (the fuzz target calls this)
int remote_osc_handle(const void *data, size_t size, int sender_allowed, const RemoteBoard *board); // "/vostrel/press ii", "/vostrel/stop", "/vostrel/page i" from an allowed sender: acted on, 1; anything else changes nothing, 0
int remote_osc_sender_allowed(uint32_t address, int lan); // address (host order) is 127.0.0.1, or, with lan, one of --osc-allow's: 1

// clang-format on
