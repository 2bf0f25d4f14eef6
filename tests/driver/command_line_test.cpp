#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CommandLineCase {
    const char* name;
    std::vector<const char*> arguments;  // after the program's name
    std::string input_name;
    std::string output_name;
    int times;
    int nconnect;
    std::vector<int> connect_list;
    std::string option_without_value;
};

const CommandLineCase command_line_cases[] = {
    {"no arguments", {}, "", "", 0, 0, {}, ""},
    {"plain options",
     {"-in", "g.graph", "-times", "3", "-out", "o.graph"},
     "g.graph",
     "o.graph",
     3,
     0,
     {},
     ""},
    {"prefix matches",
     {"-input", "a", "-timesten", "4", "-outfile", "b", "-in2", "c"},
     "c",
     "b",
     4,
     0,
     {},
     ""},
    {"near misses are passed over",
     {"-i", "a", "-o", "b", "-connec", "1", "-IN", "x"},
     "",
     "",
     0,
     0,
     {},
     ""},
    {"option with equals sign", {"-in=g.graph", "real.graph"}, "real.graph", "", 0, 0, {}, ""},
    {"an option string as a value", {"-in", "-out", "-times", "2"}, "-out", "", 2, 0, {}, ""},
    {"stray file name", {"g.graph", "-times", "1"}, "", "", 1, 0, {}, ""},
    {"names taken whole without outer white space",
     {"-in", "  my graph \n", "-out", "\tx\v y\r"},
     "my graph",
     "x\v y",
     0,
     0,
     {},
     ""},
    {"empty value keeps the earlier one",
     {"-out", "a", "-out", "", "-out", " \t"},
     "",
     "a",
     0,
     0,
     {},
     ""},
    {"later value wins",
     {"-times", "2", "-times", "5", "-in", "a", "-in", "b"},
     "b",
     "",
     5,
     0,
     {},
     ""},
    {"leading integer", {"-times", "3copies", "-nconnect", " -4x"}, "", "", 3, -4, {}, ""},
    {"no digits give 0", {"-times", "abc", "-nconnect", "+"}, "", "", 0, 0, {}, ""},
    {"plus sign", {"-times", "+7"}, "", "", 7, 0, {}, ""},
    {"saturation",
     {"-times", "99999999999", "-nconnect", "-99999999999"},
     "",
     "",
     2147483647,
     -2147483647 - 1,
     {},
     ""},
    {"connect list capped by nconnect",
     {"-nconnect", "2", "-connect", "5 6 7"},
     "",
     "",
     0,
     2,
     {5, 6},
     ""},
    {"connect before nconnect is unread",
     {"-connect", "5 6", "-nconnect", "2"},
     "",
     "",
     0,
     2,
     {},
     ""},
    {"connect delimiters",
     {"-nconnect", "9", "-connect", ",, 1,2\t3\n4x ,-5,,"},
     "",
     "",
     0,
     9,
     {1, 2, 3, 4, -5},
     ""},
    {"connect of delimiters only",
     {"-nconnect", "3", "-connect", " ,,\t", "-times", "2"},
     "",
     "",
     2,
     3,
     {},
     ""},
    {"connect starts afresh",
     {"-nconnect", "3", "-connect", "1 2", "-connect", "9"},
     "",
     "",
     0,
     3,
     {9},
     ""},
    {"trailing option", {"-times", "2", "-input"}, "", "", 2, 0, {}, "-input"},
    {"trailing value-like option", {"-in", "a", "-out"}, "a", "", 0, 0, {}, "-out"},
};

TEST(CommandLine, fills_the_run_options) {
    for (const CommandLineCase& c : command_line_cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_EQ(options.input_name, c.input_name);
        EXPECT_EQ(options.output_name, c.output_name);
        EXPECT_EQ(options.times, c.times);
        EXPECT_EQ(options.nconnect, c.nconnect);
        EXPECT_EQ(options.connect_list, c.connect_list);
        EXPECT_EQ(options.option_without_value, c.option_without_value);
    }
}

TEST(CommandLine, keeps_a_copy_count_past_the_limit_as_written) {
    const struct {
        std::vector<const char*> arguments;
        std::string refused_times_value;
    } cases[] = {
        {{"-times", "2147483647"}, ""},
        {{"-times", "2147483648"}, "2147483648"},
        {{"-times", "-2147483648"}, "-2147483648"},
        {{"-times", " 0099999999999999999999x"}, " 0099999999999999999999x"},
        {{"-times", "00000000000000000000002"}, ""},
        {{"-times", "99999999999", "-times", "3"}, ""},
        {{"-nconnect", "99999999999"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_EQ(options.refused_times_value, c.refused_times_value);
    }
}

TEST(CommandLine, recognises_help_and_version_only_where_an_option_may_stand) {
    struct FlagCase {
        std::vector<const char*> arguments;
        bool wants_help;
        bool wants_version;
    };
    const FlagCase cases[] = {
        {{"--help"}, true, false},
        {{"-times", "2", "-h"}, true, false},
        {{"--version"}, false, true},
        {{"-in", "--help", "-out", "--version"}, false, false},
        {{"-help", "--versions"}, false, false},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_EQ(options.wants_help, c.wants_help);
        EXPECT_EQ(options.wants_version, c.wants_version);
    }
}

TEST(CommandLine, switches_stand_alone_and_match_by_their_leading_characters) {
    struct SwitchCase {
        std::vector<const char*> arguments;
        bool check_only;
        bool is_strict;
        bool is_wide;
        bool wants_weights;
        bool wants_stats;
        bool is_quiet;
        std::string input_name;
        std::string option_without_value;
    };
    const SwitchCase cases[] = {
        {{"-check", "-in", "a"}, true, false, false, false, false, false, "a", ""},
        {{"-strictly", "-widen", "-in", "a"}, false, true, true, false, false, false, "a", ""},
        {{"-in", "a", "-wide"}, false, false, true, false, false, false, "a", ""},
        {{"-in", "-check"}, false, false, false, false, false, false, "-check", ""},
        {{"-weights", "-in", "a"}, false, false, false, true, false, false, "a", ""},
        {{"-chec", "-stric", "-wid", "-weight", "-out"},
         false,
         false,
         false,
         false,
         false,
         false,
         "",
         "-out"},
        // -stats and -strict share "-st": neither is a prefix of the other.
        {{"-statsall", "-quietly", "-strict", "-in", "a"},
         false,
         true,
         false,
         false,
         true,
         true,
         "a",
         ""},
        {{"-stat", "-quie", "-in", "-stats"},
         false,
         false,
         false,
         false,
         false,
         false,
         "-stats",
         ""},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_EQ(options.check_only, c.check_only);
        EXPECT_EQ(options.is_strict, c.is_strict);
        EXPECT_EQ(options.is_wide, c.is_wide);
        EXPECT_EQ(options.wants_weights, c.wants_weights);
        EXPECT_EQ(options.wants_stats, c.wants_stats);
        EXPECT_EQ(options.is_quiet, c.is_quiet);
        EXPECT_EQ(options.input_name, c.input_name);
        EXPECT_EQ(options.option_without_value, c.option_without_value);
    }
}

TEST(CommandLine, keeps_the_format_and_the_part_as_written) {
    struct FormatCase {
        std::vector<const char*> arguments;
        std::string format_name;
        bool has_part;
        std::string part_value;
    };
    const FormatCase cases[] = {
        {{"-in", "a"}, "text", false, ""},
        {{"-formats", "parhip", "-partition", " 1/2"}, "parhip", true, " 1/2"},
        {{"-format", " text", "-part", "-in"}, " text", true, "-in"},
        {{"-part", ""}, "text", true, ""},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_EQ(options.format_name, c.format_name);
        EXPECT_EQ(options.has_part, c.has_part);
        EXPECT_EQ(options.part_value, c.part_value);
    }
}

}  // namespace
