// Test support, files: a private working directory, whole-file reads and
// writes, and the two ways a test makes the disk refuse writes.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// Creates a fresh directory under /tmp and makes it the working directory
// (so the program's files land in the base directory "."); removes it again.
struct TempDir {
    std::string path;
    std::string old_cwd;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);                     // "" when missing
std::vector<uint8_t> read_bytes(const std::string &path);           // empty when missing
void write_file(const std::string &path, const std::string &bytes); // replaces the file
// Occurrences of needle in text, overlapping ones included.
int count_of(const std::string &text, const std::string &needle);

// Writes by this process past `bytes` into any file fail with EFBIG while the
// object lives (RLIMIT_FSIZE, SIGXFSZ ignored): a full disk that binds root
// too. The limit and the signal's handling are restored afterwards.
struct FileSizeLimit {
    explicit FileSizeLimit(long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok;
    long saved_soft;
    void (*saved_handler)(int);
};

// Marks a directory immutable (the filesystem's "i" attribute) while the
// object lives: no entry can be created, renamed or removed in it, by root
// either, who ignores permission bits; the files already in it stay writable.
// ok is false where the filesystem or the process cannot set the attribute.
struct ImmutableDir {
    explicit ImmutableDir(const std::string &path);
    ~ImmutableDir();
    ImmutableDir(const ImmutableDir &) = delete;
    ImmutableDir &operator=(const ImmutableDir &) = delete;
    std::string path;
    bool ok;
};
