// Math: scalar and vector helpers. Precision follows the contracts in maths.h:
// the debug gesture and the tests depend on the exact float/double steps.
#include <vostrel/math/maths.h>

#include <vostrel/input/input.h>

#include <math.h>

const float vec3_zero[3] = {0.0f, 0.0f, 0.0f};

float remap_clamped(float v, float in_lo, float in_hi, float out_lo, float out_hi) {
    if (!(v < in_hi)) v = in_hi;
    if (!(v > in_lo)) v = in_lo;
    return remap(v, in_lo, in_hi, out_lo, out_hi);
}

int round_to_int(float x) {
    double d = x;
    return x >= 0.0f ? static_cast<int>(d + 0.5) : static_cast<int>(d - 0.5);
}

float vec3_dot(const float *a, const float *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void vec3_cross(const float *a, const float *b, float *out) {
    out[0] = a[1] * b[2] - b[1] * a[2];
    out[1] = b[0] * a[2] - a[0] * b[2];
    out[2] = a[0] * b[1] - b[0] * a[1];
}

float vec3_length(const float *a) {
    float sum = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    return static_cast<float>(sqrt(static_cast<double>(sum)));
}

float vec3_angle(const float *a, const float *b) {
    float la = vec3_length(a);
    float lb = vec3_length(b);
    if (la == 0.0f || lb == 0.0f) return 0.0f;
    float c = vec3_dot(a, b) / (lb * la);
    return static_cast<float>(acos(static_cast<double>(c)));
}

float vec_distance(const float *a, const float *b, int n) {
    float sum = 0.0f;
    for (int i = 0; i < n; i++) {
        float d = b[i] - a[i];
        sum += d * d;
    }
    return static_cast<float>(sqrt(static_cast<double>(sum)));
}
