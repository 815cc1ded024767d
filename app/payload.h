// Board payload: a board (captions, clips, options) appended to the program's
// own executable by vostrel-make-board, so a board needs no compiler.
//
// This is the one definition of the board format: the program reads it with
// the functions below and vostrel-make-board writes it with payload_encode,
// so both share its version, checksum, limits, caption rules and the place
// where the program ends (the end of its ELF image, payload_image_end).
//
// File layout: the ELF image, then the payload, then a 24-byte trailer, all
// little-endian: magic "VSTRLBRD", format version (u32), checksum (u32, the
// POSIX cksum CRC, as `cksum` prints it), payload length (u64). The checksum
// covers the whole payload in versions 1 to 5; from version 6 on only the
// header (every line up to and including the "clips" line), and each clip
// carries its own, held against its bytes before it first plays, so a big
// board starts without reading its clips. The payload is a text header and
// the clips' bytes:
//   versions 1 to 3: "board <overlap 0|1> <stop 0|1> <sounds> <name>\n"
//   version 4:       "board <overlap 0|1> <stop 0|1> <sounds> <pages> <name>\n"
//   versions 5, 6:   "board <overlap 0|1> <stop 0|1> <remote 0|1|2> <sounds> <pages> <name>\n"
//     (versions 4 to 6) and one line per page, in order: "page <sounds> <page name>\n"
//   one line per sound (page by page), the caption's lines separated by tabs:
//     version 1: "sound <bytes> <volume 0-100> <loop 0|1> <caption>\n"
//     version 2: "sound <bytes> <volume 0-100> <loop 0|1> <fade ms> <caption>\n"
//     versions 3 to 5: "sound <bytes> <volume 0-100> <loop 0|1> <fade ms> <key> <caption>\n"
//     version 6: "sound <bytes> <checksum> <volume 0-100> <loop 0|1> <fade ms> <key> <caption>\n"
//     (checksum: the clip's bytes' cksum CRC as 8 lower-case hex digits)
//     (key: the SDL key code of a digit or lower-case letter, 0 for none)
//   versions 4 to 6, optionally after the page lines: "output <latency> <device>\n"
//     (latency "low" or "normal"; device an output's name, printable ASCII
//     without spaces, or "-" for the default output); without it a board
//     plays in low latency on the default output
//   versions 4 to 6: "clips" and 0 to 3 spaces, "\n" (the spaces start the first
//     clip at a multiple of 4 bytes in the file, so that samples stored in
//     the mixer's format can be played where they lie)
//   then every sound's WAV bytes in header order, ending the payload exactly.
// A board of versions 1 to 3 is one page. Each page holds 1 to 20 sounds (19
// with the stop button, which every page shows); keys and captions are each
// a page's own, and a board holds at most PAYLOAD_BOARD_SOUNDS sounds.
// Version 1 boards are shown sorted by caption bytes, as they always were;
// later versions in the order written (the maker's natural order).
// Every length and offset is bounded by the file before use; the trailer's
// checksum is verified before anything it covers is parsed; each clip passes
// the mixer loader's WAV gate and each caption the board's caption rules. A
// version 6 clip whose bytes do not match its checksum must not be played
// (payload_clip_whole says which).
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>

#include <stddef.h>
#include <stdint.h>

constexpr char PAYLOAD_MAGIC[] = "VSTRLBRD";   // 8 bytes, no terminator in the file
constexpr uint32_t PAYLOAD_VERSION = 6;        // the format written; versions 1 to 5 are still read
constexpr uint32_t PAYLOAD_CLIP_SUMS = 6;      // the first version whose clips carry their own checksums
constexpr int PAYLOAD_TRAILER_SIZE = 24;       // magic, version, checksum, length
constexpr int PAYLOAD_SOUNDS = 20;             // most sounds of a page (19 with the stop button)
constexpr int PAYLOAD_BOARD_SOUNDS = 1000;     // most sounds of a board, all its pages together
constexpr int PAYLOAD_PAGES = 100;             // most pages of a board
constexpr int PAYLOAD_PAGE_NAME = 24;          // characters of a page's name (printable ASCII, at least one)
constexpr int PAYLOAD_CLIP_ALIGN = 4;          // version 4 starts its first clip at a multiple of this in the file
constexpr int PAYLOAD_CAPTION_SIZE = 32;       // 27 characters, 3 breaks, terminator
constexpr int PAYLOAD_CAPTION_LINES = 4;       // lines of a caption, each 1 to PAYLOAD_CAPTION_LINE characters
constexpr int PAYLOAD_CAPTION_LINE = 12;       // characters of a caption line
constexpr int PAYLOAD_CAPTION_TOTAL = 27;      // characters of a caption, breaks not counted
constexpr char PAYLOAD_STOP_CAPTION[] = "Stop"; // the stop button's caption, which no sound may take
constexpr uint64_t PAYLOAD_MAX_BYTES = 512ull << 20; // largest payload a program reads
constexpr size_t PAYLOAD_HEAD_MAX = 256u << 10; // longest header (its lines up to "clips") of a board with clip checksums
constexpr int PAYLOAD_FADE_MAX = 60000;        // longest fade-out, milliseconds
constexpr int PAYLOAD_RATE = SOUND_RATE;       // the mixer's rate, at which the maker stores every clip
constexpr int PAYLOAD_NAME_SIZE = 64;          // board name with terminator
constexpr int PAYLOAD_DEVICE_SIZE = 128;       // output name with terminator
constexpr int PAYLOAD_WHY_SIZE = 200;          // room for a problem's description
constexpr char PAYLOAD_KEY_ORDER[] = "1234567890qwertyuiopasdfghjklzxcvbnm"; // the keys the board option `keys` hands out, in the buttons' reading order

// Results of reading a file
constexpr int PAYLOAD_DAMAGED = -1; // data after the program that is no valid board
constexpr int PAYLOAD_NONE = 0;     // nothing after the program: use the compiled-in board
constexpr int PAYLOAD_BOARD = 1;    // a valid board was read

struct PayloadSound {
    char caption[PAYLOAD_CAPTION_SIZE]; // lines separated by '\n'
    AssetRecord clip;                   // WAV bytes inside the payload
    int volume;                         // percent of full volume, 0 to 100
    int loop;                           // 1: repeats until stopped
    int fade;                           // milliseconds of fade-out when stopped, 0: cut
    int key;                            // SDL key code (a digit or lower-case letter) that plays it, 0: none
    uint32_t crc;                       // reader, version 6 on: the checksum its clip's bytes must have (the writer computes it)
    int unchecked;                      // reader, version 6 on: 1 until payload_clip_whole checks its bytes; 0 when checked with the payload (versions 1 to 5) or built in memory
};

struct PayloadPage {
    char name[PAYLOAD_PAGE_NAME + 1]; // shown above or below the grid
    int first;                        // its first sound's index in sounds
    int count;                        // its sounds: 1 to 20, at most 19 with stop
};

struct PayloadBoard {
    char name[PAYLOAD_NAME_SIZE]; // letters, digits, '.', '_', '-'
    int overlap;                  // 1: a tap stops no other clip
    int stop;                     // 1: a "Stop" button follows the sounds of every page
    int remote;                   // remote control as the board asks for it (version 5 on): 0 none, 1 this device only, 2 the network too
    int count;                    // sounds of all pages: 1 to PAYLOAD_BOARD_SOUNDS
    int ordered;                  // 1: shown in the order written (version 2 on); 0: sorted by caption bytes
    int pages;                    // 1 to PAYLOAD_PAGES; the writer takes 0 as one page of every sound, named after the board
    uint64_t offset;              // writer: where in the file the payload starts (the clips are aligned to it); reader: 0
    int latency_normal;           // 1: plays with today's latency (board option latency=normal); 0: low latency
    char device[PAYLOAD_DEVICE_SIZE]; // the output it plays on (board option device=NAME); "" for the default
    PayloadPage page[PAYLOAD_PAGES]; // in order; their sounds follow each other in sounds
    PayloadSound sounds[PAYLOAD_BOARD_SOUNDS];
};

// The rules a sound of a board keeps, beside the caption rules, which the
// reader, the writer and the maker check with payload_sound_problems
constexpr int PAYLOAD_RULE_KEY = 1;          // its key code is no digit or lower-case letter
constexpr int PAYLOAD_RULE_SAME_KEY = 2;     // an earlier sound has its key
constexpr int PAYLOAD_RULE_CAPTION = 3;      // its caption breaks a caption rule (caption_rule says which)
constexpr int PAYLOAD_RULE_STOP_CAPTION = 4; // its caption is the stop button's, on a board with one
constexpr int PAYLOAD_RULE_SAME_CAPTION = 5; // an earlier sound has its caption

struct PayloadProblem {
    int rule;                 // PAYLOAD_RULE_*
    int sound;                // the sound that breaks it, from 0
    int other;                // the earlier sound it clashes with, or -1
    const char *caption_rule; // PAYLOAD_RULE_CAPTION: payload_caption_problem's words, else null
};

// The format's rules, shared by reader and writer
int payload_sound_problems(const PayloadBoard *b, int k, PayloadProblem *out, int out_size);  // the rules sound k breaks, against itself and the sounds before it on its page (every sound one page while b->pages is 0): key code, same key, caption rules, then (only for a caption that keeps them) the stop button's caption and same caption; their number, the first out_size of them into out
const char *payload_caption_problem(const char *caption);                                      // null if the caption (lines separated by '\n') keeps the caption rules, else the rule it breaks
int payload_name_ok(const char *name);                                                          // 1 if name is a board name: 1 to 63 letters, digits, '.', '_', '-', not starting with '.'
const char *payload_page_name_problem(const char *name);                                        // null if name keeps the page name rules (1 to PAYLOAD_PAGE_NAME printable ASCII characters), else the rule it breaks
int payload_device_ok(const char *name);                                                        // 1 if name can be a board's output: 1 to 127 printable ASCII characters, no space, not "-"
int payload_key_code(const char *name);                                                         // SDL key code of a key name (one digit or letter, either case); 0 for any other name

// Captions and order of a folder's sounds (app/payload_names.cpp)
int payload_fold_ascii(const char *utf8, char *out, size_t out_size);                          // UTF-8 text as printable ASCII: accented Latin letters lose their marks (é -> e, ü -> u, ß -> ss), other characters dropped; 1 if anything changed
int payload_caption_from_name(const char *file_name, char *caption, size_t caption_size, int *shortened); // a file's caption: its name without extension, folded, '_' and '-' as spaces, wrapped at spaces and after dots, shortened with "..." (never after a word of one or two characters) when it cannot fit; 1, or 0 if nothing is left
int payload_wrap(const char *text, char *caption, size_t caption_size);                        // text wrapped into caption lines at spaces and after dots, no line ending on a lone one-letter word that fits the next; 1 if the result keeps the caption rules
int payload_natural_compare(const char *a, const char *b);                                     // order of names as people count: case folded, runs of digits by value ("track 2" before "track 10"); ties by bytes

// Writing
size_t payload_encode(const PayloadBoard *board, uint8_t *out, size_t out_size);               // payload and trailer of a board (current version) into out when out_size suffices; the size needed, 0 if board breaks a rule

// Reading
int payload_clip_whole(const PayloadSound *s);                                                  // 1 if the sound's clip may be played: checked with its payload, or its bytes match its own checksum; reads every byte of the clip when not yet checked
uint32_t payload_checksum(const uint8_t *data, size_t size);                                    // POSIX cksum CRC of the bytes (length included)
int payload_image_end(const uint8_t *head, size_t head_size, uint64_t file_size, uint64_t *end); // end of the ELF image whose first head_size bytes are given; 0 if not an ELF of this machine's byte order or its headers lie outside head or the file
int payload_parse(const uint8_t *data, size_t size, PayloadBoard *board, char *why, size_t why_size); // checked payload into board (clips point into data); 1, or 0 with the problem in why
int payload_read_bytes(const uint8_t *file, size_t size, PayloadBoard *board, char *why, size_t why_size); // a whole executable in memory: PAYLOAD_NONE, PAYLOAD_BOARD (clips point into file) or PAYLOAD_DAMAGED with why
int payload_read_file(const char *path, PayloadBoard *board, char *why, size_t why_size);  // as payload_read_bytes, reading only headers and trailer; the payload is mapped from the file and stays mapped for the run
// clang-format on
