// Labelled boxes: the one way every labelled element is drawn (buttons, menu
// rows, keyboard keys, the notice). A box (the button picture tinted by the
// fill colour, a plain fill, an outline, or nothing) and a centred text scaled
// to be as large as the box allows.
#include <vostrel/render/render.h>

#include <vostrel/render/render_internal.h>
#include <vostrel/text/text.h>

#include <GLES/gl.h>

namespace {

// The box alone: the button picture tinted by the fill, a plain fill, an
// outline in the ink, or nothing; matrix, arrays and texturing as found.
void draw_frame(const Rect *r, const uint8_t *fill, const uint8_t *ink) {
    render_detail::DrawState saved;
    glTranslatef(rect_center_x(r), rect_center_y(r), 0.0f);
    glScalef(rect_width(r), rect_height(r), 1.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (fill && ink) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, button_texture);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        gl_set_color(fill);
        render_detail::draw_unit_square(1);
    } else if (fill) {
        gl_set_color(fill);
        render_detail::draw_unit_square(1);
    } else if (ink) {
        gl_set_color(ink);
        render_detail::draw_unit_square(0);
    }
}

} // namespace

void draw_label_box(const Rect *r, const char *text, const uint8_t *fill, const uint8_t *ink) {
    int longest = 0;
    const int lines = text_count_lines(text, &longest);
    draw_frame(r, fill, ink);

    if (longest < 1) return;
    // Text space: the longest line plus one character of margin each side, and
    // one line height per line above and below the centre, grown to the box's
    // aspect so the text keeps its proportions while filling the box.
    const float half = static_cast<float>(longest) / 2.0f;
    Rect t = {-half - 1.0f, half + 1.0f, static_cast<float>(-lines), static_cast<float>(lines)};
    rect_grow_to_aspect(r, &t);
    float cx, cy;
    rect_center(&t, &cx, &cy);
    glPushMatrix();
    gl_map_rect(r, &t);
    if (ink) gl_set_color(ink);
    text_draw(text, 2.0f, cx, cy);
    glPopMatrix();
}
