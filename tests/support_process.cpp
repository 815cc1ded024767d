// Test support, processes; see support_process.h.
#include "support_process.h"

#include "support_files.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// A cross build's tests run under qemu-user, which cannot exec a foreign
// program by itself (no binfmt_misc): the program is started through the same
// emulator command, whose words VOSTREL_EMULATOR holds, separated by spaces.
#ifndef VOSTREL_EMULATOR
#define VOSTREL_EMULATOR ""
#endif
const char *const program_emulator = VOSTREL_EMULATOR;

int run_command(const std::string &cmd) {
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int wait_scale() {
    const char *s = getenv("VOSTREL_WAIT_SCALE");
    int n = s ? atoi(s) : 1;
    return n >= 1 && n <= 100 ? n : 1;
}

void pause_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

void pause_scaled_ms(int ms) { usleep(static_cast<useconds_t>(ms) * 1000 * wait_scale()); }

pid_t program_start_binary(const std::string &binary, const std::vector<std::string> &args,
                           const std::vector<std::string> &env, const std::string &stderr_path) {
    pid_t parent = getpid();
    std::vector<std::string> words;
    for (const char *p = VOSTREL_EMULATOR; *p;) {
        size_t n = strcspn(p, " ");
        if (n) words.emplace_back(p, n);
        p += n + (p[n] == ' ');
    }
    words.push_back(binary);
    words.insert(words.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid != 0) return pid;
    // A test that dies (a failed assertion's exit, a crash, ctest's timeout)
    // takes the program with it: an orphan holding the test's output pipe
    // would keep ctest waiting until its timeout.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    for (const std::string &kv : env) {
        size_t eq = kv.find('=');
        setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
    }
    if (!stderr_path.empty()) {
        int fd = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
    }
    std::vector<char *> argv;
    for (const std::string &w : words)
        argv.push_back(const_cast<char *>(w.c_str()));
    // The drawing path a test run holds every program to (CTest sets it).
    std::string gl = getenv("VOSTREL_TEST_GL") ? getenv("VOSTREL_TEST_GL") : "";
    std::string gl_option = "--gl";
    if (!gl.empty()) {
        argv.push_back(gl_option.data());
        argv.push_back(gl.data());
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

bool program_running(pid_t pid) {
    siginfo_t info = {};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false; // no such child
    return info.si_pid == 0;
}

int program_wait(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(50000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

int program_terminate(pid_t pid, int seconds) {
    kill(pid, SIGTERM);
    return program_wait(pid, seconds);
}

std::string program_sdl_library(pid_t pid) {
    std::string maps = read_file("/proc/" + std::to_string(pid) + "/maps");
    size_t at = maps.find("/libSDL-1.2.so");
    if (at == std::string::npos) return "";
    size_t start = maps.rfind(' ', at) + 1, end = maps.find('\n', at);
    return maps.substr(start, end - start);
}

ChildGuard::~ChildGuard() {
    if (pid > 0 && program_running(pid)) kill(pid, SIGKILL);
    if (pid > 0) waitpid(pid, nullptr, 0);
}

double seconds_now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
