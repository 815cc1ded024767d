// Captions and order for a folder's sounds: how vostrel-make-board names the
// buttons. Captions are checked against payload_caption_problem, the same
// rules the program reads a board with.
#include "app/payload.h"

#include <ctype.h>
#include <string.h>
#include <string>
#include <vector>

// ASCII forms of U+00C0..U+00FF and U+0100..U+017F; "" drops the character
// (the multiplication and division signs).
static const char *const latin1[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
    "D", "N", "O", "O", "O", "O", "O",  "",  "O", "U", "U", "U", "U", "Y", "TH", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y",
};
static const char *const latin_extended[128] = {
    "A", "a", "A",  "a",  "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",
    "D", "d", "E",  "e",  "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    "G", "g", "G",  "g",  "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",
    "l", "L", "l",  "N",  "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",
    "S", "s", "T",  "t",  "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",
    "U", "u", "U",  "u",  "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",
};

// ASCII form of a code point outside ASCII, or null to drop it.
static const char *ascii_form(uint32_t cp) {
    if (cp >= 0xC0 && cp <= 0xFF) return latin1[cp - 0xC0];
    if (cp >= 0x100 && cp <= 0x17F) return latin_extended[cp - 0x100];
    switch (cp) {
    case 0x2018:
    case 0x2019:
        return "'";
    case 0x201C:
    case 0x201D:
        return "\"";
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
        return "-";
    case 0x2026:
        return "...";
    case 0xA0:
        return " ";
    default:
        return nullptr;
    }
}

// The code point at *p (advancing past it), or UINT32_MAX for a byte that
// starts no valid UTF-8 sequence (one byte is skipped).
static uint32_t next_code_point(const unsigned char **p) {
    const unsigned char *s = *p;
    int extra = s[0] < 0x80             ? 0
                : (s[0] & 0xE0) == 0xC0 ? 1
                : (s[0] & 0xF0) == 0xE0 ? 2
                : (s[0] & 0xF8) == 0xF0 ? 3
                                        : -1;
    if (extra < 0) {
        *p = s + 1;
        return UINT32_MAX;
    }
    uint32_t cp = extra == 0 ? s[0] : s[0] & (0x3F >> extra);
    for (int i = 1; i <= extra; i++) {
        if ((s[i] & 0xC0) != 0x80) {
            *p = s + 1;
            return UINT32_MAX;
        }
        cp = cp << 6 | (s[i] & 0x3F);
    }
    *p = s + 1 + extra;
    return cp;
}

int payload_fold_ascii(const char *utf8, char *out, size_t out_size) {
    std::string folded;
    int changed = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(utf8); *p;) {
        uint32_t cp = next_code_point(&p);
        if (cp >= ' ' && cp <= '~') {
            folded += static_cast<char>(cp);
            continue;
        }
        changed = 1;
        const char *form = cp == UINT32_MAX ? nullptr : ascii_form(cp);
        if (form) folded += form;
    }
    if (out_size) snprintf(out, out_size, "%s", folded.c_str());
    return changed;
}

// Pieces of a text that a line may break between: words split at spaces, and
// after every dot inside a word.
struct Atom {
    std::string text;
    int spaced; // 1: a space separates it from the previous atom on a line
};

static std::vector<Atom> atoms_of(const char *text) {
    std::vector<Atom> atoms;
    int spaced = 0;
    std::string piece;
    for (const char *c = text;; c++) {
        if (*c == ' ' || *c == 0) {
            if (!piece.empty()) atoms.push_back({piece, spaced});
            piece.clear();
            spaced = 1;
            if (!*c) break;
            continue;
        }
        piece += *c;
        if (*c == '.' && c[1] && c[1] != ' ' && c[1] != '.') {
            atoms.push_back({piece, spaced});
            piece.clear();
            spaced = 0;
        }
    }
    if (!atoms.empty()) atoms[0].spaced = 0;
    return atoms;
}

static std::string wrap_atoms(const std::vector<Atom> &atoms) {
    std::vector<std::string> lines;
    std::string line;
    size_t last_word = 0; // where the line's last whole word starts
    for (const Atom &a : atoms) {
        if (line.empty()) {
            line = a.text;
            last_word = 0;
            continue;
        }
        std::string joined = line + (a.spaced ? " " : "") + a.text;
        if (joined.size() <= static_cast<size_t>(PAYLOAD_CAPTION_LINE)) {
            if (a.spaced) last_word = line.size() + 1;
            line = joined;
            continue;
        }
        // A one-letter word would dangle at the line's end: it moves down
        // when it fits there too.
        std::string carried;
        if (last_word > 0 && line.size() - last_word == 1 && a.spaced &&
            2 + a.text.size() <= static_cast<size_t>(PAYLOAD_CAPTION_LINE)) {
            carried = line.substr(last_word) + " ";
            line.resize(last_word - 1);
        }
        lines.push_back(line);
        line = carried + a.text;
        last_word = carried.size();
    }
    if (!line.empty()) lines.push_back(line);
    std::string out;
    for (size_t i = 0; i < lines.size(); i++)
        out += (i ? "\n" : "") + lines[i];
    return out;
}

int payload_wrap(const char *text, char *caption, size_t caption_size) {
    std::string wrapped = wrap_atoms(atoms_of(text));
    if (caption_size) snprintf(caption, caption_size, "%s", wrapped.c_str());
    return wrapped.size() < caption_size && !payload_caption_problem(wrapped.c_str());
}

int payload_caption_from_name(const char *file_name, char *caption, size_t caption_size,
                              int *shortened) {
    *shortened = 0;
    std::string stem = file_name;
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    std::vector<char> folded(stem.size() * 3 + 1);
    payload_fold_ascii(stem.c_str(), folded.data(), folded.size());
    std::string words;
    for (const char *c = folded.data(); *c; c++) {
        char ch = *c == '_' || *c == '-' ? ' ' : *c;
        if (ch == ' ' && (words.empty() || words.back() == ' ')) continue;
        words += ch;
    }
    while (!words.empty() && words.back() == ' ')
        words.pop_back();
    if (words.empty()) {
        if (caption_size) caption[0] = 0;
        return 0;
    }
    if (payload_wrap(words.c_str(), caption, caption_size)) return 1;
    *shortened = 1;
    // The longest run of whole atoms, then "...", that fits, never ending on
    // a word of one or two characters; a first atom too long for a line is
    // cut to fit with its "...".
    std::vector<Atom> atoms = atoms_of(words.c_str());
    for (size_t k = atoms.size(); k >= 1; k--) {
        const Atom &last = atoms[k - 1];
        if (k > 1 && last.text.size() <= 2 && last.spaced) continue;
        std::vector<Atom> part(atoms.begin(), atoms.begin() + static_cast<long>(k));
        while (!part.back().text.empty() && part.back().text.back() == '.')
            part.back().text.pop_back();
        if (part.back().text.empty()) continue;
        part.back().text += "...";
        std::string wrapped = wrap_atoms(part);
        if (wrapped.size() < caption_size && !payload_caption_problem(wrapped.c_str())) {
            snprintf(caption, caption_size, "%s", wrapped.c_str());
            return 1;
        }
    }
    std::string cut = atoms[0].text.substr(0, PAYLOAD_CAPTION_LINE - 3) + "...";
    snprintf(caption, caption_size, "%s", cut.c_str());
    return 1;
}

int payload_natural_compare(const char *a, const char *b) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    while (*p && *q) {
        if (isdigit(*p) && isdigit(*q)) {
            while (*p == '0' && isdigit(p[1]))
                p++;
            while (*q == '0' && isdigit(q[1]))
                q++;
            size_t m = 0, n = 0;
            while (isdigit(p[m]))
                m++;
            while (isdigit(q[n]))
                n++;
            if (m != n) return m < n ? -1 : 1;
            if (int d = memcmp(p, q, m)) return d < 0 ? -1 : 1;
            p += m;
            q += n;
            continue;
        }
        int x = tolower(*p), y = tolower(*q);
        if (x != y) return x < y ? -1 : 1;
        p++;
        q++;
    }
    if (*p || *q) return *p ? 1 : -1;
    int d = strcmp(a, b);
    return d < 0 ? -1 : d > 0;
}
