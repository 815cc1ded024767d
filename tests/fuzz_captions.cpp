// Fuzz target: arbitrary bytes as a folder's captions.txt, read against a
// folder of a few sounds and other files. Whatever the text, the reader
// leaves every sound with options in their ranges and a caption that keeps
// the board's rules (or none), and says each problem on a line that names
// the file and a line the text has. A page's captions.txt changes no
// board option.
#include "tools/board/maker.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const char *const names[] = {"a.wav", "b b.wav", "Über laut.ogg", "track 10.flac",
                                        "stop.wav"};
    std::vector<MakerSound> sounds;
    for (const char *n : names) {
        MakerSound s;
        s.name = n;
        sounds.push_back(s);
    }
    std::vector<std::string> others = {"notes.txt", "cover.jpg"};
    MakerBoardOptions board;
    std::vector<std::string> refusals;
    const std::string path = "dir/captions.txt";
    std::string text(reinterpret_cast<const char *>(data), size);
    // A page's captions.txt (no board options) on odd first bytes.
    int page = size > 0 && (data[0] & 1);
    maker_read_captions(path, text, others, &sounds, page ? nullptr : &board, &refusals);

    long lines = 1;
    for (char c : text)
        lines += c == '\n';
    for (const std::string &r : refusals) {
        const std::string head = path + " line ";
        if (r.compare(0, head.size(), head) != 0) __builtin_trap();
        long line = strtol(r.c_str() + head.size(), nullptr, 10);
        if (line < 1 || line > lines) __builtin_trap();
    }
    if ((board.overlap | board.stop | board.keys) & ~1) __builtin_trap();
    if (page && (board.overlap || board.stop || board.keys || board.fade)) __builtin_trap();
    if (board.fade < 0 || board.fade > PAYLOAD_FADE_MAX) __builtin_trap();
    for (const MakerSound &s : sounds) {
        if (s.volume < 0 || s.volume > 100 || (s.loop != 0 && s.loop != 1)) __builtin_trap();
        if (s.fade < -1 || s.fade > PAYLOAD_FADE_MAX) __builtin_trap();
        if (s.line < 0 || s.line > lines) __builtin_trap();
        if (s.key != 0) {
            char key[2] = {static_cast<char>(s.key), 0};
            if (payload_key_code(key) != s.key) __builtin_trap();
        }
        if (s.given && (s.caption_refused || payload_caption_problem(s.caption.c_str())))
            __builtin_trap();
        if (!s.given && !s.caption.empty()) __builtin_trap();
    }
    return 0;
}
