// Diagnostics, inside: the log threshold the command line and the debug
// gesture write, the start-up step, and the seam through which tests start
// the log afresh.
#pragma once

#include <vostrel/diag/diag.h>

// clang-format off
extern unsigned int log_threshold;  // messages with level <= threshold are written; always 0..4
void log_init(void);                                    // start-up step; the lock exists from program start, so this only marks the log ready
void log_reset_for_test(void); // closed and never attempted, threshold 2
// clang-format on
