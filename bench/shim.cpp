// Benchmark shim, loaded with LD_PRELOAD into the soundboard or the bare
// window program: appends "swap <ns>" for the first SDL_GL_SwapBuffers and
// "play <ns>" for every Mix_PlayChannelTimed to $VOSTREL_BENCH_TRACE, in
// CLOCK_MONOTONIC nanoseconds, then calls through to the real function.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

struct Mix_Chunk;

static void trace(const char *what) {
    static int fd = -2;
    if (fd == -2) {
        const char *path = getenv("VOSTREL_BENCH_TRACE");
        fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    }
    if (fd < 0) return;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[64];
    int n = snprintf(line, sizeof line, "%s %lld\n", what,
                     static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    if (write(fd, line, static_cast<size_t>(n)) != n) return;
}

extern "C" int Mix_PlayChannelTimed(int channel, Mix_Chunk *chunk, int loops, int ticks) {
    trace("play");
    using Fn = int (*)(int, Mix_Chunk *, int, int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "Mix_PlayChannelTimed"));
    return real(channel, chunk, loops, ticks);
}

extern "C" void SDL_GL_SwapBuffers(void) {
    static int swapped;
    using Fn = void (*)(void);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_GL_SwapBuffers"));
    real();
    if (!swapped) {
        swapped = 1;
        trace("swap");
    }
}
