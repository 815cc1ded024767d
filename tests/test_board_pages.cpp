// A board of pages: one page shown at a time, turned by a swipe (which plays
// nothing), by a tap on the band's halves, by Left and Right and by Page Up
// and Page Down, wrapping round; sounds play on when their page is left, a
// Stop button stops those of every page, keys act on the page shown, and the
// page shown is kept in the options. A board of one page keeps its drags and
// keys as they always were. Then the real program: a page drawn as a board
// of its sounds alone is drawn, a band under it aside; a swipe plays
// nothing; a loop plays on across a page change until another page's Stop.
#include "support.h"

#include "app/app_internal.h"
#include "app/payload.h"
#include <vostrel/audio/audio.h>
#include <vostrel/diag/diag.h>
#include <vostrel/settings/settings.h>

#include <SDL/SDL_keysym.h>
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <math.h>
#include <stddef.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::vector<std::string> calls;
std::vector<SoundRecord *> sounding; // played and not stopped since

std::string caption_of(SoundRecord *rec) {
    auto *b = reinterpret_cast<BoardButton *>(reinterpret_cast<char *>(rec) -
                                              offsetof(BoardButton, sound));
    return b->caption;
}
int record_play(SoundRecord *rec, const float *, int loop) {
    calls.push_back("play " + caption_of(rec) + (loop ? " looping" : ""));
    sounding.push_back(rec);
    return 1;
}
int record_stop(SoundRecord *rec) {
    calls.push_back("stop " + caption_of(rec));
    sounding.erase(std::remove(sounding.begin(), sounding.end(), rec), sounding.end());
    return 1;
}
int record_playing(SoundRecord *rec) {
    return std::find(sounding.begin(), sounding.end(), rec) != sounding.end();
}

// A 16-bit clip of `frames` silent stereo frames at 44.1 kHz.
std::string clip(int frames) {
    return wav_bytes(2, 44100, 16, std::string(static_cast<size_t>(frames * 4), '\0'));
}

// Two pages on a stop board: "One" holds a, b (key 1) and Stop; "Two" holds
// a loop and c (key 1) and Stop.
class Pages : public ::testing::Test {
  protected:
    SoundBackend saved;
    Rect screen = {0, 320, 0, 480};
    std::string wav = clip(100);
    static PayloadBoard board;
    void SetUp() override {
        saved = sound_backend;
        sound_backend = SoundBackend{};
        sound_backend.play = record_play;
        sound_backend.stop = record_stop;
        sound_backend.is_playing = record_playing;
        sounding.clear();
        memset(&board, 0, sizeof board);
        strcpy(board.name, "pages");
        board.stop = 1;
        board.ordered = 1;
        board.count = 4;
        board.pages = 2;
        board.page[0] = {"One", 0, 2};
        board.page[1] = {"Two", 2, 2};
        const char *captions[4] = {"a", "b", "loop", "c"};
        for (int k = 0; k < 4; k++) {
            strcpy(board.sounds[k].caption, captions[k]);
            board.sounds[k].clip = {"t.wav", "wav", static_cast<uint32_t>(wav.size()),
                                    reinterpret_cast<const uint8_t *>(wav.data())};
            board.sounds[k].volume = 100;
        }
        board.sounds[1].key = '1';
        board.sounds[3].key = '1';
        board.sounds[2].loop = 1;
        board_payload = &board;
        int32_t first = 0; // each test starts on the first page
        options_set("board", "page", OPTION_INT, &first);
        app_init();
        app_layout(&screen);
        calls.clear();
    }
    void TearDown() override {
        board_payload = nullptr;
        sound_backend = saved;
        app_init();
        app_layout(&screen);
    }
    // Screen point (y up) at the centre of button k of the page shown.
    TouchEvent slot(int k) {
        const Rect &c = board_page_button(board_page_shown(), k)->cell;
        float x = rect_center_x(&c), y = rect_center_y(&c);
        rect_map_point(&grid_rect, &app_input_rect, &x, &y);
        return touch_at(x, y);
    }
    void tap(TouchEvent t) {
        app_touch_down(t);
        app_touch_up(t);
    }
    std::string shown_caption(int index) {
        return board_page_button(board_page_shown(), index)->caption;
    }
};
PayloadBoard Pages::board;

TEST_F(Pages, EveryPageHasItsButtonsAndItsStopButton) {
    ASSERT_EQ(board_page_count(), 2);
    EXPECT_STREQ(board_page_name(1), "Two");
    ASSERT_EQ(board_page_buttons(0), 3);
    EXPECT_STREQ(board_page_button(0, 2)->caption, "Stop");
    EXPECT_STREQ(board_page_button(1, 0)->caption, "loop");
    EXPECT_STREQ(board_page_button(1, 2)->caption, "Stop");
    EXPECT_EQ(board_page_button(1, 3), nullptr);
    EXPECT_STREQ(board_page_name(2), "");
    board_show_page(2); // no such page: nothing
    EXPECT_EQ(board_page_shown(), 0);
    // Every page on the same cells: the second page's first button where the
    // first page's is.
    EXPECT_TRUE(rect_equals(&board_page_button(1, 0)->cell, &board_page_button(0, 0)->cell));
}

TEST_F(Pages, ASwipeTurnsThePageAndPlaysNothing) {
    app_touch_down(slot(1)); // on b, at the right
    EXPECT_NE(selected_button, nullptr);
    TouchEvent moved = slot(0);
    moved.points[0].y -= 10; // across, a little down
    app_touch_drag(moved);
    EXPECT_EQ(selected_button, nullptr) << "a swipe selects nothing";
    app_touch_up(moved);
    EXPECT_EQ(calls, std::vector<std::string>{}) << "a swipe plays nothing";
    EXPECT_EQ(board_page_shown(), 1) << "leftwards: the next page";
    // Rightwards: the previous page; from the first, round to the last.
    app_touch_down(slot(0));
    app_touch_drag(slot(1));
    app_touch_up(slot(1));
    EXPECT_EQ(board_page_shown(), 0);
    app_touch_down(slot(1));
    app_touch_up(slot(0)); // no drag came: the release alone is far enough across
    EXPECT_EQ(board_page_shown(), 1);
    EXPECT_EQ(calls, std::vector<std::string>{});
}

TEST_F(Pages, TheBandsHalvesKeysAndPageKeysTurnThePagesRoundAndRound) {
    tap(touch_at(300, 20)); // the band's right half
    EXPECT_EQ(board_page_shown(), 1);
    tap(touch_at(300, 20));
    EXPECT_EQ(board_page_shown(), 0) << "the last page turns to the first";
    tap(touch_at(20, 20)); // left half
    EXPECT_EQ(board_page_shown(), 1) << "the first page turns back to the last";
    app_key(NAV_LEFT);
    EXPECT_EQ(board_page_shown(), 0);
    app_key(NAV_RIGHT);
    EXPECT_EQ(board_page_shown(), 1);
    app_key_press(SDLK_PAGEDOWN, 1);
    EXPECT_EQ(board_page_shown(), 0);
    app_key_press(SDLK_PAGEUP, 1);
    EXPECT_EQ(board_page_shown(), 1);
    app_key_press(SDLK_PAGEUP, 0); // a release turns nothing
    EXPECT_EQ(board_page_shown(), 1);
    EXPECT_EQ(calls, std::vector<std::string>{});
    int32_t kept = -1;
    ASSERT_TRUE(options_get("board", "page", OPTION_INT, &kept, sizeof kept));
    EXPECT_EQ(kept, 1);
    // Shown again at the next start.
    app_init();
    app_layout(&screen);
    EXPECT_EQ(board_page_shown(), 1);
}

TEST_F(Pages, KeysActOnThePageShownAndStopStopsEveryPage) {
    app_key_press('1', 1);
    app_key_press('1', 0);
    EXPECT_EQ(calls, std::vector<std::string>{"play b"});
    app_key(NAV_RIGHT);
    calls.clear();
    app_key_press('1', 1);
    app_key_press('1', 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop b", "play c"}));
    calls.clear();
    tap(slot(0)); // the loop
    tap(slot(2)); // this page's Stop
    std::vector<std::string> stopped(calls.begin() + 2, calls.end());
    EXPECT_EQ(calls[1], "play loop looping");
    EXPECT_EQ(stopped, (std::vector<std::string>{"stop a", "stop b", "stop loop", "stop c"}))
        << "the Stop button stops the sounds of every page";
}

// A board of one page has no band and no swipe: a drag onto the neighbour
// and its release play the neighbour, as they always did, and Left and Page
// Down turn nothing.
TEST_F(Pages, ABoardOfOnePageKeepsItsDragsAndKeys) {
    board.pages = 1;
    board.page[0] = {"pages", 0, 4};
    app_init();
    app_layout(&screen);
    Rect band;
    EXPECT_EQ(board_band(&band), 0);
    app_touch_down(slot(0));
    app_touch_drag(slot(1));
    app_touch_up(slot(1));
    EXPECT_EQ(calls, std::vector<std::string>{"play b"}) << "a drag onto the neighbour plays it";
    app_key(NAV_LEFT);
    app_key_press(SDLK_PAGEDOWN, 1);
    EXPECT_EQ(board_page_shown(), 0);
}

// A clip that carries its own checksum is checked when first pressed: one
// whose bytes match plays; one whose bytes do not plays nothing, not even on
// a later tap or key, and says so in the log once; what the others do goes
// on (the Stop button still stops every page).
TEST_F(Pages, AClipFailingItsChecksumPlaysNothingAndIsLoggedOnce) {
    uint32_t crc = payload_checksum(reinterpret_cast<const uint8_t *>(wav.data()), wav.size());
    for (int k = 0; k < 4; k++) {
        board.sounds[k].unchecked = 1;
        board.sounds[k].crc = crc;
    }
    board.sounds[1].crc = crc ^ 0x10; // b's bytes are not the ones written
    strcpy(board.sounds[1].caption, "bad\nb");
    app_init();
    app_layout(&screen);
    int log_before = log_size();
    tap(slot(0));
    EXPECT_EQ(calls, std::vector<std::string>{"play a"});
    calls.clear();
    tap(slot(1));
    app_key_press('1', 1);
    app_key_press('1', 0);
    EXPECT_EQ(calls, std::vector<std::string>{}) << "the damaged clip plays nothing";
    EXPECT_EQ(playing_button, &buttons[0]) << "and stops nothing";
    tap(slot(2));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0], "stop a") << "the Stop button still stops what plays";
    std::vector<char> log(static_cast<size_t>(log_size() - log_before) + 1, 0);
    log_read(log.data(), static_cast<int>(log.size()) - 1, log_before);
    std::string said(log.data());
    EXPECT_EQ(count_of(said, "\n"), 1) << said;
    EXPECT_NE(said.find("\"bad b\" is damaged"), std::string::npos) << said;
}

// ---- The real program ----

constexpr double PI = 3.141592653589793;

void put_le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A mono 16-bit WAV at 22,050 Hz: `seconds` of a sine at hz, half scale.
void write_tone(const std::string &path, double seconds, double hz) {
    std::string data;
    int n = static_cast<int>(seconds * 22050);
    for (int i = 0; i < n; i++)
        put_le(data, static_cast<uint32_t>(lround(16000 * sin(2 * PI * hz * i / 22050))), 2);
    write_file(path, wav_bytes(1, 22050, 16, data));
}

// A board made by this build's maker from folder `sounds` into `out`.
void make_board(TempDir &dir, const std::string &sounds, const std::string &out) {
    std::string cmd = std::string("'") + VOSTREL_MAKER + "' '" + sounds + "' -o '" + out +
                      "' --program '" + VOSTREL_BINARY + "' >'" + dir.file("maker.out") + "' 2>&1";
    ASSERT_EQ(run_command(cmd), 0) << read_file(dir.file("maker.out"));
}

// The program `binary` run in folder `where` with disk audio, shown: its
// window found, its start-up complete and its first frame drawn.
void start_board_run(TestProgram &run, const std::string &binary, const std::string &where) {
    mkdir(where.c_str(), 0755);
    run.binary = binary;
    run.folder = where;
    run.start_shown({"--log-level", "3"}, run.disk_audio(SOUND_CHUNK_FRAMES_LOW), 400, 20000);
}

// The loudest sample of the left channel in the frames [from, to), once the
// output has reached `to`.
int loudest(const TestProgram &run, size_t from, size_t to) {
    for (int i = 0; i < 200 * wait_scale() && run.audio_frames() < to; i++)
        pause_ms(25);
    std::vector<int16_t> s = run.audio();
    int most = 0;
    for (size_t f = from; f < to && f * 2 < s.size(); f++)
        most = std::max(most, abs(static_cast<int>(s[f * 2])));
    return most;
}

// Rows of the window (row 0 the top) from y0 to y1 that hold a lit pixel.
int lit_rows(const std::vector<uint32_t> &px, int y0, int y1) {
    int rows = 0;
    for (int y = y0; y < y1; y++) {
        bool lit = false;
        for (int x = 0; x < 320; x++)
            lit = lit || (px[static_cast<size_t>(y) * 320 + static_cast<size_t>(x)] & 0xF0F0F0);
        rows += lit;
    }
    return rows;
}

// A page of twenty is drawn as a board of those twenty alone is; the board of
// twenty has no band, the board of twenty-one a band under the grid (the
// grid's 80-pixel cells fill rows 40 to 440).
TEST(PagesProgram, APageIsDrawnAsABoardOfItsSoundsWithTheBandUnder) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string twenty = dir.file("set"), more = dir.file("more/set");
    mkdir(twenty.c_str(), 0755);
    mkdir(dir.file("more").c_str(), 0755);
    mkdir(more.c_str(), 0755);
    for (int k = 1; k <= 21; k++) {
        std::string name = "/tone " + std::to_string(k) + ".wav";
        if (k <= 20) write_tone(twenty + name, 0.2, 400 + 10 * k);
        write_tone(more + name, 0.2, 400 + 10 * k);
    }
    make_board(dir, twenty, dir.file("board20"));
    make_board(dir, more, dir.file("board21"));
    std::vector<uint32_t> one, paged;
    {
        TestProgram r;
        start_board_run(r, dir.file("board20"), dir.file("run20"));
        ASSERT_FALSE(r.window.empty());
        one = r.capture();
    }
    {
        TestProgram r;
        start_board_run(r, dir.file("board21"), dir.file("run21"));
        ASSERT_FALSE(r.window.empty());
        paged = r.capture();
    }
    ASSERT_EQ(one.size(), 320u * 480u);
    ASSERT_EQ(paged.size(), 320u * 480u);
    EXPECT_EQ(lit_rows(one, 0, 40), 0);
    EXPECT_EQ(lit_rows(one, 440, 480), 0) << "one page: no band";
    EXPECT_GT(lit_rows(one, 40, 440), 300);
    EXPECT_GT(lit_rows(paged, 440, 480), 10) << "pages: the band under the grid";
    EXPECT_EQ(lit_rows(paged, 0, 40), 0);
    EXPECT_TRUE(std::equal(one.begin(), one.begin() + 440 * 320, paged.begin()))
        << "the first page is drawn as the board of its twenty sounds";
}

// Three loud seconds a loop on the first page (with a stop button), and a
// second page: a swipe across the first page plays nothing and turns the
// page; the loop started there plays on across the page change and stops at
// the second page's Stop.
TEST(PagesProgram, ASwipePlaysNothingAndALoopPlaysOnUntilAnotherPagesStop) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string top = dir.file("board");
    mkdir(top.c_str(), 0755);
    write_tone(top + "/drone.wav", 3.0, 440);
    write_tone(top + "/beep.wav", 0.5, 880);
    mkdir((top + "/More").c_str(), 0755);
    write_tone(top + "/More/other.wav", 0.5, 660);
    write_file(top + "/captions.txt", "stop\ndrone.wav\tDrone\tloop\n");
    make_board(dir, top, dir.file("paged"));
    TestProgram r;
    start_board_run(r, dir.file("paged"), dir.file("run"));
    ASSERT_FALSE(r.window.empty());
    // Page one: beep, Drone, Stop in a 2 x 2 grid of 160-pixel cells, over
    // a band made room for under them.
    std::vector<uint32_t> first = r.capture();
    size_t mark = r.audio_frames();
    r.move(280, 100); // on Drone, at the right
    r.xdo("mousedown 1");
    for (int x = 260; x >= 40; x -= 20)
        r.move(x, 104);
    r.xdo("mouseup 1");
    EXPECT_LT(loudest(r, mark, mark + 22050), 200) << "a swipe plays nothing";
    // The new page is drawn within a few turns; an emulated program takes longer.
    std::vector<uint32_t> second = r.capture();
    for (int i = 0; i < 20 * wait_scale() && second == first; i++) {
        pause_ms(100);
        second = r.capture();
    }
    EXPECT_NE(first, second) << "the page turned";
    r.key("Left"); // back to the first page
    pause_scaled_ms(200);
    EXPECT_EQ(r.capture(), first);

    r.tap(240, 100); // Drone
    size_t playing = r.audio_frames() + 4410;
    EXPECT_GT(loudest(r, playing, playing + 4410), 4000) << "the loop plays";
    r.key("Right");
    size_t after = r.audio_frames() + 11025;
    EXPECT_GT(loudest(r, after, after + 22050), 4000) << "the loop plays on the next page";
    r.tap(240, 100); // the second page: other, Stop
    size_t stopped = r.audio_frames() + 4410;
    EXPECT_LT(loudest(r, stopped, stopped + 22050), 200) << "another page's Stop stops it";
}

} // namespace

namespace {

// On a board of the maker's, a playing button is drawn brighter, with a bar
// that grows as it plays, and back as it was once its sound has ended.
TEST(PagesProgram, APlayingButtonShowsItUntilItsSoundEnds) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TempDir dir;
    std::string top = dir.file("board");
    mkdir(top.c_str(), 0755);
    write_tone(top + "/long.wav", 1.5, 440);
    write_tone(top + "/short.wav", 0.3, 660);
    make_board(dir, top, dir.file("played"));
    TestProgram r;
    start_board_run(r, dir.file("played"), dir.file("run"));
    ASSERT_FALSE(r.window.empty());
    // Two buttons: one column of two 240-pixel cells, long.wav's on top.
    std::vector<uint32_t> before = r.capture();
    size_t mark = r.audio_frames();
    r.tap(160, 120);
    pause_scaled_ms(300);
    std::vector<uint32_t> early = r.capture();
    pause_scaled_ms(500);
    std::vector<uint32_t> later = r.capture();
    auto brightness = [](const std::vector<uint32_t> &px, int y0, int y1) {
        long sum = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < 320; x++)
                sum += px[static_cast<size_t>(y) * 320 + static_cast<size_t>(x)] & 0xFF;
        return sum;
    };
    ASSERT_EQ(before.size(), 320u * 480u);
    EXPECT_GT(brightness(early, 0, 240), brightness(before, 0, 240) * 3 / 2)
        << "the playing button is drawn brighter";
    EXPECT_EQ(std::vector<uint32_t>(early.begin() + 240 * 320, early.end()),
              std::vector<uint32_t>(before.begin() + 240 * 320, before.end()))
        << "the other button is as it was";
    EXPECT_NE(early, later) << "the bar grows as the sound plays";
    // Once the output has passed the sound's 1.5 s (the disk driver plays
    // at its own pace), and a little more.
    size_t end = mark + 44100 * 2;
    for (int i = 0; i < 400 * wait_scale() && r.audio_frames() < end; i++)
        pause_ms(25);
    pause_scaled_ms(300);
    EXPECT_EQ(r.capture(), before) << "back to its normal look once the sound ended";
}

} // namespace
