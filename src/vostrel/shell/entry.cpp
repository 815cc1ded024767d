// Process entry shared by every application: the options that act before
// anything starts, then the platform library (its quit handler registered
// before SDL's, so SDL_Quit runs first at exit), then the shell. The heap is
// tuned before the program allocates anything of its own.
//
// "--help" and "--version" print to standard output and end the process with
// status 0 before SDL, the log or any file is touched. "--xdg-state" moves the
// base directory to the per-user state folder; the desktop entry passes it, so
// a program started from a menu never writes loose files into the home folder.
// These options are ignored by shell_parse_command_line, and the values of
// "--log-level", "--debug-level" and "--gl" are skipped here as there.
#include <vostrel/diag/diag.h>
#include <vostrel/platform/heap.h>
#include <vostrel/platform/pdl.h>
#include <vostrel/shell/shell.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The project's version, given by the build (CMakeLists.txt project VERSION).
#ifndef VOSTREL_VERSION
#error "VOSTREL_VERSION is not defined: build this file through the project's CMakeLists.txt"
#endif

constexpr int PROGRAM_NAME_SIZE = 64;

static void print_usage(const char *name) {
    char stem[PROGRAM_NAME_SIZE];
    app_file_name("", 0, stem, sizeof stem);
    printf("Usage: %s [OPTION]...\n"
           "%s, a touch application.\n"
           "\n"
           "  --log-level N    write log messages of level N and below: 0 critical,\n"
           "                   1 error, 2 warning (the default), 3 info, 4 debug\n"
           "  --debug-level N  start at debug level N (0 to 255); above 2 the end of\n"
           "                   the log is drawn over the screen\n"
           "  --gl es|desktop  draw through an OpenGL ES 1.1 context made with EGL (es)\n"
           "                   or through SDL's OpenGL context (desktop) and fail if\n"
           "                   that one cannot be had; without it, ES where EGL\n"
           "                   offers it, else SDL's OpenGL context\n"
           "  --power-save     present a frame only when the picture changes (input,\n"
           "                   animations, notices, a new window); still a turn\n"
           "                   every 20 ms, and at once on input\n"
           "  --no-picture-cache  draw the application's picture anew every frame\n"
           "                   instead of keeping it in a texture\n"
           "  --fullscreen     fill the screen, the board scaled to the largest size\n"
           "                   that fits, centred on black; hold a finger on the\n"
           "                   top-left corner for 3 seconds and lift it to leave\n"
           "  --kiosk          --fullscreen and --power-save, with the pointer hidden\n"
           "                   and the screen kept from blanking\n"
           "  --xdg-state      keep the program's files in $XDG_STATE_HOME/%s\n"
           "                   (~/.local/state/%s when it is not set), creating\n"
           "                   the folder as needed; the desktop menu entry uses it\n"
           "  --help           print this help and exit\n"
           "  --version        print the version and exit\n"
           "Other arguments are ignored.\n"
           "\n"
           "Files, in the current directory unless --xdg-state is given:\n"
           "  %s_log.txt  log of the latest run, created by its first\n"
           "                              message that passes the level\n"
           "  %s.conf     options (the volume), written when they change\n"
           "  %s.session  stored session, for an application that keeps one\n",
           name, APP_NAME, name, name, stem, stem, stem);
}

int shell_early_options(int argc, char **argv) {
    char name[PROGRAM_NAME_SIZE];
    app_file_name("", 1, name, sizeof name); // the installed program's and its state folder's name
    int state_home = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--log-level") == 0 || strcmp(argv[i], "--debug-level") == 0 ||
            strcmp(argv[i], "--gl") == 0) {
            i++;
        } else if (strcmp(argv[i], "--help") == 0) {
            print_usage(name);
            return 0;
        } else if (strcmp(argv[i], "--version") == 0) {
            printf("%s %s\n", name, VOSTREL_VERSION);
            return 0;
        } else if (strcmp(argv[i], "--xdg-state") == 0) {
            state_home = 1;
        }
    }
    if (state_home && !base_dir_use_state_home(name))
        fprintf(stderr, "%s: no state folder could be made; files go to the current directory\n",
                name);
    return -1;
}

int shell_main(int argc, char **argv) {
    int code = shell_early_options(argc, argv);
    if (code >= 0) return code;
    heap_keep_freed();
    PDL_Init(0);
    atexit(PDL_Quit);
    return shell_run(argc, argv, SCREEN_WIDTH, SCREEN_HEIGHT);
}
