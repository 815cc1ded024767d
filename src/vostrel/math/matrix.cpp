// Math: vector normalisation, flat row-major matrices with a 4x4 inverse,
// polar and spherical conversions, and small geometric tests. No allocation,
// no state; the float/double steps follow the contracts in maths.h.
#include <vostrel/math/maths.h>

#include <initializer_list>
#include <math.h>
#include <string.h>

const float mat2_identity[4] = {1, 0, 0, 1};
const float mat3_identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const float mat4_identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

namespace {

constexpr double HALF_PI = 1.5707963267948966;

float to_float(double d) { return static_cast<float>(d); }

void swap_rows(float *&a, float *&b) {
    float *t = a;
    a = b;
    b = t;
}

// Counter-clockwise turn P -> Q -> R, strictly.
int ccw(const float *p, const float *q, const float *r) {
    return (r[1] - p[1]) * (q[0] - p[0]) > (q[1] - p[1]) * (r[0] - p[0]);
}

} // namespace

int vec3_normalize(float *a) {
    float sum = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    if (!(sum > 0.0f)) return 0;
    float len = to_float(sqrt(static_cast<double>(sum)));
    a[0] /= len;
    a[1] /= len;
    a[2] /= len;
    return 1;
}

void mat_multiply(const float *a, const float *b, int n, int m, int p, float *out) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            float *o = &out[i * p + j];
            *o = 0.0f;
            for (int k = 0; k < m; k++)
                *o += a[i * m + k] * b[k * p + j];
        }
}

void mat4_transform(const float *a, const float *v, float *out) {
    mat_multiply(a, v, 4, 4, 1, out);
}

void mat4_multiply(const float *a, const float *b, float *out) { mat_multiply(a, b, 4, 4, 4, out); }

void mat_transpose(const float *src, int rows, int cols, float *dst) {
    for (int i = 0; i < cols; i++)
        for (int j = 0; j < rows; j++)
            memcpy(&dst[i * rows + j], &src[j * cols + i], sizeof(float));
}

// Gauss-Jordan with partial pivoting on rows read column-major from src;
// rows are swapped by pointer. Each step refuses an exactly zero pivot before
// anything is written, so dst is untouched on failure.
int mat4_invert(const float *src, float *dst) {
    float rows[4][8];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            rows[r][c] = src[c * 4 + r];
            rows[r][4 + c] = r == c ? 1.0f : 0.0f;
        }
    float *r0 = rows[0], *r1 = rows[1], *r2 = rows[2], *r3 = rows[3];

    if (fabsf(r3[0]) > fabsf(r2[0])) swap_rows(r3, r2);
    if (fabsf(r2[0]) > fabsf(r1[0])) swap_rows(r2, r1);
    if (fabsf(r1[0]) > fabsf(r0[0])) swap_rows(r1, r0);
    if (r0[0] == 0.0f) return 0;

    for (float *ri : {r1, r2, r3}) {
        float m = ri[0] / r0[0];
        for (int c = 1; c < 4; c++)
            ri[c] -= m * r0[c];
        for (int c = 4; c < 8; c++)
            if (r0[c] != 0.0f) ri[c] -= m * r0[c];
    }

    if (fabsf(r3[1]) > fabsf(r2[1])) swap_rows(r3, r2);
    if (fabsf(r2[1]) > fabsf(r1[1])) swap_rows(r2, r1);
    if (r1[1] == 0.0f) return 0;

    for (float *ri : {r2, r3}) {
        float m = ri[1] / r1[1];
        for (int c = 2; c < 4; c++)
            ri[c] -= m * r1[c];
        for (int c = 4; c < 8; c++)
            if (r1[c] != 0.0f) ri[c] -= m * r1[c];
    }

    if (fabsf(r3[2]) > fabsf(r2[2])) swap_rows(r3, r2);
    if (r2[2] == 0.0f) return 0;

    {
        float m = r3[2] / r2[2];
        for (int c = 3; c < 8; c++)
            r3[c] -= m * r2[c];
    }

    if (r3[3] == 0.0f) return 0;

    float s = 1.0f / r3[3];
    for (int c = 4; c < 8; c++)
        r3[c] *= s;

    float m0 = r0[3], m1 = r1[3], m2 = r2[3];
    s = 1.0f / r2[2];
    for (int c = 4; c < 8; c++) {
        r0[c] -= r3[c] * m0;
        r1[c] -= r3[c] * m1;
        r2[c] = (r2[c] - r3[c] * m2) * s;
    }

    m0 = r0[2];
    m1 = r1[2];
    s = 1.0f / r1[1];
    for (int c = 4; c < 8; c++) {
        r0[c] -= r2[c] * m0;
        r1[c] = (r1[c] - r2[c] * m1) * s;
    }

    m0 = r0[1];
    s = 1.0f / r0[0];
    for (int c = 4; c < 8; c++)
        r0[c] = (r0[c] - r1[c] * m0) * s;

    const float *out[4] = {r0, r1, r2, r3};
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            dst[c * 4 + r] = out[r][4 + c];
    return 1;
}

int mat_approx_equal(const float *a, const float *b, int rows, int cols) {
    for (int i = 0; i < rows * cols; i++) {
        double x = a[i], y = b[i];
        if (!(y - 0.0001 <= x && x <= y + 0.0001)) return 0;
    }
    return 1;
}

void order_pair(float *a, float *b) {
    if (*a > *b) {
        float t = *a;
        *a = *b;
        *b = t;
    }
}

int count_matches(int a, int b, int c) { return (a == b) + (a == c); }

void polar_to_cartesian(float r, float theta, float *x, float *y) {
    *x = to_float(r * cos(static_cast<double>(theta)));
    *y = to_float(r * sin(static_cast<double>(theta)));
}

void cartesian_to_polar(float x, float y, float *r, float *theta) {
    *theta = to_float(atan2(static_cast<double>(y), static_cast<double>(x)));
    float sum = x * x + y * y;
    *r = to_float(sqrt(static_cast<double>(sum)));
}

void spherical_to_cartesian(float r, float theta, float phi, float *x, float *y, float *z) {
    double st = sin(static_cast<double>(theta));
    *x = to_float(r * st * cos(static_cast<double>(phi)));
    *y = to_float(r * st * sin(static_cast<double>(phi)));
    *z = to_float(r * cos(static_cast<double>(theta)));
}

void cartesian_to_spherical(float x, float y, float z, float *r, float *theta, float *phi) {
    float sum = x * x + y * y + z * z;
    float len = to_float(sqrt(static_cast<double>(sum)));
    *r = len;
    *phi = to_float(atan2(static_cast<double>(y), static_cast<double>(x)));
    *theta = len > 0.0f ? to_float(acos(static_cast<double>(z / len))) : 0.0f;
}

void rotate_quarter_turn(float *x, float *y, int clockwise) {
    float r, theta;
    cartesian_to_polar(*x, *y, &r, &theta);
    theta = to_float(clockwise ? theta - HALF_PI : theta + HALF_PI);
    polar_to_cartesian(r, theta, x, y);
}

int plane_normal(const float *p, const float *q, const float *r, float *out) {
    const float pq[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    const float rq[3] = {r[0] - q[0], r[1] - q[1], r[2] - q[2]};
    float n[3];
    vec3_cross(pq, rq, n);
    if (!vec3_normalize(n)) return 0;
    memcpy(out, n, sizeof n);
    return 1;
}

int ray_plane_intersect(const float *n, const float *q, const float *d, const float *o,
                        float *out) {
    float den = vec3_dot(n, d);
    if (den == 0.0f) return 0;
    const float qo[3] = {q[0] - o[0], q[1] - o[1], q[2] - o[2]};
    float t = vec3_dot(n, qo) / den;
    for (int i = 0; i < 3; i++)
        out[i] = o[i] + d[i] * t;
    return 1;
}

int segments_intersect(const float *a, const float *b, const float *c, const float *d) {
    return ccw(a, c, d) != ccw(b, c, d) && ccw(a, b, c) != ccw(a, b, d);
}

// The displacements live in fixed room for POINT_LIST_MAX points, so a list
// claiming more is refused (all outputs 0) rather than read past its end.
void point_set_motion(const PointList *a, const PointList *b, float *rotation, float *scale,
                      float *dx, float *dy) {
    *rotation = *scale = *dx = *dy = 0.0f;
    if (a->count == 0 || b->count == 0) return;
    if (a->count > POINT_LIST_MAX || b->count > POINT_LIST_MAX) return;

    float ca[2] = {0, 0}, cb[2] = {0, 0};
    for (uint32_t k = 0; k < a->count; k++) {
        ca[0] += a->points[k][0];
        ca[1] += a->points[k][1];
    }
    for (uint32_t k = 0; k < b->count; k++) {
        cb[0] += b->points[k][0];
        cb[1] += b->points[k][1];
    }
    for (int i = 0; i < 2; i++) {
        ca[i] /= static_cast<float>(a->count);
        cb[i] /= static_cast<float>(b->count);
    }
    *dx = cb[0] - ca[0];
    *dy = cb[1] - ca[1];

    float ua[POINT_LIST_MAX][3], ub[POINT_LIST_MAX][3];
    for (uint32_t k = 0; k < a->count; k++) {
        ua[k][0] = a->points[k][0] - ca[0];
        ua[k][1] = a->points[k][1] - ca[1];
        ua[k][2] = 0.0f;
    }
    for (uint32_t k = 0; k < b->count; k++) {
        ub[k][0] = b->points[k][0] - cb[0];
        ub[k][1] = b->points[k][1] - cb[1];
        ub[k][2] = 0.0f;
    }

    const float pairs = static_cast<float>((a->count + b->count) / 2);
    float turn = 0.0f, grow = 0.0f;
    for (uint32_t k = 0; k < a->count && k < b->count; k++) {
        float angle = vec3_angle(ua[k], ub[k]);
        float cross[3];
        vec3_cross(ua[k], ub[k], cross);
        if (cross[2] < 0.0f)
            turn += angle;
        else
            turn -= angle;
        grow += vec3_length(ub[k]) - vec3_length(ua[k]);
    }
    *rotation = turn / pairs;
    *scale = grow / pairs;
}
