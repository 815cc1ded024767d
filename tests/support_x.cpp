// Test support, X; see support_x.h.
#include "support_x.h"

#include "support_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <unistd.h>

int xdotool_tap(const std::string &window, int x, int y, const char *hold) {
    return run_command("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                       std::to_string(y) + " mousedown 1 sleep " + hold + " mouseup 1");
}

XServer::XServer(const std::vector<std::string> &extra_args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t parent = getpid();
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        close(fds[0]);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd,          "-screen",
                                         "0",    "640x480x24", "-nolisten", "tcp"};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    struct pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    ok = !number.empty();
    display = ":" + number;
}

void XServer::stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (program_wait(pid, 5) < 0) fprintf(stderr, "Xvfb %s needed SIGKILL\n", display.c_str());
    pid = -1;
}

XServer::~XServer() { stop(); }
