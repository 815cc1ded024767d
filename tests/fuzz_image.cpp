// Fuzz target: arbitrary bytes through both image readers, as a "bmp" record
// and as a "png" record. Each load must end cleanly, succeed or fail, and the
// image must free cleanly either way.
#include <vostrel/assets/assets.h>

#include <stddef.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int codec_ready = (image_codec_init(), 1);
    (void)codec_ready;
    if (size > UINT32_MAX) return 0;
    const char *types[] = {"bmp", "png"};
    for (const char *type : types) {
        AssetRecord record{"fuzz", type, static_cast<uint32_t>(size), data};
        Image img;
        if (image_load_asset(&record, &img)) {
            // A decoded picture must describe its own plane.
            if (img.width <= 0 || img.height <= 0 || !img.planes[0]) __builtin_trap();
            volatile uint8_t last =
                img.planes[0][static_cast<size_t>(img.width) * img.height * img.channels - 1];
            (void)last;
        }
        image_free(&img);
    }
    return 0;
}
