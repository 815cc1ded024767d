// What plays, under power saving, on the real loop in a real window with
// real time and the real mixer: while a made board's sound plays, frames are
// presented at about the ten a second its playing button's bar needs, and
// none once it has ended and been drawn as ended.
#include "app/app_internal.h"
#include "app/payload.h"
#include <vostrel/audio/audio_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <math.h>
#include <string.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

// A quiet tone of `seconds` in the mixer's format, as the maker stores it.
std::string tone(double seconds) {
    auto le = [](std::string &s, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            s += static_cast<char>(v >> (8 * i));
    };
    const uint32_t frames = static_cast<uint32_t>(seconds * 44100);
    std::string data;
    for (uint32_t i = 0; i < frames; i++) {
        const int v = static_cast<int>(3000 * sin(2 * M_PI * 440 * i / 44100.0));
        le(data, static_cast<uint32_t>(v), 2);
        le(data, static_cast<uint32_t>(v), 2);
    }
    return wav_bytes(2, 44100, 16, data);
}

TEST(PlayingPowerSave, AboutTenFramesASecondWhileASoundPlaysAndNoneOnceItEnded) {
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "run under xvfb-run";
    ASSERT_EQ(sdl_implementation_mismatch(getpid()), "");
    static const std::string clip = tone(3.0);
    static PayloadBoard board;
    memset(&board, 0, sizeof board);
    strcpy(board.name, "playing");
    board.ordered = 1;
    board.count = 2;
    board.pages = 1;
    board.page[0] = {"playing", 0, 2};
    for (int k = 0; k < 2; k++) {
        strcpy(board.sounds[k].caption, k ? "b" : "a");
        board.sounds[k].clip = {"t.wav", "wav", static_cast<uint32_t>(clip.size()),
                                reinterpret_cast<const uint8_t *>(clip.data())};
        board.sounds[k].volume = 100;
    }
    board_payload = &board;
    ASSERT_TRUE(shell_open_power_saving()) << SDL_GetError();
    ASSERT_NE(xwindow_wait(d, APP_NAME, 5000, [] { return true; }), 0u);

    const double scale = wait_scale();
    EXPECT_GE(frames_presented_in(1.0 * scale), 1) << "the first picture is shown";
    EXPECT_EQ(frames_presented_in(2.0), 0) << "idle, nothing plays";

    board_press(&buttons[0]);
    ASSERT_TRUE(board_button_playing(&buttons[0]));
    frames_presented_in(0.3); // the press's own frames
    const double start = seconds_now();
    const int playing = frames_presented_in(2.0);
    const double took = seconds_now() - start;
    ASSERT_TRUE(board_button_playing(&buttons[0])) << "still playing after " << took << " s";
    const double rate = playing / took;
    printf("while a sound plays: %d frames in %.2f s (%.1f a second)\n", playing, took, rate);
    EXPECT_GE(rate, 7.0) << "the bar follows the sound";
    EXPECT_LE(rate, 14.0) << "no more frames than the bar needs";

    const double wait_end = seconds_now() + 5.0 * scale;
    while (board_button_playing(&buttons[0]) && seconds_now() < wait_end)
        frames_presented_in(0.1);
    ASSERT_FALSE(board_button_playing(&buttons[0]));
    // The update that draws it ended, then that change's frames.
    while (buttons[0].shown_playing && seconds_now() < wait_end)
        frames_presented_in(0.05);
    EXPECT_EQ(buttons[0].shown_playing, 0);
    frames_presented_in(0.5 * scale);
    EXPECT_EQ(frames_presented_in(2.0), 0) << "once the sound has ended";

    shell_context_close();
    Mix_CloseAudio();
    SDL_Quit();
    XCloseDisplay(d);
    board_payload = nullptr;
}

} // namespace
