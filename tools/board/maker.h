// vostrel-make-board, inside: the jobs the maker's main runs in turn, one
// file each. Arguments (make_board.cpp), the folders, their captions from
// file names and the board's pages (folder.cpp), captions.txt (captions.cpp,
// which also runs alone under the fuzzer), sound processing (sound.cpp), and
// writing and installing (output.cpp).
//
// A board's pages: the top folder's own sounds first, then each subfolder's
// (one level deep) in natural order, named after its folder; a folder of
// more sounds than a page holds flows onto pages of the same name and a
// number ("Voices 2").
//
// A refusal is one line on stderr that names the file or folder, the line
// and the rule; refusals are gathered until a job's end, and then no board is
// made. Nothing is written until every sound and line has passed.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include "app/payload.h"

#include <stdint.h>
#include <string>
#include <sys/types.h>
#include <vector>

extern const char MAKER_NAME[]; // "vostrel-make-board", the maker's name in its messages
constexpr double MAKER_TARGET_LUFS = -18.0; // the loudness every sound is brought to, unless its levels are kept

struct MakerOptions {
    std::string folder, out, program;
    int install = 0, autostart = 0, keep_levels = 0, keep_silence = 0;
};

struct MakerSound {
    std::string folder;                    // the folder it is in
    std::string name;                      // file name in the folder
    std::string caption;                   // lines separated by '\n'
    int given = 0;                         // caption from captions.txt
    int volume = 100, loop = 0, fade = -1; // fade -1: the board's
    int key = 0;                           // SDL key code from key=X, 0: none (or one from keys)
    std::string key_option;                // the "key=X" word as written, for messages
    std::string captions;                  // the captions.txt that gave its key, for messages
    int line = 0;                          // captions.txt line naming it, 0 for none
    int caption_refused = 0;               // 1: captions.txt gave a caption that cannot fit, already refused
    int channels = 0;
    double seconds = 0;
    std::vector<uint8_t> wav; // the clip as stored
};

struct MakerBoardOptions {
    int overlap = 0, stop = 0, fade = 0, keys = 0;
    int remote = 0; // 1 "remote": this device only; 2 "remote-lan": the network too
    int latency_normal = 0; // latency=normal
    std::string device;     // device=NAME
};

// One folder of the board: the top folder or one of its subfolders.
struct MakerFolder {
    std::string path;                // as named on the command line, then "/" and the subfolder
    std::string page_name;           // its pages' name, without the number of a following page
    std::vector<MakerSound> sounds;  // in natural order
    std::vector<std::string> others; // files that are no sounds
    std::string captions_path;       // its captions.txt (any letter case), empty if none
    std::vector<std::string> folders; // the folders inside it
};

struct MakerPage {
    std::string name; // as shown
    int first, count; // its sounds in the board's order
};

// Reporting (make_board.cpp)
void maker_refuse(const char *fmt, ...) __attribute__((format(printf, 1, 2))); // one refusal line on stderr; the board will not be made
int maker_refused(void);                                                          // 1 once anything was refused

// Arguments (make_board.cpp)
int maker_arguments(int argc, char **argv, MakerOptions *o);                     // the command line into o; -1 to go on, else the exit status (help printed, or a usage error said)

// Files and the folder (folder.cpp)
std::string maker_read_text(const std::string &path);                             // a whole file's bytes, empty if unreadable
std::string maker_base_name(const std::string &path);                             // the last part of a path, trailing slashes ignored
std::string maker_board_name(const std::string &title);                           // a folder's name as a board name: letters, digits, '.', '_', '-', at most 48, never empty or starting with '.'
int maker_scan(const std::string &path, MakerFolder *folder);                     // the folder's sound files in natural order, its other files, its caption file and the folders inside it; 0 after saying why it cannot be read
int maker_page_name(const std::string &folder_name, std::string *name, int *folded); // a folder's name as a page's name: folded to what the font draws like file names, '_' and '-' as spaces, shortened with "..." to leave room for a page number; 1, or 0 if nothing is left
std::string maker_captions_name(const MakerFolder &folder);                      // the folder's caption file, or where one would go
void maker_captions_from_names(const MakerFolder &folder, std::vector<MakerSound> *sounds); // captions from file names for the sounds captions.txt gave none, refusing names that make none
std::vector<MakerPage> maker_pages(const std::vector<MakerFolder> &folders, int per_page); // the folders' sounds cut into pages of per_page, in the folders' order
void maker_check_rules(const std::vector<MakerPage> &pages, const MakerBoardOptions &board, const std::vector<MakerSound> &sounds); // refuses every sound that breaks one of the format's rules on its page (keys, the stop button's caption, same captions), naming its file

// captions.txt (captions.cpp)
void maker_read_captions(const std::string &path, const std::string &text, const std::vector<std::string> &others, std::vector<MakerSound> *sounds, MakerBoardOptions *board, std::vector<std::string> *refusals); // board options (refused when board is null: a page's captions.txt) and, per named sound, a caption and options; every problem a line in refusals that starts with "PATH line N: "

// Sounds (sound.cpp)
void maker_process_sounds(const MakerOptions &o, std::vector<MakerSound> *sounds, uint64_t *total_bytes, double *total_seconds, std::vector<std::string> *gains); // decodes, trims and levels every sound into its wav (stereo at the mixer's rate), refusing what cannot be; the board's bytes and seconds, the gain lines to print; past PAYLOAD_MAX_BYTES only lengths are kept

// Writing and installing (output.cpp)
std::string maker_find_program(void);                                             // the installed program beside this maker, else the one on PATH; empty if none
int maker_write_whole(const std::string &path, const std::vector<const std::vector<uint8_t> *> &parts, mode_t mode); // bytes to path through a temporary file beside it, renamed over it when complete; 1 on success
int maker_mkdirs(const std::string &dir);                                         // dir and its parents; 1 on success
int maker_install_entries(const std::string &out, const std::string &name, const std::string &title, int count, int autostart); // the menu entry (and with autostart the login entry) for the board at out; 1, or 0 after saying why not
// clang-format on
