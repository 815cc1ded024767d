// Notices and log overlay. The application posts no notice, so the queue stays
// empty and nothing shows; the notices issue fills these in place.
#include "render/render.h"

void notice_reset(void) {}
int notice_showing(void) { return 0; }
void notice_update(float) {}
void notice_dismiss(void) {}
void notice_shutdown(void) {}
void notice_draw(const Rect *) {}
void log_overlay_draw(const Rect *) {}
