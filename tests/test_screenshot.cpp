// Screenshots: a frame drawn in a real window is written as a 1000x1000 RGB
// PNG under the base directory, top of the screen first; names, extensions,
// unwritable and overlong paths, and a rectangle at fractional coordinates.
#include <vostrel/render/render.h>

#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include "support.h"

#include <gtest/gtest.h>
#include <GLES/gl.h>
#include <lodepng.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const Rect screen = {0.0f, 320.0f, 0.0f, 480.0f};

void fill(int x, int y, int w, int h, float r, float g, float b) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, w, h);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
}

// Top half red, bottom half blue, a green bar along the left edge of the bottom half.
void draw_frame() {
    fill(0, 0, 320, 480, 0, 0, 0);
    fill(0, 240, 320, 240, 1, 0, 0);
    fill(0, 0, 320, 240, 0, 0, 1);
    fill(0, 0, 40, 240, 0, 1, 0);
}

struct Decoded {
    std::vector<uint8_t> rgb;
    unsigned w = 0, h = 0;
    unsigned error = 1;
    explicit Decoded(const std::string &path) {
        unsigned char *out = nullptr;
        error = lodepng_decode24_file(&out, &w, &h, path.c_str());
        if (!error) rgb.assign(out, out + static_cast<size_t>(w) * h * 3);
        free(out);
    }
    const uint8_t *at(unsigned x, unsigned y) const {
        return &rgb[(static_cast<size_t>(y) * w + x) * 3];
    }
};

class Screenshot : public ::testing::Test {
  protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_TRUE(shared_window().ok);
        set_base_dir(".");
        draw_frame();
    }
    void TearDown() override { set_base_dir("."); }
};

TEST_F(Screenshot, WritesA1000SquareRgbPngTopRowFirst) {
    ASSERT_EQ(screenshot_write(&screen, "a.png"), 1);
    const std::vector<uint8_t> bytes = read_bytes(dir.file("a.png"));
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes[1], 'P');
    EXPECT_EQ(bytes[24], 8); // bit depth
    EXPECT_EQ(bytes[25], 2); // colour type RGB
    EXPECT_EQ(bytes[28], 0); // not interlaced

    Decoded png(dir.file("a.png"));
    ASSERT_EQ(png.error, 0u);
    EXPECT_EQ(png.w, 1000u);
    EXPECT_EQ(png.h, 1000u);
    const uint8_t *top = png.at(500, 0);
    EXPECT_GT(top[0], 200); // the top of the screen is red
    EXPECT_LT(top[2], 50);
    // The resampler reads zeros past the last source row, so the very last
    // rows fade; a row just above them is plain blue.
    const uint8_t *bottom = png.at(500, 990);
    EXPECT_LT(bottom[0], 50); // the bottom is blue
    EXPECT_GT(bottom[2], 200);
    const uint8_t *bar = png.at(20, 900); // left eighth of the width, bottom half
    EXPECT_GT(bar[1], 200);
    const uint8_t *beside = png.at(300, 900);
    EXPECT_LT(beside[1], 50);
}

// A fullscreen window shows the screen scaled and moved: the picture is
// the screen as shown, not the window's corner.
TEST_F(Screenshot, ReadsTheScreenWhereTheDisplayAreaShowsIt) {
    fill(0, 0, 320, 480, 0, 0, 0);
    fill(80, 120 + 120, 160, 120, 1, 0, 0);
    fill(80, 120, 160, 120, 0, 0, 1);
    fill(80, 120, 20, 120, 0, 1, 0);
    gl_set_display_area(0.5f, 80.0f, 120.0f);
    const int ok = screenshot_write(&screen, "shown.png");
    gl_set_display_area(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(ok, 1);
    Decoded png("shown.png");
    ASSERT_EQ(png.error, 0u);
    EXPECT_GT(png.at(500, 250)[0], 200) << "top half not red";
    EXPECT_GT(png.at(500, 750)[2], 200) << "bottom half not blue";
    EXPECT_GT(png.at(30, 750)[1], 200) << "left bar not green";
    EXPECT_GT(png.at(5, 995)[1], 200) << "bottom-left corner not green";
}

TEST_F(Screenshot, ExtensionDecidesTheFormat) {
    EXPECT_EQ(screenshot_write(&screen, "shot.PNG"), 1);
    Decoded png(dir.file("shot.PNG"));
    EXPECT_EQ(png.error, 0u);
    EXPECT_EQ(png.w, 1000u);

    EXPECT_EQ(screenshot_write(&screen, "shot"), 0);
    ASSERT_TRUE(file_exists(dir.file("shot")));
    EXPECT_TRUE(read_bytes(dir.file("shot")).empty());

    EXPECT_EQ(screenshot_write(&screen, "shot.bmp"), 0);
    ASSERT_TRUE(file_exists(dir.file("shot.bmp")));
    EXPECT_TRUE(read_bytes(dir.file("shot.bmp")).empty());
}

TEST_F(Screenshot, PathFollowsTheBaseDirectoryAndFailsWhenUnwritable) {
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    set_base_dir("sub");
    EXPECT_EQ(screenshot_write(&screen, "b.png"), 1);
    EXPECT_TRUE(file_exists(dir.file("sub/b.png")));
    EXPECT_FALSE(file_exists(dir.file("b.png")));

    set_base_dir(".");
    EXPECT_EQ(screenshot_write(&screen, "missing/c.png"), 0);
    EXPECT_FALSE(file_exists(dir.file("missing/c.png")));

    // A path over 511 characters is refused, not cut to some other name. The
    // long part is two directories that exist, so the path cut to 511
    // characters ("./", both directories, the first 107 characters of the
    // file name) could be created if the writer cut instead of refusing.
    const std::string deep = std::string(200, 'd') + "/" + std::string(200, 'e');
    ASSERT_EQ(mkdir(dir.file(std::string(200, 'd')).c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file(deep).c_str(), 0755), 0);
    const std::string long_name = deep + "/" + std::string(120, 'n') + ".png";
    ASSERT_GT(2 + long_name.size(), 511u);
    EXPECT_EQ(screenshot_write(&screen, long_name.c_str()), 0);
    EXPECT_FALSE(file_exists(dir.file(deep + "/" + std::string(107, 'n'))));
    DIR *inside = opendir(dir.file(deep).c_str());
    ASSERT_NE(inside, nullptr);
    int entries = 0;
    while (const dirent *e = readdir(inside))
        entries += strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0;
    closedir(inside);
    EXPECT_EQ(entries, 0) << "nothing written under the long path";

    const Rect empty = {10, 10, 0, 480};
    EXPECT_EQ(screenshot_write(&empty, "e.png"), 0);
    EXPECT_FALSE(file_exists(dir.file("e.png")));
}

// A full disk (/dev/full, reached through a link) and a file cut short by the
// file-size limit are failures: result 0, an ERROR in the log, and no partial
// file left, while the device and the link to it are not removed. A plain
// black frame encodes to less than stdio's buffer, so /dev/full refuses it
// only at the flush; the test frame is larger and fails in the write itself.
TEST_F(Screenshot, AFailedWriteReportsFailureAndLeavesNoPartialFile) {
    log_reset_for_test();
    ASSERT_EQ(screenshot_write(&screen, "whole.png"), 1);
    const size_t whole = read_bytes(dir.file("whole.png")).size();

    ASSERT_EQ(symlink("/dev/full", dir.file("full.png").c_str()), 0);
    EXPECT_EQ(screenshot_write(&screen, "full.png"), 0);
    fill(0, 0, 320, 480, 0, 0, 0);
    ASSERT_EQ(screenshot_write(&screen, "black.png"), 1);
    ASSERT_LT(read_bytes(dir.file("black.png")).size(), static_cast<size_t>(BUFSIZ));
    EXPECT_EQ(screenshot_write(&screen, "full.png"), 0);
    struct stat st;
    ASSERT_EQ(lstat(dir.file("full.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    draw_frame();

    // The limit cuts the PNG part way through: the file exists and holds its
    // first bytes when the write fails.
    constexpr rlim_t LIMIT = 1024;
    ASSERT_GT(whole, LIMIT);
    rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = LIMIT;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int cut = screenshot_write(&screen, "cut.png");
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(cut, 0);
    EXPECT_FALSE(file_exists(dir.file("cut.png")));

    log_close();
    const std::string log = read_file(dir.file("vostrel soundboard_log.txt"));
    log_reset_for_test();
    EXPECT_EQ(count_of(log, "ERROR    ["), 3) << log;
    EXPECT_EQ(count_of(log, "./full.png"), 2) << log;
    EXPECT_EQ(count_of(log, "./cut.png"), 1) << log;
}

TEST_F(Screenshot, FractionalRectangleIsReadFromTheTruncatedCorner) {
    fill(0, 0, 320, 480, 0, 0, 0);
    fill(40, 60, 1, 100, 0, 1, 0);                // one green column at x = 40
    fill(41, 60, 1, 100, 1, 0, 0);                // a red one right of it
    const Rect r = {40.9f, 60.9f, 60.5f, 160.5f}; // read from (40, 60), 20 x 100
    ASSERT_EQ(screenshot_write(&r, "f.png"), 1);
    Decoded png(dir.file("f.png"));
    ASSERT_EQ(png.error, 0u);
    const uint8_t *left = png.at(0, 500);
    EXPECT_GT(left[1], 200); // green: the column at the truncated left edge
    EXPECT_LT(left[0], 50);
    const uint8_t *right = png.at(999, 500);
    EXPECT_LT(right[0] + right[1] + right[2], 30);
}

} // namespace
