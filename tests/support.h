// Helpers shared by the test programs (and the benchmark driver), one header
// a theme; a test includes the ones it uses or this one for all of them.
#pragma once

#include "support_files.h"
#include "support_gl.h"
#include "support_process.h"
#include "support_program.h"
#include "support_runner.h"
#include "support_shell.h"
#include "support_sound.h"
#include "support_x.h"
