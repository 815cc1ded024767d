// Fuzz target: arbitrary bytes as a board payload (past its checksum) and as
// a whole executable with a board appended. Every input must end in a board
// whose clips lie inside the input, pass the WAV gate and carry captions
// that keep the board's rules, or in a refusal that says why.
#include "app/payload.h"

#include <vostrel/audio/audio.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>

static void check(const PayloadBoard *b, const uint8_t *data, size_t size) {
    if (b->count < 1 || b->count > PAYLOAD_SOUNDS || (b->stop && b->count > PAYLOAD_SOUNDS - 1))
        __builtin_trap();
    for (int k = 0; k < b->count; k++) {
        const PayloadSound *s = &b->sounds[k];
        const uint8_t *p = s->clip.data;
        if (p < data || p > data + size || s->clip.size > static_cast<size_t>(data + size - p))
            __builtin_trap();
        if (sound_wav_problem(&s->clip)) __builtin_trap();
        size_t n = strnlen(s->caption, sizeof s->caption);
        if (n == 0 || n == sizeof s->caption) __builtin_trap();
        if (s->volume < 0 || s->volume > 100 || (s->loop != 0 && s->loop != 1)) __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    PayloadBoard board;
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
    return 0;
}
