// The board under Wayland compositors, as a Raspberry Pi runs it: a headless
// sway (wlroots) with XWayland, its screen read back with grim and compared
// with the board drawn on Xvfb, on both SDL 1.2s (sdl12-compat told to use
// native Wayland); and the boot unit's own command under a headless cage.
// Compositors refuse root, so they run as a normal user that the set-up
// creates.
#include "support.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include <X11/Xutil.h>
#include <lodepng.h>

#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char USER[] = "vostrel-kiosk";

// The compositor's user, made once: "" when it exists, else why not.
std::string ensure_user() {
    if (getpwnam(USER)) return "";
    if (geteuid() != 0) return "not root: cannot create the compositor's user";
    if (system("useradd --create-home --shell /bin/sh vostrel-kiosk") != 0 || !getpwnam(USER))
        return "useradd vostrel-kiosk failed";
    return "";
}

// A folder the user owns, inside the test's own: its runtime directory, its
// home and the program's working directory live there.
struct UserDir {
    std::string path;
    explicit UserDir(const TempDir &dir) : path(dir.file("user")) {
        struct passwd *pw = getpwnam(USER);
        mkdir(path.c_str(), 0700);
        mkdir((path + "/run").c_str(), 0700);
        mkdir((path + "/home").c_str(), 0700);
        chmod(dir.path.c_str(), 0755);
        std::string own = "chown -R " + std::string(USER) + " '" + path + "'";
        if (pw && system(own.c_str()) != 0) path.clear();
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
};

// A command run as the user with a clean environment (sh takes the
// "--gl" that program_start_binary may add as its $0 and $1).
pid_t run_as_user(const UserDir &u, const std::string &env, const std::string &command,
                  const std::string &log) {
    std::string line = "exec runuser -u " + std::string(USER) +
                       " -- env -i PATH=/usr/bin:/bin HOME=" + u.file("home") +
                       " XDG_RUNTIME_DIR=" + u.file("run") + " " + env + " " + command;
    return program_start_binary("/bin/sh", {"-c", line}, {}, log);
}

// A process run as the user, ended with SIGTERM when the object goes:
// runuser passes it on to the compositor, which SIGKILL would leave running.
struct UserProcess {
    pid_t pid;
    ~UserProcess() {
        if (pid > 0) program_terminate(pid, 10);
    }
};

// The program, copied where the user can run it.
std::string program_copy(const UserDir &u) {
    std::string copy = u.file("board");
    write_file(copy, read_file(VOSTREL_BINARY));
    chmod(copy.c_str(), 0755);
    return copy;
}

// The 320 x 480 board as Xvfb shows it, RGB, top row first.
std::vector<uint8_t> xvfb_board(const UserDir &u) {
    std::vector<uint8_t> rgb;
    XServer server({"-screen", "0", "320x480x24"});
    if (!server.ok) return rgb;
    pid_t p = program_start_binary(program_copy(u), {"--log-level", "3", "--gl", "es"},
                                   {"DISPLAY=" + server.display});
    ChildGuard guard(p);
    if (!wait_for_log_line("vostrel soundboard_log.txt", STARTED_LINE, 20)) return rgb;
    pause_scaled_ms(700);
    for (uint32_t v : xwindow_pixels(0, 320, 480, server.display.c_str()))
        rgb.insert(rgb.end(), {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                               static_cast<uint8_t>(v)});
    program_terminate(p, 10);
    guard.pid = -1;
    return rgb;
}

// Pixels whose colour differs by more than 2 in any channel.
int differing(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 3)
        for (size_t c = 0; c < 3; c++)
            if (abs(a[i + c] - b[i + c]) > 2) {
                n++;
                break;
            }
    return n;
}

TEST(Wayland, SwayThroughXWaylandShowsTheXvfbBoardOnBothSdls) {
    std::string why = ensure_user();
    if (!why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    UserDir u(dir);
    ASSERT_FALSE(u.path.empty());
    std::vector<uint8_t> reference = xvfb_board(u);
    ASSERT_EQ(reference.size(), 320u * 480u * 3u) << "no board on Xvfb";

    write_file(u.file("config"), "output HEADLESS-1 resolution 320x480\n"
                                 "default_border none\n"
                                 "xwayland force\n"
                                 "exec sh -c 'echo \"$WAYLAND_DISPLAY $DISPLAY\" > " +
                                     u.file("displays") + "'\n");
    pid_t sway =
        run_as_user(u, "WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1",
                    "sway -c " + u.file("config"), dir.file("sway.txt"));
    UserProcess sway_guard{sway};
    // The sockets sway chose: "wayland-N :M".
    ASSERT_TRUE(wait_for_log_line(u.file("displays"), ":", 20)) << read_file(dir.file("sway.txt"));
    std::istringstream displays(read_file(u.file("displays")));
    std::string wayland, display;
    displays >> wayland >> display;
    std::string wayland_env = "WAYLAND_DISPLAY=" + wayland;
    std::string board = program_copy(u);

    struct Case {
        const char *name, *env;
    } cases[] = {{"libsdl1.2debian", ""},
                 {"sdl12-compat with SDL_VIDEODRIVER=wayland",
                  "SDL_VIDEODRIVER=wayland LD_LIBRARY_PATH=/usr/lib/" VOSTREL_MULTIARCH
                  "/sdl12-compat"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string work = u.file(std::string("run-") + (c.env[0] ? "compat" : "classic"));
        mkdir(work.c_str(), 0777);
        chmod(work.c_str(), 0777);
        std::string log = work + "/vostrel soundboard_log.txt";
        pid_t p = run_as_user(
            u, wayland_env + " DISPLAY=" + display + " SDL_AUDIODRIVER=dummy " + c.env,
            "sh -c 'cd " + work + " && exec " + board + " --fullscreen --gl es --log-level 3'",
            work + ".stderr");
        UserProcess guard{p};
        ASSERT_TRUE(wait_for_log_line(log, STARTED_LINE, 30))
            << read_file(log) << read_file(work + ".stderr");
        pause_scaled_ms(1000);
        std::string shot = work + "/shot.png";
        pid_t grim = run_as_user(u, wayland_env, "grim " + shot, "");
        EXPECT_EQ(program_wait(grim, 20), 0);
        unsigned char *pixels = nullptr;
        unsigned w = 0, h = 0;
        ASSERT_EQ(lodepng_decode24_file(&pixels, &w, &h, shot.c_str()), 0u);
        std::vector<uint8_t> seen(pixels, pixels + static_cast<size_t>(w) * h * 3);
        free(pixels);
        ASSERT_EQ(w, 320u);
        ASSERT_EQ(h, 480u);
        EXPECT_EQ(differing(seen, reference), 0) << "the compositor's screen is not the board";
        program_terminate(p, 10); // runuser's status, not the program's
        guard.pid = -1;
        EXPECT_NE(read_file(log).find("Application quitting"), std::string::npos) << read_file(log);
    }
    program_terminate(sway, 10);
    sway_guard.pid = -1;
}

// The boot unit's ExecStart, with systemd's "$$" turned back into "$".
std::string unit_command(const std::string &unit) {
    std::istringstream in(unit);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("ExecStart=", 0) == 0) {
            std::string cmd = line.substr(10);
            for (size_t at; (at = cmd.find("$$")) != std::string::npos;)
                cmd.erase(at, 1);
            return cmd;
        }
    return "";
}

TEST(BootUnit, VerifiesAndItsCommandStartsTheBoardInCage) {
    std::string why = ensure_user();
    if (!why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    UserDir u(dir);
    ASSERT_FALSE(u.path.empty());
    std::string unit = read_file(VOSTREL_SOURCE_DIR "/tools/install/vostrel-soundboard@.service");
    ASSERT_FALSE(unit.empty());
    // systemd-analyze verifies an instance: the template under its name.
    write_file(dir.file("vostrel-soundboard@vostrel-kiosk.service"), unit);
    std::string verify = "systemd-analyze verify --man=no '" +
                         dir.file("vostrel-soundboard@vostrel-kiosk.service") + "' >'" +
                         dir.file("verify.txt") + "' 2>&1";
    EXPECT_EQ(system(verify.c_str()), 0) << read_file(dir.file("verify.txt"));

    std::string command = unit_command(unit);
    ASSERT_FALSE(command.empty());
    // The unit's environment: the board named as vostrel-soundboard-boot names it.
    pid_t cage = run_as_user(u,
                             "WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 "
                             "SDL_AUDIODRIVER=dummy VOSTREL_BOARD=" +
                                 program_copy(u),
                             command, dir.file("cage.txt"));
    UserProcess guard{cage};
    std::string log =
        u.file("home") + "/.local/state/vostrel-soundboard/vostrel soundboard_log.txt";
    EXPECT_TRUE(wait_for_log_line(log, STARTED_LINE, 30)) << read_file(dir.file("cage.txt"));
    std::string text = read_file(log);
    EXPECT_NE(text.find("INFO     "), std::string::npos);
    EXPECT_NE(text.find("through EGL"), std::string::npos) << text;
    EXPECT_NE(text.find("GL: OpenGL ES-CM 1.1"), std::string::npos) << text;
}

} // namespace

namespace {

TEST(BootUnit, MakerInstallAutostartAddsAKioskEntryForDesktopSessions) {
    TempDir dir;
    mkdir(dir.file("home").c_str(), 0755);
    mkdir(dir.file("horns").c_str(), 0755);
    ASSERT_EQ(system(("sox -n '" + dir.file("horns/air.wav") + "' synth 0.3 sine 440").c_str()), 0);
    std::string maker = "env -i PATH=/usr/bin:/bin HOME='" + dir.file("home") +
                        "' '" VOSTREL_MAKER "' '" + dir.file("horns") +
                        "' --program " VOSTREL_BINARY;
    EXPECT_NE(system((maker + " --autostart 2>/dev/null").c_str()), 0)
        << "--autostart without --install was taken";
    ASSERT_EQ(system((maker + " --install --autostart >/dev/null").c_str()), 0);
    std::string entry = dir.file("home/.config/autostart/vostrel-board-horns.desktop");
    std::string text = read_file(entry);
    EXPECT_NE(
        text.find("\nExec=\"" + dir.file("home/.local/bin/horns") + "\" --xdg-state --kiosk\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(system(("desktop-file-validate '" + entry + "'").c_str()), 0);
}

} // namespace
