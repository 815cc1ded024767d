// Text, inside: the font record itself and the drop shadow's state, for the
// text code and for tests that set up or inspect glyph tables; the font's
// set-up and release, which the shell calls. Applications read the font
// through font_metrics.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/text/text.h>

extern FontMetrics font; // zero until font_init
extern int text_shadow_enabled;      // 1: every glyph has a drop shadow
extern uint8_t text_shadow_colour[4]; // opaque black

// Font set-up and release (start-up, every new GL context, shutdown)
void font_init(void);                        // texture, metrics, quads; with no texture the font stays empty
void font_init_texture(unsigned texture);    // font_init with the picture already a texture (taken over); 0 leaves the font empty
void font_release(void);                     // deletes the font texture, record back to zero; old context still current
void font_set_metrics(FontMetrics *m);       // fills the fixed metric tables
void font_build_glyphs(void);                // 892 vertices appended; first_vertex set
// clang-format on
