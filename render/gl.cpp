// PLACEHOLDER: replaced by the rendering work.
#include "render/render.h"
void gl_init(void) {}
void gl_set_viewport(const Rect *) {}
void gl_begin_2d(const Rect *) {}
void frame_begin(const Rect *) {}
void frame_end(const Rect *) {}
void draw_label_box(const Rect *, const char *, const uint8_t *, const uint8_t *) {}
void gl_release(void) {}
int vertex_store_count(void) { return 0; }
