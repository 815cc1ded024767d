// The soundboard's entry point: the framework's process entry, which runs the
// board through the application hooks defined in app/board.cpp.
//
// A board appended to the executable (vostrel-make-board) replaces the
// compiled-in one. One that is damaged ends the program with status 1, one
// line on stderr and an ERROR in the log: the user asked for that board, so
// the default board in its place would only hide the fault. An appended board
// started with "--xdg-state" keeps its files in a state folder of its own. It
// plays in low latency unless it was made with latency=normal.
#include "app/app.h"
#include "app/remote.h"

#include <vostrel/diag/diag.h>
#include <vostrel/shell/shell.h>

#include <stdio.h>
#include <string.h>

static struct {
    PayloadBoard board;
    char *args[256];
} main_state;

int main(int argc, char **argv) {
    static const char program[] = "vostrel-soundboard";
    remote_parse_args(argc, argv);
    char why[PAYLOAD_WHY_SIZE] = "";
    int found = payload_read_file("/proc/self/exe", &main_state.board, why, sizeof why);
    if (found == PAYLOAD_DAMAGED) {
        fprintf(stderr, "%s: the board appended to this program is unusable: %s\n", program, why);
        int code = shell_early_options(argc, argv); // --help and --version still answer
        if (code >= 0) return code;
        log_printf(LOG_ERROR, "Board: appended board unusable: %s", why);
        log_close();
        return 1;
    }
    if (found != PAYLOAD_BOARD) return shell_main(argc, argv);

    board_payload = &main_state.board;
    remote_board_options(board_payload->remote >= 1, board_payload->remote == 2);
    // The board's own latency and output, which the command line may change.
    shell_set_latency(main_state.board.latency_normal ? SHELL_LATENCY_NORMAL : SHELL_LATENCY_LOW);
    if (main_state.board.device[0]) shell_set_audio_device(main_state.board.device);
    // "--xdg-state" is handled here, so the shell keeps to the board's folder.
    int n = 0, state_home = 0;
    for (int i = 0; i < argc && n < 255; i++) {
        if (i > 0 && strcmp(argv[i], "--xdg-state") == 0)
            state_home = 1;
        else
            main_state.args[n++] = argv[i];
    }
    main_state.args[n] = nullptr;
    char folder[PAYLOAD_NAME_SIZE + sizeof program];
    if (state_home && !(board_state_folder(program, board_payload, folder, sizeof folder) &&
                        base_dir_use_state_home(folder)))
        fprintf(stderr, "%s: no state folder could be made; files go to the current directory\n",
                program);
    return shell_main(n, main_state.args);
}
