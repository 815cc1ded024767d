// vostrel-make-board: a soundboard of your own sounds, made without a
// compiler. The sounds of one folder, decoded by sox (any format it reads),
// resampled by sox's resampler to the mixer's 44,100 Hz, brought to one
// loudness with libebur128 and trimmed of silence, become a board that is
// appended to a copy of the soundboard program. The board is encoded by
// payload_encode (app/payload.h), the definition the program reads it with.
//
// Nothing is written until every sound and line has passed: the board goes
// to a temporary file beside its destination and is renamed over it.
#include "app/payload.h"

#include <ebur128.h>

#include <algorithm>
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <vostrel/diag/diag.h>

extern char **environ;

// The framework's WAV gate, which payload_encode applies to every clip, sits
// beside its log; the maker never opens the log, but the name must exist.
const char APP_NAME[] = "Vostrel Soundboard";

static const char ME[] = "vostrel-make-board";

// Loudness: every sound to TARGET_LUFS, or, too short for a measure (under
// 0.4 s), its true peak to SHORT_PEAK_DB; never a true peak above PEAK_DB, so
// no sample clips; never more than MAX_GAIN_DB up.
constexpr double TARGET_LUFS = -18.0;
constexpr double SHORT_PEAK_DB = -9.0;
constexpr double PEAK_DB = -1.0;
constexpr double MAX_GAIN_DB = 30.0;
constexpr double SILENCE = 0.001; // -60 dBFS: quieter ends are trimmed
// What a board costs the program at start-up: it reads and checks the whole
// payload, and the mixer keeps a copy of every clip (mono clips doubled to
// stereo). Measured on a two-core x86-64 under Xvfb with Mesa's software GL:
// 80 MB without clips, about 100 MB of payload a second.
constexpr double START_BYTES_PER_SECOND = 100e6;
constexpr double BASE_MEMORY = 80e6;
constexpr double WARN_SECONDS = 1.0;
constexpr double WARN_MEMORY = 200e6;

struct Options {
    std::string folder, out, program;
    int install = 0, autostart = 0, keep_levels = 0, keep_silence = 0;
};

struct Sound {
    std::string name;                      // file name in the folder
    std::string caption;                   // lines separated by '\n'
    int given = 0;                         // caption from captions.txt
    int volume = 100, loop = 0, fade = -1; // fade -1: the board's
    int key = 0;                           // SDL key code from key=X, 0: none (or one from keys)
    int line = 0;                          // captions.txt line naming it, or 0
    int channels = 0;
    double seconds = 0;
    std::vector<uint8_t> wav; // the clip as stored
};

static int refused = 0;

// One refusal: a line on stderr; the board is not made.
static void refuse(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputc('\n', stderr);
    refused = 1;
}

static void usage(FILE *to) {
    fprintf(to,
            "Usage: %s DIR [-o FILE] [--program PATH] [--install [--autostart]] [--keep-levels] "
            "[--keep-silence]\n"
            "Makes a soundboard of the 1 to 20 sounds in folder DIR (any format sox reads).\n\n"
            "  -o FILE         write the board to FILE (default: DIR's name with \"-board\",\n"
            "                  in the current directory)\n"
            "  --program PATH  append the board to this build of vostrel-soundboard (for\n"
            "                  example another processor's) instead of the installed one\n"
            "  --install       put the board in ~/.local/bin with its own desktop menu\n"
            "                  entry, named after the folder\n"
            "  --autostart     with --install: also start the board full screen (--kiosk)\n"
            "                  when a desktop session starts (an XDG autostart entry)\n"
            "  --keep-levels   keep each sound's loudness (default: all at %.0f LUFS)\n"
            "  --keep-silence  keep silence at the start and end of each sound\n"
            "  --help          print this help and exit\n\n"
            "Each file becomes a button captioned with its name (underscores and dashes\n"
            "as spaces; shortened with \"...\" when too long). DIR/captions.txt may give\n"
            "captions and options, one line each:\n"
            "  <file name><TAB><caption>[<TAB>volume=N%% loop fade=MS key=X]\n"
            "  overlap stop fade=MS keys  (a line without a tab: options of the whole board)\n"
            "\"\\n\" in a caption breaks the line. See man %s.\n",
            ME, TARGET_LUFS, ME);
}

static int ends_with_ci(const std::string &s, const char *suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
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

// Starts argv (argv[0] found on PATH) with stdout to /dev/null and stderr
// into err_path; its pid, or -1 if it could not start.
static pid_t start(const std::vector<std::string> &args, const std::string &err_path) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    int e = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return e == 0 ? pid : -1;
}

// The exit status of a started program, or -1 if it did not start or end.
static int finish(pid_t pid) {
    if (pid < 0) return -1;
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static std::string read_text(const std::string &path) {
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

// sox's own words: its message lines joined, "sox FAIL formats: " style
// prefixes kept, so the user can look them up.
static std::string one_line(const std::string &text) {
    std::string s;
    for (char c : text)
        s += c == '\n' ? ' ' : c;
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// 1 if an Ogg file ends without its last page (the end-of-stream flag): cut
// short, which sox's Ogg reader passes over in silence.
static int ogg_cut_short(const std::string &path) {
    std::string bytes = read_text(path);
    if (bytes.compare(0, 4, "OggS") != 0) return 0;
    size_t last = bytes.rfind("OggS");
    return last + 6 > bytes.size() || !(static_cast<uint8_t>(bytes[last + 5]) & 0x04);
}

static uint32_t le(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

// sox decoding sound k into float WAV at PAYLOAD_RATE in the work folder,
// resampled by its own resampler at its best quality; its pid. A full-scale
// source overshoots full scale once resampled, and sox clips a float output
// to full scale (with a warning): so sox works at half the level, exactly,
// and decode_finish doubles it back.
constexpr float DECODE_HEADROOM = 2.0f;

static pid_t decode_start(const std::string &path, const std::string &work, size_t k) {
    std::string tmp = work + "/decoded" + std::to_string(k) + ".wav";
    return start({"sox", "-V2", "--no-glob", "-R", path, "-t", "wav", "-e", "floating-point", "-b",
                  "32", tmp, "vol", "0.5", "rate", "-v", std::to_string(PAYLOAD_RATE)},
                 work + "/sox" + std::to_string(k) + ".err");
}

// The started decode of sound k as float frames (one or two channels: more
// are folded into two); 1, or 0 after refusing it.
static int decode_finish(pid_t pid, const std::string &path, const std::string &work, size_t k,
                         std::vector<float> *frames, int *channels) {
    std::string tmp = work + "/decoded" + std::to_string(k) + ".wav";
    std::string err = work + "/sox" + std::to_string(k) + ".err";
    int status = finish(pid);
    std::string said = one_line(read_text(err));
    unlink(err.c_str());
    if (status != 0) unlink(tmp.c_str());
    if (status < 0) {
        refuse("%s: sox is not installed (apt install sox libsox-fmt-all)", path.c_str());
        return 0;
    }
    if (status != 0) {
        refuse("%s: not an audio file sox can read (%s)", path.c_str(), said.c_str());
        return 0;
    }
    if (!said.empty()) {
        unlink(tmp.c_str());
        refuse("%s: decodes with errors, refused (%s)", path.c_str(), said.c_str());
        return 0;
    }
    if (ogg_cut_short(path)) {
        unlink(tmp.c_str());
        refuse("%s: cut short (its Ogg stream ends without its last page); download it again",
               path.c_str());
        return 0;
    }
    std::string w = read_text(tmp);
    unlink(tmp.c_str());
    const uint8_t *b = reinterpret_cast<const uint8_t *>(w.data());
    size_t pos = 12;
    int source_channels = 0;
    while (pos + 8 <= w.size()) {
        uint32_t length = le(b + pos + 4, 4);
        if (memcmp(b + pos, "fmt ", 4) == 0 && length >= 16 && pos + 8 + 16 <= w.size())
            source_channels = static_cast<int>(le(b + pos + 10, 2));
        if (memcmp(b + pos, "data", 4) == 0) break;
        pos += 8 + length + (length & 1);
    }
    if (source_channels < 1 || pos + 8 > w.size()) {
        refuse("%s: sox gave no sound for it", path.c_str());
        return 0;
    }
    size_t count = (w.size() - pos - 8) / 4 / static_cast<size_t>(source_channels);
    const uint8_t *data = b + pos + 8;
    *channels = source_channels == 1 ? 1 : 2;
    frames->resize(count * static_cast<size_t>(*channels));
    for (size_t i = 0; i < count; i++) {
        float v[2] = {0, 0};
        for (int c = 0; c < source_channels; c++) {
            float x;
            memcpy(&x,
                   data + (i * static_cast<size_t>(source_channels) + static_cast<size_t>(c)) * 4,
                   4);
            if (c < 2)
                v[c] += x;
            else // further channels half into each side
                v[0] += 0.5f * x, v[1] += 0.5f * x;
        }
        for (int c = 0; c < *channels; c++)
            (*frames)[i * static_cast<size_t>(*channels) + static_cast<size_t>(c)] =
                v[c] * DECODE_HEADROOM;
    }
    return 1;
}

// Leading and trailing frames below SILENCE in every channel are removed;
// 0 if nothing is louder.
static int trim(std::vector<float> *frames, int channels) {
    size_t n = frames->size() / static_cast<size_t>(channels);
    auto loud = [&](size_t i) {
        for (int c = 0; c < channels; c++)
            if (fabsf((*frames)[i * static_cast<size_t>(channels) + static_cast<size_t>(c)]) >
                SILENCE)
                return true;
        return false;
    };
    size_t first = 0;
    while (first < n && !loud(first))
        first++;
    if (first == n) return 0;
    size_t end = n;
    while (end > first && !loud(end - 1))
        end--;
    frames->erase(frames->begin() + static_cast<long>(end) * channels, frames->end());
    frames->erase(frames->begin(), frames->begin() + static_cast<long>(first) * channels);
    return 1;
}

// The gain in dB that brings a sound to the board's loudness, and what was
// measured, for the line that reports it.
static double loudness_gain(const std::vector<float> &frames, int channels, std::string *said) {
    ebur128_state *st = ebur128_init(static_cast<unsigned>(channels), PAYLOAD_RATE,
                                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!st) return 0.0;
    ebur128_add_frames_float(st, frames.data(), frames.size() / static_cast<size_t>(channels));
    double lufs = -HUGE_VAL, peak = 0.0;
    ebur128_loudness_global(st, &lufs);
    for (int c = 0; c < channels; c++) {
        double p = 0;
        if (ebur128_true_peak(st, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS && p > peak)
            peak = p;
    }
    ebur128_destroy(&st);
    double peak_db = peak > 0 ? 20.0 * log10(peak) : -HUGE_VAL;
    char text[96];
    double gain;
    if (std::isfinite(lufs) &&
        frames.size() / static_cast<size_t>(channels) >= PAYLOAD_RATE * 4 / 10) {
        gain = TARGET_LUFS - lufs;
        snprintf(text, sizeof text, "%.1f LUFS", lufs);
    } else {
        gain = SHORT_PEAK_DB - peak_db;
        snprintf(text, sizeof text, "too short for a loudness measure, peak %.1f dBFS", peak_db);
    }
    if (gain > PEAK_DB - peak_db) gain = PEAK_DB - peak_db;
    if (gain > MAX_GAIN_DB) gain = MAX_GAIN_DB;
    *said = text;
    return gain;
}

// The clip as the program loads it without conversion: a RIFF WAVE of one
// "fmt " (PCM, 16-bit, PAYLOAD_RATE) and one "data" chunk.
static std::vector<uint8_t> wav_of(const std::vector<float> &frames, int channels, double gain) {
    size_t data = frames.size() * 2;
    std::vector<uint8_t> w(44 + data);
    auto put = [&w](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            w[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    memcpy(&w[0], "RIFF", 4);
    put(4, static_cast<uint32_t>(36 + data), 4);
    memcpy(&w[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, static_cast<uint32_t>(channels), 2);
    put(24, PAYLOAD_RATE, 4);
    put(28, static_cast<uint32_t>(PAYLOAD_RATE * channels * 2), 4);
    put(32, static_cast<uint32_t>(channels * 2), 2);
    put(34, 16, 2);
    memcpy(&w[36], "data", 4);
    put(40, static_cast<uint32_t>(data), 4);
    float g = static_cast<float>(pow(10.0, gain / 20.0));
    for (size_t i = 0; i < frames.size(); i++) {
        float v = frames[i] * g * 32767.0f;
        long s = lrintf(v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v);
        put(44 + 2 * i, static_cast<uint32_t>(s), 2);
    }
    return w;
}

// A number option "key=N" within [0, high]; 1 with the value, 0 if malformed.
static int number_option(const std::string &word, const char *key, int high, const char *suffix,
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

static std::vector<std::string> words_of(const std::string &s) {
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

struct BoardOptions {
    int overlap = 0, stop = 0, fade = 0, keys = 0;
};

// captions.txt: board options and, per sound, a caption and options. The
// lines' problems are refused; every named file must be a sound.
static void read_captions(const std::string &path, const std::vector<std::string> &others,
                          std::vector<Sound> *sounds, BoardOptions *board) {
    std::string text = read_text(path);
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
            // A file's name, then spaces: the tab was typed as spaces.
            auto names = [&](const std::string &name) {
                return row.size() > name.size() && row.compare(0, name.size(), name) == 0 &&
                       row[name.size()] == ' ';
            };
            std::string named;
            for (const Sound &s : *sounds)
                if (names(s.name)) named = s.name;
            for (const std::string &o : others)
                if (names(o)) named = o;
            if (!named.empty()) {
                refuse("%s line %d: no tab after \"%s\": separate the file name from the caption "
                       "with a tab, not spaces",
                       path.c_str(), number, named.c_str());
                continue;
            }
            for (const std::string &o : words_of(row)) {
                if (o == "overlap")
                    board->overlap = 1;
                else if (o == "stop")
                    board->stop = 1;
                else if (o == "keys")
                    board->keys = 1;
                else if (o.compare(0, 5, "fade=") == 0) {
                    if (!number_option(o, "fade=", PAYLOAD_FADE_MAX, "", &board->fade))
                        refuse("%s line %d: bad value in option \"%s\": fade=MS with MS from 0 "
                               "to %d",
                               path.c_str(), number, o.c_str(), PAYLOAD_FADE_MAX);
                } else
                    refuse("%s line %d: unknown option \"%s\" (a line without a tab holds "
                           "board options: overlap, stop, fade=MS, keys)",
                           path.c_str(), number, o.c_str());
            }
            continue;
        }
        if (tab == 0) {
            refuse("%s line %d: expected \"<file name><TAB><caption>\"", path.c_str(), number);
            continue;
        }
        std::string name = row.substr(0, tab), rest = row.substr(tab + 1), opts;
        size_t tab2 = rest.find('\t');
        if (tab2 != std::string::npos) {
            opts = rest.substr(tab2 + 1);
            rest.resize(tab2);
        }
        Sound *s = nullptr;
        for (Sound &x : *sounds)
            if (x.name == name) s = &x;
        if (!s) {
            refuse("%s line %d: names %s, which is not a sound in the folder", path.c_str(), number,
                   name.c_str());
            continue;
        }
        if (s->line) {
            refuse("%s line %d: names %s again (first on line %d)", path.c_str(), number,
                   name.c_str(), s->line);
            continue;
        }
        s->line = number;
        for (const std::string &o : words_of(opts)) {
            if (o == "loop")
                s->loop = 1;
            else if (o.compare(0, 7, "volume=") == 0) {
                if (!number_option(o, "volume=", 100, "%", &s->volume))
                    refuse("%s line %d: bad value in option \"%s\": volume=N%% with N from 0 to "
                           "100",
                           path.c_str(), number, o.c_str());
            } else if (o.compare(0, 5, "fade=") == 0) {
                if (!number_option(o, "fade=", PAYLOAD_FADE_MAX, "", &s->fade))
                    refuse("%s line %d: bad value in option \"%s\": fade=MS with MS from 0 to %d",
                           path.c_str(), number, o.c_str(), PAYLOAD_FADE_MAX);
            } else if (o.compare(0, 4, "key=") == 0) {
                int code = payload_key_code(o.c_str() + 4);
                const Sound *other = nullptr;
                for (const Sound &x : *sounds)
                    if (&x != s && code && x.key == code) other = &x;
                if (!code)
                    refuse("%s line %d: unknown key in option \"%s\": key=X with X one letter "
                           "or digit",
                           path.c_str(), number, o.c_str());
                else if (other)
                    refuse("%s line %d: two sounds on one key: \"%s\" names key %c, already "
                           "%s's (line %d)",
                           path.c_str(), number, o.c_str(), code, other->name.c_str(), other->line);
                else
                    s->key = code;
            } else
                refuse("%s line %d: unknown option \"%s\" (a sound takes volume=N%%, loop, "
                       "fade=MS and key=X)",
                       path.c_str(), number, o.c_str());
        }
        size_t first = rest.find_first_not_of(' ');
        if (first == std::string::npos) continue; // the file name's caption
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
            refuse("%s line %d: the caption \"%s\" for %s cannot fit a button: %s", path.c_str(),
                   number, shown.c_str(), name.c_str(), rule);
            s->line = -1; // refused, not to be refused again
            continue;
        }
        s->caption = caption;
        s->given = 1;
    }
}

static std::string base_name(const std::string &path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The installed program beside this maker, else the one on PATH.
static std::string find_program() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::string dir(self);
        dir.resize(dir.rfind('/'));
        std::string p = dir + "/vostrel-soundboard";
        if (access(p.c_str(), R_OK) == 0) return p;
    }
    const char *path = getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= all.size()) {
        size_t colon = all.find(':', at);
        std::string dir =
            all.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
        std::string p = (dir.empty() ? "." : dir) + "/vostrel-soundboard";
        if (access(p.c_str(), R_OK) == 0) return p;
        if (colon == std::string::npos) break;
        at = colon + 1;
    }
    return "";
}

// Writes bytes to path through a temporary file beside it, renamed over it
// only when complete; 1 on success.
static int write_whole(const std::string &path,
                       const std::vector<const std::vector<uint8_t> *> &parts, mode_t mode) {
    std::string tmp = path + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) return 0;
    int ok = 1;
    for (const std::vector<uint8_t> *p : parts) {
        size_t done = 0;
        while (ok && done < p->size()) {
            ssize_t n = write(fd, p->data() + done, p->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = 0;
            else
                done += static_cast<size_t>(n);
        }
    }
    if (fchmod(fd, mode) != 0 || fsync(fd) != 0) ok = 0;
    if (close(fd) != 0) ok = 0;
    if (ok && rename(name.data(), path.c_str()) != 0) ok = 0;
    if (!ok) unlink(name.data());
    return ok;
}

static int mkdirs(const std::string &dir) {
    for (size_t i = 1; i <= dir.size(); i++)
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
        }
    return 1;
}

int main(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "-o" || a == "--program") {
            if (i + 1 >= argc) {
                fprintf(stderr, "%s: %s needs %s\n", ME, a.c_str(),
                        a == "-o" ? "a file name" : "a path");
                return 2;
            }
            (a == "-o" ? o.out : o.program) = argv[++i];
        } else if (a == "--install")
            o.install = 1;
        else if (a == "--autostart")
            o.autostart = 1;
        else if (a == "--keep-levels")
            o.keep_levels = 1;
        else if (a == "--keep-silence")
            o.keep_silence = 1;
        else if (a.size() > 1 && a[0] == '-') {
            fprintf(stderr, "%s: unknown option %s (see %s --help)\n", ME, a.c_str(), ME);
            return 2;
        } else if (!o.folder.empty()) {
            fprintf(stderr, "%s: one folder at a time (see %s --help)\n", ME, ME);
            return 2;
        } else
            o.folder = a;
    }
    if (o.folder.empty()) {
        usage(stderr);
        return 2;
    }
    if (o.autostart && !o.install) {
        fprintf(stderr, "%s: --autostart goes with --install (see %s --help)\n", ME, ME);
        return 2;
    }
    const std::string &dir = o.folder;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "%s: not a folder (give a folder of 1 to %d sounds)\n", dir.c_str(),
                PAYLOAD_SOUNDS);
        return 1;
    }
    if (o.program.empty()) o.program = find_program();
    if (o.program.empty()) {
        fprintf(stderr, "%s: vostrel-soundboard not found; name it with --program PATH\n", ME);
        return 1;
    }
    std::string program_bytes = read_text(o.program);
    uint64_t image = 0;
    if (!payload_image_end(reinterpret_cast<const uint8_t *>(program_bytes.data()),
                           program_bytes.size(), program_bytes.size(), &image)) {
        fprintf(stderr, "%s: not a program (--program names a build of vostrel-soundboard)\n",
                o.program.c_str());
        return 1;
    }

    // The board's name: the folder's, in letters, digits, '.', '_' and '-'.
    char resolved[4096];
    std::string title = base_name(realpath(dir.c_str(), resolved) ? resolved : dir.c_str());
    std::string name;
    for (char c : title)
        name += (isalnum(static_cast<unsigned char>(c)) && !(c & 0x80)) || c == '.' || c == '_' ||
                        c == '-'
                    ? c
                    : '-';
    if (!name.empty() && name[0] == '.') name[0] = '_';
    if (name.size() > 48) name.resize(48);
    if (name.empty()) name = "board";
    std::string out = o.out;
    if (o.install) {
        const char *home = getenv("HOME");
        if (!home || !*home) {
            fprintf(stderr, "%s: HOME is not set\n", ME);
            return 1;
        }
        out = std::string(home) + "/.local/bin/" + name;
    } else if (out.empty())
        out = name + "-board";
    if (stat(out.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        fprintf(stderr, "%s: a folder; name the board's file with -o FILE\n", out.c_str());
        return 1;
    }

    // The folder: sounds, the caption file (any letter case), and what is
    // skipped.
    std::vector<Sound> sounds;
    std::vector<std::string> others;
    std::string captions_path;
    DIR *d = opendir(dir.c_str());
    if (!d) {
        fprintf(stderr, "%s: cannot be read (%s)\n", dir.c_str(), strerror(errno));
        return 1;
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
        std::string path = dir + "/" + n;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (strcasecmp(n.c_str(), "captions.txt") == 0) {
            if (!captions_path.empty())
                refuse("%s: two caption files, %s and %s; keep one", dir.c_str(),
                       base_name(captions_path).c_str(), n.c_str());
            captions_path = path;
            continue;
        }
        if (const char *kind = not_a_sound(path, n)) {
            printf("%s: skipped, not a sound (%s)\n", path.c_str(), kind);
            others.push_back(n);
            continue;
        }
        Sound s;
        s.name = n;
        sounds.push_back(s);
    }
    if (sounds.empty()) {
        fprintf(stderr, "%s: no sound files in the folder (a board has 1 to %d)\n", dir.c_str(),
                PAYLOAD_SOUNDS);
        return 1;
    }
    BoardOptions board;
    if (!captions_path.empty()) read_captions(captions_path, others, &sounds, &board);
    int most = PAYLOAD_SOUNDS - (board.stop ? 1 : 0);
    if (static_cast<int>(sounds.size()) > most) {
        fprintf(stderr, "%s: %zu sound files; a board%s has at most %d\n", dir.c_str(),
                sounds.size(), board.stop ? " with the stop button" : "", most);
        return 1;
    }
    std::string captions_name = captions_path.empty() ? dir + "/captions.txt" : captions_path;

    // Captions from file names.
    for (Sound &s : sounds) {
        std::string path = dir + "/" + s.name;
        if (s.given || s.line < 0) continue;
        if (s.name.find('\t') != std::string::npos) {
            refuse("%s: a file name holds a tab, which no caption line can name", path.c_str());
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
            refuse("%s: the file name gives no caption the board's font can draw; give one with a "
                   "line \"%s<TAB><caption>\" in %s",
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
    for (size_t k = 0; k < sounds.size(); k++) {
        Sound &s = sounds[k];
        if (s.caption.empty()) continue;
        std::string shown = s.caption;
        for (char &c : shown)
            if (c == '\n') c = '|';
        if (board.stop && s.caption == PAYLOAD_STOP_CAPTION) {
            refuse("%s/%s: the caption \"%s\" is the stop button's; every button needs its own "
                   "caption",
                   dir.c_str(), s.name.c_str(), PAYLOAD_STOP_CAPTION);
            continue;
        }
        for (size_t j = 0; j < k; j++)
            if (sounds[j].caption == s.caption) {
                refuse("%s/%s: same caption \"%s\" as %s; every button needs its own caption",
                       dir.c_str(), s.name.c_str(), shown.c_str(), sounds[j].name.c_str());
                break;
            }
    }

    // The sounds, decoded one at a time; once the board is too big for the
    // program, only their lengths are kept.
    const char *tmpdir = getenv("TMPDIR");
    std::string work_pattern =
        std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/vostrel-make-board-XXXXXX";
    std::vector<char> work_name(work_pattern.begin(), work_pattern.end());
    work_name.push_back(0);
    if (!mkdtemp(work_name.data())) {
        fprintf(stderr, "%s: no temporary folder (%s)\n", ME, strerror(errno));
        return 1;
    }
    std::string work = work_name.data();
    uint64_t total_bytes = 0;
    double total_seconds = 0, memory = BASE_MEMORY;
    std::vector<std::string> gains;
    // As many sox decodes run at once as there are processors.
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    size_t window = cpus < 1 ? 1 : cpus > 8 ? 8 : static_cast<size_t>(cpus);
    std::vector<pid_t> decoding(sounds.size(), -1);
    std::vector<int> empty(sounds.size(), 0);
    auto launch = [&](size_t k) {
        if (k >= sounds.size()) return;
        std::string path = dir + "/" + sounds[k].name;
        if (stat(path.c_str(), &st) == 0 && st.st_size == 0)
            empty[k] = 1;
        else
            decoding[k] = decode_start(path, work, k);
    };
    for (size_t k = 0; k < window; k++)
        launch(k);
    for (size_t k = 0; k < sounds.size(); k++) {
        Sound &s = sounds[k];
        std::string path = dir + "/" + s.name;
        std::vector<float> frames;
        int decoded =
            empty[k] ? 0 : decode_finish(decoding[k], path, work, k, &frames, &s.channels);
        launch(k + window);
        if (empty[k]) {
            refuse("%s: empty file; every sound needs something to hear", path.c_str());
            continue;
        }
        if (!decoded) continue;
        int has_sound = o.keep_silence ? 1 : trim(&frames, s.channels);
        if (o.keep_silence) {
            std::vector<float> copy = frames;
            has_sound = trim(&copy, s.channels);
        }
        if (!has_sound) {
            refuse("%s: silent (nothing above -60 dBFS); every sound needs something to hear",
                   path.c_str());
            continue;
        }
        s.seconds = static_cast<double>(frames.size()) / s.channels / PAYLOAD_RATE;
        uint64_t bytes = 44 + frames.size() * 2;
        total_bytes += bytes;
        total_seconds += s.seconds;
        memory += static_cast<double>(bytes) * (s.channels == 1 ? 3 : 2);
        if (total_bytes > PAYLOAD_MAX_BYTES) continue;
        double gain = 0;
        if (o.keep_levels) {
            // As it is, but never clipped: a source at full scale can
            // overshoot it once resampled.
            float peak = 0;
            for (float v : frames)
                peak = fabsf(v) > peak ? fabsf(v) : peak;
            if (peak > 1.0f) gain = -20.0 * log10(static_cast<double>(peak));
        } else {
            std::string measured;
            gain = loudness_gain(frames, s.channels, &measured);
            char line[512];
            snprintf(line, sizeof line, "%s: gain %+.1f dB (%s)", path.c_str(), gain,
                     measured.c_str());
            gains.push_back(line);
        }
        s.wav = wav_of(frames, s.channels, gain);
    }
    rmdir(work.c_str());
    if (total_bytes > PAYLOAD_MAX_BYTES) {
        double limit_minutes =
            total_seconds / 60.0 * static_cast<double>(PAYLOAD_MAX_BYTES) / total_bytes;
        refuse("%s: the sounds last %.1f minutes in all; a board holds at most %.1f minutes of "
               "them (%llu MiB); leave some out or shorten them",
               dir.c_str(), total_seconds / 60.0, limit_minutes,
               static_cast<unsigned long long>(PAYLOAD_MAX_BYTES >> 20));
    }
    if (refused) {
        fprintf(stderr, "no board made\n");
        return 1;
    }
    for (const std::string &g : gains)
        printf("%s\n", g.c_str());
    double memory_with_payload = memory;
    double start_seconds = static_cast<double>(total_bytes) / START_BYTES_PER_SECOND;
    if (start_seconds > WARN_SECONDS || memory_with_payload > WARN_MEMORY)
        printf("warning: this board will take about %.1f s to start and about %.0f MB of memory "
               "(over %.0f s or %.0f MB: fewer or shorter sounds start faster)\n",
               start_seconds, memory_with_payload / 1e6, WARN_SECONDS, WARN_MEMORY / 1e6);

    // The board, encoded by the reader's own definition.
    PayloadBoard b;
    memset(&b, 0, sizeof b);
    snprintf(b.name, sizeof b.name, "%s", name.c_str());
    b.overlap = board.overlap;
    b.stop = board.stop;
    b.count = static_cast<int>(sounds.size());
    if (board.keys) {
        // The sounds without a key of their own take the next free keys in
        // reading order; the maker's order is the board's.
        const char *next = PAYLOAD_KEY_ORDER;
        for (Sound &s : sounds) {
            if (s.key) continue;
            auto taken = [&](int code) {
                for (const Sound &x : sounds)
                    if (x.key == code) return 1;
                return 0;
            };
            while (*next && taken(*next))
                next++;
            if (*next) s.key = *next++;
        }
    }
    for (int k = 0; k < b.count; k++) {
        const Sound &s = sounds[static_cast<size_t>(k)];
        PayloadSound *p = &b.sounds[k];
        snprintf(p->caption, sizeof p->caption, "%s", s.caption.c_str());
        p->clip = {"board.wav", "wav", static_cast<uint32_t>(s.wav.size()), s.wav.data()};
        p->volume = s.volume;
        p->loop = s.loop;
        p->fade = s.fade >= 0 ? s.fade : board.fade;
        p->key = s.key;
    }
    size_t size = payload_encode(&b, nullptr, 0);
    std::vector<uint8_t> payload(size);
    if (size == 0 || payload_encode(&b, payload.data(), size) != size) {
        fprintf(stderr, "%s: the board breaks a rule of the format (a fault of %s)\n", dir.c_str(),
                ME);
        return 1;
    }
    std::vector<uint8_t> program(program_bytes.begin(),
                                 program_bytes.begin() + static_cast<long>(image));
    size_t slash = out.rfind('/');
    if (slash != std::string::npos && slash > 0 && !mkdirs(out.substr(0, slash))) {
        fprintf(stderr, "%s: cannot be written (%s)\n", out.c_str(), strerror(errno));
        return 1;
    }
    if (!write_whole(out, {&program, &payload}, 0755)) {
        fprintf(stderr, "%s: cannot be written (%s)\n", out.c_str(), strerror(errno));
        return 1;
    }

    if (o.install) {
        // The Exec key's quoting rules: the path in double quotes, with \ " ` $ escaped.
        std::string exec_path, shown_title;
        for (char c : out) {
            if (c == '\\' || c == '"' || c == '`' || c == '$') exec_path += "\\\\";
            exec_path += c;
        }
        for (char c : title)
            if (c != '\n') shown_title += c;
        // One desktop entry in $VARIABLE (else ~/FALLBACK)/FOLDER, the
        // program started with ARGUMENTS; 0 after saying why not.
        auto write_entry = [&](const char *variable, const char *fallback, const char *folder,
                               const char *arguments) {
            const char *base = getenv(variable);
            std::string dir =
                (base && *base ? std::string(base) : std::string(getenv("HOME")) + "/" + fallback) +
                "/" + folder;
            std::string entry = dir + "/vostrel-board-" + name + ".desktop";
            std::string text = "[Desktop Entry]\nType=Application\nName=" + shown_title +
                               "\nGenericName=Soundboard\nComment=Touch a button to play its "
                               "sound\nExec=\"" +
                               exec_path + "\" " + arguments +
                               "\nIcon=vostrel-soundboard\nTerminal=false\n"
                               "Categories=AudioVideo;Audio;\n";
            std::vector<uint8_t> bytes(text.begin(), text.end());
            if (!mkdirs(dir) || !write_whole(entry, {&bytes}, 0644)) {
                fprintf(stderr, "%s: cannot be written (%s)\n", entry.c_str(), strerror(errno));
                return std::string();
            }
            return entry;
        };
        if (write_entry("XDG_DATA_HOME", ".local/share", "applications", "--xdg-state").empty())
            return 1;
        printf("Your board (%d sounds) is in the menu as \"%s\" and runs as %s\n", b.count,
               shown_title.c_str(), out.c_str());
        if (o.autostart) {
            // The menu's entry, started as a kiosk at every desktop login.
            std::string entry =
                write_entry("XDG_CONFIG_HOME", ".config", "autostart", "--xdg-state --kiosk");
            if (entry.empty()) return 1;
            printf("It starts full screen at every desktop login (%s)\n", entry.c_str());
        }
    } else {
        printf("Your board (%d sounds): %s\n", b.count, out.c_str());
    }
    return 0;
}
