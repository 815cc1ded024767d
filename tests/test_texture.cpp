// Textures from images and compiled-in pictures, checked in a real GL context
// (Xvfb): formats, filters, state left behind, texel contents and orientation.
#include <vostrel/assets/assets.h>

#include "support.h"

#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <string.h>
#include <vector>

namespace {

struct ScopedImage {
    Image img{};
    ~ScopedImage() { image_free(&img); }
    Image *get() { return &img; }
    Image *operator->() { return &img; }
};

class Texture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        image_codec_init();
    }
    void TearDown() override { image_codec_shutdown(); }
};

// OpenGL ES 1.1 reads no texture back. The tests' window is SDL's OpenGL
// context, whose desktop read-back entry points are looked up by name here;
// the drawing code itself never sees them.
constexpr GLenum GL_TEXTURE_WIDTH = 0x1000;
constexpr GLenum GL_TEXTURE_HEIGHT = 0x1001;
constexpr GLenum GL_TEXTURE_INTERNAL_FORMAT = 0x1003;

template <class Fn> Fn desktop_entry(const char *name) {
    return reinterpret_cast<Fn>(SDL_GL_GetProcAddress(name));
}

GLint level_param(GLenum pname) {
    static auto get =
        desktop_entry<void (*)(GLenum, GLint, GLenum, GLint *)>("glGetTexLevelParameteriv");
    GLint v = -1;
    get(GL_TEXTURE_2D, 0, pname, &v);
    return v;
}

GLint bound_texture() {
    GLint v = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &v);
    return v;
}

// The bound texture's texels as RGBA, row 0 first.
std::vector<uint8_t> texels(int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    static auto get =
        desktop_entry<void (*)(GLenum, GLint, GLenum, GLenum, void *)>("glGetTexImage");
    get(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

// A name GL has not handed out yet: any texture made after this call would
// take it (names are handed out upwards).
GLuint next_free_name() {
    GLuint probe = 0;
    glGenTextures(1, &probe);
    return probe + 1;
}

std::vector<uint8_t> make_bmp(int w, int h, const std::vector<uint8_t> &rgb) {
    size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    std::vector<uint8_t> b(54 + stride * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            b[at + i] = (v >> (8 * i)) & 0xFF;
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++)
                b[54 + y * stride + x * 3 + c] = rgb[(y * w + x) * 3 + 2 - c];
    return b;
}

} // namespace

TEST_F(Texture, FormatByBytesPerPixel) {
    const GLenum formats[] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    for (int bpp = 1; bpp <= 4; bpp++) {
        SCOPED_TRACE(bpp);
        ScopedImage img;
        image_create(img.get(), 4, 2, bpp); // rows of 4..16 bytes: aligned
        for (int i = 0; i < 8 * bpp; i++)
            img->planes[0][i] = static_cast<uint8_t>(i * 5 + 1);
        glBindTexture(GL_TEXTURE_2D, 0);
        glEnable(GL_TEXTURE_2D);
        unsigned name = texture_from_image(img.get(), 0);
        ASSERT_NE(name, 0u);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(bound_texture(), static_cast<GLint>(name));
        EXPECT_EQ(level_param(GL_TEXTURE_INTERNAL_FORMAT), static_cast<GLint>(formats[bpp - 1]));
        EXPECT_EQ(level_param(GL_TEXTURE_WIDTH), 4);
        EXPECT_EQ(level_param(GL_TEXTURE_HEIGHT), 2);
        GLint min = 0, mag = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
        EXPECT_EQ(min, GL_LINEAR);
        EXPECT_EQ(mag, GL_LINEAR);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// Planes are tightly packed: rows of 5 one-, two- or three-byte pixels are 5,
// 10 or 15 bytes long, and every texel must come from its own pixel. The
// caller's unpack alignment is left as it was.
TEST_F(Texture, RowsOfAnyLengthUploadWithoutPadding) {
    for (int bpp = 1; bpp <= 3; bpp++) {
        SCOPED_TRACE(bpp);
        ScopedImage img;
        image_create(img.get(), 5, 3, bpp);
        for (int i = 0; i < 15 * bpp; i++)
            img->planes[0][i] = static_cast<uint8_t>(i * 11 + 3);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
        ASSERT_NE(texture_from_image(img.get(), 0), 0u);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 8);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        std::vector<uint8_t> px = texels(5, 3);
        for (int i = 0; i < 15; i++) {
            const uint8_t *s = img->planes[0] + i * bpp;
            // Read back, luminance comes as red; alpha is 255 unless the pixel has one.
            const uint8_t want[4] = {s[0], bpp == 3 ? s[1] : static_cast<uint8_t>(0),
                                     bpp == 3 ? s[2] : static_cast<uint8_t>(0),
                                     bpp == 2 ? s[1] : static_cast<uint8_t>(255)};
            EXPECT_EQ(std::vector<uint8_t>(&px[i * 4], &px[i * 4] + 4),
                      std::vector<uint8_t>(want, want + 4))
                << "pixel " << i;
        }
    }
}

TEST_F(Texture, DerivedPlaneIsLuminanceAlpha) {
    ScopedImage img;
    image_create(img.get(), 4, 4, 3);
    memset(img->planes[0], 90, 48);
    image_ensure_plane(img.get(), 1);
    unsigned name = texture_from_image(img.get(), 1);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(level_param(GL_TEXTURE_INTERNAL_FORMAT), GL_LUMINANCE_ALPHA);
    std::vector<uint8_t> px = texels(4, 4);
    EXPECT_EQ(px[0], 90); // low byte as luminance
    EXPECT_EQ(px[3], 0);  // high byte as alpha
}

TEST_F(Texture, RefusalsMakeNoTexture) {
    GLuint unused = next_free_name();
    ScopedImage img;
    image_create(img.get(), 2, 2, 4);
    GLint before = bound_texture();
    EXPECT_EQ(texture_from_image(img.get(), 7), 0u);
    EXPECT_EQ(texture_from_image(img.get(), -1), 0u);
    img->channels = 5;
    EXPECT_EQ(texture_from_image(img.get(), 0), 0u);
    img->channels = 4;
    EXPECT_EQ(texture_from_asset(&vostrel_asset_click_wav), 0u);
    EXPECT_EQ(texture_from_asset_keyed(&vostrel_asset_click_wav,
                                       reinterpret_cast<const uint8_t *>("abc")),
              0u);
    EXPECT_EQ(bound_texture(), before);
    EXPECT_FALSE(glIsTexture(unused));
}

TEST_F(Texture, CompiledInPictures) {
    struct Case {
        const AssetRecord *asset;
        int side;
    };
    const Case cases[] = {{&vostrel_asset_button_png, 32},
                          {&vostrel_asset_check_png, 64},
                          {&vostrel_asset_check_bad_png, 64},
                          {&vostrel_asset_font_chicago_png, 256}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.asset->name);
        unsigned name = texture_from_asset(c.asset);
        ASSERT_NE(name, 0u);
        EXPECT_EQ(bound_texture(), static_cast<GLint>(name));
        EXPECT_EQ(level_param(GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA);
        EXPECT_EQ(level_param(GL_TEXTURE_WIDTH), c.side);
        EXPECT_EQ(level_param(GL_TEXTURE_HEIGHT), c.side);
        // Texture row 0 is the picture's bottom row.
        ScopedImage img;
        ASSERT_EQ(image_load_asset(c.asset, img.get()), 1);
        EXPECT_EQ(texels(c.side, c.side),
                  std::vector<uint8_t>(img->planes[0], img->planes[0] + c.side * c.side * 4));
    }
}

TEST_F(Texture, KeyedPictureGetsAlphaFromKey) {
    const uint8_t key[3] = {255, 0, 255};
    std::vector<uint8_t> rgb = {
        255, 0, 255, 1,   2, 3,   255, 0, 254, 255, 0, 255, // bottom row
        0,   0, 0,   255, 0, 255, 9,   9, 9,   0,   1, 255, // top row
    };
    std::vector<uint8_t> bmp = make_bmp(4, 2, rgb);
    AssetRecord r{"keyed.bmp", "bmp", static_cast<uint32_t>(bmp.size()), bmp.data()};
    unsigned name = texture_from_asset_keyed(&r, key);
    ASSERT_NE(name, 0u);
    EXPECT_EQ(level_param(GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA);
    std::vector<uint8_t> px = texels(4, 2);
    for (int i = 0; i < 8; i++) {
        const uint8_t *s = &rgb[i * 3];
        bool keyed = s[0] == key[0] && s[1] == key[1] && s[2] == key[2];
        EXPECT_EQ(memcmp(&px[i * 4], s, 3), 0) << i;
        EXPECT_EQ(px[i * 4 + 3], keyed ? 0 : 255) << i;
    }

    // Unkeyed, the same file stays RGB.
    texture_from_asset(&r);
    EXPECT_EQ(level_param(GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);

    // A 4-channel picture keeps its own alpha through the keyed path.
    ScopedImage img;
    image_create(img.get(), 2, 2, 4);
    const uint8_t rgba[16] = {255, 0, 255, 77, 255, 0, 255, 200, 1, 2, 3, 0, 4, 5, 6, 255};
    memcpy(img->planes[0], rgba, 16);
    uint8_t *file = nullptr;
    size_t size = 0;
    ASSERT_EQ(image_encode(img.get(), 0, "png", &file, &size), 1);
    AssetRecord png{"rgba.png", "png", static_cast<uint32_t>(size), file};
    ASSERT_NE(texture_from_asset_keyed(&png, key), 0u);
    free(file);
    std::vector<uint8_t> back = texels(2, 2);
    image_flip(img.get(), 0); // the file's first row is its top; texture row 0 the bottom
    EXPECT_EQ(back, std::vector<uint8_t>(img->planes[0], img->planes[0] + 16));
}
