// Image resize: the bilinear resampler behind image_resize, vectorised, with
// an AVX2 row loop chosen at run time on x86-64.
#include <vostrel/assets/assets.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

// The resampler adds the four weighted terms of a value one after another
// and truncates the running sum to a whole byte after each. It does so for
// RESAMPLE_LANES values at a time in vector registers (GCC's and Clang's
// vector extension), lane by lane the same single-precision operations as on
// one value. The weights are at least 0 and add up to 1 within a few units in
// the last place, so a running sum stays below 256 and truncation alone keeps
// it a byte: no clamping is needed.
typedef float ResampleLanes __attribute__((vector_size(64)));
typedef int32_t ResampleLaneInts __attribute__((vector_size(64)));
typedef int16_t ResampleLaneShorts __attribute__((vector_size(32)));
typedef uint8_t ResampleLaneBytes __attribute__((vector_size(16)));
constexpr size_t RESAMPLE_LANES = sizeof(ResampleLanes) / sizeof(float);
// On x86-64 a second row loop uses AVX2 where the processor has it, chosen
// once at run time: eight lanes, and truncation in one rounding instruction.
// Its operations are those of the portable loop (FMA is not used, so every
// product is still rounded before its sum), so both give the same bytes.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RESAMPLE_AVX2 1
#else
#define RESAMPLE_AVX2 0
#endif

// The taps of one source row as one destination row reads them: for every
// channel value i of the row (destination pixel x, channel c), channel c of
// source column x0 (near) and x0 + 1 (far), as floats, 0 outside the image.
// Rows are gathered once and kept while the destination rows use them.
struct ResampleRow {
    float *near_tap, *far_tap;
    int y; // source row, or -1 before the first gather
};

// One destination row, or a stretch of one: the four terms in their fixed
// order, (x0, y0), (x0 + 1, y0), (x0, y0 + 1), (x0 + 1, y0 + 1), from the
// taps a, b of row y0 and c, d of row y0 + 1. fxs holds fx for each value;
// `padded` is a whole number of RESAMPLE_LANES.
static void resample_row_portable(const float *a, const float *b, const float *c, const float *d,
                                  const float *fxs, float fy, uint8_t *values, size_t padded) {
    // Vectors are locals only: passing them to functions would tie them to
    // an ABI that the build does not target.
    ResampleLanes fyv = ResampleLanes{} + fy, gyv = ResampleLanes{} + (1 - fy);
    for (size_t i = 0; i < padded; i += RESAMPLE_LANES) {
        ResampleLanes fx, ta, tb, tc, td;
        memcpy(&fx, fxs + i, sizeof fx);
        memcpy(&ta, a + i, sizeof ta);
        memcpy(&tb, b + i, sizeof tb);
        memcpy(&tc, c + i, sizeof tc);
        memcpy(&td, d + i, sizeof td);
        ResampleLanes gx = 1 - fx;
        ResampleLaneInts whole = __builtin_convertvector(ta * (gx * gyv), ResampleLaneInts);
        ResampleLanes value = __builtin_convertvector(whole, ResampleLanes);
        whole = __builtin_convertvector(value + tb * (fx * gyv), ResampleLaneInts);
        value = __builtin_convertvector(whole, ResampleLanes);
        whole = __builtin_convertvector(value + tc * (gx * fyv), ResampleLaneInts);
        value = __builtin_convertvector(whole, ResampleLanes);
        whole = __builtin_convertvector(value + td * (fx * fyv), ResampleLaneInts);
        // Through 16-bit lanes: the compilers narrow in two steps without
        // taking the vector apart.
        ResampleLaneBytes bytes = __builtin_convertvector(
            __builtin_convertvector(whole, ResampleLaneShorts), ResampleLaneBytes);
        memcpy(values + i, &bytes, sizeof bytes);
    }
}

#if RESAMPLE_AVX2
__attribute__((target("avx2"))) static void resample_row_avx2(const float *a, const float *b,
                                                              const float *c, const float *d,
                                                              const float *fxs, float fy,
                                                              uint8_t *values, size_t padded) {
    const int toward_zero = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
    __m256 one = _mm256_set1_ps(1), fyv = _mm256_set1_ps(fy), gyv = _mm256_set1_ps(1 - fy);
    // Bytes 0-3 of each 128-bit half hold the eight results after packing.
    __m256i halves = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
    for (size_t i = 0; i < padded; i += 8) {
        __m256 fx = _mm256_loadu_ps(fxs + i), gx = _mm256_sub_ps(one, fx);
        __m256 value = _mm256_mul_ps(_mm256_loadu_ps(a + i), _mm256_mul_ps(gx, gyv));
        value = _mm256_round_ps(value, toward_zero);
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_loadu_ps(b + i), _mm256_mul_ps(fx, gyv)));
        value = _mm256_round_ps(value, toward_zero);
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_loadu_ps(c + i), _mm256_mul_ps(gx, fyv)));
        value = _mm256_round_ps(value, toward_zero);
        value = _mm256_add_ps(value, _mm256_mul_ps(_mm256_loadu_ps(d + i), _mm256_mul_ps(fx, fyv)));
        __m256i whole = _mm256_cvttps_epi32(value);
        __m256i words = _mm256_packus_epi32(whole, whole);
        __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), halves);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(values + i), _mm256_castsi256_si128(bytes));
    }
}
#endif

#if RESAMPLE_AVX2
__attribute__((target("avx2"))) static void bytes_to_floats_avx2(const uint8_t *src, size_t n,
                                                                 float *out) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(src + i));
        _mm256_storeu_ps(out + i, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(eight)));
    }
    for (; i < n; i++)
        out[i] = src[i];
}
#endif

#if RESAMPLE_AVX2
static int resample_has_avx2(void) {
    static const int avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

// out[i] = src[i] for n values.
static void bytes_to_floats(const uint8_t *src, size_t n, float *out) {
#if RESAMPLE_AVX2
    if (resample_has_avx2()) return bytes_to_floats_avx2(src, n, out);
#endif
    for (size_t i = 0; i < n; i++)
        out[i] = src[i];
}

// One destination row or a stretch of one, as described at resample_row_portable.
static void resample_row(const float *a, const float *b, const float *c, const float *d,
                         const float *fxs, float fy, uint8_t *values, size_t padded) {
#if RESAMPLE_AVX2
    if (resample_has_avx2()) return resample_row_avx2(a, b, c, d, fxs, fy, values, padded);
#endif
    resample_row_portable(a, b, c, d, fxs, fy, values, padded);
}

// Source row y as floats, C channels of the bpp bytes of each pixel, with
// two zero pixels after it (and four floats of slack for the gather's
// moves); a row outside the image is all zero.
template <int C> static void resample_line(const Image *img, int y, float *line) {
    size_t bpp = static_cast<size_t>(img->channels), n = static_cast<size_t>(img->width);
    for (size_t i = n * C; i < (n + 2) * C + 4; i++)
        line[i] = 0;
    if (y >= 0 && y < img->height) {
        const uint8_t *src = img->planes[0] + static_cast<size_t>(y) * n * bpp;
        if (bpp == C) {
            bytes_to_floats(src, n * C, line);
        } else {
            for (size_t x = 0; x < n; x++)
                for (int c = 0; c < C; c++)
                    line[x * C + c] = src[x * bpp + c];
        }
    } else {
        for (size_t i = 0; i < n * C; i++)
            line[i] = 0;
    }
}

// Fills row with the taps of source row y; `line` is scratch for
// resample_line. columns[x] is C times x0 of destination pixel x, x0 at most
// the source width, so that x0 and x0 + 1 past the row land on the zero
// pixels after it.
template <int C>
static void resample_gather(const Image *img, int y, const int32_t *columns, int width, float *line,
                            ResampleRow *row) {
    row->y = y;
    resample_line<C>(img, y, line);
    // Four floats at a time whatever C: the fourth is overwritten by the
    // next pixel, or lands in the padding after the row.
    float *near_tap = row->near_tap, *far_tap = row->far_tap;
    for (int x = 0; x < width; x++, near_tap += C, far_tap += C) {
        const float *p = line + columns[x];
        memcpy(near_tap, p, 4 * sizeof(float));
        memcpy(far_tap, p + C, 4 * sizeof(float));
    }
}

// Bilinear resample of plane 0 into out's allocated plane, C = min(channels,
// 4) channels per pixel: every byte of those is written, channels beyond the
// fourth are not touched. Taps outside the source read 0, as through
// image_pixel. 1, or 0 when scratch memory ran out and nothing was written.
template <int C> static int resample(const Image *img, Image *out) {
    int width = out->width, height = out->height;
    float sx = static_cast<float>(width) / static_cast<float>(img->width);
    float sy = static_cast<float>(height) / static_cast<float>(img->height);
    size_t count = static_cast<size_t>(width) * C;
    // Whole blocks of lanes are written straight into the plane; the rest of
    // a row goes through `values`. Tap buffers have room for the block past
    // the row, and `tap_size` for the gather's four-float moves past that.
    size_t whole = count / RESAMPLE_LANES * RESAMPLE_LANES;
    size_t padded = whole + RESAMPLE_LANES, tap_size = padded + 4;
    int32_t *columns = static_cast<int32_t *>(malloc(width * sizeof(int32_t)));
    float *fxs = static_cast<float *>(calloc(padded, sizeof(float)));
    float *taps = static_cast<float *>(calloc(4 * tap_size, sizeof(float)));
    uint8_t *values = static_cast<uint8_t *>(malloc(padded));
    float *line = static_cast<float *>(malloc(((img->width + 2) * C + 4) * sizeof(float)));
    if (columns && fxs && taps && values && line) {
        for (int x = 0; x < width; x++) {
            float u = static_cast<float>(x) / sx;
            int x0 = static_cast<int>(u);
            columns[x] = (x0 < img->width ? x0 : img->width) * C;
            for (int c = 0; c < C; c++)
                fxs[static_cast<size_t>(x) * C + c] = u - static_cast<float>(x0);
        }
        ResampleRow rows[2] = {{taps, taps + tap_size, -1},
                               {taps + 2 * tap_size, taps + 3 * tap_size, -1}};
        for (int y = 0; y < height; y++) {
            float v = static_cast<float>(y) / sy;
            int y0 = static_cast<int>(v);
            float fy = v - static_cast<float>(y0);
            if (rows[0].y != y0) {
                if (rows[1].y == y0) {
                    ResampleRow t = rows[0];
                    rows[0] = rows[1];
                    rows[1] = t;
                } else {
                    resample_gather<C>(img, y0, columns, width, line, &rows[0]);
                }
            }
            if (rows[1].y != y0 + 1)
                resample_gather<C>(img, y0 + 1, columns, width, line, &rows[1]);
            uint8_t *dst = out->planes[0] + static_cast<size_t>(y) * width * out->channels;
            const float *a = rows[0].near_tap, *b = rows[0].far_tap;
            const float *c = rows[1].near_tap, *d = rows[1].far_tap;
            if (static_cast<size_t>(out->channels) == C) {
                resample_row(a, b, c, d, fxs, fy, dst, whole);
                resample_row(a + whole, b + whole, c + whole, d + whole, fxs + whole, fy, values,
                             RESAMPLE_LANES);
                memcpy(dst + whole, values, count - whole);
            } else {
                resample_row(a, b, c, d, fxs, fy, values, padded);
                for (int x = 0; x < width; x++)
                    memcpy(dst + static_cast<size_t>(x) * out->channels, values + x * C, C);
            }
        }
    }
    int done = columns && fxs && taps && values && line;
    free(columns), free(fxs), free(taps), free(values), free(line);
    return done;
}

void image_resize(Image *img, int width, int height) {
    if (width <= 0 || height <= 0 || img->width <= 0 || img->height <= 0) return;
    Image out = {};
    out.width = width;
    out.height = height;
    out.channels = img->channels;
    int channels = img->channels;
    size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) *
                  static_cast<size_t>(channels > 0 ? channels : 0);
    // The resampler writes every byte of 1- to 4-channel pixels, so their
    // plane needs no zeroing unless the resampler could not run.
    int written = 0;
    if (img->planes[0] && channels >= 1 && channels <= 4) {
        out.planes[0] = static_cast<uint8_t *>(malloc(size ? size : 1));
        if (out.planes[0]) {
            if (channels == 1) written = resample<1>(img, &out);
            if (channels == 2) written = resample<2>(img, &out);
            if (channels == 3) written = resample<3>(img, &out);
            if (channels == 4) written = resample<4>(img, &out);
            if (!written) memset(out.planes[0], 0, size);
        }
    } else {
        image_alloc_plane(&out, 0);
        if (img->planes[0] && out.planes[0] && channels > 4) resample<4>(img, &out);
    }
    image_free(img);
    *img = out;
}
