// Settings, inside: the changed flag, loading and freeing, which the shell's
// start-up and shutdown call, and the look-up counter the tests read.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <vostrel/settings/settings.h>

extern int options_changed;               // set by every change; cleared by a successful read or save

void options_free(void);                                                      // frees everything; options_changed untouched
long options_probes(void);                                                    // index slots examined by look-ups so far (tests: reading must stay linear)
int options_load(void);       // options_clear, then options_read_file
int options_read_file(void);  // 1 if read; 0 (WARNING logged) if it cannot be opened, registry then as before
// clang-format on
