// Process entry shared by every application: the platform library first (its
// quit handler registered before SDL's, so SDL_Quit runs first at exit), then
// the shell. The heap is tuned before the program allocates anything of its own.
#include "platform/heap.h"
#include "platform/pdl.h"
#include "shell/shell.h"

#include <stdlib.h>

int shell_main(int argc, char **argv) {
    heap_keep_freed();
    PDL_Init(0);
    atexit(PDL_Quit);
    return shell_run(argc, argv, SCREEN_WIDTH, SCREEN_HEIGHT);
}
