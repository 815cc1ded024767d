// GL state and the frame: the one-time set-up of the start-up chain (primitive
// meshes, the button and check-mark pictures, the fixed GL state), the
// viewport, the 2D projection onto a rectangle, and the begin and end of every
// frame. The buffer swap belongs to the shell.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <vostrel/assets/assets.h>
#include <vostrel/input/input_internal.h>

#include <GLES/gl.h>
#include <math.h>

unsigned button_texture;
unsigned check_textures[2];
const Rect unit_rect = {-0.5f, 0.5f, -0.5f, 0.5f};
PrimitiveMeshes primitive_meshes;

namespace {

constexpr int BOX_VERTICES = 24;
constexpr int AXIS_VERTICES = 6;
constexpr int DIAGONAL_VERTICES = 4;
constexpr int CYLINDER_SEGMENTS = 32;
constexpr int CYLINDER_VERTICES = 134;

// Six faces of four vertices; face 0 (z = 0) is the unit square of the 2D primitives.
struct BoxFace {
    float normal[3];
    float corners[4][3];
};

constexpr BoxFace box_faces[6] = {
    {{0, 0, -1}, {{-0.5f, -0.5f, 0}, {-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}}},
    {{0, 0, 1}, {{-0.5f, -0.5f, 1}, {0.5f, -0.5f, 1}, {0.5f, 0.5f, 1}, {-0.5f, 0.5f, 1}}},
    {{-1, 0, 0}, {{-0.5f, 0.5f, 0}, {-0.5f, -0.5f, 0}, {-0.5f, -0.5f, 1}, {-0.5f, 0.5f, 1}}},
    {{1, 0, 0}, {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 1}, {0.5f, -0.5f, 1}, {0.5f, -0.5f, 0}}},
    {{0, -1, 0}, {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, -0.5f, 1}, {-0.5f, -0.5f, 1}}},
    {{0, 1, 0}, {{-0.5f, 0.5f, 0}, {-0.5f, 0.5f, 1}, {0.5f, 0.5f, 1}, {0.5f, 0.5f, 0}}},
};

constexpr float axis_positions[AXIS_VERTICES * 3] = {
    -0.5f, 0, 0, 0.5f, 0, 0, 0, -0.5f, 0, 0, 0.5f, 0, 0, 0, -0.5f, 0, 0, 0.5f,
};

constexpr float diagonal_positions[DIAGONAL_VERTICES * 3] = {
    -0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0, 0.5f, -0.5f, 0,
};

void set3(float *v, float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

int add_box(void) {
    float pos[BOX_VERTICES * 3], nrm[BOX_VERTICES * 3], tex[BOX_VERTICES * 3];
    int v = 0;
    for (const BoxFace &face : box_faces)
        for (const auto &c : face.corners) {
            set3(pos + 3 * v, c[0], c[1], c[2]);
            set3(nrm + 3 * v, face.normal[0], face.normal[1], face.normal[2]);
            set3(tex + 3 * v, c[0] + 0.5f, c[1] + 0.5f, c[2]);
            v++;
        }
    return vertex_store_add(BOX_VERTICES, pos, nrm, tex, nullptr);
}

// Radius 1, z from 0 to 1: bottom centre, 33 bottom rim vertices, top centre,
// 33 top rim vertices, then two side vertices per angle. The running angle is
// a float stepped in double, so the last rim vertex lands where float rounding
// puts it rather than exactly on the first.
int add_cylinder(void) {
    float pos[CYLINDER_VERTICES * 3] = {}, nrm[CYLINDER_VERTICES * 3] = {};
    float c[CYLINDER_SEGMENTS + 1], s[CYLINDER_SEGMENTS + 1];
    float a = 0.0f;
    for (int k = 0; k <= CYLINDER_SEGMENTS; k++) {
        c[k] = static_cast<float>(cos(static_cast<double>(a)));
        s[k] = static_cast<float>(sin(static_cast<double>(a)));
        a = static_cast<float>(static_cast<double>(a) + M_PI / 16.0);
    }
    const int rim = CYLINDER_SEGMENTS + 1;
    set3(pos, 0, 0, 0);
    set3(nrm, 0, 0, -1);
    set3(pos + 3 * (rim + 1), 0, 0, 1);
    set3(nrm + 3 * (rim + 1), 0, 0, 1);
    for (int k = 0; k < rim; k++) {
        const int bottom = 1 + k, top = rim + 2 + k, side = 2 * rim + 2 + 2 * k;
        set3(pos + 3 * bottom, c[k], s[k], 0);
        set3(nrm + 3 * bottom, c[k], s[k], -1.4f);
        set3(pos + 3 * top, c[k], s[k], 1);
        set3(nrm + 3 * top, c[k], s[k], 1.4f);
        set3(pos + 3 * side, c[k], s[k], 0);
        set3(pos + 3 * (side + 1), c[k], s[k], 1);
        set3(nrm + 3 * side, c[k], s[k], 0);
        set3(nrm + 3 * (side + 1), c[k], s[k], 0);
    }
    return vertex_store_add(CYLINDER_VERTICES, pos, nrm, nullptr, nullptr);
}

void delete_texture(unsigned *name) {
    if (*name) glDeleteTextures(1, name);
    *name = 0;
}

} // namespace

void gl_init(void) {
    camera_reset();
    notice_reset();

    primitive_meshes.unit_box = add_box();
    primitive_meshes.axis_cross =
        vertex_store_add(AXIS_VERTICES, axis_positions, nullptr, nullptr, nullptr);
    primitive_meshes.diagonal_cross =
        vertex_store_add(DIAGONAL_VERTICES, diagonal_positions, nullptr, nullptr, nullptr);
    primitive_meshes.cylinder = add_cylinder();

    button_texture = texture_from_asset(&vostrel_asset_button_png);
    check_textures[1] = texture_from_asset(&vostrel_asset_check_png);
    check_textures[0] = texture_from_asset(&vostrel_asset_check_bad_png);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.7f);
}

// Before a new video mode: what gl_init made goes, so the next gl_init leaves
// exactly what one start-up made (no second copy of the meshes).
void gl_release(void) {
    delete_texture(&button_texture);
    delete_texture(&check_textures[0]);
    delete_texture(&check_textures[1]);
    vertex_store_reset();
    primitive_meshes = PrimitiveMeshes{};
}

// Where the screen lies in the window: scale, then offset in window pixels,
// y up. The identity unless a fullscreen window shows the screen scaled.
static struct {
    float scale = 1.0f;
    float x = 0.0f, y = 0.0f;
} display_area;

void gl_set_display_area(float scale, float x, float y) { display_area = {scale, x, y}; }

void gl_display_rect(const Rect *r, Rect *out) {
    const float s = display_area.scale;
    *out = {display_area.x + r->left * s, display_area.x + r->right * s,
            display_area.y + r->bottom * s, display_area.y + r->top * s};
}

void gl_set_viewport(const Rect *r) {
    const float s = display_area.scale;
    glViewport(static_cast<GLint>(display_area.x + r->left * s),
               static_cast<GLint>(display_area.y + r->bottom * s),
               static_cast<GLsizei>((r->right - r->left) * s),
               static_cast<GLsizei>((r->top - r->bottom) * s));
}

void gl_begin_2d(const Rect *r) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(r->left, r->right, r->bottom, r->top, -1.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
}

void frame_begin(const Rect *) {
    vertex_store_attach();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void frame_end(const Rect *screen) {
    if (notice_showing()) notice_draw(screen);
    if (debug_level > 2) log_overlay_draw(screen);
    glFlush();
}
