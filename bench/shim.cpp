// Benchmark shim, loaded with LD_PRELOAD into the soundboard or the bare
// window program. Appends to $VOSTREL_BENCH_TRACE, one line per event, in
// CLOCK_MONOTONIC nanoseconds, then calls through to the real function:
//   "swap <ns>"            the first SDL_GL_SwapBuffers or eglSwapBuffers;
//   "frame <ns>"           every swap, the first included, when
//                          $VOSTREL_BENCH_FRAMES is set (frames presented);
//   "play <ns>"            every Mix_PlayChannelTimed;
//   "audio <ns> <offset>"  every write to SDL's disk audio file
//                          ($SDL_DISKAUDIOFILE), stamped as the write begins,
//                          with the file offset where its bytes go.
// SDL 1.2's disk driver mixes a buffer and writes it at once, so a write's
// stamp is the moment that buffer would be handed to a sound device.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

struct Mix_Chunk;

// Written from the main thread and from SDL's audio thread: one write(2) a
// line, on a descriptor opened once.
static void trace(const char *what, long long extra = -1) {
    static const int fd = [] {
        const char *path = getenv("VOSTREL_BENCH_TRACE");
        return path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    }();
    if (fd < 0) return;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    long long ns = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    char line[96];
    int n = extra < 0 ? snprintf(line, sizeof line, "%s %lld\n", what, ns)
                      : snprintf(line, sizeof line, "%s %lld %lld\n", what, ns, extra);
    if (write(fd, line, static_cast<size_t>(n)) != n) return;
}

extern "C" int Mix_PlayChannelTimed(int channel, Mix_Chunk *chunk, int loops, int ticks) {
    trace("play");
    using Fn = int (*)(int, Mix_Chunk *, int, int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "Mix_PlayChannelTimed"));
    return real(channel, chunk, loops, ticks);
}

static void first_swap(void) {
    static int swapped;
    static const bool frames = getenv("VOSTREL_BENCH_FRAMES") != nullptr;
    if (!swapped) {
        swapped = 1;
        trace("swap");
    }
    if (frames) trace("frame");
}

extern "C" void SDL_GL_SwapBuffers(void) {
    using Fn = void (*)(void);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_GL_SwapBuffers"));
    real();
    first_swap();
}

// The ES path's swap (EGLBoolean eglSwapBuffers(EGLDisplay, EGLSurface)).
extern "C" unsigned eglSwapBuffers(void *display, void *surface) {
    using Fn = unsigned (*)(void *, void *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "eglSwapBuffers"));
    unsigned ok = real(display, surface);
    first_swap();
    return ok;
}

// The disk audio file, once SDL has opened it, and the bytes written to it.
static FILE *audio_file;
static long long audio_offset;

extern "C" FILE *fopen(const char *path, const char *mode) {
    using Fn = FILE *(*)(const char *, const char *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fopen"));
    FILE *f = real(path, mode);
    const char *audio = getenv("SDL_DISKAUDIOFILE");
    if (f && path && audio && strcmp(path, audio) == 0) audio_file = f;
    return f;
}

extern "C" size_t fwrite(const void *data, size_t size, size_t count, FILE *f) {
    using Fn = size_t (*)(const void *, size_t, size_t, FILE *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fwrite"));
    if (audio_file && f == audio_file) {
        trace("audio", audio_offset);
        size_t done = real(data, size, count, f);
        audio_offset += static_cast<long long>(done * size);
        return done;
    }
    return real(data, size, count, f);
}
