// Soundboard, inside: the board's state and its internal operations, for the
// board itself and for the tests that watch and drive it.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/app.h"

// Module state
extern BoardButton buttons[BOARD_ALL_BUTTONS]; // page by page, each in display order with its Stop button last; the page shown's are board_page_button(board_page_shown(), 0..)
extern Rect grid_rect;                      // grid space, grown to the screen's aspect
extern BoardButton *selected_button;        // under the finger, or null
extern BoardButton *playing_button;         // started last, or null
extern int board_overlap;                   // 1: a tap stops no other clip (a replay restarts only its own)

// Internal operations
void board_grid_size(const Rect *r, int n, int *columns, int *rows); // grid shape closest to r's aspect
void board_pick(TouchEvent touch);                                   // selects the button under point 0 (last match wins)
int board_button_count(void);                                        // buttons of the page shown, its "Stop" button included
int board_band(Rect *band);                                          // 1 and the band under the grid (grid units) on a board of pages; 0 on a board of one page

// clang-format on
