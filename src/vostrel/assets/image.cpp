// Images: the Image container, its BMP and PNG readers, flip, colour key and
// the PNG encoder over LodePNG. The bilinear resize is in resize.cpp.
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
