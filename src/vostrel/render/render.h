// Rendering: the fixed GL state and the frame, the shared vertex store and its
// primitive meshes, 2D primitives, labelled boxes, notices and the log overlay,
// screenshots, the 3D camera.
//
// All calls need the GL context current (main thread). Drawing coordinates
// grow upwards; every drawing function restores the matrix stack, the client
// arrays and the texturing state it changed. Blending is always on.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/input/input.h>
#include <vostrel/math/maths.h>

#include <stdint.h>

typedef uint8_t Rgba[4]; // R, G, B, A bytes, passed by pointer

// Module state
extern unsigned button_texture;     // "button.png": labelled boxes and menu items
extern unsigned check_textures[2];  // [0] "check_bad.png", [1] "check.png"
extern const Rect unit_rect;        // (-0.5, 0.5, -0.5, 0.5)

// Primitive meshes: first-vertex indices in the shared vertex store, set by gl_init
struct PrimitiveMeshes {
    int unit_box;        // 24 vertices: six faces of 4; vertices 0..3 are the unit square
    int axis_cross;      // 6 vertices, GL_LINES
    int diagonal_cross;  // 4 vertices, GL_LINES
    int cylinder;        // 134 vertices: bottom centre, 33 rim, top centre, 33 rim, 66 side
};
extern PrimitiveMeshes primitive_meshes;

// GL state and frame
void gl_init(void);                  // meshes, button/check textures, fixed GL state; failures leave texture 0
void gl_release(void);               // deletes gl_init's textures and every vertex-store buffer, empties the store; old context still current
void gl_set_viewport(const Rect *r); // glViewport of r, sizes truncated toward zero
void gl_set_display_area(float scale, float x, float y); // later viewports: screen pixels times scale, then offset by (x, y) window pixels, y up; (1, 0, 0) is the identity
void gl_display_rect(const Rect *r, Rect *out); // r in screen pixels -> where it shows in the window, through the display area
void gl_begin_2d(const Rect *r);     // projection = ortho onto r; modelview mode; depth test and lighting off
void frame_begin(const Rect *screen); // attaches the vertex store, clears colour and depth
void frame_end(const Rect *screen);   // notice and log overlay, then glFlush

// Shared vertex store
int vertex_store_add(int count, const float *positions, const float *normals,
                     const float *texcoords, const float *colours); // first index of the appended run; sources copied, each may be null
int vertex_store_count(void);                                      // vertices in the store
const float *vertex_store_array(int attribute);                    // client copy: 0 position, 1 normal, 2 texcoord, 3 colour (4 floats a vertex)
unsigned vertex_store_buffer(int attribute);                       // GL buffer name of an attribute, 0 when absent
void vertex_store_reset(void);                                     // deletes the buffers (if any), frees the arrays, count 0
void vertex_store_attach(void);                                    // sets the four array pointers (buffer objects preferred)

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

// Labelled boxes
void draw_label_box(const Rect *r, const char *text, const uint8_t *fill, const uint8_t *ink); // box (picture, fill, outline or none) and the text scaled to fit

// Notices and log overlay
void notice_reset(void);                          // frees queued and free-list nodes (queued notices dropped), hides the notice
void notice_post(const char *text, float seconds); // queued; 0 or less shows until dismissed; text cut at 255 characters
int notice_showing(void);                         // 1 while a notice is on screen
void notice_update(float dt);                     // shows the next queued notice when none is showing
void notice_dismiss(void);                        // hides the notice and cancels its timer
void notice_shutdown(void);                       // frees every node
void notice_draw(const Rect *screen);             // the notice box across the middle third
void log_overlay_draw(const Rect *screen);        // the log's last kilobyte over the frame
const char *notice_text(void);                    // the text of the notice last shown (tests)
const char *log_overlay_text(void);               // the text the overlay draws, from its first shown line, as filled by the last log_overlay_draw (tests)
void log_overlay_reset(void);                     // forgets the buffer so the next draw re-reads the log (tests)

// Screenshots
int screenshot_write(const Rect *r, const char *name); // 1000x1000 PNG of r under the base dir; 1 if written, flushed and closed; a failed write is logged and its partial file removed

// Camera: angles in degrees; saved matrices row-major (element (row, column) at row * 4 + column)
struct Camera {
    Vec3 eye;    // position
    Vec3 target; // point looked at
    Vec3 up;     // up direction
};
extern Mat4 camera_modelview;  // GL model-view of the last camera_setup, row-major; identity before
extern Mat4 camera_projection; // GL projection of the last camera_setup, row-major; identity before
void camera_reset(void);                                                  // both saved matrices back to the identity (gl_init)
void camera_perspective(float angle, float aspect, float znear, float zfar); // glFrustumf of a vertical field of view on the current matrix
void camera_look_at(const float *eye, const float *target, const float *up); // multiplies the current matrix by the view and the eye shift
void camera_setup(const float *eye, const float *target, const float *up, float angle, float aspect, float znear, float zfar); // projection and view (angle horizontal when 0 < aspect < 1), depth test and lighting on, matrices saved; modelview mode
void camera_apply(const Camera *camera, float angle, float aspect, float znear, float zfar); // camera_setup with the record's eye, target and up
int camera_project(float x, float y, float z, const Rect *viewport, const float *modelview, const float *projection, float *wx, float *wy, float *wz); // object -> window, clamped to the viewport and depth [0, 1]; 0 (outputs untouched) when clip w is 0
int camera_unproject(float wx, float wy, float wz, const Rect *viewport, const float *modelview, const float *projection, float *x, float *y, float *z); // window -> object; 0 (outputs untouched) when singular or w is 0
void draw_segment(int n, const float *p, const float *q); // line p-q (n = 2 or 3 components; more read as 3) with the axis cross; nothing for n < 2
void draw_axis_line(int axis);                            // one line of the axis cross: 0 x, 1 y, 2 z; other values draw nothing
// clang-format on
