// Shared vertex store: every vertex the program draws, as four attribute
// arrays (position, normal, texture coordinate, colour; 16 bytes a vertex
// each) in client memory, mirrored in four static GL buffer objects. A mesh is
// a run of consecutive vertices known by its first index. Appends happen only
// in the initialisation chain; frames attach the arrays once and upload nothing.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <GLES/gl.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr int ATTRIBUTES = 4;      // position, normal, texcoord, colour
constexpr int FLOATS_PER_SLOT = 4; // 16 bytes per vertex and attribute
constexpr GLsizei SLOT_STRIDE = FLOATS_PER_SLOT * sizeof(float);

struct VertexStore {
    int count;
    float *arrays[ATTRIBUTES];
    GLuint buffers[ATTRIBUTES];
};

VertexStore store;

void delete_buffers(void) {
    for (GLuint &name : store.buffers) {
        if (name) glDeleteBuffers(1, &name);
        name = 0;
    }
}

} // namespace

int vertex_store_add(int count, const float *positions, const float *normals,
                     const float *texcoords, const float *colours) {
    if (count < 0) count = 0;
    const int old = store.count;
    const size_t slots = static_cast<size_t>(old) + static_cast<size_t>(count);
    const size_t size = slots * SLOT_STRIDE;
    const float *sources[ATTRIBUTES] = {positions, normals, texcoords, colours};
    const int components[ATTRIBUTES] = {3, 3, 3, 4};

    for (int a = 0; a < ATTRIBUTES; a++) {
        // calloc of at least one byte so an empty store still has arrays.
        float *grown = static_cast<float *>(calloc(size ? size : 1, 1));
        if (store.arrays[a] && old > 0)
            memcpy(grown, store.arrays[a], static_cast<size_t>(old) * SLOT_STRIDE);
        free(store.arrays[a]);
        store.arrays[a] = grown;
        if (!sources[a]) continue;
        const int n = components[a];
        for (int i = 0; i < count; i++)
            memcpy(grown + static_cast<size_t>(old + i) * FLOATS_PER_SLOT,
                   sources[a] + static_cast<size_t>(i) * n, static_cast<size_t>(n) * sizeof(float));
    }
    store.count = old + count;

    // Replacing the buffers makes pointers attached earlier stale; frame_begin
    // attaches anew every frame and appends never happen inside a frame.
    delete_buffers();
    for (int a = 0; a < ATTRIBUTES; a++) {
        glGenBuffers(1, &store.buffers[a]);
        glBindBuffer(GL_ARRAY_BUFFER, store.buffers[a]);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(size), store.arrays[a],
                     GL_STATIC_DRAW);
    }
    return old;
}

int vertex_store_count(void) { return store.count; }

const float *vertex_store_array(int attribute) {
    if (attribute < 0 || attribute >= ATTRIBUTES) return nullptr;
    return store.arrays[attribute];
}

unsigned vertex_store_buffer(int attribute) {
    if (attribute < 0 || attribute >= ATTRIBUTES) return 0;
    return store.buffers[attribute];
}

void vertex_store_reset(void) {
    delete_buffers();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    for (float *&array : store.arrays) {
        free(array);
        array = nullptr;
    }
    store.count = 0;
}

void vertex_store_attach(void) {
    for (int a = 0; a < ATTRIBUTES; a++) {
        // With no buffer object the pointer is a client address, which GL only
        // reads as such while no array buffer is bound.
        const GLuint name = store.buffers[a];
        glBindBuffer(GL_ARRAY_BUFFER, name);
        const void *where = name ? nullptr : static_cast<const void *>(store.arrays[a]);
        switch (a) {
        case 0:
            glVertexPointer(3, GL_FLOAT, SLOT_STRIDE, where);
            break;
        case 1:
            glNormalPointer(GL_FLOAT, SLOT_STRIDE, where);
            break;
        case 2:
            glTexCoordPointer(3, GL_FLOAT, SLOT_STRIDE, where);
            break;
        default:
            glColorPointer(4, GL_FLOAT, SLOT_STRIDE, where);
            break;
        }
    }
}
