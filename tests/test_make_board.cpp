// The board maker (vostrel-make-board): its refusals, the clips, captions and
// options it appends to the program, the program's refusal of a damaged
// board, and one board made from three generated sounds and played through
// its real program. What the maker wrote is read back with the program's own
// payload reader, whose checksum is held against `cksum`.
//
// The sounds are written by the test itself (plain PCM WAV of several rates,
// depths and channel counts) and turned into FLAC and Ogg by sox, so each
// expected caption, duration and pitch is known before the builder runs.
// (MP3 too: Debian's sox reads and writes it through libsox-fmt-mp3.)
#include "support.h"

#include "app/app_internal.h"
#include "app/payload.h"
#include <vostrel/audio/audio_internal.h>
#include <vostrel/input/input.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <algorithm>
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
    write_file(path, wav_bytes(channels, static_cast<uint32_t>(rate), bits, data));
}

// A short tone, for folders where only the name matters.
void write_tone(const std::string &path) { write_wav(path, 22050, 1, 16, 0.0, 0.1, 500); }

// sox converts a WAV the test wrote into another format (by the extension).
void convert(const std::string &from, const std::string &to) {
    ASSERT_EQ(run_command("sox '" + from + "' '" + to + "'"), 0) << to;
}

struct BuildResult {
    int status;
    std::string err;
};

// The strip of the toolchain that built the program (a cross build's strip
// reads the other processor's files).
#ifndef VOSTREL_STRIP
#define VOSTREL_STRIP "strip"
#endif

const std::string maker = VOSTREL_MAKER;

// Runs the maker on folder `sounds`, writing the board to `out` (appended to
// this build's program), with further arguments `extra`.
BuildResult build_board(TempDir &dir, const std::string &sounds, const std::string &out,
                        const std::string &extra = "") {
    std::string cmd = "'" + maker + "' '" + sounds + "' -o '" + out + "' --program '" +
                      VOSTREL_BINARY + "' " + extra + " >'" + dir.file("builder.out") + "' 2>'" +
                      dir.file("builder.err") + "'";
    BuildResult r;
    r.status = run_command(cmd);
    r.err = read_file(dir.file("builder.err"));
    return r;
}

// The board the program would read from `path`; count 0 when there is none.
PayloadBoard read_board(const std::string &path) {
    PayloadBoard b;
    memset(&b, 0, sizeof b);
    char why[PAYLOAD_WHY_SIZE] = "";
    int r = payload_read_file(path.c_str(), &b, why, sizeof why);
    EXPECT_EQ(r, PAYLOAD_BOARD) << path << ": " << why;
    if (r != PAYLOAD_BOARD) b.count = 0;
    return b;
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
    EXPECT_FALSE(file_exists(dir.file("out")));
}

TEST(BoardBuilder, RefusesAnEmptyFolderAndMoreSoundsThanABoardHolds) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_file(sounds + "/.hidden.wav", "");
    write_file(sounds + "/captions.txt", "");
    expect_refusal(dir, build_board(dir, sounds, dir.file("out")), sounds, "no sound files");

    // Counted before anything is decoded: the files need not be sounds.
    std::string big = sound_folder(dir, "big");
    for (int k = 0; k <= PAYLOAD_BOARD_SOUNDS; k++)
        write_file(big + "/tone " + std::to_string(k) + ".wav", "RIFF\x01");
    expect_refusal(dir, build_board(dir, big, dir.file("out")), big,
                   std::to_string(PAYLOAD_BOARD_SOUNDS + 1) + " sound files; a board has at most " +
                       std::to_string(PAYLOAD_BOARD_SOUNDS));
}

// More than a page of sounds flows onto a page of the same name and a
// number: 21 sounds are pages of 20 and 1, and with the Stop button, which
// every page shows, 20 sounds are pages of 19 and 1.
TEST(BoardBuilder, SoundsBeyondAPageFlowOntoTheNext) {
    TempDir dir;
    std::string sounds = sound_folder(dir, "Big_Set");
    for (int k = 0; k < 21; k++)
        write_tone(sounds + "/tone " + std::to_string(k + 1) + ".wav");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 21);
    ASSERT_EQ(b.pages, 2);
    EXPECT_STREQ(b.page[0].name, "Big Set");
    EXPECT_EQ(b.page[0].count, 20);
    EXPECT_STREQ(b.page[1].name, "Big Set 2");
    EXPECT_EQ(b.page[1].first, 20);
    EXPECT_STREQ(b.sounds[20].caption, "tone 21");

    remove((sounds + "/tone 21.wav").c_str());
    write_file(sounds + "/captions.txt", "stop keys\n");
    r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    b = read_board(dir.file("out"));
    ASSERT_EQ(b.pages, 2);
    EXPECT_EQ(b.page[0].count, 19);
    EXPECT_EQ(b.page[1].count, 1);
    // `keys` hands out each page's keys from the first.
    EXPECT_EQ(b.sounds[0].key, '1');
    EXPECT_EQ(b.sounds[18].key, PAYLOAD_KEY_ORDER[18]);
    EXPECT_EQ(b.sounds[19].key, '1');
}

// Each subfolder is a page named after it (folded as file names are), in
// natural order after the pages of the loose files; a subfolder's
// captions.txt gives its sounds' captions and options, and its captions and
// keys need only differ from its own page's.
TEST(BoardBuilder, SubfoldersBecomePages) {
    TempDir dir;
    std::string top = sound_folder(dir, "party");
    write_tone(top + "/horn.wav");
    write_tone(top + "/intro.wav");
    write_file(top + "/captions.txt", "intro.wav\tIntro\tkey=1\n");
    for (const char *sub : {"Set 10", "Set 2", "Caf\xc3\xa9_Sounds", "Empty"})
        mkdir((top + "/" + sub).c_str(), 0755);
    write_tone(top + "/Set 10/intro.wav");
    write_tone(top + "/Set 2/a.wav");
    write_tone(top + "/Set 2/intro.wav");
    write_file(top + "/Set 2/captions.txt", "a.wav\tOpening\tloop key=1\n");
    write_tone(top + "/Caf\xc3\xa9_Sounds/clink.wav");
    write_file(top + "/Empty/notes.txt", "nothing here\n");
    BuildResult r = build_board(dir, top, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_EQ(count_of(said, "Empty: skipped"), 1) << said;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.pages, 4);
    const char *names[4] = {"party", "Cafe Sounds", "Set 2", "Set 10"};
    const int counts[4] = {2, 1, 2, 1};
    for (int p = 0; p < 4; p++) {
        SCOPED_TRACE(p);
        EXPECT_STREQ(b.page[p].name, names[p]);
        EXPECT_EQ(b.page[p].count, counts[p]);
    }
    ASSERT_EQ(b.count, 6);
    const char *captions[6] = {"horn", "Intro", "clink", "Opening", "intro", "intro"};
    for (int k = 0; k < 6; k++)
        EXPECT_STREQ(b.sounds[k].caption, captions[k]) << k;
    EXPECT_EQ(b.sounds[1].key, '1');
    EXPECT_EQ(b.sounds[3].key, '1');
    EXPECT_EQ(b.sounds[3].loop, 1);
    EXPECT_EQ(b.sounds[4].loop, 0);
}

// A page's folder holds no folders and no board options, and a folder's name
// must leave something the font can draw; each refusal names its folder or
// file and line, and no board is written.
TEST(BoardBuilder, RefusesWhatPagesGetWrong) {
    TempDir dir;
    std::string top = sound_folder(dir, "party");
    write_tone(top + "/horn.wav");
    for (const char *sub : {"Voices", "Voices/deeper", "\xf0\x9f\x8e\x89", "Loops"})
        mkdir((top + "/" + sub).c_str(), 0755);
    write_tone(top + "/Voices/hello.wav");
    write_tone(top + "/Voices/deeper/bye.wav");
    write_tone(top + "/\xf0\x9f\x8e\x89/pop.wav");
    write_tone(top + "/Loops/beat.wav");
    write_file(top + "/Loops/captions.txt", "beat.wav\tBeat\tloop\noverlap\n");
    BuildResult r = build_board(dir, top, dir.file("out"));
    expect_refusal(dir, r, top + "/Voices/deeper", "a folder inside a page's folder");
    expect_refusal(dir, r, top + "/\xf0\x9f\x8e\x89",
                   "gives no page name the board's font can draw");
    expect_refusal(dir, r, top + "/Loops/captions.txt line 2",
                   "board options (overlap, stop, fade=MS, keys, latency=low|normal, device=NAME) go in the top folder's");
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
    EXPECT_NE(read_file(dir.file("builder.out")).find(sounds + "/notes.txt: skipped, not a sound"),
              std::string::npos);
    expect_refusal(dir, r, sounds + "/broken.wav", "not an audio file");
    expect_refusal(dir, r, sounds + "/nothing.wav", "empty file");
    expect_refusal(dir, r, sounds + "/hush.wav", "silent");
    EXPECT_EQ(r.err.find("fine.wav"), std::string::npos) << r.err;
}

TEST(BoardBuilder, RefusesGivenCaptionsThatCannotFit) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/five.wav");
    write_tone(sounds + "/long.wav");
    write_tone(sounds + "/fits.wav");
    write_file(sounds + "/captions.txt", "# given captions\nfive.wav\ta\\nb\\nc\\nd\\ne\n"
                                         "long.wav\tsupercalifragilistic\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, "five.wav", "1 to 4 lines");
    EXPECT_EQ(r.err.find("give one in captions.txt"), std::string::npos)
        << "the caption came from captions.txt:\n"
        << r.err;
    expect_refusal(dir, r, "long.wav", "at most 12 characters");
    EXPECT_EQ(r.err.find("fits.wav"), std::string::npos) << r.err;
}

// Captions from file names that cannot fit are cut to whole words and "...",
// with one line each saying so and naming the caption file.
TEST(BoardBuilder, ShortensCaptionsTakenFromLongFileNames) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/supercalifragilistic.wav");                  // one word of 20
    write_tone(sounds + "/alpha beta gamma delta epsilon.wav");        // 28 once wrapped
    write_tone(sounds + "/the best sound effect from that movie.wav"); // the example
    write_tone(sounds + "/fits.wav");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_EQ(count_of(said, "shortened"), 3) << said;
    EXPECT_NE(said.find("supercalifragilistic.wav<TAB><caption>\" to " + sounds + "/captions.txt"),
              std::string::npos)
        << said;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 4);
    // In natural order of the file names; every caption keeps the rules.
    EXPECT_STREQ(b.sounds[0].caption, "alpha beta\ngamma\ndelta...");
    EXPECT_STREQ(b.sounds[1].caption, "fits");
    EXPECT_STREQ(b.sounds[2].caption, "supercali...");
    EXPECT_STREQ(b.sounds[3].caption, "the best\nsound effect\nfrom...");
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
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 1);
    EXPECT_STREQ(b.sounds[0].caption, "[x]*");
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

WavInfo read_wav(const AssetRecord &clip) {
    WavInfo w;
    std::vector<uint8_t> b(clip.data, clip.data + clip.size);
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
    // 0.4 s of silence before and 0.3 s after 0.5 s of tone in each.
    auto padded = [&](const std::string &from, const std::string &to) {
        ASSERT_EQ(run_command("sox '" + from + "' '" + to + "' pad 0 0.3"), 0) << to;
    };
    write_wav(dir.file("a.wav"), 44100, 2, 24, 0.4, 0.5, 440);
    padded(dir.file("a.wav"), sounds + "/once_upon-a_time.wav");
    write_wav(dir.file("b.wav"), 48000, 1, 16, 0.4, 0.5, 880);
    padded(dir.file("b.wav"), sounds + "/Drum-roll.flac");
    write_wav(dir.file("c.wav"), 11025, 1, 8, 0.4, 0.5, 300);
    padded(dir.file("c.wav"), sounds + "/zz.ogg");
    write_wav(dir.file("d.wav"), 44100, 1, 16, 0.4, 0.5, 660);
    padded(dir.file("d.wav"), sounds + "/beep.mp3");
    write_file(sounds + "/captions.txt", "zz.ogg\tThe\\nend; [\"k\"] \\ \n");

    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    // In natural, case-folded order of the file names; "\n" in captions.txt
    // is a line break; a one-letter word does not end a line.
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 4);
    EXPECT_EQ(b.ordered, 1);
    EXPECT_STREQ(b.sounds[0].caption, "beep");
    EXPECT_STREQ(b.sounds[1].caption, "Drum roll");
    EXPECT_STREQ(b.sounds[2].caption, "once upon\na time");
    EXPECT_STREQ(b.sounds[3].caption, "The\nend; [\"k\"] \\");
    const double hz[4] = {660, 880, 440, 300};
    const int channels[4] = {1, 1, 2, 1};
    // MP3 pads its frames (encoder delay and the last frame) and Vorbis
    // spreads an onset over its block (pre-echo above -60 dBFS): a little
    // more sound, starting a little earlier.
    const double tolerance[4] = {0.06, 0.03, 0.03, 0.06};
    const size_t onset_ms[4] = {10, 10, 10, 60};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        WavInfo w = read_wav(b.sounds[k].clip);
        EXPECT_TRUE(w.plain) << "exactly a fmt and a data chunk";
        EXPECT_EQ(w.format, 1);
        // The mixer's format (stereo, 44.1 kHz, 16-bit): played where it
        // lies, nothing converted or copied at load; a mono source the
        // same on both sides, as the mixer would spread it.
        EXPECT_EQ(w.channels, 2);
        EXPECT_EQ(w.rate, 44100u);
        EXPECT_EQ(w.bits, 16);
        if (channels[k] == 1) {
            size_t differ = 0;
            for (size_t i = 0; i + 1 < w.samples.size(); i += 2)
                differ += w.samples[i] != w.samples[i + 1];
            EXPECT_EQ(differ, 0u) << "a mono source's two sides are one";
        }
        // Both silences are gone: about 0.5 s is left, sounding from the start.
        size_t frames = w.samples.size() / 2;
        EXPECT_NEAR(static_cast<double>(frames) / 44100.0, 0.5, tolerance[k]);
        ASSERT_GT(frames, 4000u);
        int peak = 0;
        for (int16_t v : w.samples)
            peak = std::max(peak, abs(v));
        int loud_early = 0;
        for (size_t i = 0; i < 44u * onset_ms[k] * 2; i++)
            if (abs(w.samples[i]) > peak / 4) loud_early++;
        EXPECT_GT(loud_early, 40) << "the tone starts within the first " << onset_ms[k] << " ms";
        EXPECT_NEAR(pitch(w.samples, 1000, w.samples.size() - 1000, 2, 44100), hz[k],
                    hz[k] * 0.03);
    }
    EXPECT_TRUE(file_exists(sounds + "/once_upon-a_time.wav")) << "the folder is left as it was";
}

// Folders as they are downloaded: files that are no sounds, a caption file
// in capitals with a byte-order mark, names beyond ASCII, numbered tracks,
// a 6 ms click between silences.
TEST(BoardBuilder, TakesRealFoldersAsTheyCome) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/track 10.wav");
    write_tone(sounds + "/Track 2.wav");
    write_tone(sounds + "/caf\xc3\xa9.wav");
    write_tone(sounds + "/Gr\xc3\xbc\xc3\x9f"
                        "e.wav");
    write_tone(sounds + "/\xf0\x9f\x8e\x89 party.wav");
    write_wav(sounds + "/click.wav", 44100, 1, 16, 0.2, 0.006, 1000);
    write_file(sounds + "/README.txt", "Sounds from a pack\n");
    write_file(sounds + "/cover.jpg", "\xff\xd8\xff\xe0 not much of a picture");
    write_file(sounds + "/Captions.TXT", "\xef\xbb\xbfoverlap\nclick.wav\tTick\tfade=250\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_EQ(count_of(said, "skipped, not a sound"), 2) << said;
    EXPECT_EQ(count_of(said, "letters the board's font cannot draw"), 3) << said;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 6);
    EXPECT_EQ(b.overlap, 1);
    const char *order[6] = {"party", "cafe", "Tick", "Grusse", "Track 2", "track 10"};
    for (int k = 0; k < 6; k++)
        EXPECT_STREQ(b.sounds[k].caption, order[k]) << k;
    EXPECT_EQ(b.sounds[2].fade, 250);
    // The click keeps its 6 ms (265 frames at 44.1 kHz, stored as stereo),
    // give or take the resampler's ring.
    WavInfo click = read_wav(b.sounds[2].clip);
    EXPECT_NEAR(static_cast<double>(click.samples.size()) / click.channels, 265.0, 20.0);
}

TEST(BoardBuilder, RefusesWhatARealFolderGetsWrong) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/horn.wav");
    write_tone(sounds + "/halt.wav");
    // Spaces typed for the tab; a second Stop.
    write_file(sounds + "/captions.txt", "stop\nhorn.wav  Air horn\nhalt.wav\tStop\n");
    // A FLAC file cut in half: sox's own words name the fault.
    write_wav(dir.file("long.wav"), 44100, 1, 16, 0.0, 2.0, 440);
    convert(dir.file("long.wav"), dir.file("long.flac"));
    std::string flac = read_file(dir.file("long.flac"));
    write_file(sounds + "/cut.flac", flac.substr(0, flac.size() / 2));
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, "captions.txt line 2", "not spaces");
    expect_refusal(dir, r, "halt.wav", "the stop button's");
    expect_refusal(dir, r, "cut.flac", "sox FAIL");
}

// Every sound at one loudness: a 1 kHz sine reads 3 dB under its peak in
// LUFS (EBU R128's calibration), so at -18 LUFS its peak is at -15 dBFS,
// whatever its level before. A quiet sound with a full-scale spike keeps
// its true peak under -1 dBFS. --keep-levels leaves them as they were.
TEST(BoardBuilder, BringsSoundsToOneLoudness) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    ASSERT_EQ(
        run_command("sox -n -r 44100 -b 16 '" + sounds + "/loud.wav' synth 2 sine 1000 vol 0.9"),
        0);
    ASSERT_EQ(
        run_command("sox -n -r 44100 -b 16 '" + sounds + "/soft.wav' synth 2 sine 1000 vol 0.01"),
        0);
    ASSERT_EQ(
        run_command("sox -n -r 44100 -b 16 '" + dir.file("a.wav") + "' synth 1 sine 500 vol 0.01"),
        0);
    ASSERT_EQ(run_command("sox -n -r 44100 -b 16 '" + dir.file("b.wav") +
                          "' synth 0.002 square 500 vol 1"),
              0);
    ASSERT_EQ(run_command("sox '" + dir.file("a.wav") + "' '" + dir.file("b.wav") + "' '" +
                          dir.file("a.wav") + "' '" + sounds + "/spike.wav'"),
              0);
    auto peak_of = [](const PayloadSound &s) {
        WavInfo w = read_wav(s.clip);
        int peak = 0;
        for (int16_t v : w.samples)
            peak = std::max(peak, abs(static_cast<int>(v)));
        return peak;
    };
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_EQ(count_of(said, "gain"), 3) << said;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 3);
    const double at_target = 32767.0 * pow(10.0, -15.0 / 20.0);
    EXPECT_NEAR(peak_of(b.sounds[0]), at_target, at_target * 0.05) << "loud";
    EXPECT_NEAR(peak_of(b.sounds[1]), at_target, at_target * 0.05) << "soft";
    EXPECT_LE(peak_of(b.sounds[2]), 32767.0 * pow(10.0, -1.0 / 20.0)) << "spike";
    EXPECT_GT(peak_of(b.sounds[2]), 32767.0 * pow(10.0, -4.0 / 20.0)) << "spike";

    r = build_board(dir, sounds, dir.file("out"), "--keep-levels");
    ASSERT_EQ(r.status, 0) << r.err;
    b = read_board(dir.file("out"));
    EXPECT_NEAR(peak_of(b.sounds[0]), 0.9 * 32767, 0.9 * 32767 * 0.02);
    EXPECT_NEAR(peak_of(b.sounds[1]), 0.01 * 32767, 0.01 * 32767 * 0.05);
}

// Six minutes of mono: stored in the mixer's format (63.5 MB of stereo
// 16-bit frames at 44.1 kHz) and checked only when first played, so the
// program neither copies it nor reads it at start, and the maker warns of
// no slow or large start.
TEST(BoardBuilder, LongSoundsAreStoredToPlayWhereTheyLie) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    ASSERT_EQ(run_command("sox -n -r 44100 -c 1 -b 16 '" + sounds +
                          "/long.flac' synth 360 sine 440 vol 0.3"),
              0);
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_EQ(said.find("warning"), std::string::npos) << said;
    static PayloadBoard b;
    b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 1);
    EXPECT_NEAR(static_cast<double>(b.sounds[0].clip.size), 360.0 * 44100 * 4 + 44, 44100 * 4);
    EXPECT_EQ(b.sounds[0].unchecked, 1);
}

// fade=MS: a sound stopped by a tap on another button, by the Stop button or
// by a second tap of its loop fades out on the real mixer instead of
// stopping at once; its own restart and a sound without a fade still cut.
TEST(BoardFade, StoppedSoundsFadeOutOverTheirTime) {
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_TRUE(sound_mixer_open(SOUND_CHUNK_FRAMES)) << Mix_GetError();
    sound_backend_init();
    // Three seconds of tone, stored as the maker stores clips.
    std::string data;
    for (int i = 0; i < 3 * 44100; i++)
        put_le(data, static_cast<uint32_t>(lround(8000 * sin(2 * PI * 440 * i / 44100.0))), 2);
    const std::string w = wav_bytes(1, 44100, 16, data);
    static PayloadBoard p;
    memset(&p, 0, sizeof p);
    p.count = 3;
    p.stop = 1;
    p.ordered = 1;
    const char *captions[3] = {"fades", "cuts", "loop"};
    for (int k = 0; k < 3; k++) {
        snprintf(p.sounds[k].caption, sizeof p.sounds[k].caption, "%s", captions[k]);
        p.sounds[k].clip = {"t.wav", "wav", static_cast<uint32_t>(w.size()),
                            reinterpret_cast<const uint8_t *>(w.data())};
        p.sounds[k].volume = 100;
    }
    p.sounds[0].fade = 400;
    p.sounds[2].fade = 400;
    p.sounds[2].loop = 1;
    board_payload = &p;
    app_init();
    auto state = [](int k) { // -1 silent, 0 playing, 1 fading out
        for (int c = 0; c < SOUND_CHANNELS; c++)
            if (buttons[k].sound.chunk && sound_channel_chunk(c) == buttons[k].sound.chunk &&
                Mix_Playing(c))
                return Mix_FadingChannel(c) == MIX_FADING_OUT ? 1 : 0;
        return -1;
    };
    board_press(&buttons[0]);
    EXPECT_EQ(state(0), 0);
    board_press(&buttons[0]); // its own restart: cut, playing again
    EXPECT_EQ(state(0), 0);
    board_press(&buttons[1]);
    EXPECT_EQ(state(0), 1) << "stopped by another tap: fading";
    EXPECT_EQ(state(1), 0);
    board_press(&buttons[2]);
    EXPECT_EQ(state(1), -1) << "no fade: cut at once";
    board_press(&buttons[2]);
    EXPECT_EQ(state(2), 1) << "a second tap of a loop: fading";
    board_press(&buttons[0]);
    board_press(&buttons[3]); // Stop
    EXPECT_EQ(state(0), 1) << "the Stop button: fading";
    board_payload = nullptr;
    Mix_CloseAudio();
    SDL_Quit();
}

// Clips the maker stores in the mixer's format (a stereo source) are played
// where they lie in the mapped board: the chunk's samples are the clip's own
// bytes after its 44-byte header, not a copy. A mono source is stored as
// stereo, so it too plays where it lies.
TEST(BoardInPlace, StereoClipsPlayFromTheMappedBoard) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_wav(sounds + "/a stereo.wav", 44100, 2, 16, 0.0, 0.5, 440);
    write_wav(sounds + "/b mono.wav", 44100, 1, 16, 0.0, 0.5, 440);
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    static PayloadBoard b;
    b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 2);
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_TRUE(sound_mixer_open(SOUND_CHUNK_FRAMES)) << Mix_GetError();
    sound_backend_init();
    SoundRecord stereo, mono;
    ASSERT_TRUE(sound_load_in_place(&b.sounds[0].clip, &stereo));
    ASSERT_TRUE(sound_load_in_place(&b.sounds[1].clip, &mono));
    ASSERT_NE(stereo.chunk, nullptr);
    ASSERT_NE(mono.chunk, nullptr);
    EXPECT_EQ(stereo.chunk->abuf, b.sounds[0].clip.data + 44) << "played where it lies";
    EXPECT_EQ(stereo.chunk->alen, b.sounds[0].clip.size - 44);
    EXPECT_EQ(stereo.chunk->allocated, 0) << "the mixer owns none of it";
    EXPECT_EQ(mono.chunk->abuf, b.sounds[1].clip.data + 44) << "a mono source too";
    EXPECT_EQ(mono.chunk->alen, b.sounds[1].clip.size - 44);
    EXPECT_EQ(mono.chunk->allocated, 0);
    Mix_CloseAudio();
    SDL_Quit();
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
    // 2,645 Hz at 22,050 Hz: converted by sample repetition at load, it
    // would leave an image at 22,050 - 2,645 Hz.
    write_wav(dir.file("h.wav"), 22050, 1, 16, 0.1, 0.8, 2645);
    convert(dir.file("h.wav"), sounds + "/high.ogg");
    const std::string program = dir.file("my board");
    BuildResult r = build_board(dir, sounds, program);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string said = read_file(dir.file("builder.out"));
    EXPECT_NE(said.find(program), std::string::npos) << said;
    ASSERT_TRUE(file_exists(program));

    TestProgram run;
    run.binary = program;
    ASSERT_TRUE(run.start({"--log-level", "3"}, run.disk_audio(SOUND_CHUNK_FRAMES_LOW)));
    ASSERT_TRUE(run.find_window(20000));
    ASSERT_TRUE(run.wait_started()) << run.log();
    pause_ms(300);
    EXPECT_EQ(count_of(read_file(dir.file("vostrel soundboard_log.txt")),
                       "-frame chunks, low latency"),
              1)
        << "a made board plays in low latency";

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
    auto frames = [&] { return static_cast<long>(run.audio_frames()); };
    // Sorted by caption: high, low, mid.
    const double hz[3] = {2645, 330, 660};
    for (int slot = 0; slot < 3; slot++) {
        SCOPED_TRACE(slot);
        int x, y;
        centre(slot, &x, &y);
        long mark = frames();
        run.tap(x, y);
        for (int i = 0; i < 200 * wait_scale() && frames() < mark + 44100L * wait_scale(); i++)
            pause_ms(25);
        std::vector<int16_t> out = run.audio();
        size_t onset = static_cast<size_t>(mark) * 2;
        while (onset < out.size() && abs(out[onset]) < 2000)
            onset++;
        ASSERT_LT(onset + 44100, out.size()) << "no sound after the tap";
        // Left channel, the 0.5 s after the first tenth of a second of sound.
        EXPECT_NEAR(pitch(out, onset + 8820, onset + 8820 + 44100, 2, 44100), hz[slot],
                    hz[slot] * 0.03);
        // No image of the tone above -60 dB relative to it (Goertzel power).
        auto power = [&](double f) {
            double k = 2 * cos(2 * PI * f / 44100), s1 = 0, s2 = 0;
            for (size_t i = onset + 8820; i < onset + 8820 + 44100 && i < out.size(); i += 2) {
                double v = out[i] + k * s1 - s2;
                s2 = s1;
                s1 = v;
            }
            return s1 * s1 + s2 * s2 - k * s1 * s2;
        };
        EXPECT_LT(power(22050 - hz[slot]), power(hz[slot]) * 1e-6)
            << "an image at " << 22050 - hz[slot] << " Hz";
        pause_ms(300);
    }
    EXPECT_EQ(run.stop(), 0);
}

// A made board whose second clip has a byte changed in its samples starts
// (only its header is checked at start), and its buttons behave: a tap on
// the damaged one plays nothing and names it in the log, once; a tap on the
// other plays it.
TEST(CustomBoard, ADamagedClipPlaysNothingAndTheOthersPlay) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_wav(sounds + "/a.wav", 44100, 2, 16, 0.0, 0.8, 440);
    write_wav(sounds + "/b.wav", 44100, 2, 16, 0.0, 0.8, 880);
    const std::string program = dir.file("board");
    BuildResult r = build_board(dir, sounds, program);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bytes = read_file(program);
    bytes[bytes.size() - PAYLOAD_TRAILER_SIZE - 1000] ^= 0x40; // in b's samples, the last clip
    write_file(program, bytes);
    chmod(program.c_str(), 0755);

    TestProgram run;
    run.binary = program;
    ASSERT_TRUE(run.start({"--log-level", "3"}, run.disk_audio(SOUND_CHUNK_FRAMES_LOW)));
    ASSERT_TRUE(run.find_window(20000));
    ASSERT_TRUE(run.wait_started()) << run.log();
    pause_ms(300);
    Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};
    int columns = 0, rows = 0;
    board_grid_size(&screen, 2, &columns, &rows);
    Rect grid = {0.0f, static_cast<float>(columns), 0.0f, static_cast<float>(rows)};
    rect_grow_to_aspect(&screen, &grid);
    auto tap = [&](int slot) {
        float cx = static_cast<float>(slot % columns) + 0.5f;
        float cy = static_cast<float>(rows - 1 - slot / columns) + 0.5f;
        rect_map_point(&grid, &screen, &cx, &cy);
        long mark = static_cast<long>(run.audio_frames());
        run.tap(static_cast<int>(cx), 480 - static_cast<int>(cy));
        for (int i = 0; i < 200 * wait_scale() &&
                        static_cast<long>(run.audio_frames()) < mark + 44100L * wait_scale();
             i++)
            pause_ms(25);
        std::vector<int16_t> out = run.audio();
        size_t onset = static_cast<size_t>(mark) * 2;
        while (onset < out.size() && abs(out[onset]) < 2000)
            onset++;
        return std::make_pair(onset, out);
    };
    auto [quiet_at, quiet] = tap(1);
    EXPECT_EQ(quiet_at, quiet.size()) << "the damaged clip plays nothing";
    tap(1);
    auto [onset, out] = tap(0);
    ASSERT_LT(onset + 44100, out.size()) << "no sound after the tap on the whole clip";
    EXPECT_NEAR(pitch(out, onset + 8820, onset + 8820 + 22050, 2, 44100), 440, 440 * 0.03);
    std::string log = read_file(dir.file("vostrel soundboard_log.txt"));
    EXPECT_EQ(count_of(log, "is damaged"), 1) << log;
    EXPECT_NE(log.find("\"b\" is damaged"), std::string::npos) << log;
    EXPECT_EQ(run.stop(), 0);
}

// Options in the caption file reach the board; old lines keep working.
TEST(BoardOptions, ReachTheBoardAsWritten) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/a.wav");
    write_tone(sounds + "/b.wav");
    write_tone(sounds + "/c.wav");
    write_file(sounds + "/captions.txt", "# options\n"
                                         "stop overlap keys latency=normal device=usb-speaker\n"
                                         "a.wav\tAlpha\tvolume=50% loop\n"
                                         "b.wav\t\tvolume=0% key=1\n"
                                         "c.wav\tOld style\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.err;
    PayloadBoard b = read_board(dir.file("out"));
    ASSERT_EQ(b.count, 3);
    EXPECT_EQ(b.overlap, 1);
    EXPECT_EQ(b.stop, 1);
    EXPECT_EQ(b.latency_normal, 1);
    EXPECT_STREQ(b.device, "usb-speaker");
    EXPECT_STREQ(b.sounds[0].caption, "Alpha");
    EXPECT_EQ(b.sounds[0].volume, 50);
    EXPECT_EQ(b.sounds[0].loop, 1);
    EXPECT_STREQ(b.sounds[1].caption, "b") << "an empty caption keeps the file name's";
    EXPECT_EQ(b.sounds[1].volume, 0);
    EXPECT_EQ(b.sounds[1].loop, 0);
    EXPECT_STREQ(b.sounds[2].caption, "Old style");
    EXPECT_EQ(b.sounds[2].volume, 100);
    EXPECT_EQ(b.sounds[2].loop, 0);
    // b keeps its own key; keys hands the rest the free ones in reading order.
    EXPECT_EQ(b.sounds[0].key, '2');
    EXPECT_EQ(b.sounds[1].key, '1');
    EXPECT_EQ(b.sounds[2].key, '3');

    write_file(sounds + "/captions.txt", "c.wav\tOld style\n");
    ASSERT_EQ(build_board(dir, sounds, dir.file("out")).status, 0);
    b = read_board(dir.file("out"));
    EXPECT_EQ(b.overlap, 0) << "no options, none set";
    EXPECT_EQ(b.stop, 0);
    EXPECT_EQ(b.latency_normal, 0) << "a made board plays in low latency";
    EXPECT_STREQ(b.device, "");
    EXPECT_EQ(b.sounds[0].key, 0) << "no keys unless asked for";
}

TEST(BoardOptions, RefusesUnknownOptionsAndBadValues) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/a.wav");
    write_tone(sounds + "/b.wav");
    write_tone(sounds + "/c.wav");
    write_tone(sounds + "/d.wav");
    write_tone(sounds + "/e.wav");
    write_tone(sounds + "/f.wav");
    write_tone(sounds + "/g.wav");
    const std::string file = sounds + "/captions.txt";
    write_file(file, "overlap shuffle\n"
                     "a.wav\tA\tvolume=150%\n"
                     "b.wav\tB\tvolume=50\n"
                     "c.wav\tC\tloud\n"
                     "d.wav\tD\tvolume=-5%\n"
                     "e.wav\tE\tkey=q\n"
                     "f.wav\tF\tkey=Q\n"
                     "g.wav\tG\tkey=F1\n"
                     "latency=fast device=\n");
    BuildResult r = build_board(dir, sounds, dir.file("out"));
    expect_refusal(dir, r, file + " line 1", "unknown option \"shuffle\"");
    expect_refusal(dir, r, file + " line 2", "bad value in option \"volume=150%\"");
    expect_refusal(dir, r, file + " line 3", "bad value in option \"volume=50\"");
    expect_refusal(dir, r, file + " line 4", "unknown option \"loud\"");
    expect_refusal(dir, r, file + " line 5", "bad value in option \"volume=-5%\"");
    expect_refusal(dir, r, file + " line 7",
                   "two sounds on one key: \"key=Q\" names key q, already e.wav's (line 6)");
    expect_refusal(dir, r, file + " line 8", "unknown key in option \"key=F1\"");
    expect_refusal(dir, r, file + " line 9", "unknown option \"latency=fast\"");
    expect_refusal(dir, r, file + " line 9", "bad value in option \"device=\"");
}

TEST(BoardOptions, AStopButtonLeavesRoomForNineteenSoundsAPage) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    for (int k = 0; k < 19; k++)
        write_tone(sounds + "/tone " + std::string(1, static_cast<char>('a' + k)) + ".wav");
    write_file(sounds + "/captions.txt", "stop\n");
    ASSERT_EQ(build_board(dir, sounds, dir.file("out")).status, 0) << "nineteen is allowed";
    PayloadBoard b = read_board(dir.file("out"));
    EXPECT_EQ(b.pages, 1) << "nineteen and the Stop button are one page";
    EXPECT_EQ(b.stop, 1);
}

// The trailer's checksum is the POSIX cksum CRC: the reader agrees with the
// coreutils command on bytes of every value and on lengths that need one to
// four length bytes.
TEST(BoardPayload, ChecksumIsTheOneCksumPrints) {
    TempDir dir;
    for (size_t n : {0ul, 1ul, 255ul, 256ul, 70000ul}) {
        std::string bytes;
        for (size_t i = 0; i < n; i++)
            bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
        write_file(dir.file("bytes"), bytes);
        ASSERT_EQ(run_command("cksum <'" + dir.file("bytes") + "' >'" + dir.file("sum") + "'"), 0);
        unsigned long expected = strtoul(read_file(dir.file("sum")).c_str(), nullptr, 10);
        EXPECT_EQ(payload_checksum(reinterpret_cast<const uint8_t *>(bytes.data()), n), expected)
            << n << " bytes";
    }
}

// A board whose appended part is damaged or cut short is refused when the
// program starts: status 1, one line on stderr, an ERROR in the log. One
// stripped of it (strip drops what follows the ELF image) is the program
// with its compiled-in board again.
TEST(BoardPayload, DamagedOrTruncatedBoardsEndTheProgramWithStatusOne) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_wav(sounds + "/a.wav", 22050, 1, 16, 0.0, 0.5, 440);
    write_wav(sounds + "/b.wav", 22050, 1, 16, 0.0, 0.5, 880);
    ASSERT_EQ(build_board(dir, sounds, dir.file("board")).status, 0);
    std::vector<uint8_t> good = read_bytes(dir.file("board"));
    std::vector<uint8_t> program = read_bytes(VOSTREL_BINARY);
    ASSERT_GT(good.size(), program.size() + 22050);
    EXPECT_TRUE(std::equal(program.begin(), program.end(), good.begin()))
        << "the board starts with the program, unchanged";

    struct Case {
        const char *name, *problem;
        std::string bytes;
    };
    std::string all(good.begin(), good.end());
    std::string damaged = all;
    damaged[program.size() + 6] ^= 0x01; // a header byte: the overlap field
    std::string longer = all;              // the trailer claims one more payload byte
    longer[longer.size() - 8] = static_cast<char>(longer[longer.size() - 8] + 1);
    const Case cases[] = {
        {"damaged", "checksum", damaged},
        {"truncated", "truncated", all.substr(0, all.size() - 1000)},
        {"trailer cut", "truncated", all.substr(0, all.size() - 5)},
        {"length past the end", "truncated", longer},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir run_dir;
        write_file(run_dir.file("board"), c.bytes);
        chmod(run_dir.file("board").c_str(), 0755);
        pid_t pid = program_start_binary(run_dir.file("board"), {}, {}, run_dir.file("err"));
        ASSERT_GT(pid, 0);
        EXPECT_EQ(program_wait(pid, 20), 1);
        std::string err = read_file(run_dir.file("err"));
        EXPECT_EQ(count_of(err, "\n"), 1) << err;
        EXPECT_NE(err.find(c.problem), std::string::npos) << err;
        std::string log = read_file(run_dir.file("vostrel soundboard_log.txt"));
        EXPECT_EQ(log.rfind("ERROR    ", 0), 0u) << log;
        EXPECT_NE(log.find(c.problem), std::string::npos) << log;
    }

    // A clip's byte changed: the board reads, and that clip alone fails its
    // check (and so never plays).
    std::string clip_damaged = all;
    clip_damaged[all.size() - PAYLOAD_TRAILER_SIZE - 1000] ^= 0x40; // in b.wav's samples
    write_file(dir.file("clip-damaged"), clip_damaged);
    {
        static PayloadBoard b;
        char why[PAYLOAD_WHY_SIZE] = "";
        ASSERT_EQ(payload_read_file(dir.file("clip-damaged").c_str(), &b, why, sizeof why),
                  PAYLOAD_BOARD)
            << why;
        ASSERT_EQ(b.count, 2);
        EXPECT_TRUE(payload_clip_whole(&b.sounds[0]));
        EXPECT_FALSE(payload_clip_whole(&b.sounds[1]));
    }

    ASSERT_EQ(run_command("cp '" + dir.file("board") + "' '" + dir.file("stripped") +
                          "' && " VOSTREL_STRIP " '" + dir.file("stripped") + "'"),
              0);
    PayloadBoard b;
    char why[PAYLOAD_WHY_SIZE] = "";
    EXPECT_EQ(payload_read_file(dir.file("stripped").c_str(), &b, why, sizeof why), PAYLOAD_NONE)
        << why;
    EXPECT_EQ(payload_read_file(VOSTREL_BINARY, &b, why, sizeof why), PAYLOAD_NONE) << why;
}

// Boards for other processors: the reader measures 32-bit images (armhf) as
// well as 64-bit ones, from their program headers and section header table,
// so the payload after either is found, and nothing is found after neither.
TEST(BoardPayload, FindsTheBoardAfterImagesOfBothElfClasses) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/a.wav");
    ASSERT_EQ(build_board(dir, sounds, dir.file("board")).status, 0);
    std::string made = read_file(dir.file("board"));
    std::string appended = made.substr(read_bytes(VOSTREL_BINARY).size());

    // A minimal image of each class: header, one program header whose bytes
    // end at 0x300, section headers at 0x300 (3 of 40 or 64 bytes).
    auto image = [](bool wide) {
        std::string e(0x300 + 3 * (wide ? 64 : 40), '\0');
        memcpy(&e[0],
               "\x7f"
               "ELF",
               4);
        e[4] = wide ? 2 : 1; // class
        e[5] = 1;            // little-endian
        e[6] = 1;
        auto put = [&e](size_t at, uint64_t v, int bytes) {
            for (int i = 0; i < bytes; i++)
                e[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        if (wide) {
            put(32, 64, 8);         // e_phoff
            put(40, 0x300, 8);      // e_shoff
            put(52, 64, 2);         // e_ehsize
            put(54, 56, 2);         // e_phentsize
            put(56, 1, 2);          // e_phnum
            put(58, 64, 2);         // e_shentsize
            put(60, 3, 2);          // e_shnum
            put(64 + 8, 0, 8);      // p_offset
            put(64 + 32, 0x2F0, 8); // p_filesz
        } else {
            put(28, 52, 4);         // e_phoff
            put(32, 0x300, 4);      // e_shoff
            put(40, 52, 2);         // e_ehsize
            put(42, 32, 2);         // e_phentsize
            put(44, 1, 2);          // e_phnum
            put(46, 40, 2);         // e_shentsize
            put(48, 3, 2);          // e_shnum
            put(52 + 4, 0, 4);      // p_offset
            put(52 + 16, 0x2F0, 4); // p_filesz
        }
        return e;
    };
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        std::string bare = image(wide), file = bare + appended;
        PayloadBoard b;
        char why[PAYLOAD_WHY_SIZE] = "";
        EXPECT_EQ(payload_read_bytes(reinterpret_cast<const uint8_t *>(bare.data()), bare.size(),
                                     &b, why, sizeof why),
                  PAYLOAD_NONE)
            << why;
        ASSERT_EQ(payload_read_bytes(reinterpret_cast<const uint8_t *>(file.data()), file.size(),
                                     &b, why, sizeof why),
                  PAYLOAD_BOARD)
            << why;
        EXPECT_STREQ(b.sounds[0].caption, "a");
        write_file(dir.file("image"), file);
        EXPECT_EQ(payload_read_file(dir.file("image").c_str(), &b, why, sizeof why), PAYLOAD_BOARD)
            << why;
        // One byte of the section header table lost: the image is cut, the
        // board's first byte taken for its last.
        std::string shifted = bare.substr(0, bare.size() - 1) + appended;
        EXPECT_EQ(payload_read_bytes(reinterpret_cast<const uint8_t *>(shifted.data()),
                                     shifted.size(), &b, why, sizeof why),
                  PAYLOAD_DAMAGED);
    }
}

// --program takes any build of the program, one that already carries a board
// included: that board is replaced, not stacked.
TEST(BoardPayload, MakingFromABoardReplacesItsBoard) {
    TempDir dir;
    std::string sounds = sound_folder(dir);
    write_tone(sounds + "/first.wav");
    ASSERT_EQ(build_board(dir, sounds, dir.file("one")).status, 0);
    remove((sounds + "/first.wav").c_str());
    write_tone(sounds + "/second.wav");
    std::string cmd = "'" + maker + "' '" + sounds + "' -o '" + dir.file("two") + "' --program '" +
                      dir.file("one") + "' >/dev/null";
    ASSERT_EQ(run_command(cmd), 0);
    PayloadBoard b = read_board(dir.file("two"));
    ASSERT_EQ(b.count, 1);
    EXPECT_STREQ(b.sounds[0].caption, "second");
    ASSERT_EQ(build_board(dir, sounds, dir.file("direct")).status, 0);
    EXPECT_TRUE(read_bytes(dir.file("two")) == read_bytes(dir.file("direct")))
        << "the same file as one made from the bare program";
}

// --install: the board in ~/.local/bin under the folder's name, a valid desktop
// entry named after the folder that starts it with --xdg-state, and a state
// folder of the board's own when it runs that way.
TEST(BoardInstall, PutsTheBoardAndItsMenuEntryInTheHomeFolder) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string home = dir.file("home");
    mkdir(home.c_str(), 0755);
    std::string sounds = sound_folder(dir, "Party Time");
    write_tone(sounds + "/horn.wav");
    std::string cmd = "env HOME='" + home + "' XDG_DATA_HOME= '" + maker + "' '" + sounds +
                      "' --install --program '" + VOSTREL_BINARY + "' >'" + dir.file("out") +
                      "' 2>&1";
    ASSERT_EQ(run_command(cmd), 0) << read_file(dir.file("out"));
    const std::string board = home + "/.local/bin/Party-Time";
    ASSERT_TRUE(file_exists(board)) << read_file(dir.file("out"));
    EXPECT_EQ(read_board(board).count, 1);
    const std::string entry = home + "/.local/share/applications/vostrel-board-Party-Time.desktop";
    ASSERT_TRUE(file_exists(entry));
    EXPECT_EQ(run_command("desktop-file-validate '" + entry + "'"), 0);
    std::string text = read_file(entry);
    EXPECT_NE(text.find("\nName=Party Time\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=\"" + board + "\" --xdg-state\n"), std::string::npos) << text;

    TestProgram run;
    run.binary = board;
    ASSERT_TRUE(run.start({"--xdg-state", "--log-level", "3"},
                          {"HOME=" + home, "XDG_STATE_HOME=", "SDL_AUDIODRIVER=dummy"}));
    EXPECT_TRUE(run.find_window(20000)) << "the board shows its window";
    // The window shows before the board is loaded; an end asked for before
    // then is not the one checked here.
    const std::string log =
        home + "/.local/state/vostrel-soundboard-Party-Time/vostrel soundboard_log.txt";
    wait_for_log_line(log, STARTED_LINE, 10, run.pid);
    EXPECT_EQ(run.stop(), 0);
    // The log is complete once the program has ended.
    EXPECT_EQ(count_of(read_file(log), STARTED_LINE), 1) << log;
    EXPECT_FALSE(file_exists(home + "/.local/state/vostrel-soundboard"))
        << "the default board's folder is left alone";
}

} // namespace
