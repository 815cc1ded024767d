// Rendering, inside: the picture cache's and the "picture changed" rule's
// seams for the shell, tests and benchmarks. An application marks its
// picture with picture_changed (render.h) and nothing else from here.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/render/render.h>

constexpr int PRESENT_AFTER_CHANGE = 2; // frames presented after the one that shows a change: a double-buffered swap's other buffer, and one more

// The "picture changed" rule (picture.cpp, no GL)
struct PictureKey {
    int viewport[4]; // x, y, width, height in pixels
    Rect screen;     // the screen rectangle the picture was drawn for
};
void frame_changed(void);                      // something outside the application's picture changed (notice, overlay, menu, expose): present, keep the cache
int picture_redraw_due(const PictureKey *key); // 1 when marked changed, never drawn, or drawn for another key; stores the key and clears the mark
int frame_present_due(void);                   // power saving: 1 on a turn after a change and on the PRESENT_AFTER_CHANGE turns after it, else 0
void picture_forget(void);                     // the cache is gone (GL rebuilt): the next picture is drawn anew and presented
void picture_rule_reset(void);                 // as at start: nothing cached, a frame due

// The picture cache (picture_cache.cpp)
void picture_draw(const Rect *screen, void (*draw)(const Rect *screen)); // draw (the application's drawing) anew and cached when due, else the cached picture as one quad
void picture_cache_set_enabled(int flag);      // 0: every frame calls draw, as without a cache; marks the picture changed
int picture_cache_enabled(void);               // 1 unless turned off
void picture_cache_release(void);              // deletes the texture (old context current), then picture_cache_lost
void picture_cache_lost(void);                 // forgets the texture without a GL call (context gone)

// clang-format on
