// Rendering: the fixed GL state and the frame, the shared vertex store and its
// primitive meshes, 2D primitives, labelled boxes, notices and the log overlay,
// screenshots, the 3D camera.
//
// All calls need the GL context current (main thread). Drawing coordinates
// grow upwards; every drawing function restores the matrix stack, the client
// arrays and the texturing state it changed. Blending is always on. The
// shell's frame and GL life cycle, the notice queue's upkeep and the module's
// textures and meshes are in render_internal.h.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>
#include <vostrel/math/maths.h>

#include <stdint.h>

typedef uint8_t Rgba[4]; // R, G, B, A bytes, passed by pointer

extern const Rect unit_rect;        // (-0.5, 0.5, -0.5, 0.5)

// GL state
void gl_set_viewport(const Rect *r); // glViewport of r, sizes truncated toward zero
void gl_set_display_area(float scale, float x, float y); // later viewports: screen pixels times scale, then offset by (x, y) window pixels, y up; (1, 0, 0) is the identity
void gl_display_rect(const Rect *r, Rect *out); // r in screen pixels -> where it shows in the window, through the display area
void gl_begin_2d(const Rect *r);     // projection = ortho onto r; modelview mode; depth test and lighting off

// Shared vertex store
enum VertexAttribute { VERTEX_POSITION = 0, VERTEX_NORMAL = 1, VERTEX_TEXCOORD = 2, VERTEX_COLOUR = 3 };
int vertex_store_add(int count, const float *positions, const float *normals,
                     const float *texcoords, const float *colours); // first index of the appended run; sources copied, each may be null
int vertex_store_count(void);                                      // vertices in the store
const float *vertex_store_array(int attribute);                    // client copy of a VertexAttribute (4 floats a vertex)
unsigned vertex_store_buffer(int attribute);                       // GL buffer name of a VertexAttribute, 0 when absent

// 2D primitives
void gl_set_color(const uint8_t *rgba);                      // glColor4f and the ambient-and-diffuse material
void gl_set_color_f(const float rgba[4]);                    // gl_set_color of floats 0..1, as GL_CURRENT_COLOR reads them back
void gl_map_rect(const Rect *target, const Rect *source);    // multiplies the modelview so source coords land on target; nothing if source is empty or mirrored
void draw_rect(const Rect *r, int filled);                   // unit square as fan or loop, in the current colour
void draw_textured_rect(const Rect *r, unsigned texture);    // filled, textured
void draw_check_mark(const Rect *r, int state, int tint);    // check texture by state, green/red tint when asked
void draw_shade(const Rect *r, uint8_t alpha);               // black with alpha, filled
void draw_box(const Rect *r, int filled, float depth);       // six faces of the unit box
void draw_cross(const Rect *r);                              // the two diagonals
void draw_disc(float radius, float angle, int filled);       // cap fan or rim loop, round(angle * 32 / 2pi) segments
void draw_cylinder(float radius, float angle, int filled, float height); // caps and side

// The application's picture: what app_pre_draw and app_draw draw, cached in a texture and drawn anew only when it changed
void picture_changed(void); // the application's picture differs from the last one drawn (call after a change input, tweens or timers did not bring: a clock, a sound ending); also presents a frame under power saving

// Labelled boxes
void draw_label_box(const Rect *r, const char *text, const uint8_t *fill, const uint8_t *ink); // box (picture, fill, outline or none) and the text scaled to fit

// Notices
void notice_post(const char *text, float seconds); // queued; 0 or less shows until dismissed; text cut at 255 characters
int notice_showing(void);                         // 1 while a notice is on screen
void notice_dismiss(void);                        // hides the notice and cancels its timer

// Screenshots
int screenshot_write(const Rect *r, const char *name); // 1000x1000 PNG of r under the base dir; 1 if written, flushed and closed; a failed write is logged and its partial file removed

// Camera: angles in degrees; saved matrices row-major (element (row, column) at row * 4 + column)
struct Camera {
    Vec3 eye;    // position
    Vec3 target; // point looked at
    Vec3 up;     // up direction
};
void camera_perspective(float angle, float aspect, float znear, float zfar); // glFrustumf of a vertical field of view on the current matrix
void camera_look_at(const float *eye, const float *target, const float *up); // multiplies the current matrix by the view and the eye shift
void camera_setup(const float *eye, const float *target, const float *up, float angle, float aspect, float znear, float zfar); // projection and view (angle horizontal when 0 < aspect < 1), depth test and lighting on, matrices saved; modelview mode
void camera_apply(const Camera *camera, float angle, float aspect, float znear, float zfar); // camera_setup with the record's eye, target and up
int camera_project(float x, float y, float z, const Rect *viewport, const float *modelview, const float *projection, float *wx, float *wy, float *wz); // object -> window, clamped to the viewport and depth [0, 1]; 0 (outputs untouched) when clip w is 0
int camera_unproject(float wx, float wy, float wz, const Rect *viewport, const float *modelview, const float *projection, float *x, float *y, float *z); // window -> object; 0 (outputs untouched) when singular or w is 0
void draw_segment(int n, const float *p, const float *q); // line p-q (n = 2 or 3 components; more read as 3) with the axis cross; nothing for n < 2
enum Axis { AXIS_X = 0, AXIS_Y = 1, AXIS_Z = 2 };
void draw_axis_line(int axis);                            // one line of the axis cross, by Axis; other values draw nothing
// clang-format on
