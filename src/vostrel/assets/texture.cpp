// Textures: GL ES 1.x textures made from an Image plane or a compiled-in
// picture. There is no registry: the caller keeps the name, and textures live
// until the GL context ends.
//
// Each texture is one level, internal format equal to its pixel format,
// unsigned bytes, linear filtering, default wraps. Rows go up in memory order,
// so t = 0 is the picture's bottom. Planes are tightly packed, so any row
// length uploads; the unpack alignment is as the caller left it afterwards.
#include <vostrel/assets/assets.h>

#include <GLES/gl.h>

// GL pixel format for a plane of 1..4 bytes per pixel; 0 for anything else.
static GLenum texture_format(int bpp) {
    switch (bpp) {
    case 1:
        return GL_LUMINANCE;
    case 2:
        return GL_LUMINANCE_ALPHA;
    case 3:
        return GL_RGB;
    case 4:
        return GL_RGBA;
    default:
        return 0;
    }
}

unsigned texture_from_image(const Image *img, int plane) {
    GLenum format = texture_format(image_plane_bpp(img, plane));
    if (!format) return 0;
    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Plane rows are not padded: at GL's default alignment of 4, a row of 1-,
    // 2- or 3-byte pixels whose length is not a multiple of 4 would make GL
    // read past the plane's end.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), img->width, img->height, 0, format,
                 GL_UNSIGNED_BYTE, img->planes[plane]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glDisable(GL_TEXTURE_2D);
    return name;
}

// Decodes the record, keys 3-channel pictures when a key is given, uploads
// plane 0 and frees the image on every path. 0 when decoding fails.
static unsigned texture_load(const AssetRecord *asset, const uint8_t *key) {
    Image img;
    unsigned name = 0;
    if (image_load_asset(asset, &img)) {
        if (key && img.channels == 3) image_color_key(&img, key);
        name = texture_from_image(&img, 0);
    }
    image_free(&img);
    return name;
}

unsigned texture_from_asset(const AssetRecord *asset) { return texture_load(asset, nullptr); }

unsigned texture_from_asset_keyed(const AssetRecord *asset, const uint8_t key[3]) {
    return texture_load(asset, key);
}
