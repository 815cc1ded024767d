// Smoke tests of the real program: a normal run on the current display ended
// by SIGTERM; start-ups that fail: no display, a display nobody serves, an
// unknown audio driver, a video driver without OpenGL; the options that only
// print, and the state folder the desktop entry asks for.
#include "support.h"

#include <gtest/gtest.h>

#include <SDL.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

const std::vector<std::string> ARGS = {"--log-level", "3"};

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

int count_ending(const std::vector<std::string> &lines, const std::string &tail) {
    int n = 0;
    for (const std::string &l : lines)
        if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0)
            n++;
    return n;
}

bool ends_with(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Keeps a connection to the display for the test's lifetime. Xvfb resets
// when its last client leaves and refuses connections meanwhile; without a
// client of our own, the program could start just as the previous test's
// window closed and find no display.
struct DisplayHold {
    bool ok = sdl_init_retrying(SDL_INIT_VIDEO);
    ~DisplayHold() {
        if (ok) SDL_Quit();
    }
};

TEST(Smoke, RunsUntilSigtermAndQuitsCleanly) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    DisplayHold hold;
    ASSERT_TRUE(hold.ok) << SDL_GetError();
    TempDir dir;
    TestProgram program;
    ASSERT_TRUE(program.start(ARGS, {"SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
                              "stderr.txt"));
    ASSERT_TRUE(program.find_window(60000)) << read_file(dir.file("stderr.txt"));
    usleep(300000); // let it run a few turns
    EXPECT_EQ(sdl_implementation_mismatch(program.pid), "");
    EXPECT_EQ(program.stop(60), 0) << read_file(dir.file("stderr.txt"));

    std::string log = read_file(dir.file(LOG_NAME));
    ASSERT_TRUE(ends_with(log, "\n")) << log;
    std::vector<std::string> lines = lines_of(log);
    ASSERT_GE(lines.size(), 3u) << log;
    EXPECT_TRUE(ends_with(lines.back(), "] Application quitting")) << log;
    EXPECT_TRUE(ends_with(lines[lines.size() - 2], "] Saving session")) << log;
    EXPECT_EQ(lines.back().rfind("INFO     [", 0), 0u);
    EXPECT_EQ(count_ending(lines, "] Application quitting"), 1);
    EXPECT_EQ(count_ending(lines, "] Saving session"), 1);
    EXPECT_EQ(count_ending(lines, "] Initialization Complete"), 1);
    EXPECT_EQ(count_ending(lines, "] Could not load settings from ./vostrel soundboard.conf"), 1)
        << "first run: no options file";
    EXPECT_FALSE(file_exists(dir.file("vostrel soundboard.session"))) << "no session kept";
    EXPECT_FALSE(file_exists(dir.file("vostrel soundboard.conf")))
        << "nothing changed, nothing saved";
}

// Removes an environment variable from this process while the object lives,
// so that a child started meanwhile inherits the environment without it.
struct Unset {
    std::string name, value;
    bool was_set;
    explicit Unset(const std::string &n) : name(n), was_set(getenv(n.c_str()) != nullptr) {
        if (was_set) value = getenv(n.c_str());
        unsetenv(n.c_str());
    }
    ~Unset() {
        if (was_set) setenv(name.c_str(), value.c_str(), 1);
    }
    Unset(const Unset &) = delete;
    Unset &operator=(const Unset &) = delete;
};

// Starts the program with its standard output going to stdout_path.
pid_t program_start_capturing(const std::vector<std::string> &env, const std::string &stdout_path) {
    fflush(stdout);
    int saved = dup(1);
    int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (saved < 0 || fd < 0) return -1;
    dup2(fd, 1);
    close(fd);
    pid_t pid = program_start(ARGS, env, "stderr.txt");
    dup2(saved, 1);
    close(saved);
    return pid;
}

// Runs the program with a start-up that must fail at `what`, and checks the
// exit status, the one stderr line (holding `reason` when that is given),
// that nothing took over the terminal (no escape sequence on either stream)
// and the log. Variables named in `unset` are removed from the child's
// environment.
void expect_failed_start(const std::vector<std::string> &env, const std::string &what,
                         const std::string &reason = "",
                         const std::vector<std::string> &unset = {}) {
    TempDir dir;
    pid_t pid = -1;
    {
        std::vector<std::unique_ptr<Unset>> removed;
        for (const std::string &name : unset)
            removed.push_back(std::make_unique<Unset>(name));
        pid = program_start_capturing(env, "stdout.txt");
    }
    ASSERT_GT(pid, 0);
    EXPECT_EQ(program_wait(pid, 60), 1);

    std::string err_text = read_file(dir.file("stderr.txt"));
    std::string out_text = read_file(dir.file("stdout.txt"));
    EXPECT_EQ(out_text.find('\x1b'), std::string::npos) << "stdout: " << out_text;
    EXPECT_EQ(err_text.find('\x1b'), std::string::npos) << "stderr: " << err_text;
    EXPECT_EQ(out_text, "");
    std::vector<std::string> err = lines_of(err_text);
    ASSERT_EQ(err.size(), 1u) << err_text;
    EXPECT_EQ(err[0].rfind("vostrel-soundboard: " + what + " failed: ", 0), 0u) << err[0];
    EXPECT_GT(err[0].size(), err[0].find("failed: ") + 8) << "the reason follows";
    if (!reason.empty()) {
        EXPECT_NE(err[0].find(reason), std::string::npos) << err[0];
    }

    std::vector<std::string> lines = lines_of(read_file(dir.file(LOG_NAME)));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(count_ending(lines, "] Application quitting"), 1);
    EXPECT_TRUE(ends_with(lines.back(), "] Application quitting"));
    EXPECT_EQ(count_ending(lines, "] Initialization Complete"), 0)
        << "the rest of start-up is skipped";
    int errors = 0;
    for (const std::string &l : lines)
        if (l.rfind("ERROR    [", 0) == 0) {
            errors++;
            EXPECT_NE(l.find(what + " failed: " + err[0].substr(err[0].find("failed: ") + 8)),
                      std::string::npos)
                << l;
        }
    EXPECT_EQ(errors, 1);
}

// No DISPLAY and no driver chosen: said before SDL starts, so no fallback to
// a text-terminal driver draws into the terminal.
TEST(Smoke, NoDisplayIsSaidBeforeAnythingDraws) {
    expect_failed_start({"SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"}, "SDL video",
                        "no display to open: DISPLAY is not set", {"DISPLAY", "SDL_VIDEODRIVER"});
    expect_failed_start({"DISPLAY=", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
                        "SDL video", "no display to open: DISPLAY is not set", {"SDL_VIDEODRIVER"});
}

TEST(Smoke, AnUnservedDisplayIsNamed) {
    // A display number nobody serves: with the driver chosen or left to the
    // program, SDL does not fall back to another driver.
    expect_failed_start({"DISPLAY=:7391", "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                         "ASAN_OPTIONS=detect_leaks=0"},
                        "SDL video", "no display to open: cannot open X display \":7391\"");
    expect_failed_start({"DISPLAY=:7391", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
                        "SDL video", "no display to open: cannot open X display \":7391\"",
                        {"SDL_VIDEODRIVER"});
}

TEST(Smoke, AnUnknownAudioDriverIsAnAudioFailure) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    DisplayHold hold;
    ASSERT_TRUE(hold.ok) << SDL_GetError();
    expect_failed_start({"SDL_AUDIODRIVER=nonsense", "ASAN_OPTIONS=detect_leaks=0"}, "SDL audio",
                        "audio driver \"nonsense\" (SDL_AUDIODRIVER)", {"SDL_VIDEODRIVER"});
}

TEST(Smoke, NoGlFailsAtSetVideoMode) {
    // SDL's dummy video driver, chosen explicitly, starts but offers no OpenGL
    // (classic SDL 1.2 says "OpenGL not available", sdl12-compat a longer
    // sentence) and no X11 window for EGL: unless the ES path is forced, the
    // program falls back to SDL's OpenGL context, whose video mode fails.
    const char *gl = getenv("VOSTREL_TEST_GL");
    if (gl && strcmp(gl, "es") == 0)
        expect_failed_start(
            {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
            "OpenGL ES through EGL", "gives no X11 window");
    else
        expect_failed_start(
            {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
            "SDL_SetVideoMode", "OpenGL");
}

// Runs the program in an empty folder "run" of a fresh temporary directory,
// with no display to open and the given environment settings ("NAME=value
// ..."); its stdout and stderr go beside "run". The exit status.
int run_printing(TempDir &dir, const std::string &args, const std::string &env = "") {
    mkdir(dir.file("run").c_str(), 0755);
    std::string cmd = "cd run && env -u DISPLAY SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy " + env +
                      " " + program_emulator + "'" + std::string(VOSTREL_BINARY) + "' " + args +
                      " >../out.txt 2>../err.txt";
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool dir_is_empty(const std::string &path) {
    std::string cmd = "test -z \"$(ls -A '" + path + "')\"";
    return system(cmd.c_str()) == 0;
}

TEST(CommandLine, HelpPrintsUsageAndTouchesNothing) {
    TempDir dir;
    // Without a display a start would fail with status 1: 0 means nothing started.
    ASSERT_EQ(run_printing(dir, "--log-level 4 --help"), 0);
    std::string out = read_file(dir.file("out.txt"));
    EXPECT_EQ(read_file(dir.file("err.txt")), "");
    EXPECT_TRUE(dir_is_empty(dir.file("run"))) << "no log, options or session file";
    EXPECT_EQ(out.rfind("Usage: vostrel-soundboard", 0), 0u) << out;
    for (const char *word :
         {"--log-level N", "--debug-level N", "--xdg-state", "--help", "--version",
          "vostrel soundboard_log.txt", "vostrel soundboard.conf", "current directory",
          "$XDG_STATE_HOME/vostrel-soundboard", "~/.local/state/vostrel-soundboard"})
        EXPECT_NE(out.find(word), std::string::npos) << word << " missing from\n" << out;
}

TEST(CommandLine, VersionPrintsTheProjectVersion) {
    TempDir dir;
    ASSERT_EQ(run_printing(dir, "nonsense --version --help"), 0);
    EXPECT_EQ(read_file(dir.file("out.txt")),
              std::string("vostrel-soundboard ") + VOSTREL_VERSION + "\n");
    EXPECT_EQ(read_file(dir.file("err.txt")), "");
    EXPECT_TRUE(dir_is_empty(dir.file("run")));
}

TEST(CommandLine, AnOptionsValueIsNotReadAsAnOption) {
    // "--help" as the value of "--log-level" is a level (atoi: 0), not a
    // request: the program starts, and without a display fails at SDL_Init.
    TempDir dir;
    EXPECT_EQ(run_printing(dir, "--log-level --help"), 1);
    EXPECT_EQ(read_file(dir.file("out.txt")), "");
}

// With --xdg-state the files go to the state folder, created with its
// parents, and none into the working directory. A start that fails at
// SDL_Init still logs its quit (at level 3) and its failure.
void expect_log_in(TempDir &dir, const std::string &env, const std::string &folder) {
    EXPECT_EQ(run_printing(dir, "--log-level 3 --xdg-state", env), 1);
    EXPECT_TRUE(dir_is_empty(dir.file("run")));
    std::string log = read_file(folder + "/" + LOG_NAME);
    EXPECT_NE(log.find("] Application quitting"), std::string::npos) << folder;
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a state folder is private";
}

TEST(StateFolder, FilesGoUnderXdgStateHome) {
    TempDir dir;
    expect_log_in(dir, "XDG_STATE_HOME=" + dir.path + "/state/deeper",
                  dir.path + "/state/deeper/vostrel-soundboard");
}

TEST(StateFolder, UnsetOrRelativeStateHomeMeansHomeDotLocalState) {
    TempDir dir;
    expect_log_in(dir, "XDG_STATE_HOME=relative HOME=" + dir.path,
                  dir.path + "/.local/state/vostrel-soundboard");
}

TEST(StateFolder, OneThatCannotBeMadeIsReportedAndTheWorkingDirectoryServes) {
    TempDir dir;
    write_file(dir.file("plain-file"), "not a folder\n");
    EXPECT_EQ(run_printing(dir, "--log-level 3 --xdg-state",
                           "XDG_STATE_HOME=" + dir.path + "/plain-file/state"),
              1);
    std::string err = read_file(dir.file("err.txt"));
    EXPECT_NE(err.find("no state folder could be made"), std::string::npos) << err;
    EXPECT_TRUE(file_exists(dir.file("run/") + LOG_NAME));
}

TEST(StateFolder, WithoutTheOptionFilesStayInTheWorkingDirectory) {
    TempDir dir;
    EXPECT_EQ(run_printing(dir, "--log-level 3", "XDG_STATE_HOME=" + dir.path + "/state"), 1);
    EXPECT_TRUE(file_exists(dir.file("run/") + LOG_NAME));
    EXPECT_FALSE(file_exists(dir.file("state")));
}

} // namespace
