// Application shell: the command line, the initialisation chain, the one-time
// shutdown sequence, session files and screenshot requests.
//
// Session file: a native-endian 32-bit payload length, then the payload. It
// is written through file_replace, so a failed write never destroys the
// previous session; it is deleted by the first read.
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <vostrel/anim/anim_internal.h>
#include <vostrel/assets/assets.h>
#include <vostrel/audio/audio.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/math/maths.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/text/text_internal.h>
#include <vostrel/ui/ui_internal.h>
#include <vostrel/input/input_internal.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

constexpr int PATH_SIZE = 512;

int shutdown_done;
char screenshot_request[512];

void shell_parse_command_line(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const int has_value = i + 1 < argc;
        if (has_value && strcmp(argv[i], "--log-level") == 0) {
            int v = atoi(argv[++i]);
            log_threshold = static_cast<unsigned>(v < 0 ? 0 : v > 4 ? 4 : v);
        } else if (has_value && strcmp(argv[i], "--debug-level") == 0) {
            debug_level = static_cast<uint8_t>(atoi(argv[++i]) & 0xFF);
        } else if (has_value && strcmp(argv[i], "--gl") == 0) {
            const char *path = argv[++i];
            shell_request_context(strcmp(path, "es") == 0        ? CONTEXT_ES
                                  : strcmp(path, "desktop") == 0 ? CONTEXT_DESKTOP
                                                                 : CONTEXT_AUTO);
        } else if (strcmp(argv[i], "--fullscreen") == 0) {
            shell_request_fullscreen(0);
        } else if (has_value && strcmp(argv[i], "--latency") == 0) {
            const char *mode = argv[++i];
            if (strcmp(mode, "low") == 0)
                shell_set_latency(SHELL_LATENCY_LOW);
            else if (strcmp(mode, "normal") == 0)
                shell_set_latency(SHELL_LATENCY_NORMAL);
            else
                log_printf(LOG_WARNING, "--latency %s: not low or normal; ignored", mode);
        } else if (has_value && strcmp(argv[i], "--audio-device") == 0) {
            shell_set_audio_device(argv[++i]);
        } else if (strcmp(argv[i], "--kiosk") == 0) {
            shell_request_fullscreen(1);
            shell_set_power_save(1);
            shell_set_latency_default(SHELL_LATENCY_LOW);
        } else if (strcmp(argv[i], "--power-save") == 0) {
            shell_set_power_save(1);
        } else if (strcmp(argv[i], "--no-picture-cache") == 0) {
            picture_cache_set_enabled(0);
        }
    }
}

void shell_init(const Rect *window) {
    random_seed();
    log_init();
    options_load();
    sound_init();
    menu_startup_hook();
    image_codec_init();
    gl_init();
    app_gl_ready();
    font_init();
    keyboard_layout_init();
    set_screen_rect(window);
    app_init();
    menu_init();
    log_printf(LOG_INFO, "Initialization Complete");
    app_init_done();
}

void shell_quit(int request_exit, int code) {
    if (!shutdown_done) {
        options_save();
        log_printf(LOG_INFO, "Application quitting");
        tween_shutdown();
        app_shutdown();
        image_codec_shutdown();
        notice_shutdown();
        options_free();
        sound_shutdown();
        menu_shutdown_hook();
        log_close();
        shell_context_close();
        shutdown_done = 1;
    }
    if (request_exit) shell_request_quit(code);
}

void shell_save_session(void) {
    log_printf(LOG_INFO, "Saving session");
    tween_finish_all();
    app_save_session();
}

void shell_load_session(void) {
    log_printf(LOG_INFO, "Trying to load session");
    if (!app_load_session()) return;
    log_printf(LOG_INFO, "Session loaded.");
    tween_finish_all();
    menu_close();
    app_session_loaded();
}

struct SessionPayload {
    const void *data;
    int length;
};

// The length word, then the payload as one block. A payload of zero (or
// negative) length leaves a file holding only the length word.
static int write_session(FILE *f, const void *context) {
    const SessionPayload *p = static_cast<const SessionPayload *>(context);
    int32_t word = p->length;
    if (fwrite(&word, sizeof word, 1, f) != 1) return 0;
    return p->length <= 0 || fwrite(p->data, static_cast<size_t>(p->length), 1, f) == 1;
}

// A zero-length payload is stored but reports 0, as fwrite of zero bytes does.
int session_write(const void *data, int length) {
    char path[PATH_SIZE];
    options_file_path(".session", path);
    SessionPayload payload = {data, length};
    return file_replace(path, write_session, &payload) && length > 0 ? 1 : 0;
}

// Bytes after the length word, or -1 if the file cannot say.
static long payload_bytes(FILE *f) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size >= 4 ? static_cast<long>(st.st_size - 4) : -1;
}

// The length word is checked against the caller's size and against the bytes
// the file holds before anything is allocated for it.
int session_read(void *buffer, int length) {
    char path[PATH_SIZE];
    options_file_path(".session", path);
    FILE *f = file_open_read(path);
    if (!f) return 0;
    int32_t word = 0;
    int ok = 0;
    if (fread(&word, sizeof word, 1, f) == 1 && word == length && length > 0 &&
        payload_bytes(f) >= length) {
        void *block = malloc(static_cast<size_t>(length));
        if (block && fread(block, static_cast<size_t>(length), 1, f) == 1) {
            memcpy(buffer, block, static_cast<size_t>(length));
            ok = 1;
        }
        free(block);
    }
    fclose(f);
    remove(path);
    return ok;
}

// A word the file's own bytes cannot back (negative, or more than follows)
// is no size: a caller would allocate for it and read nothing.
int session_stored_size(void) {
    char path[PATH_SIZE];
    options_file_path(".session", path);
    FILE *f = file_open_read(path);
    if (!f) return 0;
    int32_t word = 0;
    if (fread(&word, sizeof word, 1, f) != 1 || word < 0 || payload_bytes(f) < word) word = 0;
    fclose(f);
    return word;
}

void shell_request_screenshot(const char *name) {
    log_printf(LOG_INFO, "Taking screenshot");
    snprintf(screenshot_request, sizeof screenshot_request, "%s", name);
}
