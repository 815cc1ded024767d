// Fuzz target: arbitrary bytes as a board payload (past its checksum) and as
// a whole executable with a board appended. Every input must end in a board
// whose clips lie inside the input, pass the WAV gate and carry captions
// that keep the board's rules, or in a refusal that says why.
// A clip not yet checked is checked against its own checksum without
// fault, and one that passes is a clip the WAV gate passes.
// The same bytes also drive the writer: file names become captions (which
// must keep the rules), pages are cut from the sounds, and a board that
// payload_encode writes must read back with every field and page as
// written, its first clip aligned in the file where the payload starts,
// every clip passing its own check and failing it once a byte of it changes.
#include "app/payload.h"

#include <vostrel/audio/audio.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// A silent 16-bit mono clip of `frames` frames at 44.1 kHz, into out.
static size_t make_clip(uint8_t *out, uint32_t frames) {
    uint32_t data = frames * 2;
    const uint32_t words[] = {36 + data, 16, 1 | 1u << 16, 44100, 88200, 2 | 16u << 16};
    memcpy(out, "RIFF", 4);
    memcpy(out + 4, &words[0], 4);
    memcpy(out + 8, "WAVEfmt ", 8);
    for (int i = 1; i < 6; i++)
        memcpy(out + 12 + 4 * i, &words[i], 4);
    memcpy(out + 36, "data", 4);
    memcpy(out + 40, &data, 4);
    memset(out + 44, 0, data);
    return 44 + data;
}

// Which byte of a clip of `size` bytes the round trip changes for sound k.
static size_t knob_byte(int k, size_t size) { return (static_cast<size_t>(k) * 7919u) % size; }

static void write_and_read(const uint8_t *data, size_t size) {
    if (size < 3) return;
    constexpr int MOST = 3 * PAYLOAD_SOUNDS;
    static uint8_t clips[MOST][44 + 2 * 64];
    static PayloadBoard b, r;
    memset(&b, 0, sizeof b);
    strcpy(b.name, "fuzz");
    b.overlap = data[1] & 1;
    b.stop = (data[1] >> 1) & 1;
    b.pages = (data[1] >> 2) % 4; // 0: no page table, one page of every sound
    b.offset = data[2] % 8;
    size_t at = 3;
    if (b.pages == 0) {
        b.count = 1 + data[0] % PAYLOAD_SOUNDS;
    } else {
        // Each page: its size, then its name up to the next '/'.
        for (int p = 0; p < b.pages; p++) {
            int n = 1 + (at < size ? data[at++] : 0) % PAYLOAD_SOUNDS;
            size_t c = 0;
            while (at < size && data[at] != '/' && c < sizeof b.page[p].name - 1)
                b.page[p].name[c++] = static_cast<char>(data[at++]);
            if (at < size) at++;
            b.page[p].first = b.count;
            b.page[p].count = n;
            b.count += n;
        }
    }
    for (int k = 0; k < b.count; k++) {
        // A file name: the bytes up to the next '/' (at most 60).
        char name[64];
        size_t n = 0;
        while (at < size && data[at] != '/' && n < sizeof name - 1)
            name[n++] = static_cast<char>(data[at++]);
        name[n] = 0;
        if (at < size) at++;
        int shortened;
        PayloadSound *s = &b.sounds[k];
        if (payload_caption_from_name(name, s->caption, sizeof s->caption, &shortened) &&
            payload_caption_problem(s->caption))
            __builtin_trap(); // the maker never makes a caption the reader refuses
        uint8_t knobs = at < size ? data[at++] : 0;
        s->volume = knobs % 101;
        s->loop = knobs >> 7;
        s->fade = (knobs & 0x3F) * 900;
        s->key = knobs & 0x40 ? PAYLOAD_KEY_ORDER[knobs % 36] : 0;
        size_t bytes = make_clip(clips[k], 1 + knobs % 64);
        s->clip = {"fuzz.wav", "wav", static_cast<uint32_t>(bytes), clips[k]};
    }
    size_t need = payload_encode(&b, nullptr, 0);
    if (need == 0) return;
    static uint8_t out[1 << 16];
    if (need > sizeof out || payload_encode(&b, out, sizeof out) != need) __builtin_trap();
    char why[PAYLOAD_WHY_SIZE];
    if (!payload_parse(out, need - PAYLOAD_TRAILER_SIZE, &r, why, sizeof why)) __builtin_trap();
    if (r.count != b.count || r.overlap != b.overlap || r.stop != b.stop || !r.ordered ||
        strcmp(r.name, b.name) != 0 || r.pages != (b.pages ? b.pages : 1))
        __builtin_trap();
    if ((static_cast<uint64_t>(r.sounds[0].clip.data - out) + b.offset) % PAYLOAD_CLIP_ALIGN)
        __builtin_trap();
    for (int p = 0; p < b.pages; p++)
        if (strcmp(r.page[p].name, b.page[p].name) != 0 || r.page[p].first != b.page[p].first ||
            r.page[p].count != b.page[p].count)
            __builtin_trap();
    for (int k = 0; k < b.count; k++) {
        const PayloadSound *x = &b.sounds[k], *y = &r.sounds[k];
        if (strcmp(x->caption, y->caption) != 0 || x->volume != y->volume || x->loop != y->loop ||
            x->fade != y->fade || x->key != y->key || x->clip.size != y->clip.size ||
            memcmp(x->clip.data, y->clip.data, x->clip.size) != 0)
            __builtin_trap();
        if (!y->unchecked || !payload_clip_whole(y)) __builtin_trap();
        uint8_t *byte = out + (y->clip.data - out) + knob_byte(k, y->clip.size);
        *byte ^= 0x80;
        int whole = payload_clip_whole(y);
        *byte ^= 0x80;
        if (whole) __builtin_trap(); // a changed byte always changes the CRC
    }
}

static void check(const PayloadBoard *b, const uint8_t *data, size_t size) {
    if (b->count < 1 || b->count > PAYLOAD_BOARD_SOUNDS || b->pages < 1 || b->pages > PAYLOAD_PAGES)
        __builtin_trap();
    int first = 0;
    for (int p = 0; p < b->pages; p++) {
        const PayloadPage *page = &b->page[p];
        if (page->first != first || page->count < 1 ||
            page->count > PAYLOAD_SOUNDS - (b->stop ? 1 : 0) ||
            payload_page_name_problem(page->name))
            __builtin_trap();
        for (int k = first; k < first + page->count; k++)
            for (int j = first; j < k; j++)
                if ((b->sounds[j].key && b->sounds[j].key == b->sounds[k].key) ||
                    strcmp(b->sounds[j].caption, b->sounds[k].caption) == 0)
                    __builtin_trap(); // keys and captions are each a page's own
        first += page->count;
    }
    if (first != b->count) __builtin_trap();
    for (int k = 0; k < b->count; k++) {
        const PayloadSound *s = &b->sounds[k];
        const uint8_t *p = s->clip.data;
        if (p < data || p > data + size || s->clip.size > static_cast<size_t>(data + size - p))
            __builtin_trap();
        if (sound_wav_problem(&s->clip)) __builtin_trap();
        if (!s->unchecked && s->crc != 0) __builtin_trap(); // a checksum is only read to be checked
        payload_clip_whole(s);
        size_t n = strnlen(s->caption, sizeof s->caption);
        if (n == 0 || n == sizeof s->caption) __builtin_trap();
        if (s->volume < 0 || s->volume > 100 || (s->loop != 0 && s->loop != 1)) __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static PayloadBoard board;
    char why[PAYLOAD_WHY_SIZE];
    why[0] = 0;
    if (payload_parse(data, size, &board, why, sizeof why))
        check(&board, data, size);
    else if (!why[0])
        __builtin_trap();
    why[0] = 0;
    int r = payload_read_bytes(data, size, &board, why, sizeof why);
    if (r == PAYLOAD_BOARD) check(&board, data, size);
    if (r == PAYLOAD_DAMAGED && !why[0]) __builtin_trap();
    write_and_read(data, size);
    return 0;
}
