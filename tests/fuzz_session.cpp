// Fuzz target: arbitrary bytes as the session file. The stored size must be
// one the file's bytes back; a read of that size (or of a size taken from the
// input) must succeed exactly when the length word matches and the payload is
// all there, must leave the caller's buffer untouched otherwise and must
// consume the file either way; and the same bytes written as a session read
// back unchanged.
#include <vostrel/diag/diag.h>
#include "fuzz_dir.h"
#include <vostrel/settings/settings.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::string session_path;

bool enter_private_dir() {
    session_path = fuzz_private_file("session", ".session");
    return !session_path.empty();
}

void put_file(const uint8_t *data, size_t size) {
    FILE *f = fopen(session_path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

// A read into a heap block of exactly `length` bytes, checked against the
// file's bytes.
void check_read(const uint8_t *data, size_t size, int length) {
    put_file(data, size);
    std::vector<uint8_t> buffer(static_cast<size_t>(length > 0 ? length : 1), 0xA5);
    int32_t word = 0;
    if (size >= 4) memcpy(&word, data, 4);
    bool expect =
        size >= 4 && length > 0 && word == length && size - 4 >= static_cast<size_t>(length);
    int got = session_read(buffer.data(), length);
    if (got != (expect ? 1 : 0)) __builtin_trap();
    if (got && memcmp(buffer.data(), data + 4, static_cast<size_t>(length)) != 0) __builtin_trap();
    if (!got)
        for (uint8_t b : buffer)
            if (b != 0xA5) __builtin_trap();
    if (access(session_path.c_str(), F_OK) == 0) __builtin_trap(); // consumed
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = enter_private_dir();
    if (!ready || size > 1u << 16) return 0;

    put_file(data, size);
    int stored = session_stored_size();
    if (stored < 0 || (stored > 0 && (size < 4 || static_cast<size_t>(stored) > size - 4)))
        __builtin_trap();
    if (stored > 0) check_read(data, size, stored);
    // A size the caller might expect, from the input itself: mostly wrong.
    int guess = size >= 6 ? (data[4] | data[5] << 8) : static_cast<int>(size);
    check_read(data, size, guess);

    if (size > 0) {
        if (session_write(data, static_cast<int>(size)) != 1) __builtin_trap();
        if (session_stored_size() != static_cast<int>(size)) __builtin_trap();
        std::vector<uint8_t> back(size);
        if (session_read(back.data(), static_cast<int>(size)) != 1) __builtin_trap();
        if (memcmp(back.data(), data, size) != 0) __builtin_trap();
    }
    return 0;
}
