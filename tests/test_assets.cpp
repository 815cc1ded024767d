// Asset set tests: every compiled-in record is the unaltered file from data/,
// every WAV has the exact header shape and format its kind needs and loads in
// SDL_mixer, the PNG headers are 8-bit RGBA, the font picture puts its glyphs
// where the font metrics say, and the caption table obeys the board's limits.
#include "app/app.h"
#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>
#include "support.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <lodepng.h>

#include <array>
#include <cmath>
#include <set>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

struct WavKind {
    const AssetRecord *record;
    const char *name;
    uint32_t rate;
    uint16_t bits;
};

constexpr uint32_t CLIP_RATE = 22050;

const std::array<WavKind, 25> wavs = {{
    {&vostrel_asset_applause_wav, "applause.wav", 11025, 8},
    {&vostrel_asset_boo_wav, "boo.wav", 11025, 8},
    {&vostrel_asset_cheering_wav, "cheering.wav", 11025, 8},
    {&vostrel_asset_click_wav, "click.wav", 44100, 16},
    {&vostrel_asset_bubble_wav, "bubble.wav", 44100, 8},
    {&asset_vostrel_00_wav, "vostrel_00.wav", CLIP_RATE, 16},
    {&asset_vostrel_01_wav, "vostrel_01.wav", CLIP_RATE, 16},
    {&asset_vostrel_02_wav, "vostrel_02.wav", CLIP_RATE, 16},
    {&asset_vostrel_03_wav, "vostrel_03.wav", CLIP_RATE, 16},
    {&asset_vostrel_04_wav, "vostrel_04.wav", CLIP_RATE, 16},
    {&asset_vostrel_05_wav, "vostrel_05.wav", CLIP_RATE, 16},
    {&asset_vostrel_06_wav, "vostrel_06.wav", CLIP_RATE, 16},
    {&asset_vostrel_07_wav, "vostrel_07.wav", CLIP_RATE, 16},
    {&asset_vostrel_08_wav, "vostrel_08.wav", CLIP_RATE, 16},
    {&asset_vostrel_09_wav, "vostrel_09.wav", CLIP_RATE, 16},
    {&asset_vostrel_10_wav, "vostrel_10.wav", CLIP_RATE, 16},
    {&asset_vostrel_11_wav, "vostrel_11.wav", CLIP_RATE, 16},
    {&asset_vostrel_12_wav, "vostrel_12.wav", CLIP_RATE, 16},
    {&asset_vostrel_13_wav, "vostrel_13.wav", CLIP_RATE, 16},
    {&asset_vostrel_14_wav, "vostrel_14.wav", CLIP_RATE, 16},
    {&asset_vostrel_15_wav, "vostrel_15.wav", CLIP_RATE, 16},
    {&asset_vostrel_16_wav, "vostrel_16.wav", CLIP_RATE, 16},
    {&asset_vostrel_17_wav, "vostrel_17.wav", CLIP_RATE, 16},
    {&asset_vostrel_18_wav, "vostrel_18.wav", CLIP_RATE, 16},
    {&asset_vostrel_19_wav, "vostrel_19.wav", CLIP_RATE, 16},
}};

struct PngKind {
    const AssetRecord *record;
    const char *name;
    uint32_t size;
};

const std::array<PngKind, 4> pngs = {{
    {&vostrel_asset_button_png, "button.png", 32},
    {&vostrel_asset_check_png, "check.png", 64},
    {&vostrel_asset_check_bad_png, "check_bad.png", 64},
    {&vostrel_asset_font_chicago_png, "font_chicago.png", 256},
}};

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t le16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
uint32_t be32(const uint8_t *p) { return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

std::string source_file(const char *name) {
    return std::string(VOSTREL_SOURCE_DIR) + "/data/" + name;
}

// Largest sample distance from silence, as a fraction of full scale.
double wav_peak(const AssetRecord *r, uint16_t bits) {
    const uint8_t *d = r->data + 44;
    uint32_t n = r->size - 44;
    double peak = 0;
    if (bits == 8) {
        for (uint32_t i = 0; i < n; i++)
            peak = std::fmax(peak, std::fabs(d[i] - 128.0) / 128.0);
    } else {
        for (uint32_t i = 0; i + 1 < n; i += 2)
            peak = std::fmax(peak, std::fabs((double)(int16_t)le16(d + i)) / 32768.0);
    }
    return peak;
}

TEST(AssetRecords, EveryRecordIsTheUnalteredFileFromData) {
    auto check = [](const AssetRecord *r, const char *name, const char *type) {
        SCOPED_TRACE(name);
        EXPECT_STREQ(r->name, name);
        EXPECT_STREQ(r->type, type);
        EXPECT_EQ((uintptr_t)r->data % 4, 0u);
        std::vector<uint8_t> file = read_bytes(source_file(name));
        ASSERT_EQ(file.size(), r->size);
        EXPECT_EQ(memcmp(file.data(), r->data, r->size), 0);
    };
    for (const WavKind &w : wavs)
        check(w.record, w.name, "wav");
    for (const PngKind &p : pngs)
        check(p.record, p.name, "png");
}

TEST(AssetWav, HeaderIsExactlyFmtThenDataInTheFormatOfItsKind) {
    for (const WavKind &w : wavs) {
        SCOPED_TRACE(w.name);
        const AssetRecord *r = w.record;
        ASSERT_GE(r->size, 44u);
        const uint8_t *d = r->data;
        EXPECT_EQ(memcmp(d, "RIFF", 4), 0);
        EXPECT_EQ(memcmp(d + 8, "WAVE", 4), 0);
        EXPECT_EQ(memcmp(d + 12, "fmt ", 4), 0);
        EXPECT_EQ(le32(d + 16), 16u);
        EXPECT_EQ(le16(d + 20), 1); // PCM
        EXPECT_EQ(le16(d + 22), 1); // mono
        EXPECT_EQ(le32(d + 24), w.rate);
        EXPECT_EQ(le32(d + 28), w.rate * w.bits / 8); // byte rate
        EXPECT_EQ(le16(d + 32), w.bits / 8);          // block align
        EXPECT_EQ(le16(d + 34), w.bits);
        EXPECT_EQ(memcmp(d + 36, "data", 4), 0);
        uint32_t data_bytes = le32(d + 40);
        EXPECT_EQ(r->size, data_bytes + 44); // so no chunk follows "data"
        EXPECT_EQ(r->size, le32(d + 4) + 8);
        EXPECT_EQ(data_bytes % (w.bits / 8), 0u);
        EXPECT_GT(data_bytes, 0u);
    }
}

// RIFF's own rule, independent of the header shape above: from offset 12 the
// file is a run of chunks, each an 8-byte header, its declared size in bytes
// and a pad byte after an odd size, and the run ends exactly where the RIFF
// length says the file ends.
TEST(AssetWav, EveryChunkWithItsPadFillsTheRiffExactly) {
    for (const WavKind &w : wavs) {
        SCOPED_TRACE(w.name);
        const AssetRecord *r = w.record;
        ASSERT_GE(r->size, 12u);
        const uint64_t end = uint64_t{le32(r->data + 4)} + 8;
        ASSERT_EQ(end, r->size);
        uint64_t at = 12;
        int chunks = 0;
        while (at + 8 <= end) {
            const uint32_t size = le32(r->data + at + 4);
            at += 8 + uint64_t{size} + (size & 1);
            chunks++;
        }
        EXPECT_EQ(at, end) << "after " << chunks << " chunks";
        EXPECT_EQ(chunks, 2);
    }
}

TEST(AssetWav, EverySoundIsAudibleAndUnclipped) {
    for (const WavKind &w : wavs) {
        SCOPED_TRACE(w.name);
        double peak = wav_peak(w.record, w.bits);
        EXPECT_GT(peak, 0.25);
        EXPECT_LT(peak, 0.999);
    }
}

// The mixer converts every kind to its own output format at load time: the
// converted length must match the header's sample count.
TEST(AssetWav, EverySoundLoadsInSdlMixerWithItsFullLength) {
    setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound device needed when run by hand
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_TRUE(sound_mixer_open(SOUND_CHUNK_FRAMES)) << Mix_GetError();
    int rate = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_EQ(Mix_QuerySpec(&rate, &format, &channels), 1);
    for (const WavKind &w : wavs) {
        SCOPED_TRACE(w.name);
        Mix_Chunk *chunk =
            Mix_LoadWAV_RW(SDL_RWFromConstMem(w.record->data, (int)w.record->size), 1);
        ASSERT_NE(chunk, nullptr) << Mix_GetError();
        double frames = (w.record->size - 44.0) / (w.bits / 8) * rate / w.rate;
        double expected = frames * channels * 2;
        EXPECT_NEAR((double)chunk->alen, expected, expected * 0.01 + 64);
        Mix_FreeChunk(chunk);
    }
    Mix_CloseAudio();
    SDL_Quit();
}

TEST(AssetPng, HeaderIsEightBitRgbaNotInterlaced) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (const PngKind &p : pngs) {
        SCOPED_TRACE(p.name);
        const uint8_t *d = p.record->data;
        ASSERT_GE(p.record->size, 33u);
        EXPECT_EQ(memcmp(d, signature, 8), 0);
        EXPECT_EQ(be32(d + 8), 13u);
        EXPECT_EQ(memcmp(d + 12, "IHDR", 4), 0);
        EXPECT_EQ(be32(d + 16), p.size); // width
        EXPECT_EQ(be32(d + 20), p.size); // height
        EXPECT_EQ(d[24], 8);             // bit depth
        EXPECT_EQ(d[25], 6);             // RGBA
        EXPECT_EQ(d[28], 0);             // not interlaced
    }
}

// ---------------------------------------------------------------------------
// Font picture, checked against the font's own metric record: the cells the
// font code draws from are where the ink must be.

// Height of one band of the picture: a cell and the margins above and below.
float band_pitch() {
    FontMetrics m{};
    font_set_metrics(&m);
    return m.cell_height + 2 * m.pad_y;
}

struct FontPicture {
    unsigned char *rgba = nullptr;
    unsigned width = 0, height = 0;
    FontPicture() {
        lodepng_decode32(&rgba, &width, &height, vostrel_asset_font_chicago_png.data,
                         vostrel_asset_font_chicago_png.size);
    }
    ~FontPicture() { free(rgba); }
    FontPicture(const FontPicture &) = delete;
    FontPicture &operator=(const FontPicture &) = delete;
    // Alpha of column x, row y counted up from the bottom edge.
    int alpha(int x, int y) const { return rgba[((height - 1 - y) * width + x) * 4 + 3]; }
};

struct GlyphBox {
    int band;
    float left, right; // the glyph picture between the pad_x margins
};

std::array<GlyphBox, 95> glyph_boxes() {
    FontMetrics m{};
    font_set_metrics(&m);
    std::array<GlyphBox, 95> boxes{};
    for (int g = 0, band = 0; g < 95; g++) {
        while (g >= m.band_end[band])
            band++;
        boxes[g] = {band, m.glyph_x[g] + m.pad_x, m.glyph_x[g] + m.pad_x + m.glyph_width[g]};
    }
    return boxes;
}

TEST(FontPicture, InkLiesOnlyInsideTheCellsTheMetricsDescribe) {
    FontPicture pic;
    ASSERT_NE(pic.rgba, nullptr);
    ASSERT_EQ(pic.width, 256u);
    ASSERT_EQ(pic.height, 256u);
    const float pitch = band_pitch();
    std::array<GlyphBox, 95> boxes = glyph_boxes();
    for (int g = 0; g < 95; g++) {
        const GlyphBox &b = boxes[g];
        ASSERT_LE(b.right, 256.0f) << "glyph " << g;
        int strong = 0;
        for (int y = (int)std::ceil(b.band * pitch); y < (int)((b.band + 1) * pitch); y++)
            for (int x = (int)b.left; x < (int)std::ceil(b.right); x++)
                strong += pic.alpha(x, y) >= 192;
        if (b.right > b.left) {
            EXPECT_GT(strong, 0) << "no ink for '" << (char)(g + 32) << "'";
        }
    }
    // Any pixel that carries ink belongs to a glyph's picture, allowing one
    // pixel of anti-aliasing on each side (still inside that glyph's margins).
    int stray = 0;
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            if (pic.alpha(x, y) < 24) continue;
            bool inside = false;
            for (const GlyphBox &b : boxes) {
                bool rows = y + 1 > b.band * pitch && y < (b.band + 1) * pitch;
                bool cols = b.right > b.left && x + 0.5f >= b.left - 1 && x + 0.5f <= b.right + 1;
                if (rows && cols) inside = true;
            }
            if (!inside && stray++ < 5) ADD_FAILURE() << "stray ink at " << x << "," << y;
        }
    }
    EXPECT_EQ(stray, 0);
}

// Lowest and highest rows with solid ink in a glyph's box, relative to the
// bottom of its band.
void glyph_rows(const FontPicture &pic, const GlyphBox &b, float *bottom, float *top) {
    const float pitch = band_pitch();
    *bottom = 1e9f;
    *top = -1e9f;
    for (int y = 0; y < 256; y++) {
        float rel = y + 0.5f - b.band * pitch;
        if (rel < 0 || rel > pitch) continue;
        for (int x = (int)b.left; x < (int)std::ceil(b.right); x++) {
            if (pic.alpha(x, y) >= 128) {
                *bottom = std::fmin(*bottom, rel);
                *top = std::fmax(*top, rel);
            }
        }
    }
}

// Capitals from every band stand on one baseline and reach one cap height,
// so a line mixing them does not wobble; lower-case shares the baseline.
TEST(FontPicture, GlyphsShareBaselineAndCapHeightAcrossBands) {
    FontPicture pic;
    ASSERT_NE(pic.rgba, nullptr);
    ASSERT_EQ(pic.width, 256u);
    ASSERT_EQ(pic.height, 256u);
    std::array<GlyphBox, 95> boxes = glyph_boxes();
    float base_ref, cap_ref;
    glyph_rows(pic, boxes['H' - 32], &base_ref, &cap_ref);
    ASSERT_GT(cap_ref - base_ref, 15.0f);
    ASSERT_LT(cap_ref - base_ref, 30.0f);
    for (const char *c = "EFHIKLMNTZ2457z"; *c; c++) {
        SCOPED_TRACE(std::string(1, *c));
        float bottom, top;
        glyph_rows(pic, boxes[*c - 32], &bottom, &top);
        EXPECT_NEAR(bottom, base_ref, 1.0f);
        if (strchr("EFHIKLMNTZ", *c)) {
            EXPECT_NEAR(top, cap_ref, 1.0f);
        }
    }
    for (const char *c = "xzmnuvwr"; *c; c++) {
        SCOPED_TRACE(std::string(1, *c));
        float bottom, top;
        glyph_rows(pic, boxes[*c - 32], &bottom, &top);
        EXPECT_NEAR(bottom, base_ref, 1.0f);
        EXPECT_LT(top, cap_ref - 3.0f); // x-height well below the capitals
    }
    for (const char *c = "gjpqy"; *c; c++) {
        float bottom, top;
        glyph_rows(pic, boxes[*c - 32], &bottom, &top);
        EXPECT_LT(bottom, base_ref - 3.0f) << *c << " has no descender";
    }
}

// ---------------------------------------------------------------------------
// Caption table

TEST(BoardTable, CaptionsFitTheButtons) {
    std::set<std::string> seen;
    for (int k = 0; k < BOARD_BUTTONS; k++) {
        const char *caption = board_captions[k];
        SCOPED_TRACE(k);
        ASSERT_NE(caption, nullptr);
        int lines = 1, line = 0, total = 0;
        for (const char *c = caption; *c; c++) {
            if (*c == '\n') {
                lines++;
                line = 0;
                continue;
            }
            EXPECT_TRUE(*c >= 0x20 && *c <= 0x7e) << "byte " << (int)(unsigned char)*c;
            line++;
            total++;
            EXPECT_LE(line, 12) << caption;
        }
        EXPECT_GE(total, 1);
        EXPECT_LE(lines, 4) << caption;
        EXPECT_LE(total, 27) << caption;
        EXPECT_LT(strlen(caption), (size_t)BOARD_CAPTION_SIZE);
        EXPECT_TRUE(seen.insert(caption).second) << "caption used twice: " << caption;
    }
}

TEST(BoardTable, ClipKIsTheRecordOfVostrelK) {
    ASSERT_EQ(board_count, 20) << "the default board has twenty buttons";
    for (int k = 0; k < BOARD_BUTTONS; k++) {
        char name[32];
        snprintf(name, sizeof name, "vostrel_%02d.wav", k);
        const WavKind &w = wavs[5 + k];
        ASSERT_STREQ(w.name, name);
        EXPECT_EQ(board_clips[k], w.record) << name;
        ASSERT_NE(board_clips[k], nullptr);
        EXPECT_STREQ(board_clips[k]->name, name);
    }
}

} // namespace
