// Stand-in for libpdl: see pdl.h.
#include <vostrel/platform/pdl.h>

static PdlState pdl;

int PDL_Init(unsigned int flags) {
    pdl.initialised = 1;
    pdl.quit = 0;
    pdl.flags = flags;
    return 0;
}

void PDL_Quit(void) { pdl.quit = 1; }

const PdlState *pdl_state(void) { return &pdl; }
