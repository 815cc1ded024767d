// Text, inside: the font record itself, for the text code and for tests that
// set up or inspect glyph tables. Applications read it through font_metrics.
#pragma once

#include <vostrel/text/text.h>

extern FontMetrics font; // zero until font_init
