// Input: rectangles and the linear maps between coordinate spaces; SDL key and
// mouse events turned into navigation keys and touch records, dispatched to
// exactly one consumer (notice, on-screen keyboard, menu, application) and
// mapped into that consumer's rectangle; the hidden debug gesture. What the
// shell, the ui and the tests use of the dispatch is in input_internal.h.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stdint.h>

// A screen area or coordinate space. Not normalised: a mirrored rectangle
// (right < left or top < bottom) mirrors what is mapped through it.
struct Rect {
    float left, right, bottom, top;
};

struct TouchPoint {
    float x, y;
};

// One touch, handed by value; entries at or beyond count are ignored.
struct TouchEvent {
    uint32_t count;           // 0 to 4; mouse events give 1
    TouchPoint points[4];     // positions
    TouchPoint deltas[4];     // displacement since the previous mouse event; 0 on press/release
};

enum NavKey { NAV_SELECT = 0, NAV_BACK = 1, NAV_LEFT = 2, NAV_RIGHT = 3, NAV_DOWN = 4, NAV_UP = 5 };

// Where a finger held for 3 seconds, then lifted, leaves --fullscreen (app_leave_corner); --kiosk has no such gesture
enum LeaveCorner { LEAVE_OFF = 0, LEAVE_TOP_LEFT = 1, LEAVE_TOP_RIGHT = 2, LEAVE_BOTTOM_LEFT = 3, LEAVE_BOTTOM_RIGHT = 4 };

// Rectangles (all take pointers; in-place operations change only their target)
float remap(float v, float a0, float a1, float b0, float b1);  // linear map; b0 when a0 == a1; no clamping
float rect_width(const Rect *r);                               // right - left (signed)
float rect_height(const Rect *r);                              // top - bottom (signed)
float rect_center_x(const Rect *r);                            // midpoint, halving in double
float rect_center_y(const Rect *r);                            // midpoint, halving in double
void rect_center(const Rect *r, float *x, float *y);           // both midpoints
float rect_aspect(const Rect *r);                              // |width / height|; 0 when height is 0
int rect_contains(const Rect *r, float x, float y);            // 1 if inside, all edges inclusive; NaN never inside
int rect_equals(const Rect *a, const Rect *b);                 // 1 if all four fields compare equal
void rect_translate(Rect *r, float dx, float dy);              // moves r
void rect_inset_percent(Rect *r, float p);                     // each side in by p% of the size (negative grows)
void rect_grow_to_aspect(const Rect *ref, Rect *r);            // widens or heightens r about its centre to ref's aspect; no change if ref's aspect is 0
void rect_shrink_to_aspect(const Rect *ref, Rect *r);          // narrows or flattens r about its centre to ref's aspect; no change if ref's aspect is 0
void rect_map_point(const Rect *src, const Rect *dst, float *x, float *y);   // point from src space into dst space
void rect_map_delta(const Rect *src, const Rect *dst, float *dx, float *dy); // displacement scaled from src to dst

// Screen and application spaces
extern Rect app_input_rect;             // touch space of the application: the application sets it (normally in app_layout)
const Rect *input_get_screen_rect(void); // the screen in pixels, normalised y-up; (0, 100, 0, 100) until the shell sets it
uint8_t input_get_debug_level(void);     // 0..3 by the debug gesture, any byte from the command line; the log overlay shows above 2
// clang-format on
