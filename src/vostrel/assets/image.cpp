// Images: the Image container, its BMP and PNG readers, flip, colour key,
// bilinear resize and the PNG encoder over LodePNG.
//
// PNG reading: every PNG is decoded to 8-bit RGBA and reported with
// channels = 4, whatever its colour type, so that `channels` always describes
// the bytes that plane 0 holds. (Labelling a grey or RGB file with 1 or 3
// channels over RGBA bytes would make every later operation misread it.)
// Nothing that the decoder accepts is rejected, with one exception: the
// decoder reserves the whole raw size that the header claims before it reads
// any pixel data, so a header of more than PNG_MAX_PIXELS pixels is refused
// first (a 70-byte file could otherwise ask for tens of gigabytes).
//
// BMP reading: only uncompressed 24-bit files with a bottom-up row order. The
// header is not trusted: both headers, the pixel-data offset and every padded
// pixel row must lie inside the record, and the size must be sane, before a
// single pixel is read; anything else yields 0 without reading outside the
// record.
//
// Encoding: derived 16-bit planes are written as 16-bit grey PNGs; their
// values are swapped from the machine's order into the PNG's big-endian order
// in a temporary copy, so the file holds the true values and the image is not
// touched.
//
// The codec states are set up by image_codec_init; a decode or encode before
// it sets them up itself, so an early caller gets a working codec, not a crash.
#include <vostrel/assets/assets.h>

#include <lodepng.h>

#include <stdlib.h>
#include <string.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

// Sides beyond this are not pictures the program could use; the bound also
// keeps width * height * 3 far from overflowing.
constexpr int32_t BMP_MAX_SIDE = 16384;
constexpr uint32_t BMP_FILE_HEADER_SIZE = 14;
// BITMAPINFOHEADER; the older, shorter headers lay their fields out otherwise.
constexpr uint32_t BMP_INFO_HEADER_MIN = 40;
constexpr unsigned PNG_WINDOW_SIZE = 2048;
// 64 MB of RGBA; the program's own pictures are at most 1000 x 1000. The
// bound also keeps each side far inside int32_t.
constexpr uint64_t PNG_MAX_PIXELS = 4096ull * 4096ull;
constexpr int DERIVED_BPP = 2;

static struct {
    LodePNGState decoder;
    LodePNGState encoder;
    int codec_ready;
    uint8_t scratch[4]; // what image_pixel hands out for pixels outside the image
} image_state;

void image_codec_init(void) {
    if (image_state.codec_ready) return;
    lodepng_state_init(&image_state.decoder);
    lodepng_state_init(&image_state.encoder);
    image_state.codec_ready = 1;
}

void image_codec_shutdown(void) {
    if (!image_state.codec_ready) return;
    lodepng_state_cleanup(&image_state.decoder);
    lodepng_state_cleanup(&image_state.encoder);
    image_state.codec_ready = 0;
}

static size_t plane_size(const Image *img, int plane) {
    if (img->width <= 0 || img->height <= 0) return 0;
    return static_cast<size_t>(img->width) * static_cast<size_t>(img->height) *
           static_cast<size_t>(image_plane_bpp(img, plane));
}

void image_free(Image *img) {
    for (uint8_t *&p : img->planes)
        free(p);
    memset(img, 0, sizeof *img);
}

void image_create(Image *img, int width, int height, int channels) {
    memset(img, 0, sizeof *img);
    img->width = width;
    img->height = height;
    img->channels = channels;
    image_alloc_plane(img, 0);
}

void image_copy(const Image *src, Image *dst) {
    Image out = {};
    out.width = src->width;
    out.height = src->height;
    out.channels = src->channels;
    for (int p = 0; p < IMAGE_PLANES; p++) {
        if (!src->planes[p]) continue;
        size_t n = plane_size(src, p);
        out.planes[p] = static_cast<uint8_t *>(malloc(n ? n : 1));
        if (n) memcpy(out.planes[p], src->planes[p], n);
    }
    *dst = out;
}

int image_plane_bpp(const Image *img, int plane) {
    if (plane == 0) return img->channels;
    if (plane >= 1 && plane < IMAGE_PLANES) return DERIVED_BPP;
    if (plane == IMAGE_PLANES) return img->channels + DERIVED_BPP * (IMAGE_PLANES - 1);
    return 0;
}

void image_alloc_plane(Image *img, int plane) {
    if (plane < 0 || plane >= IMAGE_PLANES || img->planes[plane]) return;
    size_t n = plane_size(img, plane);
    img->planes[plane] = static_cast<uint8_t *>(calloc(n ? n : 1, 1));
}

void image_ensure_plane(Image *img, int plane) {
    if (plane < 0 || plane >= IMAGE_PLANES || img->planes[plane]) return;
    if (plane == 0)
        image_alloc_plane(img, 0);
    else
        image_derive_plane(img, plane);
}

uint8_t *image_pixel(Image *img, int plane, int x, int y) {
    if (plane < 0 || plane >= IMAGE_PLANES || !img->planes[plane] || x < 0 || y < 0 ||
        x >= img->width || y >= img->height) {
        memset(image_state.scratch, 0, sizeof image_state.scratch);
        return image_state.scratch;
    }
    size_t index =
        static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(img->width);
    return img->planes[plane] + index * static_cast<size_t>(image_plane_bpp(img, plane));
}

void image_flip(Image *img, int horizontal) {
    for (int p = 0; p < IMAGE_PLANES; p++) {
        if (!img->planes[p]) continue;
        int bpp = image_plane_bpp(img, p);
        if (bpp <= 0 || bpp > 4) continue; // a pixel must fit the 4-byte temporary
        uint8_t tmp[4];
        if (horizontal) {
            for (int y = 0; y < img->height; y++)
                for (int x = 0; x < img->width / 2; x++) {
                    uint8_t *a = image_pixel(img, p, x, y);
                    uint8_t *b = image_pixel(img, p, img->width - 1 - x, y);
                    memcpy(tmp, a, bpp);
                    memcpy(a, b, bpp);
                    memcpy(b, tmp, bpp);
                }
        } else {
            for (int x = 0; x < img->width; x++)
                for (int y = 0; y < img->height / 2; y++) {
                    uint8_t *a = image_pixel(img, p, x, y);
                    uint8_t *b = image_pixel(img, p, x, img->height - 1 - y);
                    memcpy(tmp, a, bpp);
                    memcpy(a, b, bpp);
                    memcpy(b, tmp, bpp);
                }
        }
    }
}

void image_color_key(Image *img, const uint8_t key[3]) {
    if (img->channels != 3 || !img->planes[0]) return;
    size_t count = img->width > 0 && img->height > 0
                       ? static_cast<size_t>(img->width) * static_cast<size_t>(img->height)
                       : 0;
    uint8_t *rgba = static_cast<uint8_t *>(calloc(count ? count * 4 : 1, 1));
    const uint8_t *src = img->planes[0];
    for (size_t i = 0; i < count; i++) {
        const uint8_t *s = src + i * 3;
        uint8_t *d = rgba + i * 4;
        memcpy(d, s, 3);
        d[3] = (s[0] == key[0] && s[1] == key[1] && s[2] == key[2]) ? 0 : 255;
    }
    free(img->planes[0]);
    img->planes[0] = rgba;
    img->channels = 4;
}

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

// 1 and a filled 3-channel image, or 0 with img untouched. Every byte read
// lies inside data[0, size).
static int image_read_bmp(const uint8_t *data, uint32_t size, Image *img) {
    if (!data || size < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_MIN) return 0;
    if (data[0] != 'B' || data[1] != 'M') return 0;
    uint64_t info_size = read_le32(data + 14);
    if (info_size < BMP_INFO_HEADER_MIN || BMP_FILE_HEADER_SIZE + info_size > size) return 0;
    uint64_t offset = read_le32(data + 10);
    int32_t width = static_cast<int32_t>(read_le32(data + 18));
    int32_t height = static_cast<int32_t>(read_le32(data + 22));
    if (read_le16(data + 28) != 24) return 0;
    if (read_le32(data + 30) != 0) return 0;
    // Negative heights (top-down files) are not read.
    if (width <= 0 || height <= 0 || width > BMP_MAX_SIDE || height > BMP_MAX_SIDE) return 0;
    uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~static_cast<uint64_t>(3);
    if (offset < BMP_FILE_HEADER_SIZE + info_size) return 0;
    if (offset + stride * static_cast<uint64_t>(height) > size) return 0;

    image_create(img, width, height, 3);
    size_t row_bytes = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t *src = data + offset + stride * static_cast<uint64_t>(y);
        uint8_t *dst = img->planes[0] + row_bytes * static_cast<size_t>(y);
        memcpy(dst, src, row_bytes);
        for (size_t i = 0; i < row_bytes; i += 3) {
            uint8_t b = dst[i];
            dst[i] = dst[i + 2];
            dst[i + 2] = b;
        }
    }
    return 1;
}

// 1 and a 4-channel image with row 0 at the bottom, or 0 with img untouched.
static int image_read_png(const uint8_t *data, uint32_t size, Image *img) {
    if (!data) return 0;
    image_codec_init(); // no-op when the start-up chain already ran it
    unsigned char *pixels = nullptr;
    unsigned w = 0, h = 0;
    if (lodepng_inspect(&w, &h, &image_state.decoder, data, size)) return 0;
    if (static_cast<uint64_t>(w) * h > PNG_MAX_PIXELS) return 0;
    unsigned error = lodepng_decode(&pixels, &w, &h, &image_state.decoder, data, size);
    if (error || !pixels || w == 0 || h == 0) {
        free(pixels);
        return 0;
    }
    img->width = static_cast<int32_t>(w);
    img->height = static_cast<int32_t>(h);
    img->channels = 4;
    img->planes[0] = pixels;
    image_flip(img, 0);
    return 1;
}

int image_load_asset(const AssetRecord *asset, Image *img) {
    memset(img, 0, sizeof *img);
    if (!asset || !asset->type) return 0;
    if (strcmp(asset->type, "bmp") == 0) return image_read_bmp(asset->data, asset->size, img);
    if (strcmp(asset->type, "png") == 0) return image_read_png(asset->data, asset->size, img);
    return 0;
}

static int png_color_type(int channels, LodePNGColorType *type) {
    switch (channels) {
    case 1:
        *type = LCT_GREY;
        return 1;
    case 2:
        *type = LCT_GREY_ALPHA;
        return 1;
    case 3:
        *type = LCT_RGB;
        return 1;
    case 4:
        *type = LCT_RGBA;
        return 1;
    default:
        return 0;
    }
}

int image_encode(Image *img, int plane, const char *type, uint8_t **out, size_t *out_size) {
    *out = nullptr;
    if (!type || strcmp(type, "png") != 0) return 0;
    if (plane < 0 || plane >= IMAGE_PLANES || img->width <= 0 || img->height <= 0) return 0;
    image_ensure_plane(img, plane);
    int bpp = image_plane_bpp(img, plane);
    int channels = bpp;
    unsigned depth = 8;
    if (plane != 0 && bpp > 1) {
        depth = 8 * static_cast<unsigned>(bpp);
        channels = 1;
    }
    LodePNGColorType color;
    if (!png_color_type(channels, &color)) return 0;

    image_codec_init();
    LodePNGState &enc = image_state.encoder;
    enc.encoder.zlibsettings.windowsize = PNG_WINDOW_SIZE;
    enc.encoder.auto_convert = 0;
    enc.info_png.color.colortype = color;
    enc.info_png.color.bitdepth = depth;
    enc.info_raw.colortype = color;
    enc.info_raw.bitdepth = depth;

    const uint8_t *pixels = img->planes[plane];
    uint8_t *swapped = nullptr;
    if (depth == 16) {
        size_t n = plane_size(img, plane);
        swapped = static_cast<uint8_t *>(malloc(n));
        for (size_t i = 0; i + 1 < n; i += 2) {
            uint16_t value;
            memcpy(&value, pixels + i, 2);
            swapped[i] = static_cast<uint8_t>(value >> 8);
            swapped[i + 1] = static_cast<uint8_t>(value & 0xFF);
        }
        pixels = swapped;
    }
    unsigned char *file = nullptr;
    size_t file_size = 0;
    unsigned error = lodepng_encode(&file, &file_size, pixels, static_cast<unsigned>(img->width),
                                    static_cast<unsigned>(img->height), &enc);
    free(swapped);
    if (error || !file || file_size == 0) {
        free(file);
        return 0;
    }
    *out = file;
    *out_size = file_size;
    return 1;
}
