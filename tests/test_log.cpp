// Tests for the log file: line format, threshold, lazy truncating open, close,
// read-back while open, the base directory and the time helpers.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";

// Each test starts with a closed, never-opened log in a fresh directory.
struct LogTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        log_reset_for_test();
        set_base_dir(".");
        log_init();
    }
    void TearDown() override {
        log_reset_for_test();
        set_base_dir(".");
    }
    std::string log_text() const { return read_file(dir.file(LOG_NAME)); }
};

std::string stamp_of(time_t t) {
    char buf[64];
    format_time(t, "[%Y.%m.%d|%H:%M:%S]", buf);
    return buf;
}

TEST_F(LogTest, LinesCarryPaddedLevelNameAndLocalTimeStamp) {
    log_threshold = LOG_DEBUG;
    time_t before = time(nullptr);
    log_printf(LOG_CRITICAL, "c %d", 1);
    log_printf(LOG_ERROR, "e %s", "two");
    log_printf(LOG_WARNING, "w");
    log_printf(LOG_INFO, "Initialization Complete");
    log_printf(LOG_DEBUG, "d %.1f", 2.5);
    time_t after = time(nullptr);
    log_close();

    std::string text = log_text();
    std::regex line_re(
        R"(^(CRITICAL|ERROR   |WARNING |INFO    |DEBUG   ) (\[\d{4}\.\d{2}\.\d{2}\|\d{2}:\d{2}:\d{2}\]) (.*)$)");
    const char *names[] = {"CRITICAL", "ERROR   ", "WARNING ", "INFO    ", "DEBUG   "};
    const char *messages[] = {"c 1", "e two", "w", "Initialization Complete", "d 2.5"};
    size_t pos = 0;
    for (int i = 0; i < 5; i++) {
        size_t nl = text.find('\n', pos);
        ASSERT_NE(nl, std::string::npos) << "line " << i << " missing in:\n" << text;
        std::string line = text.substr(pos, nl - pos);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, line_re)) << line;
        EXPECT_EQ(m[1].str(), names[i]);
        EXPECT_TRUE(m[2].str() == stamp_of(before) || m[2].str() == stamp_of(after)) << line;
        EXPECT_EQ(m[3].str(), messages[i]);
        pos = nl + 1;
    }
    EXPECT_EQ(pos, text.size()) << "exactly five lines, each ending in a newline";
}

TEST_F(LogTest, DefaultThresholdDropsInfoWithoutCreatingTheFile) {
    EXPECT_EQ(log_threshold, 2u);
    log_printf(LOG_INFO, "Initialization Complete");
    log_printf(LOG_DEBUG, "noise");
    log_printf(99, "never: past the name table");
    EXPECT_FALSE(file_exists(dir.file(LOG_NAME)));
    EXPECT_EQ(log_size(), 0);

    log_printf(LOG_WARNING, "first warning");
    EXPECT_TRUE(file_exists(dir.file(LOG_NAME)));
    log_close();
    std::string text = log_text();
    EXPECT_EQ(count_of(text, "\n"), 1);
    EXPECT_EQ(text.rfind("WARNING  [", 0), 0u) << text;
    EXPECT_EQ(count_of(text, "Initialization Complete"), 0);
}

TEST_F(LogTest, ThresholdFourWritesInfoAndDebugButNotBeyond) {
    log_threshold = LOG_DEBUG;
    log_printf(LOG_INFO, "info");
    log_printf(LOG_DEBUG, "debug");
    log_printf(LOG_DEBUG + 1, "level five");
    log_threshold = 200; // a stray value must not let a level index past the names
    log_printf(7, "level seven");
    log_close();
    std::string text = log_text();
    EXPECT_EQ(count_of(text, "\n"), 2) << text;
    EXPECT_EQ(count_of(text, "level"), 0);
}

// A line a user must find (a lost sound device) is written at its own level
// whatever the threshold says, and the threshold is left as it was.
TEST_F(LogTest, AlwaysWrittenLinesPassAnyThresholdAndLeaveIt) {
    log_threshold = LOG_CRITICAL;
    log_always(LOG_INFO, "back after %d attempts", 3);
    log_always(LOG_WARNING, "lost");
    log_always(LOG_DEBUG + 1, "level five");
    EXPECT_EQ(log_threshold, unsigned{LOG_CRITICAL});
    log_printf(LOG_ERROR, "filtered");
    log_close();
    std::string text = log_text();
    EXPECT_EQ(count_of(text, "\n"), 2) << text;
    EXPECT_EQ(text.rfind("INFO     [", 0), 0u) << text;
    EXPECT_EQ(count_of(text, "] back after 3 attempts\n"), 1) << text;
    EXPECT_EQ(count_of(text, "\nWARNING  ["), 1) << text;
    EXPECT_EQ(count_of(text, "filtered") + count_of(text, "level five"), 0) << text;
}

TEST_F(LogTest, OldLogIsTruncatedOnlyByTheFirstMessageThatPasses) {
    const std::string old = "WARNING  [2020.01.01|00:00:00] from the previous run\n";
    write_file(dir.file(LOG_NAME), old);

    log_printf(LOG_INFO, "filtered");
    log_printf(LOG_DEBUG, "filtered");
    log_close();
    EXPECT_EQ(log_text(), old) << "a run that logs nothing that passes leaves the old log alone";

    log_reset_for_test();
    log_printf(LOG_ERROR, "this run");
    log_close();
    std::string text = log_text();
    EXPECT_EQ(text.find("previous run"), std::string::npos);
    EXPECT_EQ(count_of(text, "this run"), 1);
}

TEST_F(LogTest, NothingIsWrittenOrReopenedAfterClose) {
    log_printf(LOG_ERROR, "before close");
    log_close();
    std::string closed = log_text();
    log_printf(LOG_CRITICAL, "after close");
    EXPECT_EQ(log_text(), closed);

    remove(dir.file(LOG_NAME).c_str());
    log_printf(LOG_CRITICAL, "after close and delete");
    EXPECT_FALSE(file_exists(dir.file(LOG_NAME)));
    log_close(); // closing twice is harmless
    EXPECT_EQ(log_size(), 0);
}

TEST_F(LogTest, ReadBackWhileOpenThenAppendAtTheEnd) {
    char buf[4096];
    memset(buf, 'x', sizeof buf);
    log_read(buf, sizeof buf, 0);
    EXPECT_EQ(buf[0], 0) << "not open: a single 0 byte";
    EXPECT_EQ(buf[1], 'x');

    log_printf(LOG_ERROR, "one");
    log_printf(LOG_ERROR, "two");
    int size = log_size();
    ASSERT_GT(size, 0);

    memset(buf, 0, sizeof buf);
    log_read(buf, sizeof buf, 0); // longer than the file
    std::string whole(buf, static_cast<size_t>(size));
    EXPECT_EQ(strlen(buf), static_cast<size_t>(size));
    EXPECT_EQ(count_of(whole, "\n"), 2);
    EXPECT_NE(whole.find("ERROR    ["), std::string::npos);

    // A span from the middle: the second line only.
    size_t second = whole.find('\n') + 1;
    memset(buf, 0, sizeof buf);
    log_read(buf, 8, static_cast<long>(second));
    EXPECT_EQ(std::string(buf), "ERROR   ");

    log_printf(LOG_ERROR, "three");
    EXPECT_GT(log_size(), size);
    log_close();
    std::string text = log_text();
    EXPECT_EQ(text.substr(0, static_cast<size_t>(size)), whole) << "reading did not overwrite";
    EXPECT_EQ(count_of(text, "\n"), 3);
    EXPECT_EQ(text.size() - text.rfind(" three\n"), strlen(" three\n")) << "appended at the end";
}

TEST_F(LogTest, ReadOfNoBytesLeavesTheBufferAlone) {
    // Closed: without the length check the "" answer would write its 0 byte.
    char one[1] = {'s'};
    log_read(one, 0, 0);
    EXPECT_EQ(one[0], 's');
    log_read(one, -1, 0);
    EXPECT_EQ(one[0], 's');

    // Open: a negative length must not become a huge unsigned read.
    log_printf(LOG_ERROR, "some text");
    ASSERT_GT(log_size(), 0);
    log_read(one, 0, 0);
    EXPECT_EQ(one[0], 's');
    log_read(one, -1, 0);
    EXPECT_EQ(one[0], 's');
}

TEST_F(LogTest, BaseDirectoryPlacesTheFileAndOpenFailureIsFinal) {
    mkdir(dir.file("sub").c_str(), 0755);
    set_base_dir("sub");
    char got[8];
    get_base_dir(got, sizeof got);
    EXPECT_STREQ(got, "sub");
    char tiny[3];
    get_base_dir(tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "su") << "bounded copy";

    log_printf(LOG_ERROR, "in sub");
    log_close();
    EXPECT_NE(read_file(dir.file("sub/vostrel soundboard_log.txt")).find("in sub"),
              std::string::npos);
    EXPECT_FALSE(file_exists(dir.file(LOG_NAME)));

    log_reset_for_test();
    set_base_dir("missing/dir");
    log_printf(LOG_ERROR, "nowhere to go");
    EXPECT_EQ(log_size(), 0);
    char buf[16] = "unchanged";
    log_read(buf, sizeof buf, 0);
    EXPECT_EQ(buf[0], 0);
    set_base_dir(".");
    log_printf(LOG_ERROR, "still off");
    EXPECT_FALSE(file_exists(dir.file(LOG_NAME))) << "a failed open is not retried";
}

TEST(LogTime, FormatTimeAndDate) {
    const char *old_tz = getenv("TZ");
    std::string saved = old_tz ? old_tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    char buf[64];
    format_time(0, "[%Y.%m.%d|%H:%M:%S]", buf);
    EXPECT_STREQ(buf, "[1970.01.01|00:00:00]");
    format_time(86400 * 31 + 3723, "%d.%b.%Y %H:%M:%S", buf);
    EXPECT_STREQ(buf, "01.Feb.1970 01:02:03");

    // The 32-byte limit: nothing is written past it.
    memset(buf, '#', sizeof buf);
    format_time(0, "%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y", buf); // 40 characters
    for (size_t i = 32; i < sizeof buf; i++)
        ASSERT_EQ(buf[i], '#') << i;

    format_date(buf);
    EXPECT_TRUE(std::regex_match(std::string(buf), std::regex(R"(\d{2}\.[A-Z][a-z]{2}\.\d{4})")))
        << buf;

    if (old_tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
