// Test support, the one way a test drives a program from outside: start it,
// wait until it has started (its log line), find its window, capture it, tap
// and type into it through xdotool, hear it through SDL's disk audio driver,
// stop it. Links GoogleTest: a failed xdotool command is a test failure.
#pragma once

#include "support_files.h"
#include "support_process.h"

#include <vostrel/audio/audio.h>

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <sys/types.h>
#include <vector>

// The line every program on the framework logs once its start-up is done.
extern const char STARTED_LINE[];

// Polls the file at `path` every 50 ms for up to `seconds` times wait_scale()
// until it holds `text`: true once it does. Gives up early once `pid` (when
// above 0) has ended with the text still missing.
bool wait_for_log_line(const std::string &path, const std::string &text, int seconds,
                       pid_t pid = -1);

// The X window titled `title` (id in decimal), waited for up to timeout_ms
// while the child `pid` runs; "" if it never showed.
std::string program_window(pid_t pid, int timeout_ms, const char *title = "Vostrel Soundboard");

// A program run as a child process in `folder` and watched from outside.
// Set what to run before start; the object stops the program when it goes.
struct TestProgram {
    std::string binary;                                  // "": the program under test
    std::string title = "Vostrel Soundboard";            // its window's title
    std::string folder;                                  // "": the working directory at start
    std::string log_name = "vostrel soundboard_log.txt"; // its log, in folder
    pid_t pid = -1;
    std::string window; // the X window's id in decimal, "" until found

    TestProgram() = default;
    ~TestProgram();
    TestProgram(const TestProgram &) = delete;
    TestProgram &operator=(const TestProgram &) = delete;

    // Starts it in folder (program_start_binary's arguments); false if the fork failed.
    bool start(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
               const std::string &stderr_path = "");
    // The environment that sends its sound to folder/audio.raw (SDL's disk
    // driver), for start's env: a chunk of `chunk_frames` (the mixer's in
    // the mode the program runs in) written every 20 ms per
    // SOUND_CHUNK_FRAMES, a little faster than it plays. A longer delay than
    // the chunk's length makes every wait for frames longer by that factor.
    std::vector<std::string> disk_audio(int chunk_frames = SOUND_CHUNK_FRAMES) const;
    // Waits up to timeout_ms, while it runs, for its window: true once found.
    bool find_window(int timeout_ms = 10000);
    // wait_for_log_line for STARTED_LINE in its log.
    bool wait_started(int seconds = 10);
    // Waits up to 10 s times wait_scale() for a capture that is not all black
    // (under emulation llvmpipe takes seconds to generate its code).
    bool wait_drawn();
    // start, then its window, the start-up line, the first frame drawn and
    // settle_ms times wait_scale() more: true if the window was found and
    // the start-up line written (start it with --log-level 3 or more).
    bool start_shown(const std::vector<std::string> &args, const std::vector<std::string> &env,
                     int settle_ms, int window_timeout_ms = 10000);

    bool running() const;
    std::string log_path() const;
    std::string log() const; // "" while there is none

    // The window's top-left pixels as 0xRRGGBB, row 0 the top row; empty if
    // the window has gone.
    std::vector<uint32_t> capture(int width = 320, int height = 480) const;

    // `xdotool cmd`; a test failure if it fails.
    void xdo(const std::string &cmd) const;
    // The pointer to window pixel (x, y).
    void move(int x, int y) const;
    void press(int x, int y) const; // move, button 1 down
    void release() const;           // button 1 up
    // One xdotool run: move, button 1 down, hold_ms times wait_scale(), up.
    void tap(int x, int y, int hold_ms = 60) const;
    // A key (xdotool's name) sent to the window.
    void key(const char *name) const;

    // Disk audio: every sample written so far from frame `from_frame` on
    // (16-bit stereo interleaved), and the frames written, from the file's
    // size.
    std::vector<int16_t> audio(size_t from_frame = 0) const;
    size_t audio_frames() const;
    // Waits up to 5 s times wait_scale() for `frames` frames of output.
    void wait_audio(size_t frames) const;
    // Waits, as the output grows, for the clip's start (find_clip) within
    // `span` frames of output from frame `from`: its frame as soon as it is
    // there, or -1 once `span` frames (or 5 s times wait_scale()) passed
    // without it.
    long wait_for_clip(const std::vector<int16_t> &clip, size_t from, size_t span) const;

    // SIGTERM, then program_wait(seconds): its exit status, -1 if not running
    // or it did not end in time (it is then killed).
    int stop(int seconds = 10);
};
