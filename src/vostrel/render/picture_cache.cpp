// The application's picture cached in a texture. When the rule
// (picture.cpp) says the picture must be drawn anew, the application draws
// into the cleared frame as it always did and the viewport's pixels are
// copied into a texture (glCopyTexSubImage2D: framebuffer objects are an
// extension on OpenGL ES 1.1). Other frames draw that texture as one quad
// over the screen rectangle, texel for pixel: nearest sampling, texturing
// replacing the colour and blending off, so the frame is byte for byte the
// one the application's own drawing gives.
//
// The quad covers the screen rectangle in the viewport the picture was taken
// in, so a viewport that scales the screen rectangle onto a larger window
// works as long as it holds still; a viewport that moves is part of the key
// and makes the picture drawn anew.
//
// GL state, exactly: after a drawn or a cached picture, the state the
// application's drawing leaves for what is drawn after it (the keyboard, a
// notice, the overlay) is the one it left when it last drew: the bound 2D
// texture, the projection matrix, the current colour, the front material
// (ambient, diffuse, specular, emission, shininess) and whether blending,
// depth testing and lighting are on. Everything else a cached frame changes is put back as it found
// it: the model-view and texture matrices, the matrix mode (model-view), the texture environment's
// mode, texturing and the vertex, normal and texture-coordinate arrays.
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>

#include <GLES/gl.h>
#include <string.h>

static struct {
    int disabled;     // every frame draws the application itself
    unsigned texture; // the cached picture; 0 for none
    int texture_w, texture_h;
    GLenum format;   // GL_RGB or GL_RGBA, as the framebuffer has alpha or not
    int viewport[4]; // where the picture was taken
    // What the application's drawing left, put back after a cached frame.
    GLint bound_texture;
    GLfloat projection[16];
    GLfloat colour[4];
    GLfloat material[4][4]; // ambient, diffuse, specular, emission
    GLfloat shininess;
    GLboolean blend, depth_test, lighting;
} cache;

static const GLenum MATERIAL_PARTS[4] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};

static int power_of_two(int n) {
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

void picture_cache_set_enabled(int flag) {
    cache.disabled = !flag;
    picture_changed();
}

int picture_cache_enabled(void) { return !cache.disabled; }

void picture_rule_reset(void); // picture.cpp

void picture_cache_reset(int context_alive) {
    if (context_alive && cache.texture) glDeleteTextures(1, &cache.texture);
    cache.texture = 0;
    cache.texture_w = cache.texture_h = 0;
    picture_rule_reset();
}

// What the application's drawing left, to be put back after a cached frame.
static void remember_state(void) {
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &cache.bound_texture);
    glGetFloatv(GL_PROJECTION_MATRIX, cache.projection);
    glGetFloatv(GL_CURRENT_COLOR, cache.colour);
    for (int i = 0; i < 4; i++)
        glGetMaterialfv(GL_FRONT, MATERIAL_PARTS[i], cache.material[i]);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &cache.shininess);
    cache.blend = glIsEnabled(GL_BLEND);
    cache.depth_test = glIsEnabled(GL_DEPTH_TEST);
    cache.lighting = glIsEnabled(GL_LIGHTING);
}

static void set_enabled(GLenum cap, GLboolean on) {
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

static void restore_state(void) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(cache.bound_texture));
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(cache.projection);
    glMatrixMode(GL_MODELVIEW);
    gl_set_color_f(cache.colour);
    for (int i = 0; i < 4; i++)
        glMaterialfv(GL_FRONT_AND_BACK, MATERIAL_PARTS[i], cache.material[i]);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, cache.shininess);
    set_enabled(GL_BLEND, cache.blend);
    set_enabled(GL_DEPTH_TEST, cache.depth_test);
    set_enabled(GL_LIGHTING, cache.lighting);
}

// A texture for the viewport's pixels, made again when the size or the
// framebuffer's format asks for another. 0 when the viewport exceeds what
// the implementation can hold.
static int prepare_texture(int w, int h) {
    GLint alpha_bits = 0, max_size = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alpha_bits);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    const int tw = power_of_two(w), th = power_of_two(h);
    if (w <= 0 || h <= 0 || tw > max_size || th > max_size) return 0;
    const GLenum format = alpha_bits > 0 ? GL_RGBA : GL_RGB;
    if (cache.texture && cache.texture_w == tw && cache.texture_h == th && cache.format == format)
        return 1;
    if (!cache.texture) glGenTextures(1, &cache.texture);
    glBindTexture(GL_TEXTURE_2D, cache.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), tw, th, 0, format, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    cache.texture_w = tw;
    cache.texture_h = th;
    cache.format = format;
    return 1;
}

static void draw_cached(const Rect *screen) {
    render_detail::DrawState guard;
    const GLboolean blend = glIsEnabled(GL_BLEND);
    GLint env = GL_MODULATE;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    gl_begin_2d(screen);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glScalef(static_cast<float>(cache.viewport[2]) / static_cast<float>(cache.texture_w),
             static_cast<float>(cache.viewport[3]) / static_cast<float>(cache.texture_h), 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gl_map_rect(screen, &unit_rect);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, cache.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glDisable(GL_BLEND);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    render_detail::draw_unit_square(1);
    if (blend) glEnable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, env);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void picture_draw(const Rect *screen, void (*draw)(const Rect *screen)) {
    if (cache.disabled) {
        draw(screen);
        return;
    }
    PictureKey key;
    memset(&key, 0, sizeof key);
    glGetIntegerv(GL_VIEWPORT, key.viewport);
    key.screen = *screen;
    const int due = picture_redraw_due(&key);
    if (!due && cache.texture) {
        draw_cached(screen);
        restore_state();
        return;
    }
    draw(screen);
    remember_state();
    if (!prepare_texture(key.viewport[2], key.viewport[3])) {
        // No texture holds this viewport: the application draws every frame.
        if (cache.texture) glDeleteTextures(1, &cache.texture);
        cache.texture = 0;
        cache.texture_w = cache.texture_h = 0;
        restore_state();
        return;
    }
    memcpy(cache.viewport, key.viewport, sizeof cache.viewport);
    glBindTexture(GL_TEXTURE_2D, cache.texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, key.viewport[0], key.viewport[1], key.viewport[2],
                        key.viewport[3]);
    restore_state();
}
