// OpenGL ES 1.1 common profile on desktop GL.
//
// SDL 1.2 makes no ES context on desktop Linux, so the program draws inside
// SDL_OPENGL's compatibility context and keeps to the ES 1.1 common-profile
// subset: fixed-function matrices, client arrays, buffer objects, textures,
// blending, materials, glReadPixels. This header is the only place that
// includes GL; it adds the two ES-only entry points and the buffer-object
// prototypes that <GL/gl.h> leaves out.
#pragma once

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>

// ES spells the float forms of glOrtho/glFrustum with an f; desktop GL takes
// doubles. Single-precision inputs widen exactly, so the matrices are equal.
inline void glOrthof(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n, GLfloat f) {
    glOrtho(l, r, b, t, n, f);
}
inline void glFrustumf(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n, GLfloat f) {
    glFrustum(l, r, b, t, n, f);
}
