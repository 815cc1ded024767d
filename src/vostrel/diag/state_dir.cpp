// Diagnostics: the per-user state folder as the base directory, for a program
// started from a desktop menu, whose working directory is the home folder.
// See diag.h for the contract.
#include <vostrel/diag/diag.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

constexpr int STATE_PATH_SIZE = 512;

// mkdir -p with 0700 (the XDG base directory rule for directories it has to
// create); 1 if path is a directory afterwards.
static int make_dirs(char *path) {
    for (char *p = path + 1; *p; p++) {
        if (*p != '/') continue;
        *p = 0;
        int ok = mkdir(path, 0700) == 0 || errno == EEXIST;
        *p = '/';
        if (!ok) return 0;
    }
    if (mkdir(path, 0700) != 0 && errno != EEXIST) return 0;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int base_dir_use_state_home(const char *folder) {
    // A relative XDG_STATE_HOME is invalid and must be ignored.
    const char *state = getenv("XDG_STATE_HOME");
    const char *home = getenv("HOME");
    char path[STATE_PATH_SIZE];
    int n;
    if (state && state[0] == '/')
        n = snprintf(path, sizeof path, "%s/%s", state, folder);
    else if (home && home[0] == '/')
        n = snprintf(path, sizeof path, "%s/.local/state/%s", home, folder);
    else
        return 0;
    if (n < 0 || n >= static_cast<int>(sizeof path)) return 0;
    if (!make_dirs(path)) return 0;
    set_base_dir(path);
    return 1;
}
