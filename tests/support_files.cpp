// Test support, files; see support_files.h.
#include "support_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

TempDir::TempDir() {
    char tmpl[] = "/tmp/vostrel-test-XXXXXX";
    char *dir = mkdtemp(tmpl);
    path = dir ? dir : "/tmp";
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) old_cwd = cwd;
    if (chdir(path.c_str()) != 0) perror("chdir");
}

TempDir::~TempDir() {
    if (!old_cwd.empty() && chdir(old_cwd.c_str()) != 0) perror("chdir");
    std::string cmd = "rm -rf '" + path + "'";
    if (path.rfind("/tmp/vostrel-test-", 0) == 0 && system(cmd.c_str()) != 0) perror("rm");
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

std::string read_file(const std::string &path) {
    std::vector<uint8_t> b = read_bytes(path);
    return std::string(b.begin(), b.end());
}

void write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

int count_of(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

FileSizeLimit::FileSizeLimit(long bytes) {
    saved_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    ok = getrlimit(RLIMIT_FSIZE, &limit) == 0;
    saved_soft = ok ? static_cast<long>(limit.rlim_cur) : 0;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ok = ok && setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = static_cast<rlim_t>(saved_soft);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    signal(SIGXFSZ, saved_handler);
}

static bool set_immutable(const std::string &path, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

ImmutableDir::ImmutableDir(const std::string &p) : path(p), ok(set_immutable(p, true)) {}

ImmutableDir::~ImmutableDir() {
    if (ok) set_immutable(path, false);
}
