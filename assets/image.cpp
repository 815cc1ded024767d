// PLACEHOLDER: replaced by the images work.
#include "assets/assets.h"
void image_codec_init(void) {}
void image_codec_shutdown(void) {}
