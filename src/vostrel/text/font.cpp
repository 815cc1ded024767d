// The bitmap font: 95 glyphs (codes 32..126) in a 256x256 picture of six bands
// stacked from the bottom edge, one textured quad per character code 32..254
// in the shared vertex store, the drop-shadowed drawing of one glyph, and the
// two measuring functions the layout code uses. All quantities are font units
// (pixels of the picture).
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>

#include <vostrel/assets/assets.h>
#include <vostrel/render/render.h>

#include <ctype.h>
#include <GLES/gl.h>
#include <stdlib.h>
#include <string.h>

FontMetrics font;

const FontMetrics *font_metrics(void) { return &font; }

int text_shadow_enabled = 1;
uint8_t text_shadow_colour[4] = {0, 0, 0, 255};

namespace {

constexpr int QUADS = FONT_CHAR_LIMIT - FONT_FIRST_CHAR; // 223 quads, 892 vertices
constexpr int QUAD_VERTICES = QUADS * 4;

struct MetricGroup {
    float value;
    const char *chars;
};

// Glyph metrics grouped by value; characters not listed take the default.
// The asset generator (tools/assetgen/font.py) reads these tables and the
// values font_set_metrics sets to draw the font picture: keep their shape.
constexpr MetricGroup width_groups[] = {
    {0.0f, " "},
    {2.3242f, "|"},
    {2.3379f, "'"},
    {4.6621f, "!,.:;Iil"},
    {4.6758f, "`"},
    {7.0f, "\"()1[]{}"},
    {9.3379f, "t"},
    {11.6621f, "$+-/EFLS\\cfjrs"},
    {11.9355f, "*"},
    {12.8379f, "<>"},
    {14.0f, "02356789=?ABCDGHJOPQRTUVXYZ^abdeghnopquvxyz~"},
    {16.3379f, "4KNk"},
    {18.6621f, "#&_"},
    {21.0f, "%@"},
    {23.3379f, "MWmw"},
};

constexpr float default_bearing = 2.3379f;
constexpr MetricGroup bearing_groups[] = {
    {0.0f, " 4JT_j"}, {0.4648f, "<"}, {0.6973f, ">"}, {2.2012f, "*"}, {4.6621f, "!\"1I|`"},
};

constexpr float default_advance = 18.6621f;
constexpr MetricGroup advance_groups[] = {
    {7.0f, "'"},
    {9.3379f, " ,.:;il"},
    {11.6621f, "()[]{|}"},
    {14.0f, "!<>IT`fjrt"},
    {16.3379f, "\"$*+-/EFJLS\\cs"},
    {18.6758f, "X"},
    {21.0f, "KN"},
    {23.3379f, "#&"},
    {25.6621f, "%@"},
    {28.0f, "MWmw"},
};

template <size_t N>
void fill_table(float *table, float fallback, const MetricGroup (&groups)[N], int count) {
    for (int g = 0; g < count; g++)
        table[g] = fallback;
    for (const MetricGroup &group : groups)
        for (const char *c = group.chars; *c; c++)
            table[static_cast<uint8_t>(*c) - FONT_FIRST_CHAR] = group.value;
}

// The glyph index of a character that has a quad, or -1 (codes below 32 and 255).
int quad_index(uint8_t c) {
    if (c < FONT_FIRST_CHAR || c >= FONT_CHAR_LIMIT) return -1;
    return c - FONT_FIRST_CHAR;
}

void set3(float *v, float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

void draw_quad(int g) { glDrawArrays(GL_TRIANGLE_FAN, font.first_vertex[g], 4); }

} // namespace

void font_set_metrics(FontMetrics *m) {
    m->glyph_count = 95;
    m->texture_width = 256.0f;
    m->texture_height = 256.0f;
    m->pad_x = 1.5315321f;
    m->pad_y = 3.6936941f;
    m->cell_height = 35.0f;
    m->line_height = 28.0f;
    const int32_t band_end[FONT_BANDS] = {19, 34, 49, 64, 80, 95};
    memcpy(m->band_end, band_end, sizeof band_end);

    // Entries beyond the 95 glyphs stay zero: such characters take no room and
    // their quads are degenerate (see font_build_glyphs).
    memset(m->glyph_width, 0, sizeof m->glyph_width);
    memset(m->glyph_x, 0, sizeof m->glyph_x);
    memset(m->glyph_bearing, 0, sizeof m->glyph_bearing);
    memset(m->glyph_advance, 0, sizeof m->glyph_advance);
    fill_table(m->glyph_width, 0.0f, width_groups, m->glyph_count);
    fill_table(m->glyph_bearing, default_bearing, bearing_groups, m->glyph_count);
    fill_table(m->glyph_advance, default_advance, advance_groups, m->glyph_count);

    // Cells are packed from the left edge of each band without gaps.
    int band = 0;
    for (int g = 0; g < m->glyph_count; g++) {
        const int band_start = band == 0 ? 0 : m->band_end[band - 1];
        if (g == band_start)
            m->glyph_x[g] = 0.0f;
        else
            m->glyph_x[g] = m->glyph_x[g - 1] + m->glyph_width[g - 1] + 2.0f * m->pad_x;
        if (g + 1 == m->band_end[band] && band + 1 < FONT_BANDS) band++;
    }
}

void font_build_glyphs(void) {
    float *pos = static_cast<float *>(calloc(QUAD_VERTICES * 3, sizeof(float)));
    float *tex = static_cast<float *>(calloc(QUAD_VERTICES * 3, sizeof(float)));
    const float pitch = font.cell_height + 2.0f * font.pad_y;
    const float half_average = static_cast<float>(static_cast<double>(font.average_advance) / 2.0);
    const float y_top = pitch / 2.0f, y_bottom = -pitch / 2.0f;

    for (int g = 0; g < QUADS; g++) {
        font.first_vertex[g] = 4 * g;
        int band = 0;
        while (band < FONT_BANDS && !(font.band_end[band] > g))
            band++;
        float *p = pos + 12 * g, *t = tex + 12 * g;
        // A code without a glyph (127..254) gets a zero-width quad at the pen
        // on texture point (0, 0): it draws nothing, shadow included.
        if (g >= font.glyph_count || band == FONT_BANDS) continue;

        const float cell = font.glyph_width[g] + 2.0f * font.pad_x;
        const float s0 = font.glyph_x[g] / font.texture_width;
        const float s1 = s0 + cell / font.texture_width;
        const float t_top = pitch * static_cast<float>(band + 1) / font.texture_height;
        const float t_bottom = pitch * static_cast<float>(band) / font.texture_height;
        set3(t + 0, s0, t_top, 0.0f);
        set3(t + 3, s1, t_top, 0.0f);
        set3(t + 6, s1, t_bottom, 0.0f);
        set3(t + 9, s0, t_bottom, 0.0f);

        const float x0 = font.glyph_bearing[g] - half_average;
        const float x1 = x0 + font.glyph_width[g] + 2.0f * font.pad_x;
        set3(p + 0, x0, y_top, 0.0f);
        set3(p + 3, x1, y_top, 0.0f);
        set3(p + 6, x1, y_bottom, 0.0f);
        set3(p + 9, x0, y_bottom, 0.0f);
    }

    const int base = vertex_store_add(QUAD_VERTICES, pos, nullptr, tex, nullptr);
    for (int32_t &first : font.first_vertex)
        first += base;
    free(pos);
    free(tex);
}

void font_init_texture(unsigned texture) {
    if (!texture) return;
    font_set_metrics(&font);
    font.font_texture = texture;
    float sum = 0.0f;
    for (int g = 0; g < font.glyph_count; g++)
        sum += font.glyph_advance[g];
    font.average_advance = sum / static_cast<float>(font.glyph_count);
    font_build_glyphs();
}

void font_init(void) { font_init_texture(texture_from_asset(&vostrel_asset_font_chicago_png)); }

void font_release(void) {
    if (font.font_texture) glDeleteTextures(1, &font.font_texture);
    memset(&font, 0, sizeof font);
}

// The shadow pass comes first so the ink lies over it; the colour is read back
// from GL, so whatever the caller set (bytes or floats) is what is restored.
void font_draw_shadowed(void (*draw)(void *context), void *context) {
    if (text_shadow_enabled) {
        GLfloat ink[4];
        glGetFloatv(GL_CURRENT_COLOR, ink);
        gl_set_color(text_shadow_colour);
        glPushMatrix();
        glTranslatef(2.0f, -2.0f, 0.0f);
        draw(context);
        glPopMatrix();
        gl_set_color_f(ink);
    }
    draw(context);
}

void font_draw_glyph(uint8_t c) {
    int g = quad_index(c);
    if (g < 0 || font.glyph_count == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    font_draw_shadowed([](void *quad) { draw_quad(*static_cast<int *>(quad)); }, &g);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void font_draw_quad(uint8_t c) {
    const int g = quad_index(c);
    if (g < 0 || font.glyph_count == 0) return;
    draw_quad(g);
}

float font_scale(float size) {
    if (font.cell_height == 0.0f) return 0.0f;
    return size / font.cell_height;
}

float font_glyph_advance(uint8_t c) {
    const int g = quad_index(c);
    return g < 0 ? 0.0f : font.glyph_advance[g];
}

float font_line_width(const char *s) {
    float w = 0.0f;
    for (; s && *s && *s != '\n'; s++)
        w += font_glyph_advance(static_cast<uint8_t>(*s));
    return w;
}

float font_word_width(const char *s) {
    float w = 0.0f;
    for (; s && *s && !isspace(static_cast<unsigned char>(*s)); s++)
        w += font_glyph_advance(static_cast<uint8_t>(*s));
    return w;
}
