// Rendering: the screenshot writer. Reads the screen rectangle of the frame
// just drawn (after frame_end, before the swap), turns it top row first,
// stretches it to SCREENSHOT_SIZE square and writes it as a PNG file under the
// base directory. Keeps no state. A failed write, flush or close is logged and
// the partial file removed.
#include <vostrel/render/render.h>

#include <vostrel/assets/assets.h>
#include <vostrel/diag/diag.h>

#include <GLES/gl.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

constexpr int SCREENSHOT_SIZE = 1000;
constexpr size_t PATH_SIZE = 512;
constexpr size_t TYPE_SIZE = 32;

// base_dir + "/" + name into path; 0 when that would not fit (a cut path
// would name some other file).
int build_path(const char *name, char *path) {
    get_base_dir(path, PATH_SIZE);
    size_t used = strlen(path);
    int n = snprintf(path + used, PATH_SIZE - used, "/%s", name);
    return n >= 0 && static_cast<size_t>(n) < PATH_SIZE - used;
}

// path names the regular file that `file` has open, so removing path removes
// that file: never a device such as /dev/full, nor a symbolic link to it.
int names_open_regular_file(FILE *file, const char *path) {
    struct stat opened, named;
    if (fstat(fileno(file), &opened) != 0 || !S_ISREG(opened.st_mode)) return 0;
    return lstat(path, &named) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

} // namespace

// Result 1 only when the whole PNG went out and the file was flushed and
// closed without error. An unwritable path writes nothing; a name without the
// "png" extension leaves an empty file; a failed write, flush or close (a full
// disk) is logged and leaves no partial file. A rectangle with no pixels, or a
// path longer than 511 characters, touches nothing and gives 0.
//
// r is in screen pixels; what is read is where it shows in the window (a
// fullscreen window shows the screen scaled), then resized as always.
int screenshot_write(const Rect *screen_area, const char *name) {
    Rect shown;
    gl_display_rect(screen_area, &shown);
    const Rect *r = &shown;
    const int width = static_cast<int>(rect_width(r));
    const int height = static_cast<int>(rect_height(r));
    if (width <= 0 || height <= 0) return 0;
    char path[PATH_SIZE];
    if (!build_path(name, path)) return 0;

    Image img;
    image_create(&img, width, height, 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(static_cast<GLint>(r->left), static_cast<GLint>(r->bottom), width, height, GL_RGB,
                 GL_UNSIGNED_BYTE, img.planes[0]);
    image_flip(&img, 0);
    image_resize(&img, SCREENSHOT_SIZE, SCREENSHOT_SIZE);

    int result = 0;
    uint8_t *encoded = nullptr;
    FILE *file = fopen(path, "wb");
    if (file) {
        char type[TYPE_SIZE];
        size_t size = 0;
        if (file_extension(name, type, sizeof type) &&
            image_encode(&img, 0, type, &encoded, &size)) {
            int written = fwrite(encoded, size, 1, file) == 1 && fflush(file) == 0;
            int error = errno;
            const int removable = names_open_regular_file(file, path);
            if (fclose(file) != 0 && written) {
                error = errno;
                written = 0;
            }
            if (!written) {
                if (removable) remove(path);
                log_printf(LOG_ERROR, "Screenshot %s not written: %s", path, strerror(error));
            }
            result = written;
        } else {
            fclose(file);
        }
    }
    image_free(&img);
    free(encoded);
    return result;
}
