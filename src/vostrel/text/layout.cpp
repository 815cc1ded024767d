// Text layout: line counting, multi-line text aligned at a point, word-wrapped
// paragraphs, and numbers formatted for display. Drawing happens in the
// caller's colour and model-view frame, scaled from font units by the text
// size; every matrix pushed is popped, and 2D texturing and the vertex and
// texture-coordinate arrays are off on exit.
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>

#include <vostrel/render/render.h>

#include <GLES/gl.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

namespace {

constexpr int NUMBER_BUFFER = 20; // formatted numbers are at most 19 characters
constexpr int NUMBER_MAX_WIDTH = NUMBER_BUFFER - 1;

struct NumberFormatter {
    char format[NUMBER_BUFFER];
    char piece[NUMBER_BUFFER];
    char text[NUMBER_BUFFER];
};

NumberFormatter formatter;

// Binds the font picture, switches on the vertex and texture-coordinate arrays
// the glyph quads draw from, and scales the current frame from the caller's
// units to font units at (x, y); returns 0 (nothing changed) while the font is
// empty. After a 1 the caller finishes with end_text.
int begin_text(float size, float x, float y) {
    if (!font.font_texture) return 0;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.font_texture);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const float s = font_scale(size);
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glScalef(s, s, 1.0f);
    return 1;
}

// Pops begin_text's matrix; texturing and both client arrays end up off.
void end_text(void) {
    glPopMatrix();
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
}

// Draws a text in two passes, every shadow first and then every glyph, by
// running the layout 'body' twice. A colour change between draws is by far the
// costliest call on software GL (tens of microseconds each), and drawing a
// shadow per glyph changes the colour twice per glyph; in two passes it changes
// twice per text. The order changes the picture only where a later glyph's
// shadow meets an earlier glyph's ink. Cells do overlap (they include the
// transparent side margins: "TT" cells share 3 units), but a glyph's picture
// ends at most 0.02 units past the next pen position and a shadow starts 2
// units right of its glyph, so on one line the shadows never reach a
// neighbour's ink and both orders give the same pixels. Between lines the
// lowest descenders come within a unit of the tops of the next line's shadows;
// where their filtered edges touch, the orders differ by one colour level in a
// few pixels.
template <typename Body> void draw_shadowed(Body body) {
    font_draw_shadowed([](void *b) { (*static_cast<Body *>(b))(); }, &body);
}

void draw_glyph_and_advance(uint8_t c) {
    font_draw_quad(c);
    glTranslatef(font_glyph_advance(c), 0.0f, 0.0f);
}

// Formats into formatter.text and returns its length. The field width is
// limited to 19, the longest text the 20-byte buffer holds, so a padded number
// stays readable instead of being all padding; whatever is still longer (many
// decimals, huge values) is cut to its first 19 characters by the bounded
// snprintf. Integers are truncated toward zero, clamped to the int range, and
// NaN formats as 0.
int format_number(float value, uint8_t width, uint8_t decimals) {
    const int w = width > NUMBER_MAX_WIDTH ? NUMBER_MAX_WIDTH : width;
    snprintf(formatter.format, sizeof formatter.format, "%%0");
    const size_t used = strlen(formatter.format);
    if (decimals != 0) {
        snprintf(formatter.piece, sizeof formatter.piece, "%d.%df", w, static_cast<int>(decimals));
        snprintf(formatter.format + used, sizeof formatter.format - used, "%s", formatter.piece);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        snprintf(formatter.text, sizeof formatter.text, formatter.format,
                 static_cast<double>(value));
    } else {
        snprintf(formatter.piece, sizeof formatter.piece, "%dd", w);
        snprintf(formatter.format + used, sizeof formatter.format - used, "%s", formatter.piece);
        int n = 0;
        if (value >= static_cast<float>(INT_MAX))
            n = INT_MAX;
        else if (value <= static_cast<float>(INT_MIN))
            n = INT_MIN;
        else if (!isnan(value))
            n = static_cast<int>(value);
        snprintf(formatter.text, sizeof formatter.text, formatter.format, n);
#pragma GCC diagnostic pop
    }
    return static_cast<int>(strlen(formatter.text));
}

} // namespace

int text_count_lines(const char *text, int *longest) {
    if (longest) *longest = 0;
    if (!text) return 0;
    int lines = 1, run = 0;
    for (const char *p = text;; p++) {
        if (*p == '\n' || *p == '\0') {
            if (longest && run > *longest) *longest = run;
            if (*p == '\0') break;
            lines++;
            run = 0;
        } else {
            run++;
        }
    }
    return lines;
}

void text_draw(const char *text, float size, float x, float y) {
    text_draw_aligned(text, size, x, y, TEXT_ALIGN_CENTRE, TEXT_ALIGN_CENTRE);
}

void text_draw_aligned(const char *text, float size, float x, float y, int horizontal,
                       int vertical) {
    if (!text) return;
    const int n = text_count_lines(text, nullptr);
    if (!begin_text(size, x, y)) return;

    // Block origin: the first line's centre line.
    const float lh = font.line_height;
    if (vertical == TEXT_ALIGN_CENTRE)
        glTranslatef(0.0f, static_cast<float>((n - 1) / 2.0 * lh), 0.0f);
    else if (vertical == TEXT_ALIGN_ABOVE)
        glTranslatef(0.0f, (static_cast<float>(n) - 0.5f) * lh, 0.0f);
    else
        glTranslatef(0.0f, -0.5f * lh, 0.0f);

    draw_shadowed([&] {
        glPushMatrix();
        const char *line = text;
        for (int k = 0; k < n; k++) {
            glPopMatrix();
            glPushMatrix();
            // Undoes the -average_advance/2 built into every glyph quad, so the
            // pen run of a line starts exactly at the aligned position.
            glTranslatef(font.average_advance / 2.0f, 0.0f, 0.0f);
            if (horizontal == TEXT_ALIGN_CENTRE)
                glTranslatef(-font_line_width(line) / 2.0f, 0.0f, 0.0f);
            else if (horizontal == TEXT_ALIGN_RIGHT)
                glTranslatef(-font_line_width(line), 0.0f, 0.0f);
            if (k >= 1) glTranslatef(0.0f, -static_cast<float>(k) * lh, 0.0f);
            for (; *line && *line != '\n'; line++)
                draw_glyph_and_advance(static_cast<uint8_t>(*line));
            if (*line == '\n') line++;
        }
        glPopMatrix();
    });
    end_text();
}

void text_draw_wrapped(const char *text, float size, float x, float y, float max_width) {
    if (!text || !begin_text(size, x, y)) return;
    glTranslatef(font.average_advance / 2.0f, -font.line_height / 2.0f, 0.0f);
    const float limit = max_width / font_scale(size);
    draw_shadowed([&] {
        float line_width = 0.0f;
        glPushMatrix();
        for (const char *p = text; *p; p++) {
            // The rest of the current word is measured at every character, so
            // a word that does not fit moves to the next line whole; white
            // space has no word width and stays at the end of its line.
            if (*p == '\n' || font_word_width(p) + line_width >= limit) {
                glPopMatrix();
                glTranslatef(0.0f, -font.line_height, 0.0f);
                glPushMatrix();
                line_width = 0.0f;
            }
            if (*p != '\n') {
                const uint8_t c = static_cast<uint8_t>(*p);
                line_width += font_glyph_advance(c);
                draw_glyph_and_advance(c);
            }
        }
        glPopMatrix();
    });
    end_text();
}

int text_format_number(float value, uint8_t width, uint8_t decimals, char *out, int size) {
    const int length = format_number(value, width, decimals);
    if (out && size > 0) snprintf(out, static_cast<size_t>(size), "%s", formatter.text);
    return length;
}

void text_draw_number(float value, uint8_t width, uint8_t decimals, float size, float x, float y) {
    format_number(value, width, decimals);
    text_draw(formatter.text, size, x, y);
}

void text_draw_int(int value, uint8_t width, float size, float x, float y) {
    text_draw_number(static_cast<float>(value), width, 0, size, x, y);
}
