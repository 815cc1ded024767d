// An application that defines only some of the hooks, linked against the
// framework's static archive alone: it must link (the framework's defaults
// fill the rest), and the shell must call its own hooks, not the defaults.
// Exits 0 when every own hook ran and the default app_load_session said 0.
#include <vostrel/diag/diag.h>
#include <vostrel/shell/shell.h>

#include <stdio.h>

const char APP_NAME[] = "Partial App";

static int inits, layouts, draws, updates, shutdowns;

void app_init(void) { inits++; }
void app_layout(const Rect *) { layouts++; }
void app_draw(const Rect *) { draws++; }
void app_update(float) {
    if (++updates == 3) shell_request_quit(0);
}
void app_shutdown(void) { shutdowns++; }

int main(int argc, char **argv) {
    int code = shell_main(argc, argv);
    int restored = app_load_session();
    printf("init %d layout %d draw %d update %d shutdown %d load_session %d\n", inits, layouts,
           draws, updates, shutdowns, restored);
    if (code != 0 || inits != 1 || layouts < 1 || draws < 1 || updates != 3 || shutdowns != 1 ||
        restored != 0)
        return 1;
    return 0;
}
