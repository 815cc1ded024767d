// Board options end to end: a board made by vostrel-make-board from tones
// that sox generates here, run as the real program, tapped through X
// (xdotool) and heard through SDL's disk audio driver (44100 Hz, 16-bit
// stereo, as the shell opens the mixer).
//
// The board holds "a" (440 Hz, 0.4 s, loop), "b" (1320 Hz, 0.4 s, loop),
// "full" and "half" (660 Hz, 0.6 s, the second at volume=50%), with the
// board options overlap, stop and keys; the "Stop" button follows the four
// sounds. b is on key x by its own key=x; keys gives the others the free
// keys in reading order: a 1, full 2, half 3.
#include "support.h"

#include "app/app_internal.h"
#include <vostrel/input/input.h>

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double PI = 3.141592653589793;
constexpr long RATE = 44100;      // output frames per second
constexpr long MIX_BUFFER = 1024; // frames the mixer fills at a time
constexpr int QUIET = 64;         // below this a sample counts as silence

struct Board {
    TempDir dir;
    pid_t pid = -1;
    std::string window;
    int columns = 0, rows = 0;
    Rect grid = {0.0f, 1.0f, 0.0f, 1.0f};
    const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};

    ~Board() {
        if (pid > 0) program_terminate(pid, 10);
    }

    long frames() const {
        struct stat st;
        return stat(dir.file("audio.raw").c_str(), &st) == 0 ? st.st_size / 4 : 0;
    }
    void wait_frames(long until) const {
        for (int i = 0; i < 400 * wait_scale() && frames() < until; i++)
            pause_ms(25);
    }
    // Left channel of the output so far.
    std::vector<int16_t> left() const {
        std::vector<uint8_t> b = read_bytes(dir.file("audio.raw"));
        std::vector<int16_t> out(b.size() / 4);
        for (size_t i = 0; i < out.size(); i++)
            memcpy(&out[i], &b[i * 4], 2);
        return out;
    }
    // Taps display slot s (reading order from the top left); the output
    // frame count just before the tap.
    long tap(int slot) {
        float cx = static_cast<float>(slot % columns) + 0.5f;
        float cy = static_cast<float>(rows - 1 - slot / columns) + 0.5f;
        rect_map_point(&grid, &screen, &cx, &cy);
        long mark = frames();
        EXPECT_EQ(xdotool_tap(window, static_cast<int>(cx), 480 - static_cast<int>(cy), "0.05"), 0);
        return mark;
    }
    // Real X key events (XTest) to the focused board; the output frame
    // count just before them.
    long keys(const std::string &xdotool_keys) {
        long mark = frames();
        EXPECT_EQ(run_command("xdotool windowfocus --sync " + window + " " + xdotool_keys), 0);
        return mark;
    }
};

// Display slots: sorted captions, then Stop.
enum { SLOT_A, SLOT_B, SLOT_FULL, SLOT_HALF, SLOT_STOP };

void start_board(Board &b) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    std::string sounds = b.dir.file("tones");
    mkdir(sounds.c_str(), 0755);
    struct Tone {
        const char *name;
        double seconds;
        int hz;
    } tones[] = {{"a", 0.4, 440}, {"b", 0.4, 1320}, {"full", 0.6, 660}, {"half", 0.6, 660}};
    for (const Tone &t : tones)
        ASSERT_EQ(run_command("sox -n -r 22050 -c 1 -b 16 '" + sounds + "/" + t.name +
                              ".wav' synth " + std::to_string(t.seconds) + " sine " +
                              std::to_string(t.hz) + " vol 0.5"),
                  0);
    write_file(sounds + "/captions.txt", "overlap stop keys\n"
                                         "a.wav\t\tloop\n"
                                         "b.wav\t\tloop key=x\n"
                                         "half.wav\t\tvolume=50%\n");
    std::string program = b.dir.file("board");
    // Levels as generated: the peaks below are the tones' own.
    ASSERT_EQ(run_command("'" VOSTREL_MAKER "' '" + sounds + "' -o '" + program + "' --program '" +
                          VOSTREL_BINARY + "' --keep-levels >/dev/null"),
              0);
    // Today's 1024-frame buffers, which the disk driver's delay and the
    // waits here count in (a made board plays in low latency by default).
    b.pid = program_start_binary(program, {"--latency", "normal"},
                                 {"SDL_AUDIODRIVER=disk",
                                  "SDL_DISKAUDIOFILE=" + b.dir.file("audio.raw"),
                                  "SDL_DISKAUDIODELAY=20"});
    ASSERT_GT(b.pid, 0);
    b.window = program_window(b.pid, 20000);
    ASSERT_FALSE(b.window.empty()) << "the board shows its window";
    b.wait_frames(b.frames() + RATE / 2); // settled: the mixer is writing
    board_grid_size(&b.screen, 5, &b.columns, &b.rows);
    b.grid = {0.0f, static_cast<float>(b.columns), 0.0f, static_cast<float>(b.rows)};
    rect_grow_to_aspect(&b.screen, &b.grid);
}

// First frame at or after `from` that is not silence; s.size() if none.
size_t onset(const std::vector<int16_t> &s, size_t from) {
    while (from < s.size() && abs(s[from]) < QUIET * 8)
        from++;
    return from;
}

int peak(const std::vector<int16_t> &s, size_t from, size_t to) {
    int p = 0;
    for (size_t i = from; i < to && i < s.size(); i++)
        p = std::max(p, abs(static_cast<int>(s[i])));
    return p;
}

// Power of the frequency hz in [from, to) (Goertzel), per frame.
double power(const std::vector<int16_t> &s, size_t from, size_t to, double hz) {
    double k = 2 * cos(2 * PI * hz / RATE), s1 = 0, s2 = 0;
    for (size_t i = from; i < to && i < s.size(); i++) {
        double v = s[i] + k * s1 - s2;
        s2 = s1;
        s1 = v;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / static_cast<double>(to - from);
}

// The first frame from which the output stays silent to the end; s.size()
// if it is loud at its very end.
size_t silent_from(const std::vector<int16_t> &s, size_t from) {
    size_t at = s.size();
    while (at > from && abs(s[at - 1]) < QUIET)
        at--;
    return at;
}

TEST(BoardOptionsEndToEnd, VolumeLoopOverlapAndStop) {
    Board b;
    start_board(b);
    if (HasFatalFailure()) return;
    // Under emulation the program answers a tap some turns later: the waits
    // and the allowance for late answers stretch by S.
    const long S = wait_scale();

    // volume=50% halves the peak: the same tone, at full volume, then at half.
    long mark = b.tap(SLOT_FULL), full_mark = mark;
    b.wait_frames(mark + RATE * S);
    std::vector<int16_t> s = b.left();
    size_t full_at = onset(s, static_cast<size_t>(mark));
    ASSERT_LT(full_at + RATE / 2, s.size()) << "no sound after tapping full";
    int full_peak = peak(s, full_at, full_at + RATE / 2);
    EXPECT_NEAR(full_peak, 16384, 16384 * 0.05) << "a tone at half of full scale, unscaled";
    long half_mark = mark = b.tap(SLOT_HALF);
    b.wait_frames(mark + RATE * S);
    s = b.left();
    size_t half_at = onset(s, static_cast<size_t>(mark));
    ASSERT_LT(half_at + RATE / 2, s.size()) << "no sound after tapping half";
    // Tolerance 3%: the mixer scales by 64/128 exactly, less a sample's rounding.
    EXPECT_NEAR(static_cast<double>(peak(s, half_at, half_at + RATE / 2)) / full_peak, 0.5, 0.03);

    // loop: the 0.4 s clip still sounds a second and more after it started.
    long a_mark = mark = b.tap(SLOT_A);
    b.wait_frames(mark + 2 * RATE * S);
    s = b.left();
    size_t a_at = onset(s, static_cast<size_t>(mark));
    ASSERT_LT(a_at + RATE * 3 / 2, s.size()) << "no sound after tapping a";
    size_t late = a_at + RATE; // two and a half clip lengths in
    EXPECT_GT(peak(s, late, late + RATE / 4), 12000) << "the looping clip goes on";
    EXPECT_GT(power(s, late, late + RATE / 4, 440), 100 * power(s, late, late + RATE / 4, 1320));

    // overlap: b starts while a goes on, and both are heard together.
    mark = b.tap(SLOT_B);
    b.wait_frames(mark + RATE * S);
    s = b.left();
    size_t both = static_cast<size_t>(mark) + RATE / 2 * S; // b has surely started
    double p440 = power(s, both, both + RATE / 4, 440),
           p1320 = power(s, both, both + RATE / 4, 1320);
    EXPECT_GT(p1320, p440 / 3) << "b is heard";
    EXPECT_GT(p440, p1320 / 3) << "a was not stopped by the tap on b";

    // stop: both loops end together, abruptly, soon after the tap.
    mark = b.tap(SLOT_STOP);
    b.wait_frames(mark + RATE * S);
    s = b.left();
    EXPECT_GT(peak(s, static_cast<size_t>(mark) - RATE / 10, static_cast<size_t>(mark)), 12000)
        << "loud before the stop";
    size_t quiet = silent_from(s, static_cast<size_t>(mark));
    ASSERT_LT(quiet + RATE / 2, s.size()) << "still sounding half a second after Stop";
    // A tap takes the same way to the mixer whether it starts or stops
    // sound: the silence comes about as soon after the tap as the taps above
    // were first heard. Allowed: one mix buffer, plus 0.1 s for the xdotool
    // and scheduling jitter of a busy machine (seen up to 3 buffers).
    long slowest =
        std::max({static_cast<long>(full_at) - full_mark, static_cast<long>(half_at) - half_mark,
                  static_cast<long>(a_at) - a_mark});
    EXPECT_LE(static_cast<long>(quiet) - mark, slowest + MIX_BUFFER + RATE / 10 * S)
        << "taps were heard after at most " << slowest << " frames";
    // Within one mix buffer: full level in the buffer before the silence,
    // none after it (the halt neither fades nor waits for the clip's end).
    EXPECT_GT(peak(s, quiet - MIX_BUFFER, quiet), 12000);

    // A second tap on a looping button stops it.
    mark = b.tap(SLOT_A);
    b.wait_frames(mark + RATE / 2 * S);
    long again = b.tap(SLOT_A);
    b.wait_frames(again + RATE * S);
    s = b.left();
    EXPECT_GT(peak(s, static_cast<size_t>(again) - RATE / 10, static_cast<size_t>(again)), 12000)
        << "the loop played until the second tap";
    quiet = silent_from(s, static_cast<size_t>(again));
    EXPECT_LT(quiet + RATE / 2, s.size()) << "the second tap stopped the loop";

    EXPECT_EQ(program_terminate(b.pid, 10), 0);
    b.pid = -1;
}

// A key acts as a tap on its button: the press only selects, the release
// plays, and loop and overlap apply as to a tap.
TEST(BoardOptionsEndToEnd, KeysPlayTheirButtonsAsTaps) {
    Board b;
    start_board(b);
    if (HasFatalFailure()) return;
    // Under emulation the program answers a tap some turns later: the waits
    // and the allowance for late answers stretch by S.
    const long S = wait_scale();

    long mark = b.keys("keydown 2");
    b.wait_frames(mark + RATE / 2 * S);
    long up = b.keys("keyup 2");
    b.wait_frames(up + RATE * S);
    std::vector<int16_t> s = b.left();
    EXPECT_LT(peak(s, static_cast<size_t>(mark), static_cast<size_t>(up)), QUIET * 8)
        << "the press alone plays nothing";
    size_t full_at = onset(s, static_cast<size_t>(up));
    ASSERT_LT(full_at + RATE / 4, s.size()) << "releasing key 2 plays full";
    EXPECT_GT(power(s, full_at, full_at + RATE / 4, 660),
              100 * power(s, full_at, full_at + RATE / 4, 440));

    // Key 1 starts loop a; key x (its own key=x) adds loop b beside it.
    mark = b.keys("key 1");
    b.wait_frames(mark + RATE * S);
    mark = b.keys("key x");
    b.wait_frames(mark + RATE * S);
    s = b.left();
    size_t both = static_cast<size_t>(mark) + RATE / 2 * S;
    double p440 = power(s, both, both + RATE / 4, 440),
           p1320 = power(s, both, both + RATE / 4, 1320);
    EXPECT_GT(p1320, p440 / 3) << "key x plays b";
    EXPECT_GT(p440, p1320 / 3) << "a loops on beside b";

    // Key 1 again stops loop a only; b goes on.
    mark = b.keys("key 1");
    b.wait_frames(mark + RATE * S);
    s = b.left();
    size_t late = static_cast<size_t>(mark) + RATE / 2 * S;
    EXPECT_GT(power(s, late, late + RATE / 4, 1320), 100 * power(s, late, late + RATE / 4, 440))
        << "the second press of key 1 stopped a, not b";

    EXPECT_EQ(program_terminate(b.pid, 10), 0);
    b.pid = -1;
}

} // namespace
