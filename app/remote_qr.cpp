// The pairing code on the screen: the remote page's address with its token
// as a QR code (libqrencode), which a phone's camera opens. On the network
// (--remote-lan) it covers the board for the first 20 seconds after start
// (a tap on it dismisses it and plays nothing), and again while a finger
// holds the black band above or below the grid for 2 seconds, until it
// lifts. On this device alone (--remote) a phone could not reach the
// address, so no code is shown.
#include "app/remote.h"
#include "app/app_internal.h"

#include <vostrel/render/render.h>
#include <vostrel/shell/shell.h>

#include <GLES/gl.h>
#include <qrencode.h>

#include <math.h>
#include <string.h>

constexpr int QR_LARGEST = 177;         // modules a side at QR version 40
constexpr int QR_QUIET = 4;             // white modules around the code
constexpr float QR_START_SECONDS = 20;  // shown this long after start
constexpr float QR_HOLD_SECONDS = 2;    // a finger on a band this long shows it
constexpr float QR_SCREEN_SHARE = 0.875f; // of the screen's narrower side

static struct {
    int width;                                  // modules a side, 0 for no code
    unsigned char dark[QR_LARGEST * QR_LARGEST]; // row 0 the top row
    int shown;                                  // 1 while drawn over the board
    int held;                                   // 1 while shown by a finger on a band
    float hide_at;                              // shell seconds when the start's showing ends
    float hold_since;                           // shell seconds the finger came down on a band, < 0 none
    int swallow;                                // 1: the touch going on came down on the code
} qr = {0, {}, 0, 0, 0, -1, 0};

int remote_qr_set(const char *text) {
    qr.width = 0;
    QRcode *code = QRcode_encodeString(text, 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code) return 0;
    if (code->width > 0 && code->width <= QR_LARGEST) {
        qr.width = code->width;
        for (int i = 0; i < code->width * code->width; i++)
            qr.dark[i] = code->data[i] & 1;
    }
    QRcode_free(code);
    return qr.width > 0;
}

static void qr_show(int shown) {
    if (qr.shown == shown) return;
    qr.shown = shown;
    picture_changed();
}

void remote_qr_start(float now) {
    if (!qr.width) return;
    qr.hide_at = now + QR_START_SECONDS;
    qr_show(1);
}

int remote_qr_shown(void) { return qr.shown; }

void remote_qr_update(float now) {
    if (!qr.width) return;
    if (qr.shown && !qr.held && !qr.swallow && now >= qr.hide_at) qr_show(0);
    if (!qr.shown && qr.hold_since >= 0 && now - qr.hold_since >= QR_HOLD_SECONDS) {
        qr.held = 1;
        qr_show(1);
    }
}

// Whether a point of the application's touch space lies above the grid's
// top row or below its bottom row. Every page has the fullest page's grid,
// so the grid's rows are those its buttons fill, on whichever page: a short
// page's empty cells are grid, not band (a last row not filled is the row's).
static int in_band(float x, float y) {
    float bottom = 3.4e38f, top = -3.4e38f;
    for (int page = 0; page < board_page_count(); page++)
        for (int i = 0; i < board_page_buttons(page); i++) {
            const BoardButton *b = board_page_button(page, i);
            if (!b) continue;
            bottom = fminf(bottom, b->cell.bottom);
            top = fmaxf(top, b->cell.top);
        }
    if (bottom > top) return 0;
    rect_map_point(&app_input_rect, &grid_rect, &x, &y);
    return y < bottom || y > top;
}

int remote_qr_touch(int phase, TouchEvent touch, float now) {
    if (!qr.width) return 0;
    const float x = touch.points[0].x, y = touch.points[0].y;
    if (phase == 0) {
        qr.hold_since = -1;
        if (qr.shown) {
            qr.swallow = 1;
            return 1;
        }
        if (in_band(x, y)) qr.hold_since = now;
        return 0;
    }
    if (phase == 1) {
        if (qr.swallow || qr.held) return 1;
        if (qr.hold_since >= 0 && !in_band(x, y)) qr.hold_since = -1;
        return 0;
    }
    // Lifted: a tap on the code dismisses it; a finger that held a band
    // hides what it showed.
    qr.hold_since = -1;
    if (qr.swallow || qr.held) {
        qr.swallow = 0;
        qr.held = 0;
        qr_show(0);
        return 1;
    }
    return 0;
}

void remote_qr_draw(const Rect *screen) {
    if (!qr.shown || !qr.width) return;
    static const uint8_t white[4] = {255, 255, 255, 255};
    static const uint8_t black[4] = {0, 0, 0, 255};
    const float sw = screen->right - screen->left, sh = screen->top - screen->bottom;
    const int span = qr.width + 2 * QR_QUIET;
    // Whole pixels a module where the screen allows, so every module looks alike.
    float module = floorf(fminf(sw, sh) * QR_SCREEN_SHARE / static_cast<float>(span));
    if (module < 1.0f) module = fminf(sw, sh) * QR_SCREEN_SHARE / static_cast<float>(span);
    const float side = module * static_cast<float>(span);
    const float left = floorf(screen->left + (sw - side) / 2);
    const float top = floorf(screen->bottom + (sh + side) / 2);
    glPushMatrix();
    gl_begin_2d(screen);
    draw_shade(screen, 200);
    const Rect square = {left, left + side, top - side, top};
    gl_set_color(white);
    draw_rect(&square, 1);
    gl_set_color(black);
    // One rectangle for each run of dark modules in a row.
    for (int row = 0; row < qr.width; row++) {
        const float row_top = top - static_cast<float>(row + QR_QUIET) * module;
        for (int col = 0; col < qr.width;) {
            if (!qr.dark[row * qr.width + col]) {
                col++;
                continue;
            }
            int end = col;
            while (end < qr.width && qr.dark[row * qr.width + end])
                end++;
            const Rect run = {left + static_cast<float>(col + QR_QUIET) * module,
                              left + static_cast<float>(end + QR_QUIET) * module, row_top - module,
                              row_top};
            draw_rect(&run, 1);
            col = end;
        }
    }
    gl_set_color(white);
    glPopMatrix();
}
