// Math: scalar and vector helpers used from the first steps on; matrices,
// conversions and geometric tests; random numbers, sorting, file extensions
// and shortest paths; a Blowfish block cipher. Free functions over caller-owned
// data; no pointer is checked. Arithmetic is in float unless a contract says
// double (inputs widened, result rounded back). Failing functions return 0 and
// leave their outputs unchanged.
#pragma once

#include <stddef.h>
#include <stdint.h>

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

int vec3_normalize(float *a); // in place; 0 (a untouched) when the float sum of squares is not > 0

// Matrices: flat row-major float arrays, element (i, j) of an r x c matrix at i*c + j
typedef float Mat4[16]; // 4 x 4

extern const float mat2_identity[4];  // 2 x 2 identity
extern const float mat3_identity[9];  // 3 x 3 identity
extern const float mat4_identity[16]; // 4 x 4 identity

void mat_multiply(const float *a, const float *b, int n, int m, int p, float *out); // (n x m)(m x p) -> n x p; out must not overlap a or b
void mat4_transform(const float *a, const float *v, float *out);                    // 4x4 times 4-vector; out must not overlap
void mat4_multiply(const float *a, const float *b, float *out);                     // 4x4 times 4x4; out must not overlap
void mat_transpose(const float *src, int rows, int cols, float *dst);               // dst (cols x rows); must not overlap src
int mat4_invert(const float *src, float *dst);                                      // 1 and the inverse; 0 (dst untouched) on a zero pivot
int mat_approx_equal(const float *a, const float *b, int rows, int cols);           // 1 when every element is within 0.0001 (in double)

// Scalar helpers
void order_pair(float *a, float *b);  // swaps so that *a <= *b
int count_matches(int a, int b, int c); // (a == b) + (a == c)

// Conversions: radians, trigonometry in double
void polar_to_cartesian(float r, float theta, float *x, float *y);                         // x = r cos, y = r sin
void cartesian_to_polar(float x, float y, float *r, float *theta);                         // theta = atan2(y, x)
void spherical_to_cartesian(float r, float theta, float phi, float *x, float *y, float *z); // theta from +z, phi azimuth
void cartesian_to_spherical(float x, float y, float z, float *r, float *theta, float *phi); // theta 0 at the origin
void rotate_quarter_turn(float *x, float *y, int clockwise);                               // non-zero: -pi/2, zero: +pi/2, through polar form

// Geometry
constexpr uint32_t POINT_LIST_MAX = 4; // room of a PointList
struct PointList {
    uint32_t count;                  // 0..POINT_LIST_MAX
    float points[POINT_LIST_MAX][2]; // x, y
};

int plane_normal(const float *p, const float *q, const float *r, float *out);                         // unit normal of (p - q) x (r - q); 0 (out untouched) for collinear points
int ray_plane_intersect(const float *n, const float *q, const float *d, const float *o, float *out);  // 1 and o + t d on the plane; 0 (out untouched) when n.d is 0
int segments_intersect(const float *a, const float *b, const float *c, const float *d);               // 1 when 2D segments ab and cd properly cross; touching is 0
void point_set_motion(const PointList *a, const PointList *b, float *rotation, float *scale, float *dx, float *dy); // mean turn (rad), size change and shift from a to b; all 0 for an empty or over-full list

// Random numbers
void random_seed(void);                 // first call: the clock; later: a draw in [0, time / 2]; then srand; start-up chain step 1
int random_int(int lo, int hi);         // in [lo, hi]; lo without drawing when lo >= hi
float random_float(float lo, float hi); // in [lo, hi]; lo without drawing when lo >= hi

// Sorting (qsort front-ends; ascending 0 sorts descending; no shared state, safe on any thread)
void sort_floats(float *values, int count, int ascending);                           // NaN pairs compare as less
void sort_ints(int *values, int count, int ascending);                               // compares by wrapping subtraction: keep values within 2^31 of each other
void sort_records_by_name(void *records, size_t size, int count, int ascending);     // by the NUL-terminated string at the start of each record

// Files and search
int file_extension(const char *path, char *out, size_t size);                       // lower-cased text after the last '.', cut to size - 1; 1 if non-empty
int shortest_paths(const float *weights, float infinity, int n, int source, float *distances); // Dijkstra over n x n weights (row from, column to); 0 (distances untouched) when n < 2 or source outside 0..n-1

// Blowfish (one process-wide key; 8-byte blocks, halves little-endian)
void blowfish_set_key(const uint8_t *key, size_t length);       // replaces the key schedule; at most 72 bytes are read
void blowfish_set_key_string(const char *key);                  // blowfish_set_key with strlen(key)
int blowfish_encrypt_block(uint32_t *left, uint32_t *right);    // 0 (untouched) without a key
int blowfish_decrypt_block(uint32_t *left, uint32_t *right);    // 0 (untouched) without a key
int blowfish_encrypt(uint8_t *buffer, size_t size);             // whole blocks in place, tail untouched; 0 when size < 8 or no key
int blowfish_decrypt(uint8_t *buffer, size_t size);             // the inverse of blowfish_encrypt
// clang-format on
