// Stand-in for the device vendor's platform library (libpdl).
//
// On the device, PDL_Init connects to the system services and PDL_Quit
// releases them; on desktop Linux there are none, so both only record that
// they ran (tests and the smoke run read pdl_state to check the exit order).
#pragma once

int PDL_Init(unsigned int flags); // always 0 (success); records the flags
void PDL_Quit(void);              // marks the library as shut down; safe to call twice

struct PdlState {
    int initialised; // PDL_Init has run
    int quit;        // PDL_Quit has run
    unsigned flags;  // flags given to PDL_Init
};
const PdlState *pdl_state(void); // read-only view of the stand-in's state
