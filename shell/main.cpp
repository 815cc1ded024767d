// Process entry: the platform library first (its quit handler registered
// before SDL's, so SDL_Quit runs first at exit), then the shell.
#include "platform/pdl.h"
#include "shell/shell.h"

#include <stdlib.h>

int main(int argc, char **argv) {
    PDL_Init(0);
    atexit(PDL_Quit);
    return shell_run(argc, argv, SCREEN_WIDTH, SCREEN_HEIGHT);
}
