// Settings: the options file and its registry.
//
// File format, one record a line: "[section]" headers; "key\ttype\tvalue"
// settings; an empty line after each section. Reading prepends, so a file read
// and saved again comes out in reverse order; nothing depends on the order.
//
// Hostile files: every scan is bounded to its buffer. A section name or key
// longer than 31 characters is rejected (the settings under a rejected header
// are skipped, never filed under the previous section); a string value longer
// than 63 characters is cut, and a key beginning with "[" is refused. A read
// names the type and size the caller holds, so a setting of another type never
// reaches a smaller destination. Saving goes through file_replace, so a failed
// save leaves the old file intact.
//
// Look-ups go through two hash indexes (name_index.cpp) beside the lists
// (sections by name, settings by section and key), so reading a file of n lines costs O(n)
// however many distinct names it holds. The lists alone keep the order.
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>

#include <vostrel/diag/diag.h>

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

constexpr int PATH_SIZE = 512;
constexpr int LINE_SIZE = 512;

const char options_section_name[] = "options";
int options_changed;

static OptionSection *sections; // most recently created first
static NameIndex section_index; // sections by name
static NameIndex setting_index; // settings by section and key

static uint64_t section_hash(const char *name) { return name_index_hash(name, 0); }

static uint64_t setting_hash(const OptionSection *s, const char *key) {
    return name_index_hash(key, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(s)));
}

static int section_matches(const void *node, const void *name) {
    return strcmp(static_cast<const OptionSection *>(node)->name,
                  static_cast<const char *>(name)) == 0;
}

// A setting's key within its section; the hash covers the section, but two
// sections' keys may still share one.
struct SettingKey {
    const OptionSection *section;
    const char *key;
};

static int setting_matches(const void *node, const void *context) {
    const OptionSetting *o = static_cast<const OptionSetting *>(node);
    const SettingKey *k = static_cast<const SettingKey *>(context);
    return o->section == k->section && strcmp(o->name, k->key) == 0;
}

static bool name_fits(const char *name) { return strlen(name) < OPTION_NAME_SIZE; }

// A key saved at the start of a line must read back as a key: one that begins
// with "[" would come back as a section header, its value lost.
static bool key_fits(const char *key) { return name_fits(key) && key[0] != '['; }

long options_probes(void) { return section_index.probes + setting_index.probes; }

OptionSection *options_sections(void) { return sections; }

OptionSection *options_section(const char *name, int create) {
    uint64_t h = section_hash(name);
    OptionSection *found =
        static_cast<OptionSection *>(name_index_find(&section_index, h, section_matches, name));
    if (found) return found;
    if (!create || !name_fits(name)) return nullptr;
    OptionSection *s = static_cast<OptionSection *>(calloc(1, sizeof(OptionSection)));
    snprintf(s->name, sizeof s->name, "%s", name);
    s->next = sections;
    if (sections) sections->prev = s;
    sections = s;
    name_index_insert(&section_index, h, s);
    return s;
}

// The setting of a known section by key, created at the head of its list when asked.
static OptionSetting *find_in(OptionSection *s, const char *key, int create) {
    uint64_t h = setting_hash(s, key);
    const SettingKey wanted = {s, key};
    OptionSetting *found =
        static_cast<OptionSetting *>(name_index_find(&setting_index, h, setting_matches, &wanted));
    if (found) return found;
    if (!create || !key_fits(key)) return nullptr;
    OptionSetting *o = static_cast<OptionSetting *>(calloc(1, sizeof(OptionSetting)));
    snprintf(o->name, sizeof o->name, "%s", key);
    o->section = s;
    o->next = s->settings;
    if (s->settings) s->settings->prev = o;
    s->settings = o;
    name_index_insert(&setting_index, h, o);
    return o;
}

OptionSetting *options_find(const char *section, const char *key, int create) {
    OptionSection *s = options_section(section, create);
    return s ? find_in(s, key, create) : nullptr;
}

// Codes 0 and 2 are the same integer setting; every other code only matches itself.
static bool same_type(int stored, int wanted) {
    auto integer = [](int t) { return t == OPTION_INT || t == OPTION_INT_ALT; };
    return stored == wanted || (integer(stored) && integer(wanted));
}

int options_get(const char *section, const char *key, int type, void *out, size_t size) {
    OptionSetting *o = options_find(section, key, 0);
    if (!o) return 0;
    size_t length = strnlen(o->value.s, OPTION_VALUE_SIZE - 1);
    bool fits = type == OPTION_STRING ? length < size : size == sizeof(int32_t);
    if (!same_type(o->type, type) || !fits) {
        log_printf(LOG_WARNING, "Setting %s in section %s is not of the type asked for", key,
                   section);
        return 0;
    }
    if (type == OPTION_STRING) {
        memcpy(out, o->value.s, length);
        static_cast<char *>(out)[length] = 0;
    } else
        memcpy(out, &o->value.i, sizeof(int32_t));
    return 1;
}

void options_set(const char *section, const char *key, int type, const void *value) {
    OptionSetting *o = options_find(section, key, 1);
    if (!o) return;
    o->type = type;
    switch (type) {
    case OPTION_FLOAT: {
        float f;
        memcpy(&f, value, sizeof f);
        if (f == o->value.f) return;
        o->value.f = f;
        break;
    }
    case OPTION_STRING: {
        // Compared as it would be stored (cut at 63), so setting the same
        // over-long text again is not a change.
        char cut[OPTION_VALUE_SIZE] = {};
        snprintf(cut, sizeof cut, "%s", static_cast<const char *>(value));
        if (strcmp(cut, o->value.s) == 0) return;
        memcpy(o->value.s, cut, sizeof cut);
        break;
    }
    default: {
        int32_t i;
        memcpy(&i, value, sizeof i);
        if (i == o->value.i) return;
        o->value.i = i;
        break;
    }
    }
    options_changed = 1;
}

void options_remove(const char *section, const char *key) {
    OptionSection *s = options_section(section, 0);
    OptionSetting *o = s ? options_find(section, key, 0) : nullptr;
    if (!o) return;
    if (o->prev) o->prev->next = o->next;
    if (o->next) o->next->prev = o->prev;
    if (s->settings == o) s->settings = o->next;
    name_index_erase(&setting_index, setting_hash(s, o->name), o);
    free(o);
    options_changed = 1;
}

// Frees the nodes only; the caller drops the index entries.
static void free_section(OptionSection *s) {
    for (OptionSetting *o = s->settings; o;) {
        OptionSetting *next = o->next;
        free(o);
        o = next;
    }
    free(s);
}

void options_remove_section(const char *name) {
    OptionSection *s = options_section(name, 0);
    if (!s) return;
    if (s->prev) s->prev->next = s->next;
    if (s->next) s->next->prev = s->prev;
    if (sections == s) sections = s->next;
    for (OptionSetting *o = s->settings; o; o = o->next)
        name_index_erase(&setting_index, setting_hash(s, o->name), o);
    name_index_erase(&section_index, section_hash(s->name), s);
    free_section(s);
    options_changed = 1;
}

// Removing every section one by one, in one sweep.
void options_clear(void) {
    if (sections) options_changed = 1;
    options_free();
}

void options_free(void) {
    for (OptionSection *s = sections; s;) {
        OptionSection *next = s->next;
        free_section(s);
        s = next;
    }
    sections = nullptr;
    name_index_clear(&setting_index);
    name_index_clear(&section_index);
}

void options_file_path(const char *suffix, char *dest) {
    char dir[PATH_SIZE];
    get_base_dir(dir, sizeof dir);
    size_t len = strlen(dir);
    const char *sep = (len > 0 && dir[len - 1] != '/') ? "/" : "";
    char name[PATH_SIZE];
    // A path that does not fit becomes "": opening it fails (and is reported)
    // and file_replace refuses it, instead of touching a file with a cut name.
    int fits = app_file_name(suffix, 0, name, sizeof name);
    int n = snprintf(dest, PATH_SIZE, "%s%s%s", dir, sep, name);
    if (!fits || n < 0 || n >= PATH_SIZE) dest[0] = 0;
}

int options_load(void) {
    options_clear();
    return options_read_file();
}

// One setting line under a valid section. Malformed lines are skipped
// silently; an unknown type code is reported.
static void read_setting(OptionSection *section, const char *line) {
    // The key as "%s" reads it: blanks skipped, then up to the next blank.
    const char *p = line;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    const char *start = p;
    while (*p && !isspace(static_cast<unsigned char>(*p)))
        p++;
    size_t key_length = static_cast<size_t>(p - start);
    if (key_length == 0) return;
    char key[LINE_SIZE];
    memcpy(key, start, key_length);
    key[key_length] = 0;
    // The type code, and where the value starts: after the blanks that follow
    // the code. Left at -1 when the line ends before any value, where the
    // value's own scan would meet the end of input (and store zero).
    int type = 0;
    int at = -1;
    if (sscanf(p, "%d\t%n", &type, &at) < 1) return;
    if (!key_fits(key)) return;
    union {
        int32_t i;
        float f;
        char s[OPTION_VALUE_SIZE];
    } value;
    memset(&value, 0, sizeof value);
    const char *rest = at >= 0 ? p + at : "";
    int r;
    switch (type) {
    case OPTION_INT:
    case OPTION_INT_ALT:
        r = sscanf(rest, "%d", &value.i);
        break;
    case OPTION_FLOAT:
        r = sscanf(rest, "%f", &value.f);
        break;
    case OPTION_STRING:
        r = sscanf(rest, "%63s", value.s);
        break;
    default:
        log_printf(LOG_ERROR, "Unable to process setting %s", key);
        return;
    }
    if (r == 0) return;
    OptionSetting *o = find_in(section, key, 1);
    if (!o) return;
    o->type = type;
    memcpy(&o->value, &value, sizeof value);
}

int options_read_file(void) {
    char path[PATH_SIZE];
    options_file_path(".conf", path);
    FILE *f = file_open_read(path);
    if (!f) {
        log_printf(LOG_WARNING, "Could not load settings from %s", path);
        return 0;
    }
    // The section of the latest valid header; none before the first one and
    // after a rejected one. Nothing is removed while reading, so it stays valid.
    OptionSection *section = nullptr;
    char line[LINE_SIZE];
    while (fgets(line, sizeof line, f)) {
        // A header as "[%[^]]" reads it: the text after a leading "[" up to
        // the first "]" or the end of the line, if that is not empty.
        size_t length = line[0] == '[' ? strcspn(line + 1, "]") : 0;
        if (length > 0) {
            char name[LINE_SIZE];
            memcpy(name, line + 1, length);
            name[length] = 0;
            section = name_fits(name) ? options_section(name, 1) : nullptr;
            continue;
        }
        if (section) read_setting(section, line);
    }
    fclose(f);
    options_changed = 0;
    return 1;
}

static int write_all(FILE *f, const void *) {
    bool ok = true;
    for (OptionSection *s = sections; s; s = s->next) {
        ok = ok && fprintf(f, "[%s]\n", s->name) >= 0;
        for (OptionSetting *o = s->settings; o; o = o->next) {
            ok = ok && fprintf(f, "%s\t%d\t", o->name, o->type) >= 0;
            switch (o->type) {
            case OPTION_INT:
            case OPTION_INT_ALT:
                ok = ok && fprintf(f, "%d", o->value.i) >= 0;
                break;
            case OPTION_FLOAT:
                ok = ok && fprintf(f, "%f", static_cast<double>(o->value.f)) >= 0;
                break;
            case OPTION_STRING:
                ok = ok && fputs(o->value.s, f) >= 0;
                break;
            default:
                break;
            }
            ok = ok && fputc('\n', f) != EOF;
        }
        ok = ok && fputc('\n', f) != EOF;
    }
    return ok;
}

int options_save(void) {
    if (!options_changed) return 1;
    char path[PATH_SIZE];
    options_file_path(".conf", path);
    if (!file_replace(path, write_all, nullptr)) {
        log_printf(LOG_ERROR, "Could not save settings to %s", path);
        return 0;
    }
    options_changed = 0;
    return 1;
}
