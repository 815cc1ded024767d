// Helpers shared by the test programs (and the benchmark driver): a private
// working directory, whole-file reads and writes, SDL start-up on a display
// that may be resetting, a real SDL window with a GL context for read-back,
// the program under test as a child process, and the board as seen from
// outside (button positions in window pixels, clip samples as mixed).
#pragma once

#include <vostrel/audio/audio.h>
#include <vostrel/input/input.h>

#include <stdint.h>
#include <string>
#include <sys/types.h>
#include <vector>

// Creates a fresh directory under /tmp and makes it the working directory
// (so the program's files land in the base directory "."); removes it again.
struct TempDir {
    std::string path;
    std::string old_cwd;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);                     // "" when missing
std::vector<uint8_t> read_bytes(const std::string &path);           // empty when missing
void write_file(const std::string &path, const std::string &bytes); // replaces the file
// Occurrences of needle in text, overlapping ones included.
int count_of(const std::string &text, const std::string &needle);

// The exit status of `sh -c cmd`; -1 if a signal ended it.
int run_command(const std::string &cmd);

// A tap through xdotool at pixel (x, y) of the X window whose id (decimal) is
// `window`, the button held `hold` seconds ("0.05"): xdotool's exit status.
int xdotool_tap(const std::string &window, int x, int y, const char *hold);

// The monotonic clock in seconds.
double seconds_now();

// A one-point touch at (x, y), no displacement.
TouchEvent touch_at(float x, float y);

// SDL_Init(flags), retried for up to ten seconds: Xvfb refuses connections for
// a moment while it resets after the previous client's last window closed.
// false, with SDL's error set, if it never succeeds.
bool sdl_init_retrying(uint32_t flags);

// A 320x480 SDL_OPENGL window, current for the lifetime of the object.
struct GlWindow {
    GlWindow(int width = 320, int height = 480);
    ~GlWindow();
    GlWindow(const GlWindow &) = delete;
    GlWindow &operator=(const GlWindow &) = delete;
    int width, height;
    bool ok;
};

// One window shared by every test of a program: SDL allows one video mode,
// and reopening the display between tests is slow.
GlWindow &shared_window();

// GL state as one start-up leaves it, font not yet loaded: what the previous
// test made is released first (textures, buffers, the vertex store).
void fresh_gl_state();

// RGBA bytes of the back buffer, bottom row first (glReadPixels order).
std::vector<uint8_t> read_pixels(int x, int y, int w, int h);
// Back-buffer pixels in columns x0 <= x < x1 (rows 0 to height) that are not
// black (red + green + blue above 30).
int lit_pixels(int x0, int x1, int height);

// The whole open log file as written so far ("" when none is open).
std::string log_contents();

// The interface sounds played, in play order: "click", "bubble" or "other",
// recorded by the back end sound_recording_begin swaps in.
extern std::vector<std::string> sounds_played;
// Swaps in a sound back end whose only slot, play, records into sounds_played
// instead of playing; the back end it replaced, for sound_recording_end.
SoundBackend sound_recording_begin();
// Puts back the back end sound_recording_begin replaced.
void sound_recording_end(const SoundBackend &saved);

// A clock the test sets by hand: fake_clock returns fake_now.
extern float fake_now;
float fake_clock(void);
// Before a test drives the shell turn by turn: logs from LOG_INFO, starts SDL
// video and audio and opens the mixer (44100 Hz stereo), and gives the shell
// fake_clock and `sleeper`. false if SDL or the mixer did not start.
bool shell_test_begin(void (*sleeper)(int milliseconds));
// After: the shell's own clock and sleep back, the shell shut down (without a
// quit request), the mixer closed and SDL ended.
void shell_test_end();

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

// The program under test (VOSTREL_BINARY) started as a child process in the
// current directory with the given arguments (argv[0] not included). env
// entries are "NAME=value", set in the child only; the child's stderr goes to
// stderr_path when that is not empty; "--gl <value>" is added when
// VOSTREL_TEST_GL is set. -1 if the fork failed.
pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    const std::string &stderr_path = "");
// The same for another program: binary is its path.
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
// "" if the running process uses the SDL 1.2 implementation that
// VOSTREL_SDL_IMPL names ("classic": libsdl1.2debian; "compat": sdl12-compat,
// chosen through LD_LIBRARY_PATH) or if that variable is unset; else what it
// uses instead.
std::string sdl_implementation_mismatch(pid_t pid);

// Window pixels of a board button: columns x0 <= x < x1, rows y0 <= y < y1,
// row 0 at the top.
struct PixelBox {
    int x0, y0, x1, y1;
    int centre_x() const { return (x0 + x1) / 2; }
    int centre_y() const { return (y0 + y1) / 2; }
};
// Where the button in display slot `slot` lies in a width x height window, by
// the board's own layout rule (app_layout, run in the calling process).
PixelBox board_button_box(int slot, int width, int height);

// Clip index of each display slot: the board shows its buttons sorted by
// caption bytes (the order is computed here, not taken from the board).
std::vector<int> board_display_order();

// Every board clip, by clip index, as the program's mixer holds it: 44100 Hz
// stereo 16-bit samples (empty if a clip fails to load). Starts SDL audio, on
// the dummy driver unless SDL_AUDIODRIVER names another, and ends with
// SDL_Quit: call it while SDL is not otherwise in use.
std::vector<std::vector<int16_t>> board_clip_samples();

// Writes by this process past `bytes` into any file fail with EFBIG while the
// object lives (RLIMIT_FSIZE, SIGXFSZ ignored): a full disk that binds root
// too. The limit and the signal's handling are restored afterwards.
struct FileSizeLimit {
    explicit FileSizeLimit(long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok;
    long saved_soft;
    void (*saved_handler)(int);
};

// Marks a directory immutable (the filesystem's "i" attribute) while the
// object lives: no entry can be created, renamed or removed in it, by root
// either, who ignores permission bits; the files already in it stay writable.
// ok is false where the filesystem or the process cannot set the attribute.
struct ImmutableDir {
    explicit ImmutableDir(const std::string &path);
    ~ImmutableDir();
    ImmutableDir(const ImmutableDir &) = delete;
    ImmutableDir &operator=(const ImmutableDir &) = delete;
    std::string path;
    bool ok;
};

// A private Xvfb on a display number of its own choosing (-displayfd), ended
// with the object. Started without -noreset unless extra_args say otherwise,
// so it resets whenever its last client disconnects, as a kiosk's server
// does. ok is false if it did not report a display within ten seconds.
struct XServer {
    explicit XServer(const std::vector<std::string> &extra_args = {});
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;
    void stop(); // SIGTERM, reaped; the display is gone afterwards
    pid_t pid = -1;
    std::string display; // ":N"
    bool ok = false;
};

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
