// Diagnostics: the levelled log file, its read-back, the base directory of the
// program's own files, replacing one of those files whole, and time formatting.
//
// The log file is created (truncated) by the first message that passes the
// threshold and never reopened after log_close. Writers hold the log's
// read-write lock exclusively; log_read/log_size hold it shared.
//
// file_replace(path, write, context): write(stream, context) produces the new
// contents (in memory); the file path names, after following its symbolic
// links, is then replaced by them. The replacement is written beside that
// file as its name + ".tmp", given the old file's mode, synced, renamed over
// it, and the directory synced: the link stays a link. Where no replacement
// can be created beside it (a directory that takes no new entry, something in
// the way of the ".tmp" name), the file is overwritten in place and, if that
// fails, its old bytes are written back. 1 once the new contents are on disk;
// 0 leaves the old file byte for byte: a writer that returned 0, a path that
// is not a regular file (or a link to one), or a failed write. The one
// exception: a directory that fails to sync after the rename reports 0 with
// the new contents already in place. An empty path (a path that did not fit
// its buffer) is refused before anything is opened.
#pragma once

// Catalogue layout, one declaration a line: kept as written by clang-format.
// clang-format off

#include <stddef.h>
#include <stdio.h>
#include <time.h>

enum LogLevel { LOG_CRITICAL = 0, LOG_ERROR = 1, LOG_WARNING = 2, LOG_INFO = 3, LOG_DEBUG = 4 };

extern const char APP_NAME[];       // defined by the application ("Hello"): window caption, About credit and file-name stem

// Log
unsigned log_get_threshold(void);                       // messages with level <= threshold are written; always 0..4 (--log-level, the debug gesture)
void log_printf(unsigned level, const char *fmt, ...)   // one line or nothing; never reopens after log_close
    __attribute__((format(printf, 2, 3)));
void log_always(unsigned level, const char *fmt, ...)   // the same line whatever the threshold (levels 0..4; others dropped): for what a user must find in any log
    __attribute__((format(printf, 2, 3)));
void log_close(void);                                   // closes the stream; later messages are dropped
void log_read(char *buffer, int length, long offset);   // up to length bytes from offset, not terminated; "" (one 0 byte) when closed; nothing when length <= 0
int log_size(void);                                     // file length in bytes; 0 when not open

// Files
int app_file_name(const char *suffix, int dashes, char *out, size_t size); // lower-cased APP_NAME + suffix (spaces as '-' if dashes) into size bytes, always terminated; 1 if it fit whole
void get_base_dir(char *buffer, size_t size);    // bounded copy of the base directory (initially ".")
void set_base_dir(const char *dir);              // replaces it (cut at 511 characters)
int base_dir_use_state_home(const char *folder); // base directory = $XDG_STATE_HOME/folder ($HOME/.local/state/folder when unset or relative), created with its parents; 1 on success, base directory untouched on failure
FILE *file_open_read(const char *path);          // a regular file (links followed) opened for reading; null for anything else (a FIFO would block start-up, a device never end) or on failure
int file_replace(const char *path, int (*write)(FILE *stream, const void *context), const void *context); // whole-file replace through links, mode kept, synced; see above

// Time
void format_time(time_t t, const char *format, char *buffer); // localtime + strftime, at most 32 bytes
void format_date(char *buffer);                                // now as "%d.%b.%Y", at most 32 bytes
// clang-format on
