// The window's drawing context.
//
// The program draws with OpenGL ES 1.1. SDL 1.2 cannot make an ES context on
// desktop Linux, so by default the window is opened without SDL_OPENGL and an
// ES 1.1 context is made through EGL on SDL's own X11 window; the program then
// swaps with eglSwapBuffers. Where EGL, an ES 1.1 window config or an X11
// window is missing, the window is opened again with SDL_OPENGL and the
// program draws in SDL's desktop context, keeping to the ES 1.1 subset.
//
// The drawing code links libGLESv1_CM only, never libGL. In the SDL_OPENGL
// fallback SDL loads libGL.so.1 (GLVND) itself and makes a GLX context
// current; GLVND's libGLESv1_CM and libGL share one dispatch table in
// libGLdispatch, which follows the current context of whichever API made it,
// so every gl* call the drawing code makes through libGLESv1_CM reaches the
// GLX context's vendor library (Mesa), glOrthof and glFrustumf included.
//
// A resize keeps the path and the ES context and rebuilds only the window
// surface. A swap that finds its surface or context lost recreates it once; a
// second loss before any swap succeeds is final, so a broken driver never
// makes the loop spin on recreating.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/diag/diag.h>

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <stdio.h>
#include <string.h>

constexpr int CONFIG_LIMIT = 128;

struct EglErrorName {
    EGLint code;
    const char *name;
};

constexpr EglErrorName EGL_ERROR_NAMES[] = {
    {EGL_SUCCESS, "EGL_SUCCESS"},
    {EGL_NOT_INITIALIZED, "EGL_NOT_INITIALIZED"},
    {EGL_BAD_ACCESS, "EGL_BAD_ACCESS"},
    {EGL_BAD_ALLOC, "EGL_BAD_ALLOC"},
    {EGL_BAD_ATTRIBUTE, "EGL_BAD_ATTRIBUTE"},
    {EGL_BAD_CONFIG, "EGL_BAD_CONFIG"},
    {EGL_BAD_CONTEXT, "EGL_BAD_CONTEXT"},
    {EGL_BAD_CURRENT_SURFACE, "EGL_BAD_CURRENT_SURFACE"},
    {EGL_BAD_DISPLAY, "EGL_BAD_DISPLAY"},
    {EGL_BAD_MATCH, "EGL_BAD_MATCH"},
    {EGL_BAD_NATIVE_PIXMAP, "EGL_BAD_NATIVE_PIXMAP"},
    {EGL_BAD_NATIVE_WINDOW, "EGL_BAD_NATIVE_WINDOW"},
    {EGL_BAD_PARAMETER, "EGL_BAD_PARAMETER"},
    {EGL_BAD_SURFACE, "EGL_BAD_SURFACE"},
    {EGL_CONTEXT_LOST, "EGL_CONTEXT_LOST"},
};

static struct {
    int request; // CONTEXT_AUTO, CONTEXT_ES or CONTEXT_DESKTOP: the path asked for
    int path;    // the path in use; 0 before the first window
    EGLDisplay display;
    EGLConfig config;
    EGLContext context;
    EGLSurface surface;
    EGLNativeWindowType window; // the X11 window the surface is made on
    int recovering;             // a surface or context was recreated; no swap has succeeded since
    char error[256];            // why the last open failed
    char failed_what[64];       // the step that failed, for the one-line failure
} ctx = {CONTEXT_AUTO, 0, EGL_NO_DISPLAY, nullptr, EGL_NO_CONTEXT, EGL_NO_SURFACE, 0, 0, "", ""};

// "EGL_BAD_SURFACE" for EGL_BAD_SURFACE; "unknown EGL error" for codes EGL does not define.
static const char *egl_error_name(EGLint code) {
    for (const EglErrorName &e : EGL_ERROR_NAMES)
        if (e.code == code) return e.name;
    return "unknown EGL error";
}

// Records the failed step and its reason for the caller; 0.
static int fail(const char *what, const char *reason) {
    snprintf(ctx.failed_what, sizeof ctx.failed_what, "%s", what);
    snprintf(ctx.error, sizeof ctx.error, "%s", reason);
    return 0;
}

// An EGL step failed: its name and EGL's error, read now.
// GLVND's eglGetDisplay fails without an error when no vendor library
// (Mesa's libEGL_mesa, a GPU driver's) is installed or configured.
static int egl_fail(const char *step) {
    char detail[128];
    EGLint error = eglGetError();
    if (error == EGL_SUCCESS)
        snprintf(detail, sizeof detail, "%s failed: no EGL vendor library answered (EGL_SUCCESS)",
                 step);
    else
        snprintf(detail, sizeof detail, "%s failed: %s", step, egl_error_name(error));
    return fail("OpenGL ES through EGL", detail);
}

static void log_gl_path(void) {
    log_printf(LOG_INFO, "GL: %s, %s, %s", reinterpret_cast<const char *>(glGetString(GL_VERSION)),
               reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
               ctx.path == CONTEXT_ES ? "through EGL" : "through SDL's OpenGL context");
}

// A window config drawing like SDL's desktop visual: no multisampling, an
// opaque colour buffer, the deepest depth buffer on offer. ES 1.1 configs are
// asked for by EGL_OPENGL_ES_BIT. 0 when none.
static int choose_config(void) {
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_ES_BIT,
                             EGL_SURFACE_TYPE,
                             EGL_WINDOW_BIT,
                             EGL_RED_SIZE,
                             1,
                             EGL_GREEN_SIZE,
                             1,
                             EGL_BLUE_SIZE,
                             1,
                             EGL_DEPTH_SIZE,
                             16,
                             EGL_NONE};
    EGLConfig configs[CONFIG_LIMIT];
    EGLint count = 0;
    if (!eglChooseConfig(ctx.display, wanted, configs, CONFIG_LIMIT, &count))
        return egl_fail("eglChooseConfig");
    if (count <= 0)
        return fail("OpenGL ES through EGL",
                    "no EGL config offers OpenGL ES 1 on a window surface");
    int best = -1;
    long best_score = -1;
    for (int i = 0; i < count; i++) {
        EGLint samples = 0, alpha = 0, depth = 0;
        eglGetConfigAttrib(ctx.display, configs[i], EGL_SAMPLES, &samples);
        eglGetConfigAttrib(ctx.display, configs[i], EGL_ALPHA_SIZE, &alpha);
        eglGetConfigAttrib(ctx.display, configs[i], EGL_DEPTH_SIZE, &depth);
        long score = (samples == 0 ? 4L : 0L) * 1000 + (alpha == 0 ? 2L : 0L) * 100 + depth;
        if (score > best_score) {
            best = i;
            best_score = score;
        }
    }
    ctx.config = configs[best];
    return 1;
}

// The X11 window SDL made for the current video mode. 0 when SDL's video
// driver gives none (a non-X11 driver, sdl12-compat on Wayland).
static int sdl_x11_window(Display **display, Window *window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display ||
        !info.info.x11.window) {
        char driver[32] = "?", reason[96];
        SDL_VideoDriverName(driver, sizeof driver);
        snprintf(reason, sizeof reason, "SDL's video driver \"%s\" gives no X11 window", driver);
        return fail("OpenGL ES through EGL", reason);
    }
    *display = info.info.x11.display;
    *window = info.info.x11.window;
    return 1;
}

static int make_surface(void) {
    ctx.surface = eglCreateWindowSurface(ctx.display, ctx.config, ctx.window, nullptr);
    if (ctx.surface == EGL_NO_SURFACE) return egl_fail("eglCreateWindowSurface");
    if (!eglMakeCurrent(ctx.display, ctx.surface, ctx.surface, ctx.context)) {
        int ok = egl_fail("eglMakeCurrent");
        eglDestroySurface(ctx.display, ctx.surface);
        ctx.surface = EGL_NO_SURFACE;
        return ok;
    }
    // The loop paces itself (a 20 ms sleep a turn); a swap that also waited
    // for the display would add up to a refresh to each turn's input latency,
    // and Mesa's X11 surfaces, asked to wait, cost several milliseconds a
    // frame even where nothing refreshes (Xvfb). SDL's context does not wait
    // there either. Per surface, so every new surface is told again.
    eglSwapInterval(ctx.display, 0);
    return 1;
}

static void drop_surface(void) {
    if (ctx.surface == EGL_NO_SURFACE) return;
    eglMakeCurrent(ctx.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(ctx.display, ctx.surface);
    ctx.surface = EGL_NO_SURFACE;
}

static int make_context(void) {
    const EGLint version[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    ctx.context = eglCreateContext(ctx.display, ctx.config, EGL_NO_CONTEXT, version);
    if (ctx.context == EGL_NO_CONTEXT) return egl_fail("eglCreateContext");
    return 1;
}

static void release_egl(void) {
    if (ctx.display == EGL_NO_DISPLAY) return;
    drop_surface();
    eglMakeCurrent(ctx.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (ctx.context != EGL_NO_CONTEXT) eglDestroyContext(ctx.display, ctx.context);
    ctx.context = EGL_NO_CONTEXT;
    eglTerminate(ctx.display);
    ctx.display = EGL_NO_DISPLAY;
}

// A window without SDL_OPENGL and an ES 1.1 context on it. On failure
// everything EGL made is released again.
static int open_es(int width, int height) {
    if (!shell_display_set_mode(width, height, 0)) return fail("SDL_SetVideoMode", SDL_GetError());
    Display *x_display = nullptr;
    Window x_window = 0;
    if (!sdl_x11_window(&x_display, &x_window)) return 0;
    ctx.window = x_window;
    if (ctx.context != EGL_NO_CONTEXT) { // a new video mode: the context stays, the surface is new
        drop_surface();
        return make_surface();
    }
    ctx.display = eglGetDisplay(x_display);
    if (ctx.display == EGL_NO_DISPLAY) return egl_fail("eglGetDisplay");
    int ok = 0;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(ctx.display, &major, &minor))
        egl_fail("eglInitialize");
    else if (!eglBindAPI(EGL_OPENGL_ES_API))
        egl_fail("eglBindAPI");
    else
        ok = choose_config() && make_context() && make_surface();
    if (!ok) release_egl();
    return ok;
}

static int open_desktop(int width, int height) {
    if (!shell_display_set_mode(width, height, SDL_OPENGL))
        return fail("SDL_SetVideoMode", SDL_GetError());
    return 1;
}

void shell_request_context(int path) {
    ctx.request = path == CONTEXT_ES || path == CONTEXT_DESKTOP ? path : CONTEXT_AUTO;
}

int shell_context_path(void) { return ctx.path; }
const char *shell_context_error(void) { return ctx.error; }
const char *shell_context_failed_step(void) { return ctx.failed_what; }

int shell_context_open(int width, int height) {
    ctx.error[0] = 0;
    ctx.failed_what[0] = 0;
    int first = ctx.path == 0;
    int path = first ? ctx.request : ctx.path;
    if (path == CONTEXT_DESKTOP) {
        if (!open_desktop(width, height)) return 0;
    } else if (open_es(width, height)) {
        path = CONTEXT_ES;
    } else if (path == CONTEXT_ES) {
        return 0;
    } else {
        log_printf(LOG_WARNING, "No OpenGL ES context (%s); drawing through SDL's OpenGL context",
                   ctx.error);
        path = CONTEXT_DESKTOP;
        if (!open_desktop(width, height)) return 0;
    }
    ctx.path = path;
    ctx.recovering = 0;
    if (first) log_gl_path();
    return 1;
}

int shell_context_swap(void) {
    if (ctx.path != CONTEXT_ES) {
        SDL_GL_SwapBuffers();
        return 1;
    }
    if (eglSwapBuffers(ctx.display, ctx.surface)) {
        ctx.recovering = 0;
        return 1;
    }
    EGLint error = eglGetError();
    int lost_context = error == EGL_CONTEXT_LOST;
    if (ctx.recovering ||
        (error != EGL_BAD_SURFACE && error != EGL_BAD_NATIVE_WINDOW && !lost_context)) {
        fail("eglSwapBuffers", egl_error_name(error));
        return 0;
    }
    log_printf(LOG_ERROR, "eglSwapBuffers failed: %s; making a new %s", egl_error_name(error),
               lost_context ? "context" : "surface");
    ctx.recovering = 1;
    drop_surface();
    if (lost_context) {
        eglDestroyContext(ctx.display, ctx.context);
        ctx.context = EGL_NO_CONTEXT;
        if (!make_context()) return 0;
    }
    if (!make_surface()) return 0;
    return lost_context ? 2 : 1;
}

void shell_context_abandon(void) {
    ctx.display = EGL_NO_DISPLAY;
    ctx.context = EGL_NO_CONTEXT;
    ctx.path = 0;
}

void shell_context_close(void) {
    release_egl();
    ctx.path = 0;
}
