// Pieces the 2D primitives and the labelled box share, internal to render/.
#pragma once

#include <GLES/gl.h>

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
