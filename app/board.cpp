// Soundboard: up to twenty buttons on one screen (twenty on the default board).
//
// Buttons are sorted by caption (raw bytes) and handed grid cells in reading
// order; the grid is the column/row split of the button count whose aspect best
// matches the screen, with square cells, centred. A press or drag selects the button under
// the finger (on a shared edge the later button wins); a release stops the
// clip started last and plays the selection once.
//
// An appended board may change that: a looping sound repeats until a tap on
// it (or on another button, unless the board overlaps) stops it; an
// overlapping board starts a clip without stopping the others and a tap on a
// button restarts only that button's clip; a "Stop" button, after the sorted
// sounds and so in the last filled cell, stops every clip of the board. A
// board of format version 2 keeps the order it was written in, and a sound
// with a fade-out, stopped by another tap, the Stop button or a second tap
// of its loop, fades over that many milliseconds instead of cutting.
//
// A key given to a button acts as a finger on it: the press selects it, the
// release plays it, with the same rules as a tap.
//
// The board's picture (its captions and the selection's ink) changes only
// where the selection or the layout changes; those places mark it changed, so
// the framework draws it anew rather than from its cache. Playing state is
// not drawn: a clip starting or ending leaves the picture as it is.
#include "app/app.h"
#include "app/app_internal.h"
#include "app/remote.h"

#include <vostrel/render/render.h>

#include <GLES/gl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

const char APP_NAME[] = "Vostrel Soundboard";

BoardButton buttons[BOARD_BUTTONS];
Rect grid_rect = {0.0f, 1.0f, 0.0f, 1.0f};
BoardButton *selected_button;
BoardButton *playing_button;
const PayloadBoard *board_payload;
int board_overlap;

static const char stop_caption[] = "Stop";

static const Rgba fill_colour = {64, 64, 64, 222};
static const Rgba ink_normal = {128, 128, 128, 255};
static const Rgba ink_selected = {255, 255, 255, 255};

void board_grid_size(const Rect *r, int n, int *columns, int *rows) {
    int side = static_cast<int>(ceil(sqrt(static_cast<double>(n))));
    *columns = side;
    *rows = side;
    float a = rect_aspect(r);
    float best = 3.4028235e38f;
    for (int c = 1; c < n; c++) {
        int m = static_cast<int>(ceilf(static_cast<float>(n) / static_cast<float>(c)));
        if (m <= 0) continue;
        float diff = fabsf(a - static_cast<float>(c) / static_cast<float>(m));
        if (diff < best) {
            best = diff;
            *columns = c;
            *rows = m;
        }
    }
}

void app_layout(const Rect *screen) {
    app_input_rect = *screen;
    int columns, rows;
    int count = board_button_count();
    board_grid_size(&app_input_rect, count, &columns, &rows);
    grid_rect = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
    rect_grow_to_aspect(&app_input_rect, &grid_rect);
    int k = 0;
    for (int row = rows - 1; row >= 0 && k < count; row--)
        for (int column = 0; column < columns && k < count; column++, k++)
            buttons[k].cell = {static_cast<float>(column), static_cast<float>(column + 1),
                               static_cast<float>(row), static_cast<float>(row + 1)};
    picture_changed();
}

// The sounds of the board's first page (a board without a page table is one
// page).
static int first_page_sounds(const PayloadBoard *p) {
    int n = p->pages ? p->page[0].count : p->count;
    return n < BOARD_BUTTONS ? n : BOARD_BUTTONS;
}

int board_button_count(void) {
    if (!board_payload) return board_count;
    return first_page_sounds(board_payload) + (board_payload->stop ? 1 : 0);
}

void app_init(void) {
    memset(buttons, 0, sizeof buttons);
    selected_button = nullptr;
    playing_button = nullptr;
    const PayloadBoard *p = board_payload;
    int sounds = p ? first_page_sounds(p) : board_count;
    board_overlap = p ? p->overlap : 0;
    for (int k = 0; k < sounds; k++) {
        snprintf(buttons[k].caption, sizeof buttons[k].caption, "%s",
                 p ? p->sounds[k].caption : board_captions[k]);
        buttons[k].clip = p ? &p->sounds[k].clip : board_clips[k];
        buttons[k].volume = p ? p->sounds[k].volume : 100;
        buttons[k].loop = p ? p->sounds[k].loop : 0;
        buttons[k].fade = p ? p->sounds[k].fade : 0;
        buttons[k].key = p ? p->sounds[k].key : 0;
    }
    for (int k = 0; k < sounds; k++) {
        if (!buttons[k].clip) continue;
        sound_load(buttons[k].clip, &buttons[k].sound);
        if (buttons[k].volume < 100)
            sound_set_volume(&buttons[k].sound, (buttons[k].volume * SOUND_VOLUME_FULL + 50) / 100);
    }
    for (int i = 0; i < sounds - 1 && !(p && p->ordered); i++)
        for (int j = i; j < sounds; j++)
            if (strcmp(buttons[i].caption, buttons[j].caption) > 0) {
                BoardButton t = buttons[i];
                buttons[i] = buttons[j];
                buttons[j] = t;
            }
    if (p && p->stop && sounds < BOARD_BUTTONS) {
        snprintf(buttons[sounds].caption, sizeof buttons[sounds].caption, "%s", stop_caption);
        buttons[sounds].stops_all = 1;
    }
}

void app_draw(const Rect *screen) {
    app_input_rect = *screen;
    glPushMatrix();
    gl_begin_2d(&grid_rect);
    for (int k = 0, n = board_button_count(); k < n; k++)
        draw_label_box(&buttons[k].cell, buttons[k].caption, fill_colour,
                       &buttons[k] == selected_button ? ink_selected : ink_normal);
    glPopMatrix();
    remote_qr_draw(screen);
}

void board_pick(TouchEvent touch) {
    selected_button = nullptr;
    float x = touch.points[0].x, y = touch.points[0].y;
    rect_map_point(&app_input_rect, &grid_rect, &x, &y);
    for (int k = 0, n = board_button_count(); k < n; k++)
        if (rect_contains(&buttons[k].cell, x, y)) selected_button = &buttons[k];
    picture_changed();
}

void app_touch_down(TouchEvent touch) {
    if (!remote_qr_touch(0, touch, shell_seconds())) board_pick(touch);
}
void app_touch_drag(TouchEvent touch) {
    if (!remote_qr_touch(1, touch, shell_seconds())) board_pick(touch);
}

// Stops a button's clip: at once, or fading out over its fade time on every
// play of it (a fading clip still counts as playing).
static void board_stop(BoardButton *b) {
    if (b->fade <= 0)
        sound_stop(&b->sound);
    else
        sound_fade_out(&b->sound, b->fade);
}

void board_press(BoardButton *b) {
    if (b->stops_all) {
        for (int k = 0, n = board_button_count(); k < n; k++)
            if (buttons[k].clip) board_stop(&buttons[k]);
        playing_button = nullptr;
        return;
    }
    if (b->loop && sound_is_playing(&b->sound)) {
        board_stop(b);
        if (playing_button == b) playing_button = nullptr;
        return;
    }
    // Its own clip restarts at once; another button's fades if it has a fade.
    if (board_overlap) {
        sound_stop(&b->sound);
    } else if (playing_button) {
        if (playing_button == b)
            sound_stop(&b->sound);
        else
            board_stop(playing_button);
        playing_button = nullptr;
    }
    sound_play(&b->sound, b->loop);
    playing_button = b;
}

void app_touch_up(TouchEvent touch) {
    if (remote_qr_touch(2, touch, shell_seconds())) return;
    if (!selected_button) return;
    BoardButton *b = selected_button;
    selected_button = nullptr;
    picture_changed();
    board_press(b);
}

// A button's key acts as a tap on it. A release plays only what its own
// press selected, so a finger that moved the selection meanwhile wins.
void app_key_press(int sdl_key, int down) {
    BoardButton *b = nullptr;
    for (int k = 0, n = board_button_count(); k < n; k++)
        if (sdl_key != 0 && buttons[k].key == sdl_key) b = &buttons[k];
    if (!b) return;
    if (down) {
        selected_button = b;
        picture_changed();
    } else if (selected_button == b) {
        selected_button = nullptr;
        picture_changed();
        board_press(b);
    }
}

int board_state_folder(const char *program, const PayloadBoard *board, char *folder, int size) {
    int n = board ? snprintf(folder, static_cast<size_t>(size), "%s-%s", program, board->name)
                  : snprintf(folder, static_cast<size_t>(size), "%s", program);
    return n >= 0 && n < size;
}
