// Soundboard: the application. Up to twenty buttons (the default board has
// twenty), sorted by caption, laid out in the grid whose shape best fits the
// screen with square cells; a press highlights, a release plays the button's
// clip after stopping the one started last. The framework drives it only
// through the app_ hooks below.
//
// The board is the compiled-in one, or one appended to the executable
// (app/payload.h) with its options: a volume and looping per sound, and for
// the whole board overlapping plays and a "Stop" button after the sounds.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/payload.h"

#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>
#include <vostrel/shell/shell.h>

constexpr int BOARD_BUTTONS = 20; // the most buttons a board has
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

// The appended board in use instead of the compiled-in one, or null (set before the shell starts)
extern const PayloadBoard *board_payload;
int board_state_folder(const char *program, const PayloadBoard *board, char *folder, int size); // the state folder's name: program alone, or program-board for an appended board; 0 if it does not fit

// The soundboard defines these hooks of shell/shell.h and leaves the rest to
// the framework's defaults: app_layout lays out the grid, app_init builds and
// sorts the buttons, loads their clips and sets their volumes, app_draw draws
// the board, touch down and drag pick the button under the finger, touch up
// hands the selection to board_press.
// clang-format on
