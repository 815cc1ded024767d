// The floor for the start-up and memory figures: SDL 1.2 with the same
// 320x480 SDL_OPENGL window, one cleared frame swapped, then idle until quit.
#include <GL/gl.h>
#include <SDL.h>

int main(int, char **) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    if (!SDL_SetVideoMode(320, 480, 0, SDL_OPENGL)) return 1;
    SDL_WM_SetCaption("Bare Window", "Bare Window");
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapBuffers();
    SDL_Event e;
    while (SDL_WaitEvent(&e) && e.type != SDL_QUIT) {
    }
    SDL_Quit();
    return 0;
}
