// The "picture changed" rule: when the application's cached picture must be
// drawn anew, and, with power saving on, which turns present a frame. No GL
// here: the cache itself is picture_cache.cpp.
//
// The cached picture is drawn anew when it was marked changed, when there is
// none yet, or when what it was drawn for (the viewport, the screen rectangle)
// differs. The frame's own mark is read by the shell's power-saving
// schedule, which decides the turns that present.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <string.h>

static struct {
    int picture_marked; // the application's picture is not what the cache holds
    int frame_marked;   // something on screen changed since the schedule last looked
    int have_key;       // key holds what the cache was drawn for
    PictureKey key;
} picture;

void picture_changed(void) {
    picture.picture_marked = 1;
    picture.frame_marked = 1;
}

void frame_changed(void) { picture.frame_marked = 1; }

int picture_redraw_due(const PictureKey *key) {
    int due =
        picture.picture_marked || !picture.have_key || memcmp(&picture.key, key, sizeof *key) != 0;
    picture.key = *key;
    picture.have_key = 1;
    picture.picture_marked = 0;
    return due;
}

int frame_take_change(void) {
    const int marked = picture.frame_marked;
    picture.frame_marked = 0;
    return marked;
}

// The rule's part of picture_cache_reset (picture_cache.cpp).
void picture_rule_reset(void) {
    memset(&picture, 0, sizeof picture);
    picture.frame_marked = 1;
}
