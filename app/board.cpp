// Soundboard: up to twenty buttons a page (the default board is one page of
// twenty).
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
// Pages (appended boards only): one page is shown at a time, every page on
// the same grid (the fullest page's), so buttons keep their size and place.
// Under the grid, a band names the page shown and where it is among the
// pages, and marks the pages where a sound plays; a horizontal swipe (which
// plays nothing), a tap on the band's left or right half, Left and Right and
// Page Up and Page Down turn the pages, the last to the first and back.
// Sounds play on when their page is left, the Stop button stops those of
// every page, and keys act on the page shown. The page shown is kept in the
// options ([board] page) and shown again at the next start. A board of one
// page has no band and no page gestures: it is drawn and touched as it
// always was.
//
// The board's picture (its captions and the selection's ink) changes only
// where the selection, the page or the layout changes; those places mark it
// changed, so the framework draws it anew rather than from its cache. On an
// appended board a playing button is drawn brighter, with a bar that grows
// with the clip's progress (a loop's bar marked as a loop), and the picture
// is marked changed about ten times a second while anything plays (about
// three under power saving, which presents three frames a change: ten
// frames a second), and once when the last sound ends; the compiled-in
// board draws no playing state.
#include "app/app.h"
#include "app/app_internal.h"
#include "app/remote.h"

#include <vostrel/diag/diag.h>
#include <vostrel/render/render.h>
#include <vostrel/settings/settings.h>
#include <vostrel/text/text.h>

#include <GLES/gl.h>
#include <SDL/SDL_keysym.h>
#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <string.h>

const char APP_NAME[] = "Vostrel Soundboard";

BoardButton buttons[BOARD_ALL_BUTTONS];
Rect grid_rect = {0.0f, 1.0f, 0.0f, 1.0f};
BoardButton *selected_button;
BoardButton *playing_button;
const PayloadBoard *board_payload;
int board_overlap;

static const char stop_caption[] = "Stop";
static const char page_section[] = "board";
static const char page_key[] = "page";

static const Rgba fill_colour = {64, 64, 64, 222};
static const Rgba ink_normal = {128, 128, 128, 255};
static const Rgba ink_selected = {255, 255, 255, 255};
// What plays: a brighter button, an amber bar (a loop's in cyan).
static const Rgba fill_playing = {150, 150, 150, 240};
static const Rgba ink_playing = {16, 16, 16, 255};
static const Rgba bar_colour = {255, 176, 0, 255};
static const Rgba loop_colour = {0, 200, 255, 255};
static const Rgba band_dot = {90, 90, 90, 255};

constexpr float BAND_MIN_PIXELS =
    32.0f;                            // a band under the grid narrower than this is made room for
constexpr float BAND_PIXELS = 40.0f;  // the band made room for
constexpr float SWIPE_SHARE = 0.25f;  // a swipe crosses this much of the board's width ...
constexpr float SWIPE_SLANT = 2.0f;   // ... and this many times as far across as up or down
constexpr float PLAYING_FRAME = 0.1f; // seconds between pictures while a sound plays
// ... and under power saving, where every change of the picture presents its
// frame and the swap chain's two after it: about ten frames a second.
constexpr float PLAYING_FRAME_SAVING = 0.3f;

struct BoardPage {
    int first; // its first button in buttons
    int count; // its buttons, the Stop button included
};

static struct {
    BoardPage pages[PAYLOAD_PAGES];
    int page_count; // 1 for the compiled-in board and a board of one page
    int shown;      // the page on screen
    int cells;      // buttons of the fullest page: the grid's size
    float press_x;  // where the finger went down (app_input_rect)
    float press_y;
    int press_in_band; // the finger went down on the band
    int swiping;       // the finger has moved far enough across to turn the page
    float last_frame;  // shell_seconds() of the last picture marked for what plays
} board;

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

int board_page_count(void) { return board.page_count; }
int board_page_shown(void) { return board.shown; }

const char *board_page_name(int page) {
    if (page < 0 || page >= board.page_count || !board_payload) return "";
    return board_payload->pages ? board_payload->page[page].name : board_payload->name;
}

int board_page_buttons(int page) {
    return page < 0 || page >= board.page_count ? 0 : board.pages[page].count;
}

BoardButton *board_page_button(int page, int index) {
    if (index < 0 || index >= board_page_buttons(page)) return nullptr;
    return &buttons[board.pages[page].first + index];
}

int board_button_count(void) { return board_page_buttons(board.shown); }

// Grid units per screen pixel, upwards.
static float units_per_pixel(void) {
    float h = rect_height(&app_input_rect);
    return h > 0 ? rect_height(&grid_rect) / h : 0.0f;
}

int board_band(Rect *band) {
    if (board.page_count < 2) return 0;
    *band = {grid_rect.left, grid_rect.right, grid_rect.bottom, 0.0f};
    return 1;
}

void app_layout(const Rect *screen) {
    app_input_rect = *screen;
    if (board.page_count == 0) {
        // Laid out before the first app_init: one page of the board's first
        // page's buttons, where app_init will put them.
        const PayloadBoard *p = board_payload;
        int n =
            p ? std::min(p->pages ? p->page[0].count : p->count, BOARD_BUTTONS - p->stop) + p->stop
              : board_count;
        board.page_count = 1;
        board.pages[0] = {0, n};
        board.cells = n;
    }
    int columns, rows;
    int count = board.cells;
    board_grid_size(&app_input_rect, count, &columns, &rows);
    grid_rect = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
    rect_grow_to_aspect(&app_input_rect, &grid_rect);
    if (board.page_count > 1 && -grid_rect.bottom / units_per_pixel() < BAND_MIN_PIXELS) {
        // No room under the grid for the band: the grid fits above one.
        Rect above = {screen->left, screen->right, screen->bottom + BAND_PIXELS, screen->top};
        grid_rect = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
        rect_grow_to_aspect(&above, &grid_rect);
        grid_rect.bottom -= BAND_PIXELS * rect_height(&grid_rect) / rect_height(&above);
    }
    for (int p = 0; p < board.page_count; p++) {
        int k = 0, n = board.pages[p].count;
        BoardButton *page = &buttons[board.pages[p].first];
        for (int row = rows - 1; row >= 0 && k < n; row--)
            for (int column = 0; column < columns && k < n; column++, k++)
                page[k].cell = {static_cast<float>(column), static_cast<float>(column + 1),
                                static_cast<float>(row), static_cast<float>(row + 1)};
    }
    picture_changed();
}

// A clip's length from its WAV header's byte rate and data size; 0 if the
// header says neither.
static float clip_seconds(const AssetRecord *clip) {
    const uint8_t *b = clip->data;
    size_t n = clip->size, at = 12;
    uint32_t rate = 0;
    auto le32 = [b](size_t i) {
        return static_cast<uint32_t>(b[i] | b[i + 1] << 8 | b[i + 2] << 16) |
               static_cast<uint32_t>(b[i + 3]) << 24;
    };
    while (at + 8 <= n) {
        uint32_t length = le32(at + 4);
        if (memcmp(b + at, "fmt ", 4) == 0 && at + 8 + 16 <= n) rate = le32(at + 16);
        if (memcmp(b + at, "data", 4) == 0)
            return rate ? static_cast<float>(std::min<uint64_t>(length, n - at - 8)) /
                              static_cast<float>(rate)
                        : 0.0f;
        at += 8 + static_cast<size_t>(length) + (length & 1);
    }
    return 0.0f;
}

static void load_clip(BoardButton *b) {
    if (board_payload)
        sound_load_in_place(b->clip, &b->sound); // mapped for the whole run
    else
        sound_load(b->clip, &b->sound);
    if (b->volume < 100) sound_set_volume(&b->sound, (b->volume * SOUND_VOLUME_FULL + 50) / 100);
}

int board_clip_ready(BoardButton *b) {
    if (!b->source) return !b->damaged;
    const PayloadSound *s = b->source;
    b->source = nullptr;
    if (!payload_clip_whole(s)) {
        b->damaged = 1;
        char caption[BOARD_CAPTION_SIZE];
        snprintf(caption, sizeof caption, "%s", s->caption);
        for (char *c = caption; *c; c++)
            if (*c == '\n') *c = ' ';
        log_printf(LOG_ERROR,
                   "Board: sound \"%s\" is damaged (its bytes do not match their checksum) and "
                   "plays nothing",
                   caption);
        return 0;
    }
    load_clip(b);
    return 1;
}

// The board's buttons, page by page: each page's sounds (sorted for a board of
// the first version) and its Stop button.
void app_init(void) {
    memset(buttons, 0, sizeof buttons);
    selected_button = nullptr;
    playing_button = nullptr;
    const PayloadBoard *p = board_payload;
    board_overlap = p ? p->overlap : 0;
    board.page_count = p && p->pages > 1 ? p->pages : 1;
    board.cells = 0;
    int at = 0;
    for (int page = 0; page < board.page_count; page++) {
        int first = p ? (p->pages ? p->page[page].first : 0) : 0;
        int sounds = p ? (p->pages ? p->page[page].count : p->count) : board_count;
        if (sounds > BOARD_BUTTONS) sounds = BOARD_BUTTONS;
        BoardButton *b = &buttons[at];
        for (int k = 0; k < sounds; k++) {
            const PayloadSound *s = p ? &p->sounds[first + k] : nullptr;
            snprintf(b[k].caption, sizeof b[k].caption, "%s", s ? s->caption : board_captions[k]);
            b[k].clip = s ? &s->clip : board_clips[k];
            b[k].volume = s ? s->volume : 100;
            b[k].loop = s ? s->loop : 0;
            b[k].fade = s ? s->fade : 0;
            b[k].key = s ? s->key : 0;
            b[k].page = page;
            if (p) b[k].seconds = clip_seconds(b[k].clip);
        }
        for (int k = 0; k < sounds; k++) {
            if (!b[k].clip) continue;
            // A clip with its own checksum is read only when first used.
            if (p && p->sounds[first + k].unchecked) {
                b[k].source = &p->sounds[first + k];
                continue;
            }
            load_clip(&b[k]);
        }
        for (int i = 0; i < sounds - 1 && !(p && p->ordered); i++)
            for (int j = i; j < sounds; j++)
                if (strcmp(b[i].caption, b[j].caption) > 0) {
                    BoardButton t = b[i];
                    b[i] = b[j];
                    b[j] = t;
                }
        int count = sounds;
        if (p && p->stop && sounds < BOARD_BUTTONS) {
            snprintf(b[sounds].caption, sizeof b[sounds].caption, "%s", stop_caption);
            b[sounds].stops_all = 1;
            b[sounds].page = page;
            count++;
        }
        board.pages[page] = {at, count};
        if (count > board.cells) board.cells = count;
        at += count;
    }
    board.shown = 0;
    board.swiping = 0;
    int32_t kept = 0;
    if (board.page_count > 1 &&
        options_get(page_section, page_key, OPTION_INT, &kept, sizeof kept) && kept >= 0 &&
        kept < board.page_count)
        board.shown = kept;
}

int board_button_playing(const BoardButton *b) {
    if (!b || !b->clip || !b->sound.chunk) return 0;
    return sound_is_playing(const_cast<SoundRecord *>(&b->sound));
}

// Whether a page has a sound playing, as the band marks it.
static int page_playing(int page) {
    for (int k = 0; k < board.pages[page].count; k++)
        if (buttons[board.pages[page].first + k].shown_playing) return 1;
    return 0;
}

// The band: "<" and ">" at its ends, the page's name, and under it a dot a
// page (the shown one white, those with a sound playing amber) or, for more
// pages than dots fit, "2 / 17" and the numbers of the pages playing.
static void draw_band(const Rect *band) {
    float u = units_per_pixel();
    float mid = rect_center_x(band), top = band->top, bottom = band->bottom;
    float h = top - bottom;
    gl_set_color(ink_normal);
    text_draw("<", 24.0f * u, band->left + 14.0f * u, bottom + h / 2);
    text_draw(">", 24.0f * u, band->right - 14.0f * u, bottom + h / 2);
    gl_set_color(ink_selected);
    text_draw(board_page_name(board.shown), 16.0f * u, mid, top - h * 0.32f);
    constexpr int MOST_DOTS = 16;
    float y = bottom + h * 0.25f;
    if (board.page_count <= MOST_DOTS) {
        float step = 12.0f * u, size = 6.0f * u;
        float x = mid - step * static_cast<float>(board.page_count - 1) / 2;
        for (int p = 0; p < board.page_count; p++, x += step) {
            Rect dot = {x - size / 2, x + size / 2, y - size / 2, y + size / 2};
            gl_set_color(p == board.shown ? ink_selected : page_playing(p) ? bar_colour : band_dot);
            draw_rect(&dot, 1);
        }
        return;
    }
    char where[64];
    int n = snprintf(where, sizeof where, "%d / %d", board.shown + 1, board.page_count);
    char playing[64] = "";
    int m = 0;
    for (int p = 0; p < board.page_count && m < 40; p++)
        if (p != board.shown && page_playing(p))
            m += snprintf(playing + m, sizeof playing - static_cast<size_t>(m), " %d", p + 1);
    float size = 12.0f * u, advance = size / 2;
    float width = static_cast<float>(n + (m ? m + 2 : 0)) * advance;
    float x = mid - width / 2;
    gl_set_color(ink_normal);
    text_draw_aligned(where, size, x, y, TEXT_ALIGN_LEFT, TEXT_ALIGN_CENTRE);
    if (m) {
        gl_set_color(bar_colour);
        text_draw_aligned(playing, size, x + static_cast<float>(n + 1) * advance, y,
                          TEXT_ALIGN_LEFT, TEXT_ALIGN_CENTRE);
    }
}

// A playing button's bar across the foot of its cell, as long as the clip is
// played through (a loop's starts again at every repeat).
static void draw_progress(const BoardButton *b) {
    float fraction = 1.0f;
    if (b->seconds > 0) {
        float played = shell_seconds() - b->started;
        if (b->loop) played = fmodf(played, b->seconds);
        fraction = played / b->seconds;
        fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    }
    const Rect &c = b->cell;
    float inset = 0.1f;
    Rect track = {c.left + inset, c.right - inset, c.bottom + 0.08f, c.bottom + 0.15f};
    Rect bar = track;
    bar.right = track.left + (track.right - track.left) * fraction;
    draw_label_box(&track, "", band_dot, nullptr);
    draw_label_box(&bar, "", b->loop ? loop_colour : bar_colour, nullptr);
}

void app_draw(const Rect *screen) {
    app_input_rect = *screen;
    glPushMatrix();
    gl_begin_2d(&grid_rect);
    for (int k = 0, n = board_button_count(); k < n; k++) {
        BoardButton *b = board_page_button(board.shown, k);
        int playing = board_payload && b->shown_playing;
        draw_label_box(&b->cell, b->caption, playing ? fill_playing : fill_colour,
                       b == selected_button ? ink_selected
                       : playing            ? ink_playing
                                            : ink_normal);
        if (playing) draw_progress(b);
    }
    Rect band;
    if (board_band(&band)) draw_band(&band);
    glPopMatrix();
    remote_qr_draw(screen);
}

// What plays is watched every update: a sound that ended (or faded out) is
// drawn normal again, and while any plays the picture follows its bar.
void app_update(float) {
    int any = 0, ended = 0;
    for (int p = 0; p < board.page_count; p++)
        for (int k = 0; k < board.pages[p].count; k++) {
            BoardButton *b = &buttons[board.pages[p].first + k];
            if (!b->shown_playing) continue;
            if (board_button_playing(b))
                any = 1;
            else {
                b->shown_playing = 0;
                ended = 1;
            }
        }
    float now = shell_seconds();
    float period = shell_power_save() ? PLAYING_FRAME_SAVING : PLAYING_FRAME;
    if (ended || (any && now - board.last_frame >= period)) {
        board.last_frame = now;
        picture_changed();
    }
}

void board_show_page(int page) {
    if (board.page_count < 2 || page < 0 || page >= board.page_count) return;
    board.shown = page;
    selected_button = nullptr;
    int32_t kept = page;
    options_set(page_section, page_key, OPTION_INT, &kept);
    picture_changed();
}

// Turns the pages by delta, the last round to the first and back.
static void turn_page(int delta) {
    if (board.page_count < 2) return;
    int page = (board.shown + delta) % board.page_count;
    board_show_page(page < 0 ? page + board.page_count : page);
}

void board_pick(TouchEvent touch) {
    selected_button = nullptr;
    float x = touch.points[0].x, y = touch.points[0].y;
    rect_map_point(&app_input_rect, &grid_rect, &x, &y);
    for (int k = 0, n = board_button_count(); k < n; k++) {
        BoardButton *b = board_page_button(board.shown, k);
        if (rect_contains(&b->cell, x, y)) selected_button = b;
    }
    picture_changed();
}

// On a board of pages, whether the finger has gone far enough across the
// board since its press to be a swipe rather than a tap.
static int is_swipe(const TouchEvent &touch) {
    if (board.page_count < 2) return 0;
    float dx = touch.points[0].x - board.press_x, dy = touch.points[0].y - board.press_y;
    return fabsf(dx) >= SWIPE_SHARE * rect_width(&app_input_rect) &&
           fabsf(dx) > SWIPE_SLANT * fabsf(dy);
}

static int in_band(const TouchEvent &touch, float *x) {
    Rect band;
    float y = touch.points[0].y;
    *x = touch.points[0].x;
    rect_map_point(&app_input_rect, &grid_rect, x, &y);
    return board_band(&band) && rect_contains(&band, *x, y);
}

void app_touch_down(TouchEvent touch) {
    board.press_x = touch.points[0].x;
    board.press_y = touch.points[0].y;
    board.swiping = 0;
    float x;
    board.press_in_band = in_band(touch, &x);
    if (remote_qr_touch(0, touch, shell_seconds())) return;
    board_pick(touch);
    // A clip not yet checked is checked while the finger is down, so that its
    // release plays it without that wait.
    if (selected_button) board_clip_ready(selected_button);
}

void app_touch_drag(TouchEvent touch) {
    if (remote_qr_touch(1, touch, shell_seconds())) return;
    if (!board.swiping && is_swipe(touch)) {
        board.swiping = 1;
        selected_button = nullptr;
        picture_changed();
    }
    if (board.swiping) return;
    board_pick(touch);
    if (selected_button) board_clip_ready(selected_button); // as on the press
}

// Stops a button's clip: at once, or fading out over its fade time on every
// play of it (a fading clip still counts as playing).
static void board_stop(BoardButton *b) {
    if (b->fade <= 0)
        sound_stop(&b->sound);
    else
        sound_fade_out(&b->sound, b->fade);
}

void board_stop_all(void) {
    for (int p = 0; p < board.page_count; p++)
        for (int k = 0; k < board.pages[p].count; k++) {
            BoardButton *b = &buttons[board.pages[p].first + k];
            if (b->clip) board_stop(b);
        }
    playing_button = nullptr;
}

void board_press(BoardButton *b) {
    if (b->stops_all) {
        board_stop_all();
        return;
    }
    if (!board_clip_ready(b)) return;
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
    b->started = shell_seconds();
    if (board_payload && b->clip && b->sound.chunk) {
        b->shown_playing = 1;
        board.last_frame = b->started;
        picture_changed();
    }
}

void app_touch_up(TouchEvent touch) {
    if (remote_qr_touch(2, touch, shell_seconds())) return;
    if (board.swiping || is_swipe(touch)) {
        // A swipe turns the page the finger moved it: leftwards to the next.
        board.swiping = 0;
        selected_button = nullptr;
        turn_page(touch.points[0].x < board.press_x ? 1 : -1);
        return;
    }
    float x;
    if (board.press_in_band && in_band(touch, &x)) {
        turn_page(x < rect_center_x(&grid_rect) ? -1 : 1);
        return;
    }
    if (!selected_button) return;
    BoardButton *b = selected_button;
    selected_button = nullptr;
    picture_changed();
    board_press(b);
}

// Left and Right turn the pages of a board of pages.
void app_key(int code) {
    if (code == NAV_LEFT) turn_page(-1);
    if (code == NAV_RIGHT) turn_page(1);
}

// A button's key acts as a tap on it, on the page shown. A release plays only
// what its own press selected, so a finger that moved the selection
// meanwhile wins. Page Up and Page Down turn the pages.
void app_key_press(int sdl_key, int down) {
    if (board.page_count > 1 && down && (sdl_key == SDLK_PAGEUP || sdl_key == SDLK_PAGEDOWN)) {
        turn_page(sdl_key == SDLK_PAGEUP ? -1 : 1);
        return;
    }
    BoardButton *b = nullptr;
    for (int k = 0, n = board_button_count(); k < n; k++) {
        BoardButton *x = board_page_button(board.shown, k);
        if (sdl_key != 0 && x->key == sdl_key) b = x;
    }
    if (!b) return;
    if (down) {
        selected_button = b;
        board_clip_ready(b);
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
