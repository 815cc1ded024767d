// The board builder (tools/board/make_board.sh): its refusals, the clips and
// captions it makes from a folder of sounds, and one board built from three
// generated sounds and played through its real program.
//
// The sounds are written by the test itself (plain PCM WAV of several rates,
// depths and channel counts) and turned into FLAC and Ogg by sox, so each
// expected caption, duration and pitch is known before the builder runs.
// (MP3 too: Debian's sox reads and writes it through libsox-fmt-mp3.)
#include "support.h"

#include "app/app.h"
#include <vostrel/input/input.h>

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include "app/app_internal.h"

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double PI = 3.141592653589793;

void pause_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

void put_le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A PCM WAV: `silence` seconds of zeros, then `seconds` of a sine at `hz`
// (amplitude half of full scale), the same in every channel. bits 8, 16 or 24.
void write_wav(const std::string &path, int rate, int channels, int bits, double silence,
               double seconds, double hz) {
    int bytes = bits / 8;
    std::string data;
    int quiet = static_cast<int>(silence * rate), loud = static_cast<int>(seconds * rate);
    for (int i = 0; i < quiet + loud; i++) {
        double v = i < quiet ? 0.0 : 0.5 * sin(2 * PI * hz * (i - quiet) / rate);
        for (int c = 0; c < channels; c++) {
            if (bits == 8) {
                put_le(data, static_cast<uint32_t>(128 + lround(v * 127)), 1);
            } else {
                long full = (1L << (bits - 1)) - 1;
                put_le(data, static_cast<uint32_t>(lround(v * static_cast<double>(full))), bytes);
            }
        }
    }
    std::string w = "RIFF";
    put_le(w, static_cast<uint32_t>(36 + data.size()), 4);
    w += "WAVEfmt ";
    put_le(w, 16, 4);
    put_le(w, 1, 2);
    put_le(w, static_cast<uint32_t>(channels), 2);
    put_le(w, static_cast<uint32_t>(rate), 4);
    put_le(w, static_cast<uint32_t>(rate * channels * bytes), 4);
    put_le(w, static_cast<uint32_t>(channels * bytes), 2);
    put_le(w, static_cast<uint32_t>(bits), 2);
    w += "data";
    put_le(w, static_cast<uint32_t>(data.size()), 4);
    write_file(path, w + data);
}

// A short tone, for folders where only the name matters.
void write_tone(const std::string &path) { write_wav(path, 22050, 1, 16, 0.0, 0.1, 500); }

int run(const std::string &cmd) {
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// sox converts a WAV the test wrote into another format (by the extension).
void convert(const std::string &from, const std::string &to) {
    ASSERT_EQ(run("sox '" + from + "' '" + to + "'"), 0) << to;
}

struct BuildResult {
    int status;
    std::string err;
};

// Runs the builder on folder `sounds` into `out`; with a framework build it
// builds the program too.
BuildResult build_board(TempDir &dir, const std::string &sounds, const std::string &out,
                        const std::string &framework = "") {
    std::string cmd = "sh '" + std::string(VOSTREL_SOURCE_DIR) + "/tools/board/make_board.sh' '" +
                      sounds + "' '" + out + "'" +
                      (framework.empty() ? "" : " '" + framework + "'") + " >'" +
                      dir.file("builder.out") + "' 2>'" + dir.file("builder.err") + "'";
    BuildResult r;
    r.status = run(cmd);
    r.err = read_file(dir.file("builder.err"));
    return r;
}

// A fresh folder of sounds inside the test's directory.
std::string sound_folder(TempDir &dir, const std::string &name = "sounds") {
    std::string path = dir.file(name);
    mkdir(path.c_str(), 0755);
    return path;
}

// The builder refused: status 1, one line naming `file` with the rule's
// words, and no board left behind.
void expect_refusal(TempDir &dir, const BuildResult &r, const std::string &file,
                    const std::string &rule) {
    EXPECT_EQ(r.status, 1) << r.err;
    bool found = false;
    size_t pos = 0;
    while (pos < r.err.size()) {
        size_t nl = r.err.find('\n', pos);
        if (nl == std::string::npos) nl = r.err.size();
        std::string line = r.err.substr(pos, nl - pos);
        if (line.find(file) != std::string::npos && line.find(rule) != std::string::npos)
            found = true;
        pos = nl + 1;
    }
    EXPECT_TRUE(found) << "expected a line naming " << file << " and \"" << rule << "\" in:\n"
                       << r.err;
    EXPECT_FALSE(file_exists(dir.file("out/board/board.txt")));
}

TEST(BoardBuilder, RefusesAnEmptyFolderAndMoreThanTwentySounds) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_file(sounds + "/.hidden.wav", "");
    write_file(sounds + "/captions.txt", "");
    expect_refusal(dir, build_board(dir, sounds, dir.file("out")), sounds, "no sound files");

    for (int k = 0; k < 21; k++)
        write_tone(sounds + "/tone " + std::string(1, static_cast<char>('a' + k)) + ".wav");
    expect_refusal(dir, build_board(dir, sounds, dir.file("out")), sounds,
                   "21 sound files; a board has at most 20");
    remove((sounds + "/tone u.wav").c_str());
    EXPECT_EQ(build_board(dir, sounds, dir.file("out")).status, 0) << "twenty is allowed";
}

TEST(BoardBuilder, RefusesWhatIsNotAudioEmptyOrSilent) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/fine.wav");
    write_file(sounds + "/notes.txt", "shopping list\n");
    write_file(sounds + "/broken.wav", "RIFF\x10\0\0\0WAVEjunkjunk");
    write_file(sounds + "/nothing.wav", "");
    write_wav(sounds + "/hush.wav", 44100, 2, 16, 1.0, 0.0, 0);
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, sounds + "/notes.txt", "not an audio file");
    expect_refusal(dir, r, sounds + "/broken.wav", "not an audio file");
    expect_refusal(dir, r, sounds + "/nothing.wav", "empty file");
    expect_refusal(dir, r, sounds + "/hush.wav", "silent");
    EXPECT_EQ(r.err.find("fine.wav"), std::string::npos) << r.err;
}

TEST(BoardBuilder, RefusesCaptionsThatCannotFit) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/supercalifragilistic.wav");           // one word of 20 characters
    write_tone(sounds + "/alpha beta gamma delta epsilon.wav"); // 28 characters once wrapped
    write_tone(sounds + "/caf\xc3\xa9.wav");                    // not ASCII
    write_tone(sounds + "/five.wav");
    write_tone(sounds + "/fits.wav");
    write_file(sounds + "/captions.txt", "# given captions\nfive.wav\ta\\nb\\nc\\nd\\ne\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, "supercalifragilistic.wav", "at most 12 characters");
    expect_refusal(dir, r, "alpha beta gamma delta epsilon.wav", "at most 27 characters");
    expect_refusal(dir, r, "caf\xc3\xa9.wav", "printable ASCII");
    expect_refusal(dir, r, "five.wav", "1 to 4 lines");
    EXPECT_EQ(r.err.find("fits.wav"), std::string::npos) << r.err;
}

TEST(BoardBuilder, RefusesEqualCaptionsAndCaptionsForNoSound) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/big_bang.wav");
    write_tone(sounds + "/big-bang.wav"); // the same words
    write_tone(sounds + "/boom.wav");
    write_tone(sounds + "/kaboom.wav");
    write_file(sounds + "/captions.txt", "kaboom.wav\tboom\nmissing.wav\tWhere?\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, "big_bang.wav", "same caption \"big bang\"");
    expect_refusal(dir, r, "kaboom.wav", "same caption \"boom\"");
    expect_refusal(dir, r, "missing.wav", "not a sound in the folder");
}

TEST(BoardBuilder, FileNamesAreReadAsNamesNotPatterns) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/[x]*.wav");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("out/board/board.txt")), "vostrel_00.wav\t\\133x\\135*\n");
}

struct WavInfo {
    bool plain = false; // RIFF WAVE, exactly "fmt " (16 bytes) then "data", nothing after
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

uint32_t le(const std::vector<uint8_t> &b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

WavInfo read_wav(const std::string &path) {
    WavInfo w;
    std::vector<uint8_t> b = read_bytes(path);
    if (b.size() < 44 || memcmp(b.data(), "RIFF", 4) != 0 || memcmp(&b[8], "WAVEfmt ", 8) != 0)
        return w;
    uint32_t data = le(b, 40, 4);
    w.plain = le(b, 4, 4) == b.size() - 8 && le(b, 16, 4) == 16 && memcmp(&b[36], "data", 4) == 0 &&
              data == b.size() - 44;
    w.format = static_cast<uint16_t>(le(b, 20, 2));
    w.channels = static_cast<uint16_t>(le(b, 22, 2));
    w.rate = le(b, 24, 4);
    w.bits = static_cast<uint16_t>(le(b, 34, 2));
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        w.samples.push_back(static_cast<int16_t>(le(b, i, 2)));
    return w;
}

// Sign changes per second of a channel, over samples [from, to): twice the
// pitch of a sine.
double pitch(const std::vector<int16_t> &s, size_t from, size_t to, size_t stride, double rate) {
    int changes = 0;
    for (size_t i = from + stride; i < to && i < s.size(); i += stride)
        if ((s[i - stride] < 0) != (s[i] < 0)) changes++;
    return changes / 2.0 / (static_cast<double>(to - from) / static_cast<double>(stride) / rate);
}

TEST(BoardBuilder, MakesClipsAndCaptionsFromAnyFormat) {
    // WAV of 24 bits in stereo, FLAC, Ogg Vorbis from 8 bits, MP3.
    TempDir dir;
    std::string sounds = sound_folder(dir);
    // 0.4 s of leading silence before 0.5 s of tone in each.
    write_wav(sounds + "/once_upon-a_time.wav", 44100, 2, 24, 0.4, 0.5, 440);
    write_wav(dir.file("b.wav"), 48000, 1, 16, 0.4, 0.5, 880);
    convert(dir.file("b.wav"), sounds + "/Drum-roll.flac");
    write_wav(dir.file("c.wav"), 11025, 1, 8, 0.4, 0.5, 300);
    convert(dir.file("c.wav"), sounds + "/zz.ogg");
    write_wav(dir.file("d.wav"), 44100, 1, 16, 0.4, 0.5, 660);
    convert(dir.file("d.wav"), sounds + "/beep.mp3");
    write_file(sounds + "/captions.txt", "zz.ogg\tThe\\nend; [\"k\"] \\ \n");

    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    // In byte order of the file names; "\n" in board.txt is a line break, and
    // what C++ or a CMake list would read is written as octal escapes.
    EXPECT_EQ(read_file(dir.file("out/board/board.txt")),
              "vostrel_00.wav\tDrum roll\n"
              "vostrel_01.wav\tbeep\n"
              "vostrel_02.wav\tonce upon a\\ntime\n"
              "vostrel_03.wav\tThe\\nend\\073 \\133\\042k\\042\\135 \\134\n");
    const double hz[4] = {880, 660, 440, 300};
    // MP3 pads its frames (encoder delay and the last frame): a little more sound.
    const double tolerance[4] = {0.03, 0.06, 0.03, 0.03};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        char name[64];
        snprintf(name, sizeof name, "out/board/clips/vostrel_%02d.wav", k);
        WavInfo w = read_wav(dir.file(name));
        EXPECT_TRUE(w.plain) << "exactly a fmt and a data chunk";
        EXPECT_EQ(w.format, 1);
        EXPECT_EQ(w.channels, 1);
        EXPECT_EQ(w.rate, 22050u);
        EXPECT_EQ(w.bits, 16);
        // The 0.4 s of silence is gone: about 0.5 s is left, sounding from the start.
        EXPECT_NEAR(static_cast<double>(w.samples.size()) / 22050.0, 0.5, tolerance[k]);
        ASSERT_GT(w.samples.size(), 2000u);
        int loud_early = 0;
        for (size_t i = 0; i < 220; i++)
            if (abs(w.samples[i]) > 3000) loud_early++;
        EXPECT_GT(loud_early, 20) << "the tone starts within the first 10 ms";
        EXPECT_NEAR(pitch(w.samples, 500, w.samples.size() - 500, 1, 22050), hz[k], hz[k] * 0.03);
    }
    EXPECT_TRUE(file_exists(sounds + "/once_upon-a_time.wav")) << "the folder is left as it was";
}

// The three-sound board, built and run: the program shows its window, and a
// tap on each button plays that button's sound (its pitch, in the mixed
// output of SDL's disk audio driver).
TEST(CustomBoard, BuildsAndPlaysThreeSounds) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string sounds = sound_folder(dir);
    // 0.8 s each: a clip has ended by the time the next tap comes.
    write_wav(sounds + "/low.wav", 44100, 2, 16, 0.3, 0.8, 330);
    write_wav(dir.file("m.wav"), 32000, 1, 16, 0.2, 0.8, 660);
    convert(dir.file("m.wav"), sounds + "/mid.flac");
    write_wav(dir.file("h.wav"), 22050, 1, 16, 0.1, 0.8, 1320);
    convert(dir.file("h.wav"), sounds + "/high.ogg");
    BuildResult r = build_board(dir, sounds, dir.file("out"), VOSTREL_BUILD_DIR);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    const std::string program = dir.file("out/vostrel-soundboard");
    EXPECT_NE(said.find(program), std::string::npos) << said;
    EXPECT_NE(said.find("cmake --install"), std::string::npos) << said;
    ASSERT_TRUE(file_exists(program));

    pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (dir.path + "/audio.raw").c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "20", 1);
        execl(program.c_str(), program.c_str(), "--log-level", "3", static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    std::string window;
    if (Display *d = XOpenDisplay(nullptr)) {
        Window w =
            xwindow_wait(d, "Vostrel Soundboard", 20000, [pid] { return program_running(pid); });
        if (w) window = std::to_string(w);
        XCloseDisplay(d);
    }
    if (window.empty()) program_terminate(pid, 10);
    ASSERT_FALSE(window.empty());
    for (int i = 0; i < 200; i++) {
        if (count_of(read_file(dir.file("vostrel soundboard_log.txt")), "Initialization Complete"))
            break;
        pause_ms(50);
    }
    pause_ms(300);

    // Where the board puts slot s for three buttons on 320 x 480, by its
    // layout rule: the grid shape board_grid_size picks, square cells,
    // centred, filled in reading order from the top left.
    Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};
    int columns = 0, rows = 0;
    board_grid_size(&screen, 3, &columns, &rows);
    Rect grid = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
    rect_grow_to_aspect(&screen, &grid);
    auto centre = [&](int slot, int *x, int *y) {
        float cx = static_cast<float>(slot % columns) + 0.5f;
        float cy = static_cast<float>(rows - 1 - slot / columns) + 0.5f;
        rect_map_point(&grid, &screen, &cx, &cy);
        *x = static_cast<int>(cx);
        *y = 480 - static_cast<int>(cy);
    };
    auto frames = [&] {
        struct stat st;
        return stat(dir.file("audio.raw").c_str(), &st) == 0 ? st.st_size / 4 : 0;
    };
    // Sorted by caption: high, low, mid.
    const double hz[3] = {1320, 330, 660};
    for (int slot = 0; slot < 3; slot++) {
        SCOPED_TRACE(slot);
        int x, y;
        centre(slot, &x, &y);
        long mark = frames();
        std::string move = "xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                           std::to_string(y);
        ASSERT_EQ(run(move + " mousedown 1 sleep 0.06 mouseup 1"), 0);
        for (int i = 0; i < 200 && frames() < mark + 44100; i++)
            pause_ms(25);
        std::vector<uint8_t> b = read_bytes(dir.file("audio.raw"));
        std::vector<int16_t> out(b.size() / 2);
        memcpy(out.data(), b.data(), out.size() * 2);
        size_t onset = static_cast<size_t>(mark) * 2;
        while (onset < out.size() && abs(out[onset]) < 2000)
            onset++;
        ASSERT_LT(onset + 44100, out.size()) << "no sound after the tap";
        // Left channel, the 0.5 s after the first tenth of a second of sound.
        EXPECT_NEAR(pitch(out, onset + 8820, onset + 8820 + 44100, 2, 44100), hz[slot],
                    hz[slot] * 0.03);
        pause_ms(300);
    }
    EXPECT_EQ(program_terminate(pid, 10), 0);
}

} // namespace
