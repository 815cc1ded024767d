// Frame cost: CPU time of a board frame beside an empty clear-and-swap frame,
// in the same process and window; the board frame as the loop draws it (the
// picture from its cache) and drawn anew every frame (the cache off, as
// before it). glFinish closes each frame so the software
// rasteriser's work is inside the measurement; process CPU time includes its
// threads. A third row is the main thread's CPU time alone: the program, the
// GL front end and the renderer's triangle set-up, without the rasteriser's
// worker threads that shade the pixels (the part a GPU would take over). The
// heap is tuned as the program's main does it.
//
// Both drawing paths in one run: the program runs itself once per path (a
// process holds one window), the ES context through EGL and SDL's OpenGL
// context, and prints both beside the ratio of their board frames.
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/platform/heap.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include <vostrel/input/input_internal.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <stdio.h>
#include <string.h>
#include <string>
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

// One path in this process: "<board cpu> <board wall> <board main> <empty cpu>
// <empty wall> <empty main> <anew cpu> <anew wall> <anew main>" on stdout. 0
// on success.
static int measure_path(int path) {
    heap_keep_freed();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return 1;
    shell_request_context(path);
    shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
    if (shell_context_path() != path) return 1;
    const int frames = 300;
    Cost empty = measure(frames, [] {
        frame_begin(&screen_rect);
        frame_end(&screen_rect);
        glFinish();
        shell_context_swap();
    });
    auto board_frame = [] {
        shell_draw_frame();
        glFinish();
        shell_context_swap();
    };
    // The least any frame of one quad over the window costs on this renderer:
    // the quad flat (no texture, no blending), the shading the cached
    // picture's quad cannot go below.
    Cost flat = measure(frames, [] {
        frame_begin(&screen_rect);
        gl_begin_2d(&screen_rect);
        glLoadIdentity();
        glDisable(GL_BLEND);
        draw_rect(&screen_rect, 1);
        glEnable(GL_BLEND);
        frame_end(&screen_rect);
        glFinish();
        shell_context_swap();
    });
    Cost board = measure(frames, board_frame);
    picture_cache_set_enabled(0);
    Cost anew = measure(frames, board_frame);
    printf("%f %f %f %f %f %f %f %f %f %f\n", board.cpu, board.wall, board.main, empty.cpu,
           empty.wall, empty.main, anew.cpu, anew.wall, anew.main, flat.cpu);
    shell_quit(0, 0);
    SDL_Quit();
    return 0;
}

static int run_path(const char *self, const char *path, Cost *board, Cost *empty, Cost *anew,
                    double *flat) {
    std::string cmd = std::string("'") + self + "' " + path;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return 0;
    int got = fscanf(p, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &board->cpu, &board->wall,
                     &board->main, &empty->cpu, &empty->wall, &empty->main, &anew->cpu,
                     &anew->wall, &anew->main, flat);
    return pclose(p) == 0 && got == 10;
}

static double ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

int main(int argc, char **argv) {
    if (argc > 1) return measure_path(strcmp(argv[1], "es") == 0 ? CONTEXT_ES : CONTEXT_DESKTOP);
    Cost board[2], empty[2], anew[2];
    double flat[2];
    const char *names[2] = {"ES through EGL", "SDL's OpenGL context"};
    for (int i = 0; i < 2; i++)
        if (!run_path(argv[0], i == 0 ? "es" : "desktop", &board[i], &empty[i], &anew[i], &flat[i])) {
            fprintf(stderr, "bench_frames: the %s path did not run\n", names[i]);
            return 1;
        }
    for (int i = 0; i < 2; i++) {
        printf("| frame cost, CPU per frame, %s (300 frames) | %.2f ms | %.2f ms (clear and swap) "
               "| <= 2x (%.2fx) |\n",
               names[i], board[i].cpu, empty[i].cpu, ratio(board[i].cpu, empty[i].cpu));
        printf("| frame cost, CPU per frame, %s, board drawn anew (before the cache) | %.2f ms | "
               "%.2f ms | - (%.2fx) |\n",
               names[i], anew[i].cpu, empty[i].cpu, ratio(anew[i].cpu, empty[i].cpu));
        printf("| frame cost, CPU per frame, %s, one flat quad over the window (the least a "
               "one-quad frame costs) | %.2f ms | %.2f ms | - (%.2fx) |\n",
               names[i], flat[i], empty[i].cpu, ratio(flat[i], empty[i].cpu));
        printf("| frame cost, wall per frame, %s | %.2f ms | %.2f ms | - |\n", names[i],
               board[i].wall, empty[i].wall);
        printf("| frame cost, main thread CPU (no pixel shading), %s | %.2f ms | %.2f ms | <= 2x "
               "(%.2fx) |\n",
               names[i], board[i].main, empty[i].main, ratio(board[i].main, empty[i].main));
    }
    printf("| frame cost, ES / SDL's OpenGL context, board CPU, wall, main thread | %.2fx, %.2fx, "
           "%.2fx | 1.00x | <= 1.10x |\n",
           ratio(board[0].cpu, board[1].cpu), ratio(board[0].wall, board[1].wall),
           ratio(board[0].main, board[1].main));
    return 0;
}
