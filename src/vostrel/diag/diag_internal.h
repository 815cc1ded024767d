// Diagnostics, inside: the seam through which tests start the log afresh.
#pragma once

#include <vostrel/diag/diag.h>

void log_reset_for_test(void); // closed and never attempted, threshold 2
