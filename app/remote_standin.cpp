// The board as one page (today's board): what the remote control needs of
// the board's pages until the board has pages of its own.
#include "app/remote_pages.h"

int board_page_count(void) { return 1; }
int board_page_shown(void) { return 0; }
const char *board_page_name(int) { return ""; }
int board_page_buttons(int page) { return page == 0 ? board_button_count() : 0; }

BoardButton *board_page_button(int page, int index) {
    if (page != 0 || index < 0 || index >= board_button_count()) return nullptr;
    return &buttons[index];
}

void board_show_page(int) {}

int board_button_playing(const BoardButton *b) {
    return b && b->clip && sound_is_playing(const_cast<SoundRecord *>(&b->sound));
}

void board_stop_all(void) {
    for (int k = 0, n = board_button_count(); k < n; k++)
        if (buttons[k].clip) sound_stop(&buttons[k].sound);
    playing_button = nullptr;
}
