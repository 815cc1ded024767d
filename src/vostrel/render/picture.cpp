// The "picture changed" rule: when the application's cached picture must be
// drawn anew, and, with power saving on, which turns present a frame. No GL
// here: the cache itself is picture_cache.cpp.
//
// The cached picture is drawn anew when it was marked changed, when there is
// none yet, or when what it was drawn for (the viewport, the screen rectangle)
// differs. A frame is presented on a turn that saw a change of the frame and
// on the PRESENT_AFTER_CHANGE turns after it, so that every buffer of a
// double-buffered swap chain holds the new picture.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <string.h>

static struct {
    int picture_marked; // the application's picture is not what the cache holds
    int frame_marked;   // something on screen changed since the last presented frame
    int turns_left;     // frames still to present after the latest change
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

int frame_present_due(void) {
    if (picture.frame_marked) {
        picture.turns_left = 1 + PRESENT_AFTER_CHANGE;
        picture.frame_marked = 0;
    }
    if (picture.turns_left <= 0) return 0;
    picture.turns_left--;
    return 1;
}

void picture_forget(void) {
    picture.have_key = 0;
    picture.frame_marked = 1;
}

void picture_rule_reset(void) {
    memset(&picture, 0, sizeof picture);
    picture.frame_marked = 1;
}
