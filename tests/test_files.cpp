// Tests for replacing a file whole: a failed write leaves the old bytes, links
// stay links and the file keeps its mode.
#include <vostrel/diag/diag.h>
#include "support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int write_text(FILE *f, const void *text) { return fputs(static_cast<const char *>(text), f) >= 0; }

int write_then_fail(FILE *f, const void *text) {
    fputs(static_cast<const char *>(text), f);
    return 0;
}

int calls;
int count_call(FILE *, const void *) {
    calls++;
    return 1;
}

TEST(FileReplace, ReplacesWholeOrLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    ASSERT_EQ(file_replace("f.txt", write_text, "first\n"), 1);
    EXPECT_EQ(read_file(dir.file("f.txt")), "first\n");
    ASSERT_EQ(file_replace("f.txt", write_text, "second\n"), 1);
    EXPECT_EQ(read_file(dir.file("f.txt")), "second\n") << "replaced, not appended";
    EXPECT_FALSE(file_exists(dir.file("f.txt.tmp")));

    EXPECT_EQ(file_replace("f.txt", write_then_fail, "partial third\n"), 0);
    EXPECT_EQ(read_file(dir.file("f.txt")), "second\n") << "a failed writer changes nothing";
    EXPECT_FALSE(file_exists(dir.file("f.txt.tmp")));

    // What the path names is not a file: refused, nothing written.
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
    EXPECT_EQ(file_replace("d", write_text, "x\n"), 0);
    EXPECT_FALSE(file_exists(dir.file("d.tmp")));

    // The empty path of a name that did not fit is refused before any file,
    // even a ".tmp" in the working directory, is touched.
    write_file(dir.file(".tmp"), "someone else's\n");
    calls = 0;
    EXPECT_EQ(file_replace("", count_call, nullptr), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(read_file(dir.file(".tmp")), "someone else's\n");
}

// The user's arrangement survives a save: links stay links (the file they
// name gets the new bytes), and the file keeps its permission bits.
TEST(FileReplace, FollowsLinksAndKeepsTheMode) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
    write_file(dir.file("real/f.txt"), "old\n");
    ASSERT_EQ(symlink("real/f.txt", dir.file("link1").c_str()), 0); // relative to its directory
    ASSERT_EQ(symlink(dir.file("link1").c_str(), dir.file("link2").c_str()), 0); // a chain
    ASSERT_EQ(file_replace("link2", write_text, "new\n"), 1);
    struct stat st;
    ASSERT_EQ(lstat(dir.file("link2").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat(dir.file("link1").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(dir.file("real/f.txt")), "new\n");
    EXPECT_FALSE(file_exists(dir.file("link2.tmp")));
    EXPECT_FALSE(file_exists(dir.file("real/f.txt.tmp")));

    // A link to nothing yet: the file it names is created.
    ASSERT_EQ(symlink("real/later.txt", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(file_replace("dangling", write_text, "made\n"), 1);
    EXPECT_EQ(read_file(dir.file("real/later.txt")), "made\n");
    ASSERT_EQ(lstat(dir.file("dangling").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A loop of links names no file.
    ASSERT_EQ(symlink("loop_b", dir.file("loop_a").c_str()), 0);
    ASSERT_EQ(symlink("loop_a", dir.file("loop_b").c_str()), 0);
    EXPECT_EQ(file_replace("loop_a", write_text, "x\n"), 0);

    for (mode_t mode : {0600, 0666, 0640}) {
        ASSERT_EQ(chmod(dir.file("real/f.txt").c_str(), mode), 0);
        ASSERT_EQ(file_replace("link1", write_text, "moded\n"), 1);
        ASSERT_EQ(stat(dir.file("real/f.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
}

// A directory that takes no new entry, with a writable file in it: the file
// is written in place. Running as root, permission bits would not stop the
// replacement being created, so the directory is made immutable instead,
// which binds root too; a directory standing at the ".tmp" name is the other
// real way a replacement cannot be made.
TEST(FileReplace, DirectoryThatTakesNoEntryIsWrittenInPlace) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0755), 0);
    write_file(dir.file("ro/f.txt"), "old\n");
    {
        ImmutableDir frozen(dir.file("ro"));
        if (!frozen.ok)
            GTEST_SKIP() << "the filesystem under /tmp cannot make directories immutable";
        ASSERT_EQ(file_replace("ro/f.txt", write_text, "new, longer than before\n"), 1);
        EXPECT_EQ(read_file(dir.file("ro/f.txt")), "new, longer than before\n");
        ASSERT_EQ(file_replace("ro/f.txt", write_text, "short\n"), 1);
        EXPECT_EQ(read_file(dir.file("ro/f.txt")), "short\n") << "cut to the new length";
        EXPECT_EQ(file_replace("ro/g.txt", write_text, "x\n"), 0) << "no new file either";
    }
    ASSERT_EQ(mkdir(dir.file("f.txt.tmp").c_str(), 0755), 0);
    write_file(dir.file("f.txt.tmp/keep"), "in the way\n"); // a directory no save may remove
    write_file(dir.file("f.txt"), "before\n");
    ASSERT_EQ(file_replace("f.txt", write_text, "after\n"), 1);
    EXPECT_EQ(read_file(dir.file("f.txt")), "after\n");
    EXPECT_EQ(read_file(dir.file("f.txt.tmp/keep")), "in the way\n");
    ASSERT_EQ(file_replace("g.txt", write_text, "fresh\n"), 1) << "nothing in the way of g.txt.tmp";
    EXPECT_EQ(read_file(dir.file("g.txt")), "fresh\n");
}

// A write that cannot complete (a file-size limit stands in for a full disk,
// which binds root too) leaves the old bytes, on either path: through the
// replacement beside the file, and written in place.
TEST(FileReplace, FailedWriteLeavesTheOldBytes) {
    TempDir dir;
    const std::string old = "old contents\n";
    const std::string big(4096, 'n');
    write_file(dir.file("f.txt"), old);
    ASSERT_EQ(chmod(dir.file("f.txt").c_str(), 0600), 0);
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(file_replace("f.txt", write_text, big.c_str()), 0);
    }
    EXPECT_EQ(read_file(dir.file("f.txt")), old);
    EXPECT_FALSE(file_exists(dir.file("f.txt.tmp")));

    ASSERT_EQ(mkdir(dir.file("f.txt.tmp").c_str(), 0755), 0); // forces the write in place
    write_file(dir.file("f.txt.tmp/keep"), "in the way\n");
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(file_replace("f.txt", write_text, big.c_str()), 0);
        EXPECT_EQ(file_replace("new.txt", write_text, big.c_str()), 0);
    }
    EXPECT_EQ(read_file(dir.file("f.txt")), old) << "the old bytes were put back";
    struct stat st;
    ASSERT_EQ(stat(dir.file("f.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_FALSE(file_exists(dir.file("new.txt"))) << "no half-written new file";
}

// The application's name as file names and the program name use it.
TEST(AppFileName, LowerCasedWithSuffixOrDashesAndNeverOverrun) {
    char buf[64];
    ASSERT_EQ(app_file_name("_log.txt", 0, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "vostrel soundboard_log.txt");
    ASSERT_EQ(app_file_name(".conf", 0, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "vostrel soundboard.conf");
    ASSERT_EQ(app_file_name("", 1, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "vostrel-soundboard");

    // A name that does not fit is reported, and nothing is written past the end.
    char small[12];
    memset(small, '#', sizeof small);
    EXPECT_EQ(app_file_name(".session", 0, small, 8), 0);
    EXPECT_STREQ(small, "vostrel");
    EXPECT_EQ(small[8], '#');
    EXPECT_EQ(app_file_name("", 0, buf, sizeof("vostrel soundboard") - 1), 0)
        << "no room for the terminator";
}

} // namespace
