// Settings: the options file "<app name>.conf" and its in-memory registry of
// named sections holding typed settings. Read whole at start-up, changed in
// memory, written back only when something changed (through file_replace:
// links followed, mode kept, synced; a failed save leaves the old file intact).
// Loading and freeing (the shell's) and the changed flag are in
// settings_internal.h.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stddef.h>
#include <stdint.h>

enum OptionType { OPTION_INT = 0, OPTION_FLOAT = 1, OPTION_INT_ALT = 2, OPTION_STRING = 3 };

constexpr int OPTION_NAME_SIZE = 32;  // section names and keys: at most 31 characters
constexpr int OPTION_VALUE_SIZE = 64; // string values: at most 63 characters

struct OptionSection;

struct OptionSetting {
    char name[OPTION_NAME_SIZE];
    int32_t type;
    union {
        int32_t i;
        float f;
        char s[OPTION_VALUE_SIZE];
    } value;
    OptionSetting *next, *prev; // most recently created first
    OptionSection *section;     // the section holding it
};

struct OptionSection {
    char name[OPTION_NAME_SIZE];
    OptionSetting *settings;    // most recently created first
    OptionSection *next, *prev; // most recently created first
};

extern const char options_section_name[]; // "options"

// Registry
OptionSection *options_sections(void);                                        // head of the list of sections (most recently created first); null when empty
OptionSection *options_section(const char *name, int create);                  // exact match; creates at the head when asked; null if absent or name too long
OptionSetting *options_find(const char *section, const char *key, int create); // exact match; created with type 0, zero value; null if absent, a name too long or the key begins with "["
int options_get(const char *section, const char *key, int type, void *out, size_t size); // 1 and the value if of that type (0 and 2 alike) and it fits size bytes (4 for numbers); else 0, out untouched, WARNING naming the key on a type or size mismatch
void options_set(const char *section, const char *key, int type, const void *value); // stores type; value only if it differs, then marks changed
void options_remove(const char *section, const char *key);                    // unlinks and frees; marks changed if it existed
void options_remove_section(const char *name);                                // frees the section and its settings; marks changed if it existed
void options_clear(void);                                                     // removes every section

// File
void options_file_path(const char *suffix, char *dest);  // base dir + "/" + lower-cased app name + suffix, into 512 bytes; "" if it does not fit
int options_save(void);       // 1 if unchanged or written; 0 (ERROR logged, old file intact, still marked changed) on failure
// clang-format on
