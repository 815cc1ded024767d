// 2D drawing primitives on the shared vertex store: colour, rectangle mapping,
// filled and outlined rectangles, textured rectangles, check marks, shades,
// boxes, crosses, discs and cylinders. Each draws into the current model-view
// matrix (pushed and popped) with the arrays frame_begin attached, and leaves
// the client-array enables and GL_TEXTURE_2D exactly as it found them.
#include <vostrel/render/render.h>

#include <vostrel/math/maths.h>
#include <vostrel/render/render_internal.h>

#include <GLES/gl.h>

using render_detail::DrawState;

namespace {

constexpr int CYLINDER_RIM_SEGMENTS = 32;
constexpr int CYLINDER_TOP_CENTRE = 34;
constexpr int CYLINDER_SIDE = 68;

void set_rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const uint8_t c[4] = {r, g, b, a};
    gl_set_color(c);
}

// Segments of a disc or cylinder of the given angle; at most the mesh's 32.
int arc_segments(float angle) {
    int n = round_to_int(angle * 32.0f / 6.2831855f);
    if (n < 0) return 0;
    return n > CYLINDER_RIM_SEGMENTS ? CYLINDER_RIM_SEGMENTS : n;
}

void enable_geometry(void) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
}

// draw_rect's drawing without its guard.
void rect_unguarded(const Rect *r, int filled) {
    gl_map_rect(r, &unit_rect);
    enable_geometry();
    render_detail::draw_unit_square(filled);
}

} // namespace

void render_detail::draw_unit_square(int filled) {
    glDrawArrays(filled ? GL_TRIANGLE_FAN : GL_LINE_LOOP, primitive_meshes.unit_box, 4);
}

void gl_set_color(const uint8_t *rgba) {
    if (!rgba) return;
    const GLfloat c[4] = {rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, rgba[3] / 255.0f};
    gl_set_color_f(c);
}

void gl_set_color_f(const float rgba[4]) {
    glColor4f(rgba[0], rgba[1], rgba[2], rgba[3]);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, rgba);
}

void gl_map_rect(const Rect *target, const Rect *source) {
    const float sw = source->right - source->left;
    const float sh = source->top - source->bottom;
    if (!(sw > 0.0f) || !(sh > 0.0f)) return;
    glTranslatef(target->left, target->bottom, 0.0f);
    glScalef((target->right - target->left) / sw, (target->top - target->bottom) / sh, 1.0f);
    glTranslatef(-source->left, -source->bottom, 0.0f);
}

void draw_rect(const Rect *r, int filled) {
    DrawState saved;
    rect_unguarded(r, filled);
}

void draw_textured_rect(const Rect *r, unsigned texture) {
    DrawState saved;
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    rect_unguarded(r, 1);
}

void draw_check_mark(const Rect *r, int state, int tint) {
    const int on = state ? 1 : 0;
    DrawState saved;
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindTexture(GL_TEXTURE_2D, check_textures[on]);
    if (tint) {
        if (on)
            set_rgba(0, 255, 0, 255);
        else
            set_rgba(255, 0, 0, 255);
    }
    rect_unguarded(r, 1);
}

void draw_shade(const Rect *r, uint8_t alpha) {
    set_rgba(0, 0, 0, alpha);
    draw_rect(r, 1);
}

void draw_box(const Rect *r, int filled, float depth) {
    DrawState saved;
    gl_map_rect(r, &unit_rect);
    glScalef(1.0f, 1.0f, depth);
    enable_geometry();
    for (int face = 0; face < 6; face++)
        glDrawArrays(filled ? GL_TRIANGLE_FAN : GL_LINE_LOOP, primitive_meshes.unit_box + 4 * face,
                     4);
}

void draw_cross(const Rect *r) {
    DrawState saved;
    gl_map_rect(r, &unit_rect);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(GL_LINES, primitive_meshes.diagonal_cross, 4);
}

void draw_disc(float radius, float angle, int filled) {
    const int n = arc_segments(angle);
    const int base = primitive_meshes.cylinder;
    DrawState saved;
    glScalef(radius, radius, 1.0f);
    enable_geometry();
    if (filled)
        glDrawArrays(GL_TRIANGLE_FAN, base, n + 2);
    else
        glDrawArrays(GL_LINE_LOOP, base + 1, n + 1);
}

void draw_cylinder(float radius, float angle, int filled, float height) {
    const int n = arc_segments(angle);
    const int base = primitive_meshes.cylinder;
    DrawState saved;
    glScalef(radius, radius, height);
    enable_geometry();
    if (filled) {
        glDrawArrays(GL_TRIANGLE_FAN, base, n + 2);
        glDrawArrays(GL_TRIANGLE_FAN, base + CYLINDER_TOP_CENTRE, n + 2);
        glDrawArrays(GL_TRIANGLE_STRIP, base + CYLINDER_SIDE, 2 * (n + 1));
    } else {
        glDrawArrays(GL_LINE_STRIP, base + 1, n + 1);
        glDrawArrays(GL_LINE_STRIP, base + CYLINDER_TOP_CENTRE + 1, n + 1);
        glDrawArrays(GL_LINES, base + CYLINDER_SIDE, 2 * (n + 1));
    }
}
