// End to end: the real program under the test's X display, driven by xdotool
// as a person would, watched from the outside: the window's pixels through
// XGetImage, the mixed sound through SDL's disk audio driver, the log file and
// the exit status.
//
// Expected sound: the test opens SDL_mixer itself with the program's device
// format and loads the same clip, so chunk->abuf holds exactly the samples the
// program's mixer adds to silence for that clip. A clip is found in the disk
// output by an exact match of its first audible samples; an exact match over
// half a second also proves nothing else (the previous clip) is mixed in.
#include "support.h"

#include "app/app.h"
#include <vostrel/assets/assets.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include <X11/Xutil.h>

#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WIDTH = 320, HEIGHT = 480;
constexpr int FRAME_BYTES = 4; // 16-bit stereo
constexpr int RATE = 44100;

// The program with disk audio in the working directory (a TempDir of the
// test's), shown: its window found, its start-up complete, the first frame
// drawn and a few more.
bool start_board(TestProgram &p) {
    return p.start_shown({"--log-level", "3"}, p.disk_audio(), 400);
}

int cell_x(int slot) { return board_button_box(slot, WIDTH, HEIGHT).centre_x(); }
int cell_y(int slot) { return board_button_box(slot, WIDTH, HEIGHT).centre_y(); }

// Number of frames after 'at' that equal the clip from its first audible frame.
size_t matching_frames(const std::vector<int16_t> &out, long at, const std::vector<int16_t> &clip) {
    size_t first = first_audible(clip);
    size_t n = 0;
    for (size_t i = static_cast<size_t>(at) * 2, j = first;
         i + 1 < out.size() && j + 1 < clip.size(); i += 2, j += 2, n++)
        if (out[i] != clip[j] || out[i + 1] != clip[j + 1]) break;
    return n;
}

class Board : public ::testing::Test {
  protected:
    static TempDir *dir;
    static TestProgram *program;
    static std::vector<std::vector<int16_t>> clips; // by clip index
    static std::vector<int> order;

    static void SetUpTestSuite() {
        clips = board_clip_samples();
        order = board_display_order();
        dir = new TempDir();
        program = new TestProgram();
        start_board(*program);
    }
    static void TearDownTestSuite() {
        delete program;
        delete dir;
    }
    // The expected sound comes from the test's own decoding: without it the
    // sound checks would compare against nothing.
    void SetUp() override {
        for (int k = 0; k < BOARD_BUTTONS; k++)
            ASSERT_GT(clips[k].size(), 1000u) << "the test could not decode clip " << k;
    }
    // Slot of the longest clip (so it still plays when the next release comes).
    static int long_slot(int avoid = -1) {
        int best = -1;
        for (int s = 0; s < BOARD_BUTTONS; s++)
            if (s != avoid && (best < 0 || clips[order[s]].size() > clips[order[best]].size()))
                best = s;
        return best;
    }
    // Plays the clip in slot and returns the frame where it starts, -1 if absent.
    long play_and_find(int slot) {
        size_t mark = program->audio_frames();
        program->tap(cell_x(slot), cell_y(slot));
        const std::vector<int16_t> &clip = clips[order[slot]];
        // Two seconds of output after the tap (longer under emulation, where
        // the program answers slower) hold the clip's start, also when the
        // tap's own xdotool runs are slow to start on a loaded machine: how
        // soon a tap is heard is the benchmarks' to say.
        const size_t span = 2 * static_cast<size_t>(RATE) * wait_scale();
        return program->wait_for_clip(clip, mark, span);
    }
};
TempDir *Board::dir;
TestProgram *Board::program;
std::vector<std::vector<int16_t>> Board::clips;
std::vector<int> Board::order;

TEST_F(Board, StartsWithItsWindow) {
    ASSERT_FALSE(program->window.empty());
    EXPECT_EQ(sdl_implementation_mismatch(program->pid), "");
}

TEST_F(Board, PressHighlightsOnlyThePressedCaption) {
    const int slot = 6; // second row, third column
    std::vector<uint32_t> before = program->capture();
    ASSERT_EQ(before.size(), 320u * 480u);
    program->press(cell_x(slot), cell_y(slot));
    pause_scaled_ms(300);
    std::vector<uint32_t> after = program->capture();
    int changed = 0, outside = 0, brighter = 0;
    const PixelBox cell = board_button_box(slot, WIDTH, HEIGHT);
    const int x0 = cell.x0, y0 = cell.y0, x1 = cell.x1, y1 = cell.y1;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 320; x++) {
            uint32_t a = before[y * 320 + x], b = after[y * 320 + x];
            if (a == b) continue;
            changed++;
            if (x < x0 || x >= x1 || y < y0 || y >= y1) outside++;
            if ((b & 0xFF) > (a & 0xFF)) brighter++;
        }
    EXPECT_GT(changed, 20);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(brighter, changed) << "every changed pixel gets lighter (grey ink to white)";
    // The brightest caption pixel is white now, grey before.
    uint32_t max_before = 0, max_after = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            max_before = std::max(max_before, before[y * 320 + x] & 0xFF);
            max_after = std::max(max_after, after[y * 320 + x] & 0xFF);
        }
    EXPECT_GE(max_after, 240u);
    EXPECT_LT(max_before, 200u);
    // Dragging off the grid into the band deselects; the release plays nothing.
    program->move(160, 20);
    pause_scaled_ms(100);
    program->release();
    pause_scaled_ms(200);
    EXPECT_EQ(program->capture(), before);
}

TEST_F(Board, ReleasesInTheBandsPlayNothing) {
    program->tap(160, 15);
    program->tap(100, 470);
    pause_scaled_ms(500);
    std::vector<int16_t> out = program->audio();
    ASSERT_GT(out.size(), 0u) << "the disk audio driver writes the mixed output";
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(Board, ReleasePlaysTheButtonsClip) {
    int slot = long_slot();
    long at = play_and_find(slot);
    ASSERT_GE(at, 0) << "clip of slot " << slot << " not found in the output";
    program->wait_audio(static_cast<size_t>(at) + RATE);
    EXPECT_GE(matching_frames(program->audio(), at, clips[order[slot]]), RATE / 2u);
}

TEST_F(Board, ReleaseOnAnotherButtonCutsTheFirstOff) {
    int first = long_slot();
    ASSERT_GE(play_and_find(first), 0);
    pause_scaled_ms(300);
    int second = long_slot(first);
    long at = play_and_find(second);
    ASSERT_GE(at, 0);
    program->wait_audio(static_cast<size_t>(at) + RATE);
    // Exactly the second clip for half a second: the first is no longer mixed in.
    EXPECT_GE(matching_frames(program->audio(), at, clips[order[second]]), RATE / 2u);
}

TEST_F(Board, SecondReleaseOnTheSameButtonRestartsItsClip) {
    int slot = long_slot();
    long first = play_and_find(slot);
    ASSERT_GE(first, 0);
    pause_scaled_ms(500);
    long again = play_and_find(slot);
    ASSERT_GE(again, 0);
    program->wait_audio(static_cast<size_t>(again) + RATE);
    const std::vector<int16_t> out = program->audio();
    const std::vector<int16_t> &clip = clips[order[slot]];
    // The first play sounded, uninterrupted, right up to the restart (which
    // begins with the clip's leading silence, before its first audible frame):
    // a clip still playing was restarted, not played anew after it ended.
    const size_t restart = static_cast<size_t>(again) - first_audible(clip) / 2;
    EXPECT_GE(matching_frames(out, first, clip), restart - static_cast<size_t>(first));
    EXPECT_GE(matching_frames(out, again, clip), RATE / 2u);
}

// Every touch release sets the log threshold from the debug level (WARNING at
// level 0), so after the taps above the INFO lines of the quit are not written;
// the quit's log is checked after the debug gesture below.
TEST_F(Board, SigtermQuitsWithStatusZero) {
    EXPECT_EQ(program->stop(), 0);
    EXPECT_NE(program->log().find(STARTED_LINE), std::string::npos);
}

// Circles the screen's centre clockwise (as seen) 'turns' times in one stroke.
void circle(const TestProgram &p, double turns) {
    std::string cmd = "mousemove --window " + p.window + " 260 240 mousedown 1";
    int steps = static_cast<int>(turns * 24);
    for (int i = 1; i <= steps; i++) {
        double a = 2 * 3.141592653589793 * i / 24;
        int x = 160 + static_cast<int>(100 * cos(a));
        int y = 240 + static_cast<int>(100 * sin(a)); // y down: increasing angle is clockwise
        cmd += " mousemove --window " + p.window + " " + std::to_string(x) + " " +
               std::to_string(y) + " sleep 0.01";
    }
    cmd += " mouseup 1";
    p.xdo(cmd);
    pause_scaled_ms(100);
}

TEST(DebugGesture, RaisesTheLevelToTwo) {
    TempDir dir;
    TestProgram p;
    ASSERT_TRUE(start_board(p));
    for (int level = 1; level <= 2; level++) {
        circle(p, 4.5);
        p.tap(310, 10); // top-right corner
        pause_scaled_ms(100);
        p.tap(10, 10); // top-left corner
        pause_scaled_ms(200);
    }
    EXPECT_EQ(p.stop(), 0);
    std::string log = p.log();
    EXPECT_NE(log.find("Debugging Level changed to: 2"), std::string::npos) << log;
    // At a debug level above 0 the threshold is DEBUG: the quit is logged, last.
    ASSERT_GT(log.size(), 2u);
    std::string tail = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_NE(tail.find("Application quitting"), std::string::npos) << tail;
}

} // namespace
