// Assets and images: the compiled-in asset records, the Image container with
// its BMP/PNG readers, flip, colour key, bilinear resize and PNG encoder, and
// GL textures made from images.
//
// Records are link-time constants built from files (tools/assets.cmake); each
// consumer names the records it uses. Images are caller-owned records whose
// planes are freed only by image_free (safe on a cleared or partial image).
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stddef.h>
#include <stdint.h>

// One compiled-in file. Never modified, never freed; data is 4-byte aligned.
struct AssetRecord {
    const char *name;    // file name with extension, e.g. "applause.wav"
    const char *type;    // "wav", "png" (the image loader also takes "bmp")
    uint32_t size;       // bytes behind data: the whole file
    const uint8_t *data; // the unaltered file contents
};

// The framework's own assets (interface sounds, button and check pictures, the
// font): vostrel_asset_ + the file name as a C identifier. An application's
// records are asset_ + its file name (vostrel_asset_records), so its own
// click.wav is asset_click_wav and never clashes with the framework's.
extern "C" const AssetRecord vostrel_asset_applause_wav, vostrel_asset_boo_wav, vostrel_asset_bubble_wav;
extern "C" const AssetRecord vostrel_asset_cheering_wav, vostrel_asset_click_wav;
extern "C" const AssetRecord vostrel_asset_button_png, vostrel_asset_check_png, vostrel_asset_check_bad_png;
extern "C" const AssetRecord vostrel_asset_font_chicago_png;

constexpr int IMAGE_PLANES = 7;     // plane 0 colour, 1..6 derived 16-bit planes
constexpr uint16_t SEAM_MARK = 0xFFFF;

// Pixel (x, y) of a plane at (x + y * width) * bpp; row 0 is the bottom row.
struct Image {
    int32_t width, height;
    int32_t channels;                 // bytes per pixel of plane 0: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    uint8_t *planes[IMAGE_PLANES];    // null when absent
};

// Little-endian fields of asset files (BMP and WAV headers)
inline uint16_t read_le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); } // the 2 bytes at p, least significant first
inline uint32_t read_le32(const uint8_t *p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24; } // the 4 bytes at p, least significant first

// Codec
void image_codec_init(void);     // sets up the shared LodePNG decoder and encoder states
void image_codec_shutdown(void); // releases them

// Images
int image_load_asset(const AssetRecord *asset, Image *img);       // clears img, decodes by type; 1 on success, 0 (img may be partial: image_free it) on failure
void image_free(Image *img);                                       // frees all planes, clears the record
void image_create(Image *img, int width, int height, int channels); // cleared record with a zeroed colour plane
void image_copy(const Image *src, Image *dst);                     // dst gets src's size and its own copy of every present plane
int image_plane_bpp(const Image *img, int plane);                  // channels for 0, 2 for 1..6, the sum for 7
void image_alloc_plane(Image *img, int plane);                     // zeroed plane if absent; a present plane is untouched
void image_ensure_plane(Image *img, int plane);                    // plane 0 zeroed, 1..6 computed, if absent
uint8_t *image_pixel(Image *img, int plane, int x, int y);         // pixel address; out of range: a zeroed 4-byte scratch cell
void image_flip(Image *img, int horizontal);                       // 0 flips rows, non-zero mirrors columns; every present plane
void image_color_key(Image *img, const uint8_t key[3]);            // 3-channel only: to RGBA, alpha 0 where RGB == key
void image_resize(Image *img, int width, int height);              // bilinear on plane 0, others dropped; no change if any size <= 0
int image_encode(Image *img, int plane, const char *type, uint8_t **out, size_t *out_size); // "png" only; 1 and a malloc'd file, or 0 and *out null

// Content-aware resizing
void image_seam_remove(Image *img, int direction); // 0: width - 1 along a vertical seam; else height - 1
void image_seam_insert(Image *img, int direction); // 0: width + 1 along a vertical seam; else height + 1
void image_derive_plane(Image *img, int plane);    // plane 1..6 computed, with the planes below it, if absent; others untouched

// Textures (GL context current)
unsigned texture_from_image(const Image *img, int plane);                      // GL name, or 0 if the plane's bpp is not 1..4 (no GL call then)
unsigned texture_from_asset(const AssetRecord *asset);                          // GL name of the decoded colour plane, or 0
unsigned texture_from_asset_keyed(const AssetRecord *asset, const uint8_t key[3]); // as above, 3-channel pictures keyed to RGBA first
// clang-format on
