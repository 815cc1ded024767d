// Process entry shared by every application: the options that act before
// anything starts, then the platform library (its quit handler registered
// before SDL's, so SDL_Quit runs first at exit), then the shell. The heap is
// tuned before the program allocates anything of its own.
//
// "--help" and "--version" print to standard output and end the process with
// status 0 before SDL, the log or any file is touched. They speak of the
// application: its name, its version (app_version) and its help lines
// (app_help_lines) beside the framework's common options. "--xdg-state" moves the
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

// The framework's version, given by the build (CMakeLists.txt project VERSION).
#ifndef VOSTREL_VERSION
#error "VOSTREL_VERSION is not defined: build this file through the project's CMakeLists.txt"
#endif

constexpr int PROGRAM_NAME_SIZE = 64;
constexpr int OPTION_COLUMN = 19; // where an option's description starts
constexpr int OPTION_WIDTH = OPTION_COLUMN - 4;

// The options every application on the framework has, in neutral words; an
// application's help lines may give one of them words of its own. "%s" in
// a text stands for the program's name.
static const HelpLine common_options[] = {
    {"--log-level N", "write log messages of level N and below: 0 critical,\n"
                      "1 error, 2 warning (the default), 3 info, 4 debug"},
    {"--debug-level N", "start at debug level N (0 to 255); above 2 the end of\n"
                        "the log is drawn over the screen"},
    {"--gl es|desktop", "draw through an OpenGL ES 1.1 context made with EGL (es)\n"
                        "or through SDL's OpenGL context (desktop) and fail if\n"
                        "that one cannot be had; without it, ES where EGL\n"
                        "offers it, else SDL's OpenGL context"},
    {"--power-save", "present a frame only when the picture changes (input,\n"
                     "animations, notices, a new window); still a turn\n"
                     "every 20 ms, and at once on input"},
    {"--no-picture-cache", "draw the application's picture anew every frame\n"
                           "instead of keeping it in a texture"},
    {"--fullscreen", nullptr}, // fullscreen_text: the leave gesture's corner
    {"--kiosk", "--fullscreen and --power-save, with the pointer hidden,\n"
                "the screen kept from blanking and no gesture to leave;\n"
                "--latency low unless --latency is given"},
    {"--latency low|normal", "low: a tap is heard within about 15 ms (small sound\n"
                             "buffers, the sound server asked for a short one, a\n"
                             "turn's sleep ended by input); normal: 1024-frame\n"
                             "buffers and 20 ms sleeps (the default)"},
    {"--audio-device NAME", "play on that output: a sound server's sink, or an\n"
                            "ALSA device where no server runs; a name that does\n"
                            "not exist is a warning, and the default output plays"},
    {"--list-audio-devices", "print the names --audio-device takes and exit"},
    {"--xdg-state", "keep the program's files in $XDG_STATE_HOME/%s\n"
                    "(~/.local/state/%s when it is not set), creating\n"
                    "the folder as needed"},
};

static const HelpLine closing_options[] = {
    {"--help", "print this help and exit"},
    {"--version", "print the version and exit"},
};

// The files every application may write, named by their suffix.
static const HelpLine common_files[] = {
    {"_log.txt", "log of the latest run, created by its first\n"
                 "message that passes the level"},
    {".conf", "options, written when they change"},
    {".session", "stored session, for an application that keeps one"},
};

static int same(const char *a, const char *b) { return a && b && strcmp(a, b) == 0; }

static int is_common(const char *key) {
    for (const HelpLine &line : common_options)
        if (same(line.key, key)) return 1;
    for (const HelpLine &line : closing_options)
        if (same(line.key, key)) return 1;
    for (const HelpLine &line : common_files)
        if (same(line.key, key)) return 1;
    return 0;
}

// --fullscreen's words name the corner the application holds the leave gesture in.
static const char *fullscreen_text(void) {
    switch (app_leave_corner()) {
    case LEAVE_TOP_LEFT:
        return "fill the screen, the application scaled to the largest\n"
               "size that fits, centred on black; hold a finger on the\n"
               "top-left corner for 3 seconds and lift it to leave";
    case LEAVE_TOP_RIGHT:
        return "fill the screen, the application scaled to the largest\n"
               "size that fits, centred on black; hold a finger on the\n"
               "top-right corner for 3 seconds and lift it to leave";
    case LEAVE_BOTTOM_LEFT:
        return "fill the screen, the application scaled to the largest\n"
               "size that fits, centred on black; hold a finger on the\n"
               "bottom-left corner for 3 seconds and lift it to leave";
    case LEAVE_BOTTOM_RIGHT:
        return "fill the screen, the application scaled to the largest\n"
               "size that fits, centred on black; hold a finger on the\n"
               "bottom-right corner for 3 seconds and lift it to leave";
    default:
        return "fill the screen, the application scaled to the largest\n"
               "size that fits, centred on black";
    }
}

// The application's words for a key, else the framework's.
static const char *help_text(const HelpLine *own, const HelpLine &common) {
    for (const HelpLine *line = own; line && line->key; line++)
        if (same(line->key, common.key)) return line->text;
    if (same(common.key, "--fullscreen")) return fullscreen_text();
    return common.text;
}

// A text's lines, the later ones indented to `column`; "%s" is the program.
static void print_text(const char *text, int column, const char *program) {
    for (const char *c = text; *c; c++) {
        if (c[0] == '%' && c[1] == 's') {
            fputs(program, stdout);
            c++;
        } else if (*c == '\n') {
            printf("\n%*s", column, "");
        } else {
            putchar(*c);
        }
    }
    putchar('\n');
}

static void print_option(const char *option, const char *text, const char *program) {
    printf("  %-*s  ", OPTION_WIDTH, option);
    print_text(text, OPTION_COLUMN, program);
}

static void print_usage(const char *program) {
    const HelpLine *own = app_help_lines();
    char stem[PROGRAM_NAME_SIZE];
    app_file_name("", 0, stem, sizeof stem);
    printf("Usage: %s [OPTION]...\n", program);
    const HelpLine about = {"", nullptr};
    const char *line = help_text(own, about);
    if (line)
        print_text(line, 0, program);
    else
        printf("%s, a touch application.\n", APP_NAME);
    printf("\n");
    for (const HelpLine &option : common_options)
        if (const char *text = help_text(own, option)) print_option(option.key, text, program);
    for (const HelpLine *option = own; option && option->key; option++)
        if (option->key[0] == '-' && option->text && !is_common(option->key))
            print_option(option->key, option->text, program);
    for (const HelpLine &option : closing_options)
        print_option(option.key, option.text, program);
    printf("Other arguments are ignored.\n"
           "\n"
           "Files, in the current directory unless --xdg-state is given:\n");
    // One column for the descriptions, after the longest file name.
    int width = 0;
    for (const HelpLine &file : common_files) {
        const int n = static_cast<int>(strlen(stem) + strlen(file.key));
        width = n > width ? n : width;
    }
    for (const HelpLine &file : common_files) {
        const char *text = help_text(own, file);
        if (!text) continue;
        const int n = static_cast<int>(strlen(stem) + strlen(file.key));
        printf("  %s%s%*s  ", stem, file.key, width - n, "");
        print_text(text, width + 4, program);
    }
}

static void print_version(const char *program) {
    const char *version = app_version();
    if (version)
        printf("%s %s\n", program, version);
    else
        printf("%s (Vostrel framework %s)\n", program, VOSTREL_VERSION);
}

int shell_early_options(int argc, char **argv) {
    char name[PROGRAM_NAME_SIZE];
    app_file_name("", 1, name, sizeof name); // the installed program's and its state folder's name
    int state_home = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--log-level") == 0 || strcmp(argv[i], "--debug-level") == 0 ||
            strcmp(argv[i], "--gl") == 0 || strcmp(argv[i], "--latency") == 0 ||
            strcmp(argv[i], "--audio-device") == 0) {
            i++;
        } else if (strcmp(argv[i], "--help") == 0) {
            print_usage(name);
            return 0;
        } else if (strcmp(argv[i], "--version") == 0) {
            print_version(name);
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
