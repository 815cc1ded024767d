// Rendering: the 3D camera. A perspective projection from a field-of-view
// angle, a look-at view, a one-call set-up that keeps row-major copies of the
// resulting GL matrices, projection of points between object and window space
// through those matrices, and a line between two points drawn with the axis
// cross of the shared vertex store. The screens of this system draw in 2D;
// this is the framework's 3D facility beside gl_begin_2d.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <GLES/gl.h>

#include <math.h>
#include <string.h>

Mat4 camera_modelview;
Mat4 camera_projection;

namespace {

constexpr double PI = 3.141592653589793;
constexpr double DEG_PER_RAD = 57.29577951308232;
constexpr double RAD_PER_DEG = 0.017453292519943295;
constexpr double TWO_DEG_PER_RAD = 114.59155902616465;

// The look-at matrix, column-major for glMultMatrixf; not re-entrant.
GLfloat look_at_matrix[16];

// Both saved matrices hold the identity from program load, before gl_init:
// mat4_identity has a constant initialiser, so it is filled before any
// dynamic initialiser such as this one runs.
struct IdentityAtLoad {
    IdentityAtLoad() { camera_reset(); }
} identity_at_load;

// The current GL matrix of the given kind, transposed to row-major.
void save_matrix(GLenum which, float *dst) {
    GLfloat m[16];
    glGetFloatv(which, m);
    mat_transpose(m, 4, 4, dst);
}

} // namespace

void camera_reset(void) {
    memcpy(camera_modelview, mat4_identity, sizeof camera_modelview);
    memcpy(camera_projection, mat4_identity, sizeof camera_projection);
}

void camera_perspective(float angle, float aspect, float znear, float zfar) {
    float h = static_cast<float>(znear * tan(angle * PI / 360.0));
    glFrustumf(-h * aspect, h * aspect, -h, h, znear, zfar);
}

// The side vector is not normalised again: with an up vector that is not
// perpendicular to the view direction the view scales x and y by the sine of
// the angle between them.
void camera_look_at(const float *eye, const float *target, const float *up) {
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    float u[3] = {up[0], up[1], up[2]};
    vec3_normalize(f);
    vec3_normalize(u);
    float s[3];
    vec3_cross(f, u, s);
    vec3_cross(s, f, u);

    GLfloat *m = look_at_matrix;
    memset(m, 0, sizeof look_at_matrix);
    for (int c = 0; c < 3; c++) {
        m[c * 4 + 0] = s[c];
        m[c * 4 + 1] = u[c];
        m[c * 4 + 2] = -f[c];
    }
    m[15] = 1.0f;
    glMultMatrixf(m);
    glTranslatef(-eye[0], -eye[1], -eye[2]);
}

void camera_setup(const float *eye, const float *target, const float *up, float angle, float aspect,
                  float znear, float zfar) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A portrait view takes the angle as the horizontal field of view.
    if (aspect > 0.0f && aspect < 1.0f)
        angle = static_cast<float>(atan(tan(angle * RAD_PER_DEG / 2.0) / aspect) * TWO_DEG_PER_RAD);
    camera_perspective(angle, aspect, znear, zfar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera_look_at(eye, target, up);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    save_matrix(GL_MODELVIEW_MATRIX, camera_modelview);
    save_matrix(GL_PROJECTION_MATRIX, camera_projection);
}

void camera_apply(const Camera *camera, float angle, float aspect, float znear, float zfar) {
    camera_setup(camera->eye, camera->target, camera->up, angle, aspect, znear, zfar);
}

int camera_project(float x, float y, float z, const Rect *viewport, const float *modelview,
                   const float *projection, float *wx, float *wy, float *wz) {
    const float v[4] = {x, y, z, 1.0f};
    float e[4], c[4];
    mat4_transform(modelview, v, e);
    mat4_transform(projection, e, c);
    if (c[3] == 0.0f) return 0;
    for (int i = 0; i < 3; i++)
        c[i] /= c[3];
    *wx = remap_clamped(c[0], -1.0f, 1.0f, viewport->left, viewport->right);
    *wy = remap_clamped(c[1], -1.0f, 1.0f, viewport->bottom, viewport->top);
    *wz = remap_clamped(c[2], -1.0f, 1.0f, 0.0f, 1.0f);
    return 1;
}

int camera_unproject(float wx, float wy, float wz, const Rect *viewport, const float *modelview,
                     const float *projection, float *x, float *y, float *z) {
    const float n[4] = {
        remap_clamped(wx, viewport->left, viewport->right, -1.0f, 1.0f),
        remap_clamped(wy, viewport->bottom, viewport->top, -1.0f, 1.0f),
        remap_clamped(wz, 0.0f, 1.0f, -1.0f, 1.0f),
        1.0f,
    };
    float m[16], inverse[16], r[4];
    mat4_multiply(projection, modelview, m);
    if (!mat4_invert(m, inverse)) return 0;
    mat4_transform(inverse, n, r);
    if (r[3] == 0.0f) return 0;
    *x = r[0] / r[3];
    *y = r[1] / r[3];
    *z = r[2] / r[3];
    return 1;
}

// The x line of the axis cross runs from (-0.5, 0, 0) to (0.5, 0, 0): scaled
// to the length, turned in the x-y plane, tilted out of it for 3D points, and
// moved to the midpoint. Fewer than two components give no direction: nothing
// is drawn (and nothing is read past p[0] and q[0]).
void draw_segment(int n, const float *p, const float *q) {
    if (n < 2) return;
    float d = vec_distance(p, q, n);
    float d2 = vec_distance(p, q, 2);
    int k = n < 3 ? n : 3;
    float mid[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < k; i++)
        mid[i] = (p[i] + q[i]) / 2.0f;

    glPushMatrix();
    glTranslatef(mid[0], mid[1], mid[2]);
    glScalef(d, d, d);
    float turn = static_cast<float>(
        atan2(static_cast<double>(q[1] - p[1]), static_cast<double>(q[0] - p[0])) * DEG_PER_RAD);
    glRotatef(turn, 0.0f, 0.0f, 1.0f);
    if (k == 3) {
        float tilt = static_cast<float>(
            atan2(static_cast<double>(q[2] - p[2]), static_cast<double>(d2)) * DEG_PER_RAD);
        glRotatef(tilt, 0.0f, -1.0f, 0.0f);
    }
    draw_axis_line(AXIS_X);
    glPopMatrix();
}

void draw_axis_line(int axis) {
    if (axis < AXIS_X || axis > AXIS_Z) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(GL_LINES, primitive_meshes.axis_cross + 2 * axis, 2);
    glDisableClientState(GL_VERTEX_ARRAY);
}
