// The floor for the start-up and memory figures: SDL 1.2 started as the
// program starts it, video and audio with the mixer opened on the program's
// device format, and the same 320x480 SDL_OPENGL window; one cleared frame
// swapped, then idle until quit.
#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>

int main(int, char **) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) return 1;
    if (!SDL_SetVideoMode(320, 480, 0, SDL_OPENGL)) return 1;
    SDL_WM_SetCaption("Bare Window", "Bare Window");
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapBuffers();
    SDL_Event e;
    while (SDL_WaitEvent(&e) && e.type != SDL_QUIT) {
    }
    Mix_CloseAudio();
    SDL_Quit();
    return 0;
}
