// Test support, processes: child processes started, waited for and ended,
// shell commands, the clock, and the waits that grow under emulation.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The exit status of `sh -c cmd`; -1 if a signal ended it.
int run_command(const std::string &cmd);

// The monotonic clock in seconds.
double seconds_now();

// The command words that run a program built with the tests, ending in a
// space: a cross build's emulator ("qemu-aarch64 -L SYSROOT "), empty on the
// build's own processor. For commands run through the shell.
extern const char *const program_emulator;
// The factor on the fixed waits of tests that drive the program: the
// environment's VOSTREL_WAIT_SCALE (set for a cross build's tests under
// emulation, where the program answers slower), else 1.
int wait_scale();
// Sleeps ms milliseconds.
void pause_ms(int ms);
// Sleeps ms milliseconds times wait_scale(): a wait for the program under test.
void pause_scaled_ms(int ms);

// `binary` started as a child process (through the build's emulator) in the
// current directory with the given arguments (argv[0] not included). env
// entries are "NAME=value", set in the child only; the child's stderr goes to
// stderr_path when that is not empty; "--gl <value>" is added when
// VOSTREL_TEST_GL is set. The child dies with the test process. -1 if the
// fork failed.
pid_t program_start_binary(const std::string &binary, const std::vector<std::string> &args,
                           const std::vector<std::string> &env,
                           const std::string &stderr_path = "");
// The child has not ended yet. An ended child is left for program_wait to reap.
bool program_running(pid_t pid);
// Waits up to `seconds` for the child to end and reaps it: its exit code, or
// 128 + the number of the signal that ended it; -1 if it was still running
// (it is then killed and reaped).
int program_wait(pid_t pid, int seconds);
// SIGTERM, then program_wait.
int program_terminate(pid_t pid, int seconds);
// The SDL 1.2 library file mapped into a running process ("" if none), from
// /proc/PID/maps: which implementation the dynamic linker chose.
std::string program_sdl_library(pid_t pid);

// Ends a child process (SIGKILL) and reaps it when the object goes, unless
// program_wait reaped it first; a test that fails half-way leaves nothing
// running. Children started by program_start also die with the test process.
struct ChildGuard {
    explicit ChildGuard(pid_t p = -1) : pid(p) {}
    ~ChildGuard();
    ChildGuard(const ChildGuard &) = delete;
    ChildGuard &operator=(const ChildGuard &) = delete;
    pid_t pid;
};
