// Test support, the shell turn by turn; see support_shell.h.
#include "support_shell.h"

#include "support_gl.h"
#include "support_process.h"

#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/shell/shell_internal.h>

#include <SDL.h>
#include <SDL_mixer.h>

std::string log_contents() {
    int size = log_size();
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0) log_read(text.data(), size, 0);
    return text;
}

std::vector<std::string> sounds_played;

static int record_play(SoundRecord *rec, const float *, int) {
    sounds_played.push_back(rec == &sound_click    ? "click"
                            : rec == &sound_bubble ? "bubble"
                                                   : "other");
    return 1;
}

SoundBackend sound_recording_begin() {
    SoundBackend saved = sound_backend;
    sound_backend = SoundBackend{};
    sound_backend.play = record_play;
    return saved;
}

void sound_recording_end(const SoundBackend &saved) { sound_backend = saved; }

float fake_now;
float fake_clock(void) { return fake_now; }

bool shell_test_begin(void (*sleeper)(int milliseconds)) {
    log_threshold = LOG_INFO;
    if (!sdl_init_retrying(SDL_INIT_VIDEO | SDL_INIT_AUDIO)) return false;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return false;
    shell_set_clock(fake_clock);
    shell_set_sleep(sleeper);
    return true;
}

void shell_test_end() {
    shell_set_clock(nullptr);
    shell_set_sleep(nullptr);
    shell_quit(0, 0);
    Mix_CloseAudio();
    SDL_Quit();
}

TouchEvent touch_at(float x, float y) {
    TouchEvent t = {};
    t.count = 1;
    t.points[0] = {x, y};
    return t;
}

int frames_presented_in(double seconds) {
    const int before = shell_frames_drawn();
    const double end = seconds_now() + seconds;
    while (seconds_now() < end)
        shell_turn();
    return shell_frames_drawn() - before;
}

bool shell_open_power_saving() {
    if (!sdl_init_retrying(SDL_INIT_VIDEO | SDL_INIT_AUDIO)) return false;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return false;
    char program[] = "vostrel-soundboard", option[] = "--power-save";
    char *argv[] = {program, option};
    shell_parse_command_line(2, argv);
    if (shell_power_save() != 1) return false;
    shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
    if (quit_requested) return false;
    last_update_time = shell_seconds();
    return true;
}
