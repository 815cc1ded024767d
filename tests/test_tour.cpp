// End to end: the tour (examples/tour), the second application on the
// framework, run under the test's X display and driven with real X input
// (xdotool) as a person would: the Menu button, the menu's items, the
// on-screen keyboard's keys, the Up arrow. Watched from outside: the window's
// pixels through XGetImage, the screenshot file, the session file and the exit
// status.
//
// Where to touch comes from the layouts the framework documents: the menu's
// rows in its (-100, 100, -100, 100) square grown to the screen, the
// keyboard's keys from its own layout table (built here by the same function),
// the tour's screen from its 320 x 480 layout.
#include "support.h"

#include <vostrel/text/text.h>
#include <vostrel/ui/ui_internal.h>

#include <gtest/gtest.h>
#include <lodepng.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"
#include <vostrel/text/text_internal.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WIDTH = 320, HEIGHT = 480;
const char WORD[] = "vostrel";

// The tour's screen, window rows counted from the top (its layout is y-up).
struct Area {
    int x0, y0, x1, y1; // columns x0 <= x < x1, rows y0 <= y < y1
};
Area from_layout(float left, float right, float bottom, float top) {
    return {static_cast<int>(left), HEIGHT - static_cast<int>(top), static_cast<int>(right),
            HEIGHT - static_cast<int>(bottom)};
}
const Area menu_button = from_layout(10, 310, 430, 470);
const Area line_box = from_layout(10, 310, 360, 420);
const Area view_box = from_layout(40, 280, 250, 350);
const Area marker_track = from_layout(20, 300, 180, 220);
const Area logo_box = from_layout(250, 310, 20, 80);
constexpr float LINE_TEXT_LEFT = 18.0f; // line_box.left + 8
constexpr float LINE_TEXT_SIZE = 32.0f;

// Window pixels as 0xRRGGBB, row 0 the top row.
struct Frame {
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * WIDTH + x]; }
    bool ok() const { return px.size() == static_cast<size_t>(WIDTH) * HEIGHT; }
};

uint8_t red(uint32_t p) { return static_cast<uint8_t>(p >> 16); }
uint8_t green(uint32_t p) { return static_cast<uint8_t>(p >> 8); }
uint8_t blue(uint32_t p) { return static_cast<uint8_t>(p); }
bool is_ink(uint32_t p) { return red(p) > 200 && green(p) > 200 && blue(p) > 200; }
bool is_title_red(uint32_t p) { return red(p) > 180 && green(p) < 60 && blue(p) < 60; }
bool is_logo_teal(uint32_t p) { return red(p) < 60 && green(p) > 140 && blue(p) > 140; }
bool is_lit(uint32_t p) { return red(p) + green(p) + blue(p) > 90; }

template <class Test> int count(const Frame &f, const Area &a, Test test) {
    int n = 0;
    for (int y = a.y0; y < a.y1; y++)
        for (int x = a.x0; x < a.x1; x++)
            n += test(f.at(x, y)) ? 1 : 0;
    return n;
}

int differing(const Frame &a, const Frame &b, const Area &r) {
    int n = 0;
    for (int y = r.y0; y < r.y1; y++)
        for (int x = r.x0; x < r.x1; x++)
            n += a.at(x, y) != b.at(x, y) ? 1 : 0;
    return n;
}

// Mean column of the amber marker (red high, blue low) on its track; -1 if absent.
double marker_column(const Frame &f) {
    double sum = 0;
    int n = 0;
    for (int y = marker_track.y0; y < marker_track.y1; y++)
        for (int x = marker_track.x0; x < marker_track.x1; x++) {
            uint32_t p = f.at(x, y);
            if (red(p) > 200 && green(p) > 120 && blue(p) < 60) {
                sum += x;
                n++;
            }
        }
    return n ? sum / n : -1.0;
}

// Menu rows: the menu's square (-100, 100, -100, 100) grown to the 2:3
// screen is (-100, 100, -150, 150); the title spans 66.67..100, item i's row
// runs from 55.56 - 22.22 i down by 22.22.
int menu_row(float menu_y) { return HEIGHT - static_cast<int>(lroundf((menu_y + 150.0f) * 1.6f)); }
int menu_item_row(int i) {
    return menu_row(55.555556f - 22.222222f * static_cast<float>(i) - 11.111111f);
}
const Area menu_title = {0, menu_row(100.0f), WIDTH, menu_row(66.666667f)};
Area menu_item_area(int i) {
    return {54, menu_row(55.555556f - 22.222222f * static_cast<float>(i)), 266,
            menu_row(55.555556f - 22.222222f * static_cast<float>(i + 1))};
}

// The tour, run in its own temporary directory; a tap waits a little after.
struct Tour {
    TempDir dir;
    TestProgram program;

    bool start() {
        program.binary = VOSTREL_TOUR_BINARY;
        program.title = "Vostrel Tour";
        program.log_name = "vostrel tour_log.txt";
        program.start({"--log-level", "3"}, {"SDL_AUDIODRIVER=dummy"});
        program.find_window();
        program.wait_started();
        pause_scaled_ms(1500); // the start-up timer (1 s) has fallen due, and input is taken
        return !program.window.empty();
    }
    std::string log() const { return program.log(); }
    void tap(int x, int y) const {
        program.tap(x, y);
        pause_scaled_ms(120);
    }
    void key(const char *name) const { program.key(name); }
    Frame capture() const { return Frame{program.capture()}; }
};

// Window pixel of the keyboard key that types c: the keyboard's layout units
// (-5, 5, -2, 2), raised by its height, map onto the whole screen, so it takes
// the lower half.
bool key_position(int c, int *x, int *y) {
    const KeyboardLayout *layout = keyboard_layout();
    if (!layout) return false;
    for (int i = 0; i < layout->key_count; i++) {
        const Key &k = layout->keys[i];
        if (k.lower != c) continue;
        float cx = rect_center_x(&k.rect), cy = rect_center_y(&k.rect);
        *x = static_cast<int>(lroundf((cx + 5.0f) / 10.0f * WIDTH));
        *y = HEIGHT - static_cast<int>(lroundf((cy + 2.0f) / 8.0f * HEIGHT));
        return true;
    }
    return false;
}

class TourProgram : public ::testing::Test {
  protected:
    static Tour *tour;
    static Frame first; // the screen as it starts
    static void SetUpTestSuite() {
        keyboard_build_default();
        tour = new Tour();
        if (tour->start()) first = tour->capture();
    }
    static void TearDownTestSuite() { delete tour; }
    void SetUp() override {
        ASSERT_FALSE(tour->program.window.empty()) << "no window";
        ASSERT_TRUE(first.ok());
    }
};
Tour *TourProgram::tour;
Frame TourProgram::first;

TEST_F(TourProgram, StartsWithItsScreen) {
    EXPECT_GT(count(first, menu_button, is_lit), 500) << "the Menu button";
    EXPECT_GT(count(first, view_box, is_lit), 500) << "the box and the cylinder";
    EXPECT_GT(count(first, logo_box, is_logo_teal), 1000) << "the tour's own compiled-in picture";
    EXPECT_EQ(count(first, line_box, is_ink), 0) << "the line starts empty";
    EXPECT_EQ(count(first, menu_title, is_title_red), 0) << "no menu yet";
}

TEST_F(TourProgram, TweenAndSpinMoveWhatIsDrawn) {
    double a = marker_column(tour->capture());
    Frame f1 = tour->capture();
    pause_scaled_ms(400);
    Frame f2 = tour->capture();
    double b = marker_column(f2);
    ASSERT_GE(a, 0.0);
    ASSERT_GE(b, 0.0);
    // 240 pixels in 1.5 s: 0.4 s moves the marker far more than 10 pixels
    // (unless it turned round in between, which a third look would show).
    if (fabs(b - a) < 10.0) {
        pause_scaled_ms(400);
        b = marker_column(tour->capture());
    }
    EXPECT_GT(fabs(b - a), 10.0);
    EXPECT_GT(differing(f1, f2, view_box), 200) << "the 3D view turns";
}

TEST_F(TourProgram, MenuButtonOpensThePageAndTheToggleFlipsItsLabel) {
    tour->tap(160, (menu_button.y0 + menu_button.y1) / 2);
    pause_scaled_ms(900); // the half-second slide, during which the page is inert
    Frame open = tour->capture();
    EXPECT_GT(count(open, menu_title, is_title_red), 200) << "the red title";
    EXPECT_LT(marker_column(open), 0.0) << "the menu is drawn instead of the screen";

    const Area item0 = menu_item_area(0);
    tour->tap(160, menu_item_row(0));
    Frame off = tour->capture();
    tour->tap(160, menu_item_row(0));
    Frame on = tour->capture();
    EXPECT_GT(differing(open, off, item0), 50) << "\"Key clicks: On\" became \"Off\"";
    EXPECT_EQ(differing(open, on, item0), 0) << "and back to \"On\"";
}

TEST_F(TourProgram, KeyboardTypesIntoTheLineDrawnOnScreen) {
    ASSERT_GT(count(tour->capture(), menu_title, is_title_red), 200) << "needs the open menu";
    tour->tap(160, menu_item_row(1)); // "Keyboard": closes the menu, shows the keyboard
    pause_scaled_ms(200);
    Frame shown = tour->capture();
    const Area lower = {0, HEIGHT / 2, WIDTH, HEIGHT};
    EXPECT_GT(count(shown, lower, is_lit), count(first, lower, is_lit) + 20000) << "the keyboard";

    for (const char *c = WORD; *c; c++) {
        int x, y;
        ASSERT_TRUE(key_position(*c, &x, &y)) << *c;
        tour->tap(x, y);
    }
    int x, y;
    ASSERT_TRUE(key_position(KEY_RETURN, &x, &y));
    tour->tap(x, y); // hides the keyboard
    pause_scaled_ms(200);
    Frame typed = tour->capture();
    EXPECT_LT(count(typed, lower, is_lit), count(shown, lower, is_lit) - 20000) << "hidden again";

    // The word's ink: left-aligned at the line's text margin, as wide as the
    // font's advances make it at the line's text size, centred on the line.
    int left = WIDTH, right = -1, top = HEIGHT, bottom = -1;
    for (int yy = line_box.y0; yy < line_box.y1; yy++)
        for (int xx = line_box.x0; xx < line_box.x1; xx++)
            if (is_ink(typed.at(xx, yy))) {
                left = std::min(left, xx);
                right = std::max(right, xx);
                top = std::min(top, yy);
                bottom = std::max(bottom, yy);
            }
    ASSERT_GE(right, 0) << "no ink on the line";
    font_set_metrics(&font);
    const float width = font_line_width(WORD) * LINE_TEXT_SIZE / 35.0f;

    EXPECT_NEAR(left, LINE_TEXT_LEFT, 5.0);
    EXPECT_NEAR(right + 1, LINE_TEXT_LEFT + width, 6.0);
    EXPECT_NEAR((top + bottom + 1) / 2.0, (line_box.y0 + line_box.y1) / 2.0, 6.0);
}

TEST_F(TourProgram, UpKeyWritesAScreenshotOfTheScreen) {
    Frame now = tour->capture();
    ASSERT_GT(count(now, line_box, is_ink), 100) << "needs the typed line";
    tour->key("Up");
    const std::string path = tour->dir.file("tour.png");
    // Until the file is there in full: a file still being written does not decode.
    unsigned char *rgb = nullptr;
    unsigned w = 0, h = 0, err = 1;
    for (int i = 0; i < 100 && err; i++) {
        pause_scaled_ms(50);
        free(rgb);
        rgb = nullptr;
        err = lodepng_decode24_file(&rgb, &w, &h, path.c_str());
    }
    ASSERT_EQ(err, 0u) << lodepng_error_text(err);
    EXPECT_EQ(w, 1000u);
    EXPECT_EQ(h, 1000u);
    // The still parts of the screen (the Menu button and the typed line),
    // block by block, as in the window: the picture is the screen scaled to
    // 1000 x 1000, top row first.
    int compared = 0, off = 0;
    for (const Area &a : {menu_button, line_box})
        for (int by = a.y0; by + 10 <= a.y1; by += 10)
            for (int bx = a.x0; bx + 10 <= a.x1; bx += 10) {
                double win = 0, png = 0;
                for (int y = by; y < by + 10; y++)
                    for (int x = bx; x < bx + 10; x++) {
                        uint32_t p = now.at(x, y);
                        win += red(p) + green(p) + blue(p);
                    }
                int px0 = bx * 1000 / WIDTH, px1 = (bx + 10) * 1000 / WIDTH;
                int py0 = by * 1000 / HEIGHT, py1 = (by + 10) * 1000 / HEIGHT;
                for (int y = py0; y < py1; y++)
                    for (int x = px0; x < px1; x++) {
                        const unsigned char *p = rgb + (static_cast<size_t>(y) * w + x) * 3;
                        png += p[0] + p[1] + p[2];
                    }
                win /= 100.0 * 3;
                png /= (px1 - px0) * (py1 - py0) * 3.0;
                compared++;
                if (fabs(win - png) > 16.0) off++;
            }
    free(rgb);
    EXPECT_GT(compared, 100);
    EXPECT_LE(off, compared / 20) << off << " of " << compared << " blocks differ";
}

TEST_F(TourProgram, SigtermQuitsAndTheSessionKeepsTheWord) {
    EXPECT_EQ(tour->program.stop(), 0);
    // Native 32-bit length (the tour's 16-byte line), then the line.
    std::string s = read_file(tour->dir.file("vostrel tour.session"));
    ASSERT_EQ(s.size(), 4u + 16u);
    int32_t length;
    memcpy(&length, s.data(), 4);
    EXPECT_EQ(length, 16);
    EXPECT_STREQ(s.c_str() + 4, WORD);
}

// The tour's --help and --version speak of the tour: its own line and
// version, the framework's options in words of no other program, and the
// file descriptions in one column after the longest file name.
std::string run_output(const std::string &args) {
    std::string out;
    FILE *p =
        popen((std::string(program_emulator) + "'" VOSTREL_TOUR_BINARY "' " + args).c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    EXPECT_EQ(pclose(p), 0) << args;
    return out;
}

TEST(TourCommandLine, HelpAndVersionSpeakOfTheTour) {
    EXPECT_EQ(run_output("--version"), "vostrel-tour 1.0\n");
    const std::string help = run_output("--help");
    EXPECT_EQ(help.rfind("Usage: vostrel-tour [OPTION]...\n"
                         "Vostrel Tour, a small application that shows the framework's parts.\n\n",
                         0),
              0u)
        << help;
    for (const char *word : {"board", "Board", "volume", "desktop menu", "soundboard"})
        EXPECT_EQ(help.find(word), std::string::npos) << word << " in\n" << help;
    for (const char *word :
         {"--fullscreen", "--kiosk", "--xdg-state", "$XDG_STATE_HOME/vostrel-tour",
          "the line typed last", "hold a finger on the\n                   bottom-left corner"})
        EXPECT_NE(help.find(word), std::string::npos) << word << " missing from\n" << help;
    // Files: every description, and its continuation lines, at one column.
    const size_t files = help.find("Files,");
    ASSERT_NE(files, std::string::npos);
    std::vector<size_t> columns;
    size_t at = help.find('\n', files) + 1;
    while (at < help.size()) {
        const size_t end = help.find('\n', at);
        const std::string line = help.substr(at, end - at);
        // A file's line: its name, then spaces to the column; else a continuation.
        const size_t gap = line.rfind("vostrel tour", 2) == 2 ? line.find("  ", 2) : 0;
        columns.push_back(line.find_first_not_of(' ', gap));
        at = end + 1;
    }
    ASSERT_EQ(columns.size(), 4u) << help; // the log's two lines, options, session
    for (size_t column : columns)
        EXPECT_EQ(column, columns[0]) << help;
}

} // namespace
