// Diagnostics: opening one of the program's own files for reading, and
// replacing one whole. See diag.h for the contracts.
//
// The new contents are produced in memory first, so a writer that fails
// touches no file. A symbolic link is followed to the file it names, and the
// replacement is made beside that file and renamed over it: the link stays a
// link, and the replacement takes the old file's mode (and, where allowed,
// owner) before it is renamed. The file and then its directory are synced
// before success is reported. A directory that takes no new entry (or a name
// in the way of the replacement) leaves one way: writing the file in place,
// with its old bytes kept in memory and put back if the write fails.
#include <vostrel/diag/diag.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

constexpr int MAX_LINK_HOPS = 40; // as the kernel's own limit on a path's links

namespace {

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    // Closes now, so the result of close counts (a deferred write error shows here).
    bool close_now() {
        int f = fd;
        fd = -1;
        return close(f) == 0;
    }
};

// The file a path finally names, following every symbolic link in the last
// component; a relative link is taken from the link's own directory. A path
// (or link) to nothing names the file to create. false on a loop or an
// unreadable link.
bool resolve_links(const char *path, std::string *target) {
    std::string p = path;
    for (int hops = 0; hops <= MAX_LINK_HOPS; hops++) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            *target = p;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
        ssize_t n = readlink(p.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
        std::string to(link.data(), static_cast<size_t>(n));
        size_t slash = p.rfind('/');
        if (to[0] != '/' && slash != std::string::npos) to = p.substr(0, slash + 1) + to;
        p = to;
    }
    return false;
}

std::string directory_of(const std::string &file) {
    size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return file.substr(0, slash);
}

// A directory's entries reach the disk. Filesystems that cannot sync a
// directory (EINVAL) keep their entries some other way.
bool sync_directory(const std::string &file) {
    Fd dir(open(directory_of(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0) return false;
    return fsync(dir.fd) == 0 || errno == EINVAL;
}

bool write_at(int fd, const char *bytes, size_t length, off_t offset) {
    while (length > 0) {
        ssize_t n = pwrite(fd, bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool read_all(int fd, std::vector<char> *bytes) {
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size < 0) return false;
    bytes->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t n = pread(fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break; // shrank meanwhile: what is there is the old file
        done += static_cast<size_t>(n);
    }
    bytes->resize(done);
    return true;
}

bool write_whole(int fd, const char *bytes, size_t length) {
    return write_at(fd, bytes, length, 0) && ftruncate(fd, static_cast<off_t>(length)) == 0 &&
           fsync(fd) == 0;
}

// No replacement could be made beside the target: overwrite it where it is.
// A target that does not exist yet is created and, on failure, removed again;
// an existing one is read first, and its old bytes are written back if the
// new ones do not go in whole.
int write_in_place(const std::string &target, bool exists, const char *bytes, size_t length) {
    if (!exists) {
        Fd fd(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.fd < 0) return 0;
        bool ok = write_whole(fd.fd, bytes, length);
        ok = fd.close_now() && ok;
        ok = ok && sync_directory(target);
        if (!ok) unlink(target.c_str());
        return ok ? 1 : 0;
    }
    Fd fd(open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.fd < 0) return 0;
    std::vector<char> old;
    if (!read_all(fd.fd, &old)) return 0;
    // Synced whole, the new bytes are the file's: closing adds nothing.
    if (write_whole(fd.fd, bytes, length)) return 1;
    write_whole(fd.fd, old.data(), old.size());
    return 0;
}

} // namespace

FILE *file_open_read(const char *path) {
    // The path is looked at before it is opened: opening some devices acts.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    // Not blocking while opening, in case a FIFO took the file's place meanwhile.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE *f = fdopen(fd, "rb");
    if (!f) close(fd);
    return f;
}

int file_replace(const char *path, int (*write)(FILE *stream, const void *context),
                 const void *context) {
    if (!path[0]) return 0;

    char *raw = nullptr;
    size_t length = 0;
    FILE *memory = open_memstream(&raw, &length);
    if (!memory) return 0;
    bool written = write(memory, context) != 0;
    written = fclose(memory) == 0 && written;
    std::unique_ptr<char, decltype(&free)> bytes(raw, free);
    if (!written) return 0;

    std::string target;
    if (!resolve_links(path, &target)) return 0;
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return 0;
    if (exists && !S_ISREG(st.st_mode)) return 0;

    std::string temp = target + ".tmp";
    Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.fd < 0) return write_in_place(target, exists, bytes.get(), length);
    bool ok = true;
    if (exists) {
        // The owner first: changing it may clear set-id bits that the mode then
        // restores. Only the superuser may give a file away; the mode is kept
        // either way.
        int owned = fchown(fd.fd, st.st_uid, st.st_gid);
        (void)owned;
        ok = fchmod(fd.fd, st.st_mode & 07777) == 0;
    }
    ok = ok && write_whole(fd.fd, bytes.get(), length);
    ok = fd.close_now() && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return 0;
    }
    return sync_directory(target) ? 1 : 0;
}
