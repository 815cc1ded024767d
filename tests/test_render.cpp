// Rendering: the shared vertex store and the primitive meshes, the fixed GL
// state and frame, the 2D primitives and labelled boxes, read back from a real
// 320x480 GL window.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include "support.h"
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>

#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <SDL.h>

#include <algorithm>
#include <math.h>
#include <vector>

namespace {

const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};

// A texture of w x h RGBA pixels (row 0 at t = 0), nearest filtering.
unsigned make_texture(int w, int h, const std::vector<uint8_t> &rgba) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

unsigned white_texture() { return make_texture(2, 2, std::vector<uint8_t>(16, 255)); }

// Puts a test texture into one of the module's texture slots for its lifetime;
// afterwards the original is back and the test texture is deleted, so tests
// sharing the window neither leak pictures nor leave theirs behind.
struct TextureStandIn {
    unsigned *slot;
    unsigned original;
    GLuint texture;
    TextureStandIn(unsigned *slot_, unsigned texture_)
        : slot(slot_), original(*slot_), texture(texture_) {
        *slot = texture;
    }
    ~TextureStandIn() {
        *slot = original;
        glDeleteTextures(1, &texture);
    }
    TextureStandIn(const TextureStandIn &) = delete;
    TextureStandIn &operator=(const TextureStandIn &) = delete;
};

struct Screen {
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    const uint8_t *at(int x, int y) const { return &px[(static_cast<size_t>(y) * 320 + x) * 4]; }
    bool lit(int x, int y) const {
        return at(x, y)[0] > 127 || at(x, y)[1] > 127 || at(x, y)[2] > 127;
    }
    int lit_count(int x0, int y0, int x1, int y1) const { // half-open box
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += lit(x, y);
        return n;
    }
};

struct GlSnapshot {
    GLint depth;
    GLboolean vertex, normal, texcoord, colour, texture;
    GLfloat modelview[16];
    GlSnapshot() {
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        vertex = glIsEnabled(GL_VERTEX_ARRAY);
        normal = glIsEnabled(GL_NORMAL_ARRAY);
        texcoord = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
        colour = glIsEnabled(GL_COLOR_ARRAY);
        texture = glIsEnabled(GL_TEXTURE_2D);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    }
    void expect_same(const GlSnapshot &o, const char *what) const {
        SCOPED_TRACE(what);
        EXPECT_EQ(depth, o.depth);
        EXPECT_EQ(vertex, o.vertex);
        EXPECT_EQ(normal, o.normal);
        EXPECT_EQ(texcoord, o.texcoord);
        EXPECT_EQ(colour, o.colour);
        EXPECT_EQ(texture, o.texture);
        for (int i = 0; i < 16; i++)
            EXPECT_FLOAT_EQ(modelview[i], o.modelview[i]);
    }
};

const uint8_t white[4] = {255, 255, 255, 255};

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        fresh_gl_state();
        begin_frame();
    }
    void TearDown() override {
        font_release();
        gl_release();
    }
    static void begin_frame() {
        gl_set_viewport(&screen);
        gl_begin_2d(&screen);
        glLoadIdentity();
        frame_begin(&screen);
    }
};

// ---- Vertex store ---------------------------------------------------------

TEST_F(Render, VertexStoreAppendsCopiesAndZeroFillsMissingAttributes) {
    gl_release();
    EXPECT_EQ(vertex_store_count(), 0);
    EXPECT_EQ(vertex_store_buffer(VERTEX_POSITION), 0u);

    float pos[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(vertex_store_add(2, pos, nullptr, nullptr, nullptr), 0);
    pos[0] = 99; // the store holds its own copy
    const float p3[9] = {7, 8, 9, 10, 11, 12, 13, 14, 15};
    const float n3[9] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
    const float t3[9] = {0.5f, 0.25f, 0, 1, 1, 0, 0, 1, 0};
    const float c3[12] = {1, 0, 0, 1, 0, 1, 0, 0.5f, 0, 0, 1, 0.25f};
    EXPECT_EQ(vertex_store_add(3, p3, n3, t3, c3), 2);
    EXPECT_EQ(vertex_store_add(0, p3, nullptr, nullptr, nullptr), 5);
    ASSERT_EQ(vertex_store_count(), 5);

    const float *p = vertex_store_array(VERTEX_POSITION), *n = vertex_store_array(VERTEX_NORMAL);
    const float *t = vertex_store_array(VERTEX_TEXCOORD), *c = vertex_store_array(VERTEX_COLOUR);
    const float want_p[20] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15, 0};
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(p[i], want_p[i]) << "position float " << i;
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(n[i], 0.0f) << i;
        EXPECT_EQ(t[i], 0.0f) << i;
        EXPECT_EQ(c[i], 0.0f) << i;
    }
    EXPECT_EQ(n[8 + 2], 1.0f);
    EXPECT_EQ(n[8 + 3], 0.0f);
    EXPECT_EQ(t[12 + 0], 1.0f);
    EXPECT_EQ(c[16 + 3], 0.25f);
    EXPECT_EQ(vertex_store_array(4), nullptr);

    // Every append re-uploads the whole store, old vertices included. ES 1.1
    // reads no buffer back; the tests' window is SDL's OpenGL context, which does.
    using GetBufferSubData = void (*)(GLenum, GLintptr, GLsizeiptr, void *);
    auto get_buffer_sub_data =
        reinterpret_cast<GetBufferSubData>(SDL_GL_GetProcAddress("glGetBufferSubData"));
    ASSERT_NE(get_buffer_sub_data, nullptr);
    for (int a = 0; a < 4; a++) {
        const GLuint name = vertex_store_buffer(a);
        ASSERT_NE(name, 0u);
        glBindBuffer(GL_ARRAY_BUFFER, name);
        GLint size = 0;
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
        ASSERT_EQ(size, 5 * 16);
        float back[20];
        get_buffer_sub_data(GL_ARRAY_BUFFER, 0, sizeof back, back);
        for (int i = 0; i < 20; i++)
            EXPECT_EQ(back[i], vertex_store_array(a)[i]) << a << "/" << i;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

TEST_F(Render, GlInitBuildsThePrimitiveMeshesFirst) {
    EXPECT_EQ(vertex_store_count(), 168);
    EXPECT_EQ(primitive_meshes.unit_box, 0);
    EXPECT_EQ(primitive_meshes.axis_cross, 24);
    EXPECT_EQ(primitive_meshes.diagonal_cross, 30);
    EXPECT_EQ(primitive_meshes.cylinder, 34);

    const float *p = vertex_store_array(VERTEX_POSITION), *n = vertex_store_array(VERTEX_NORMAL),
                *t = vertex_store_array(VERTEX_TEXCOORD);
    // The unit square: positions, normal (0, 0, -1), texture coordinates.
    const float sq[4][2] = {{-0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}};
    for (int v = 0; v < 4; v++) {
        EXPECT_EQ(p[4 * v], sq[v][0]);
        EXPECT_EQ(p[4 * v + 1], sq[v][1]);
        EXPECT_EQ(p[4 * v + 2], 0.0f);
        EXPECT_EQ(n[4 * v + 2], -1.0f);
        EXPECT_EQ(t[4 * v], sq[v][0] + 0.5f);
        EXPECT_EQ(t[4 * v + 1], sq[v][1] + 0.5f);
    }
    // Every box vertex lies on its face's plane, and texture coords follow position.
    for (int v = 0; v < 24; v++) {
        const float *pv = p + 4 * v, *nv = n + 4 * v, *tv = t + 4 * v;
        const float along = pv[0] * nv[0] + pv[1] * nv[1] + (pv[2] - 0.5f) * nv[2];
        EXPECT_FLOAT_EQ(along, 0.5f) << "box vertex " << v;
        EXPECT_EQ(tv[0], pv[0] + 0.5f);
        EXPECT_EQ(tv[2], pv[2]);
    }
    // The axis cross and the diagonals carry positions only.
    EXPECT_EQ(p[4 * 29 + 2], 0.5f);
    EXPECT_EQ(p[4 * 31], 0.5f);
    EXPECT_EQ(p[4 * 31 + 1], 0.5f);
    EXPECT_EQ(n[4 * 26 + 0] + n[4 * 26 + 1] + n[4 * 26 + 2], 0.0f);

    // Cylinder: centres, rims on the unit circle with unnormalised normals, side pairs.
    const int c = 34;
    EXPECT_EQ(p[4 * (c + 34) + 2], 1.0f);
    EXPECT_EQ(n[4 * c + 2], -1.0f);
    EXPECT_EQ(p[4 * (c + 1)], 1.0f);
    for (int k = 0; k <= 32; k++) {
        const float *rim = p + 4 * (c + 1 + k);
        EXPECT_NEAR(rim[0] * rim[0] + rim[1] * rim[1], 1.0f, 1e-6f) << k;
        // The running angle is a float, so the rim drifts by a few 1e-6.
        EXPECT_NEAR(rim[0], cos(k * M_PI / 16), 1e-5) << k;
        EXPECT_NEAR(rim[1], sin(k * M_PI / 16), 1e-5) << k;
        EXPECT_EQ(n[4 * (c + 1 + k) + 2], -1.4f);
        EXPECT_EQ(n[4 * (c + 35 + k) + 2], 1.4f);
        EXPECT_EQ(p[4 * (c + 35 + k) + 2], 1.0f);
        const float *lo = p + 4 * (c + 68 + 2 * k), *hi = lo + 4;
        EXPECT_EQ(lo[0], rim[0]);
        EXPECT_EQ(hi[1], rim[1]);
        EXPECT_EQ(lo[2], 0.0f);
        EXPECT_EQ(hi[2], 1.0f);
        EXPECT_EQ(n[4 * (c + 68 + 2 * k) + 2], 0.0f);
    }
}

TEST_F(Render, StartUpLoadsThePicturesAndTheFontAfterTheMeshes) {
    EXPECT_NE(button_texture, 0u);
    EXPECT_NE(check_textures[0], 0u);
    EXPECT_NE(check_textures[1], 0u);
    EXPECT_NE(check_textures[0], check_textures[1]);
    font_init();
    ASSERT_NE(font.font_texture, 0u);
    const int once = vertex_store_count();
    EXPECT_EQ(once, 168 + 892);
    EXPECT_EQ(font.first_vertex[0], 168);
    // A window resize releases and rebuilds: the store never holds a second copy.
    for (int round = 0; round < 3; round++) {
        font_release();
        gl_release();
        EXPECT_EQ(vertex_store_count(), 0);
        for (int a = 0; a < 4; a++)
            EXPECT_EQ(vertex_store_buffer(a), 0u);
        EXPECT_EQ(font.font_texture, 0u);
        EXPECT_EQ(button_texture, 0u);
        gl_init();
        font_init();
        EXPECT_EQ(vertex_store_count(), once);
        EXPECT_EQ(primitive_meshes.cylinder, 34);
        EXPECT_EQ(font.first_vertex[0], 168);
        EXPECT_NE(font.font_texture, 0u);
    }
}

// ---- GL state and frame ----------------------------------------------------

TEST_F(Render, FrameClearsToBlackAndBlendsWithSourceAlpha) {
    glClearColor(1, 0, 0, 1);
    gl_init(); // sets the clear colour back to black
    frame_begin(&screen);
    Screen cleared;
    for (int y : {0, 240, 479})
        for (int x : {0, 160, 319}) {
            EXPECT_EQ(cleared.at(x, y)[0], 0);
            EXPECT_EQ(cleared.at(x, y)[1], 0);
            EXPECT_EQ(cleared.at(x, y)[2], 0);
        }

    // Half-transparent black over white gives mid grey: blending is on.
    gl_set_color(white);
    const Rect r = {100, 200, 100, 200};
    draw_rect(&r, 1);
    draw_shade(&r, 128);
    frame_end(&screen);
    Screen s;
    EXPECT_NEAR(s.at(150, 150)[0], 127, 2);
    EXPECT_EQ(s.at(250, 150)[0], 0);
    GLint depth_func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depth_func);
    EXPECT_EQ(depth_func, GL_LEQUAL);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(Render, ViewportTruncatesAfterSubtracting) {
    GLint vp[4];
    gl_set_viewport(&screen);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[1], 0);
    EXPECT_EQ(vp[2], 320);
    EXPECT_EQ(vp[3], 480);
    const Rect odd = {10.7f, 100.9f, 5.2f, 50.8f};
    gl_set_viewport(&odd);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 10);
    EXPECT_EQ(vp[1], 5);
    EXPECT_EQ(vp[2], 90);
    EXPECT_EQ(vp[3], 45);
    gl_set_viewport(&screen);
}

TEST_F(Render, Begin2dProjectsTheRectangleOntoTheWindow) {
    // A projection onto a quarter-size space: one unit is four pixels.
    const Rect space = {0, 80, 0, 120};
    gl_begin_2d(&space);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    gl_set_color(white);
    const Rect r = {10, 20, 10, 20};
    draw_rect(&r, 1);
    Screen s;
    EXPECT_EQ(s.lit_count(0, 0, 320, 480), 40 * 40);
    EXPECT_TRUE(s.lit(40, 40));
    EXPECT_TRUE(s.lit(79, 79));
    EXPECT_FALSE(s.lit(80, 80));
}

// ---- 2D primitives ----------------------------------------------------------

TEST_F(Render, FilledRectCoversExactlyItsPixels) {
    gl_set_color(white);
    const Rect r = {10, 50, 20, 60};
    draw_rect(&r, 1);
    Screen s;
    EXPECT_EQ(s.lit_count(0, 0, 320, 480), 40 * 40);
    EXPECT_TRUE(s.lit(10, 20));
    EXPECT_TRUE(s.lit(49, 59));
    EXPECT_FALSE(s.lit(9, 20));
    EXPECT_FALSE(s.lit(50, 59));
    EXPECT_FALSE(s.lit(10, 19));
    EXPECT_FALSE(s.lit(49, 60));
}

TEST_F(Render, OutlinedRectLeavesTheInsideDark) {
    gl_set_color(white);
    const Rect r = {100, 200, 100, 300};
    draw_rect(&r, 0);
    Screen s;
    EXPECT_EQ(s.lit_count(102, 102, 198, 298), 0);
    EXPECT_GT(s.lit_count(98, 150, 102, 250), 90);  // left edge
    EXPECT_GT(s.lit_count(150, 298, 170, 302), 15); // top edge
    EXPECT_EQ(s.lit_count(0, 0, 95, 480), 0);
}

TEST_F(Render, PrimitivesRestoreMatrixArraysAndTexturing) {
    const Rect r = {10, 50, 20, 60};
    const TextureStandIn check(&check_textures[1], white_texture());
    const unsigned tex = check.texture;
    auto each = [&](void (*setup)(void)) {
        setup();
        const GlSnapshot before;
        draw_rect(&r, 1);
        GlSnapshot().expect_same(before, "draw_rect");
        draw_rect(&r, 0);
        GlSnapshot().expect_same(before, "draw_rect outline");
        draw_textured_rect(&r, tex);
        GlSnapshot().expect_same(before, "draw_textured_rect");
        draw_check_mark(&r, 1, 1);
        GlSnapshot().expect_same(before, "draw_check_mark");
        draw_shade(&r, 100);
        GlSnapshot().expect_same(before, "draw_shade");
        draw_box(&r, 1, 0.5f);
        GlSnapshot().expect_same(before, "draw_box");
        draw_cross(&r);
        GlSnapshot().expect_same(before, "draw_cross");
        draw_disc(10, 6.2831855f, 0);
        GlSnapshot().expect_same(before, "draw_disc");
        draw_cylinder(10, 3.0f, 1, 0.5f);
        GlSnapshot().expect_same(before, "draw_cylinder");
        draw_label_box(&r, "", white, white);
        GlSnapshot().expect_same(before, "draw_label_box");
    };
    each([] {});
    glTranslatef(3, 4, 0);
    each([] {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnable(GL_TEXTURE_2D);
    });
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    glLoadIdentity();
}

TEST_F(Render, MapRectSendsSourceCornersOntoTargetAndIgnoresEmptySources) {
    const Rect target = {100, 200, 50, 350};
    const Rect source = {-1, 3, 2, 5};
    gl_map_rect(&target, &source);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    auto map = [&](float x, float y, float *ox, float *oy) {
        *ox = m[0] * x + m[4] * y + m[12];
        *oy = m[1] * x + m[5] * y + m[13];
    };
    float x, y;
    map(-1, 2, &x, &y);
    EXPECT_FLOAT_EQ(x, 100);
    EXPECT_FLOAT_EQ(y, 50);
    map(3, 5, &x, &y);
    EXPECT_FLOAT_EQ(x, 200);
    EXPECT_FLOAT_EQ(y, 350);

    glLoadIdentity();
    const GlSnapshot before;
    const Rect flat = {1, 1, 0, 5}, mirrored = {3, 1, 0, 5}, low = {0, 1, 5, 5};
    gl_map_rect(&target, &flat);
    gl_map_rect(&target, &mirrored);
    gl_map_rect(&target, &low);
    GlSnapshot().expect_same(before, "empty sources");
}

TEST_F(Render, TexturedRectShowsTheTextureUpright) {
    // 2x2 texture: bottom row red, green; top row blue, white.
    const std::vector<uint8_t> quad = {255, 0, 0,   255, 0,   255, 0,   255,
                                       0,   0, 255, 255, 255, 255, 255, 255};
    unsigned tex = make_texture(2, 2, quad);
    gl_set_color(white);
    const Rect r = {0, 100, 0, 100};
    draw_textured_rect(&r, tex);
    Screen s;
    const uint8_t *bl = s.at(25, 25), *br = s.at(75, 25), *tl = s.at(25, 75), *tr = s.at(75, 75);
    EXPECT_EQ(bl[0], 255);
    EXPECT_EQ(bl[1], 0);
    EXPECT_EQ(br[1], 255);
    EXPECT_EQ(br[0], 0);
    EXPECT_EQ(tl[2], 255);
    EXPECT_EQ(tl[0], 0);
    EXPECT_EQ(tr[0], 255);
    EXPECT_EQ(tr[2], 255);
    GLuint name = tex;
    glDeleteTextures(1, &name);
}

TEST_F(Render, CheckMarkPicksItsPictureAndTintByState) {
    // 2x2 pictures, bottom row first, white but for one dark texel: bottom
    // left in state 0's picture, bottom right in state 1's.
    const uint8_t W = 255;
    const TextureStandIn bad(&check_textures[0],
                             make_texture(2, 2, {0, 0, 0, W, W, W, W, W, W, W, W, W, W, W, W, W}));
    const TextureStandIn good(&check_textures[1],
                              make_texture(2, 2, {W, W, W, W, 0, 0, 0, W, W, W, W, W, W, W, W, W}));
    const Rect off = {0, 50, 0, 50}, on = {100, 150, 0, 50}, plain = {200, 250, 0, 50};
    draw_check_mark(&off, 0, 1);
    draw_check_mark(&on, 1, 1);
    const uint8_t blue[4] = {0, 0, 255, 255};
    gl_set_color(blue);
    draw_check_mark(&plain, 1, 0); // untinted: the current colour
    Screen s;
    EXPECT_EQ(s.at(25, 25)[0], 255);
    EXPECT_EQ(s.at(25, 25)[1], 0);
    EXPECT_EQ(s.at(125, 25)[0], 0);
    EXPECT_EQ(s.at(125, 25)[1], 255);
    EXPECT_FALSE(s.lit(12, 12)); // state 0: its own picture, tinted red
    EXPECT_EQ(s.at(37, 12)[0], 255);
    EXPECT_EQ(s.at(112, 12)[1], 255); // state 1: its own picture, tinted green
    EXPECT_FALSE(s.lit(137, 12));
    EXPECT_EQ(s.at(212, 12)[2], 255);
    EXPECT_EQ(s.at(212, 12)[0] + s.at(212, 12)[1], 0);
    EXPECT_FALSE(s.lit(237, 12));
}

TEST_F(Render, DiscsAndCylindersFollowTheirRadiusAndAngle) {
    gl_set_color(white);
    glTranslatef(100, 100, 0);
    draw_disc(50, 6.2831855f, 1);
    glLoadIdentity();
    glTranslatef(250, 100, 0);
    draw_disc(40, static_cast<float>(M_PI), 1); // half disc, upper half
    glLoadIdentity();
    glTranslatef(100, 300, 0);
    draw_cylinder(30, 6.2831855f, 1, 0.5f);
    glLoadIdentity();
    glTranslatef(250, 300, 0);
    draw_disc(30, 6.2831855f, 0); // rim only
    glLoadIdentity();
    Screen s;
    EXPECT_TRUE(s.lit(100, 100));
    EXPECT_TRUE(s.lit(146, 100));
    EXPECT_FALSE(s.lit(153, 100));
    EXPECT_TRUE(s.lit(133, 133));  // r = 47
    EXPECT_FALSE(s.lit(138, 138)); // r = 54
    EXPECT_TRUE(s.lit(250, 120));
    EXPECT_FALSE(s.lit(250, 80));
    EXPECT_TRUE(s.lit(100, 300));
    EXPECT_TRUE(s.lit(127, 300));
    EXPECT_FALSE(s.lit(133, 300));
    EXPECT_FALSE(s.lit(250, 300));
    EXPECT_GT(s.lit_count(277, 295, 283, 305), 0);
}

TEST_F(Render, BoxAndCrossCoverTheirRectangle) {
    gl_set_color(white);
    const Rect a = {10, 60, 10, 60}, b = {100, 200, 100, 200};
    draw_box(&a, 1, 0.5f);
    draw_cross(&b);
    Screen s;
    EXPECT_EQ(s.lit_count(0, 0, 90, 480), 50 * 50);
    EXPECT_GT(s.lit_count(148, 148, 152, 152), 0); // diagonals meet in the middle
    EXPECT_EQ(s.lit_count(140, 105, 160, 125), 0); // nothing between them
    EXPECT_GT(s.lit_count(100, 100, 110, 110), 5);
    EXPECT_GT(s.lit_count(190, 100, 200, 110), 5);
}

// ---- Labelled boxes --------------------------------------------------------

TEST_F(Render, LabelBoxDrawsPictureFillOutlineOrNothing) {
    const uint8_t fill[4] = {200, 100, 50, 255}, ink[4] = {0, 0, 255, 255};
    // A button picture that is half black so "textured" is visible: left column black.
    const TextureStandIn picture(&button_texture,
                                 make_texture(2, 1, {0, 0, 0, 255, 255, 255, 255, 255}));
    const Rect pic = {0, 100, 0, 100}, plain = {110, 210, 0, 100}, outline = {0, 100, 200, 300},
               none = {110, 210, 200, 300};
    draw_label_box(&pic, "", fill, ink);
    draw_label_box(&plain, nullptr, fill, nullptr);
    draw_label_box(&outline, "", nullptr, ink);
    gl_set_color(white);
    draw_label_box(&none, "", nullptr, nullptr);
    Screen s;
    EXPECT_EQ(s.at(25, 50)[0], 0); // black half of the picture
    EXPECT_EQ(s.at(75, 50)[0], 200);
    EXPECT_EQ(s.at(75, 50)[1], 100);
    EXPECT_EQ(s.at(130, 50)[0], 200); // untextured fill
    EXPECT_EQ(s.at(190, 50)[0], 200);
    EXPECT_EQ(s.lit_count(2, 202, 98, 298), 0); // outline: inside dark
    EXPECT_GT(s.lit_count(0, 200, 100, 300), 150);
    EXPECT_EQ(s.at(50, 299)[2] + s.at(50, 300)[2] > 0, true);
    EXPECT_EQ(s.lit_count(105, 195, 215, 305), 0); // no colours, no text: nothing
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(Render, OneCharacterLabelIsCentredAndScaledInASquare) {
    font_init_texture(white_texture());
    begin_frame(); // appending replaced the buffers: attach them again
    text_shadow_enabled = 0;
    const uint8_t ink[4] = {255, 255, 255, 255};
    const Rect r = {100, 220, 200, 320};
    draw_label_box(&r, "M", nullptr, ink);
    text_shadow_enabled = 1;
    Screen s;
    // Text box 3x2 grown to 3x3 on a 120-pixel square: 40 pixels a unit; the
    // text size 2 makes a 35-unit cell 2 units high.
    const float px = 40.0f * 2.0f / 35.0f;
    const int g = 'M' - 32;
    // Centred: the pen starts half the line's advance left of the centre.
    const float pen = -font.glyph_advance[g] / 2.0f;
    const float left = 160 + (pen + font.glyph_bearing[g]) * px;
    const float right = left + (font.glyph_width[g] + 2 * font.pad_x) * px;
    const float half_h = (font.cell_height + 2 * font.pad_y) / 2 * px;
    // Only the glyph: the outline is drawn in ink too, so look inside the box.
    int lo = 320, hi = -1, bottom = 480, top = -1;
    for (int y = 202; y < 318; y++)
        for (int x = 102; x < 218; x++)
            if (s.lit(x, y)) {
                lo = std::min(lo, x);
                hi = std::max(hi, x);
                bottom = std::min(bottom, y);
                top = std::max(top, y);
            }
    EXPECT_NEAR(lo, left, 1.0);
    EXPECT_NEAR(hi + 1, right, 1.0);
    EXPECT_NEAR(bottom, 260 - half_h, 1.0);
    EXPECT_NEAR(top + 1, 260 + half_h, 1.0);
}

} // namespace

// ---- The picture cache's GL state -------------------------------------------

// What an application's drawing leaves for what is drawn after it.
struct LeftState {
    GLint texture = 0;
    GLfloat projection[16] = {}, colour[4] = {}, material[4][4] = {}, shininess = 0;
    GLboolean blend = 0, depth = 0, lighting = 0;
    static LeftState read() {
        LeftState s;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
        glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
        glGetFloatv(GL_CURRENT_COLOR, s.colour);
        const GLenum parts[4] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};
        for (int i = 0; i < 4; i++)
            glGetMaterialfv(GL_FRONT, parts[i], s.material[i]);
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &s.shininess);
        s.blend = glIsEnabled(GL_BLEND);
        s.depth = glIsEnabled(GL_DEPTH_TEST);
        s.lighting = glIsEnabled(GL_LIGHTING);
        return s;
    }
    void expect_same(const LeftState &o, const char *what) const {
        SCOPED_TRACE(what);
        EXPECT_EQ(texture, o.texture);
        for (int i = 0; i < 16; i++)
            EXPECT_FLOAT_EQ(projection[i], o.projection[i]) << i;
        for (int i = 0; i < 4; i++)
            EXPECT_FLOAT_EQ(colour[i], o.colour[i]) << i;
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                EXPECT_FLOAT_EQ(material[i][j], o.material[i][j]) << i << "," << j;
        EXPECT_FLOAT_EQ(shininess, o.shininess);
        EXPECT_EQ(blend, o.blend);
        EXPECT_EQ(depth, o.depth);
        EXPECT_EQ(lighting, o.lighting);
    }
};

// The cache's own changes, put back: matrix mode, texture matrix, the
// texture environment, beside what GlSnapshot holds.
struct CacheOwnState {
    GlSnapshot base;
    GLint mode = 0, env = 0;
    GLfloat texture_matrix[16] = {};
    CacheOwnState() {
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
        glGetFloatv(GL_TEXTURE_MATRIX, texture_matrix);
    }
    void expect_same(const CacheOwnState &o, const char *what) const {
        base.expect_same(o.base, what);
        SCOPED_TRACE(what);
        EXPECT_EQ(mode, o.mode);
        EXPECT_EQ(env, o.env);
        for (int i = 0; i < 16; i++)
            EXPECT_FLOAT_EQ(texture_matrix[i], o.texture_matrix[i]) << i;
    }
};

int app_draws;
GLuint app_texture;
const GLfloat app_material[4][4] = {{0.1f, 0.2f, 0.3f, 1.0f},
                                    {0.4f, 0.5f, 0.6f, 1.0f},
                                    {0.7f, 0.8f, 0.9f, 1.0f},
                                    {0.0f, 0.25f, 0.5f, 1.0f}};

// A 3D-minded application: blending off, depth testing and lighting on, a
// material of its own, its own projection and texture bound.
void app_leaving_3d_state(const Rect *r) {
    app_draws++;
    draw_rect(r, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(-5.0f, 5.0f, -7.0f, 7.0f, -2.0f, 2.0f);
    glMatrixMode(GL_MODELVIEW);
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    const GLenum parts[4] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};
    for (int i = 0; i < 4; i++)
        glMaterialfv(GL_FRONT_AND_BACK, parts[i], app_material[i]);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 12.0f);
    glBindTexture(GL_TEXTURE_2D, app_texture);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

// A flat one that leaves the frame's own state but a colour.
void app_leaving_2d_state(const Rect *r) {
    app_draws++;
    gl_set_color(white);
    draw_rect(r, 1);
}

// Drawn and then cached, the picture leaves the state the application's
// drawing left, and the cache's own changes are undone. What the cached
// picture left is given back in *left; the frame's state is set again after.
void expect_cached_leaves_what_drawn_left(void (*draw)(const Rect *), LeftState *left) {
    picture_cache_set_enabled(1);
    picture_changed();
    const CacheOwnState own_before;
    const int draws = app_draws;
    picture_draw(&screen, draw);
    ASSERT_EQ(app_draws, draws + 1);
    const LeftState drawn = LeftState::read();
    CacheOwnState().expect_same(own_before, "after the drawn picture");

    // The next frame begins as frames do; the picture comes from the cache.
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    gl_set_color(white);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl_begin_2d(&screen);
    const CacheOwnState own_cached;
    picture_draw(&screen, draw);
    ASSERT_EQ(app_draws, draws + 1) << "drawn from the cache";
    *left = LeftState::read();
    left->expect_same(drawn, "after the cached picture");
    CacheOwnState().expect_same(own_cached, "after the cached picture");
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(Render, ACachedPictureLeavesTheStateTheApplicationsDrawingLeft) {
    app_texture = white_texture();
    LeftState left, flat;
    expect_cached_leaves_what_drawn_left(app_leaving_3d_state, &left);
    expect_cached_leaves_what_drawn_left(app_leaving_2d_state, &flat);
    EXPECT_TRUE(flat.blend) << "the flat application leaves blending on";
    glDeleteTextures(1, &app_texture);
    EXPECT_EQ(left.texture, static_cast<GLint>(app_texture));
    EXPECT_FALSE(left.blend);
    EXPECT_TRUE(left.depth);
    EXPECT_TRUE(left.lighting);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_FLOAT_EQ(left.material[i][j], app_material[i][j]) << i << "," << j;
    EXPECT_FLOAT_EQ(left.shininess, 12.0f);
    EXPECT_FLOAT_EQ(left.projection[0], 2.0f / 10.0f) << "the application's own projection";
}
