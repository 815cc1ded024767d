// Board payload reader. See payload.h for the layout and the contract.
//
// Nothing here trusts the file: the image end comes from the ELF headers
// (bounded by the file), the trailer must end the file exactly where the
// payload's length says, the trailer's checksum covers every payload byte
// (from version 6 on: every header byte) before the header is parsed, and
// the header's lengths must add up to the payload. A version 6 clip is
// checked against its own checksum by payload_clip_whole, when it is first
// to play.
#include "app/payload.h"

#include <vostrel/audio/audio.h>

#include <elf.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

constexpr size_t PAYLOAD_HEAD_BYTES = 65536; // ELF and program headers are read from here

static void say(char *why, size_t why_size, const char *fmt, ...) {
    if (!why || why_size == 0) return;
    va_list args;
    va_start(args, fmt);
    vsnprintf(why, why_size, fmt, args);
    va_end(args);
}

// Eight bytes a step (tables T1..T7 advance T0's CRC by one to seven more
// bytes): a clip of tens of megabytes is checked while its button is held.
uint32_t payload_checksum(const uint8_t *data, size_t size) {
    static uint32_t table[8][256];
    static int ready = 0;
    if (!ready) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i << 24;
            for (int k = 0; k < 8; k++)
                c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            table[0][i] = c;
        }
        for (int t = 1; t < 8; t++)
            for (uint32_t i = 0; i < 256; i++)
                table[t][i] = (table[t - 1][i] << 8) ^ table[0][table[t - 1][i] >> 24];
        ready = 1;
    }
    auto word = [data](size_t i) {
        return static_cast<uint32_t>(data[i]) << 24 | static_cast<uint32_t>(data[i + 1]) << 16 |
               static_cast<uint32_t>(data[i + 2]) << 8 | data[i + 3];
    };
    uint32_t crc = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint32_t x = crc ^ word(i), y = word(i + 4);
        crc = table[7][x >> 24] ^ table[6][(x >> 16) & 0xFF] ^ table[5][(x >> 8) & 0xFF] ^
              table[4][x & 0xFF] ^ table[3][y >> 24] ^ table[2][(y >> 16) & 0xFF] ^
              table[1][(y >> 8) & 0xFF] ^ table[0][y & 0xFF];
    }
    for (; i < size; i++)
        crc = (crc << 8) ^ table[0][(crc >> 24) ^ data[i]];
    for (uint64_t n = size; n; n >>= 8)
        crc = (crc << 8) ^ table[0][(crc >> 24) ^ (n & 0xFF)];
    return ~crc;
}

// Both ELF classes: the arm packages are 32-bit.
template <typename Ehdr, typename Phdr>
static int image_end(const uint8_t *head, size_t head_size, uint64_t file_size, uint64_t *end) {
    if (head_size < sizeof(Ehdr)) return 0;
    Ehdr e;
    memcpy(&e, head, sizeof e);
    uint64_t last = e.e_ehsize;
    uint64_t ph_table = static_cast<uint64_t>(e.e_phnum) * e.e_phentsize;
    uint64_t sh_table = static_cast<uint64_t>(e.e_shnum) * e.e_shentsize;
    if (e.e_phoff > file_size || ph_table > file_size - e.e_phoff) return 0;
    if (e.e_shoff > file_size || sh_table > file_size - e.e_shoff) return 0;
    if (e.e_phnum &&
        (e.e_phentsize < sizeof(Phdr) || e.e_phoff > head_size || ph_table > head_size - e.e_phoff))
        return 0;
    if (e.e_phoff + ph_table > last) last = e.e_phoff + ph_table;
    if (e.e_shoff + sh_table > last) last = e.e_shoff + sh_table;
    for (uint64_t i = 0; i < e.e_phnum; i++) {
        Phdr p;
        memcpy(&p, head + e.e_phoff + i * e.e_phentsize, sizeof p);
        if (p.p_offset > file_size || p.p_filesz > file_size - p.p_offset) return 0;
        if (p.p_offset + p.p_filesz > last) last = p.p_offset + p.p_filesz;
    }
    if (last > file_size) return 0;
    *end = last;
    return 1;
}

int payload_image_end(const uint8_t *head, size_t head_size, uint64_t file_size, uint64_t *end) {
    if (head_size < EI_NIDENT || memcmp(head, ELFMAG, SELFMAG) != 0) return 0;
    const uint16_t probe = 1;
    int little = *reinterpret_cast<const uint8_t *>(&probe) == 1;
    if (head[EI_DATA] != (little ? ELFDATA2LSB : ELFDATA2MSB)) return 0;
    if (head[EI_CLASS] == ELFCLASS64)
        return image_end<Elf64_Ehdr, Elf64_Phdr>(head, head_size, file_size, end);
    if (head[EI_CLASS] == ELFCLASS32)
        return image_end<Elf32_Ehdr, Elf32_Phdr>(head, head_size, file_size, end);
    return 0;
}

// A cursor over the payload's header lines.
struct Cursor {
    const uint8_t *p;
    size_t left;
};

// Takes the word up to the next space (or, with to_line_end, up to the
// newline) into out; 0 if none or too long.
static int take(Cursor *c, char *out, size_t out_size, int to_line_end) {
    size_t n = 0;
    while (n < c->left && c->p[n] != '\n' && (to_line_end || c->p[n] != ' '))
        n++;
    if (n == 0 || n >= out_size || n >= c->left) return 0;
    memcpy(out, c->p, n);
    out[n] = 0;
    c->p += n;
    c->left -= n;
    return 1;
}

// The separator after a field: ' ' between fields, '\n' at the line's end.
static int expect(Cursor *c, char ch) {
    if (c->left == 0 || c->p[0] != ch) return 0;
    c->p++;
    c->left--;
    return 1;
}

// A decimal number of at most 10 digits, no sign, within [low, high].
static int number(Cursor *c, uint64_t low, uint64_t high, uint64_t *value) {
    char word[12];
    if (!take(c, word, sizeof word, 0)) return 0;
    uint64_t v = 0;
    for (const char *d = word; *d; d++) {
        if (*d < '0' || *d > '9') return 0;
        v = v * 10 + static_cast<uint64_t>(*d - '0');
    }
    if (v < low || v > high) return 0;
    *value = v;
    return 1;
}

// A checksum field: exactly 8 lower-case hex digits.
static int hex32(Cursor *c, uint32_t *value) {
    char word[12];
    if (!take(c, word, sizeof word, 0) || strlen(word) != 8) return 0;
    uint32_t v = 0;
    for (const char *d = word; *d; d++) {
        if (*d >= '0' && *d <= '9')
            v = v << 4 | static_cast<uint32_t>(*d - '0');
        else if (*d >= 'a' && *d <= 'f')
            v = v << 4 | static_cast<uint32_t>(*d - 'a' + 10);
        else
            return 0;
    }
    *value = v;
    return 1;
}

const char *payload_caption_problem(const char *text) {
    int lines = 1, line = 0, total = 0;
    for (const char *c = text; *c; c++) {
        if (*c == '\n') {
            if (line == 0) return "a caption line is not empty";
            lines++;
            line = 0;
            continue;
        }
        if (*c < ' ' || *c > '~') return "a caption holds only printable ASCII";
        line++;
        total++;
        if (line > PAYLOAD_CAPTION_LINE) return "a caption line has at most 12 characters";
    }
    if (total < 1) return "a caption is not empty";
    if (line == 0) return "a caption line is not empty";
    if (lines > PAYLOAD_CAPTION_LINES) return "a caption has 1 to 4 lines";
    if (total > PAYLOAD_CAPTION_TOTAL) return "a caption has at most 27 characters in all";
    return nullptr;
}

int payload_name_ok(const char *name) {
    size_t n = 0;
    for (const char *c = name; *c; c++, n++)
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
              *c == '.' || *c == '_' || *c == '-'))
            return 0;
    return n > 0 && n < PAYLOAD_NAME_SIZE && name[0] != '.';
}

int payload_key_code(const char *name) {
    if (!name || !name[0] || name[1]) return 0;
    char c = name[0];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : 0;
}

const char *payload_page_name_problem(const char *name) {
    // Reads at most one byte past the longest name, so a field of
    // PAYLOAD_PAGE_NAME + 1 bytes with no end in it is refused, not overrun.
    size_t n = 0;
    for (; n <= PAYLOAD_PAGE_NAME && name[n]; n++)
        if (name[n] < ' ' || name[n] > '~') return "a page's name holds only printable ASCII";
    if (n < 1) return "a page's name is not empty";
    if (n > PAYLOAD_PAGE_NAME) return "a page's name has at most 24 characters";
    return nullptr;
}

// The first sound of sound k's page; the whole board is one page while it
// has no page table (b->pages 0).
static int page_first(const PayloadBoard *b, int k) {
    for (int p = 0; p < b->pages && p < PAYLOAD_PAGES; p++)
        if (k >= b->page[p].first && k - b->page[p].first < b->page[p].count)
            return b->page[p].first;
    return 0;
}

int payload_sound_problems(const PayloadBoard *b, int k, PayloadProblem *out, int out_size) {
    const PayloadSound *s = &b->sounds[k];
    int n = 0, first = page_first(b, k);
    auto add = [&](int rule, int other, const char *caption_rule) {
        if (n < out_size) out[n] = {rule, k, other, caption_rule};
        n++;
    };
    if (s->key != 0) {
        char name[2] = {static_cast<char>(s->key), 0};
        if (s->key < 0 || s->key > 127 || payload_key_code(name) != s->key)
            add(PAYLOAD_RULE_KEY, -1, nullptr);
        else
            for (int j = first; j < k; j++)
                if (b->sounds[j].key == s->key) {
                    add(PAYLOAD_RULE_SAME_KEY, j, nullptr);
                    break;
                }
    }
    if (const char *rule = payload_caption_problem(s->caption)) {
        add(PAYLOAD_RULE_CAPTION, -1, rule);
        return n;
    }
    if (b->stop && strcmp(s->caption, PAYLOAD_STOP_CAPTION) == 0)
        add(PAYLOAD_RULE_STOP_CAPTION, -1, nullptr);
    for (int j = first; j < k; j++)
        if (strcmp(b->sounds[j].caption, s->caption) == 0) {
            add(PAYLOAD_RULE_SAME_CAPTION, j, nullptr);
            break;
        }
    return n;
}

// The first rule sound k breaks, said in why (sounds counted from 1); 0 if
// it keeps them all.
static int sound_problem(const PayloadBoard *b, int k, char *why, size_t why_size) {
    PayloadProblem p;
    if (payload_sound_problems(b, k, &p, 1) == 0) return 0;
    const PayloadSound *s = &b->sounds[k];
    switch (p.rule) {
    case PAYLOAD_RULE_KEY:
        say(why, why_size, "sound %d: key code %d is not a digit or lower-case letter", k + 1,
            s->key);
        break;
    case PAYLOAD_RULE_SAME_KEY:
        say(why, why_size, "sounds %d and %d are both on key %c", p.other + 1, k + 1, s->key);
        break;
    case PAYLOAD_RULE_CAPTION:
        say(why, why_size, "sound %d: %s", k + 1, p.caption_rule);
        break;
    case PAYLOAD_RULE_STOP_CAPTION:
        say(why, why_size, "sound %d: the caption \"%s\" is the stop button's", k + 1,
            PAYLOAD_STOP_CAPTION);
        break;
    default:
        say(why, why_size, "sounds %d and %d have the same caption", p.other + 1, k + 1);
        break;
    }
    return 1;
}

// A board's name as its one page's name: as far as a page's name goes.
static void page_name_of(const char *board_name, char *page_name) {
    size_t n = strnlen(board_name, PAYLOAD_PAGE_NAME);
    memcpy(page_name, board_name, n);
    page_name[n] = 0;
}

// The page lines of a version 4 header into board (its count already read):
// the pages' sounds must add up to the board's, each page within the
// page's limit.
static int parse_pages(Cursor *c, uint64_t pages, PayloadBoard *board, char *why, size_t why_size) {
    char word[PAYLOAD_NAME_SIZE];
    int first = 0;
    for (int p = 0; p < static_cast<int>(pages); p++) {
        PayloadPage *page = &board->page[p];
        uint64_t count;
        if (!take(c, word, sizeof word, 0) || strcmp(word, "page") != 0 || !expect(c, ' ') ||
            !number(c, 1, PAYLOAD_SOUNDS, &count) || !expect(c, ' ') ||
            !take(c, page->name, sizeof page->name, 1) || !expect(c, '\n')) {
            say(why, why_size, "page %d: the line is not \"page <sounds> <name>\"", p + 1);
            return 0;
        }
        if (const char *rule = payload_page_name_problem(page->name)) {
            say(why, why_size, "page %d: %s", p + 1, rule);
            return 0;
        }
        if (board->stop && count > PAYLOAD_SOUNDS - 1) {
            say(why, why_size, "page %d: a page with a stop button holds at most %d sounds", p + 1,
                PAYLOAD_SOUNDS - 1);
            return 0;
        }
        if (count > static_cast<uint64_t>(board->count - first)) {
            say(why, why_size, "page %d: its sounds run past the board's %d", p + 1, board->count);
            return 0;
        }
        page->first = first;
        page->count = static_cast<int>(count);
        first += page->count;
    }
    if (first != board->count) {
        say(why, why_size, "the pages hold %d sounds, the board %d", first, board->count);
        return 0;
    }
    board->pages = static_cast<int>(pages);
    return 1;
}

// The output line: latency mode and output name ("-": the default).
static int parse_output(Cursor *c, PayloadBoard *board, char *why, size_t why_size) {
    char word[PAYLOAD_DEVICE_SIZE];
    char latency[8];
    if (!take(c, word, sizeof word, 0) || !expect(c, ' ') ||
        !take(c, latency, sizeof latency, 0) || !expect(c, ' ') ||
        !take(c, board->device, sizeof board->device, 0) || !expect(c, '\n') ||
        (strcmp(latency, "low") != 0 && strcmp(latency, "normal") != 0) ||
        (strcmp(board->device, "-") != 0 && !payload_device_ok(board->device))) {
        say(why, why_size, "the board's output line is not \"output <low|normal> <device|->\"");
        return 0;
    }
    board->latency_normal = strcmp(latency, "normal") == 0;
    if (strcmp(board->device, "-") == 0) board->device[0] = 0;
    return 1;
}

int payload_device_ok(const char *name) {
    size_t n = strlen(name);
    if (n == 0 || n >= PAYLOAD_DEVICE_SIZE || strcmp(name, "-") == 0) return 0;
    for (const char *ch = name; *ch; ch++)
        if (*ch <= ' ' || *ch > '~') return 0;
    return 1;
}

// Reads the payload of a board of format `version`.
static int parse(const uint8_t *data, size_t size, uint32_t version, PayloadBoard *out,
                 size_t *head, char *why, size_t why_size) {
    static PayloadBoard board; // too large for the stack of a small thread; main thread only
    memset(&board, 0, sizeof board);
    Cursor c = {data, size};
    char word[PAYLOAD_NAME_SIZE];
    uint64_t overlap, stop, remote = 0, count, pages = 1;
    if (!take(&c, word, sizeof word, 0) || strcmp(word, "board") != 0 || !expect(&c, ' ') ||
        !number(&c, 0, 1, &overlap) || !expect(&c, ' ') || !number(&c, 0, 1, &stop) ||
        !expect(&c, ' ') ||
        (version >= 5 && (!number(&c, 0, 2, &remote) || !expect(&c, ' '))) ||
        !number(&c, 1, version >= 4 ? PAYLOAD_BOARD_SOUNDS : PAYLOAD_SOUNDS, &count) ||
        !expect(&c, ' ') ||
        (version >= 4 && (!number(&c, 1, PAYLOAD_PAGES, &pages) || !expect(&c, ' '))) ||
        !take(&c, board.name, sizeof board.name, 1) || !expect(&c, '\n')) {
        say(why, why_size,
            version >= 5
                ? "the board's first line is not \"board <overlap> <stop> <remote> <sounds> <pages> "
                  "<name>\""
            : version >= 4
                ? "the board's first line is not \"board <overlap> <stop> <sounds> <pages> <name>\""
                : "the board's first line is not \"board <overlap> <stop> <sounds> <name>\"");
        return 0;
    }
    if (!payload_name_ok(board.name)) {
        say(why, why_size,
            "the board's name holds characters other than letters, digits, '.', '_', '-'");
        return 0;
    }
    if (version < 4 && stop && count > PAYLOAD_SOUNDS - 1) {
        say(why, why_size, "a board with a stop button holds at most %d sounds",
            PAYLOAD_SOUNDS - 1);
        return 0;
    }
    board.overlap = static_cast<int>(overlap);
    board.stop = static_cast<int>(stop);
    board.remote = static_cast<int>(remote);
    board.count = static_cast<int>(count);
    board.ordered = version >= 2;
    if (version >= 4) {
        if (!parse_pages(&c, pages, &board, why, why_size)) return 0;
        if (c.left >= 7 && memcmp(c.p, "output ", 7) == 0 &&
            !parse_output(&c, &board, why, why_size))
            return 0;
    } else {
        // One page, named after the board as far as a page's name goes.
        board.pages = 1;
        board.page[0].first = 0;
        board.page[0].count = board.count;
        page_name_of(board.name, board.page[0].name);
    }
    for (int k = 0; k < board.count; k++) {
        PayloadSound *s = &board.sounds[k];
        uint64_t bytes, volume, loop, fade = 0, key = 0;
        uint32_t crc = 0;
        if (!take(&c, word, sizeof word, 0) || strcmp(word, "sound") != 0 || !expect(&c, ' ') ||
            !number(&c, 1, UINT32_MAX, &bytes) || !expect(&c, ' ') ||
            (version >= PAYLOAD_CLIP_SUMS && (!hex32(&c, &crc) || !expect(&c, ' '))) ||
            !number(&c, 0, 100, &volume) || !expect(&c, ' ') || !number(&c, 0, 1, &loop) ||
            !expect(&c, ' ') ||
            (version >= 2 && (!number(&c, 0, PAYLOAD_FADE_MAX, &fade) || !expect(&c, ' '))) ||
            (version >= 3 && (!number(&c, 0, 127, &key) || !expect(&c, ' '))) ||
            !take(&c, s->caption, sizeof s->caption, 1) || !expect(&c, '\n')) {
            say(why, why_size,
                version >= PAYLOAD_CLIP_SUMS
                    ? "sound %d: the line is not \"sound <bytes> <checksum> <volume> <loop> <fade> "
                      "<key> <caption>\""
                : version >= 3 ? "sound %d: the line is not \"sound <bytes> <volume> <loop> <fade> "
                                 "<key> <caption>\""
                : version >= 2
                    ? "sound %d: the line is not \"sound <bytes> <volume> <loop> <fade> <caption>\""
                    : "sound %d: the line is not \"sound <bytes> <volume> <loop> <caption>\"",
                k + 1);
            return 0;
        }
        for (char *ch = s->caption; *ch; ch++)
            if (*ch == '\t') *ch = '\n';
        s->key = static_cast<int>(key);
        if (sound_problem(&board, k, why, why_size)) return 0;
        s->volume = static_cast<int>(volume);
        s->loop = static_cast<int>(loop);
        s->fade = static_cast<int>(fade);
        s->crc = crc;
        s->unchecked = version >= PAYLOAD_CLIP_SUMS;
        s->clip.size = static_cast<uint32_t>(bytes); // its place comes once all are read
    }
    if (version >= 4) {
        int spaces = 0;
        if (!take(&c, word, sizeof word, 0) || strcmp(word, "clips") != 0) spaces = -1;
        while (spaces >= 0 && spaces < PAYLOAD_CLIP_ALIGN - 1 && c.left && c.p[0] == ' ') {
            c.p++;
            c.left--;
            spaces++;
        }
        if (spaces < 0 || !expect(&c, '\n')) {
            say(why, why_size, "the sounds' lines end in no \"clips\" line");
            return 0;
        }
    }
    *head = size - c.left;
    // The clips fill the rest exactly.
    uint64_t left = c.left;
    for (int k = 0; k < board.count; k++) {
        if (board.sounds[k].clip.size > left) {
            say(why, why_size, "sound %d: its length runs past the end of the board", k + 1);
            return 0;
        }
        left -= board.sounds[k].clip.size;
    }
    if (left != 0) {
        say(why, why_size, "%llu bytes after the last sound",
            static_cast<unsigned long long>(left));
        return 0;
    }
    const uint8_t *at = c.p;
    for (int k = 0; k < board.count; k++) {
        PayloadSound *s = &board.sounds[k];
        s->clip = {"board.wav", "wav", s->clip.size, at};
        at += s->clip.size;
        if (const char *problem = sound_wav_problem(&s->clip)) {
            say(why, why_size, "sound %d: %s", k + 1, problem);
            return 0;
        }
    }
    *out = board;
    return 1;
}

int payload_parse(const uint8_t *data, size_t size, PayloadBoard *out, char *why, size_t why_size) {
    size_t head;
    return parse(data, size, PAYLOAD_VERSION, out, &head, why, why_size);
}

int payload_clip_whole(const PayloadSound *s) {
    return !s->unchecked || payload_checksum(s->clip.data, s->clip.size) == s->crc;
}

// The board's page table as written: its own, or one page of every sound
// named after the board; 0 if the table breaks a rule.
static int pages_of(const PayloadBoard *b, PayloadPage *pages, int *n) {
    if (b->pages == 0) {
        *n = 1;
        page_name_of(b->name, pages[0].name);
        pages[0].first = 0;
        pages[0].count = b->count;
    } else {
        if (b->pages < 0 || b->pages > PAYLOAD_PAGES) return 0;
        *n = b->pages;
        memcpy(pages, b->page, sizeof(PayloadPage) * static_cast<size_t>(b->pages));
    }
    int first = 0;
    for (int p = 0; p < *n; p++) {
        if (pages[p].first != first || pages[p].count < 1 ||
            pages[p].count > PAYLOAD_SOUNDS - (b->stop ? 1 : 0) ||
            payload_page_name_problem(pages[p].name))
            return 0;
        first += pages[p].count;
    }
    return first == b->count;
}

size_t payload_encode(const PayloadBoard *b, uint8_t *out, size_t out_size) {
    static PayloadPage pages[PAYLOAD_PAGES];
    int page_count = 0;
    if (b->count < 1 || b->count > PAYLOAD_BOARD_SOUNDS || !payload_name_ok(b->name) ||
        (b->overlap != 0 && b->overlap != 1) || (b->stop != 0 && b->stop != 1) ||
        b->remote < 0 || b->remote > 2 || !pages_of(b, pages, &page_count) ||
        (b->latency_normal != 0 && b->latency_normal != 1) ||
        (b->device[0] && !payload_device_ok(b->device)))
        return 0;
    // Written only when the board asks for something, so a board without
    // these options is the same bytes as before they existed.
    char output[PAYLOAD_DEVICE_SIZE + 32] = "";
    if (b->latency_normal || b->device[0])
        snprintf(output, sizeof output, "output %s %s\n", b->latency_normal ? "normal" : "low",
                 b->device[0] ? b->device : "-");
    // A board with no page table keeps every sound on one page for the rules too.
    static PayloadBoard checked;
    const PayloadBoard *rules = b;
    if (b->pages == 0) {
        checked = *b;
        checked.pages = 1;
        checked.page[0] = pages[0];
        rules = &checked;
    }
    char line[PAYLOAD_NAME_SIZE + 64];
    size_t size = static_cast<size_t>(snprintf(line, sizeof line, "board %d %d %d %d %d %s\n",
                                               b->overlap, b->stop, b->remote, b->count, page_count,
                                               b->name));
    for (int p = 0; p < page_count; p++)
        size += static_cast<size_t>(
            snprintf(line, sizeof line, "page %d %s\n", pages[p].count, pages[p].name));
    size += strlen(output);
    for (int k = 0; k < b->count; k++) {
        const PayloadSound *s = &b->sounds[k];
        if (sound_problem(rules, k, nullptr, 0) || s->volume < 0 || s->volume > 100 ||
            (s->loop != 0 && s->loop != 1) || s->fade < 0 || s->fade > PAYLOAD_FADE_MAX ||
            s->clip.size == 0 || sound_wav_problem(&s->clip))
            return 0;
        // The checksum's field has a fixed width: measured here without it.
        size += static_cast<size_t>(snprintf(line, sizeof line, "sound %u %08x %d %d %d %d %s\n",
                                             s->clip.size, 0u, s->volume, s->loop, s->fade,
                                             s->key, s->caption)) +
                s->clip.size;
    }
    // "clips", the spaces that align the first clip in the file, "\n".
    size_t head = size - [&] {
        size_t clips = 0;
        for (int k = 0; k < b->count; k++)
            clips += b->sounds[k].clip.size;
        return clips;
    }();
    size_t pad =
        (PAYLOAD_CLIP_ALIGN - (b->offset + head + 6) % PAYLOAD_CLIP_ALIGN) % PAYLOAD_CLIP_ALIGN;
    size += 6 + pad;
    if (size > PAYLOAD_MAX_BYTES) return 0;
    size_t total = size + PAYLOAD_TRAILER_SIZE;
    if (!out || out_size < total) return total;
    uint8_t *at = out;
    at += snprintf(reinterpret_cast<char *>(at), sizeof line, "board %d %d %d %d %d %s\n",
                   b->overlap, b->stop, b->remote, b->count, page_count, b->name);
    for (int p = 0; p < page_count; p++)
        at += snprintf(reinterpret_cast<char *>(at), sizeof line, "page %d %s\n", pages[p].count,
                       pages[p].name);
    memcpy(at, output, strlen(output));
    at += strlen(output);
    for (int k = 0; k < b->count; k++) {
        const PayloadSound *s = &b->sounds[k];
        uint8_t *caption =
            at + snprintf(reinterpret_cast<char *>(at), sizeof line, "sound %u %08x %d %d %d %d ",
                          s->clip.size, payload_checksum(s->clip.data, s->clip.size), s->volume,
                          s->loop, s->fade, s->key);
        for (const char *ch = s->caption; *ch; ch++)
            *caption++ = *ch == '\n' ? '\t' : static_cast<uint8_t>(*ch);
        *caption++ = '\n';
        at = caption;
    }
    memcpy(at, "clips", 5);
    at += 5;
    memset(at, ' ', pad);
    at += pad;
    *at++ = '\n';
    for (int k = 0; k < b->count; k++) {
        memcpy(at, b->sounds[k].clip.data, b->sounds[k].clip.size);
        at += b->sounds[k].clip.size;
    }
    uint64_t length = size;
    memcpy(at, PAYLOAD_MAGIC, 8);
    // The trailer's checksum covers the header; the clips carry their own.
    uint32_t words[4] = {PAYLOAD_VERSION, payload_checksum(out, head + 6 + pad),
                         static_cast<uint32_t>(length), static_cast<uint32_t>(length >> 32)};
    for (int w = 0; w < 4; w++)
        for (int i = 0; i < 4; i++)
            at[8 + 4 * w + i] = static_cast<uint8_t>(words[w] >> (8 * i));
    return total;
}

// The trailer checks shared by the file and memory readers: where the payload
// lies, once the trailer is known to end the file right after it.
static int locate(const uint8_t *trailer, uint64_t image, uint64_t file_size, uint64_t *offset,
                  uint64_t *length, uint32_t *crc, uint32_t *version, char *why, size_t why_size) {
    uint64_t extra = file_size - image;
    if (extra < PAYLOAD_TRAILER_SIZE || memcmp(trailer, PAYLOAD_MAGIC, 8) != 0) {
        say(why, why_size,
            "%llu bytes after the program end in no board trailer (truncated or damaged)",
            static_cast<unsigned long long>(extra));
        return 0;
    }
    *version = read_le32(trailer + 8);
    if (*version < 1 || *version > PAYLOAD_VERSION) {
        say(why, why_size, "board format version %u; this program reads versions 1 to %u", *version,
            PAYLOAD_VERSION);
        return 0;
    }
    *crc = read_le32(trailer + 12);
    *length = read_le32(trailer + 16) | static_cast<uint64_t>(read_le32(trailer + 20)) << 32;
    if (*length != extra - PAYLOAD_TRAILER_SIZE) {
        say(why, why_size,
            "the trailer gives %llu payload bytes, %llu are there (truncated or damaged)",
            static_cast<unsigned long long>(*length),
            static_cast<unsigned long long>(extra - PAYLOAD_TRAILER_SIZE));
        return 0;
    }
    if (*length > PAYLOAD_MAX_BYTES) {
        say(why, why_size, "a payload of %llu bytes is larger than a board can be",
            static_cast<unsigned long long>(*length));
        return 0;
    }
    *offset = image;
    return 1;
}

// The header of a board with clip checksums: its lines up to and including
// the first that starts with "clips" (no other line of a header can), within
// PAYLOAD_HEAD_MAX; 0 if there is none.
static size_t head_length(const uint8_t *p, uint64_t length) {
    size_t n = length < PAYLOAD_HEAD_MAX ? static_cast<size_t>(length) : PAYLOAD_HEAD_MAX;
    for (size_t at = 0; at < n;) {
        const uint8_t *end = static_cast<const uint8_t *>(memchr(p + at, '\n', n - at));
        if (!end) return 0;
        size_t next = static_cast<size_t>(end - p) + 1;
        if (next - at >= 6 && memcmp(p + at, "clips", 5) == 0) return next;
        at = next;
    }
    return 0;
}

// The trailer's checksum against what it covers, before any of that is
// parsed: the whole payload, or (with clip checksums) only its header.
static int check_and_parse(const uint8_t *payload, uint64_t length, uint32_t crc, uint32_t version,
                           PayloadBoard *board, char *why, size_t why_size) {
    uint64_t covered = length;
    if (version >= PAYLOAD_CLIP_SUMS) {
        covered = head_length(payload, length);
        if (covered == 0) {
            say(why, why_size, "the board's header ends in no \"clips\" line (damaged)");
            return PAYLOAD_DAMAGED;
        }
    }
    uint32_t actual = payload_checksum(payload, covered);
    if (actual != crc) {
        say(why, why_size, "checksum %u does not match the trailer's %u (damaged)", actual, crc);
        return PAYLOAD_DAMAGED;
    }
    size_t head = 0;
    if (!parse(payload, length, version, board, &head, why, why_size)) return PAYLOAD_DAMAGED;
    if (version >= PAYLOAD_CLIP_SUMS && head != covered) {
        say(why, why_size, "the board's header is not the part its checksum covers (damaged)");
        return PAYLOAD_DAMAGED;
    }
    return PAYLOAD_BOARD;
}

int payload_read_bytes(const uint8_t *file, size_t size, PayloadBoard *board, char *why,
                       size_t why_size) {
    uint64_t image;
    if (!payload_image_end(file, size, size, &image)) {
        say(why, why_size, "not a program this machine runs");
        return PAYLOAD_DAMAGED;
    }
    if (image == size) return PAYLOAD_NONE;
    uint64_t offset, length;
    uint32_t crc, version;
    const uint8_t *trailer =
        size - image >= PAYLOAD_TRAILER_SIZE ? file + size - PAYLOAD_TRAILER_SIZE : file;
    if (!locate(trailer, image, size, &offset, &length, &crc, &version, why, why_size))
        return PAYLOAD_DAMAGED;
    return check_and_parse(file + offset, length, crc, version, board, why, why_size);
}

int payload_read_file(const char *path, PayloadBoard *board, char *why, size_t why_size) {
    FILE *f = fopen(path, "rb");
    if (!f) return PAYLOAD_NONE; // no way to look: the compiled-in board
    int result = PAYLOAD_DAMAGED;
    uint8_t *head = nullptr, *payload = nullptr, *map = nullptr;
    size_t map_size = 0;
    uint8_t trailer[PAYLOAD_TRAILER_SIZE];
    uint64_t image, offset, length, file_size;
    uint32_t crc, version;
    size_t head_size;
    long end;
    if (fseek(f, 0, SEEK_END) != 0 || (end = ftell(f)) < 0) {
        say(why, why_size, "%s cannot be read", path);
        goto done;
    }
    file_size = static_cast<uint64_t>(end);
    head_size =
        file_size < PAYLOAD_HEAD_BYTES ? static_cast<size_t>(file_size) : PAYLOAD_HEAD_BYTES;
    head = static_cast<uint8_t *>(malloc(head_size ? head_size : 1));
    if (!head || fseek(f, 0, SEEK_SET) != 0 || fread(head, 1, head_size, f) != head_size) {
        say(why, why_size, "%s cannot be read", path);
        goto done;
    }
    if (!payload_image_end(head, head_size, file_size, &image)) {
        result = PAYLOAD_NONE; // not an ELF we can measure: nothing appended to look for
        goto done;
    }
    if (image == file_size) {
        result = PAYLOAD_NONE;
        goto done;
    }
    memset(trailer, 0, sizeof trailer);
    if (file_size - image >= PAYLOAD_TRAILER_SIZE &&
        (fseek(f, end - PAYLOAD_TRAILER_SIZE, SEEK_SET) != 0 ||
         fread(trailer, 1, sizeof trailer, f) != sizeof trailer)) {
        say(why, why_size, "%s cannot be read", path);
        goto done;
    }
    if (!locate(trailer, image, file_size, &offset, &length, &crc, &version, why, why_size))
        goto done;
    {
        // Mapped, not copied: the clips are read where the file's pages lie,
        // which the system may drop and read again instead of keeping a
        // second copy of hundreds of megabytes in memory.
        long page = sysconf(_SC_PAGESIZE);
        uint64_t start = page > 0 ? offset - offset % static_cast<uint64_t>(page) : offset;
        map_size = static_cast<size_t>(offset - start + length);
        static uint8_t none[1];
        void *m = length ? mmap(nullptr, map_size, PROT_READ, MAP_PRIVATE, fileno(f),
                                static_cast<off_t>(start))
                         : none;
        if (m == MAP_FAILED) {
            say(why, why_size, "the board's %llu bytes cannot be read",
                static_cast<unsigned long long>(length));
            goto done;
        }
        payload = static_cast<uint8_t *>(m) + (length ? offset - start : 0);
        if (length) map = static_cast<uint8_t *>(m);
    }
    result = check_and_parse(payload, length, crc, version, board, why, why_size);
    if (result == PAYLOAD_BOARD) map = nullptr; // the clips point into it for the whole run
done:
    free(head);
    if (map) munmap(map, map_size);
    fclose(f);
    return result;
}
