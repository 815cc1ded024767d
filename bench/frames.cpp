// Frame cost: CPU time of a board frame beside an empty clear-and-swap frame,
// in the same process and window. glFinish closes each frame so the software
// rasteriser's work is inside the measurement; process CPU time includes its
// threads. A third row is the main thread's CPU time alone: the program, the
// GL front end and the renderer's triangle set-up, without the rasteriser's
// worker threads that shade the pixels (the part a GPU would take over). The
// heap is tuned as the program's main does it.
#include <vostrel/diag/diag.h>
#include <vostrel/platform/heap.h>
#include <GLES/gl.h>
#include <vostrel/render/render.h>
#include <vostrel/shell/shell.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <stdio.h>
#include <time.h>

static double cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double wall_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double thread_ms() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Cost {
    double cpu, wall, main;
};

template <typename F> static Cost measure(int frames, F frame) {
    for (int i = 0; i < 20; i++)
        frame(); // warm up
    double c0 = cpu_ms(), w0 = wall_ms(), t0 = thread_ms();
    for (int i = 0; i < frames; i++)
        frame();
    return {(cpu_ms() - c0) / frames, (wall_ms() - w0) / frames, (thread_ms() - t0) / frames};
}

int main() {
    heap_keep_freed();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) return 1;
    shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
    const int frames = 300;
    Cost empty = measure(frames, [] {
        frame_begin(&screen_rect);
        frame_end(&screen_rect);
        glFinish();
        SDL_GL_SwapBuffers();
    });
    Cost board = measure(frames, [] {
        shell_draw_frame();
        glFinish();
        SDL_GL_SwapBuffers();
    });
    printf("| frame cost, CPU per frame (%d frames) | %.2f ms | %.2f ms (clear and swap) | <= 4x "
           "(%.2fx) |\n",
           frames, board.cpu, empty.cpu, empty.cpu > 0 ? board.cpu / empty.cpu : 0.0);
    printf("| frame cost, wall per frame | %.2f ms | %.2f ms | - |\n", board.wall, empty.wall);
    printf("| frame cost, main thread CPU (no pixel shading) | %.2f ms | %.2f ms | <= 4x "
           "(%.2fx) |\n",
           board.main, empty.main, empty.main > 0 ? board.main / empty.main : 0.0);
    shell_quit(0, 0);
    SDL_Quit();
    return 0;
}
