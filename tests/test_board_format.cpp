// The board format's one definition (app/payload.h): boards written by
// payload_encode read back unchanged, boards of the first version still
// read, the writer refuses what the reader would, and the captions and
// order the maker derives from file names. tools/make_assets.py checks the
// compiled-in captions with limits of its own: they must be these.
// (Expected captions are the examples and the rules' own words.)
#include "support.h"

#include "app/payload.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// A minimal clip that passes the WAV gate: 44.1 kHz, 16-bit, `frames` zeros.
std::string clip(int channels, int frames) {
    return wav_bytes(channels, 44100, 16,
                     std::string(static_cast<size_t>(channels * frames * 2), '\0'));
}

std::vector<uint8_t> encode(const PayloadBoard &b) {
    size_t size = payload_encode(&b, nullptr, 0);
    std::vector<uint8_t> out(size);
    if (size) {
        EXPECT_EQ(payload_encode(&b, out.data(), size), size);
    }
    return out;
}

TEST(BoardFormat, WrittenBoardsReadBackUnchanged) {
    std::string mono = clip(1, 300), stereo = clip(2, 17);
    PayloadBoard b;
    memset(&b, 0, sizeof b);
    strcpy(b.name, "party-2.0");
    b.overlap = 1;
    b.stop = 1;
    b.count = 3;
    const char *captions[3] = {"Air\nhorn", "zebra", "a b c d\nefg\nh\nij"};
    for (int k = 0; k < 3; k++) {
        strcpy(b.sounds[k].caption, captions[k]);
        const std::string &c = k == 1 ? stereo : mono;
        b.sounds[k].clip = {"x.wav", "wav", static_cast<uint32_t>(c.size()),
                            reinterpret_cast<const uint8_t *>(c.data())};
        b.sounds[k].volume = 40 * k;
        b.sounds[k].loop = k == 2;
        b.sounds[k].fade = k == 0 ? 60000 : 25 * k;
        b.sounds[k].key = "q\0007"[k]; // SDLK_q, none, SDLK_7
    }
    std::vector<uint8_t> bytes = encode(b);
    ASSERT_GT(bytes.size(), static_cast<size_t>(PAYLOAD_TRAILER_SIZE));
    size_t length = bytes.size() - PAYLOAD_TRAILER_SIZE;
    EXPECT_EQ(memcmp(&bytes[length], PAYLOAD_MAGIC, 8), 0);
    EXPECT_EQ(bytes[length + 8], PAYLOAD_VERSION);
    PayloadBoard r;
    char why[PAYLOAD_WHY_SIZE] = "";
    ASSERT_TRUE(payload_parse(bytes.data(), length, &r, why, sizeof why)) << why;
    EXPECT_STREQ(r.name, b.name);
    EXPECT_EQ(r.overlap, 1);
    EXPECT_EQ(r.stop, 1);
    EXPECT_EQ(r.ordered, 1) << "a board of this version keeps the maker's order";
    ASSERT_EQ(r.count, 3);
    for (int k = 0; k < 3; k++) {
        SCOPED_TRACE(k);
        EXPECT_STREQ(r.sounds[k].caption, captions[k]);
        EXPECT_EQ(r.sounds[k].volume, b.sounds[k].volume);
        EXPECT_EQ(r.sounds[k].loop, b.sounds[k].loop);
        EXPECT_EQ(r.sounds[k].fade, b.sounds[k].fade);
        EXPECT_EQ(r.sounds[k].key, b.sounds[k].key);
        ASSERT_EQ(r.sounds[k].clip.size, b.sounds[k].clip.size);
        EXPECT_EQ(memcmp(r.sounds[k].clip.data, b.sounds[k].clip.data, r.sounds[k].clip.size), 0);
    }
    // The trailer's checksum covers the header, every byte before the first
    // clip; each clip's line carries its own bytes' checksum in hex.
    size_t clips = 0;
    for (int k = 0; k < 3; k++)
        clips += b.sounds[k].clip.size;
    EXPECT_EQ(payload_checksum(bytes.data(), length - clips),
              bytes[length + 12] | bytes[length + 13] << 8 | bytes[length + 14] << 16 |
                  static_cast<uint32_t>(bytes[length + 15]) << 24);
    std::string head(reinterpret_cast<const char *>(bytes.data()), length - clips);
    for (int k = 0; k < 3; k++) {
        char field[32];
        snprintf(field, sizeof field, "\nsound %u %08x ", b.sounds[k].clip.size,
                 payload_checksum(b.sounds[k].clip.data, b.sounds[k].clip.size));
        EXPECT_NE(head.find(field), std::string::npos) << field << " in " << head;
        EXPECT_EQ(r.sounds[k].unchecked, 1) << "checked only when it is first to play";
        EXPECT_TRUE(payload_clip_whole(&r.sounds[k]));
    }

    // What the reader refuses, the writer will not write.
    PayloadBoard bad = b;
    strcpy(bad.sounds[1].caption, PAYLOAD_STOP_CAPTION);
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "a second Stop on a stop board";
    bad = b;
    strcpy(bad.sounds[2].caption, "Air\nhorn");
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "two equal captions";
    bad = b;
    strcpy(bad.sounds[0].caption, "thirteen char");
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "a line of 13";
    bad = b;
    bad.sounds[0].fade = PAYLOAD_FADE_MAX + 1;
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u);
    bad = b;
    bad.count = PAYLOAD_SOUNDS;
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "twenty sounds and a Stop button";
    bad = b;
    bad.sounds[1].key = 'q';
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "two sounds on one key";
    for (int key : {int{'Q'}, 13, 282, -1}) {
        bad = b;
        bad.sounds[1].key = key;
        EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "key code " << key;
    }
    EXPECT_EQ(payload_key_code("Q"), 'q');
    EXPECT_EQ(payload_key_code("0"), '0');
    for (const char *name : {"", "qq", "F1", "!", "return"})
        EXPECT_EQ(payload_key_code(name), 0) << name;
}

// The board's latency and output: a line written only when the board asks
// for either, so a board without them is the bytes it always was; read back
// as written; a name the line cannot hold is refused by both sides.
TEST(BoardFormat, OutputLineCarriesLatencyAndDevice) {
    std::string c = clip(1, 10);
    static PayloadBoard b;
    memset(&b, 0, sizeof b);
    strcpy(b.name, "out");
    b.count = 1;
    strcpy(b.sounds[0].caption, "one");
    b.sounds[0].clip = {"x.wav", "wav", static_cast<uint32_t>(c.size()),
                        reinterpret_cast<const uint8_t *>(c.data())};
    b.sounds[0].volume = 100;
    auto text = [](const std::vector<uint8_t> &bytes) {
        return std::string(bytes.begin(), bytes.end());
    };
    static PayloadBoard r;
    char why[PAYLOAD_WHY_SIZE] = "";
    std::vector<uint8_t> plain = encode(b);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(text(plain).find("output"), std::string::npos);
    ASSERT_TRUE(payload_parse(plain.data(), plain.size() - PAYLOAD_TRAILER_SIZE, &r, why,
                              sizeof why))
        << why;
    EXPECT_EQ(r.latency_normal, 0) << "a made board plays in low latency";
    EXPECT_STREQ(r.device, "");

    const struct {
        int normal;
        const char *device, *line;
    } cases[] = {{1, "", "\noutput normal -\n"},
                 {0, "alsa_output.usb-1", "\noutput low alsa_output.usb-1\n"},
                 {1, "hw:CARD=Headphones,DEV=0", "\noutput normal hw:CARD=Headphones,DEV=0\n"}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.line);
        b.latency_normal = k.normal;
        strcpy(b.device, k.device);
        std::vector<uint8_t> bytes = encode(b);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(count_of(text(bytes), k.line), 1);
        ASSERT_TRUE(payload_parse(bytes.data(), bytes.size() - PAYLOAD_TRAILER_SIZE, &r, why,
                                  sizeof why))
            << why;
        EXPECT_EQ(r.latency_normal, k.normal);
        EXPECT_STREQ(r.device, k.device);
        EXPECT_EQ(r.count, 1);
        EXPECT_STREQ(r.sounds[0].caption, "one");
    }
    for (const char *name : {"two words", "-", "tab\there"}) {
        strcpy(b.device, name);
        EXPECT_EQ(payload_encode(&b, nullptr, 0), 0u) << name;
    }
    strcpy(b.device, "");
    b.latency_normal = 1;
    std::vector<uint8_t> bytes = encode(b);
    std::string t = text(bytes);
    size_t at = t.find("output normal");
    ASSERT_NE(at, std::string::npos);
    memcpy(&bytes[at + 7], "sloppy", 6);
    EXPECT_FALSE(payload_parse(bytes.data(), bytes.size() - PAYLOAD_TRAILER_SIZE, &r, why,
                               sizeof why));
    EXPECT_NE(std::string(why).find("output"), std::string::npos) << why;
}

// Pages: keys and captions are each a page's own (a key acts on the page
// shown), every page keeps the page's limit of 20 sounds, 19 beside a Stop
// button, and the pages' sounds add up to the board's.
TEST(BoardFormat, PagesKeepTheirOwnKeysAndCaptions) {
    std::string c = clip(2, 5);
    static PayloadBoard b, r;
    memset(&b, 0, sizeof b);
    strcpy(b.name, "pages");
    b.pages = 2;
    b.count = 3;
    b.page[0] = {"Loose sounds", 0, 2};
    b.page[1] = {"Voices 2", 2, 1};
    const char *captions[3] = {"Intro", "Outro", "Intro"};
    for (int k = 0; k < 3; k++) {
        strcpy(b.sounds[k].caption, captions[k]);
        b.sounds[k].clip = {"x.wav", "wav", static_cast<uint32_t>(c.size()),
                            reinterpret_cast<const uint8_t *>(c.data())};
        b.sounds[k].volume = 100;
        b.sounds[k].key = k == 1 ? 0 : '1';
    }
    std::vector<uint8_t> bytes = encode(b);
    ASSERT_FALSE(bytes.empty()) << "the same caption and key on two pages";
    char why[PAYLOAD_WHY_SIZE] = "";
    ASSERT_TRUE(
        payload_parse(bytes.data(), bytes.size() - PAYLOAD_TRAILER_SIZE, &r, why, sizeof why))
        << why;
    ASSERT_EQ(r.pages, 2);
    EXPECT_STREQ(r.page[0].name, "Loose sounds");
    EXPECT_STREQ(r.page[1].name, "Voices 2");
    EXPECT_EQ(r.page[1].first, 2);
    EXPECT_EQ(r.page[1].count, 1);
    EXPECT_STREQ(r.sounds[2].caption, "Intro");
    EXPECT_EQ(r.sounds[2].key, '1');

    static PayloadBoard bad;
    bad = b;
    bad.page[0].count = 3;
    bad.page[1].first = 3;
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "same caption and key on one page";
    bad = b;
    bad.page[1].count = 2;
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "pages holding more sounds than the board";
    bad = b;
    memset(bad.page[1].name, 'A', sizeof bad.page[1].name);
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "a page name filling its field, with no end";
    bad = b;
    bad.page[1].name[0] = 0;
    EXPECT_EQ(payload_encode(&bad, nullptr, 0), 0u) << "an empty page name";

    // Twenty sounds a page; nineteen beside the Stop button.
    static PayloadBoard big;
    memset(&big, 0, sizeof big);
    strcpy(big.name, "big");
    big.pages = 2;
    big.count = 40;
    big.page[0] = {"One", 0, 20};
    big.page[1] = {"Two", 20, 20};
    for (int k = 0; k < big.count; k++) {
        snprintf(big.sounds[k].caption, sizeof big.sounds[k].caption, "s%d", k % 20);
        big.sounds[k].clip = b.sounds[0].clip;
    }
    bytes = encode(big);
    ASSERT_FALSE(bytes.empty()) << "two pages of twenty";
    ASSERT_TRUE(
        payload_parse(bytes.data(), bytes.size() - PAYLOAD_TRAILER_SIZE, &r, why, sizeof why))
        << why;
    EXPECT_EQ(r.count, 40);
    big.stop = 1;
    EXPECT_EQ(payload_encode(&big, nullptr, 0), 0u) << "twenty sounds and a Stop button";
    big.stop = 0;
    big.page[0].count = 21;
    big.page[1] = {"Two", 21, 19};
    EXPECT_EQ(payload_encode(&big, nullptr, 0), 0u) << "a page of twenty-one";
}

// A board of the first version, as the shell maker wrote it: no fade field,
// shown sorted by caption; one of the second: a fade but no key field; of
// the third: a key; of the fourth: pages and a "clips" line; of the fifth:
// the remote field. Their checksum covers the whole payload, clips and all,
// so a changed clip byte refuses them as it always did.
TEST(BoardFormat, EarlierVersionBoardsStillRead) {
    for (uint32_t version : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(version);
        std::string c = clip(1, 10), fade = version >= 2 ? "250 " : "";
        std::string key = version >= 3 ? "113 " : "", none = version >= 3 ? "0 " : "";
        std::string payload =
            version >= 5   ? "board 0 0 1 2 2 old\npage 1 First\npage 1 Second\n"
            : version >= 4 ? "board 0 0 2 2 old\npage 1 First\npage 1 Second\n"
                           : "board 0 0 2 old\n";
        payload += "sound " + std::to_string(c.size()) + " 100 0 " + fade + key + "zz\nsound " +
                   std::to_string(c.size()) + " 50 1 " + fade + none + "Air\thorn\n";
        if (version >= 4) payload += "clips  \n";
        payload += c + c;
        std::string file = "\x7f"
                           "ELF";
        file += std::string(60, '\0');
        // A 64-bit little-endian ELF header of 64 bytes and nothing else.
        file[4] = 2;
        file[5] = 1;
        file[6] = 1;
        file[52] = 64;
        uint32_t crc =
            payload_checksum(reinterpret_cast<const uint8_t *>(payload.data()), payload.size());
        std::string trailer = "VSTRLBRD";
        for (uint32_t v : {version, crc, static_cast<uint32_t>(payload.size()), 0u})
            for (int i = 0; i < 4; i++)
                trailer += static_cast<char>(v >> (8 * i));
        std::string all = file + payload + trailer;
        PayloadBoard b;
        char why[PAYLOAD_WHY_SIZE] = "";
        ASSERT_EQ(payload_read_bytes(reinterpret_cast<const uint8_t *>(all.data()), all.size(), &b,
                                     why, sizeof why),
                  PAYLOAD_BOARD)
            << why;
        EXPECT_EQ(b.ordered, version >= 2 ? 1 : 0);
        EXPECT_STREQ(b.sounds[1].caption, "Air\nhorn");
        EXPECT_EQ(b.sounds[1].volume, 50);
        EXPECT_EQ(b.sounds[1].fade, version >= 2 ? 250 : 0);
        EXPECT_EQ(b.sounds[0].key, version >= 3 ? 'q' : 0);
        EXPECT_EQ(b.sounds[1].key, 0);
        EXPECT_EQ(b.pages, version >= 4 ? 2 : 1);
        EXPECT_STREQ(b.page[b.pages - 1].name, version >= 4 ? "Second" : "old");
        EXPECT_EQ(b.remote, version >= 5 ? 1 : 0);
        for (int k = 0; k < 2; k++) {
            EXPECT_EQ(b.sounds[k].unchecked, 0) << "checked with the payload";
            EXPECT_TRUE(payload_clip_whole(&b.sounds[k]));
        }
        std::string damaged = all;
        damaged[damaged.size() - PAYLOAD_TRAILER_SIZE - 3] ^= 0x01; // the last clip's last sample
        EXPECT_EQ(payload_read_bytes(reinterpret_cast<const uint8_t *>(damaged.data()),
                                     damaged.size(), &b, why, sizeof why),
                  PAYLOAD_DAMAGED);
        EXPECT_NE(strstr(why, "checksum"), nullptr) << why;
    }
}

// The current version checks only the header at start: a byte changed in a
// clip still reads, and only that clip fails its own check; a byte changed
// in the header, or a header cut off from its "clips" line, is refused as
// damaged before it is parsed.
TEST(BoardFormat, ADamagedClipFailsItsOwnCheckAndADamagedHeaderIsRefused) {
    std::string one = clip(2, 50), two = clip(2, 70);
    PayloadBoard b;
    memset(&b, 0, sizeof b);
    strcpy(b.name, "sums");
    b.count = 2;
    b.offset = 64;
    const std::string *clips[2] = {&one, &two};
    for (int k = 0; k < 2; k++) {
        snprintf(b.sounds[k].caption, sizeof b.sounds[k].caption, "s%d", k);
        b.sounds[k].clip = {"x.wav", "wav", static_cast<uint32_t>(clips[k]->size()),
                            reinterpret_cast<const uint8_t *>(clips[k]->data())};
        b.sounds[k].volume = 100;
    }
    std::vector<uint8_t> payload = encode(b);
    ASSERT_FALSE(payload.empty());
    // A 64-bit little-endian ELF header of 64 bytes and nothing else.
    std::string elf = "\x7f"
                      "ELF";
    elf += std::string(60, '\0');
    elf[4] = 2;
    elf[5] = 1;
    elf[6] = 1;
    elf[52] = 64;
    std::string good = elf + std::string(payload.begin(), payload.end());
    size_t head = good.size() - PAYLOAD_TRAILER_SIZE - one.size() - two.size();
    auto read = [](const std::string &file, PayloadBoard *r, std::string *why) {
        char text[PAYLOAD_WHY_SIZE] = "";
        int result = payload_read_bytes(reinterpret_cast<const uint8_t *>(file.data()), file.size(),
                                        r, text, sizeof text);
        *why = text;
        return result;
    };
    PayloadBoard r;
    std::string why;
    ASSERT_EQ(read(good, &r, &why), PAYLOAD_BOARD) << why;
    EXPECT_TRUE(payload_clip_whole(&r.sounds[0]));
    EXPECT_TRUE(payload_clip_whole(&r.sounds[1]));

    std::string bad_clip = good;
    bad_clip[head + one.size() + 60] ^= 0x01; // a sample of the second clip
    ASSERT_EQ(read(bad_clip, &r, &why), PAYLOAD_BOARD) << why;
    EXPECT_TRUE(payload_clip_whole(&r.sounds[0]));
    EXPECT_FALSE(payload_clip_whole(&r.sounds[1]));

    std::string bad_head = good;
    bad_head[64 + 6] ^= 0x01; // the overlap field, still a valid line
    EXPECT_EQ(read(bad_head, &r, &why), PAYLOAD_DAMAGED);
    EXPECT_NE(why.find("checksum"), std::string::npos) << why;
    size_t at = good.rfind("clips", head);
    ASSERT_NE(at, std::string::npos);
    std::string no_clips = good;
    no_clips[at + 4] = 'z'; // "clipz"
    EXPECT_EQ(read(no_clips, &r, &why), PAYLOAD_DAMAGED);
    EXPECT_NE(why.find("damaged"), std::string::npos) << why;
}

// The cases of real file names.
TEST(BoardFormat, CaptionsFromFileNames) {
    struct Case {
        const char *name, *caption;
        int shortened;
    } cases[] = {
        {"caf\xc3\xa9.wav", "cafe", 0},
        {"Gr\xc3\xbc\xc3\x9f"
         "e.ogg",
         "Grusse", 0},
        {"\xf0\x9f\x8e\x89 party.wav", "party", 0},
        {"applause.final.v2.ogg", "applause.\nfinal.v2", 0},
        {"once_upon-a_time.wav", "once upon\na time", 0},
        {"supercalifragilistic.wav", "supercali...", 1},
        {"the best sound effect from that movie.wav", "the best\nsound effect\nfrom...", 1},
    };
    for (const Case &c : cases) {
        char caption[PAYLOAD_CAPTION_SIZE];
        int shortened = -1;
        ASSERT_TRUE(payload_caption_from_name(c.name, caption, sizeof caption, &shortened))
            << c.name;
        EXPECT_STREQ(caption, c.caption) << c.name;
        EXPECT_EQ(shortened, c.shortened) << c.name;
    }
    char caption[PAYLOAD_CAPTION_SIZE];
    int shortened;
    EXPECT_FALSE(
        payload_caption_from_name("\xf0\x9f\x8e\x89.wav", caption, sizeof caption, &shortened))
        << "nothing the font can draw";
    // Shortened names never end on a word of one or two letters, and every
    // line of every caption keeps the rules.
    for (const char *name : {"sound of a door in a hall of an old house.wav",
                             "we go to a big old barn in a wood of oak.ogg",
                             "noise.of.a.very.long.dotted.name.to.cut.flac"}) {
        ASSERT_TRUE(payload_caption_from_name(name, caption, sizeof caption, &shortened)) << name;
        EXPECT_EQ(payload_caption_problem(caption), nullptr) << name << ": " << caption;
        std::string c = caption;
        ASSERT_GT(c.size(), 3u);
        ASSERT_EQ(c.substr(c.size() - 3), "...") << name;
        size_t start = c.find_last_of(" \n.", c.size() - 4);
        size_t last = c.size() - 3 - (start == std::string::npos ? 0 : start + 1);
        EXPECT_GT(last, 2u) << name << ": " << caption;
    }
}

TEST(BoardFormat, NaturalCaseFoldedOrder) {
    const char *sorted[] = {"01 intro", "2 beats", "Track 2", "track 10", "Track 10b", "zebra"};
    for (size_t i = 0; i < 6; i++)
        for (size_t j = 0; j < 6; j++) {
            int d = payload_natural_compare(sorted[i], sorted[j]);
            EXPECT_EQ(d < 0, i < j) << sorted[i] << " / " << sorted[j];
            EXPECT_EQ(d == 0, i == j) << sorted[i] << " / " << sorted[j];
        }
}

// tools/make_assets.py's caption limits are the format's, and every
// compiled-in caption keeps the format's rules.
TEST(BoardFormat, MakeAssetsTakesTheSameCaptionRules) {
    // Wherever under tools/ the asset maker's modules define them.
    TempDir dir;
    ASSERT_EQ(system(("grep -rhE '^CAPTION_MAX_[A-Z]+ = ' '" + std::string(VOSTREL_SOURCE_DIR) +
                      "/tools' --include='*.py' >'" + dir.file("limits") + "'")
                         .c_str()),
              0);
    std::string py = "\n" + read_file(dir.file("limits"));
    auto constant = [&py](const char *name) {
        size_t at = py.find(std::string("\n") + name + " = ");
        return at == std::string::npos ? -1 : atoi(py.c_str() + at + strlen(name) + 4);
    };
    EXPECT_EQ(constant("CAPTION_MAX_LINES"), PAYLOAD_CAPTION_LINES);
    EXPECT_EQ(constant("CAPTION_MAX_LINE"), PAYLOAD_CAPTION_LINE);
    EXPECT_EQ(constant("CAPTION_MAX_TOTAL"), PAYLOAD_CAPTION_TOTAL);
    std::string board = read_file(std::string(VOSTREL_SOURCE_DIR) + "/data/board.txt");
    int lines = 0;
    for (size_t at = 0; at < board.size();) {
        size_t nl = board.find('\n', at);
        std::string row = board.substr(at, nl - at);
        at = nl == std::string::npos ? board.size() : nl + 1;
        size_t tab = row.find('\t');
        if (tab == std::string::npos) continue;
        std::string caption;
        for (size_t i = tab + 1; i < row.size(); i++)
            if (row.compare(i, 2, "\\n") == 0) {
                caption += '\n';
                i++;
            } else {
                caption += row[i];
            }
        EXPECT_EQ(payload_caption_problem(caption.c_str()), nullptr) << row;
        lines++;
    }
    EXPECT_EQ(lines, 20);
}

} // namespace
