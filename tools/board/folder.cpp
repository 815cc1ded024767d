// The folder a board is made of: its files in the order people count them,
// which of them are sounds, the captions their names give, and the format's
// rules for a whole board, said in the maker's words with the files' names.
#include "tools/board/maker.h"

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

static int ends_with_ci(const std::string &s, const char *suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string maker_read_text(const std::string &path) {
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

std::string maker_base_name(const std::string &path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string maker_board_name(const std::string &title) {
    std::string name;
    for (char c : title)
        name += (isalnum(static_cast<unsigned char>(c)) && !(c & 0x80)) || c == '.' || c == '_' ||
                        c == '-'
                    ? c
                    : '-';
    if (!name.empty() && name[0] == '.') name[0] = '_';
    if (name.size() > 48) name.resize(48);
    if (name.empty()) name = "board";
    return name;
}

// Why a file is not a sound, by its extension or its first bytes; null if
// it may be one (sox has the last word).
static const char *not_a_sound(const std::string &path, const std::string &name) {
    static const char *const kinds[][2] = {
        {".txt", "text"},
        {".md", "text"},
        {".nfo", "text"},
        {".rtf", "a document"},
        {".pdf", "a document"},
        {".doc", "a document"},
        {".docx", "a document"},
        {".odt", "a document"},
        {".html", "a document"},
        {".htm", "a document"},
        {".xml", "a document"},
        {".json", "a document"},
        {".csv", "a document"},
        {".log", "text"},
        {".ini", "text"},
        {".jpg", "an image"},
        {".jpeg", "an image"},
        {".png", "an image"},
        {".gif", "an image"},
        {".bmp", "an image"},
        {".webp", "an image"},
        {".svg", "an image"},
        {".ico", "an image"},
        {".tif", "an image"},
        {".tiff", "an image"},
        {".m3u", "a playlist"},
        {".m3u8", "a playlist"},
        {".pls", "a playlist"},
        {".xspf", "a playlist"},
        {".cue", "a playlist"},
        {".zip", "an archive"},
        {".gz", "an archive"},
        {".7z", "an archive"},
        {".rar", "an archive"},
        {".tar", "an archive"},
        {".url", "a link"},
        {".desktop", "a link"},
        {".sfv", "a checksum list"},
        {".md5", "a checksum list"},
        {".lrc", "lyrics"},
        {".srt", "subtitles"},
    };
    for (const auto &k : kinds)
        if (ends_with_ci(name, k[0])) return k[1];
    unsigned char head[512];
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    if (n >= 8 && memcmp(head, "\x89PNG", 4) == 0) return "an image";
    if (n >= 3 && memcmp(head, "\xff\xd8\xff", 3) == 0) return "an image";
    if (n >= 4 && (memcmp(head, "GIF8", 4) == 0)) return "an image";
    if (n >= 4 && memcmp(head, "%PDF", 4) == 0) return "a document";
    if (n >= 4 && memcmp(head, "PK\x03\x04", 4) == 0) return "an archive";
    if (n == 0) return nullptr; // empty: refused as a sound with nothing to hear
    // Text: no control bytes but tab and line ends, in the first bytes.
    for (size_t i = 0; i < n; i++)
        if ((head[i] < ' ' && head[i] != '\t' && head[i] != '\n' && head[i] != '\r') ||
            head[i] == 0x7F)
            return nullptr;
    return "text";
}

int maker_scan(const std::string &path, MakerFolder *folder) {
    folder->path = path;
    DIR *d = opendir(path.c_str());
    if (!d) {
        fprintf(stderr, "%s: cannot be read (%s)\n", path.c_str(), strerror(errno));
        return 0;
    }
    std::vector<std::string> names;
    while (struct dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    // Natural order of the names as the font draws them (folded to ASCII).
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        std::vector<char> x(a.size() * 3 + 1), y(b.size() * 3 + 1);
        payload_fold_ascii(a.c_str(), x.data(), x.size());
        payload_fold_ascii(b.c_str(), y.data(), y.size());
        int d = payload_natural_compare(x.data(), y.data());
        return d ? d < 0 : a < b;
    });
    for (const std::string &n : names) {
        std::string file = path + "/" + n;
        struct stat st;
        if (stat(file.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            folder->folders.push_back(n);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        if (strcasecmp(n.c_str(), "captions.txt") == 0) {
            if (!folder->captions_path.empty())
                maker_refuse("%s: two caption files, %s and %s; keep one", path.c_str(),
                             maker_base_name(folder->captions_path).c_str(), n.c_str());
            folder->captions_path = file;
            continue;
        }
        if (const char *kind = not_a_sound(file, n)) {
            printf("%s: skipped, not a sound (%s)\n", file.c_str(), kind);
            folder->others.push_back(n);
            continue;
        }
        MakerSound s;
        s.folder = path;
        s.name = n;
        folder->sounds.push_back(s);
    }
    return 1;
}

int maker_page_name(const std::string &folder_name, std::string *name, int *folded) {
    std::vector<char> ascii(folder_name.size() * 3 + 1);
    *folded = payload_fold_ascii(folder_name.c_str(), ascii.data(), ascii.size());
    std::string words;
    for (const char *c = ascii.data(); *c; c++) {
        char ch = *c == '_' || *c == '-' ? ' ' : *c;
        if (ch == ' ' && (words.empty() || words.back() == ' ')) continue;
        words += ch;
    }
    while (!words.empty() && words.back() == ' ')
        words.pop_back();
    if (words.empty()) return 0;
    // Room for " 99", the number of a page it flows onto.
    const size_t most = PAYLOAD_PAGE_NAME - 3;
    if (words.size() > most) {
        words.resize(most - 3);
        while (!words.empty() && words.back() == ' ')
            words.pop_back();
        words += "...";
    }
    *name = words;
    return 1;
}

std::string maker_captions_name(const MakerFolder &folder) {
    return folder.captions_path.empty() ? folder.path + "/captions.txt" : folder.captions_path;
}

std::vector<MakerPage> maker_pages(const std::vector<MakerFolder> &folders, int per_page) {
    std::vector<MakerPage> pages;
    int first = 0;
    for (const MakerFolder &f : folders) {
        int n = static_cast<int>(f.sounds.size());
        for (int at = 0, number = 1; at < n; at += per_page, number++) {
            MakerPage p;
            p.name = number == 1 ? f.page_name : f.page_name + " " + std::to_string(number);
            p.first = first + at;
            p.count = std::min(per_page, n - at);
            pages.push_back(p);
        }
        first += n;
    }
    return pages;
}

void maker_captions_from_names(const MakerFolder &folder, std::vector<MakerSound> *sounds) {
    std::string captions_name = maker_captions_name(folder);
    for (MakerSound &s : *sounds) {
        std::string path = s.folder + "/" + s.name;
        if (s.given || s.caption_refused) continue;
        if (s.name.find('\t') != std::string::npos) {
            maker_refuse("%s: a file name holds a tab, which no caption line can name",
                         path.c_str());
            continue;
        }
        char caption[256];
        int shortened = 0;
        int any = payload_caption_from_name(s.name.c_str(), caption, sizeof caption, &shortened);
        char folded[1024];
        int changed = payload_fold_ascii(s.name.c_str(), folded, sizeof folded);
        std::string shown = caption;
        for (char &c : shown)
            if (c == '\n') c = '|';
        if (!any || payload_caption_problem(caption)) {
            maker_refuse("%s: the file name gives no caption the board's font can draw; give one "
                         "with a line \"%s<TAB><caption>\" in %s",
                         path.c_str(), s.name.c_str(), captions_name.c_str());
            continue;
        }
        if (changed)
            printf("%s: caption \"%s\": letters the board's font cannot draw were changed or "
                   "left out\n",
                   path.c_str(), shown.c_str());
        if (shortened)
            printf("%s: caption shortened to \"%s\" to fit a button; to choose another, add a line "
                   "\"%s<TAB><caption>\" to %s\n",
                   path.c_str(), shown.c_str(), s.name.c_str(), captions_name.c_str());
        s.caption = caption;
    }
}

void maker_check_rules(const std::vector<MakerPage> &pages, const MakerBoardOptions &options,
                       const std::vector<MakerSound> &sounds) {
    // The board as the format sees it, without clips: pages, captions, keys.
    static PayloadBoard board;
    memset(&board, 0, sizeof board);
    board.stop = options.stop;
    board.count =
        static_cast<int>(std::min(sounds.size(), static_cast<size_t>(PAYLOAD_BOARD_SOUNDS)));
    board.pages = static_cast<int>(std::min(pages.size(), static_cast<size_t>(PAYLOAD_PAGES)));
    for (int p = 0; p < board.pages; p++) {
        board.page[p].first = pages[static_cast<size_t>(p)].first;
        board.page[p].count = pages[static_cast<size_t>(p)].count;
    }
    for (int k = 0; k < board.count; k++) {
        snprintf(board.sounds[k].caption, sizeof board.sounds[k].caption, "%s",
                 sounds[static_cast<size_t>(k)].caption.c_str());
        board.sounds[k].key = sounds[static_cast<size_t>(k)].key;
    }
    for (int k = 0; k < board.count; k++) {
        PayloadProblem problems[8];
        int n = payload_sound_problems(&board, k, problems, 8);
        const MakerSound &s = sounds[static_cast<size_t>(k)];
        for (int i = 0; i < n && i < 8; i++) {
            const PayloadProblem &p = problems[i];
            const MakerSound *other =
                p.other >= 0 ? &sounds[static_cast<size_t>(p.other)] : nullptr;
            std::string shown = s.caption;
            for (char &c : shown)
                if (c == '\n') c = '|';
            switch (p.rule) {
            case PAYLOAD_RULE_SAME_KEY: {
                // Said on the later of the two lines, as it reads the file;
                // both are in the one captions.txt of their page's folder.
                const MakerSound *later = other->line > s.line ? other : &s;
                const MakerSound *first = later == &s ? other : &s;
                maker_refuse("%s line %d: two sounds on one key: \"%s\" names key %c, already "
                             "%s's (line %d)",
                             later->captions.c_str(), later->line, later->key_option.c_str(),
                             later->key, first->name.c_str(), first->line);
                break;
            }
            case PAYLOAD_RULE_STOP_CAPTION:
                maker_refuse("%s/%s: the caption \"%s\" is the stop button's; every button needs "
                             "its own caption",
                             s.folder.c_str(), s.name.c_str(), PAYLOAD_STOP_CAPTION);
                break;
            case PAYLOAD_RULE_SAME_CAPTION:
                maker_refuse("%s/%s: same caption \"%s\" as %s; every button of a page needs its "
                             "own caption",
                             s.folder.c_str(), s.name.c_str(), shown.c_str(), other->name.c_str());
                break;
            default:
                // Caption rules were said where the caption was made, and a
                // key that is no key never reaches a sound.
                break;
            }
        }
    }
}
