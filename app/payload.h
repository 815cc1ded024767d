// Board payload: a board (captions, clips, options) appended to the program's
// own executable by vostrel-make-board, so a board needs no compiler.
//
// File layout: the ELF image, then the payload, then a 24-byte trailer, all
// little-endian: magic "VSTRLBRD", format version (u32, 1), checksum of the
// payload (u32, the POSIX cksum CRC, as `cksum` prints it), payload length
// (u64). The payload is a text header and the clips' bytes:
//   "board <overlap 0|1> <stop 0|1> <sounds> <name>\n"
//   one "sound <bytes> <volume 0-100> <loop 0|1> <caption>\n" per sound, the
//   caption's lines separated by tabs,
//   then every sound's WAV bytes in header order, ending the payload exactly.
// Every length and offset is bounded by the file before use; the checksum is
// verified before anything of the payload is read; each clip passes the
// mixer loader's WAV gate and each caption the board's caption rules.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/assets/assets.h>

#include <stddef.h>
#include <stdint.h>

constexpr char PAYLOAD_MAGIC[] = "VSTRLBRD";   // 8 bytes, no terminator in the file
constexpr uint32_t PAYLOAD_VERSION = 1;        // the format this program reads
constexpr int PAYLOAD_TRAILER_SIZE = 24;       // magic, version, checksum, length
constexpr int PAYLOAD_SOUNDS = 20;             // most sounds (19 with the stop button)
constexpr int PAYLOAD_CAPTION_SIZE = 32;       // 27 characters, 3 breaks, terminator
constexpr int PAYLOAD_NAME_SIZE = 64;          // board name with terminator
constexpr int PAYLOAD_WHY_SIZE = 200;          // room for a problem's description

// Results of reading a file
constexpr int PAYLOAD_DAMAGED = -1; // data after the program that is no valid board
constexpr int PAYLOAD_NONE = 0;     // nothing after the program: use the compiled-in board
constexpr int PAYLOAD_BOARD = 1;    // a valid board was read

struct PayloadSound {
    char caption[PAYLOAD_CAPTION_SIZE]; // lines separated by '\n'
    AssetRecord clip;                   // WAV bytes inside the payload
    int volume;                         // percent of full volume, 0 to 100
    int loop;                           // 1: repeats until stopped
};

struct PayloadBoard {
    char name[PAYLOAD_NAME_SIZE]; // letters, digits, '.', '_', '-'
    int overlap;                  // 1: a tap stops no other clip
    int stop;                     // 1: a "Stop" button follows the sounds
    int count;                    // sounds: 1 to 20, at most 19 with stop
    PayloadSound sounds[PAYLOAD_SOUNDS];
};

// Reading
uint32_t payload_checksum(const uint8_t *data, size_t size);                                    // POSIX cksum CRC of the bytes (length included)
int payload_image_end(const uint8_t *head, size_t head_size, uint64_t file_size, uint64_t *end); // end of the ELF image whose first head_size bytes are given; 0 if not an ELF of this machine's byte order or its headers lie outside head or the file
int payload_parse(const uint8_t *data, size_t size, PayloadBoard *board, char *why, size_t why_size); // checked payload into board (clips point into data); 1, or 0 with the problem in why
int payload_read_bytes(const uint8_t *file, size_t size, PayloadBoard *board, char *why, size_t why_size); // a whole executable in memory: PAYLOAD_NONE, PAYLOAD_BOARD (clips point into file) or PAYLOAD_DAMAGED with why
int payload_read_file(const char *path, PayloadBoard *board, char *why, size_t why_size);  // as payload_read_bytes, reading only headers, trailer and payload; the payload stays allocated for the run
// clang-format on
