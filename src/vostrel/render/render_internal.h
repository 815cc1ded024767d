// Rendering, inside: the GL life cycle and the frame the shell drives, the
// module's textures, meshes and saved camera matrices, the notice queue's
// upkeep and the log overlay, the picture cache and its "picture changed"
// rule, the seams the tests read; and the pieces the 2D primitives and the
// labelled box share. An application marks its picture with picture_changed
// (render.h) and uses nothing else from here.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/render/render.h>

#include <GLES/gl.h>

// Module state
extern unsigned button_texture;     // "button.png": labelled boxes and menu items
extern unsigned check_textures[2];  // [0] "check_bad.png", [1] "check.png"

// Primitive meshes: first-vertex indices in the shared vertex store, set by gl_init
struct PrimitiveMeshes {
    int unit_box;        // 24 vertices: six faces of 4; vertices 0..3 are the unit square
    int axis_cross;      // 6 vertices, GL_LINES
    int diagonal_cross;  // 4 vertices, GL_LINES
    int cylinder;        // 134 vertices: bottom centre, 33 rim, top centre, 33 rim, 66 side
};
extern PrimitiveMeshes primitive_meshes;

// GL state and frame (the shell's)
void gl_init(void);                  // meshes, button/check textures, fixed GL state; failures leave texture 0
void gl_release(void);               // deletes gl_init's textures and every vertex-store buffer, empties the store; old context still current
void frame_begin(const Rect *screen); // attaches the vertex store, clears colour and depth
void frame_end(const Rect *screen);   // notice and log overlay, then glFlush

// Shared vertex store
void vertex_store_reset(void);                                     // deletes the buffers (if any), frees the arrays, count 0
void vertex_store_attach(void);                                    // sets the four array pointers (buffer objects preferred)

// Notices and log overlay (the shell's loop)
void notice_reset(void);                          // frees queued and free-list nodes (queued notices dropped), hides the notice
void notice_update(float dt);                     // shows the next queued notice when none is showing
void notice_shutdown(void);                       // frees every node
void notice_draw(const Rect *screen);             // the notice box across the middle third
void log_overlay_draw(const Rect *screen);        // the log's last kilobyte over the frame
const char *notice_text(void);                    // the text of the notice last shown (tests)
const char *log_overlay_text(void);               // the text the overlay draws, from its first shown line, as filled by the last log_overlay_draw (tests)
void log_overlay_reset(void);                     // forgets the buffer so the next draw re-reads the log (tests)

// Camera
extern Mat4 camera_modelview;  // GL model-view of the last camera_setup, row-major; identity before
extern Mat4 camera_projection; // GL projection of the last camera_setup, row-major; identity before
void camera_reset(void);                                                  // both saved matrices back to the identity (gl_init)


// The "picture changed" rule (picture.cpp, no GL)
struct PictureKey {
    int viewport[4]; // x, y, width, height in pixels
    Rect screen;     // the screen rectangle the picture was drawn for
};
void frame_changed(void);                      // something outside the application's picture changed (notice, overlay, menu, expose): present, keep the cache
int picture_redraw_due(const PictureKey *key); // 1 when marked changed, never drawn, or drawn for another key; stores the key and clears the mark
int frame_take_change(void);                   // 1 if the frame was marked changed (frame_changed, picture_changed, picture_cache_reset) since the last call, which clears the mark; the shell's power-saving schedule reads it

// The picture cache (picture_cache.cpp)
void picture_draw(const Rect *screen, void (*draw)(const Rect *screen)); // draw (the application's drawing) anew and cached when due, else the cached picture as one quad
void picture_cache_set_enabled(int flag);      // 0: every frame calls draw, as without a cache; marks the picture changed
int picture_cache_enabled(void);               // 1 unless turned off
void picture_cache_reset(int context_alive);   // as at start: nothing cached (the texture deleted while the old context is current when context_alive, else forgotten without a GL call: the context is gone), no mark, a frame due
// clang-format on

namespace render_detail {

// The enables a primitive may change, captured on entry and put back on exit,
// with the model-view matrix pushed for the primitive's lifetime. One guard
// per public primitive: the unguarded pieces below rely on the caller's.
struct DrawState {
    GLboolean vertex, normal, texcoord, texture;
    DrawState()
        : vertex(glIsEnabled(GL_VERTEX_ARRAY)), normal(glIsEnabled(GL_NORMAL_ARRAY)),
          texcoord(glIsEnabled(GL_TEXTURE_COORD_ARRAY)), texture(glIsEnabled(GL_TEXTURE_2D)) {
        glPushMatrix();
    }
    ~DrawState() {
        glPopMatrix();
        set_client(GL_VERTEX_ARRAY, vertex);
        set_client(GL_NORMAL_ARRAY, normal);
        set_client(GL_TEXTURE_COORD_ARRAY, texcoord);
        if (texture)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
    }
    DrawState(const DrawState &) = delete;
    DrawState &operator=(const DrawState &) = delete;
    static void set_client(GLenum array, GLboolean on) {
        if (on)
            glEnableClientState(array);
        else
            glDisableClientState(array);
    }
};

// The unit square of the vertex store, as a fan (filled) or a line loop, in
// the current matrix with whatever arrays the caller has enabled.
void draw_unit_square(int filled);

} // namespace render_detail
