// Soundboard: the application. Up to twenty buttons a page (the default board
// has one page of twenty), sorted by caption, laid out in the grid whose shape
// best fits the screen with square cells; a press highlights, a release plays
// the button's clip after stopping the one started last. The framework drives
// it only through the app_ hooks below; a remote control through the pages
// functions.
//
// The board is the compiled-in one, or one appended to the executable
// (app/payload.h) with its options: a volume and looping per sound, and for
// the whole board overlapping plays and a "Stop" button after the sounds. An
// appended board may have pages: one is shown at a time, with a band under
// the grid that names it, and a swipe, a tap on the band's halves or a key
// turns to the next or previous page.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/payload.h"

#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>
#include <vostrel/shell/shell.h>

constexpr int BOARD_BUTTONS = 20; // the most buttons a page has (the default board's one page has twenty)
constexpr int BOARD_ALL_BUTTONS = PAYLOAD_BOARD_SOUNDS + PAYLOAD_PAGES; // every page's sounds and Stop buttons
constexpr int BOARD_CAPTION_SIZE = 256;

struct BoardButton {
    char caption[BOARD_CAPTION_SIZE]; // lines separated by '\n'
    Rect cell;                        // grid units: (column, column + 1, row, row + 1)
    const AssetRecord *clip;          // the WAV clip
    SoundRecord sound;                // the clip loaded for playback
    int volume;                       // percent of full volume, 0 to 100
    int loop;                         // 1: plays until stopped; a tap while it plays stops it
    int stops_all;                    // 1: the "Stop" button, which has no clip
    int fade;                         // milliseconds of fade-out when another tap stops it, 0: cut
    int key;                          // SDL key code whose press and release act as a tap, 0: none
    int page;                         // the page it is on, from 0
    float started;                    // shell_seconds() when its clip last started
    float seconds;                    // its clip's length, 0 if unknown
    int shown_playing;                // 1 while it is drawn as playing (and watched for its end)
    const PayloadSound *source;       // its sound on an appended board whose clip is not yet checked, else null
    int damaged;                      // 1: its clip failed its check; it plays nothing
};

// The default board's clips (data/vostrel_NN.wav)
extern "C" const AssetRecord asset_vostrel_00_wav, asset_vostrel_01_wav, asset_vostrel_02_wav,
    asset_vostrel_03_wav, asset_vostrel_04_wav, asset_vostrel_05_wav, asset_vostrel_06_wav,
    asset_vostrel_07_wav, asset_vostrel_08_wav, asset_vostrel_09_wav, asset_vostrel_10_wav,
    asset_vostrel_11_wav, asset_vostrel_12_wav, asset_vostrel_13_wav, asset_vostrel_14_wav,
    asset_vostrel_15_wav, asset_vostrel_16_wav, asset_vostrel_17_wav, asset_vostrel_18_wav,
    asset_vostrel_19_wav;

// Board content, generated from a board.txt (caption k pairs with clip k)
extern const int board_count;                 // buttons on this board: 1 to BOARD_BUTTONS
extern const char *const board_captions[];    // board_count captions
extern const AssetRecord *const board_clips[]; // board_count clips

// Pages: the board shown one page at a time (0-based; a board without pages is one page)
int board_page_count(void);                          // pages of the board in use, at least 1
int board_page_shown(void);                          // the page on screen
const char *board_page_name(int page);               // its name; "" for the compiled-in board and for no such page
int board_page_buttons(int page);                    // its buttons, its Stop button included; 0 for no such page
BoardButton *board_page_button(int page, int index); // a button of a page in display order, null for none
void board_show_page(int page);                      // shows a page, kept in the options as [board] page; the selection is dropped, nothing stops; nothing for no such page
int board_button_playing(const BoardButton *b);      // 1 while b's clip plays (or fades out)
void board_press(BoardButton *b);                    // as a tap's release on it would: stop all, stop a playing loop, or (re)start b's clip
int board_clip_ready(BoardButton *b);                // 1 once b's clip is checked and loaded (done here on first use; a damaged clip is logged once and never loaded); 1 for a button without a clip
void board_stop_all(void);                           // stops every sound of every page, as a Stop button does

// The appended board in use instead of the compiled-in one, or null (set before the shell starts)
extern const PayloadBoard *board_payload;
int board_state_folder(const char *program, const PayloadBoard *board, char *folder, int size); // the state folder's name: program alone, or program-board for an appended board; 0 if it does not fit

// The soundboard defines these hooks of shell/shell.h and leaves the rest to
// the framework's defaults: app_layout lays out the grid, app_init builds and
// sorts the buttons, loads their clips and sets their volumes, app_draw draws
// the board, touch down and drag pick the button under the finger, touch up
// hands the selection to board_press.
// clang-format on
