// Soundboard, inside: the board's state and its internal operations, for the
// board itself and for the tests that watch and drive it.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/app.h"

// Module state
extern BoardButton buttons[BOARD_BUTTONS]; // display order; the first board_button_count() are in use
extern Rect grid_rect;                      // grid space, grown to the screen's aspect
extern BoardButton *selected_button;        // under the finger, or null
extern BoardButton *playing_button;         // started last, or null
extern int board_overlap;                   // 1: a tap stops no other clip (a replay restarts only its own)

// Internal operations
void board_grid_size(const Rect *r, int n, int *columns, int *rows); // grid shape closest to r's aspect
void board_pick(TouchEvent touch);                                   // selects the button under point 0 (last match wins)
int board_button_count(void);                                        // buttons of the board in use, the "Stop" button included
void board_press(BoardButton *b);                                    // what a release on b does: stop all, stop a playing loop, or (re)start b's clip

// clang-format on
