// Tests for the shell's file and request side: the session file, the
// one-time shutdown sequence and screenshot requests.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/input/input.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>
#include <vostrel/shell/shell.h>
#include "support.h"
#include <vostrel/shell/shell_internal.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char SESSION[] = "vostrel soundboard.session";
const char LOG_NAME[] = "vostrel soundboard_log.txt";

std::vector<uint8_t> session_bytes(int32_t word, const std::string &payload) {
    // One allocation of the final size: growing a 4-byte vector trips a false
    // -Warray-bounds in GCC 12 at -O2.
    std::vector<uint8_t> b(4 + payload.size());
    memcpy(b.data(), &word, 4);
    if (!payload.empty()) memcpy(b.data() + 4, payload.data(), payload.size());
    return b;
}

struct SessionTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        set_base_dir(".");
        log_reset_for_test();
    }
    void TearDown() override { log_reset_for_test(); }
    std::string path() const { return dir.file(SESSION); }
};

TEST_F(SessionTest, FileIsLengthWordThenPayload) {
    const char payload[] = "abc\0def"; // binary payloads keep their zero bytes
    ASSERT_EQ(session_write(payload, 7), 1);
    EXPECT_EQ(read_bytes(path()), session_bytes(7, std::string(payload, 7)));
    EXPECT_EQ(session_stored_size(), 7);
    EXPECT_TRUE(file_exists(path())) << "asking the size does not consume the file";

    char buf[7] = {};
    ASSERT_EQ(session_read(buf, 7), 1);
    EXPECT_EQ(memcmp(buf, payload, 7), 0);
    EXPECT_FALSE(file_exists(path())) << "a session is consumed by reading it";
    EXPECT_EQ(session_read(buf, 7), 0);
    EXPECT_EQ(session_stored_size(), 0);
}

TEST_F(SessionTest, MismatchOrShortPayloadIsDeletedAndLeavesTheBufferAlone) {
    ASSERT_EQ(session_write("abc", 3), 1);
    char buf[8];
    memset(buf, 'z', sizeof buf);
    EXPECT_EQ(session_read(buf, 4), 0);
    EXPECT_FALSE(file_exists(path())) << "deleted even though the length did not match";
    for (char c : buf)
        EXPECT_EQ(c, 'z');

    // A longer stored session than expected is not cut down to fit.
    ASSERT_EQ(session_write("abcdefg", 7), 1);
    EXPECT_EQ(session_read(buf, 3), 0);
    EXPECT_FALSE(file_exists(path()));
    for (char c : buf)
        EXPECT_EQ(c, 'z');

    // Length word promises 10 bytes, only 4 follow: no size a caller could
    // allocate for and then read.
    std::vector<uint8_t> short_file = session_bytes(10, "wxyz");
    write_file(path(), std::string(short_file.begin(), short_file.end()));
    EXPECT_EQ(session_stored_size(), 0);
    EXPECT_EQ(session_read(buf, 10), 0);
    EXPECT_FALSE(file_exists(path()));
    for (char c : buf)
        EXPECT_EQ(c, 'z');

    // A negative word, or one of two gigabytes before four bytes: no size.
    for (int32_t word : {-4, INT32_MAX}) {
        std::vector<uint8_t> lie = session_bytes(word, "wxyz");
        write_file(path(), std::string(lie.begin(), lie.end()));
        EXPECT_EQ(session_stored_size(), 0) << word;
    }
    // A longer file than its word says still has the word's bytes.
    std::vector<uint8_t> tail = session_bytes(2, "wxyz");
    write_file(path(), std::string(tail.begin(), tail.end()));
    EXPECT_EQ(session_stored_size(), 2);

    // Fewer than four bytes: no size, nothing read, still consumed.
    write_file(path(), std::string("\x03\x00", 2));
    EXPECT_EQ(session_stored_size(), 0);
    EXPECT_EQ(session_read(buf, 3), 0);
    EXPECT_FALSE(file_exists(path()));
    for (char c : buf)
        EXPECT_EQ(c, 'z');
}

// A FIFO in the session file's place is no session: asking its size or
// reading it must not wait for a writer (a child process, which a watchdog
// ends, asks), and it is left where it is.
TEST_F(SessionTest, FifoInPlaceOfTheFileIsNoSession) {
    ASSERT_EQ(mkfifo(path().c_str(), 0644), 0);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);
        char buf[4];
        _exit(session_stored_size() == 0 && session_read(buf, 4) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st;
    ASSERT_EQ(lstat(path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SessionTest, ZeroLengthPayloadReportsFailureButLeavesTheWord) {
    EXPECT_EQ(session_write("", 0), 0);
    EXPECT_EQ(read_bytes(path()), session_bytes(0, ""));
    char buf[1] = {'k'};
    EXPECT_EQ(session_read(buf, 0), 0);
    EXPECT_EQ(buf[0], 'k');
    EXPECT_FALSE(file_exists(path()));
}

TEST_F(SessionTest, FailedWriteKeepsTheOldSession) {
    ASSERT_EQ(session_write("old!", 4), 1);
    std::vector<uint8_t> before = read_bytes(path());
    // A disk that takes no more than a kilobyte (a file-size limit, which
    // binds root too): the new session cannot be written whole.
    const std::string big(4096, 'n');
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(session_write(big.data(), static_cast<int>(big.size())), 0);
    }
    EXPECT_EQ(read_bytes(path()), before);
    // With a directory in the way of the new file the session is written in
    // place; if that fails as well the old bytes are put back.
    std::string blocker = path() + ".tmp";
    ASSERT_EQ(mkdir(blocker.c_str(), 0755), 0);
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(session_write(big.data(), static_cast<int>(big.size())), 0);
    }
    EXPECT_EQ(read_bytes(path()), before);
    ASSERT_EQ(session_write("in place", 8), 1);
    EXPECT_EQ(read_bytes(path()), session_bytes(8, "in place"));
    rmdir(blocker.c_str());

    // The session path itself being a directory: the write fails, no debris.
    remove(path().c_str());
    ASSERT_EQ(mkdir(path().c_str(), 0755), 0);
    EXPECT_EQ(session_write("brand new", 9), 0);
    EXPECT_FALSE(file_exists(blocker));
    rmdir(path().c_str());

    // A base directory too long for any path writes nothing anywhere: in
    // particular not ".tmp" in the working directory, which is kept as it is.
    write_file(dir.file(".tmp"), "not the session\n");
    set_base_dir(std::string(505, 'd').c_str());
    EXPECT_EQ(session_write("x", 1), 0);
    set_base_dir(".");
    EXPECT_EQ(read_file(dir.file(".tmp")), "not the session\n");
    EXPECT_FALSE(file_exists(path()));
}

// A session file that is a link to one kept elsewhere stays a link, and the
// file keeps its mode; the session goes to the file the link names.
TEST_F(SessionTest, WriteFollowsTheLinkAndKeepsTheMode) {
    ASSERT_EQ(mkdir(dir.file("keep").c_str(), 0755), 0);
    const std::string real = dir.file("keep/state.bin");
    write_file(real, "");
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    ASSERT_EQ(symlink(real.c_str(), path().c_str()), 0);
    ASSERT_EQ(session_write("abc", 3), 1);
    struct stat st;
    ASSERT_EQ(lstat(path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_bytes(real), session_bytes(3, "abc"));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(SessionTest, ShutdownRunsOnceAndQuitRequestOnlyWhenAsked) {
    shutdown_done = 0;
    quit_requested = 0;
    log_threshold = LOG_INFO;

    shell_save_session();
    EXPECT_FALSE(file_exists(path())) << "this application keeps no session";

    int32_t v = 5;
    options_set("options", "volume", OPTION_INT_ALT, &v);
    shell_quit(0, 0);
    EXPECT_EQ(shutdown_done, 1);
    EXPECT_EQ(quit_requested, 0) << "no exit request, no quit";
    EXPECT_NE(read_file(dir.file("vostrel soundboard.conf")).find("volume\t2\t5"),
              std::string::npos)
        << "changed options are saved by the shutdown";
    std::string log = read_file(dir.file(LOG_NAME));

    // A second call must not save, log or free again; it only requests the quit.
    remove(dir.file("vostrel soundboard.conf").c_str());
    options_set("options", "volume", OPTION_INT_ALT, &v); // registry was freed: changed again
    ASSERT_EQ(options_changed, 1);
    shell_quit(1, 3);
    EXPECT_EQ(quit_requested, 1);
    EXPECT_FALSE(file_exists(dir.file("vostrel soundboard.conf"))) << "shutdown ran twice";
    EXPECT_EQ(read_file(dir.file(LOG_NAME)), log);

    // The log of the one shutdown: "Saving session" then "Application quitting", once each, last.
    size_t saving = log.find("] Saving session\n");
    size_t quitting = log.find("] Application quitting\n");
    ASSERT_NE(saving, std::string::npos) << log;
    ASSERT_NE(quitting, std::string::npos) << log;
    EXPECT_LT(saving, quitting);
    EXPECT_EQ(log.find("] Application quitting\n", quitting + 1), std::string::npos);
    EXPECT_EQ(log.size(), quitting + strlen("] Application quitting\n"));

    options_free();
    options_changed = 0;
    shutdown_done = 0;
    quit_requested = 0;
}

TEST_F(SessionTest, ScreenshotRequestIsABoundedCopy) {
    log_threshold = LOG_INFO;
    shell_request_screenshot("shot.png");
    EXPECT_STREQ(screenshot_request, "shot.png");

    std::string huge(600, 'n');
    shell_request_screenshot(huge.c_str());
    EXPECT_EQ(strlen(screenshot_request), 511u);
    EXPECT_EQ(std::string(screenshot_request), huge.substr(0, 511));
    screenshot_request[0] = 0;

    log_close();
    std::string log = read_file(dir.file(LOG_NAME));
    size_t first = log.find("INFO     [");
    EXPECT_EQ(first, 0u) << log;
    EXPECT_NE(log.find("] Taking screenshot\n"), std::string::npos);
    EXPECT_NE(log.find("] Taking screenshot\n", log.find("] Taking screenshot\n") + 1),
              std::string::npos)
        << "once per request";
}

} // namespace
