// Tests for the options file and registry: typed round trips, file layout and
// order, the changed flag, the reading rules for odd lines, hostile files and
// the all-or-nothing save.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/settings/settings.h>
#include <vostrel/settings/settings_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// prefix followed by the decimal number. Built by appending: GCC 12 at -O3
// reports a false -Wrestrict overlap inside `"literal" + std::string&&`, which
// inserts the literal at the front of the temporary.
std::string numbered(const char *prefix, long n) {
    std::string s = prefix;
    s += std::to_string(n);
    return s;
}

const char CONF[] = "vostrel soundboard.conf";
const char LOG_NAME[] = "vostrel soundboard_log.txt";

// A fresh directory, an empty registry and a log that records everything.
struct OptionsTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        options_free();
        options_changed = 0;
        set_base_dir(".");
        log_reset_for_test();
        log_threshold = LOG_DEBUG;
    }
    void TearDown() override {
        options_free();
        options_changed = 0;
        log_reset_for_test();
    }
    std::string conf() const { return read_file(dir.file(CONF)); }
    void write_conf(const std::string &text) const { write_file(dir.file(CONF), text); }
    std::string closed_log() const {
        log_close();
        return read_file(dir.file(LOG_NAME));
    }
};

int32_t get_int(const char *section, const char *key, int32_t fallback) {
    int32_t v = fallback;
    options_get(section, key, OPTION_INT, &v, sizeof v);
    return v;
}

TEST_F(OptionsTest, AllFourTypesSurviveSaveAndLoad) {
    int32_t i = -42, alt = 255;
    float f = 0.1f;
    options_set("s1", "int", OPTION_INT, &i);
    options_set("s1", "float", OPTION_FLOAT, &f);
    options_set("s2", "alt", OPTION_INT_ALT, &alt);
    options_set("s2", "text", OPTION_STRING, "hello");
    EXPECT_EQ(options_changed, 1);
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(options_changed, 0);

    options_free();
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int("s1", "int", 0), -42);
    EXPECT_EQ(get_int("s2", "alt", 0), 255);
    float g = 0;
    ASSERT_EQ(options_get("s1", "float", OPTION_FLOAT, &g, sizeof g), 1);
    EXPECT_EQ(g, 0.1f);
    char s[OPTION_VALUE_SIZE] = "";
    ASSERT_EQ(options_get("s2", "text", OPTION_STRING, s, sizeof s), 1);
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(options_find("s1", "float", 0)->type, OPTION_FLOAT);
    EXPECT_EQ(options_find("s2", "alt", 0)->type, OPTION_INT_ALT);
    EXPECT_EQ(options_find("s2", "text", 0)->type, OPTION_STRING);

    // Absent section or key: 0 and the default stays.
    EXPECT_EQ(get_int("s1", "missing", 7), 7);
    EXPECT_EQ(get_int("nope", "int", 7), 7);
    EXPECT_EQ(options_changed, 0);
}

// Each read names the type and size it holds. Other types and destinations
// too small are refused whole: the destination (guarded on both sides) keeps
// every byte, and each refusal is one WARNING naming the key.
TEST_F(OptionsTest, TypedReadsNeverWritePastTheDestination) {
    write_conf("[t]\nword\t3\tloud\nreal\t1\t2.500000\nint\t0\t7\nalt\t2\t9\n\n");
    ASSERT_EQ(options_load(), 1);
    struct Guarded {
        uint8_t before[8];
        uint8_t value[8];
        uint8_t after[64];
    };
    auto fresh = [] {
        Guarded g;
        memset(&g, 0x5A, sizeof g);
        return g;
    };
    auto untouched = [](const Guarded &g) {
        const uint8_t *p = reinterpret_cast<const uint8_t *>(&g);
        for (size_t i = 0; i < sizeof g; i++)
            if (p[i] != 0x5A) return false;
        return true;
    };
    struct Refused {
        const char *key;
        int type;
        size_t size;
    };
    const Refused refused[] = {
        {"word", OPTION_INT_ALT, 4}, // the crash: a string into a 4-byte volume
        {"word", OPTION_FLOAT, 4},   {"real", OPTION_INT, 4},    {"real", OPTION_STRING, 8},
        {"int", OPTION_FLOAT, 4},    {"alt", OPTION_STRING, 8},  {"int", OPTION_INT, 8},
        {"int", OPTION_INT, 2},      {"word", OPTION_STRING, 4}, // "loud" needs 5 bytes
    };
    for (const Refused &r : refused) {
        Guarded g = fresh();
        EXPECT_EQ(options_get("t", r.key, r.type, g.value, r.size), 0) << r.key << " " << r.type;
        EXPECT_TRUE(untouched(g)) << r.key << " " << r.type << " " << r.size;
    }

    // What fits is copied, and nothing beyond it.
    Guarded g = fresh();
    ASSERT_EQ(options_get("t", "word", OPTION_STRING, g.value, 5), 1);
    EXPECT_EQ(memcmp(g.value, "loud", 5), 0);
    g.value[0] = g.value[1] = g.value[2] = g.value[3] = g.value[4] = 0x5A;
    EXPECT_TRUE(untouched(g)) << "no byte past the terminator";
    int32_t i = 0;
    EXPECT_EQ(options_get("t", "int", OPTION_INT_ALT, &i, sizeof i), 1) << "0 and 2 are one type";
    EXPECT_EQ(i, 7);
    EXPECT_EQ(options_get("t", "alt", OPTION_INT, &i, sizeof i), 1);
    EXPECT_EQ(i, 9);
    float f = 0;
    EXPECT_EQ(options_get("t", "real", OPTION_FLOAT, &f, sizeof f), 1);
    EXPECT_EQ(f, 2.5f);

    std::string log = closed_log();
    EXPECT_EQ(count_of(log, "WARNING  ["), static_cast<int>(std::size(refused))) << log;
    for (const Refused &r : refused)
        EXPECT_NE(log.find(std::string(" ") + r.key + " "), std::string::npos) << r.key;
}

// Reading must cost the same per line however many distinct names the file
// holds. Index probes are counted: four times the entries may take about four
// times the probes, never the sixteen times of scanning the lists.
TEST_F(OptionsTest, ReadingCostGrowsLinearlyWithTheEntries) {
    auto sections_file = [](int n) {
        std::string text;
        for (int i = 0; i < n; i++)
            text += numbered("[s", i) + "]\nk\t0\t" + std::to_string(i) + "\n\n";
        return text;
    };
    auto keys_file = [](int n) {
        std::string text = "[one]\n";
        for (int i = 0; i < n; i++)
            text += numbered("k", i) + "\t0\t" + std::to_string(i) + "\n";
        return text;
    };
    for (auto make : {+sections_file, +keys_file}) {
        long cost[2];
        const int counts[2] = {2000, 8000};
        for (int run = 0; run < 2; run++) {
            write_conf(make(counts[run]));
            options_free();
            long before = options_probes();
            ASSERT_EQ(options_load(), 1);
            cost[run] = options_probes() - before;
        }
        EXPECT_LE(cost[1], 5 * cost[0]) << cost[0] << " then " << cost[1];
        EXPECT_LE(cost[1], 8L * counts[1]) << "a few probes an entry";
        // Every entry was read (the last and the first of the larger file).
        EXPECT_TRUE(options_find("s7999", "k", 0) || options_find("one", "k7999", 0));
        EXPECT_TRUE(options_find("s0", "k", 0) || options_find("one", "k0", 0));
    }
}

// Removals in any order leave every other entry findable and the removed ones
// gone; a set of the names kept stands beside the registry as the reference.
TEST_F(OptionsTest, ManyRemovalsKeepEveryOtherEntryFindable) {
    std::mt19937 rng(77);
    std::set<std::pair<std::string, std::string>> kept;
    std::set<std::string> sections;
    int32_t one = 1;
    for (int i = 0; i < 3000; i++) {
        std::string sec = numbered("s", rng() % 40), key = numbered("k", rng() % 500);
        options_set(sec.c_str(), key.c_str(), OPTION_INT, &one);
        kept.insert({sec, key});
        sections.insert(sec);
    }
    std::vector<std::pair<std::string, std::string>> all(kept.begin(), kept.end());
    std::shuffle(all.begin(), all.end(), rng);
    for (size_t i = 0; i < all.size() / 2; i++) {
        options_remove(all[i].first.c_str(), all[i].second.c_str());
        kept.erase(all[i]);
    }
    for (const char *gone : {"s3", "s17", "s39"}) {
        options_remove_section(gone);
        sections.erase(gone);
        for (auto it = kept.begin(); it != kept.end();)
            it = it->first == gone ? kept.erase(it) : std::next(it);
    }
    for (const auto &entry : all) {
        bool want = kept.count(entry) > 0;
        EXPECT_EQ(options_find(entry.first.c_str(), entry.second.c_str(), 0) != nullptr, want)
            << entry.first << "/" << entry.second;
    }
    for (int i = 0; i < 40; i++) {
        std::string sec = numbered("s", i);
        EXPECT_EQ(options_section(sec.c_str(), 0) != nullptr, sections.count(sec) > 0) << sec;
    }
    options_clear();
    for (const auto &entry : all)
        ASSERT_EQ(options_find(entry.first.c_str(), entry.second.c_str(), 0), nullptr);
}

TEST_F(OptionsTest, ExampleFileReadsAndSavesBackIdentically) {
    const std::string example = "[options]\nvolume\t2\t255\n\n";
    write_conf(example);
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int(options_section_name, "volume", 0), 255);
    EXPECT_EQ(options_find("options", "volume", 0)->type, OPTION_INT_ALT);
    options_changed = 1;
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(conf(), example);
}

TEST_F(OptionsTest, ReadThenSaveReversesSectionsAndSettings) {
    write_conf("[a]\nx\t0\t1\ny\t1\t2.500000\n\n[b]\nz\t3\tword\n\n");
    ASSERT_EQ(options_load(), 1);
    options_changed = 1;
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(conf(), "[b]\nz\t3\tword\n\n[a]\ny\t1\t2.500000\nx\t0\t1\n\n");
}

TEST_F(OptionsTest, ChangedFlagFollowsRealChangesOnly) {
    int32_t zero = 0, five = 5;
    options_set("options", "fresh", OPTION_INT, &zero);
    EXPECT_NE(options_find("options", "fresh", 0), nullptr) << "created in memory";
    EXPECT_EQ(options_changed, 0) << "a new key set to 0 is no change";
    options_set("options", "empty", OPTION_STRING, "");
    EXPECT_EQ(options_changed, 0) << "nor is a new empty string";
    EXPECT_EQ(options_save(), 1);
    EXPECT_FALSE(file_exists(dir.file(CONF))) << "nothing to save, nothing written";

    options_set("options", "fresh", OPTION_INT, &five);
    EXPECT_EQ(options_changed, 1);
    ASSERT_EQ(options_save(), 1);
    ASSERT_TRUE(file_exists(dir.file(CONF)));

    // The same value again must not rewrite the file: mark the file and look.
    write_conf(conf() + "marker\n");
    options_set("options", "fresh", OPTION_INT, &five);
    EXPECT_EQ(options_changed, 0);
    EXPECT_EQ(options_save(), 1);
    EXPECT_NE(conf().find("marker"), std::string::npos);

    // An over-long string is stored cut; setting the same text again is no change.
    std::string longtext(100, 'q');
    options_set("options", "long", OPTION_STRING, longtext.c_str());
    EXPECT_EQ(options_changed, 1);
    ASSERT_EQ(options_save(), 1);
    options_set("options", "long", OPTION_STRING, longtext.c_str());
    EXPECT_EQ(options_changed, 0);
    char s[OPTION_VALUE_SIZE];
    ASSERT_EQ(options_get("options", "long", OPTION_STRING, s, sizeof s), 1);
    EXPECT_EQ(std::string(s), std::string(63, 'q'));

    // Removing marks changed; removing what is not there does not.
    options_remove("options", "nothing");
    options_remove_section("nothing");
    EXPECT_EQ(options_changed, 0);
    options_remove("options", "fresh");
    EXPECT_EQ(options_changed, 1);
    EXPECT_EQ(options_find("options", "fresh", 0), nullptr);
    EXPECT_NE(options_find("options", "empty", 0), nullptr) << "neighbours stay linked";
    EXPECT_NE(options_find("options", "long", 0), nullptr);
    options_remove_section("options");
    EXPECT_EQ(options_section("options", 0), nullptr);
}

TEST_F(OptionsTest, OddLinesFollowTheReadingRules) {
    write_conf("orphan\t0\t1\n" // before any header: ignored
               "[options\n"     // no closing bracket
               "volume\t2\t7\n"
               "[text]\n"
               "phrase\t3\thello world\n" // read as its first word
               "novalue\t2\t\n"           // missing value: 0
               "notab\t0\n"               // no second tab: 0 as well
               "badvalue\t0\tabc\n"       // value does not convert: skipped
               "bad\t9\t1\n"              // unknown type: reported, skipped
               "nokey\n"                  // no type code: skipped
               "good\t0\t5\n");
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(options_section("options", 0), nullptr);
    EXPECT_EQ(get_int("options\n", "volume", 0), 7) << "the header's name keeps the newline";
    char s[OPTION_VALUE_SIZE] = "";
    ASSERT_EQ(options_get("text", "phrase", OPTION_STRING, s, sizeof s), 1);
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(get_int("text", "novalue", 99), 0);
    EXPECT_EQ(get_int("text", "notab", 99), 0);
    EXPECT_EQ(options_find("text", "badvalue", 0), nullptr);
    EXPECT_EQ(options_find("text", "bad", 0), nullptr);
    EXPECT_EQ(options_find("text", "nokey", 0), nullptr);
    EXPECT_EQ(get_int("text", "good", 0), 5) << "reading goes on after an unknown type";
    EXPECT_EQ(options_changed, 0);

    std::string log = closed_log();
    EXPECT_NE(log.find("ERROR    ["), std::string::npos);
    EXPECT_NE(log.find("] Unable to process setting bad\n"), std::string::npos) << log;
}

// A key beginning with "[" would be saved as a line that reads back as a
// section header: the value would vanish and a stray section appear. Such
// keys are refused, from the file and from callers alike.
TEST_F(OptionsTest, KeyThatWouldReadBackAsAHeaderIsRefused) {
    write_conf("[options]\n [abc\t0\t1\nvolume\t2\t5\n");
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(options_find("options", "[abc", 0), nullptr);
    int32_t v = 3;
    options_set("options", "[k", OPTION_INT, &v);
    EXPECT_EQ(options_find("options", "[k", 0), nullptr);
    options_changed = 1;
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(conf(), "[options]\nvolume\t2\t5\n\n");
}

TEST_F(OptionsTest, MissingFileWarnsAndKeepsTheRegistry) {
    int32_t one = 1;
    options_set("keep", "me", OPTION_INT, &one);
    EXPECT_EQ(options_read_file(), 0);
    EXPECT_EQ(get_int("keep", "me", 0), 1);
    EXPECT_EQ(options_load(), 0) << "load clears, then fails to read";
    EXPECT_EQ(options_section("keep", 0), nullptr);
    std::string log = closed_log();
    EXPECT_NE(log.find("WARNING  ["), std::string::npos);
    EXPECT_NE(log.find("] Could not load settings from ./vostrel soundboard.conf\n"),
              std::string::npos)
        << log;
}

// Runs options_load in a child process, which a watchdog ends if reading
// never finishes; its result, or -1 if the child did not end by itself.
int load_in_child() {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);
        _exit(options_load());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Only a regular file is read: a FIFO in the options file's place would block
// start-up until some writer came, and a device such as /dev/zero never ends.
// Either is reported as a file that cannot be loaded.
TEST_F(OptionsTest, FifoOrDeviceInPlaceOfTheFileIsNotRead) {
    ASSERT_EQ(mkfifo(dir.file(CONF).c_str(), 0644), 0);
    EXPECT_EQ(load_in_child(), 0) << "a FIFO is refused at once";
    ASSERT_EQ(unlink(dir.file(CONF).c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file(CONF).c_str()), 0);
    EXPECT_EQ(load_in_child(), 0) << "a device is refused";
    ASSERT_EQ(unlink(dir.file(CONF).c_str()), 0);
    write_conf("[options]\nvolume\t2\t3\n\n");
    EXPECT_EQ(load_in_child(), 1) << "a regular file is still read";
}

TEST_F(OptionsTest, NameLengthLimitsAtTheBoundary) {
    std::string n31(31, 'k'), n32(32, 'k');
    int32_t v = 3;
    options_set(n31.c_str(), n31.c_str(), OPTION_INT, &v);
    EXPECT_EQ(get_int(n31.c_str(), n31.c_str(), 0), 3);
    options_changed = 0;
    options_set(n32.c_str(), "key", OPTION_INT, &v);
    options_set("sec", n32.c_str(), OPTION_INT, &v);
    EXPECT_EQ(options_changed, 0) << "over-long names are refused";
    EXPECT_EQ(options_find(n32.c_str(), "key", 0), nullptr);
    EXPECT_EQ(options_find("sec", n32.c_str(), 0), nullptr);

    write_conf("[" + n31 + "]\n" + n31 + "\t0\t1\n" + n32 + "\t0\t2\n[" + n32 + "]\nunder\t0\t3\n");
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int(n31.c_str(), n31.c_str(), 0), 1);
    EXPECT_EQ(options_find(n31.c_str(), n32.c_str(), 0), nullptr);
    EXPECT_EQ(options_find(n31.c_str(), "under", 0), nullptr)
        << "settings under a rejected header are not filed under the previous one";
}

TEST_F(OptionsTest, HostileFileIsReadWithinBoundsAndTheRestSurvives) {
    std::string junk;
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; i++)
        junk += static_cast<char>(rng() & 0xFF);
    std::string k5000(5000, 'k'), s5000(5000, 'S');
    std::string text;
    text += "[options]\nvolume\t2\t1\n";
    text += junk + "\n";
    text += "[options]\n";
    text += k5000 + "\t0\t1\n";                 // 5000-character key
    text += "[" + s5000 + "]\nvolume\t2\t99\n"; // 5000-character section name, closed
    text += "[" + s5000 + "\nvolume\t2\t98\n";  // and unclosed
    text += "[options]\nlong\t3\t" + std::string(300, 'x') + " tail\n";
    text += "nothing\t3\t\n";
    text += "bad\t77\t1\n";
    text += "\t\t\t\n\n[\n]\n[]\n";
    text += std::string(1, '\0') + "zero\t0\t1\n";
    text += "[final]\nvolume\t2\t42\n";
    write_conf(text);

    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int("final", "volume", 0), 42) << "the end of the file is still read";
    EXPECT_EQ(get_int("options", "volume", 0), 1) << "values under rejected headers stay out";
    char s[OPTION_VALUE_SIZE];
    memset(s, '#', sizeof s);
    ASSERT_EQ(options_get("options", "long", OPTION_STRING, s, sizeof s), 1);
    EXPECT_EQ(std::string(s), std::string(63, 'x')) << "strings cut at 63";
    ASSERT_EQ(options_get("options", "nothing", OPTION_STRING, s, sizeof s), 1);
    EXPECT_STREQ(s, "");
    EXPECT_EQ(options_find("options", "bad", 0), nullptr);

    // Whatever was read saves and reads back without growing past the limits.
    options_changed = 1;
    ASSERT_EQ(options_save(), 1);
    options_free();
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int("final", "volume", 0), 42);
    OptionSection *sec = options_section("options", 0);
    ASSERT_NE(sec, nullptr);
    for (OptionSetting *o = sec->settings; o; o = o->next) {
        EXPECT_LT(strlen(o->name), static_cast<size_t>(OPTION_NAME_SIZE));
        if (o->type == OPTION_STRING) {
            EXPECT_LT(strlen(o->value.s), static_cast<size_t>(OPTION_VALUE_SIZE));
        }
    }
    EXPECT_NE(closed_log().find("Unable to process setting bad"), std::string::npos);
}

TEST_F(OptionsTest, FailedSaveKeepsTheOldFileAndStaysChanged) {
    const std::string old = "[options]\nvolume\t2\t255\n\n";
    const std::vector<uint8_t> old_bytes(old.begin(), old.end());
    write_conf(old);
    ASSERT_EQ(options_load(), 1);
    int32_t v = 17;
    options_set("options", "volume", OPTION_INT_ALT, &v);
    for (int i = 0; i < 40; i++) // several kilobytes to write
        options_set("bulk", numbered("k", i).c_str(), OPTION_STRING, std::string(60, 'b').c_str());
    ASSERT_EQ(options_changed, 1);

    // A disk that takes no more than a kilobyte (a file-size limit, which
    // binds root too): the replacement cannot be written whole.
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(options_save(), 0);
    }
    EXPECT_EQ(read_bytes(dir.file(CONF)), old_bytes);
    EXPECT_EQ(options_changed, 1) << "the next save tries again";

    // With a directory in the way of the replacement the file is written in
    // place; when that fails too, the old bytes are put back.
    std::string blocker = dir.file(std::string(CONF) + ".tmp");
    ASSERT_EQ(mkdir(blocker.c_str(), 0755), 0);
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok);
        EXPECT_EQ(options_save(), 0);
    }
    EXPECT_EQ(read_bytes(dir.file(CONF)), old_bytes);
    EXPECT_EQ(options_changed, 1);
    rmdir(blocker.c_str());

    // The real file being a directory fails too and leaves no debris.
    std::string moved = dir.file("kept.conf");
    ASSERT_EQ(rename(dir.file(CONF).c_str(), moved.c_str()), 0);
    ASSERT_EQ(mkdir(dir.file(CONF).c_str(), 0755), 0);
    EXPECT_EQ(options_save(), 0);
    EXPECT_FALSE(file_exists(blocker));
    EXPECT_EQ(options_changed, 1);

    // Once the way is clear the retry writes the new value.
    rmdir(dir.file(CONF).c_str());
    options_remove_section("bulk");
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(conf(), "[options]\nvolume\t2\t17\n\n");
    EXPECT_EQ(options_changed, 0);

    std::string log = closed_log();
    const std::string msg = "] Could not save settings to ./vostrel soundboard.conf\n";
    EXPECT_EQ(count_of(log, msg), 3) << "every failure reported: " << log;
    size_t first = log.find(msg);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.rfind("ERROR    [", first), log.rfind('\n', first) + 1);
}

// Saving keeps what the user set up: a link to the options file stays a link
// (the file it names gets the new value), the file keeps its mode, and a
// writable file in a directory that takes no new entry is saved in place.
TEST_F(OptionsTest, SaveKeepsLinksModeAndReadOnlyDirectories) {
    ASSERT_EQ(mkdir(dir.file("store").c_str(), 0755), 0);
    const std::string real = dir.file("store/settings.conf");
    write_file(real, "[options]\nvolume\t2\t255\n\n");
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    ASSERT_EQ(symlink("store/settings.conf", dir.file(CONF).c_str()), 0);
    ASSERT_EQ(options_load(), 1);
    EXPECT_EQ(get_int("options", "volume", 0), 255);
    int32_t v = 9;
    options_set("options", "volume", OPTION_INT_ALT, &v);
    ASSERT_EQ(options_save(), 1);
    struct stat st;
    ASSERT_EQ(lstat(dir.file(CONF).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(read_file(real), "[options]\nvolume\t2\t9\n\n");
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // Root ignores a directory's write bits; the immutable attribute holds
    // for root too (see ImmutableDir).
    ImmutableDir frozen(dir.file("store"));
    if (!frozen.ok) GTEST_SKIP() << "the filesystem under /tmp cannot make directories immutable";
    v = 10;
    options_set("options", "volume", OPTION_INT_ALT, &v);
    ASSERT_EQ(options_save(), 1);
    EXPECT_EQ(read_file(real), "[options]\nvolume\t2\t10\n\n");
    EXPECT_EQ(options_changed, 0);
}

TEST_F(OptionsTest, OverLongBaseDirectoryFailsCleanly) {
    std::string deep(505, 'd');
    set_base_dir(deep.c_str());
    char path[512];
    options_file_path(".conf", path);
    EXPECT_STREQ(path, "") << "a path that does not fit is no path";
    int32_t v = 1;
    options_set("options", "volume", OPTION_INT, &v);
    // Without a path the temporary file would be ".tmp" in the working
    // directory: a file of that name must survive the failed save.
    write_file(dir.file(".tmp"), "not the settings\n");
    EXPECT_EQ(options_save(), 0);
    EXPECT_EQ(options_read_file(), 0);
    EXPECT_EQ(read_file(dir.file(".tmp")), "not the settings\n");
    set_base_dir(".");

    options_file_path(".session", path);
    EXPECT_STREQ(path, "./vostrel soundboard.session");
    set_base_dir("some/dir/");
    options_file_path(".conf", path);
    EXPECT_STREQ(path, "some/dir/vostrel soundboard.conf");
    set_base_dir("");
    options_file_path(".conf", path);
    EXPECT_STREQ(path, "vostrel soundboard.conf");
    set_base_dir(".");
}

} // namespace
