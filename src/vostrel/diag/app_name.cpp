// The application's name in the forms files and messages use: lower-cased in
// the C locale's sense, as "<name><suffix>" (the log, options and session
// files: "vostrel soundboard.conf") or with dashes for spaces (the installed
// program and its state folder: "vostrel-soundboard"). Every such form comes
// from here, so the files and the messages of one application always agree.
#include <vostrel/diag/diag.h>

#include <ctype.h>
#include <stdio.h>

int app_file_name(const char *suffix, int dashes, char *out, size_t size) {
    if (size == 0) return 0;
    int n = snprintf(out, size, "%s%s", APP_NAME, suffix ? suffix : "");
    for (char *c = out; *c; c++)
        *c = dashes && *c == ' ' ? '-' : static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    return n >= 0 && static_cast<size_t>(n) < size;
}
