// Settings: the options file and its registry.
//
// File format, one record a line: "[section]" headers; "key\ttype\tvalue"
// settings; an empty line after each section. Reading prepends, so a file read
// and saved again comes out in reverse order; nothing depends on the order.
//
// Hostile files: every scan is bounded to its buffer. A section name or key
// longer than 31 characters is rejected (the settings under a rejected header
// are skipped, never filed under the previous section); a string value longer
// than 63 characters is cut. A read names the type and size the caller holds,
// so a setting of another type never reaches a smaller destination. Saving
// goes through file_replace, so a failed save leaves the old file intact.
//
// Look-ups go through two hash indexes beside the lists (sections by name,
// settings by section and key), so reading a file of n lines costs O(n)
// however many distinct names it holds. The lists alone keep the order.
#include "settings/settings.h"

#include "diag/diag.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string_view>
#include <unordered_map>

constexpr int PATH_SIZE = 512;
constexpr int LINE_SIZE = 512;

const char options_section_name[] = "options";
int options_changed;

// A setting's index key: its section and its name. The views point into the
// nodes' own name arrays, which live as long as their index entries.
struct SettingKey {
    const OptionSection *section;
    std::string_view name;
};

static long comparisons; // name comparisons made by look-ups (test seam)

struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        comparisons++;
        return a == b;
    }
    bool operator()(const SettingKey &a, const SettingKey &b) const {
        comparisons++;
        return a.section == b.section && a.name == b.name;
    }
};

struct SettingHash {
    size_t operator()(const SettingKey &k) const {
        size_t h = std::hash<std::string_view>()(k.name);
        return h ^
               (std::hash<const void *>()(k.section) + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2));
    }
};

static OptionSection *sections; // most recently created first
static std::unordered_map<std::string_view, OptionSection *, std::hash<std::string_view>, NameEqual>
    section_index;
static std::unordered_map<SettingKey, OptionSetting *, SettingHash, NameEqual> setting_index;

static bool name_fits(const char *name) { return strlen(name) < OPTION_NAME_SIZE; }

long options_comparisons(void) { return comparisons; }

OptionSection *options_section(const char *name, int create) {
    auto found = section_index.find(std::string_view(name));
    if (found != section_index.end()) return found->second;
    if (!create || !name_fits(name)) return nullptr;
    OptionSection *s = static_cast<OptionSection *>(calloc(1, sizeof(OptionSection)));
    snprintf(s->name, sizeof s->name, "%s", name);
    s->next = sections;
    if (sections) sections->prev = s;
    sections = s;
    section_index.emplace(std::string_view(s->name), s);
    return s;
}

OptionSetting *options_find(const char *section, const char *key, int create) {
    OptionSection *s = options_section(section, create);
    if (!s) return nullptr;
    auto found = setting_index.find(SettingKey{s, std::string_view(key)});
    if (found != setting_index.end()) return found->second;
    if (!create || !name_fits(key)) return nullptr;
    OptionSetting *o = static_cast<OptionSetting *>(calloc(1, sizeof(OptionSetting)));
    snprintf(o->name, sizeof o->name, "%s", key);
    o->next = s->settings;
    if (s->settings) s->settings->prev = o;
    s->settings = o;
    setting_index.emplace(SettingKey{s, std::string_view(o->name)}, o);
    return o;
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
    setting_index.erase(SettingKey{s, std::string_view(o->name)});
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
        setting_index.erase(SettingKey{s, std::string_view(o->name)});
    section_index.erase(std::string_view(s->name));
    free_section(s);
    options_changed = 1;
}

void options_clear(void) {
    while (sections)
        options_remove_section(sections->name);
}

void options_free(void) {
    for (OptionSection *s = sections; s;) {
        OptionSection *next = s->next;
        free_section(s);
        s = next;
    }
    sections = nullptr;
    setting_index.clear();
    section_index.clear();
}

void options_file_path(const char *suffix, char *dest) {
    char dir[PATH_SIZE];
    get_base_dir(dir, sizeof dir);
    size_t len = strlen(dir);
    const char *sep = (len > 0 && dir[len - 1] != '/') ? "/" : "";
    char name[128];
    snprintf(name, sizeof name, "%s%s", APP_NAME, suffix);
    for (char *c = name; *c; c++)
        *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    // A path that does not fit becomes "": opening it fails (and is reported)
    // and file_replace refuses it, instead of touching a file with a cut name.
    int n = snprintf(dest, PATH_SIZE, "%s%s%s", dir, sep, name);
    if (n < 0 || n >= PATH_SIZE) dest[0] = 0;
}

int options_load(void) {
    options_clear();
    return options_read_file();
}

// One setting line under a valid section. Malformed lines are skipped
// silently; an unknown type code is reported.
static void read_setting(const char *section, const char *line) {
    char key[LINE_SIZE];
    int type = 0;
    if (sscanf(line, "%511s\t%d\t", key, &type) < 2) return;
    if (!name_fits(key)) return;
    union {
        int32_t i;
        float f;
        char s[OPTION_VALUE_SIZE];
    } value;
    memset(&value, 0, sizeof value);
    int r;
    switch (type) {
    case OPTION_INT:
    case OPTION_INT_ALT:
        r = sscanf(line, "%*s\t%*d\t%d", &value.i);
        break;
    case OPTION_FLOAT:
        r = sscanf(line, "%*s\t%*d\t%f", &value.f);
        break;
    case OPTION_STRING:
        r = sscanf(line, "%*s\t%*d\t%63s", value.s);
        break;
    default:
        log_printf(LOG_ERROR, "Unable to process setting %s", key);
        return;
    }
    if (r == 0) return;
    OptionSetting *o = options_find(section, key, 1);
    if (!o) return;
    o->type = type;
    memcpy(&o->value, &value, sizeof value);
}

int options_read_file(void) {
    char path[PATH_SIZE];
    options_file_path(".conf", path);
    FILE *f = fopen(path, "r");
    if (!f) {
        log_printf(LOG_WARNING, "Could not load settings from %s", path);
        return 0;
    }
    char line[LINE_SIZE];
    char section[LINE_SIZE] = "";
    bool section_valid = false;
    while (fgets(line, sizeof line, f)) {
        char name[LINE_SIZE];
        if (sscanf(line, "[%511[^]]", name) == 1) {
            section_valid = name_fits(name);
            snprintf(section, sizeof section, "%s", section_valid ? name : "");
            if (section_valid) options_section(section, 1);
            continue;
        }
        if (!section_valid) continue;
        read_setting(section, line);
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
