// captions.txt: the board's options on lines without a tab, and per sound a
// line "<file name><TAB><caption>[<TAB><options>]". The reader takes the
// file's text, not the file, so that the fuzzer feeds it directly; it
// trusts nothing of it and says every problem as a line naming the file and
// the line.
#include "tools/board/maker.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Reader {
    const std::string *path;
    std::vector<std::string> *refusals;
};

void refuse(Reader *r, int number, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

void refuse(Reader *r, int number, const char *fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    r->refusals->push_back(*r->path + " line " + std::to_string(number) + ": " + text);
}

// A number option "key=N" within [0, high]; 1 with the value, 0 if malformed.
int number_option(const std::string &word, const char *key, int high, const char *suffix,
                  int *value) {
    std::string v = word.substr(strlen(key));
    size_t n = strlen(suffix);
    if (v.size() <= n || v.compare(v.size() - n, n, suffix) != 0) return 0;
    v.resize(v.size() - n);
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    int x = atoi(v.c_str());
    if (x > high) return 0;
    *value = x;
    return 1;
}

std::vector<std::string> words_of(const std::string &s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ')
            i++;
        size_t j = i;
        while (j < s.size() && s[j] != ' ')
            j++;
        if (j > i) words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

// A line without a tab: board options, unless it starts with a file's name
// and spaces (the tab typed as spaces).
void board_line(Reader *r, int number, const std::string &row,
                const std::vector<std::string> &others, const std::vector<MakerSound> &sounds,
                MakerBoardOptions *board) {
    auto names = [&](const std::string &name) {
        return row.size() > name.size() && row.compare(0, name.size(), name) == 0 &&
               row[name.size()] == ' ';
    };
    std::string named;
    for (const MakerSound &s : sounds)
        if (names(s.name)) named = s.name;
    for (const std::string &o : others)
        if (names(o)) named = o;
    if (!named.empty()) {
        refuse(r, number,
               "no tab after \"%s\": separate the file name from the caption with a tab, not "
               "spaces",
               named.c_str());
        return;
    }
    if (!board) {
        refuse(r, number,
               "board options (overlap, stop, fade=MS, keys, latency=low|normal, device=NAME) go "
               "in the top folder's captions.txt; "
               "a page's captions.txt gives its sounds' captions and options");
        return;
    }
    for (const std::string &o : words_of(row)) {
        if (o == "overlap")
            board->overlap = 1;
        else if (o == "stop")
            board->stop = 1;
        else if (o == "keys")
            board->keys = 1;
        else if (o == "remote")
            board->remote = board->remote > 1 ? board->remote : 1;
        else if (o == "remote-lan")
            board->remote = 2;
        else if (o == "latency=normal" || o == "latency=low")
            board->latency_normal = o == "latency=normal";
        else if (o.compare(0, 7, "device=") == 0) {
            board->device = o.substr(7);
            if (!payload_device_ok(board->device.c_str()))
                refuse(r, number,
                       "bad value in option \"%s\": device=NAME with a name of 1 to %d printable "
                       "characters",
                       o.c_str(), PAYLOAD_DEVICE_SIZE - 1);
        } else if (o.compare(0, 5, "fade=") == 0) {
            if (!number_option(o, "fade=", PAYLOAD_FADE_MAX, "", &board->fade))
                refuse(r, number, "bad value in option \"%s\": fade=MS with MS from 0 to %d",
                       o.c_str(), PAYLOAD_FADE_MAX);
        } else
            refuse(r, number,
                   "unknown option \"%s\" (a line without a tab holds board options: overlap, "
                   "stop, fade=MS, keys, remote, remote-lan, latency=low|normal, device=NAME)",
                   o.c_str());
    }
}

// A sound's options, after its caption's tab.
void sound_options(Reader *r, int number, const std::string &opts, MakerSound *s) {
    for (const std::string &o : words_of(opts)) {
        if (o == "loop")
            s->loop = 1;
        else if (o.compare(0, 7, "volume=") == 0) {
            if (!number_option(o, "volume=", 100, "%", &s->volume))
                refuse(r, number, "bad value in option \"%s\": volume=N%% with N from 0 to 100",
                       o.c_str());
        } else if (o.compare(0, 5, "fade=") == 0) {
            if (!number_option(o, "fade=", PAYLOAD_FADE_MAX, "", &s->fade))
                refuse(r, number, "bad value in option \"%s\": fade=MS with MS from 0 to %d",
                       o.c_str(), PAYLOAD_FADE_MAX);
        } else if (o.compare(0, 4, "key=") == 0) {
            int code = payload_key_code(o.c_str() + 4);
            if (!code)
                refuse(r, number, "unknown key in option \"%s\": key=X with X one letter or digit",
                       o.c_str());
            else {
                s->key = code;
                s->key_option = o;
                s->captions = *r->path;
            }
        } else
            refuse(r, number,
                   "unknown option \"%s\" (a sound takes volume=N%%, loop, fade=MS and key=X)",
                   o.c_str());
    }
}

// The caption after the file name's tab: "\n" breaks lines as written,
// else it is wrapped to fit.
void sound_caption(Reader *r, int number, std::string rest, MakerSound *s) {
    size_t first = rest.find_first_not_of(' ');
    if (first == std::string::npos) return; // the file name's caption
    size_t last = rest.find_last_not_of(' ');
    rest = rest.substr(first, last - first + 1);
    std::string caption;
    if (rest.find("\\n") != std::string::npos) {
        for (size_t i = 0; i < rest.size(); i++) {
            if (rest.compare(i, 2, "\\n") == 0) {
                caption += '\n';
                i++;
            } else
                caption += rest[i];
        }
    } else {
        char wrapped[256];
        payload_wrap(rest.c_str(), wrapped, sizeof wrapped);
        caption = wrapped;
    }
    if (const char *rule = payload_caption_problem(caption.c_str())) {
        std::string shown = caption;
        for (char &c : shown)
            if (c == '\n') c = '|';
        refuse(r, number, "the caption \"%s\" for %s cannot fit a button: %s", shown.c_str(),
               s->name.c_str(), rule);
        s->caption_refused = 1; // not to be refused again for its file name
        return;
    }
    s->caption = caption;
    s->given = 1;
}

} // namespace

void maker_read_captions(const std::string &path, const std::string &file_text,
                         const std::vector<std::string> &others, std::vector<MakerSound> *sounds,
                         MakerBoardOptions *board, std::vector<std::string> *refusals) {
    Reader r = {&path, refusals};
    std::string text = file_text;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3); // a byte-order mark
    size_t at = 0;
    for (int number = 1; at < text.size(); number++) {
        size_t nl = text.find('\n', at);
        std::string row = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.empty() || row[0] == '#' || row.find_first_not_of(" \t") == std::string::npos)
            continue;
        size_t tab = row.find('\t');
        if (tab == std::string::npos) {
            board_line(&r, number, row, others, *sounds, board);
            continue;
        }
        if (tab == 0) {
            refuse(&r, number, "expected \"<file name><TAB><caption>\"");
            continue;
        }
        std::string name = row.substr(0, tab), rest = row.substr(tab + 1), opts;
        size_t tab2 = rest.find('\t');
        if (tab2 != std::string::npos) {
            opts = rest.substr(tab2 + 1);
            rest.resize(tab2);
        }
        MakerSound *s = nullptr;
        for (MakerSound &x : *sounds)
            if (x.name == name) s = &x;
        if (!s) {
            refuse(&r, number, "names %s, which is not a sound in the folder", name.c_str());
            continue;
        }
        if (s->line) {
            refuse(&r, number, "names %s again (first on line %d)", name.c_str(), s->line);
            continue;
        }
        s->line = number;
        sound_options(&r, number, opts, s);
        sound_caption(&r, number, rest, s);
    }
}
