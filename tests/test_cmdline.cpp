// Tests for the command line: the log threshold and the debug level it sets.
#include <vostrel/diag/diag.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/input/input.h>
#include <vostrel/input/input_internal.h>
#include <vostrel/shell/shell.h>
#include <vostrel/shell/shell_internal.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs the command-line parser over a list of arguments (argv[0] included).
void parse(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    shell_parse_command_line(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLine, LogLevelIsClampedAndDebugLevelKeepsItsLowByte) {
    log_threshold = 2;
    parse({"prog", "--log-level", "7"});
    EXPECT_EQ(log_threshold, 4u);
    parse({"prog", "--log-level", "-3"});
    EXPECT_EQ(log_threshold, 0u);
    parse({"prog", "--log-level", "3"});
    EXPECT_EQ(log_threshold, 3u);
    parse({"prog", "--log-level", "x"});
    EXPECT_EQ(log_threshold, 0u) << "atoi of a non-number is 0";

    debug_level = 0;
    parse({"prog", "--debug-level", "300"});
    EXPECT_EQ(debug_level, 44);
    parse({"prog", "--debug-level", "-1"});
    EXPECT_EQ(debug_level, 255);

    log_threshold = 2;
    debug_level = 0;
}

TEST(CommandLine, MissingValuesUnknownArgumentsAndRepeats) {
    log_threshold = 3;
    debug_level = 9;
    parse({"prog", "--log-level"});
    parse({"prog", "--debug-level"});
    parse({"prog"});
    EXPECT_EQ(log_threshold, 3u) << "an option as the last argument changes nothing";
    EXPECT_EQ(debug_level, 9);

    parse({"prog", "foo", "--log-level", "1", "bar", "--log-level", "4", "--verbose"});
    EXPECT_EQ(log_threshold, 4u) << "later occurrences win";
    parse({"prog", "--LOG-LEVEL", "1", "-log-level", "1"});
    EXPECT_EQ(log_threshold, 4u) << "only the exact spelling counts";

    // The value is whatever comes next, even another option.
    parse({"prog", "--debug-level", "--log-level", "1"});
    EXPECT_EQ(debug_level, 0);
    EXPECT_EQ(log_threshold, 4u);

    log_threshold = 2;
    debug_level = 0;
}

TEST(CommandLine, FullscreenAndKioskAreFlagsTakenAnywhere) {
    EXPECT_EQ(shell_fullscreen_requested(), 0);
    parse({"prog", "--log-level", "--fullscreen"});
    EXPECT_EQ(shell_fullscreen_requested(), 0) << "a value is not a flag";
    parse({"prog", "--fullscreen"});
    EXPECT_EQ(shell_fullscreen_requested(), 1) << "the last argument counts";
    parse({"prog", "--kiosk", "--log-level", "2"});
    EXPECT_EQ(shell_fullscreen_requested(), 2);
    log_threshold = 2;
}

// Low latency: asked for, or the default of a kiosk; an explicit choice
// wins in either order; without any, today's normal mode.
TEST(CommandLine, LatencyIsNormalUnlessAskedForOrAKiosk) {
    shell_set_latency(-1); // as a fresh start: another test gave a kiosk's default
    shell_set_latency_default(-1);
    parse({"prog", "--power-save", "--fullscreen"});
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_NORMAL);
    parse({"prog", "--latency", "low"});
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_LOW);
    parse({"prog", "--latency", "normal", "--kiosk"});
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_NORMAL) << "kiosk's default under an explicit choice";
    parse({"prog", "--latency", "fast"});
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_NORMAL) << "an unknown mode changes nothing";
    shell_set_latency(-1);
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_LOW) << "the kiosk's default once the choice is undone";
    parse({"prog", "--kiosk", "--latency", "normal"});
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_NORMAL);
    shell_set_latency(-1);
    shell_set_latency_default(-1);
    EXPECT_EQ(shell_latency(), SHELL_LATENCY_NORMAL);
}

} // namespace
