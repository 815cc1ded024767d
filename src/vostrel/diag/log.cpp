// Diagnostics: the log file, the base directory and time formatting.
//
// The file is opened lazily by the first message that passes the threshold
// and is truncated then, so it holds the current run only; a run that logs
// nothing at or under the threshold leaves an old log untouched. The lock
// exists from program start, so a message logged before log_init (a failed
// SDL_Init with a high --log-level) is as safe as any other. Every line is
// flushed as it is written.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>

#include <vostrel/threads/threads.h>

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

constexpr int BASE_DIR_SIZE = 512;
constexpr int LOG_PATH_SIZE = 1024;
constexpr int TIME_STAMP_SIZE = 128;

unsigned int log_threshold = LOG_WARNING;

static const char *const level_names[5] = {"CRITICAL", "ERROR   ", "WARNING ", "INFO    ",
                                           "DEBUG   "};

static struct {
    FILE *stream;
    int open_attempted;
    char time_stamp[TIME_STAMP_SIZE];
    char base_dir[BASE_DIR_SIZE] = ".";
} log_state;

static RwLockHandle log_lock() {
    static RwLockHandle lock = [] {
        RwLockHandle h = nullptr;
        rwlock_create(&h);
        return h;
    }();
    return lock;
}

void log_init(void) { (void)log_lock(); }

// Opens "<base dir>/<lower-cased app name>_log.txt" for writing and reading.
// Any failure (including a path that does not fit) is final for the run.
static void log_open(void) {
    log_state.open_attempted = 1;
    char name[LOG_PATH_SIZE];
    if (!app_file_name("_log.txt", 0, name, sizeof name)) return;
    char path[LOG_PATH_SIZE];
    int n = snprintf(path, sizeof path, "%s/%s", log_state.base_dir, name);
    if (n < 0 || n >= static_cast<int>(sizeof path)) return;
    log_state.stream = fopen(path, "w+");
}

// One line at that level; the threshold is the caller's to check.
static void log_line(unsigned level, const char *fmt, va_list args) {
    if (level > LOG_DEBUG) return;
    if (!log_state.stream) {
        if (log_state.open_attempted) return;
        log_open();
        if (!log_state.stream) return;
    }
    format_time(time(nullptr), "[%Y.%m.%d|%H:%M:%S]", log_state.time_stamp);
    RwLockHandle lock = log_lock();
    rwlock_write_lock(&lock);
    fprintf(log_state.stream, "%s %s ", level_names[level], log_state.time_stamp);
    vfprintf(log_state.stream, fmt, args);
    fputc('\n', log_state.stream);
    // Each line reaches the file as it is written: a kill or a crash keeps
    // everything up to its cause, and the log can be watched while it runs.
    fflush(log_state.stream);
    rwlock_write_unlock(&lock);
}

void log_printf(unsigned level, const char *fmt, ...) {
    // The threshold is a plain global; a level past the name table never
    // passes, whatever was stored in it.
    if (level > log_threshold) return;
    va_list args;
    va_start(args, fmt);
    log_line(level, fmt, args);
    va_end(args);
}

void log_always(unsigned level, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    log_line(level, fmt, args);
    va_end(args);
}

void log_close(void) {
    if (!log_state.stream) return;
    fclose(log_state.stream);
    log_state.stream = nullptr;
}

void log_read(char *buffer, int length, long offset) {
    if (length <= 0) return;
    if (!log_state.stream) {
        buffer[0] = 0;
        return;
    }
    RwLockHandle lock = log_lock();
    rwlock_read_lock(&lock);
    fseek(log_state.stream, offset, SEEK_SET);
    size_t got = fread(buffer, 1, static_cast<size_t>(length), log_state.stream);
    (void)got;
    fseek(log_state.stream, 0, SEEK_END);
    rwlock_read_unlock(&lock);
}

int log_size(void) {
    if (!log_state.stream) return 0;
    RwLockHandle lock = log_lock();
    rwlock_read_lock(&lock);
    fseek(log_state.stream, 0, SEEK_END);
    long size = ftell(log_state.stream);
    rwlock_read_unlock(&lock);
    return static_cast<int>(size);
}

void log_reset_for_test(void) {
    log_close();
    log_state.open_attempted = 0;
    log_threshold = LOG_WARNING;
}

void get_base_dir(char *buffer, size_t size) {
    if (size == 0) return;
    snprintf(buffer, size, "%s", log_state.base_dir);
}

void set_base_dir(const char *dir) { snprintf(log_state.base_dir, BASE_DIR_SIZE, "%s", dir); }

void format_time(time_t t, const char *format, char *buffer) {
    struct tm local;
    localtime_r(&t, &local);
    if (strftime(buffer, 32, format, &local) == 0) buffer[0] = 0;
}

void format_date(char *buffer) { format_time(time(nullptr), "%d.%b.%Y", buffer); }

unsigned log_get_threshold(void) { return log_threshold; }
