// Math: scalar and vector helpers used from the first steps on, and the
// random seed of the start-up chain. Free functions over caller-owned floats;
// nothing allocates, nothing fails, no pointer is checked. Arithmetic is in
// float unless a contract says double (inputs widened, result rounded back).
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

typedef float Vec3[3]; // x, y, z; functions read exactly three floats through a pointer

extern const float vec3_zero[3]; // read-only (0, 0, 0)

// Scalars
float remap_clamped(float v, float in_lo, float in_hi, float out_lo, float out_hi); // v clamped to [in_lo, in_hi] (NaN -> in_hi), then remap
int round_to_int(float x);                                                          // halves away from zero, via double

// Vectors
float vec3_dot(const float *a, const float *b);               // a.b in float
void vec3_cross(const float *a, const float *b, float *out);  // a x b; out must not alias a or b
float vec3_length(const float *a);                            // sqrt in double of the float sum of squares
float vec3_angle(const float *a, const float *b);             // radians; 0 when either length is 0; cosine not clamped
float vec_distance(const float *a, const float *b, int n);    // Euclidean distance over the first n components

// Random numbers
void random_seed(void); // seeds the C generator from the clock; start-up chain step 1
// clang-format on
