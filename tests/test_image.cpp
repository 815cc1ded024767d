// Image container, readers, flip, colour key, resize, PNG encoder and seam
// carving, checked against independent LodePNG decodes and hand-built BMPs.
#include <vostrel/assets/assets.h>

#include <gtest/gtest.h>
#include <lodepng.h>

#include <algorithm>
#include <cmath>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

namespace {

struct ScopedImage { // frees the image whatever path the test takes
    Image img{};
    ~ScopedImage() { image_free(&img); }
    Image *operator->() { return &img; }
    Image *get() { return &img; }
};

struct Codec {
    Codec() { image_codec_init(); }
    ~Codec() { image_codec_shutdown(); }
};

AssetRecord record(const std::vector<uint8_t> &bytes, const char *type) {
    return AssetRecord{"test", type, static_cast<uint32_t>(bytes.size()), bytes.data()};
}

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++)
        b[at + i] = (v >> (8 * i)) & 0xFF;
}

uint8_t test_value(int x, int y, int c) {
    return static_cast<uint8_t>(x * 40 + y * 90 + c * 7 + 1);
}

// BMP of test_value pixels, bottom row first, rows padded with non-zero bytes.
std::vector<uint8_t> make_bmp(int w, int h, int bpp = 24, uint32_t compression = 0) {
    size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    std::vector<uint8_t> b(54 + stride * h, 0xEE);
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = static_cast<uint8_t>(bpp);
    put32(b, 2, static_cast<uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, static_cast<uint32_t>(w));
    put32(b, 22, static_cast<uint32_t>(h));
    put32(b, 30, compression);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++)
                b[54 + y * stride + x * 3 + c] = test_value(x, y, 2 - c);
    return b;
}

void fill(Image *img) {
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width; x++)
            for (int c = 0; c < img->channels; c++)
                image_pixel(img, 0, x, y)[c] = test_value(x, y, c);
}

uint16_t get16(Image *img, int plane, int x, int y) {
    uint16_t v;
    memcpy(&v, image_pixel(img, plane, x, y), 2);
    return v;
}

std::vector<uint8_t> plane_bytes(const Image *img, int plane) {
    size_t n = static_cast<size_t>(img->width) * img->height * image_plane_bpp(img, plane);
    return std::vector<uint8_t>(img->planes[plane], img->planes[plane] + n);
}

std::vector<uint8_t> encode(Image *img, int plane) {
    uint8_t *out = nullptr;
    size_t size = 0;
    EXPECT_EQ(image_encode(img, plane, "png", &out, &size), 1);
    std::vector<uint8_t> file(out, out + (out ? size : 0));
    free(out);
    return file;
}

} // namespace

TEST(ImageRecord, CopyIsDeepAndFreeClears) {
    ScopedImage a, b;
    image_create(a.get(), 3, 2, 3);
    fill(a.get());
    image_alloc_plane(a.get(), 2);
    a->planes[2][0] = 42;
    image_alloc_plane(a.get(), 2); // present: untouched
    EXPECT_EQ(image_plane_bpp(a.get(), 7), 15);
    image_copy(a.get(), b.get());
    EXPECT_EQ(plane_bytes(b.get(), 0), plane_bytes(a.get(), 0));
    EXPECT_NE(b->planes[0], a->planes[0]);
    ASSERT_NE(b->planes[2], nullptr);
    EXPECT_NE(b->planes[2], a->planes[2]);
    EXPECT_EQ(b->planes[2][0], 42);
    EXPECT_EQ(b->planes[1], nullptr);
    image_free(a.get());
    EXPECT_EQ(a->width, 0);
    for (uint8_t *p : a->planes)
        EXPECT_EQ(p, nullptr);
}

TEST(ImageRecord, PixelOutsideReadsZeroEvenAfterWrite) {
    ScopedImage a;
    image_create(a.get(), 2, 2, 4);
    fill(a.get());
    const int outside[][2] = {{-1, 0}, {0, -1}, {2, 0}, {0, 2}};
    for (auto &o : outside) {
        memset(image_pixel(a.get(), 0, o[0], o[1]), 0xAB, 4);
        const uint8_t *q = image_pixel(a.get(), 0, o[1], o[0]);
        EXPECT_EQ(q[0] | q[1] | q[2] | q[3], 0);
    }
    const uint8_t *absent = image_pixel(a.get(), 3, 0, 0);
    EXPECT_EQ(absent[0] | absent[3], 0);
    for (int i = 0; i < 16; i++)
        EXPECT_NE(a->planes[0][i], 0xAB);
}

TEST(ImageFlip, RowsAndColumns) {
    ScopedImage one, three, wide;
    image_create(one.get(), 4, 1, 3);
    fill(one.get());
    std::vector<uint8_t> before = plane_bytes(one.get(), 0);
    image_flip(one.get(), 0);
    EXPECT_EQ(plane_bytes(one.get(), 0), before);

    image_create(three.get(), 2, 3, 4);
    fill(three.get());
    image_ensure_plane(three.get(), 1);
    uint16_t intensity = get16(three.get(), 1, 1, 0);
    image_flip(three.get(), 0);
    for (int y = 0; y < 3; y++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(image_pixel(three.get(), 0, 1, y)[c], test_value(1, 2 - y, c));
    EXPECT_EQ(get16(three.get(), 1, 1, 2), intensity); // derived planes flip too

    image_create(wide.get(), 3, 2, 1);
    fill(wide.get());
    image_flip(wide.get(), 1);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(image_pixel(wide.get(), 0, x, y)[0], test_value(2 - x, y, 0));

    // Whole pixels move: every channel of the colour plane and both bytes of
    // a derived plane.
    ScopedImage rgba, mirror;
    image_create(rgba.get(), 3, 2, 4);
    fill(rgba.get());
    image_ensure_plane(rgba.get(), 2); // energy: values above 255
    image_copy(rgba.get(), mirror.get());
    image_flip(mirror.get(), 1);
    int wide_energy = 0;
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) {
            for (int c = 0; c < 4; c++)
                EXPECT_EQ(image_pixel(mirror.get(), 0, x, y)[c], test_value(2 - x, y, c))
                    << x << "," << y << " channel " << c;
            EXPECT_EQ(get16(mirror.get(), 2, x, y), get16(rgba.get(), 2, 2 - x, y))
                << x << "," << y;
            wide_energy += get16(rgba.get(), 2, x, y) > 255;
        }
    EXPECT_GT(wide_energy, 0); // the high bytes are not all zero
}

TEST(ImageColorKey, ThreeChannelsGainAlphaFromKey) {
    ScopedImage a;
    image_create(a.get(), 4, 1, 3);
    const uint8_t px[12] = {255, 0, 255, 255, 1, 255, 254, 0, 255, 255, 0, 254},
                  key[3] = {255, 0, 255};
    memcpy(a->planes[0], px, 12);
    image_color_key(a.get(), key);
    ASSERT_EQ(a->channels, 4);
    const uint8_t want[16] = {255, 0, 255, 0, 255, 1, 255, 255, 254, 0, 255, 255, 255, 0, 254, 255};
    EXPECT_EQ(memcmp(a->planes[0], want, 16), 0);
}

TEST(ImageResize, SameSizeExactAndBadSizesUnchanged) {
    ScopedImage a;
    image_create(a.get(), 5, 3, 4);
    fill(a.get());
    std::vector<uint8_t> before = plane_bytes(a.get(), 0);
    image_ensure_plane(a.get(), 1);
    image_resize(a.get(), 5, 3);
    EXPECT_EQ(plane_bytes(a.get(), 0), before);
    EXPECT_EQ(a->planes[1], nullptr); // derived planes are dropped
    const int bad[][2] = {{0, 3}, {5, 0}, {-1, 3}, {5, -7}};
    for (auto &s : bad) {
        uint8_t *plane = a->planes[0];
        image_resize(a.get(), s[0], s[1]);
        EXPECT_EQ(a->width * 10 + a->height, 53);
        EXPECT_EQ(a->planes[0], plane);
    }
    ScopedImage empty;
    image_create(empty.get(), 0, 4, 3);
    image_resize(empty.get(), 2, 2);
    EXPECT_EQ(empty->width, 0);
}

TEST(ImageResize, BilinearTruncatesAfterEveryTerm) {
    ScopedImage a;
    image_create(a.get(), 2, 2, 1);
    const uint8_t px[4] = {100, 200, 50, 30}; // (0,0) (1,0) (0,1) (1,1)
    memcpy(a->planes[0], px, 4);
    image_resize(a.get(), 4, 4);
    ASSERT_EQ(a->width * 10 + a->height, 44);
    auto at = [&](int x, int y) { return image_pixel(a.get(), 0, x, y)[0]; };
    EXPECT_EQ(at(0, 0), 100);
    EXPECT_EQ(at(1, 0), 150);
    EXPECT_EQ(at(0, 1), 75);
    EXPECT_EQ(at(1, 1), 94);  // 25, +50 = 75, +12.5 -> 87, +7.5 -> 94 (the mean is 95)
    EXPECT_EQ(at(3, 0), 100); // the neighbour past the edge reads 0
    EXPECT_EQ(at(3, 3), 7);
}

TEST(ImageLoad, CompiledInPngsDecodeBottomRowFirst) {
    Codec codec;
    const std::pair<const AssetRecord *, int> cases[] = {{&vostrel_asset_button_png, 32},
                                                         {&vostrel_asset_check_png, 64},
                                                         {&vostrel_asset_check_bad_png, 64},
                                                         {&vostrel_asset_font_chicago_png, 256}};
    for (auto [asset, side] : cases) {
        SCOPED_TRACE(asset->name);
        ScopedImage img;
        ASSERT_EQ(image_load_asset(asset, img.get()), 1);
        EXPECT_EQ(img->width, side);
        EXPECT_EQ(img->height, side);
        EXPECT_EQ(img->channels, 4);
        unsigned char *ref = nullptr;
        unsigned w = 0, h = 0;
        ASSERT_EQ(lodepng_decode32(&ref, &w, &h, asset->data, asset->size), 0u);
        size_t row = static_cast<size_t>(w) * 4;
        for (unsigned y = 0; y < h; y++)
            EXPECT_EQ(memcmp(img->planes[0] + y * row, ref + (h - 1 - y) * row, row), 0)
                << "row " << y;
        free(ref);
    }
}

TEST(ImageLoad, RgbPngComesOutAsRgbaBottomRowFirst) {
    Codec codec;
    const unsigned char rgb[6] = {10, 20, 30, 40, 50, 60}; // 1 x 2, top row first
    unsigned char *file = nullptr;
    size_t size = 0;
    ASSERT_EQ(lodepng_encode24(&file, &size, rgb, 1, 2), 0u);
    std::vector<uint8_t> bytes(file, file + size);
    free(file);
    AssetRecord r = record(bytes, "png");
    ScopedImage img;
    ASSERT_EQ(image_load_asset(&r, img.get()), 1);
    EXPECT_EQ(img->channels, 4);
    const uint8_t want[8] = {40, 50, 60, 255, 10, 20, 30, 255}; // bottom row first
    EXPECT_EQ(memcmp(img->planes[0], want, 8), 0);
}

TEST(ImageLoad, RefusedRecords) {
    Codec codec;
    Image img;
    memset(&img, 0x5A, sizeof img);
    EXPECT_EQ(image_load_asset(&vostrel_asset_click_wav, &img), 0);
    EXPECT_EQ(img.width | img.height | img.channels, 0);
    for (uint8_t *p : img.planes)
        EXPECT_EQ(p, nullptr);

    std::vector<uint8_t> bmp = make_bmp(2, 2);
    AssetRecord as_png = record(bmp, "png"); // decided by type: not tried as BMP
    EXPECT_EQ(image_load_asset(&as_png, &img), 0);
    image_free(&img);

    // Headers claiming huge sizes with no pixel data behind them are refused
    // and leave no plane.
    ScopedImage small;
    image_create(small.get(), 2, 2, 4);
    const std::vector<uint8_t> file = encode(small.get(), 0);
    const uint32_t sides[][2] = {{100000, 100000}, {4097, 4096}, {1, 0x7FFFFFFF}};
    for (auto &side : sides) {
        std::vector<uint8_t> big = file;
        for (int i = 0; i < 4; i++) {
            big[16 + i] = static_cast<uint8_t>(side[0] >> (24 - 8 * i));
            big[20 + i] = static_cast<uint8_t>(side[1] >> (24 - 8 * i));
        }
        lodepng_chunk_generate_crc(&big[8]); // IHDR
        AssetRecord r = record(big, "png");
        EXPECT_EQ(image_load_asset(&r, &img), 0) << side[0] << "x" << side[1];
        EXPECT_EQ(img.planes[0], nullptr);
        image_free(&img);
    }
}

namespace {

// A valid 1-bit grey PNG of w x h black pixels, built by hand because
// LodePNG's encoder takes seconds over millions of pixels: the zero
// scanlines (a filter byte and the packed bits each) go in stored blocks.
std::vector<uint8_t> blank_png(uint32_t w, uint32_t h) {
    size_t raw = (static_cast<size_t>(w + 7) / 8 + 1) * h;
    std::vector<uint8_t> z = {0x78, 0x01}; // zlib header: deflate, 32K window
    z.reserve(raw + raw / 65535 * 5 + 16);
    for (size_t left = raw; left > 0;) {
        size_t n = std::min<size_t>(left, 65535);
        left -= n;
        const uint8_t head[5] = {static_cast<uint8_t>(left == 0), static_cast<uint8_t>(n),
                                 static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                                 static_cast<uint8_t>(~n >> 8)};
        z.insert(z.end(), head, head + 5);
        z.insert(z.end(), n, 0);
    }
    const uint32_t adler = static_cast<uint32_t>(raw % 65521) << 16 | 1; // of zeros only
    for (int i = 3; i >= 0; i--)
        z.push_back(static_cast<uint8_t>(adler >> (8 * i)));
    uint8_t ihdr[13] = {0};
    for (int i = 0; i < 4; i++) {
        ihdr[i] = static_cast<uint8_t>(w >> (24 - 8 * i));
        ihdr[4 + i] = static_cast<uint8_t>(h >> (24 - 8 * i));
    }
    ihdr[8] = 1; // bit depth; colour type 0 (grey), no interlace
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    size_t size = sizeof signature;
    unsigned char *png = static_cast<unsigned char *>(malloc(size));
    memcpy(png, signature, size);
    lodepng_chunk_create(&png, &size, 13, "IHDR", ihdr);
    lodepng_chunk_create(&png, &size, static_cast<unsigned>(z.size()), "IDAT", z.data());
    lodepng_chunk_create(&png, &size, 0, "IEND", nullptr);
    std::vector<uint8_t> file(png, png + size);
    free(png);
    return file;
}

} // namespace

// The decoder reads this picture, but it is one column over the pixel limit:
// the loader refuses it rather than let the decoder reserve 64 MB and more.
TEST(ImageLoad, GenuinePictureOverThePixelLimitIsRefused) {
    Codec codec;
    const std::vector<uint8_t> file = blank_png(4097, 4096);
    unsigned char *grey = nullptr;
    unsigned w = 0, h = 0;
    ASSERT_EQ(lodepng_decode_memory(&grey, &w, &h, file.data(), file.size(), LCT_GREY, 1), 0u);
    free(grey);
    EXPECT_EQ(w * 10000 + h, 4097u * 10000 + 4096);
    AssetRecord r = record(file, "png");
    ScopedImage img;
    EXPECT_EQ(image_load_asset(&r, img.get()), 0);
    EXPECT_EQ(img->planes[0], nullptr);
}

TEST(ImageBmp, GoodFileRoundTripsWithPaddedRows) {
    std::vector<uint8_t> bmp = make_bmp(5, 3); // 15-byte rows padded to 16
    AssetRecord r = record(bmp, "bmp");
    ScopedImage img;
    ASSERT_EQ(image_load_asset(&r, img.get()), 1);
    EXPECT_EQ(img->width * 100 + img->height * 10 + img->channels, 533);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            for (int c = 0; c < 3; c++)
                EXPECT_EQ(image_pixel(img.get(), 0, x, y)[c], test_value(x, y, c));
}

TEST(ImageBmp, HostileFilesYieldZero) {
    const std::vector<uint8_t> good = make_bmp(5, 3);
    auto rejects = [](const std::vector<uint8_t> &bytes) {
        std::vector<uint8_t> exact(bytes); // exact-size heap block: overreads trip ASan
        exact.shrink_to_fit();
        AssetRecord r = record(exact, "bmp");
        Image img;
        int result = image_load_asset(&r, &img);
        image_free(&img);
        return result == 0;
    };
    auto patched = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        put32(b, at, v);
        return b;
    };
    EXPECT_FALSE(rejects(good));
    for (size_t n = 0; n < good.size(); n++)
        EXPECT_TRUE(rejects(std::vector<uint8_t>(good.begin(), good.begin() + n))) << n << " bytes";
    EXPECT_TRUE(rejects(make_bmp(5, 3, 16)));
    EXPECT_TRUE(rejects(make_bmp(5, 3, 32)));
    EXPECT_TRUE(rejects(make_bmp(5, 3, 24, 1)));
    // pixel offset: at the end, wrapping, inside the headers; info header: too
    // small, past the end; sizes: zero, negative, one too many, absurd.
    const uint32_t patches[][2] = {{10, static_cast<uint32_t>(good.size())},
                                   {10, 0xFFFFFFF0u},
                                   {10, 20},
                                   {14, 12},
                                   {14, 0x7FFFFFFF},
                                   {18, 0},
                                   {22, 0},
                                   {18, 0xFFFFFFFBu},
                                   {22, 0xFFFFFFFDu},
                                   {18, 6},
                                   {22, 4},
                                   {18, 0x40000000},
                                   {22, 0x7FFFFFFF}};
    for (auto &p : patches)
        EXPECT_TRUE(rejects(patched(p[0], p[1]))) << p[0] << " = " << p[1];
}

TEST(ImageEncode, ColourTypesAndRoundTrip) {
    Codec codec;
    const std::pair<int, LodePNGColorType> cases[] = {
        {1, LCT_GREY}, {2, LCT_GREY_ALPHA}, {3, LCT_RGB}, {4, LCT_RGBA}};
    for (auto [channels, type] : cases) {
        SCOPED_TRACE(channels);
        ScopedImage img;
        image_create(img.get(), 3, 2, channels);
        fill(img.get());
        if (channels == 4)
            for (int i = 0; i < 6; i++)
                img->planes[0][i * 4 + 3] = 255; // all opaque: alpha stays
        std::vector<uint8_t> file = encode(img.get(), 0);
        ASSERT_GT(file.size(), 25u);
        EXPECT_EQ(file[24], 8);    // IHDR bit depth
        EXPECT_EQ(file[25], type); // IHDR colour type
        unsigned char *back = nullptr;
        unsigned w = 0, h = 0;
        ASSERT_EQ(lodepng_decode_memory(&back, &w, &h, file.data(), file.size(), type, 8), 0u);
        EXPECT_EQ(w * 10 + h, 32u);
        EXPECT_EQ(memcmp(back, img->planes[0], 6 * channels), 0); // row 0 is the file's first row
        free(back);
    }
}

TEST(ImageEncode, DerivedPlaneIsBigEndianGrey16) {
    Codec codec;
    ScopedImage img;
    image_create(img.get(), 3, 3, 3);
    fill(img.get());
    std::vector<uint8_t> file = encode(img.get(), 2); // energy: values above 255
    ASSERT_GT(file.size(), 25u);
    EXPECT_EQ(file[24], 16);
    EXPECT_EQ(file[25], 0);
    unsigned char *back = nullptr;
    unsigned w = 0, h = 0;
    ASSERT_EQ(lodepng_decode_memory(&back, &w, &h, file.data(), file.size(), LCT_GREY, 16), 0u);
    int wide = 0;
    for (int i = 0; i < 9; i++) {
        uint16_t value = static_cast<uint16_t>(back[2 * i] << 8 | back[2 * i + 1]);
        EXPECT_EQ(value, get16(img.get(), 2, i % 3, i / 3));
        wide += value > 255;
    }
    EXPECT_GT(wide, 0);
    free(back);

    uint8_t sentinel = 0, *out = &sentinel;
    size_t size = 0;
    EXPECT_EQ(image_encode(img.get(), 0, "bmp", &out, &size), 0);
    EXPECT_EQ(out, nullptr);
    img->channels = 5;
    out = &sentinel;
    EXPECT_EQ(image_encode(img.get(), 0, "png", &out, &size), 0);
    EXPECT_EQ(out, nullptr);
    img->channels = 3;
}

// ---- content-aware resizing ----

namespace {

void make_uniform(Image *img, int w, int h, uint8_t v) {
    image_create(img, w, h, 3);
    memset(img->planes[0], v, static_cast<size_t>(w) * h * 3);
}

// Pixel at step s, position k of a seam walk: a vertical seam (direction 0)
// walks rows with positions along x; a horizontal one the other way round.
uint8_t *walk(Image *img, int plane, int direction, int s, int k) {
    return direction == 0 ? image_pixel(img, plane, k, s) : image_pixel(img, plane, s, k);
}

std::vector<uint8_t> walk_px(Image *img, int plane, int direction, int s, int k) {
    const uint8_t *p = walk(img, plane, direction, s, k);
    return std::vector<uint8_t>(p, p + image_plane_bpp(img, plane));
}

bool marked(Image *img, int direction, int s, int k) {
    uint16_t v;
    memcpy(&v, walk(img, direction == 0 ? 6 : 5, direction, s, k), 2);
    return v == SEAM_MARK;
}

} // namespace

TEST(ImageSeam, EnergyOfUniformImageAndSharpEdge) {
    ScopedImage img;
    make_uniform(img.get(), 5, 4, 200);
    image_ensure_plane(img.get(), 2);
    EXPECT_EQ(get16(img.get(), 1, 2, 2), 200);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 5; x++) {
            bool inside = x > 0 && y > 0 && x < 4 && y < 3;
            EXPECT_EQ(get16(img.get(), 2, x, y) == 0, inside) << x << "," << y;
        }
    EXPECT_EQ(get16(img.get(), 2, 4, 3), 848); // gx = 600, gy = -600

    for (int bright_left = 0; bright_left < 2; bright_left++) {
        ScopedImage edge;
        image_create(edge.get(), 6, 3, 3);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 6; x++)
                memset(image_pixel(edge.get(), 0, x, y), ((x < 3) == bright_left) * 255, 3);
        image_ensure_plane(edge.get(), 2);
        EXPECT_EQ(get16(edge.get(), 2, 2, 1), 1020);
        EXPECT_EQ(get16(edge.get(), 2, 3, 1), 1020);
        EXPECT_EQ(get16(edge.get(), 2, 1, 1), 0);
    }
}

TEST(ImageSeam, SeamIsOneConnectedCheapestPathLowestFirst) {
    // A uniform image is symmetric, so equal costs meet at every step; noise
    // puts cheap paths away from the seam's neighbourhood.
    uint32_t seed = 12345;
    for (int pattern = 0; pattern < 12; pattern++) {
        ScopedImage img;
        make_uniform(img.get(), 7, 6, 120);
        for (int i = 0; pattern && i < 7 * 6 * 3; i++) {
            seed = seed * 1103515245u + 12345u;
            img->planes[0][i] = static_cast<uint8_t>(seed >> 24);
        }
        int ties = 0;
        for (int direction = 0; direction < 2; direction++) {
            image_ensure_plane(img.get(), direction == 0 ? 6 : 5);
            int cost_plane = direction == 0 ? 4 : 3;
            int length = direction == 0 ? 6 : 7, breadth = direction == 0 ? 7 : 6;
            auto cost = [&](int s, int c) {
                uint16_t v;
                memcpy(&v, walk(img.get(), cost_plane, direction, s, c), 2);
                return v;
            };
            // Each cost is the cheapest of the three next ones (0 outside) plus
            // the pixel's energy.
            for (int s = 0; s < length; s++)
                for (int c = 0; c < breadth; c++) {
                    uint32_t next = 0xFFFF;
                    for (int d = -1; d <= 1; d++)
                        next = std::min<uint32_t>(next, s + 1 < length ? cost(s + 1, c + d) : 0);
                    uint32_t e;
                    e = get16(img.get(), 2, direction == 0 ? c : s, direction == 0 ? s : c);
                    EXPECT_EQ(cost(s, c), std::min<uint32_t>(next + e, 0xFFFF)) << s << "," << c;
                }
            int p = 0;
            for (int s = 0; s < length; s++) {
                int chosen = -1, marks = 0;
                for (int c = 0; c < breadth; c++)
                    if (marked(img.get(), direction, s, c)) chosen = c, marks++;
                ASSERT_EQ(marks, 1) << "step " << s;
                int lo = s == 0 ? 0 : std::max(0, p - 1);
                int hi = s == 0 ? breadth - 1 : std::min(breadth - 1, p + 1);
                ASSERT_TRUE(chosen >= lo && chosen <= hi) << "step " << s;
                for (int c = lo; c < chosen; c++)
                    EXPECT_GT(cost(s, c), cost(s, chosen)) << s;
                for (int c = chosen + 1; c <= hi; c++) {
                    EXPECT_GE(cost(s, c), cost(s, chosen)) << s;
                    ties += cost(s, c) == cost(s, chosen);
                }
                p = chosen;
            }
        }
        EXPECT_TRUE(pattern || ties > 0); // the tie rule was exercised
    }
}

TEST(ImageSeam, CostsSaturate) {
    // Rows 0, 0, 255 repeating: two rows in three have |gy| = 1020. Outside
    // neighbours read 0, so a path ends free at a side column or the last row;
    // from the middle of row 0 of a 201 x 150 image it must cross at least 100
    // rows, about 68000 in all.
    ScopedImage img;
    make_uniform(img.get(), 201, 150, 0);
    for (int y = 2; y < 150; y += 3)
        for (int x = 0; x < 201; x++)
            memset(image_pixel(img.get(), 0, x, y), 255, 3);
    image_ensure_plane(img.get(), 4);
    EXPECT_EQ(get16(img.get(), 4, 100, 0), 0xFFFF);
    EXPECT_EQ(get16(img.get(), 4, 0, 0),
              get16(img.get(), 2, 0, 0)); // a side column costs its energy

    // A saturated cost is never chosen: where every candidate is saturated
    // the seam goes straight on. Computed costs never get there (the side
    // columns cost only their energy, and an unsaturated cost has an
    // unsaturated successor), so the cost planes are given: a present plane
    // is used as it is.
    for (int direction = 0; direction < 2; direction++) {
        SCOPED_TRACE(direction);
        ScopedImage given;
        make_uniform(given.get(), 3, 3, 0);
        int cost_plane = direction == 0 ? 4 : 3;
        image_alloc_plane(given.get(), cost_plane);
        const uint16_t costs[3][3] = {{9, 4, 9}, {0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 7, 3}};
        for (int s = 0; s < 3; s++)
            for (int k = 0; k < 3; k++)
                memcpy(walk(given.get(), cost_plane, direction, s, k), &costs[s][k], 2);
        image_ensure_plane(given.get(), direction == 0 ? 6 : 5);
        const int want[3] = {1, 1, 2};
        for (int s = 0; s < 3; s++)
            for (int k = 0; k < 3; k++)
                EXPECT_EQ(marked(given.get(), direction, s, k), k == want[s]) << s << "," << k;
    }
}

TEST(ImageSeam, RemoveAndInsertFollowTheSeam) {
    for (int direction = 0; direction < 2; direction++) {
        SCOPED_TRACE(direction);
        ScopedImage small, big, old;
        image_create(old.get(), 6, 5, 4);
        fill(old.get());
        image_copy(old.get(), small.get());
        image_copy(old.get(), big.get());
        image_ensure_plane(old.get(), direction == 0 ? 6 : 5);
        image_seam_remove(small.get(), direction);
        image_seam_insert(big.get(), direction);
        EXPECT_EQ(small->width * 10 + small->height, direction == 0 ? 55 : 64);
        EXPECT_EQ(big->width * 10 + big->height, direction == 0 ? 75 : 66);
        for (int p = 1; p < IMAGE_PLANES; p++)
            EXPECT_EQ(small->planes[p], nullptr);
        int steps = direction == 0 ? 5 : 6, span = direction == 0 ? 6 : 5;
        for (int s = 0; s < steps; s++) {
            for (int k = 0, i = 0; k < span; k++) {
                if (marked(old.get(), direction, s, k)) continue;
                EXPECT_EQ(walk_px(small.get(), 0, direction, s, i++),
                          walk_px(old.get(), 0, direction, s, k));
            }
            int m = 0;
            for (int j = 0; j < span; j++, m++) {
                EXPECT_EQ(walk_px(big.get(), 0, direction, s, m),
                          walk_px(old.get(), 0, direction, s, j));
                if (!marked(old.get(), direction, s, j)) continue;
                std::vector<uint8_t> a = walk_px(old.get(), 0, direction, s, j);
                std::vector<uint8_t> b = walk_px(old.get(), 0, direction, s, j == 0 ? 1 : j - 1);
                std::vector<uint8_t> got = walk_px(big.get(), 0, direction, s, ++m);
                for (int c = 0; c < 4; c++)
                    EXPECT_EQ(got[c], (a[c] + b[c]) / 2) << s << "," << j;
            }
            EXPECT_EQ(m, span + 1);
        }
    }
}

TEST(ImageSeam, EdgeCasesOfSize) {
    ScopedImage img;
    image_create(img.get(), 2, 2, 3);
    fill(img.get());
    image_seam_remove(img.get(), 0);
    EXPECT_EQ(img->width * 10 + img->height, 12);
    uint8_t *plane = img->planes[0];
    image_seam_remove(img.get(), 0);
    image_seam_insert(img.get(), 1);
    EXPECT_EQ(img->width * 10 + img->height, 12);
    EXPECT_EQ(img->planes[0], plane);

    // Blue up to 8 has intensity 0, so every cost is 0 and the tie rule puts
    // the horizontal seam on row 0: the inserted row 1 is the mean of rows 0, 1.
    ScopedImage row, old;
    make_uniform(row.get(), 4, 4, 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            image_pixel(row.get(), 0, x, y)[2] = static_cast<uint8_t>(y == 0 ? x : 8 - y);
    image_copy(row.get(), old.get());
    image_ensure_plane(old.get(), 5);
    for (int x = 0; x < 4; x++)
        ASSERT_TRUE(marked(old.get(), 1, x, 0)) << x;
    image_seam_insert(row.get(), 1);
    ASSERT_EQ(row->height, 5);
    for (int x = 0; x < 4; x++) {
        const int want[5] = {x, (x + 7) / 2, 7, 6, 5};
        for (int y = 0; y < 5; y++)
            EXPECT_EQ(image_pixel(row.get(), 0, x, y)[2], want[y]) << x << "," << y;
    }
}

// The kernels walk planes through row pointers; here every value is computed
// again pixel by pixel through image_pixel (zero outside), as the rules state
// them, over random pictures of sizes that put every pixel on a border or
// leave an interior, in both seam directions.
TEST(ImageKernels, MatchPerPixelReferenceOnRandomPictures) {
    uint32_t seed = 2024;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 24; };
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 3}, {8, 5}, {13, 7}};
    for (const auto &size : sizes)
        for (int channels : {1, 3, 4}) {
            const int w = size[0], h = size[1];
            SCOPED_TRACE(testing::Message() << w << "x" << h << "x" << channels);
            ScopedImage img, src;
            image_create(img.get(), w, h, channels);
            for (int i = 0; i < w * h * channels; i++)
                img->planes[0][i] = static_cast<uint8_t>(next());
            image_copy(img.get(), src.get());
            for (int plane = 1; plane < IMAGE_PLANES; plane++)
                image_ensure_plane(img.get(), plane);
            std::vector<uint32_t> want[IMAGE_PLANES]; // [plane][x + y * w]
            auto ref = [&](int plane, int x, int y) -> uint32_t {
                return x < 0 || y < 0 || x >= w || y >= h ? 0 : want[plane][x + y * w];
            };
            for (int p = 1; p < IMAGE_PLANES; p++)
                want[p].assign(w * h, 0);
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const uint8_t *px = image_pixel(src.get(), 0, x, y);
                    want[1][x + y * w] =
                        channels >= 3
                            ? static_cast<uint32_t>(0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2])
                            : px[0];
                }
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    auto I = [&](int dx, int dy) {
                        return static_cast<int>(ref(1, x + dx, y + dy));
                    };
                    int gx = I(-1, -1) + 2 * I(-1, 0) + I(-1, 1) - I(1, -1) - 2 * I(1, 0) - I(1, 1);
                    int gy = I(-1, 1) + 2 * I(0, 1) + I(1, 1) - I(-1, -1) - 2 * I(0, -1) - I(1, -1);
                    want[2][x + y * w] =
                        static_cast<uint32_t>(sqrt(double(gx) * gx + double(gy) * gy));
                }
            auto cheapest = [](uint32_t a, uint32_t b, uint32_t c) { return std::min({a, b, c}); };
            for (int x = w - 1; x >= 0; x--)
                for (int y = 0; y < h; y++)
                    want[3][x + y * w] =
                        std::min<uint32_t>(0xFFFF, cheapest(ref(3, x + 1, y - 1), ref(3, x + 1, y),
                                                            ref(3, x + 1, y + 1)) +
                                                       want[2][x + y * w]);
            for (int y = h - 1; y >= 0; y--)
                for (int x = 0; x < w; x++)
                    want[4][x + y * w] =
                        std::min<uint32_t>(0xFFFF, cheapest(ref(4, x - 1, y + 1), ref(4, x, y + 1),
                                                            ref(4, x + 1, y + 1)) +
                                                       want[2][x + y * w]);
            for (int direction = 0; direction < 2; direction++) {
                int length = direction == 0 ? h : w, breadth = direction == 0 ? w : h;
                auto cost = [&](int s, int c) {
                    return direction == 0 ? ref(4, c, s) : ref(3, s, c);
                };
                int p = 0;
                for (int s = 0; s < length; s++) {
                    uint32_t best = 0xFFFF;
                    int lo = s == 0 ? 0 : std::max(0, p - 1);
                    int hi = s == 0 ? breadth - 1 : std::min(breadth - 1, p + 1);
                    for (int c = lo; c <= hi; c++)
                        if (cost(s, c) < best) best = cost(s, c), p = c;
                    want[direction == 0 ? 6 : 5][direction == 0 ? p + s * w : s + p * w] =
                        SEAM_MARK;
                }
            }
            for (int p = 1; p < IMAGE_PLANES; p++)
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++)
                        ASSERT_EQ(get16(img.get(), p, x, y), want[p][x + y * w])
                            << "plane " << p << " at " << x << "," << y;

            // Bilinear resample, up and down, each term truncated in turn.
            const int targets[][2] = {
                {2 * w + 3, 3 * h + 1}, {w / 2 + 1, h / 2 + 1}, {7, 2}, {15, 3}};
            for (auto [tw, th] : targets) {
                ScopedImage r;
                image_copy(src.get(), r.get());
                image_resize(r.get(), tw, th);
                float sx = float(tw) / float(w), sy = float(th) / float(h);
                for (int y = 0; y < th; y++)
                    for (int x = 0; x < tw; x++) {
                        float u = float(x) / sx, v = float(y) / sy;
                        int x0 = int(u), y0 = int(v);
                        float fx = u - float(x0), fy = v - float(y0);
                        const float weight[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy,
                                                 fx * fy};
                        for (int c = 0; c < channels; c++) {
                            float value = 0;
                            for (int t = 0; t < 4; t++)
                                value = std::floor(value + weight[t] * image_pixel(src.get(), 0,
                                                                                   x0 + t % 2,
                                                                                   y0 + t / 2)[c]);
                            ASSERT_EQ(image_pixel(r.get(), 0, x, y)[c], value)
                                << tw << "x" << th << " at " << x << "," << y << "," << c;
                        }
                    }
            }
        }
}
