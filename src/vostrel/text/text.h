// Text: the one bitmap font (95 glyphs in a 256x256 picture, one textured quad
// per character in the shared vertex store, drop shadow) and the layout of
// strings: line counting, aligned and wrapped drawing, number formatting.
//
// Font quantities are font units (pixels of the font picture); a text size is
// the screen height of one 35-unit cell. Drawing uses the current GL colour
// and model-view matrix, pops what it pushes and leaves 2D texturing and the
// vertex and texture-coordinate arrays off (untouched while the font is empty).
// The font's set-up and release (the shell's) are in text_internal.h.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stdint.h>

constexpr int FONT_FIRST_CHAR = 32;
constexpr int FONT_CHAR_LIMIT = 255; // quads for codes 32..254
constexpr int FONT_TABLE_SIZE = 256;
constexpr int FONT_BANDS = 6;

// text_draw_aligned's codes: a horizontal code other than CENTRE and RIGHT
// means left, a vertical code other than CENTRE and ABOVE means below.
enum TextAlign {
    TEXT_ALIGN_CENTRE = 0, // horizontal: centred on x; vertical: the block centred on y
    TEXT_ALIGN_LEFT = 1,   // horizontal: each line starts at x
    TEXT_ALIGN_RIGHT = 2,  // horizontal: each line ends at x
    TEXT_ALIGN_BELOW = 1,  // vertical: the first line's centre half a line below y
    TEXT_ALIGN_ABOVE = 3,  // vertical: the last line's centre half a line above y
};

struct FontMetrics {
    int32_t glyph_count;      // 95: glyphs with metrics (codes 32..126)
    float texture_width;      // 256
    float texture_height;     // 256
    float pad_x;              // 1.5315321: margin left and right of each glyph picture
    float pad_y;              // 3.6936941: margin above and below each cell
    float cell_height;        // 35: the unit of text size
    float line_height;        // 28: distance between successive lines
    int32_t band_end[FONT_BANDS];        // exclusive glyph index ending each band
    float glyph_width[FONT_TABLE_SIZE];  // picture width without margins
    float glyph_x[FONT_TABLE_SIZE];      // left edge of the cell within its band
    float glyph_bearing[FONT_TABLE_SIZE]; // pen to cell's left edge
    float glyph_advance[FONT_TABLE_SIZE]; // pen movement
    unsigned font_texture;               // GL name, 0 until font_init succeeds
    float average_advance;               // mean advance over glyph_count glyphs (17.191591)
    int32_t first_vertex[FONT_TABLE_SIZE]; // first of the four quad vertices in the vertex store
};

// Font
const FontMetrics *font_metrics(void);       // the font in use, read-only; all zero until font_init
void font_draw_glyph(uint8_t c);             // quad (and shadow) at the origin, colour restored; texture bound and enabled by the caller; both arrays off on exit
void font_draw_shadowed(void (*draw)(void *context), void *context); // draw, first in the shadow colour 2 units right and down when shadows are on; colour restored
void font_draw_quad(uint8_t c);              // the quad alone, no shadow, in the current colour; texture bound and vertex and texture-coordinate arrays on by the caller
float font_scale(float size);                // size / cell_height; 0 while the font is empty
float font_glyph_advance(uint8_t c);         // pen movement after c; 0 for codes without a quad (below 32, 255)
float font_line_width(const char *s);        // advances up to the first '\n' or the end (font units)
float font_word_width(const char *s);        // advances up to the first white space or the end (font units)

// Layout (sizes and positions in the caller's units, y up)
int text_count_lines(const char *text, int *longest);    // 1 + line feeds; longest line length if asked
void text_draw(const char *text, float size, float x, float y); // centred both ways on (x, y)
void text_draw_aligned(const char *text, float size, float x, float y, int horizontal, int vertical); // TextAlign codes: h TEXT_ALIGN_CENTRE, TEXT_ALIGN_RIGHT, else left; v TEXT_ALIGN_CENTRE, TEXT_ALIGN_ABOVE, else below
void text_draw_wrapped(const char *text, float size, float x, float y, float max_width); // left-aligned, first line's top at y, word-wrapped
void text_draw_number(float value, uint8_t width, uint8_t decimals, float size, float x, float y); // "%0<w>.<d>f" or "%0<w>d", at most 19 characters
void text_draw_int(int value, uint8_t width, float size, float x, float y);                      // text_draw_number with 0 decimals
int text_format_number(float value, uint8_t width, uint8_t decimals, char *out, int size);       // the formatted text text_draw_number draws; its length
// clang-format on
