// vostrel-make-board: a soundboard of your own sounds, made without a
// compiler. The sounds of one folder become a board that is appended to a
// copy of the soundboard program; the board is encoded by payload_encode
// (app/payload.h), the definition the program reads it with.
//
// main runs the jobs of tools/board/maker.h in turn: the arguments, the
// folder and its captions.txt, the format's rules, the sounds, and writing
// (and installing) the board. Nothing is written until every sound and line
// has passed: the board goes to a temporary file beside its destination and
// is renamed over it.
#include "tools/board/maker.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <vostrel/diag/diag.h>

// The framework's WAV gate, which payload_encode applies to every clip, sits
// beside its log; the maker never opens the log, but the name must exist.
const char APP_NAME[] = "Vostrel Soundboard";

const char MAKER_NAME[] = "vostrel-make-board";
static const char *const ME = MAKER_NAME;

static int refused = 0;

void maker_refuse(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputc('\n', stderr);
    refused = 1;
}

int maker_refused(void) { return refused; }

static void usage(FILE *to) {
    fprintf(to,
            "Usage: %s DIR [-o FILE] [--program PATH] [--install [--autostart]] [--keep-levels] "
            "[--keep-silence]\n"
            "Makes a soundboard of the sounds in folder DIR (any format sox reads): pages of\n"
            "20 buttons, the folder's own sounds first, then each folder in it a page (or\n"
            "more) named after it.\n\n"
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
            "  overlap stop fade=MS keys remote remote-lan latency=normal device=NAME\n"
            "        (a line without a tab: options of the whole board, in DIR's own\n"
            "        captions.txt only; remote and remote-lan start the remote control as\n"
            "        --remote and --remote-lan do; the board plays in low latency unless\n"
            "        latency=normal, on the default output unless device= names one)\n"
            "\"\\n\" in a caption breaks the line. See man %s.\n",
            ME, MAKER_TARGET_LUFS, ME);
}

int maker_arguments(int argc, char **argv, MakerOptions *o) {
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
            (a == "-o" ? o->out : o->program) = argv[++i];
        } else if (a == "--install")
            o->install = 1;
        else if (a == "--autostart")
            o->autostart = 1;
        else if (a == "--keep-levels")
            o->keep_levels = 1;
        else if (a == "--keep-silence")
            o->keep_silence = 1;
        else if (a.size() > 1 && a[0] == '-') {
            fprintf(stderr, "%s: unknown option %s (see %s --help)\n", ME, a.c_str(), ME);
            return 2;
        } else if (!o->folder.empty()) {
            fprintf(stderr, "%s: one folder at a time (see %s --help)\n", ME, ME);
            return 2;
        } else
            o->folder = a;
    }
    if (o->folder.empty()) {
        usage(stderr);
        return 2;
    }
    if (o->autostart && !o->install) {
        fprintf(stderr, "%s: --autostart goes with --install (see %s --help)\n", ME, ME);
        return 2;
    }
    return -1;
}

// The sounds of a page without a key of their own take the page's next free
// keys in reading order; the maker's order is the board's.
static void hand_out_keys(std::vector<MakerSound> *all, int first, int count) {
    const char *next = PAYLOAD_KEY_ORDER;
    auto begin = all->begin() + first, end = all->begin() + first + count;
    for (auto s = begin; s != end; ++s) {
        if (s->key) continue;
        auto taken = [&](int code) {
            for (auto x = begin; x != end; ++x)
                if (x->key == code) return 1;
            return 0;
        };
        while (*next && taken(*next))
            next++;
        if (*next) s->key = *next++;
    }
}

int main(int argc, char **argv) {
    MakerOptions o;
    int status = maker_arguments(argc, argv, &o);
    if (status >= 0) return status;
    const std::string &dir = o.folder;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "%s: not a folder (give a folder of 1 to %d sounds)\n", dir.c_str(),
                PAYLOAD_BOARD_SOUNDS);
        return 1;
    }
    if (o.program.empty()) o.program = maker_find_program();
    if (o.program.empty()) {
        fprintf(stderr, "%s: vostrel-soundboard not found; name it with --program PATH\n", ME);
        return 1;
    }
    std::string program_bytes = maker_read_text(o.program);
    uint64_t image = 0;
    if (!payload_image_end(reinterpret_cast<const uint8_t *>(program_bytes.data()),
                           program_bytes.size(), program_bytes.size(), &image)) {
        fprintf(stderr, "%s: not a program (--program names a build of vostrel-soundboard)\n",
                o.program.c_str());
        return 1;
    }

    // The board's name: the folder's, in letters, digits, '.', '_' and '-'.
    char resolved[4096];
    std::string title = maker_base_name(realpath(dir.c_str(), resolved) ? resolved : dir.c_str());
    std::string name = maker_board_name(title);
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

    // The folders: the top one's sounds, its caption file (with the board's
    // options), and each subfolder a page (or more) of its own.
    std::vector<MakerFolder> folders(1);
    MakerFolder &top = folders[0];
    if (!maker_scan(dir, &top)) return 1;
    MakerBoardOptions board;
    if (!top.captions_path.empty()) {
        std::vector<std::string> refusals;
        maker_read_captions(top.captions_path, maker_read_text(top.captions_path), top.others,
                            &top.sounds, &board, &refusals);
        for (const std::string &r : refusals)
            maker_refuse("%s", r.c_str());
    }
    int folded = 0;
    if (!maker_page_name(title, &top.page_name, &folded)) top.page_name = name;
    for (const std::string &sub : std::vector<std::string>(top.folders)) {
        MakerFolder f;
        if (!maker_scan(dir + "/" + sub, &f)) return 1;
        for (const std::string &deeper : f.folders)
            maker_refuse("%s/%s: a folder inside a page's folder; a board's pages are the "
                         "folders in %s, one level deep (move its sounds up a level)",
                         f.path.c_str(), deeper.c_str(), dir.c_str());
        if (f.sounds.empty()) {
            if (f.folders.empty()) printf("%s: skipped, no sound files in it\n", f.path.c_str());
            continue;
        }
        if (!maker_page_name(sub, &f.page_name, &folded)) {
            maker_refuse("%s: the folder's name gives no page name the board's font can draw; "
                         "rename the folder",
                         f.path.c_str());
            continue;
        }
        if (folded)
            printf("%s: page \"%s\": letters the board's font cannot draw were changed or left "
                   "out\n",
                   f.path.c_str(), f.page_name.c_str());
        if (!f.captions_path.empty()) {
            std::vector<std::string> refusals;
            maker_read_captions(f.captions_path, maker_read_text(f.captions_path), f.others,
                                &f.sounds, nullptr, &refusals);
            for (const std::string &r : refusals)
                maker_refuse("%s", r.c_str());
        }
        folders.push_back(f);
    }
    if (folders[0].sounds.empty()) folders.erase(folders.begin());
    size_t count = 0;
    for (const MakerFolder &f : folders)
        count += f.sounds.size();
    if (count == 0) {
        fprintf(stderr, "%s: no sound files in the folder (a board has 1 to %d)\n", dir.c_str(),
                PAYLOAD_BOARD_SOUNDS);
        return 1;
    }
    if (count > static_cast<size_t>(PAYLOAD_BOARD_SOUNDS)) {
        fprintf(stderr, "%s: %zu sound files; a board has at most %d\n", dir.c_str(), count,
                PAYLOAD_BOARD_SOUNDS);
        return 1;
    }
    int per_page = PAYLOAD_SOUNDS - (board.stop ? 1 : 0);
    std::vector<MakerSound> sounds;
    for (MakerFolder &f : folders) {
        maker_captions_from_names(f, &f.sounds);
        sounds.insert(sounds.end(), f.sounds.begin(), f.sounds.end());
    }
    std::vector<MakerPage> pages = maker_pages(folders, per_page);
    if (pages.size() > static_cast<size_t>(PAYLOAD_PAGES)) {
        fprintf(stderr, "%s: %zu pages of %d sounds; a board has at most %d\n", dir.c_str(),
                pages.size(), per_page, PAYLOAD_PAGES);
        return 1;
    }
    maker_check_rules(pages, board, sounds);

    // The sounds, decoded one at a time; once the board is too big for the
    // program, only their lengths are kept.
    uint64_t total_bytes = 0;
    double total_seconds = 0;
    std::vector<std::string> gains;
    maker_process_sounds(o, &sounds, &total_bytes, &total_seconds, &gains);
    if (total_bytes > PAYLOAD_MAX_BYTES) {
        double limit_minutes =
            total_seconds / 60.0 * static_cast<double>(PAYLOAD_MAX_BYTES) / total_bytes;
        maker_refuse("%s: the sounds last %.1f minutes in all; a board holds at most %.1f minutes "
                     "of them (%llu MiB); leave some out or shorten them",
                     dir.c_str(), total_seconds / 60.0, limit_minutes,
                     static_cast<unsigned long long>(PAYLOAD_MAX_BYTES >> 20));
    }
    if (maker_refused()) {
        fprintf(stderr, "no board made\n");
        return 1;
    }
    for (const std::string &g : gains)
        printf("%s\n", g.c_str());

    // The board, encoded by the reader's own definition.
    static PayloadBoard b;
    memset(&b, 0, sizeof b);
    snprintf(b.name, sizeof b.name, "%s", name.c_str());
    b.overlap = board.overlap;
    b.stop = board.stop;
    b.remote = board.remote;
    b.latency_normal = board.latency_normal;
    snprintf(b.device, sizeof b.device, "%s", board.device.c_str());
    b.count = static_cast<int>(sounds.size());
    b.offset = image; // the clips start aligned in the file, to be played where they lie
    b.pages = static_cast<int>(pages.size());
    for (int p = 0; p < b.pages; p++) {
        const MakerPage &page = pages[static_cast<size_t>(p)];
        snprintf(b.page[p].name, sizeof b.page[p].name, "%s", page.name.c_str());
        b.page[p].first = page.first;
        b.page[p].count = page.count;
        if (board.keys) hand_out_keys(&sounds, page.first, page.count);
    }
    for (int k = 0; k < b.count; k++) {
        const MakerSound &s = sounds[static_cast<size_t>(k)];
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
    if (slash != std::string::npos && slash > 0 && !maker_mkdirs(out.substr(0, slash))) {
        fprintf(stderr, "%s: cannot be written (%s)\n", out.c_str(), strerror(errno));
        return 1;
    }
    if (!maker_write_whole(out, {&program, &payload}, 0755)) {
        fprintf(stderr, "%s: cannot be written (%s)\n", out.c_str(), strerror(errno));
        return 1;
    }
    if (o.install) return maker_install_entries(out, name, title, b.count, o.autostart) ? 0 : 1;
    if (b.pages > 1)
        printf("Your board (%d sounds on %d pages): %s\n", b.count, b.pages, out.c_str());
    else
        printf("Your board (%d sounds): %s\n", b.count, out.c_str());
    return 0;
}
