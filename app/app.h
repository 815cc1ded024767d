// Soundboard: the application. Twenty buttons, sorted by caption, laid out in
// the grid whose shape best fits the screen with square cells; a press
// highlights, a release plays the button's clip after stopping the one started
// last. The framework drives it only through the app_ hooks below.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "assets/assets.h"
#include "audio/audio.h"
#include "input/input.h"

constexpr int BOARD_BUTTONS = 20;
constexpr int BOARD_CAPTION_SIZE = 256;

struct BoardButton {
    char caption[BOARD_CAPTION_SIZE]; // lines separated by '\n'
    Rect cell;                        // grid units: (column, column + 1, row, row + 1)
    const AssetRecord *clip;          // the WAV clip
    SoundRecord sound;                // the clip loaded for playback
};

// Board content, generated from data/board.txt (caption k pairs with clip k)
extern const char *const board_captions[BOARD_BUTTONS];
extern const AssetRecord *const board_clips[BOARD_BUTTONS];

// Module state
extern BoardButton buttons[BOARD_BUTTONS]; // display order
extern Rect grid_rect;                      // grid space, grown to the screen's aspect
extern BoardButton *selected_button;        // under the finger, or null
extern BoardButton *playing_button;         // started last, or null

// Internal operations
void board_grid_size(const Rect *r, int n, int *columns, int *rows); // grid shape closest to r's aspect
void board_pick(TouchEvent touch);                                   // selects the button under point 0 (last match wins)

// Application hooks (called by the framework)
void app_gl_ready(void);                 // after gl_init: nothing
void app_layout(const Rect *screen);     // grid and cells from the screen
void app_init(void);                     // buttons built, clips loaded, sorted
void app_init_done(void);                // end of the chain: nothing
void app_menu_built(void);               // nothing
void app_menu_label(void);               // nothing
void app_pre_update(float dt);           // nothing
void app_update(float dt);               // nothing
void app_pre_draw(const Rect *screen);   // nothing
void app_draw(const Rect *screen);       // the board
void app_key(int code);                  // nothing
void app_touch_down(TouchEvent touch);   // board_pick
void app_touch_drag(TouchEvent touch);   // board_pick
void app_touch_up(TouchEvent touch);     // stop the last clip, play the selection
int app_load_session(void);              // 0: nothing to restore
void app_session_loaded(void);           // nothing
void app_save_session(void);             // nothing
void app_shutdown(void);                 // nothing
// clang-format on
