// Notices and the log overlay: the framework's two overlays, drawn by frame_end
// over everything else. A notice is a queued message shown in a box across the
// middle of the screen until its hide timer runs out or a touch press or key
// dismisses it; the log overlay shows the tail of the log file while the debug
// level is above 2. Main thread only.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <vostrel/anim/anim_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/text/text.h>

#include <GLES/gl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr int NOTICE_TEXT_SIZE = 256;   // text bytes with the terminator: at most 255 characters
constexpr int LOG_OVERLAY_BYTES = 1024; // the most of the log the overlay reads
constexpr float OVERLAY_TEXT_SIZE = 10.0f;

struct NoticeNode {
    char text[NOTICE_TEXT_SIZE];
    float duration; // seconds; 0 or less: until dismissed
    NoticeNode *next;
};

struct NoticeState {
    char text[NOTICE_TEXT_SIZE]; // the notice on screen
    // Non-zero while a notice is on screen. The hide timer writes it, so it is
    // an int (timer_set_int stores exactly 4 bytes).
    int showing;
    NoticeNode *queue;                   // FIFO head: the next notice to show
    NoticeNode *free_list;               // nodes kept for reuse
    char overlay[LOG_OVERLAY_BYTES + 1]; // last part of the log, always terminated
    int overlay_first;                   // index of the first whole line shown
    int overlay_last_size;               // log size at the last refresh; -1 before the first
};

NoticeState state = {{}, 0, nullptr, nullptr, {}, 0, -1};

const uint8_t NOTICE_FILL[4] = {64, 64, 64, 222};
const uint8_t NOTICE_INK[4] = {255, 255, 255, 255};
const uint8_t OVERLAY_INK[4] = {192, 128, 128, 128};

void free_nodes(NoticeNode **head) {
    while (*head) {
        NoticeNode *next = (*head)->next;
        free(*head);
        *head = next;
    }
}

// Re-reads the log's tail into the overlay buffer when the log has grown since
// the last refresh; otherwise the buffer stays as it is.
void overlay_refresh(void) {
    const int size = log_size();
    if (size <= state.overlay_last_size) return;
    const int start = size > LOG_OVERLAY_BYTES ? size - LOG_OVERLAY_BYTES : 0;
    const int span = size < LOG_OVERLAY_BYTES ? size : LOG_OVERLAY_BYTES;
    memset(state.overlay, 0, sizeof state.overlay);
    log_read(state.overlay, LOG_OVERLAY_BYTES, start);
    state.overlay_first = 0;
    if (start > 0) {
        // The read began inside a line: show from the first whole line.
        for (int i = 0; i < span; i++) {
            if (state.overlay[i] == '\n') {
                state.overlay_first = i + 1;
                break;
            }
        }
    }
    // The text ends at the last line feed (dropped, so no empty line follows).
    for (int i = span - 1; i >= 0; i--) {
        if (state.overlay[i] == '\n') {
            state.overlay[i] = '\0';
            break;
        }
    }
    state.overlay_last_size = size;
}

} // namespace

// Called by gl_init, so it also runs when a window resize re-runs the
// initialisation chain. Queued and free-list nodes go back to the heap rather
// than being orphaned by clearing the heads: a resize therefore drops the
// queued notices (and hides the one on screen) without leaking.
void notice_reset(void) {
    tween_cancel(&state.showing);
    free_nodes(&state.queue);
    free_nodes(&state.free_list);
    memset(state.text, 0, sizeof state.text);
    state.showing = 0;
}

// Texts longer than 255 characters are cut (bounded copy). A null text posts
// an empty notice. Nothing happens if no node can be allocated.
void notice_post(const char *text, float seconds) {
    NoticeNode *node = state.free_list;
    if (node) {
        state.free_list = node->next;
    } else {
        node = static_cast<NoticeNode *>(malloc(sizeof *node));
        if (!node) return;
    }
    snprintf(node->text, sizeof node->text, "%s", text ? text : "");
    node->duration = seconds;
    node->next = nullptr;
    NoticeNode **tail = &state.queue;
    while (*tail)
        tail = &(*tail)->next;
    *tail = node;
}

int notice_showing(void) { return state.showing; }

const char *notice_text(void) { return state.text; }

void notice_update(float) {
    if (state.showing || !state.queue) return;
    NoticeNode *node = state.queue;
    memcpy(state.text, node->text, sizeof state.text);
    state.showing = 1;
    // The hide timer stores the int 0 into the int flag. (Storing a null
    // pointer through timer_set_pointer would write a whole pointer into the
    // 4-byte flag, past its end.)
    if (node->duration > 0.0f) timer_set_int(&state.showing, 0, node->duration);
    state.queue = node->next;
    node->next = state.free_list;
    state.free_list = node;
}

// Cancels the pending hide timer (the only node this module ever hands to the
// tween module) and hides the notice; the text stays but is not drawn.
void notice_dismiss(void) {
    tween_cancel(&state.showing);
    state.showing = 0;
}

// Shutdown step: runs after tween_shutdown, so it leaves the tween module alone.
void notice_shutdown(void) {
    free_nodes(&state.queue);
    free_nodes(&state.free_list);
    state.showing = 0;
}

void notice_draw(const Rect *screen) {
    glPushMatrix();
    gl_begin_2d(screen);
    Rect box = *screen;
    const float third = rect_height(screen) / 3.0f;
    box.top -= third;
    box.bottom += third;
    rect_inset_percent(&box, 10.0f);
    draw_label_box(&box, state.text, NOTICE_FILL, NOTICE_INK);
    glPopMatrix();
}

void log_overlay_draw(const Rect *screen) {
    Rect text_box = *screen;
    rect_inset_percent(&text_box, 2.0f);
    glPushMatrix();
    gl_begin_2d(screen);
    gl_set_color(OVERLAY_INK);
    overlay_refresh();
    text_draw_wrapped(state.overlay + state.overlay_first, OVERLAY_TEXT_SIZE, text_box.left,
                      text_box.top, rect_width(&text_box));
    glPopMatrix();
}

const char *log_overlay_text(void) { return state.overlay + state.overlay_first; }

void log_overlay_reset(void) {
    memset(state.overlay, 0, sizeof state.overlay);
    state.overlay_first = 0;
    state.overlay_last_size = -1;
}
