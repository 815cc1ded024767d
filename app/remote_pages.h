// The board's pages as the remote control sees them (0-based here; the
// remote's own numbers start at 1).
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/app_internal.h"

int board_page_count(void);                          // pages of the board, at least 1
int board_page_shown(void);                          // the page on the screen
const char *board_page_name(int page);               // its name, "" for none
int board_page_buttons(int page);                    // buttons on that page (the "Stop" button included), 0 for no such page
BoardButton *board_page_button(int page, int index); // that button, or null
void board_show_page(int page);                      // shows it; nothing for no such page
int board_button_playing(const BoardButton *b);      // 1 while its clip plays
void board_stop_all(void);                           // stops every clip of the board

// clang-format on
