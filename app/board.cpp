// Soundboard: board_count buttons on one screen (twenty on the default board).
//
// Buttons are sorted by caption (raw bytes) and handed grid cells in reading
// order; the grid is the column/row split of board_count whose aspect best
// matches the screen, with square cells, centred. A press or drag selects the button under
// the finger (on a shared edge the later button wins); a release stops the
// clip started last and plays the selection once.
#include "app/app.h"
#include "app/app_internal.h"

#include <vostrel/platform/gles.h>
#include <vostrel/render/render.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

const char APP_NAME[] = "Vostrel Soundboard";

BoardButton buttons[BOARD_BUTTONS];
Rect grid_rect = {0.0f, 1.0f, 0.0f, 1.0f};
BoardButton *selected_button;
BoardButton *playing_button;

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
    board_grid_size(&app_input_rect, board_count, &columns, &rows);
    grid_rect = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
    rect_grow_to_aspect(&app_input_rect, &grid_rect);
    int k = 0;
    for (int row = rows - 1; row >= 0 && k < board_count; row--)
        for (int column = 0; column < columns && k < board_count; column++, k++)
            buttons[k].cell = {static_cast<float>(column), static_cast<float>(column + 1),
                               static_cast<float>(row), static_cast<float>(row + 1)};
}

void app_init(void) {
    memset(buttons, 0, sizeof buttons);
    selected_button = nullptr;
    playing_button = nullptr;
    for (int k = 0; k < board_count; k++) {
        snprintf(buttons[k].caption, sizeof buttons[k].caption, "%s", board_captions[k]);
        buttons[k].clip = board_clips[k];
    }
    for (int k = 0; k < board_count; k++)
        if (buttons[k].clip) sound_load(buttons[k].clip, &buttons[k].sound);
    for (int i = 0; i < board_count - 1; i++)
        for (int j = i; j < board_count; j++)
            if (strcmp(buttons[i].caption, buttons[j].caption) > 0) {
                BoardButton t = buttons[i];
                buttons[i] = buttons[j];
                buttons[j] = t;
            }
}

void app_draw(const Rect *screen) {
    app_input_rect = *screen;
    glPushMatrix();
    gl_begin_2d(&grid_rect);
    for (int k = 0; k < board_count; k++)
        draw_label_box(&buttons[k].cell, buttons[k].caption, fill_colour,
                       &buttons[k] == selected_button ? ink_selected : ink_normal);
    glPopMatrix();
}

void board_pick(TouchEvent touch) {
    selected_button = nullptr;
    float x = touch.points[0].x, y = touch.points[0].y;
    rect_map_point(&app_input_rect, &grid_rect, &x, &y);
    for (int k = 0; k < board_count; k++)
        if (rect_contains(&buttons[k].cell, x, y)) selected_button = &buttons[k];
}

void app_touch_down(TouchEvent touch) { board_pick(touch); }
void app_touch_drag(TouchEvent touch) { board_pick(touch); }

void app_touch_up(TouchEvent) {
    if (!selected_button) return;
    if (playing_button) {
        sound_stop(&playing_button->sound);
        playing_button = nullptr;
    }
    sound_play(&selected_button->sound, 0);
    playing_button = selected_button;
    selected_button = nullptr;
}
