// Diagnostics: replacing one of the program's own files whole. See diag.h for
// the contract.
#include "diag/diag.h"

#include <stdio.h>

constexpr int TEMP_PATH_SIZE = 1024;

int file_replace(const char *path, int (*write)(FILE *stream, const void *context),
                 const void *context) {
    if (!path[0]) return 0;
    char temp[TEMP_PATH_SIZE];
    int n = snprintf(temp, sizeof temp, "%s.tmp", path);
    if (n < 0 || n >= static_cast<int>(sizeof temp)) return 0;
    FILE *f = fopen(temp, "wb");
    if (!f) return 0;
    bool ok = write(f, context) != 0;
    ok = (fflush(f) == 0) && ok;
    ok = (fclose(f) == 0) && ok;
    ok = ok && rename(temp, path) == 0;
    if (!ok) remove(temp);
    return ok ? 1 : 0;
}
