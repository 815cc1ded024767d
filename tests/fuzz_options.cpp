// Fuzz target: arbitrary bytes as the options file. Reading must stay within
// its buffers; every setting read must come back through a read of its own
// type into a destination of exactly its size, and be refused by reads of the
// other types; and what was read must be a fixed point of saving. Reading
// reverses the order of sections and settings, so one save and read turns the
// first saved file around, and a second brings it back byte for byte.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include "fuzz_dir.h"
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::string conf_path;

bool enter_private_dir() {
    conf_path = fuzz_private_file("options", ".conf");
    log_threshold = LOG_CRITICAL; // refused reads warn; nothing needs to be written
    return !conf_path.empty();
}

std::string read_conf() {
    std::string out;
    FILE *f = fopen(conf_path.c_str(), "rb");
    if (!f) __builtin_trap();
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

std::string save_and_read_back() {
    options_changed = 1;
    if (options_save() != 1) __builtin_trap();
    std::string saved = read_conf();
    if (options_load() != 1) __builtin_trap();
    return saved;
}

// Reads into heap blocks of exactly the size asked for, so the sanitizer sees
// a single byte written past the destination.
void check_typed_reads(const OptionSection *s, const OptionSetting *o) {
    const int types[] = {OPTION_INT, OPTION_FLOAT, OPTION_INT_ALT, OPTION_STRING};
    for (int type : types) {
        size_t size = type == OPTION_STRING ? strlen(o->value.s) + 1 : sizeof(int32_t);
        std::unique_ptr<uint8_t[]> out(new uint8_t[size]);
        memset(out.get(), 0xA5, size);
        int got = options_get(s->name, o->name, type, out.get(), size);
        bool integer = type != OPTION_FLOAT && type != OPTION_STRING;
        bool stored_integer = o->type == OPTION_INT || o->type == OPTION_INT_ALT;
        bool same = type == o->type || (integer && stored_integer);
        if (got != (same ? 1 : 0)) __builtin_trap();
        if (!got) {
            for (size_t i = 0; i < size; i++)
                if (out[i] != 0xA5) __builtin_trap();
        } else if (type == OPTION_STRING &&
                   strcmp(reinterpret_cast<char *>(out.get()), o->value.s)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = enter_private_dir();
    if (!ready || size > 1u << 16) return 0;
    FILE *f = fopen(conf_path.c_str(), "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);

    if (options_load() != 1) __builtin_trap();
    for (OptionSection *s = options_sections(); s; s = s->next) {
        if (strlen(s->name) >= OPTION_NAME_SIZE || !s->name[0]) __builtin_trap();
        for (OptionSetting *o = s->settings; o; o = o->next) {
            if (strlen(o->name) >= OPTION_NAME_SIZE || o->type < 0 || o->type > 3) __builtin_trap();
            if (o->type == OPTION_STRING &&
                strnlen(o->value.s, OPTION_VALUE_SIZE) >= OPTION_VALUE_SIZE)
                __builtin_trap();
            check_typed_reads(s, o);
        }
    }

    std::string first = save_and_read_back();
    std::string turned = save_and_read_back();
    std::string again = save_and_read_back();
    if (again != first || turned.size() != first.size()) __builtin_trap();
    options_free();
    return 0;
}
