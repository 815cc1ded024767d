// Text: font metrics and glyph quads, measuring, and the layout of aligned,
// wrapped and numeric text, read back from a real 320x480 GL window. The font
// texture is a solid white picture, so every glyph quad lights its whole cell
// and the lit pixels show exactly where the layout put each cell.
#include <vostrel/text/text.h>

#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include "support.h"
#include <vostrel/text/text_internal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <GLES/gl.h>
#include <string.h>
#include <vector>

namespace {

const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};

unsigned white_texture() {
    GLuint name = 0;
    const std::vector<uint8_t> px(16, 255);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

int glyph(char c) { return static_cast<uint8_t>(c) - FONT_FIRST_CHAR; }

// Where the cells of a line land, in font units from the pen's start.
struct Extent {
    float left, right;
};
Extent cells_of(const char *line) {
    Extent e = {1e9f, -1e9f};
    float pen = 0.0f;
    for (const char *p = line; *p && *p != '\n'; p++) {
        const int g = glyph(*p);
        const float a = pen + font.glyph_bearing[g];
        e.left = std::min(e.left, a);
        e.right = std::max(e.right, a + font.glyph_width[g] + 2.0f * font.pad_x);
        pen += font.glyph_advance[g];
    }
    return e;
}

struct Screen {
    std::vector<uint8_t> px = read_pixels(0, 0, 320, 480);
    const uint8_t *at(int x, int y) const { return &px[(static_cast<size_t>(y) * 320 + x) * 4]; }
    bool lit(int x, int y) const { return at(x, y)[0] > 200; }
    // Lit span [first, past-last) of row y (x0..x1) or, with column set, of column x = y; {0, 0}
    // when dark.
    Extent span(int line, bool column = false, int from = 0, int to = -1) const {
        if (to < 0) to = column ? 480 : 320;
        Extent e = {0, 0};
        for (int i = from; i < to; i++)
            if (column ? lit(line, i) : lit(i, line)) {
                if (e.right == 0) e.left = static_cast<float>(i);
                e.right = static_cast<float>(i + 1);
            }
        return e;
    }
    Extent row(int y, int from = 0, int to = 320) const { return span(y, false, from, to); }
    Extent column(int x) const { return span(x, true); }
};

const uint8_t white[4] = {255, 255, 255, 255};

class Text : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        fresh_gl_state();
        font_init_texture(white_texture());
        ASSERT_NE(font.font_texture, 0u);
        gl_set_viewport(&screen);
        gl_begin_2d(&screen);
        glLoadIdentity();
        frame_begin(&screen);
        gl_set_color(white);
        text_shadow_enabled = 1;
    }
    void TearDown() override {
        text_shadow_enabled = 1;
        font_release();
        gl_release();
    }
    static void begin_frame_on_grey() {
        frame_begin(&screen); // appending replaced the buffers: attach them again
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
        gl_set_color(white);
    }
    // Row through the centre line of wrapped line k whose first line's top is at 460.
    static int line_y(int k) {
        return static_cast<int>(460 - font.line_height / 2 - k * font.line_height);
    }
    // Half a cell, the vertical reach of a line's quads from its centre line.
    static float half_cell() { return (font.cell_height + 2.0f * font.pad_y) / 2.0f; }
};

// ---- Metrics and measuring --------------------------------------------------

TEST(FontMetrics, TablesPackEachBandFromTheLeftAndFitThePicture) {
    FontMetrics m;
    memset(&m, 0x5a, sizeof m);
    font_set_metrics(&m);
    EXPECT_EQ(m.glyph_count, 95);
    const int32_t bands[FONT_BANDS] = {19, 34, 49, 64, 80, 95};
    for (int b = 0; b < FONT_BANDS; b++)
        EXPECT_EQ(m.band_end[b], bands[b]);

    EXPECT_EQ(m.glyph_width[glyph(' ')], 0.0f);
    EXPECT_EQ(m.glyph_advance[glyph(' ')], 9.3379f);
    EXPECT_EQ(m.glyph_width[glyph('6')], 14.0f);
    EXPECT_EQ(m.glyph_bearing[glyph('"')], 4.6621f);
    EXPECT_EQ(m.glyph_advance[glyph('X')], 18.6758f);

    // Every glyph has a picture wider than nothing except the space, and each
    // band's cells follow each other without gaps inside the 256-pixel width.
    int start = 0;
    for (int b = 0; b < FONT_BANDS; b++) {
        EXPECT_EQ(m.glyph_x[start], 0.0f) << "band " << b;
        for (int g = start + 1; g < m.band_end[b]; g++)
            EXPECT_FLOAT_EQ(m.glyph_x[g], m.glyph_x[g - 1] + m.glyph_width[g - 1] + 2 * m.pad_x)
                << g;
        const int last = m.band_end[b] - 1;
        EXPECT_LE(m.glyph_x[last] + m.glyph_width[last] + 2 * m.pad_x, 256.0f) << "band " << b;
        start = m.band_end[b];
    }
    for (int g = 1; g < 95; g++)
        EXPECT_GT(m.glyph_width[g], 0.0f) << g;
    for (int g = 95; g < FONT_TABLE_SIZE; g++) {
        EXPECT_EQ(m.glyph_width[g], 0.0f) << g;
        EXPECT_EQ(m.glyph_advance[g], 0.0f) << g;
    }
}

TEST_F(Text, MeasuresScaleAndAverageAdvance) {
    EXPECT_FLOAT_EQ(font.average_advance, 17.191591f);
    EXPECT_NEAR(font_line_width("AB\nCDE"), 37.3242f, 1e-3);
    EXPECT_EQ(font_word_width(" x"), 0.0f);
    EXPECT_NEAR(font_word_width("Mi\tx"), 28.0f + 9.3379f, 1e-4);
    EXPECT_NEAR(font_word_width("ab\rc"), 2 * 18.6621f, 1e-4);
    EXPECT_EQ(font_line_width(""), 0.0f);
    EXPECT_EQ(font_scale(35.0f), 1.0f);
    EXPECT_EQ(font_scale(17.5f), 0.5f);
    EXPECT_EQ(font_glyph_advance('\t'), 0.0f);
    EXPECT_EQ(font_glyph_advance(255), 0.0f);
}

TEST_F(Text, GlyphQuadsSitInTheirBandsAroundThePen) {
    EXPECT_EQ(vertex_store_count(), 168 + 892);
    const float *pos = vertex_store_array(VERTEX_POSITION),
                *tex = vertex_store_array(VERTEX_TEXCOORD);
    const float pitch = 42.387388f;
    struct Case {
        char c;
        int band;
    };
    for (Case k : {Case{' ', 0}, Case{'2', 0}, Case{'3', 1}, Case{'A', 1}, Case{'B', 2},
                   Case{'_', 3}, Case{'o', 4}, Case{'p', 5}, Case{'~', 5}}) {
        SCOPED_TRACE(k.c);
        const int g = glyph(k.c);
        const int v = font.first_vertex[g];
        EXPECT_EQ(v, 168 + 4 * g);
        const float *t = tex + 4 * v, *p = pos + 4 * v;
        const float cell = font.glyph_width[g] + 2 * font.pad_x;
        // Order: top-left, top-right, bottom-right, bottom-left.
        EXPECT_NEAR(t[0], font.glyph_x[g] / 256.0f, 1e-6);
        EXPECT_NEAR(t[4] - t[0], cell / 256.0f, 1e-6);
        EXPECT_NEAR(t[1], pitch * (k.band + 1) / 256.0f, 1e-5);
        EXPECT_NEAR(t[9], pitch * k.band / 256.0f, 1e-5);
        EXPECT_EQ(t[5], t[1]);
        EXPECT_EQ(t[12], t[0]);
        EXPECT_NEAR(p[0], font.glyph_bearing[g] - font.average_advance / 2, 1e-5);
        EXPECT_NEAR(p[4] - p[0], cell, 1e-5);
        EXPECT_NEAR(p[1], pitch / 2, 1e-5);
        EXPECT_NEAR(p[9], -pitch / 2, 1e-5);
        EXPECT_EQ(p[12], p[0]);
    }
    // Codes beyond the glyphs have quads that cover nothing.
    for (int c = 127; c < 255; c++) {
        const float *p = pos + 4 * font.first_vertex[c - 32];
        EXPECT_EQ(p[0], p[4]) << c;
    }
}

TEST_F(Text, CountsLinesAndTheLongestLine) {
    int longest = -1;
    EXPECT_EQ(text_count_lines("", &longest), 1);
    EXPECT_EQ(longest, 0);
    EXPECT_EQ(text_count_lines("A\nBC", &longest), 2);
    EXPECT_EQ(longest, 2);
    EXPECT_EQ(text_count_lines("ABC\n", &longest), 2);
    EXPECT_EQ(longest, 3);
    EXPECT_EQ(text_count_lines("\n\n", &longest), 3);
    EXPECT_EQ(longest, 0);
    EXPECT_EQ(text_count_lines("ab\nlongest\nc", nullptr), 3);
    longest = 7;
    EXPECT_EQ(text_count_lines(nullptr, &longest), 0);
    EXPECT_EQ(longest, 0);
}

// ---- Aligned text -------------------------------------------------------------

TEST_F(Text, HorizontalAlignmentPlacesThePenRun) {
    const char *line = "HEy!";
    const float width = font_line_width(line);
    const Extent cells = cells_of(line);
    text_draw_aligned(line, 35, 40, 400, TEXT_ALIGN_LEFT, TEXT_ALIGN_CENTRE);   // left: starts at x
    text_draw_aligned(line, 35, 280, 240, TEXT_ALIGN_RIGHT, TEXT_ALIGN_CENTRE); // right: ends at x
    text_draw_aligned(line, 35, 160, 80, TEXT_ALIGN_CENTRE, TEXT_ALIGN_CENTRE); // centred on x
    Screen s;
    const Extent left = s.row(400), right = s.row(240), centre = s.row(80);
    EXPECT_NEAR(left.left, 40 + cells.left, 1.0);
    EXPECT_NEAR(left.right, 40 + cells.right, 1.0);
    EXPECT_NEAR(right.left, 280 - width + cells.left, 1.0);
    EXPECT_NEAR(right.right, 280 - width + cells.right, 1.0);
    EXPECT_NEAR(centre.left, 160 - width / 2 + cells.left, 1.0);
    EXPECT_NEAR(centre.right, 160 - width / 2 + cells.right, 1.0);
}

TEST_F(Text, VerticalAlignmentPlacesTheBlock) {
    // Each at its own x so the columns do not mix; one glyph, "I", per line.
    text_draw_aligned("I\nI", 35, 40, 240, TEXT_ALIGN_LEFT,
                      TEXT_ALIGN_CENTRE); // centred: lines at y + 14 and y - 14
    text_draw_aligned("I", 35, 120, 240, TEXT_ALIGN_LEFT,
                      TEXT_ALIGN_CENTRE); // one line centred on y
    text_draw_aligned("I", 35, 200, 240, TEXT_ALIGN_LEFT,
                      TEXT_ALIGN_ABOVE); // above: centre half a line above
    text_draw_aligned("I", 35, 280, 240, TEXT_ALIGN_LEFT,
                      TEXT_ALIGN_BELOW); // below: centre half a line below
    Screen s;
    const float h = half_cell(), lh = font.line_height;
    const int dx = static_cast<int>(font.glyph_bearing[glyph('I')] + 3);
    const Extent two = s.column(40 + dx), one = s.column(120 + dx), above = s.column(200 + dx),
                 below = s.column(280 + dx);
    EXPECT_NEAR(two.left, 240 - lh / 2 - h, 1.0);
    EXPECT_NEAR(two.right, 240 + lh / 2 + h, 1.0);
    EXPECT_NEAR(one.left, 240 - h, 1.0);
    EXPECT_NEAR(one.right, 240 + h, 1.0);
    EXPECT_NEAR(above.left, 240 + lh / 2 - h, 1.0);
    EXPECT_NEAR(below.right, 240 - lh / 2 + h, 1.0);
}

TEST_F(Text, ScalesWithTheSizeAndLeavesStateAsFound) {
    GLint depth_before = 0, depth_after = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
    const uint8_t ink[4] = {255, 200, 100, 255};
    gl_set_color(ink);
    text_draw("W", 70, 160, 240); // twice the picture's size
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
    EXPECT_EQ(depth_after, depth_before);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour); // the shadow's black did not stick
    EXPECT_FLOAT_EQ(colour[1], 200 / 255.0f);
    Screen s;
    const Extent cells = cells_of("W");
    const float pen = 160 - font.glyph_advance[glyph('W')]; // half the run, doubled
    EXPECT_NEAR(s.row(240).left, pen + 2 * cells.left, 1.0);
    EXPECT_NEAR(s.row(240).right, pen + 2 * cells.right, 1.0);
    EXPECT_NEAR(s.column(160).right - s.column(160).left, 4 * half_cell(), 1.5);
    EXPECT_EQ(s.at(160, 240)[1], 200);
}

TEST_F(Text, ShadowSitsBelowRightOfEachGlyph) {
    begin_frame_on_grey();
    text_draw_aligned("H", 70, 100, 240, TEXT_ALIGN_LEFT,
                      TEXT_ALIGN_CENTRE); // 2 font units of shadow = 4 pixels
    Screen s;
    const int g = glyph('H');
    const float left = 100 + 2 * font.glyph_bearing[g];
    const float right = left + 2 * (font.glyph_width[g] + 2 * font.pad_x);
    const float top = 240 + 2 * half_cell(), bottom = 240 - 2 * half_cell();
    auto grey = [&](int x, int y) { return s.at(x, y)[0] > 100 && s.at(x, y)[0] < 150; };
    auto black = [&](int x, int y) { return s.at(x, y)[0] < 20; };
    const int r = static_cast<int>(right), l = static_cast<int>(left);
    const int t = static_cast<int>(top), b = static_cast<int>(bottom);
    EXPECT_TRUE(s.lit(r - 2, 240));
    EXPECT_TRUE(black(r + 2, 240));    // shadow right of the glyph
    EXPECT_TRUE(grey(r + 6, 240));     // ...only 4 pixels wide
    EXPECT_TRUE(black(l + 20, b - 2)); // shadow below
    EXPECT_TRUE(grey(l + 20, b - 6));
    EXPECT_TRUE(grey(l - 2, 240));    // nothing left of the glyph
    EXPECT_TRUE(grey(l + 20, t + 2)); // nothing above
    EXPECT_TRUE(s.lit(l + 20, t - 2));
    EXPECT_TRUE(grey(l + 1, b - 2)); // the shadow starts 4 pixels to the right
    EXPECT_TRUE(black(l + 5, b - 2));
}

TEST_F(Text, GlyphDrawsItsShadowAtTheOriginAndKeepsTheInk) {
    begin_frame_on_grey();
    const uint8_t ink[4] = {255, 200, 100, 255};
    gl_set_color(ink);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.font_texture);
    glTranslatef(100, 240, 0);
    glScalef(2, 2, 1); // 2 font units of shadow = 4 pixels
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    font_draw_glyph('H');
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    glDisable(GL_TEXTURE_2D);
    glLoadIdentity();
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(after[i], before[i]) << "the origin stays put, element " << i;
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLfloat colour[4], material[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, material);
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(colour[i], ink[i] / 255.0f) << i;
        EXPECT_FLOAT_EQ(material[i], ink[i] / 255.0f) << i;
    }

    Screen s;
    // The quad carries the -average_advance/2 that the layout code undoes.
    const int g = glyph('H');
    const float left = 100 + 2 * (font.glyph_bearing[g] - font.average_advance / 2);
    const float right = left + 2 * (font.glyph_width[g] + 2 * font.pad_x);
    const int l = static_cast<int>(left), r = static_cast<int>(right);
    const int t = static_cast<int>(240 + 2 * half_cell()),
              b = static_cast<int>(240 - 2 * half_cell());
    auto grey = [&](int x, int y) { return s.at(x, y)[0] > 100 && s.at(x, y)[0] < 150; };
    auto black = [&](int x, int y) { return s.at(x, y)[0] < 20; };
    EXPECT_EQ(s.at(l + 20, 240)[0], 255); // the glyph in the ink colour, over its shadow
    EXPECT_EQ(s.at(l + 20, 240)[1], 200);
    EXPECT_TRUE(s.lit(r - 2, 240));
    EXPECT_TRUE(black(r + 2, 240)); // shadow right of the glyph
    EXPECT_TRUE(grey(r + 6, 240));
    EXPECT_TRUE(black(l + 20, b - 2)); // shadow below
    EXPECT_TRUE(grey(l + 20, b - 6));
    EXPECT_TRUE(grey(l - 2, 240)); // nothing left of or above the glyph
    EXPECT_TRUE(grey(l + 20, t + 2));
    EXPECT_TRUE(grey(l + 1, b - 2)); // the shadow starts 4 pixels to the right
    EXPECT_TRUE(black(l + 5, b - 2));
}

// ---- Wrapped text ---------------------------------------------------------------

TEST_F(Text, WrapsWholeWordsAtTheLimit) {
    // A=18.6621, B=18.6621, C=16.3379, space=9.3379 at size 35 (one unit a pixel),
    // limit 100: "AAA " is 65.33; "BB" would reach 102.65, so it moves down;
    // "BB " is 46.66; "CCCC" would reach 112.0, so it moves down too.
    text_draw_wrapped("AAA BB CCCC", 35, 20, 460, 100);
    text_draw_wrapped("A\nAA", 35, 200, 460, 1000); // a line feed always breaks
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    Screen s;
    const char *lines[4] = {"AAA ", "BB ", "CCCC", nullptr};
    for (int k = 0; k < 4; k++) {
        const Extent row = s.row(line_y(k), 0, 180);
        if (!lines[k]) {
            EXPECT_EQ(row.right, 0.0f) << "no fourth line";
            break;
        }
        EXPECT_NEAR(row.left, 20 + cells_of(lines[k]).left, 1.0) << lines[k];
        EXPECT_NEAR(row.right, 20 + cells_of(lines[k]).right, 1.0) << lines[k];
    }
    EXPECT_NEAR(s.row(line_y(0), 190).right, 200 + cells_of("A").right, 1.0);
    EXPECT_NEAR(s.row(line_y(1), 190).right, 200 + cells_of("AA").right, 1.0);
}

TEST_F(Text, WordsReachingTheLimitBreakBeforeTheirFirstCharacter) {
    // M = 28, limit 100. "MMMMM" (140) breaks before its first character, then
    // before the second (28 + 112) and third (28 + 84), not the fourth
    // (28 + 56 = 84): lines "", "M", "M", "MM". "AB" measures exactly its
    // limit: the test is >=, so it breaks before "A" and again before "B".
    text_draw_wrapped("MMMMM", 35, 20, 460, 100);
    text_draw_wrapped("AB", 35, 200, 460, font_word_width("AB"));
    Screen s;
    const float m = 20 + cells_of("M").right, mm = 20 + cells_of("MMM").right,
                a = 200 + cells_of("A").right;
    const float want_left[5] = {0, m, m, mm, 0}, want_right[5] = {0, a, a, 0, 0};
    for (int k = 0; k < 5; k++) {
        EXPECT_NEAR(s.row(line_y(k), 0, 180).right, want_left[k], 1.0) << "line " << k;
        EXPECT_NEAR(s.row(line_y(k), 190).right, want_right[k], 1.0) << "line " << k;
    }
}

// ---- Numbers --------------------------------------------------------------------

TEST_F(Text, FormatsNumbersWithZeroPaddingWithinTwentyBytes) {
    char out[64];
    EXPECT_EQ(text_format_number(3.14159f, 6, 2, out, sizeof out), 6);
    EXPECT_STREQ(out, "003.14");
    EXPECT_EQ(text_format_number(-2.7f, 3, 0, out, sizeof out), 3);
    EXPECT_STREQ(out, "-02");
    text_format_number(7.9f, 1, 0, out, sizeof out);
    EXPECT_STREQ(out, "7");

    // Widths of 20 and more stay inside the buffers: the field is 19 wide.
    memset(out, 'x', sizeof out);
    EXPECT_EQ(text_format_number(3.14159f, 25, 2, out, sizeof out), 19);
    EXPECT_STREQ(out, "0000000000000003.14");
    EXPECT_EQ(text_format_number(-5.0f, 255, 0, out, sizeof out), 19);
    EXPECT_STREQ(out, "-000000000000000005");
    EXPECT_LE(text_format_number(1e30f, 40, 200, out, sizeof out), 19);
    EXPECT_EQ(strlen(out), 19u);
    EXPECT_EQ(text_format_number(3e9f, 3, 0, out, sizeof out), 10); // clamped to the int range
    EXPECT_STREQ(out, "2147483647");
    // A short destination gets a cut, terminated copy.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(text_format_number(12345.0f, 0, 0, small, sizeof small), 5);
    EXPECT_STREQ(small, "123");
}

TEST_F(Text, DrawsNumbersCentredOnThePoint) {
    text_draw_number(3.14159f, 6, 2, 35, 160, 300);
    text_draw_int(-27, 4, 35, 160, 100);
    Screen s;
    const Extent a = cells_of("003.14"), b = cells_of("-027");
    EXPECT_NEAR(s.row(300).left, 160 - font_line_width("003.14") / 2 + a.left, 1.0);
    EXPECT_NEAR(s.row(300).right, 160 - font_line_width("003.14") / 2 + a.right, 1.0);
    EXPECT_NEAR(s.row(100).left, 160 - font_line_width("-027") / 2 + b.left, 1.0);
    EXPECT_NEAR(s.row(100).right, 160 - font_line_width("-027") / 2 + b.right, 1.0);
}

TEST_F(Text, RealFontShowsGlyphsAndAnInvisibleSpace) {
    font_release();
    font_init();
    ASSERT_NE(font.font_texture, 0u);
    begin_frame_on_grey();
    text_draw("  ", 140, 160, 240); // four times the picture's size
    Screen blank;
    int changed = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 320; x++)
            changed += blank.at(x, y)[0] != blank.at(0, 0)[0];
    EXPECT_EQ(changed, 0) << "the space and its shadow show nothing";

    text_draw("H", 140, 160, 240);
    Screen s;
    // The glyph lights pixels, all of them inside its cell (plus the shadow's reach).
    const int g = glyph('H');
    const float left = 160 + 4 * (-font.glyph_advance[g] / 2 + font.glyph_bearing[g]);
    const float right = left + 4 * (font.glyph_width[g] + 2 * font.pad_x) + 8;
    int lit = 0, outside = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 320; x++)
            if (s.at(x, y)[0] > 200) {
                lit++;
                if (x < left - 1 || x > right + 1 || y < 240 - 4 * half_cell() - 9 ||
                    y > 240 + 4 * half_cell() + 1)
                    outside++;
            }
    EXPECT_GT(lit, 200);
    EXPECT_EQ(outside, 0);
}

TEST_F(Text, EmptyFontDrawsNothing) {
    font_release();
    EXPECT_EQ(font_scale(35), 0.0f);
    text_draw("HELLO", 35, 160, 240);
    text_draw_wrapped("HELLO", 35, 10, 400, 100);
    text_draw_int(5, 2, 35, 160, 100);
    Screen s;
    for (int y = 0; y < 480; y += 4)
        EXPECT_EQ(s.row(y).right, 0.0f) << y;
}

} // namespace
